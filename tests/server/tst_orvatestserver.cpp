#include "datatable.h"
#include "jsondeviceregister.h"
#include "loginrequest.h"
#include "prerequisite.h"
#include "serverclient.h"
#include "serverclienttestsupport.h"
#include "testserverprocess.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkInterface>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTest>

// The local registration server itself: its command line, its checks, its store and its lifecycle.
class TestOrvaTestServer : public QObject
{
    Q_OBJECT
private slots:
    void helpExplainsOptionsAndFaults();
    void badFaultOnCommandLineStopsStart();
    void stopsCleanlyOnSignalWhileHoldingARequest_data();
    void stopsCleanlyOnSignalWhileHoldingARequest();
    void stopsWhenItsParentEndsAbruptly();
    void rejectsBadDeviceRequests_data();
    void rejectsBadDeviceRequests();
    void keepsDevicesAcrossRestarts();
    void logsRequestsWithoutSecrets();
    void controlRejectsBadFaultsAndOtherHosts();

private:
    QNetworkAccessManager manager;
    ServerClient client;
};

static int post(QNetworkAccessManager *manager, const QString &url, const QByteArray &contentType,
    const QByteArray &token, const QByteArray &body)
{
    QNetworkRequest request{QUrl(url)};
    request.setRawHeader("Content-Type", contentType);
    if (!token.isEmpty())
        request.setRawHeader("DARV-Token", token);
    QNetworkReply *reply = manager->post(request, body);
    QSignalSpy finished(reply, &QNetworkReply::finished);
    const bool done = reply->isFinished() || finished.wait(kClientSignalWaitMs);
    const int status = done ? reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() : -1;
    reply->abort();
    delete reply;
    return status;
}

static QByteArray token(ServerClient &client, const TestServerProcess &server)
{
    return logIn(client, server.baseUrl(), TestServerProcess::kUser, TestServerProcess::kPassword).token;
}

void TestOrvaTestServer::helpExplainsOptionsAndFaults()
{
    QProcess help;
    help.start(TestServerProcess::executablePath(), {"--help"});
    QVERIFY(help.waitForFinished(10000));
    QCOMPARE(help.exitCode(), 0);
    const QString text = QString::fromLocal8Bit(help.readAllStandardOutput());
    for (const char *word : {"--host", "--port", "--user", "--password", "--devices", "--fault", "--tls",
             "/control/fault", "/devices", "silence", "stall", "drop", "truncate", "malformed", "huge", "oddtoken",
             "token", "cutoff", "--ca-out", "SIGTERM"})
        QVERIFY2(text.contains(QLatin1String(word)), word);
}

void TestOrvaTestServer::badFaultOnCommandLineStopsStart()
{
    TestServerProcess server({"--fault", "login:status:42"});
    QVERIFY(!server.start());
    QVERIFY(!server.isRunning());
}

void TestOrvaTestServer::stopsCleanlyOnSignalWhileHoldingARequest_data()
{
    addDataTable<bool>({"interrupt"}, {{"SIGTERM", false}, {"SIGINT", true}});
}

void TestOrvaTestServer::stopsCleanlyOnSignalWhileHoldingARequest()
{
    QFETCH(bool, interrupt);
    TestServerProcess server({"--fault", "login:silence:600"});
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    QNetworkReply *held = manager.post(LoginRequest::request(server.baseUrl()), LoginRequest::body("a", "b"));
    QTRY_VERIFY_WITH_TIMEOUT(!server.lastBody("login").isEmpty(), 10000);
    // stop() allows 10 s, far less than the 600 s silence.
    QVERIFY(server.stop(interrupt));
    QVERIFY(server.output().endsWith("orva-testserver stopped\n"));
    held->abort();
    delete held;
}

// True once the process is gone or only a zombie is left of it.
static bool processEnded(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray line = stat.readAll();
    const int afterName = line.lastIndexOf(')');
    return afterName < 0 || line.mid(afterName + 2, 1) == "Z";
}

void TestOrvaTestServer::stopsWhenItsParentEndsAbruptly()
{
    // A shell starts the server and is then killed, as a crashing test would be.
    QTemporaryDir dir;
    QProcess shell;
    shell.start(QStringLiteral("sh"),
        {"-c", "\"$0\" --host 127.0.0.1 --port 0 --devices \"$1\" --stop-with-parent & echo $!; wait",
            TestServerProcess::executablePath(), dir.filePath(QStringLiteral("devices.json"))});
    QVERIFY(shell.waitForReadyRead(10000));
    const qint64 serverPid = shell.readLine().trimmed().toLongLong();
    QVERIFY(serverPid > 0);
    QByteArray printed;
    QTRY_VERIFY_WITH_TIMEOUT((printed += shell.readAllStandardOutput()).contains("listening on"), 10000);
    QVERIFY(!processEnded(serverPid));

    shell.kill();
    QVERIFY(shell.waitForFinished(10000));
    QTRY_VERIFY_WITH_TIMEOUT(processEnded(serverPid), 10000);
}

