// iot-commission-cli as a script runs it: the built program on simulated nodes' pseudo-terminals and the local
// registration server, judged by its exit code, its standard output and what the node and the server hold.
#include "booldata.h"
#include "clirun.h"
#include "node.h"
#include "prerequisite.h"
#include "qrreader.h"
#include "shardedtest.h"
#include "simulatedport.h"
#include "testfiles.h"
#include "testserverprocess.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSslSocket>
#include <QTest>

#include <memory>

#include <sys/stat.h>

namespace {
constexpr int kPortOpenMs = 15000;
// A node read, written, read back, registered and put to sleep takes a few seconds; the start-up read alone
// may take up to 30 s before it counts as timed out.
constexpr int kNodeDoneMs = 90000;
constexpr int kUsageExitMs = 15000;
// A stop signal ends a run within a few seconds whatever its nodes are doing.
constexpr int kStopMs = 10000;
// A node silent after its write's reset is given up after 40 s, then reported.
constexpr int kRestartGiveUpMs = 40000 + 20000;
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
    void labelPdfIsWrittenAndAMissingPrinterDoesNotStopTheRun();
    void labelTheProfileRequiresIsSaidAndTheNodeSetAside();
    void twoPortsBootedTogetherShareOneLogin();
    void refusedLoginEndsTheNodeInsteadOfWaiting();
    void nodeThatNeverStartsAgainAfterItsWriteDoesNotHoldTheRun_data();
    void nodeThatNeverStartsAgainAfterItsWriteDoesNotHoldTheRun();
    void portThatGoesAwayEndsOnlyItsOwnWork_data();
    void portThatGoesAwayEndsOnlyItsOwnWork();
    void privateCaFileLetsItRegisterOverTls();
    void badArgumentsExitWithUsage_data();
    void badArgumentsExitWithUsage();
    void unopenablePortExitsWithUsageCode_data();
    void unopenablePortExitsWithUsageCode();
    void replugOnTheSamePathIsReadInALoop();
    void debugLinesOnlyWhenAskedFor_data();
    void debugLinesOnlyWhenAskedFor();
    void versionAndHelp_data();
    void versionAndHelp();

private:
    QStringList commissionArguments(const QStringList &ports) const;
    int loginRequests();
    // Commissions the one node with registration and sleep asked for, booting it once the tool listens, where
    // the run must fail: the tool ends with exit code 1 and its one report is handed back.
    void runToFailure(
        SimulatedPort &node, const QString &password, QJsonObject &report, const QString &profile = QString());

    QTemporaryDir dir;
    QString profilePath;
    // --ca-file arguments that must be refused before anything is read from them.
    QString caDirectory;
    QString caFifo;
    QString caTooLarge;
    QString caNotPem;
    std::unique_ptr<TestServerProcess> server;
};

void CommissionCliTest::initTestCase()
{
    QVERIFY2(QFile::exists(CliRun::executablePath()), qPrintable(CliRun::executablePath()));
    QVERIFY(dir.isValid());
    profilePath = dir.filePath(QStringLiteral("bench.json"));
    QVERIFY(writeTestFile(profilePath, kProfile));
    caDirectory = dir.filePath(QStringLiteral("ca.d"));
    QVERIFY(QDir().mkpath(caDirectory));
    caFifo = dir.filePath(QStringLiteral("ca.fifo"));
    QCOMPARE(::mkfifo(QFile::encodeName(caFifo).constData(), 0600), 0);
    caTooLarge = dir.filePath(QStringLiteral("large.pem"));
    QVERIFY(writeTestFile(caTooLarge, QByteArray(1024 * 1024 + 1, 'A')));
    caNotPem = dir.filePath(QStringLiteral("text.pem"));
    QVERIFY(writeTestFile(caNotPem, "not a certificate\n"));
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
    return CliRun::commissionArguments(ports, server->baseUrl(), QLatin1String(TestServerProcess::kUser), profilePath);
}

int CommissionCliTest::loginRequests()
{
    return server->output().count(QStringLiteral("POST /orvaservice/login/ "));
}

