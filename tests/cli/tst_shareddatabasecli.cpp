// Two benches, each a run of iot-commission-cli with its own journal, forwarding into one shared database on a
// PostgreSQL server of the test's own; and a run whose database cannot be reached, whose entries the next run
// delivers.
#include "clirun.h"
#include "journalhistory.h"
#include "node.h"
#include "postgresserver.h"
#include "prerequisite.h"
#include "simulatedport.h"
#include "testfiles.h"
#include "testserverprocess.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

#include <memory>

namespace {
constexpr int kPortOpenMs = 15000;
constexpr int kNodeDoneMs = 90000;
const char kDatabase[] = "benches";
} // namespace

class SharedDatabaseCliTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void twoRunsOnTwoBenchesFillOneDatabase();
    void unreachableDatabaseLeavesTheRunGoingAndTheNextRunSendsTheRest();
    void nodeRegisteredAtAnotherBenchIsStoppedUnlessAllowed();

private:
    // Commissions one node with the given DevEUI on its own bench; the run's exit code.
    int commissionOne(CliRun &cli, const QString &devEui, const QString &bench, const QString &databaseUrl,
        const QStringList &extra = {});
    int journalEntries(const CliRun &cli) const;
    int rowsOfBench(const QString &benchName);
    QStringList unitsPerBench();

    QTemporaryDir dir;
    QString profilePath;
    std::unique_ptr<TestServerProcess> server;
    PostgresServer database;
};

