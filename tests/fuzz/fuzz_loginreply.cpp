// Judging the server's login reply. The input is split into a status line, the token header's bytes and the
// body: "<status>\n<token>\n<body>". A login is granted only for a status that carries an answer and a body
// whose "rc" is 200, and then the token is exactly the header's bytes; a refusal never touches the token.

#include "fuzzsupport.h"
#include "loginrequest.h"

#include <QJsonDocument>
#include <QJsonObject>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzSupport::silenceLogging();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input = FuzzSupport::bytes(data, size);
    const int statusEnd = input.indexOf('\n');
    const int tokenEnd = statusEnd < 0 ? -1 : input.indexOf('\n', statusEnd + 1);
    const int status = input.left(statusEnd).toInt(); // 0 (no status) when it is not a number
    const QByteArray tokenHeader = statusEnd < 0 ? QByteArray() : input.mid(statusEnd + 1, tokenEnd - statusEnd - 1);
    const QByteArray body = tokenEnd < 0 ? QByteArray() : input.mid(tokenEnd + 1);

    const int rc = LoginRequest::replyCode(body);
    if (rc != 0) {
        // A non-zero code can only come from a JSON object whose "rc" is that whole number.
        const QJsonDocument document = QJsonDocument::fromJson(body);
        FUZZ_CHECK(document.isObject());
        FUZZ_CHECK(document.object().value(QLatin1String("rc")).toDouble() == double(rc));
    }

    const QByteArray untouched("untouched");
    QByteArray token = untouched;
    const bool granted = LoginRequest::isGranted(status, body, tokenHeader, &token);
    const bool answerStatus = status == 200 || status == 301 || status == 302;
    FUZZ_CHECK(granted == (answerStatus && rc == 200));
    FUZZ_CHECK(token == (granted ? tokenHeader : untouched));
    // Callers that only ask for the verdict may pass no token.
    FUZZ_CHECK(LoginRequest::isGranted(status, body, tokenHeader, nullptr) == granted);
    return 0;
}