void CommissionCliTest::runToFailure(
    SimulatedPort &node, const QString &password, QJsonObject &report, const QString &profile)
{
    CliRun cli(password);
    QVERIFY(cli.start(CliRun::commissionArguments({node.path()}, server->baseUrl(),
                          QLatin1String(TestServerProcess::kUser), profile.isEmpty() ? profilePath : profile)
        << QStringLiteral("--register") << QStringLiteral("--sleep")));
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
    // The node was commissioned once before, at another bench whose journal was merged into this one.
    QVERIFY(writeTestFile(cli.journalPath(),
        QStringLiteral("{\"devEui\":\"%1\",\"event\":\"nodeRead\",\"bench\":\"bench-2\",\"port\":\"ttyACM0\","
                       "\"time\":\"2026-11-30T08:00:00.000Z\"}\n")
            .arg(nodeProfile.devEui)
            .toUtf8()));
    QVERIFY(cli.start(commissionArguments({node.path()})
        << QStringLiteral("--register") << QStringLiteral("--sleep") << QStringLiteral("--count") << QStringLiteral("1")
        << QStringLiteral("--bench") << QStringLiteral("bench-7")));
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
    // The unit's record, derived from the journal the run wrote: every step passed, the station, the operator,
    // the build and the profile named, and never the password.
    const QJsonObject unit = report.value(QStringLiteral("unit")).toObject();
    QCOMPARE(unit.value(QStringLiteral("format")).toInt(), 1);
    QCOMPARE(unit.value(QStringLiteral("outcome")).toString(), QStringLiteral("passed"));
    QCOMPARE(hexOnly(unit.value(QStringLiteral("identity")).toString()), nodeProfile.devEui);
    QCOMPARE(unit.value(QStringLiteral("profile")).toString(), QStringLiteral("Bench batch"));
    QCOMPARE(unit.value(QStringLiteral("port")).toString(), node.path());
    QCOMPARE(unit.value(QStringLiteral("bench")).toString(), QStringLiteral("bench-7"));
    // Numbered as the export numbers it, over the whole journal.
    QCOMPARE(unit.value(QStringLiteral("attempt")).toInt(), 2);
    QCOMPARE(unit.value(QStringLiteral("operator")).toString(), QLatin1String(TestServerProcess::kUser));
    QVERIFY(!unit.value(QStringLiteral("toolVersion")).toString().isEmpty());
    QFile profileFile(profilePath);
    QVERIFY(profileFile.open(QIODevice::ReadOnly));
    QCOMPARE(unit.value(QStringLiteral("profileSha256")).toString(),
        QString::fromLatin1(QCryptographicHash::hash(profileFile.readAll(), QCryptographicHash::Sha256).toHex()));
    QStringList steps;
    for (const QJsonValue &step : unit.value(QStringLiteral("steps")).toArray())
        steps << step.toObject().value(QStringLiteral("step")).toString() + QLatin1Char('=')
                + step.toObject().value(QStringLiteral("outcome")).toString();
    QCOMPARE(steps,
        (QStringList{"read=passed", "firmwareGate=passed", "profileComparison=passed", "write=passed",
            "verification=passed", "labelCheck=skipped", "registration=passed", "sleep=passed"}));
    const QByteArray unitText = QJsonDocument(unit).toJson();
    QVERIFY(!unitText.contains(TestServerProcess::kPassword));
    QVERIFY(!unitText.contains(nodeProfile.appKey.toLatin1()));
    // Progress only: the engine's debug and information lines need --verbose.
    QVERIFY2(!cli.standardError().contains(QStringLiteral("iot.")), qPrintable(cli.standardError()));

    QCOMPARE(node->profile().temperatureLow, -5);
    QCOMPARE(node->profile().temperatureHigh, 45);
    QCOMPARE(node->profile().humidityLow, nodeProfile.humidityLow);
    QVERIFY(node->isSleeping());
    QCOMPARE(server->registrationsOf(nodeProfile.devEui), 1);
    QTRY_COMPARE_WITH_TIMEOUT(loginRequests(), 1, kServerLogMs);
    // The outbox goes beside the journal, not into the user's data directory.
    QVERIFY(QFile::exists(cli.directory() + QStringLiteral("/outbox.sqlite")));
}

