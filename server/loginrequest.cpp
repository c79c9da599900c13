#include "loginrequest.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QUrl>

#include <cmath>
#include <limits>

namespace {
const char kLoginPath[] = "/orvaservice/login/";
constexpr int kGrantedCode = 200;
const char kTokenHeader[] = "DARV-Token";

bool isVisibleAscii(char c)
{
    return c >= 0x21 && c <= 0x7E;
}
} // namespace

QString LoginRequest::passwordDigest(const QString &password)
{
    return QString::fromLatin1(QCryptographicHash::hash(password.toUtf8(), QCryptographicHash::Md5).toHex().toUpper());
}

QNetworkRequest LoginRequest::request(const QString &serverAddress)
{
    QNetworkRequest request(QUrl(serverAddress + QLatin1String(kLoginPath)));
    request.setRawHeader("Content-Type", "application/x-www-form-urlencoded");
    return request;
}

QByteArray LoginRequest::body(const QString &userName, const QString &passwordDigest)
{
    // Each value is percent-encoded so that a "&", "=" or "+" in a user name cannot end its field or add
    // another; letters and digits pass unchanged.
    return QByteArrayLiteral("username=") + QUrl::toPercentEncoding(userName) + QByteArrayLiteral("&password=")
        + QUrl::toPercentEncoding(passwordDigest);
}

QList<QByteArray> LoginRequest::tokenHeaders(const QList<QPair<QByteArray, QByteArray>> &rawHeaderPairs)
{
    QList<QByteArray> values;
    for (const auto &pair : rawHeaderPairs) {
        if (pair.first.compare(kTokenHeader, Qt::CaseInsensitive) == 0)
            values << pair.second;
    }
    return values;
}

bool LoginRequest::isUsableToken(const QByteArray &token)
{
    if (token.isEmpty() || token.size() > kMaxTokenBytes)
        return false;
    for (const char c : token) {
        if (!isVisibleAscii(c))
            return false;
    }
    return true;
}

LoginRequest::Judgement LoginRequest::judge(int status, const QByteArray &body, const QList<QByteArray> &tokenHeaders)
{
    Judgement judgement;
    // Only these statuses carry a login answer; any other status is a refusal whatever its body says.
    if (status != 200 && status != 301 && status != 302) {
        judgement.reason = QStringLiteral("status %1 is not a login answer").arg(status);
        return judgement;
    }
    const int rc = replyCode(body);
    if (rc != kGrantedCode) {
        judgement.reason = QStringLiteral("reply code %1, not %2").arg(rc).arg(kGrantedCode);
        return judgement;
    }
    // Two token headers leave it open which one the server meant; neither is used.
    if (tokenHeaders.size() != 1) {
        judgement.reason
            = QStringLiteral("%1 %2 headers instead of one").arg(tokenHeaders.size()).arg(QLatin1String(kTokenHeader));
        return judgement;
    }
    // The token goes back out as a header value: a control byte could split or end that header, and bytes
    // outside ASCII are not a token any server issues. The reason names only the length and the offending
    // byte, never the token's characters.
    const QByteArray &token = tokenHeaders.first();
    if (token.isEmpty()) {
        judgement.reason = QStringLiteral("empty %1").arg(QLatin1String(kTokenHeader));
        return judgement;
    }
    if (token.size() > kMaxTokenBytes) {
        judgement.reason = QStringLiteral("%1 of %2 bytes, more than %3")
                               .arg(QLatin1String(kTokenHeader))
                               .arg(token.size())
                               .arg(kMaxTokenBytes);
        return judgement;
    }
    for (int i = 0; i < token.size(); ++i) {
        if (!isVisibleAscii(token.at(i))) {
            judgement.reason = QStringLiteral("%1 holds byte 0x%2 at offset %3, outside visible ASCII")
                                   .arg(QLatin1String(kTokenHeader))
                                   .arg(uint(uchar(token.at(i))), 2, 16, QLatin1Char('0'))
                                   .arg(i);
            return judgement;
        }
    }
    judgement.granted = true;
    judgement.token = token;
    judgement.reason = QStringLiteral("login granted");
    return judgement;
}

bool LoginRequest::isGranted(int status, const QByteArray &body, const QByteArray &tokenHeader, QByteArray *token)
{
    const Judgement judgement = judge(status, body, {tokenHeader});
    if (judgement.granted && token)
        *token = judgement.token;
    return judgement.granted;
}

int LoginRequest::replyCode(const QByteArray &body)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return 0;
    const QJsonValue rc = document.object().value(QLatin1String("rc"));
    if (!rc.isDouble())
        return 0;
    // A fraction or a number beyond int is not a reply code (and converting it would be undefined).
    const double value = rc.toDouble();
    if (!(value >= std::numeric_limits<int>::min() && value <= std::numeric_limits<int>::max())
        || value != std::trunc(value))
        return 0;
    return static_cast<int>(value);
}
