#include "serverclienttestsupport.h"

#include "loginrequest.h"
#include "node.h"
#include "replywaiter.h"

#include <QMutex>
#include <QNetworkReply>

namespace {
QMutex messagesMutex;
QStringList messages;
QtMessageHandler previousHandler = nullptr;
bool capturing = false;

void recordMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    {
        QMutexLocker lock(&messagesMutex);
        messages << message;
    }
    if (previousHandler)
        previousHandler(type, context, message);
}
} // namespace

LoginOutcome logIn(
    QNetworkAccessManager *manager, const QString &server, const QString &user, const QString &password, int timeoutMs)
{
    LoginOutcome outcome;
    const QByteArray body = LoginRequest::body(user, LoginRequest::passwordDigest(password));
    QNetworkReply *reply = ReplyWaiter::postAndWait(
        manager, LoginRequest::request(server), QString::fromLatin1(body), "JSON timed out", timeoutMs);
    if (!reply)
        return outcome;
    outcome.replied = true;
    outcome.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    outcome.tokenHeader = reply->rawHeader("DARV-Token");
    // An aborted (oversized) reply is closed; there is nothing left to read.
    const QByteArray replyBody = reply->isOpen() ? reply->readAll() : QByteArray();
    outcome.granted = LoginRequest::isGranted(outcome.status, replyBody, outcome.tokenHeader, &outcome.token);
    delete reply;
    return outcome;
}

Node pellimarNode()
{
    Node node;
    node.firmwareType = Node::Pellimar;
    node.deviceType = 1;
    node.deviceCommunication = 1;
    node.lockDescription = QStringLiteral("Door 4");
    node.nodeVersion = QStringLiteral("v3.0.2");
    node.moduleVersion = QStringLiteral("1.4");
    node.loraVersion = QStringLiteral("4.2.1");
    node.euid = QStringLiteral("70:B3:D5:7E:D0:01:02:03");
    node.appId = QStringLiteral("0011223344556677");
    node.appKey = QStringLiteral("00112233445566778899AABBCCDDEEFF");
    node.netId = QStringLiteral("00000013");
    node.pac = QStringLiteral("1122334455667788");
    node.thresholds.temperatureHigh = 40;
    node.thresholds.temperatureLow = -12.5f;
    node.thresholds.humidityHigh = 80;
    node.thresholds.humidityLow = 20;
    node.thresholds.pressureHigh = 110000;
    node.thresholds.pressureLow = 90000;
    node.thresholds.accelX = 150;
    return node;
}

void captureMessages()
{
    if (!capturing)
        previousHandler = qInstallMessageHandler(recordMessage);
    capturing = true;
}

QStringList loggedMessages()
{
    QMutexLocker lock(&messagesMutex);
    return messages;
}

void clearLoggedMessages()
{
    QMutexLocker lock(&messagesMutex);
    messages.clear();
}
