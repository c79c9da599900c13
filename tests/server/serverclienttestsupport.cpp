#include "serverclienttestsupport.h"

#include "jsondeviceregister.h"
#include "loginrequest.h"
#include "node.h"
#include "serverclient.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QMutex>
#include <QSignalSpy>

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

LoginResult logIn(ServerClient &client, const QString &server, const QString &user, const QString &password)
{
    QSignalSpy spy(&client, &ServerClient::loginFinished);
    const quint64 id = client.login(server, user, LoginRequest::passwordDigest(password));
    LoginResult none;
    none.reason = QStringLiteral("no finished signal");
    if (spy.count() != 0)
        return none; // finished from inside the call
    QDeadlineTimer deadline(kClientSignalWaitMs);
    while (spy.isEmpty() && !deadline.hasExpired())
        spy.wait(int(qMax<qint64>(1, deadline.remainingTime())));
    // Anything else finishing in the same moment shows up as a second signal only after another turn.
    QCoreApplication::processEvents();
    if (spy.count() != 1 || spy.first().at(0).value<quint64>() != id)
        return none;
    return spy.first().at(1).value<LoginResult>();
}

ServerReply registerNode(ServerClient &client, const QString &server, const QByteArray &token, const Node &node)
{
    QSignalSpy spy(&client, &ServerClient::registrationFinished);
    const quint64 id = client.registerDocument(server, token, JSONdeviceRegister::documentBytes(node));
    ServerReply none;
    none.failure = ServerReply::Failure::Other;
    none.errorText = QStringLiteral("no finished signal");
    if (spy.count() != 0)
        return none;
    QDeadlineTimer deadline(kClientSignalWaitMs);
    while (spy.isEmpty() && !deadline.hasExpired())
        spy.wait(int(qMax<qint64>(1, deadline.remainingTime())));
    QCoreApplication::processEvents();
    if (spy.count() != 1 || spy.first().at(0).value<quint64>() != id)
        return none;
    return spy.first().at(1).value<ServerReply>();
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