void CommissionCliTest::labelPdfIsWrittenAndAMissingPrinterDoesNotStopTheRun()
{
    const SimNodeProfile nodeProfile = SimNodeProfile::forType(Node::LoRaOTAA);
    SimulatedPort node(nodeProfile);
    QVERIFY2(node.start(), qPrintable(node.errorString()));
    const QString labelProfile = dir.filePath(QStringLiteral("labels.json"));
    QVERIFY(writeTestFile(
        labelProfile, R"({"format": 1, "name": "Labelled", "types": {"LoRa OTAA": {"labelProfileId": "0123abcd"}}})"));
    QTemporaryDir labels;
    QVERIFY(labels.isValid());

    CliRun cli(QLatin1String(TestServerProcess::kPassword));
    QVERIFY(cli.start(CliRun::commissionArguments(
                          {node.path()}, server->baseUrl(), QLatin1String(TestServerProcess::kUser), labelProfile)
        << QStringLiteral("--sleep") << QStringLiteral("--label-pdf") << labels.path()
        << QStringLiteral("--print-label") << QStringLiteral("--printer") << QStringLiteral("no-such-printer-here")));
    QVERIFY2(cli.waitForPortsOpen({node.path()}, kPortOpenMs), qPrintable(cli.standardError()));
    node->boot();
    QVERIFY2(cli.waitForExit(kNodeDoneMs), qPrintable(cli.standardError()));

    // The printer is missing: said on standard error and in the report, and the node still went through.
    QCOMPARE(cli.exitCode(), 0);
    QVERIFY(node->isSleeping());
    const QList<QJsonObject> reports = cli.reports();
    QCOMPARE(reports.size(), 1);
    QVERIFY(reports.first().value(QStringLiteral("error")).isNull());
    const QJsonObject label = reports.first().value(QStringLiteral("label")).toObject();
    const QString pdf = labels.filePath(nodeProfile.devEui + QStringLiteral(".pdf"));
    QCOMPARE(label.value(QStringLiteral("pdf")).toString(), pdf);
    QVERIFY(label.value(QStringLiteral("printer")).isNull());
    QVERIFY(!label.value(QStringLiteral("error")).toString().isEmpty());
    QVERIFY2(cli.standardError().contains(QStringLiteral(": label not printed: ")), qPrintable(cli.standardError()));
    // Both outcomes are measurements of the unit's record.
    QStringList printed;
    for (const QJsonValue &step : reports.first().value(QStringLiteral("unit")).toObject().value("steps").toArray()) {
        for (const QJsonValue &measurement : step.toObject().value(QStringLiteral("measurements")).toArray()) {
            const QJsonObject m = measurement.toObject();
            if (m.value(QStringLiteral("name")).toString() == QLatin1String("labelPrinted"))
                printed << (m.value(QStringLiteral("passed")).toBool() ? QStringLiteral("passed")
                                                                       : QStringLiteral("failed"));
        }
    }
    QCOMPARE(printed, (QStringList{"passed", "failed"}));

    // The PDF's code is the node's LoRaWAN label with the profile's label profile id.
    if (!QrReader::hasPrograms())
        SKIP_OR_FAIL_UNDER_CI("zbarimg (zbar-tools) and pdftoppm (poppler-utils) are needed");
    QString error;
    const QString png = labels.filePath(QStringLiteral("label.png"));
    QVERIFY2(QrReader::pdfToPng(pdf, png, 600, &error), qPrintable(error));
    QStringList codes;
    QVERIFY2(QrReader::decode(png, &codes, &error), qPrintable(error));
    QCOMPARE(codes, QStringList{QStringLiteral("LW:D0:%1:%2:0123ABCD").arg(nodeProfile.appEui, nodeProfile.devEui)});
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
    // The refused setting was asked for, but the node did not take it.
    QCOMPARE(report.value(QStringLiteral("written")).toArray(), QJsonArray());
    QCOMPARE(report.value(QStringLiteral("verified")), QJsonValue(false));
    QVERIFY(report.value(QStringLiteral("registration")).isNull());
    QCOMPARE(report.value(QStringLiteral("sleeping")), QJsonValue(false));
    const QJsonObject unit = report.value(QStringLiteral("unit")).toObject();
    QCOMPARE(unit.value(QStringLiteral("outcome")).toString(), QStringLiteral("failed"));
    QCOMPARE(unit.value(QStringLiteral("failureStep")).toString(), QStringLiteral("write"));
    QCOMPARE(unit.value(QStringLiteral("failureReason")).toString(), QStringLiteral("refused"));
    QVERIFY(!node->isSleeping());
    QVERIFY(!node->receivedLines().contains(QStringLiteral("s")));
    QCOMPARE(server->registrationsOf(SimNodeProfile::forType(Node::LoRaOTAA).devEui), 0);
}

