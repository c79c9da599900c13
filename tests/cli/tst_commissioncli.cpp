// iot-commission-cli as a script runs it: the built program on simulated nodes' pseudo-terminals and the local
// registration server, judged by its exit code, its standard output and what the node and the server hold.
#include "clirun.h"
#include "node.h"
#include "simulatedport.h"
#include "testfiles.h"
#include "testserverprocess.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTest>

#include <memory>

namespace {
constexpr int kPortOpenMs = 15000;
// A node read, written, read back, registered and put to sleep takes a few seconds; the start-up read alone
// may take up to 30 s before it counts as timed out.
constexpr int kNodeDoneMs = 90000;
constexpr int kUsageExitMs = 15000;
// The server prints each request as it answers it; its output reaches the test through the event loop.
constexpr int kServerLogMs = 5000;

const char kProfile[] = R"({
  "format": 1,
  "name": "Bench batch",
  "types": { "LoRa OTAA": { "temperature": [-5, 45], "humidity": [10, 90] } }
})";

QString hexOnly(QString text)
{
    return text.remove(QRegularExpression(QStringLiteral("[^0-9A-Fa-f]"))).toUpper();
}
} // namespace

class CommissionCliTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void writesRegistersAndPutsTheNodeToSleep();
    void refusedWriteEndsTheNodeWithoutRegistrationOrSleep();
    void twoPortsBootedTogetherShareOneLogin();
    void refusedLoginEndsTheNodeInsteadOfWaiting();
    void badArgumentsExitWithUsage_data();
    void badArgumentsExitWithUsage();
    void unopenablePortExitsWithUsageCode();

private:
    QStringList commissionArguments(const QStringList &ports) const;
    // Each simulated port's registration records at the server, by DevEUI.
    int registrationsOf(const QString &devEui);
    int loginRequests();
    // Commissions the one node with registration and sleep asked for, booting it once the tool listens, where
    // the run must fail: the tool ends with exit code 1 and its one report is handed back.
    void runToFailure(SimulatedPort &node, const QString &password, QJsonObject &report);

    QTemporaryDir dir;
    QString profilePath;
    std::unique_ptr<TestServerProcess> server;
};

void CommissionCliTest::initTestCase()
{
    QVERIFY2(QFile::exists(CliRun::executablePath()), qPrintable(CliRun::executablePath()));
    QVERIFY(dir.isValid());
    profilePath = dir.filePath(QStringLiteral("bench.json"));
    QVERIFY(writeTestFile(profilePath, kProfile));
}

void CommissionCliTest::init()
{
    server = std::make_unique<TestServerProcess>();
    QVERIFY2(server->start(), qPrintable(server->errorString()));
}

void CommissionCliTest::cleanup()
{
    server.reset();
}

QStringList CommissionCliTest::commissionArguments(const QStringList &ports) const
{
    QStringList arguments{QStringLiteral("commission")};
    for (const QString &port : ports)
        arguments << QStringLiteral("--port") << port;
    arguments << QStringLiteral("--server") << server->baseUrl() << QStringLiteral("--user")
              << QLatin1String(TestServerProcess::kUser) << QStringLiteral("--profile") << profilePath
              << QStringLiteral("--json");
    return arguments;
}

int CommissionCliTest::registrationsOf(const QString &devEui)
{
    int registrations = 0;
    for (const QJsonValue &record : QJsonDocument::fromJson(server->devices()).array()) {
        if (hexOnly(record.toObject().value(QStringLiteral("euid")).toString()) == hexOnly(devEui))
            registrations += record.toObject().value(QStringLiteral("registrations")).toInt();
    }
    return registrations;
}

int CommissionCliTest::loginRequests()
{
    return server->output().count(QStringLiteral("POST /orvaservice/login/ "));
}

void CommissionCliTest::runToFailure(SimulatedPort &node, const QString &password, QJsonObject &report)
{
    CliRun cli(password);
    QVERIFY(cli.start(commissionArguments({node.path()}) << QStringLiteral("--register") << QStringLiteral("--sleep")));
    QVERIFY2(cli.waitForPortsOpen({node.path()}, kPortOpenMs), qPrintable(cli.standardError()));
    node->boot();
    QVERIFY2(cli.waitForExit(kNodeDoneMs), qPrintable(cli.standardError()));
    QCOMPARE(cli.exitCode(), 1);
    const QList<QJsonObject> reports = cli.reports();
    QCOMPARE(reports.size(), 1);
    report = reports.first();
}

