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

bool LoginRequest::isGranted(int status, const QByteArray &body, const QByteArray &tokenHeader, QByteArray *token)
{
    // Only these statuses carry a login answer; any other status is a refusal whatever its body says.
    if (status != 200 && status != 301 && status != 302)
        return false;
    if (replyCode(body) != kGrantedCode)
        return false;
    if (token)
        *token = tokenHeader;
    return true;
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