void SharedDatabaseCliTest::initTestCase()
{
    QVERIFY2(QFile::exists(CliRun::executablePath()), qPrintable(CliRun::executablePath()));
    if (PostgresServer::programDirectory().isEmpty() || !QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")))
        SKIP_OR_FAIL_UNDER_CI("PostgreSQL server or Qt's PostgreSQL driver not installed");
    profilePath = dir.filePath(QStringLiteral("bench.json"));
    // Nothing to write: the nodes go straight to their registration.
    QVERIFY(writeTestFile(profilePath, R"({ "format": 1, "name": "Shared", "types": { "LoRa OTAA": {} } })"));
    server = std::make_unique<TestServerProcess>();
    QVERIFY2(server->start(), qPrintable(server->errorString()));
    QVERIFY2(database.start(), qPrintable(database.errorString()));
    QVERIFY2(database.createDatabase(QLatin1String(kDatabase)), qPrintable(database.errorString()));
    QSqlDatabase connection = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"));
    connection.setHostName(QStringLiteral("127.0.0.1"));
    connection.setPort(database.port());
    connection.setDatabaseName(QLatin1String(kDatabase));
    connection.setUserName(QLatin1String(PostgresServer::kUser));
    connection.setPassword(QLatin1String(PostgresServer::kPassword));
    QVERIFY(connection.open());
}

int SharedDatabaseCliTest::commissionOne(
    CliRun &cli, const QString &devEui, const QString &bench, const QString &databaseUrl, const QStringList &extra)
{
    SimNodeProfile profile = SimNodeProfile::forType(Node::LoRaOTAA);
    profile.devEui = devEui;
    SimulatedPort node(profile);
    if (!node.start())
        return -1;
    cli.setEnvironmentVariable(QStringLiteral("PGPASSWORD"), QLatin1String(PostgresServer::kPassword));
    if (!cli.start(CliRun::commissionArguments(
                       {node.path()}, server->baseUrl(), QLatin1String(TestServerProcess::kUser), profilePath)
            << QStringLiteral("--register") << QStringLiteral("--sleep") << QStringLiteral("--count")
            << QStringLiteral("1") << QStringLiteral("--bench") << bench << QStringLiteral("--database") << databaseUrl
            << extra))
        return -1;
    if (!cli.waitForPortsOpen({node.path()}, kPortOpenMs))
        return -1;
    node->boot();
    if (!cli.waitForExit(kNodeDoneMs) || !cli.exitedNormally())
        return -1;
    return cli.exitCode();
}

int SharedDatabaseCliTest::journalEntries(const CliRun &cli) const
{
    JournalHistory history;
    history.readFile(cli.journalPath());
    return history.entries().size();
}

int SharedDatabaseCliTest::rowsOfBench(const QString &benchName)
{
    QSqlQuery query;
    query.prepare(QStringLiteral("SELECT count(*), count(DISTINCT e.seq), coalesce(max(e.seq) + 1, 0) FROM entries e "
                                 "JOIN benches b ON b.id = e.bench_id WHERE b.name = ?"));
    query.addBindValue(benchName);
    if (!query.exec() || !query.next())
        return -1;
    // Each entry once, numbered without a gap.
    if (query.value(0) != query.value(1) || query.value(0) != query.value(2))
        return -2;
    return query.value(0).toInt();
}

QStringList SharedDatabaseCliTest::unitsPerBench()
{
    QSqlQuery query;
    query.exec(QStringLiteral("SELECT b.name, r.identity, r.outcome FROM unit_records r JOIN benches b "
                              "ON b.id = r.bench_id ORDER BY b.name, r.identity"));
    QStringList units;
    while (query.next())
        units << QStringLiteral("%1 %2 %3")
                     .arg(query.value(0).toString(), query.value(1).toString(), query.value(2).toString());
    return units;
}

void SharedDatabaseCliTest::twoRunsOnTwoBenchesFillOneDatabase()
{
    const QString url = database.url(QLatin1String(kDatabase));
    CliRun first(QLatin1String(TestServerProcess::kPassword));
    CliRun second(QLatin1String(TestServerProcess::kPassword));
    QCOMPARE(commissionOne(first, QStringLiteral("70B3D57ED0000C01"), QStringLiteral("bench-a"), url), 0);
    QCOMPARE(commissionOne(second, QStringLiteral("70B3D57ED0000C02"), QStringLiteral("bench-b"), url), 0);
    QVERIFY2(!first.standardError().contains(QStringLiteral("entries waiting")), qPrintable(first.standardError()));
    // A run ends only once its entries are in the database.
    QVERIFY(journalEntries(first) > 0);
    QCOMPARE(rowsOfBench(QStringLiteral("bench-a")), journalEntries(first));
    QCOMPARE(rowsOfBench(QStringLiteral("bench-b")), journalEntries(second));
    QCOMPARE(unitsPerBench(), QStringList({"bench-a 70B3D57ED0000C01 passed", "bench-b 70B3D57ED0000C02 passed"}));
}

void SharedDatabaseCliTest::unreachableDatabaseLeavesTheRunGoingAndTheNextRunSendsTheRest()
{
    CliRun first(QLatin1String(TestServerProcess::kPassword));
    // Nothing listens on port 1: the node is commissioned all the same, its entries wait in the journal.
    QCOMPARE(commissionOne(first, QStringLiteral("70B3D57ED0000D01"), QStringLiteral("bench-c"),
                 QStringLiteral("postgresql://bench@127.0.0.1:1/benches")),
        0);
    const int firstEntries = journalEntries(first);
    const QString said = first.standardError();
    QVERIFY2(
        said.contains(QStringLiteral("the shared database 127.0.0.1:1/benches cannot be reached")), qPrintable(said));
    QVERIFY2(said.contains(QStringLiteral("— %1 entries waiting").arg(firstEntries)), qPrintable(said));
    QCOMPARE(rowsOfBench(QStringLiteral("bench-c")), 0);
    // Registered all the same, and the journal says the check could not be made.
    const QList<QJsonObject> checks = first.journalEvents(QStringLiteral("duplicateCheck"));
    QCOMPARE(checks.size(), 1);
    QCOMPARE(checks.first().value(QStringLiteral("result")).toString(), QStringLiteral("skipped"));
    QVERIFY(checks.first().value(QStringLiteral("problem")).toString().contains(QStringLiteral("cannot be reached")));
    QCOMPARE(server->registrationsOf(QStringLiteral("70B3D57ED0000D01")), 1);

    CliRun second(QLatin1String(TestServerProcess::kPassword));
    second.shareDirectoryOf(first);
    QCOMPARE(commissionOne(second, QStringLiteral("70B3D57ED0000D02"), QStringLiteral("bench-c"),
                 database.url(QLatin1String(kDatabase))),
        0);
    QVERIFY(journalEntries(second) > firstEntries);
    QCOMPARE(rowsOfBench(QStringLiteral("bench-c")), journalEntries(second));
}

void SharedDatabaseCliTest::nodeRegisteredAtAnotherBenchIsStoppedUnlessAllowed()
{
    const QString url = database.url(QLatin1String(kDatabase));
    const QString devEui = QStringLiteral("70B3D57ED0000E01");
    CliRun first(QLatin1String(TestServerProcess::kPassword));
    QCOMPARE(commissionOne(first, devEui, QStringLiteral("bench-d"), url), 0);
    QCOMPARE(first.journalEvents(QStringLiteral("duplicateCheck")).first().value(QStringLiteral("result")).toString(),
        QStringLiteral("clear"));
    QCOMPARE(server->registrationsOf(devEui), 1);
    // The bench's own earlier registration does not stop it.
    CliRun again(QLatin1String(TestServerProcess::kPassword));
    again.shareDirectoryOf(first);
    QCOMPARE(commissionOne(again, devEui, QStringLiteral("bench-d"), url), 0);
    QCOMPARE(server->registrationsOf(devEui), 2);

    // The same unit on another bench: not registered again, the run fails.
    CliRun second(QLatin1String(TestServerProcess::kPassword));
    QCOMPARE(commissionOne(second, devEui, QStringLiteral("bench-e"), url), 1);
    const QList<QJsonObject> reports = second.reports();
    QCOMPARE(reports.size(), 1);
    QVERIFY2(reports.first()
                 .value(QStringLiteral("error"))
                 .toString()
                 .startsWith(QStringLiteral("already registered at bench bench-d on ")),
        qPrintable(reports.first().value(QStringLiteral("error")).toString()));
    QCOMPARE(reports.first().value(QStringLiteral("sleeping")), QJsonValue(false));
    QCOMPARE(server->registrationsOf(devEui), 2);
    const QJsonObject check = second.journalEvents(QStringLiteral("duplicateCheck")).first();
    QCOMPARE(check.value(QStringLiteral("result")).toString(), QStringLiteral("registeredElsewhere"));
    QCOMPARE(check.value(QStringLiteral("otherBench")).toString(), QStringLiteral("bench-d"));

    // Asked for, it is registered again; then the first bench is stopped in turn, naming the second.
    CliRun third(QLatin1String(TestServerProcess::kPassword));
    third.shareDirectoryOf(second);
    QCOMPARE(commissionOne(third, devEui, QStringLiteral("bench-e"), url, {QStringLiteral("--allow-reregister")}), 0);
    QCOMPARE(server->registrationsOf(devEui), 3);
    CliRun fourth(QLatin1String(TestServerProcess::kPassword));
    fourth.shareDirectoryOf(first);
    QCOMPARE(commissionOne(fourth, devEui, QStringLiteral("bench-d"), url), 1);
    QVERIFY2(fourth.reports().first().value(QStringLiteral("error")).toString().contains(QStringLiteral("bench-e")),
        qPrintable(fourth.standardError()));
}

QTEST_GUILESS_MAIN(SharedDatabaseCliTest)
#include "tst_shareddatabasecli.moc"