void CommissionCliTest::writesRegistersAndPutsTheNodeToSleep()
{
    SimNodeProfile nodeProfile = SimNodeProfile::forType(Node::LoRaOTAA);
    nodeProfile.temperatureLow = -10;
    nodeProfile.temperatureHigh = 50;
    SimulatedPort node(nodeProfile);
    QVERIFY2(node.start(), qPrintable(node.errorString()));

    CliRun cli(QLatin1String(TestServerProcess::kPassword));
    QVERIFY(cli.start(commissionArguments({node.path()}) << QStringLiteral("--register") << QStringLiteral("--sleep")
                                                         << QStringLiteral("--count") << QStringLiteral("1")));
    QVERIFY2(cli.waitForPortsOpen({node.path()}, kPortOpenMs), qPrintable(cli.standardError()));
    node->boot();
    QVERIFY2(cli.waitForExit(kNodeDoneMs), qPrintable(cli.standardError()));

    QVERIFY(cli.exitedNormally());
    QCOMPARE(cli.exitCode(), 0);
    const QList<QJsonObject> reports = cli.reports();
    QCOMPARE(reports.size(), 1);
    const QJsonObject report = reports.first();
    QCOMPARE(report.value(QStringLiteral("port")).toString(), node.path());
    QCOMPARE(report.value(QStringLiteral("type")).toString(), QStringLiteral("LoRa OTAA"));
    QCOMPARE(hexOnly(report.value(QStringLiteral("identifier")).toString()), nodeProfile.devEui);
    QCOMPARE(report.value(QStringLiteral("written")).toArray(), QJsonArray{QStringLiteral("temperature")});
    QCOMPARE(report.value(QStringLiteral("verified")), QJsonValue(true));
    const int status = report.value(QStringLiteral("registration")).toInt();
    QVERIFY2(status == 200 || status == 201, qPrintable(QString::number(status)));
    QCOMPARE(report.value(QStringLiteral("sleeping")), QJsonValue(true));
    QVERIFY(report.contains(QStringLiteral("error")));
    QVERIFY(report.value(QStringLiteral("error")).isNull());

    QCOMPARE(node->profile().temperatureLow, -5);
    QCOMPARE(node->profile().temperatureHigh, 45);
    QCOMPARE(node->profile().humidityLow, nodeProfile.humidityLow);
    QVERIFY(node->isSleeping());
    QCOMPARE(registrationsOf(nodeProfile.devEui), 1);
    QTRY_COMPARE_WITH_TIMEOUT(loginRequests(), 1, kServerLogMs);
    // The outbox goes beside the journal, not into the user's data directory.
    QVERIFY(QFile::exists(cli.directory() + QStringLiteral("/outbox.sqlite")));
}

void CommissionCliTest::refusedWriteEndsTheNodeWithoutRegistrationOrSleep()
{
    SimulatedPort node(SimNodeProfile::forType(Node::LoRaOTAA));
    QVERIFY2(node.start(), qPrintable(node.errorString()));
    node->setFault(QStringLiteral("set:tht"), SimFault::Failed);

    QJsonObject report;
    runToFailure(node, QLatin1String(TestServerProcess::kPassword), report);
    if (QTest::currentTestFailed())
        return;
    QVERIFY(!report.value(QStringLiteral("error")).toString().isEmpty());
    QCOMPARE(report.value(QStringLiteral("verified")), QJsonValue(false));
    QVERIFY(report.value(QStringLiteral("registration")).isNull());
    QCOMPARE(report.value(QStringLiteral("sleeping")), QJsonValue(false));
    QVERIFY(!node->isSleeping());
    QVERIFY(!node->receivedLines().contains(QStringLiteral("s")));
    QCOMPARE(registrationsOf(SimNodeProfile::forType(Node::LoRaOTAA).devEui), 0);
}

void CommissionCliTest::twoPortsBootedTogetherShareOneLogin()
{
    SimNodeProfile firstProfile = SimNodeProfile::forType(Node::LoRaOTAA);
    SimNodeProfile secondProfile = firstProfile;
    secondProfile.devEui = QStringLiteral("70B3D57ED0000A02");
    SimulatedPort first(firstProfile);
    SimulatedPort second(secondProfile);
    QVERIFY2(first.start(), qPrintable(first.errorString()));
    QVERIFY2(second.start(), qPrintable(second.errorString()));

    CliRun cli(QLatin1String(TestServerProcess::kPassword));
    QVERIFY(cli.start(commissionArguments({first.path(), second.path()})
        << QStringLiteral("--register") << QStringLiteral("--count") << QStringLiteral("2")));
    QVERIFY2(cli.waitForPortsOpen({first.path(), second.path()}, kPortOpenMs), qPrintable(cli.standardError()));
    first->boot();
    second->boot();
    QVERIFY2(cli.waitForExit(kNodeDoneMs), qPrintable(cli.standardError()));

    QVERIFY2(cli.exitCode() == 0, qPrintable(cli.standardOutputLines().join('\n') + '\n' + cli.standardError()));
    const QList<QJsonObject> reports = cli.reports();
    QCOMPARE(reports.size(), 2);
    QStringList ports;
    for (const QJsonObject &report : reports) {
        ports << report.value(QStringLiteral("port")).toString();
        QVERIFY(report.value(QStringLiteral("error")).isNull());
        QCOMPARE(report.value(QStringLiteral("sleeping")), QJsonValue(false));
    }
    ports.sort();
    QStringList expected{first.path(), second.path()};
    expected.sort();
    QCOMPARE(ports, expected);
    QCOMPARE(registrationsOf(firstProfile.devEui), 1);
    QCOMPARE(registrationsOf(secondProfile.devEui), 1);
    QTRY_COMPARE_WITH_TIMEOUT(loginRequests(), 1, kServerLogMs);
    QCOMPARE(first->profile().temperatureHigh, 45);
    QCOMPARE(second->profile().temperatureHigh, 45);
}

