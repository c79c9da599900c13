#include "serverclienttestsupport.h"

#include "jsondeviceregister.h"
#include "logcapture.h"
#include "loginrequest.h"
#include "node.h"
#include "nodebuilders.h"
#include "serverclient.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QSignalSpy>

namespace {
// Lives to the end of the process once made: every test of a process reads the one record.
LogCapture *processCapture = nullptr;

// Called right after the request was made: waits for its finished signal and returns what it carried, or
// `none` where no signal came, or it came from inside the call or twice.
template <typename Result> Result finishedOnce(QSignalSpy &spy, quint64 id, Result none)
{
    if (spy.count() != 0)
        return none; // finished from inside the call
    QDeadlineTimer deadline(kClientSignalWaitMs);
    while (spy.isEmpty() && !deadline.hasExpired())
        spy.wait(int(qMax<qint64>(1, deadline.remainingTime())));
    // Anything else finishing in the same moment shows up as a second signal only after another turn.
    QCoreApplication::processEvents();
    if (spy.count() != 1 || spy.first().at(0).value<quint64>() != id)
        return none;
    return spy.first().at(1).value<Result>();
}

const QString kNoFinishedSignal = QStringLiteral("no finished signal");
} // namespace

LoginResult logIn(ServerClient &client, const QString &server, const QString &user, const QString &password)
{
    QSignalSpy spy(&client, &ServerClient::loginFinished);
    LoginResult none;
    none.reason = kNoFinishedSignal;
    return finishedOnce(spy, client.login(server, user, LoginRequest::passwordDigest(password)), none);
}

ServerReply registerNode(ServerClient &client, const QString &server, const QByteArray &token, const Node &node)
{
    QSignalSpy spy(&client, &ServerClient::registrationFinished);
    ServerReply none;
    none.failure = ServerReply::Failure::Other;
    none.errorText = kNoFinishedSignal;
    return finishedOnce(spy, client.registerDocument(server, token, JSONdeviceRegister::documentBytes(node)), none);
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
    node.thresholds = nodeThresholds(40, -12.5f, 80, 20, 110000, 90000, 150, kNotRead, kNotRead, kNotRead);
    return node;
}

void captureMessages()
{
    if (!processCapture)
        processCapture = new LogCapture;
}

QStringList loggedMessages()
{
    return processCapture ? processCapture->texts() : QStringList();
}

void clearLoggedMessages()
{
    if (processCapture)
        processCapture->clear();
}