void TestOrvaTestServer::rejectsBadDeviceRequests_data()
{
    const QByteArray device("{\"euid\":\"0102\"}");
    addDataTable<QByteArray, bool, QByteArray, int>({"contentType", "validToken", "body", "status"},
        {{"accepted", "application/json; charset=utf-8", true, device, 200},
            {"no token", "application/json", false, device, 401},
            {"form content type", "application/x-www-form-urlencoded", true, device, 415},
            {"text content type", "text/plain", true, device, 415}, {"array", "application/json", true, "[1]", 400},
            {"not JSON", "application/json", true, "euid=1", 400},
            {"no euid", "application/json", true, "{\"pac\":\"1\"}", 400}});
}

void TestOrvaTestServer::rejectsBadDeviceRequests()
{
    QFETCH(QByteArray, contentType);
    QFETCH(bool, validToken);
    QFETCH(QByteArray, body);
    QFETCH(int, status);
    TestServerProcess server;
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    const QByteArray valid = token(client, server);
    QVERIFY(!valid.isEmpty());
    QCOMPARE(post(&manager, server.baseUrl() + "/orvaservice/iot/device", contentType,
                 validToken ? valid : QByteArray(), body),
        status);
    QCOMPARE(QJsonDocument::fromJson(server.devices()).array().size(), status == 200 ? 1 : 0);
}

void TestOrvaTestServer::keepsDevicesAcrossRestarts()
{
    QTemporaryDir dir;
    const QString file = dir.filePath("devices.json");
    {
        TestServerProcess first({"--devices", file});
        QVERIFY2(first.start(), qPrintable(first.errorString()));
        QCOMPARE(registerNode(client, first.baseUrl(), token(client, first), pellimarNode()).status, 200);
        QVERIFY(first.stop());
    }
    TestServerProcess second({"--devices", file});
    QVERIFY2(second.start(), qPrintable(second.errorString()));
    const QJsonArray stored = QJsonDocument::fromJson(second.devices()).array();
    QCOMPARE(stored.size(), 1);
    QCOMPARE(stored.at(0).toObject().value("document").toObject(), JSONdeviceRegister::deviceDocument(pellimarNode()));
    QCOMPARE(registerNode(client, second.baseUrl(), token(client, second), pellimarNode()).status, 201);
    QVERIFY(second.stop());
}

void TestOrvaTestServer::logsRequestsWithoutSecrets()
{
    TestServerProcess server;
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    const QByteArray valid = token(client, server);
    QCOMPARE(registerNode(client, server.baseUrl(), valid, pellimarNode()).status, 200);
    QVERIFY(server.stop());
    const QString output = server.output();
    QVERIFY2(output.contains("POST /orvaservice/login/ 200"), qPrintable(output));
    QVERIFY2(output.contains("POST /orvaservice/iot/device 200"), qPrintable(output));
    QVERIFY(!output.contains(QString::fromLatin1(valid)));
    QVERIFY(!output.contains(LoginRequest::passwordDigest(TestServerProcess::kPassword)));
    QVERIFY(!output.contains(TestServerProcess::kPassword));
}

void TestOrvaTestServer::controlRejectsBadFaultsAndOtherHosts()
{
    TestServerProcess server({"--host", "0.0.0.0"});
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    QVERIFY(!server.setFault("login", "status", {{"status", 42}}));
    QVERIFY(!server.setFault("elsewhere", "drop"));
    QVERIFY(!server.setFault("device", "oddtoken"));
    QVERIFY(!server.setFault("login", "teapot"));
    QVERIFY(!server.setFault("device", "token", {{"token", "abc"}}));
    QVERIFY(!server.setFault("login", "token", {{"copies", 17}}));
    QVERIFY(!server.setFault("login", "token", {{"copies", "two"}}));
    QVERIFY(server.setFault("login", "status", {{"status", 418}}));
    QString outside;
    for (const QHostAddress &address : QNetworkInterface::allAddresses()) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol && !address.isLoopback())
            outside = address.toString();
    }
    if (outside.isEmpty())
        SKIP_OR_FAIL_UNDER_CI("no non-loopback IPv4 address to reach the server from");
    const QString base = QStringLiteral("http://%1:%2").arg(outside).arg(server.port());
    QCOMPARE(post(&manager, base + "/control/fault", "application/json", {}, "{\"kind\":\"none\"}"), 403);
    // The fault set over loopback is still in force.
    QCOMPARE(logIn(client, base, TestServerProcess::kUser, TestServerProcess::kPassword).reply.status, 418);
}

QTEST_GUILESS_MAIN(TestOrvaTestServer)
#include "tst_orvatestserver.moc"