void CommissionCliTest::labelTheProfileRequiresIsSaidAndTheNodeSetAside()
{
    const QString labelProfile = dir.filePath(QStringLiteral("labelled.json"));
    QVERIFY(writeTestFile(labelProfile,
        R"({"format": 1, "name": "Labelled", "requireLabel": true, "types": {"LoRa OTAA": {"reportRate": 15}}})"));
    SimulatedPort node(SimNodeProfile::forType(Node::LoRaOTAA));
    QVERIFY2(node.start(), qPrintable(node.errorString()));

    QJsonObject report;
    runToFailure(node, QLatin1String(TestServerProcess::kPassword), report, labelProfile);
    if (QTest::currentTestFailed())
        return;
    const QString error = report.value(QStringLiteral("error")).toString();
    QVERIFY2(error.contains(QStringLiteral("requires a scanned label")), qPrintable(error));
    // The unit ends when the run gives up on it, not when a node is next read on the port.
    const QJsonObject unit = report.value(QStringLiteral("unit")).toObject();
    QCOMPARE(unit.value(QStringLiteral("outcome")).toString(), QStringLiteral("abandoned"));
    QCOMPARE(unit.value(QStringLiteral("failureReason")).toString(), QStringLiteral("setAside"));
    QCOMPARE(server->registrationsOf(SimNodeProfile::forType(Node::LoRaOTAA).devEui), 0);
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
    QCOMPARE(server->registrationsOf(firstProfile.devEui), 1);
    QCOMPARE(server->registrationsOf(secondProfile.devEui), 1);
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

void CommissionCliTest::nodeThatNeverStartsAgainAfterItsWriteDoesNotHoldTheRun_data()
{
    addBoolRows("interrupted", "waited for", "interrupted by SIGTERM");
}

// The node takes its write but stays silent after the reset that follows: the run neither waits for ever nor
// ignores a stop signal, and the node is never registered or put to sleep.
void CommissionCliTest::nodeThatNeverStartsAgainAfterItsWriteDoesNotHoldTheRun()
{
    QFETCH(bool, interrupted);
    const SimNodeProfile nodeProfile = SimNodeProfile::forType(Node::LoRaOTAA);
    SimulatedPort node(nodeProfile);
    QVERIFY2(node.start(), qPrintable(node.errorString()));
    node->setFault(QStringLiteral("reset"), SimFault::Silent);

    CliRun cli(QLatin1String(TestServerProcess::kPassword));
    QVERIFY(cli.start(commissionArguments({node.path()}) << QStringLiteral("--register") << QStringLiteral("--sleep")));
    QVERIFY2(cli.waitForPortsOpen({node.path()}, kPortOpenMs), qPrintable(cli.standardError()));
    node->boot();
    QTRY_VERIFY2_WITH_TIMEOUT(cli.standardError().contains(QStringLiteral("written, the node restarts")),
        qPrintable(cli.standardError()), kNodeDoneMs);
    if (interrupted) {
        cli.terminate();
        QVERIFY2(cli.waitForExit(kStopMs), qPrintable(cli.standardError()));
        QVERIFY2(cli.standardError().contains(QStringLiteral("left unfinished")), qPrintable(cli.standardError()));
    } else {
        QVERIFY2(cli.waitForExit(kRestartGiveUpMs), qPrintable(cli.standardError()));
        const QList<QJsonObject> reports = cli.reports();
        QCOMPARE(reports.size(), 1);
        QVERIFY2(reports.first().value(QStringLiteral("error")).toString().contains(QStringLiteral("start again")),
            qPrintable(cli.standardError()));
    }
    QCOMPARE(cli.exitCode(), 1);
    QVERIFY(!node->isSleeping());
    QCOMPARE(server->registrationsOf(nodeProfile.devEui), 0);
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
    const QStringList commission = QStringList{QStringLiteral("commission")} + port + server;
    const QString caFile = QStringLiteral("--ca-file");
    QTest::newRow("CA file missing") << (commission + QStringList{caFile, dir.filePath(QStringLiteral("none.pem"))});
    QTest::newRow("CA file a directory") << (commission + QStringList{caFile, caDirectory});
    QTest::newRow("CA file a FIFO") << (commission + QStringList{caFile, caFifo});
    QTest::newRow("CA file over 1 MB") << (commission + QStringList{caFile, caTooLarge});
    QTest::newRow("CA file without certificate") << (commission + QStringList{caFile, caNotPem});
    QTest::newRow("printer without printing") << (commission + QStringList{"--printer", "zebra"});
    QTest::newRow("label PDF into a missing directory")
        << (commission + QStringList{"--label-pdf", dir.filePath(QStringLiteral("no-such-dir"))});
    QTest::newRow("label PDF into a file") << (commission + QStringList{"--label-pdf", profilePath});
    for (const char *size : {"50", "50x", "x30", "50*30", "24x30", "50x14", "151x30", "50x101", "-50x30"})
        QTest::newRow(qPrintable(QStringLiteral("label size %1").arg(QLatin1String(size))))
            << (commission + QStringList{"--label-size", size});
    const QStringList user{QStringLiteral("--user"), QStringLiteral("operator")};
    for (const char *address : {"ftp://orva.example", "http://user:pw@orva.example", "http://orva.example:99999"}) {
        QTest::newRow(address) << (QStringList{QStringLiteral("commission")} + port + user
            + QStringList{QStringLiteral("--server"), QLatin1String(address)});
    }
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
    QVERIFY2(cli.standardError().contains(QStringLiteral("[--journal FILE]")), qPrintable(cli.standardError()));
    QVERIFY(cli.standardOutputLines().isEmpty());
}

void CommissionCliTest::unopenablePortExitsWithUsageCode_data()
{
    // A path relative to the working directory is that file, not one under /dev.
    addBoolRows("relative", "absolute path", "relative path");
}

void CommissionCliTest::unopenablePortExitsWithUsageCode()
{
    QFETCH(bool, relative);
    SimulatedPort node;
    const QString missing = node.missingPath();
    const QString given = relative ? QDir::current().relativeFilePath(missing) : missing;
    QVERIFY(QFileInfo(given).isRelative() == relative);
    CliRun cli(QLatin1String(TestServerProcess::kPassword));
    QVERIFY(cli.start(commissionArguments({given})));
    QVERIFY2(cli.waitForExit(kUsageExitMs), qPrintable(cli.standardError()));
    QCOMPARE(cli.exitCode(), 2);
    QVERIFY2(cli.standardError().contains(QStringLiteral("cannot open ") + QFileInfo(missing).absoluteFilePath()),
        qPrintable(cli.standardError()));
    QVERIFY(cli.standardOutputLines().isEmpty());
}

void CommissionCliTest::portThatGoesAwayEndsOnlyItsOwnWork_data()
{
    QTest::addColumn<bool>("hangsUpMidWrite");
    QTest::addColumn<int>("exitCode");
    // The first node's port goes away during its write: it fails, the second node goes all the way through.
    QTest::newRow("node hangs up during its write") << true << 1;
    // The first node went through and is unplugged, then the second boots on the other port.
    QTest::newRow("node unplugged after it finished") << false << 0;
}

void CommissionCliTest::portThatGoesAwayEndsOnlyItsOwnWork()
{
    QFETCH(bool, hangsUpMidWrite);
    SimNodeProfile leavingProfile = SimNodeProfile::forType(Node::LoRaOTAA);
    leavingProfile.temperatureHigh = 50;
    SimNodeProfile stayingProfile = leavingProfile;
    stayingProfile.devEui = QStringLiteral("70B3D57ED0000A02");
    SimulatedPort leaving(leavingProfile);
    SimulatedPort staying(stayingProfile);
    QVERIFY2(leaving.start(), qPrintable(leaving.errorString()));
    QVERIFY2(staying.start(), qPrintable(staying.errorString()));
    if (hangsUpMidWrite)
        leaving->setFault(QStringLiteral("set:tht"), SimFault::HangUp);

    const QString lot = QStringLiteral("L2026-49");
    CliRun cli(QLatin1String(TestServerProcess::kPassword));
    QVERIFY(cli.start(commissionArguments({leaving.path(), staying.path()})
        << QStringLiteral("--register") << QStringLiteral("--sleep") << QStringLiteral("--count") << QStringLiteral("2")
        << QStringLiteral("--lot") << lot));
    QVERIFY2(cli.waitForPortsOpen({leaving.path(), staying.path()}, kPortOpenMs), qPrintable(cli.standardError()));
    leaving->boot();
    if (hangsUpMidWrite) {
        staying->boot();
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(cli.standardOutputLines().size() == 1, kNodeDoneMs);
        leaving->hangUp();
        QTRY_VERIFY_WITH_TIMEOUT(
            cli.standardError().contains(leaving.path() + QStringLiteral(" went away")), kPortOpenMs);
        staying->boot();
    }
    QVERIFY2(cli.waitForExit(kNodeDoneMs), qPrintable(cli.standardError()));
    const QString transcript = cli.standardOutputLines().join('\n') + '\n' + cli.standardError();
    QTEST(cli.exitCode(), "exitCode");

    const QList<QJsonObject> reports = cli.reports();
    QCOMPARE(reports.size(), 2);
    QJsonObject leavingReport;
    QJsonObject stayingReport;
    for (const QJsonObject &report : reports)
        (report.value(QStringLiteral("port")).toString() == leaving.path() ? leavingReport : stayingReport) = report;
    QVERIFY2(!stayingReport.isEmpty() && !leavingReport.isEmpty(), qPrintable(transcript));
    if (hangsUpMidWrite) {
        QVERIFY2(leavingReport.value(QStringLiteral("error")).toString().contains(QStringLiteral("went away")),
            qPrintable(transcript));
        QCOMPARE(leavingReport.value(QStringLiteral("written")).toArray(), QJsonArray());
        QCOMPARE(leavingReport.value(QStringLiteral("sleeping")), QJsonValue(false));
    } else {
        QVERIFY2(leavingReport.value(QStringLiteral("error")).isNull(), qPrintable(transcript));
    }
    // A failure message is cut at about a thousand characters: the staying node's error and the run's last words.
    QVERIFY2(stayingReport.value(QStringLiteral("error")).isNull(),
        qPrintable(stayingReport.value(QStringLiteral("error")).toString() + QStringLiteral(" | ")
            + cli.standardError().right(600)));
    QCOMPARE(stayingReport.value(QStringLiteral("written")).toArray(), QJsonArray{QStringLiteral("temperature")});
    QCOMPARE(stayingReport.value(QStringLiteral("verified")), QJsonValue(true));
    const int status = stayingReport.value(QStringLiteral("registration")).toInt();
    QVERIFY2(status == 200 || status == 201, qPrintable(transcript));
    QCOMPARE(stayingReport.value(QStringLiteral("sleeping")), QJsonValue(true));
    QVERIFY(staying->isSleeping());
    QCOMPARE(server->registrationsOf(stayingProfile.devEui), 1);

    // The staying node's journal: read, written, read back and verified, registered, asleep; every entry in the
    // lot, and each read with the fingerprint of the tool's node key.
    QStringList events;
    for (const QString &event :
        {QStringLiteral("nodeRead"), QStringLiteral("settingsWritten"), QStringLiteral("verified"),
            QStringLiteral("registrationQueued"), QStringLiteral("registration"), QStringLiteral("nodeSleeping")}) {
        for (const QJsonObject &entry : cli.journalEvents(event)) {
            if (entry.value(QStringLiteral("devEui")).toString() != stayingProfile.devEui)
                continue;
            events << event;
            QCOMPARE(entry.value(QStringLiteral("lot")).toString(), lot);
            if (event == QLatin1String("nodeRead")) {
                QVERIFY2(QRegularExpression(QStringLiteral("^[0-9A-F]{8}$"))
                             .match(entry.value(QStringLiteral("keyFingerprint")).toString())
                             .hasMatch(),
                    qPrintable(QJsonDocument(entry).toJson()));
            }
            if (event == QLatin1String("verified"))
                QCOMPARE(entry.value(QStringLiteral("ok")), QJsonValue(true));
        }
    }
    QCOMPARE(events,
        (QStringList{QStringLiteral("nodeRead"), QStringLiteral("nodeRead"), QStringLiteral("settingsWritten"),
            QStringLiteral("verified"), QStringLiteral("registrationQueued"), QStringLiteral("registration"),
            QStringLiteral("nodeSleeping")}));
}

void CommissionCliTest::privateCaFileLetsItRegisterOverTls()
{
    if (!QSslSocket::supportsSsl())
        SKIP_OR_FAIL_UNDER_CI("Qt has no TLS backend here");
    const QString authorityFile = dir.filePath(QStringLiteral("authority.pem"));
    server = std::make_unique<TestServerProcess>(
        QStringList{QStringLiteral("--tls"), QStringLiteral("--ca-out"), authorityFile});
    QVERIFY2(server->start(), qPrintable(server->errorString()));
    QVERIFY(server->baseUrl().startsWith(QLatin1String("https://")));
    SimulatedPort node(SimNodeProfile::forType(Node::LoRaOTAA));
    QVERIFY2(node.start(), qPrintable(node.errorString()));

    CliRun cli(QLatin1String(TestServerProcess::kPassword));
    QVERIFY(cli.start(commissionArguments({node.path()})
        << QStringLiteral("--register") << QStringLiteral("--ca-file") << authorityFile));
    QVERIFY2(cli.waitForPortsOpen({node.path()}, kPortOpenMs), qPrintable(cli.standardError()));
    node->boot();
    QVERIFY2(cli.waitForExit(kNodeDoneMs), qPrintable(cli.standardError()));
    QVERIFY2(cli.exitCode() == 0, qPrintable(cli.standardOutputLines().join('\n') + '\n' + cli.standardError()));
    const QList<QJsonObject> reports = cli.reports();
    QCOMPARE(reports.size(), 1);
    QCOMPARE(reports.first().value(QStringLiteral("registration")).toInt(), 200);
    // The server's control endpoint is not trusted by this test's own client; its log shows the request.
    QTRY_VERIFY_WITH_TIMEOUT(server->output().contains(QStringLiteral("POST /orvaservice/iot/device")), kServerLogMs);
}

void CommissionCliTest::debugLinesOnlyWhenAskedFor_data()
{
    QTest::addColumn<QStringList>("extraArguments");
    QTest::addColumn<QString>("loggingRules");
    QTest::addColumn<bool>("debugLines");
    QTest::newRow("plain") << QStringList() << QString() << false;
    QTest::newRow("--verbose") << QStringList{QStringLiteral("--verbose")} << QString() << true;
    QTest::newRow("QT_LOGGING_RULES") << QStringList() << QStringLiteral("iot.*=true") << true;
}

// A port that cannot be opened is enough: the link says so in an information line before the program ends.
void CommissionCliTest::debugLinesOnlyWhenAskedFor()
{
    QFETCH(QStringList, extraArguments);
    QFETCH(QString, loggingRules);
    SimulatedPort node;
    CliRun cli(QLatin1String(TestServerProcess::kPassword));
    if (!loggingRules.isEmpty())
        cli.setEnvironmentVariable(QStringLiteral("QT_LOGGING_RULES"), loggingRules);
    QVERIFY(cli.start(commissionArguments({node.missingPath()}) + extraArguments));
    QVERIFY2(cli.waitForExit(kUsageExitMs), qPrintable(cli.standardError()));
    QCOMPARE(cli.exitCode(), 2);
    QTEST(cli.standardError().contains(QStringLiteral("iot.link: Could not open serial port")), "debugLines");
}

void CommissionCliTest::versionAndHelp_data()
{
    QTest::addColumn<QStringList>("arguments");
    // A pattern for the whole of standard output.
    QTest::addColumn<QString>("printed");
    QTest::newRow("--version") << QStringList{QStringLiteral("--version")}
                               << QStringLiteral("\\Aiot-commission-cli [0-9]+\\.[0-9]+\\.[0-9]+\\n\\z");
    QTest::newRow("commission --help")
        << QStringList{QStringLiteral("commission"), QStringLiteral("--help")}
        << QStringLiteral("\\Ausage: iot-commission-cli commission --port .*--journal FILE.*\\n.*--port <port>.*"
                          "--journal <file>.*--lot <name>.*--ca-file <file>.*--verbose");
    QTest::newRow("--help") << QStringList{QStringLiteral("--help")}
                            << QStringLiteral("\\Ausage: iot-commission-cli commission .*Commands:.*commission.*"
                                              "iot-commission-cli commission --help");
}

void CommissionCliTest::versionAndHelp()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, printed);
    CliRun cli;
    QVERIFY(cli.start(arguments));
    QVERIFY(cli.waitForExit(kUsageExitMs));
    QCOMPARE(cli.exitCode(), 0);
    const QString output = cli.standardOutputLines().join('\n') + '\n';
    QVERIFY2(QRegularExpression(printed, QRegularExpression::DotMatchesEverythingOption).match(output).hasMatch(),
        qPrintable(output));
}

