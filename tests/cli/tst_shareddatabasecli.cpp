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

private:
    // Commissions one node with the given DevEUI on its own bench; the run's exit code.
    int commissionOne(CliRun &cli, const QString &devEui, const QString &bench, const QString &databaseUrl);
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
    CliRun &cli, const QString &devEui, const QString &bench, const QString &databaseUrl)
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
            << QStringLiteral("1") << QStringLiteral("--bench") << bench << QStringLiteral("--database")
            << databaseUrl))
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

    CliRun second(QLatin1String(TestServerProcess::kPassword));
    second.shareDirectoryOf(first);
    QCOMPARE(commissionOne(second, QStringLiteral("70B3D57ED0000D02"), QStringLiteral("bench-c"),
                 database.url(QLatin1String(kDatabase))),
        0);
    QVERIFY(journalEntries(second) > firstEntries);
    QCOMPARE(rowsOfBench(QStringLiteral("bench-c")), journalEntries(second));
}

QTEST_GUILESS_MAIN(SharedDatabaseCliTest)
#include "tst_shareddatabasecli.moc"
