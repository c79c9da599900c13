// Judging the server's login reply. The input is split into a status line, the token headers and the body:
// "<status>\n<headers>\n<body>", where <headers> lists one entry "=VALUE" per DARV-Token header, separated by
// blanks, each VALUE percent-encoded so that any bytes (CR, LF, NUL, beyond ASCII) can be a header's value.
// A login is granted only for a status that carries an answer, a body whose "rc" is 200 and exactly one header
// of 1 to 4096 visible ASCII characters, and then the token is exactly that header's bytes; a refusal never
// touches the token, and the reason given never depends on the token's characters.

#include "fuzzsupport.h"
#include "loginrequest.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {
// The same header with each visible character replaced by another visible one: a reason that differs between
// the two would be quoting the token.
QByteArray withOtherVisibleCharacters(QByteArray value)
{
    for (char &c : value) {
        if (c >= 0x21 && c <= 0x7E)
            c = c == 'A' ? 'B' : 'A';
    }
    return value;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input = FuzzSupport::bytes(data, size);
    const int statusEnd = input.indexOf('\n');
    const int headersEnd = statusEnd < 0 ? -1 : input.indexOf('\n', statusEnd + 1);
    const int status = input.left(statusEnd).toInt(); // 0 (no status) when it is not a number
    const QByteArray headerList
        = statusEnd < 0 ? QByteArray() : input.mid(statusEnd + 1, headersEnd < 0 ? -1 : headersEnd - statusEnd - 1);
    const QByteArray body = headersEnd < 0 ? QByteArray() : input.mid(headersEnd + 1);
    QList<QByteArray> headers;
    for (const QByteArray &entry : headerList.split(' ')) {
        if (entry.startsWith('='))
            headers << QByteArray::fromPercentEncoding(entry.mid(1));
    }

    const int rc = LoginRequest::replyCode(body);
    if (rc != 0) {
        // A non-zero code can only come from a JSON object whose "rc" is that whole number.
        const QJsonDocument document = QJsonDocument::fromJson(body);
        FUZZ_CHECK(document.isObject());
        FUZZ_CHECK(document.object().value(QLatin1String("rc")).toDouble() == double(rc));
    }

    const LoginRequest::Judgement judgement = LoginRequest::judge(status, body, headers);
    const bool answerStatus = status == 200 || status == 301 || status == 302;
    bool usable
        = headers.size() == 1 && !headers.first().isEmpty() && headers.first().size() <= LoginRequest::kMaxTokenBytes;
    for (const char c : headers.value(0))
        usable = usable && c > 0x20 && c < 0x7F;
    FUZZ_CHECK(headers.size() != 1 || LoginRequest::isUsableToken(headers.first()) == usable);
    FUZZ_CHECK(judgement.granted == (answerStatus && rc == 200 && usable));
    FUZZ_CHECK(judgement.token == (judgement.granted ? headers.first() : QByteArray()));
    FUZZ_CHECK(!judgement.reason.isEmpty());

    QList<QByteArray> disguised;
    for (const QByteArray &header : headers)
        disguised << withOtherVisibleCharacters(header);
    FUZZ_CHECK(LoginRequest::judge(status, body, disguised).reason == judgement.reason);

    // The single-header form agrees, and leaves the token alone on a refusal.
    if (headers.size() == 1) {
        const QByteArray untouched("untouched");
        QByteArray token = untouched;
        FUZZ_CHECK(LoginRequest::isGranted(status, body, headers.first(), &token) == judgement.granted);
        FUZZ_CHECK(token == (judgement.granted ? headers.first() : untouched));
        FUZZ_CHECK(LoginRequest::isGranted(status, body, headers.first(), nullptr) == judgement.granted);
    }
    return 0;
}