void CommissionCliTest::replugOnTheSamePathIsReadInALoop()
{
    const SimNodeProfile firstProfile = SimNodeProfile::forType(Node::LoRaOTAA);
    SimulatedPort node(firstProfile);
    QVERIFY2(node.start(), qPrintable(node.errorString()));

    CliRun cli(QLatin1String(TestServerProcess::kPassword));
    QVERIFY(cli.start(commissionArguments({node.path()}) << QStringLiteral("--loop")));
    QVERIFY2(cli.waitForPortsOpen({node.path()}, kPortOpenMs), qPrintable(cli.standardError()));
    node->boot();
    QTRY_VERIFY2_WITH_TIMEOUT(cli.reports().size() == 1, qPrintable(cli.standardError()), kNodeDoneMs);

    // The node is unplugged: its device goes, and the run waits for it instead of ending.
    node->hangUp();
    const QString waiting = node.path() + QStringLiteral(": waiting for the node's port to come back");
    QTRY_VERIFY2_WITH_TIMEOUT(cli.standardError().contains(waiting), qPrintable(cli.standardError()), kPortOpenMs);

    // The next node is plugged in on the same path and boots before the tool has its port open again: nothing
    // is typed or clicked, and it is read all the same.
    SimNodeProfile secondProfile = firstProfile;
    secondProfile.devEui = QStringLiteral("70B3D57ED0000B02");
    node->setProfile(secondProfile);
    QVERIFY2(node.start(), qPrintable(node.errorString()));
    node->boot();
    QTRY_VERIFY2_WITH_TIMEOUT(cli.reports().size() == 2, qPrintable(cli.standardError()), kNodeDoneMs);
    const QList<QJsonObject> reports = cli.reports();
    QCOMPARE(hexOnly(reports.at(0).value(QStringLiteral("identifier")).toString()), firstProfile.devEui);
    QCOMPARE(hexOnly(reports.at(1).value(QStringLiteral("identifier")).toString()), secondProfile.devEui);
    QVERIFY2(reports.at(1).value(QStringLiteral("error")).isNull(), qPrintable(cli.standardError()));
    QVERIFY(!cli.standardError().contains(QStringLiteral("cannot open")));
}

IOT_SHARDED_GUILESS_TEST_MAIN(CommissionCliTest)
#include "tst_commissioncli.moc"