void CommissionCliTest::refusedLoginEndsTheNodeInsteadOfWaiting()
{
    SimulatedPort node(SimNodeProfile::forType(Node::LoRaOTAA));
    QVERIFY2(node.start(), qPrintable(node.errorString()));

    QJsonObject report;
    runToFailure(node, QStringLiteral("not the password"), report);
    if (QTest::currentTestFailed())
        return;
    QVERIFY2(report.value(QStringLiteral("error")).toString().contains(QStringLiteral("log in")),
        qPrintable(report.value(QStringLiteral("error")).toString()));
    QVERIFY(report.value(QStringLiteral("written")).toArray().isEmpty());
    QCOMPARE(node->profile().temperatureHigh, SimNodeProfile::forType(Node::LoRaOTAA).temperatureHigh);
    QTRY_COMPARE_WITH_TIMEOUT(loginRequests(), 1, kServerLogMs);
}

void CommissionCliTest::badArgumentsExitWithUsage_data()
{
    QTest::addColumn<QStringList>("arguments");
    const QStringList server{QStringLiteral("--server"), QStringLiteral("http://127.0.0.1:9"), QStringLiteral("--user"),
        QStringLiteral("operator")};
    const QStringList port{QStringLiteral("--port"), QStringLiteral("/dev/null-port")};
    QTest::newRow("no port") << (QStringList{QStringLiteral("commission")} + server);
    QTest::newRow("unknown option") << (QStringList{QStringLiteral("commission"), QStringLiteral("--fast")} + port
        + server);
    QTest::newRow("count 0") << (QStringList{
                                     QStringLiteral("commission"), QStringLiteral("--count"), QStringLiteral("0")}
        + port + server);
    QTest::newRow("count not a number") << (QStringList{QStringLiteral("commission"), QStringLiteral("--count"),
                                                QStringLiteral("two")}
        + port + server);
    QTest::newRow("count with loop") << (QStringList{QStringLiteral("commission"), QStringLiteral("--count"),
                                             QStringLiteral("2"), QStringLiteral("--loop")}
        + port + server);
    QTest::newRow("no command") << (port + server);
    QTest::newRow("another command") << (QStringList{QStringLiteral("register")} + port + server);
    QTest::newRow("no server") << (QStringList{QStringLiteral("commission")} + port);
    QTest::newRow("port twice") << (QStringList{QStringLiteral("commission")} + port + port + server);
}

void CommissionCliTest::badArgumentsExitWithUsage()
{
    QFETCH(QStringList, arguments);
    CliRun cli(QStringLiteral("secret"));
    QVERIFY(cli.start(arguments));
    QVERIFY(cli.waitForExit(kUsageExitMs));
    QCOMPARE(cli.exitCode(), 2);
    QVERIFY2(cli.standardError().contains(QStringLiteral("usage: iot-commission-cli commission --port")),
        qPrintable(cli.standardError()));
    QVERIFY(cli.standardOutputLines().isEmpty());
}

void CommissionCliTest::unopenablePortExitsWithUsageCode()
{
    SimulatedPort node;
    CliRun cli(QLatin1String(TestServerProcess::kPassword));
    QVERIFY(cli.start(commissionArguments({node.missingPath()})));
    QVERIFY2(cli.waitForExit(kUsageExitMs), qPrintable(cli.standardError()));
    QCOMPARE(cli.exitCode(), 2);
    QVERIFY2(cli.standardError().contains(QStringLiteral("cannot open ") + node.missingPath()),
        qPrintable(cli.standardError()));
    QVERIFY(cli.standardOutputLines().isEmpty());
}

QTEST_GUILESS_MAIN(CommissionCliTest)
#include "tst_commissioncli.moc"
