#include "commissioningjournal.h"
#include "journalforwarder.h"
#include "lotstatistics.h"
#include "nodebuilders.h"
#include "postgresserver.h"
#include "prerequisite.h"
#include "shareddatabase.h"
#include "sharedhistory.h"
#include "unitrecords.h"

#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

namespace {

Node unit(const QString &euid)
{
    NodeOptions options;
    options.euid = euid;
    return healthyNode(Node::LoRaOTAA, options);
}

// Entries of two benches in one millisecond have no order of their own: the next unit starts a millisecond later.
void nextMillisecond()
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    while (QDateTime::currentMSecsSinceEpoch() <= now)
        QThread::yieldCurrentThread();
}

// Read, registered with `status` and, when it was accepted, put to sleep.
void commission(CommissioningJournal &journal, const QString &euid, int status = 201)
{
    nextMillisecond();
    const Node node = unit(euid);
    QVERIFY(journal.recordNodeRead(QStringLiteral("/dev/ttyUSB0"), node));
    QVERIFY(journal.recordRegistration(node, status));
    if (status == 201)
        QVERIFY(journal.recordNodeSleeping(node));
}

bool forward(const QString &journalPath, const QString &url, const QString &benchName)
{
    JournalForwarder forwarder(
        journalPath, DatabaseAddress::parse(url, nullptr), QLatin1String(PostgresServer::kPassword), benchName);
    return forwarder.sendNow();
}

} // namespace

// The history of every bench read back from the shared database: each bench's nodes and unit records kept apart
// even where benches share a port name, a host name or a DevEUI.
class tst_SharedHistory : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void twoBenchesReadBackApart();
    void benchesOfOneNameAreToldApart();
    void untouchedDatabaseIsAnEmptyHistory();
    void unusableDatabaseSaysWhy_data();
    void unusableDatabaseSaysWhy();

private:
    PostgresServer server;
};

void tst_SharedHistory::initTestCase()
{
    if (PostgresServer::programDirectory().isEmpty() || !QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")))
        SKIP_OR_FAIL_UNDER_CI("PostgreSQL server or Qt's PostgreSQL driver not installed");
    QVERIFY2(server.start(), qPrintable(server.errorString()));
}

void tst_SharedHistory::twoBenchesReadBackApart()
{
    const QString name = QStringLiteral("two_benches");
    QVERIFY2(server.createDatabase(name), qPrintable(server.errorString()));
    QTemporaryDir first, second;
    // Both journals on one machine: one host name, one port name, entries interleaved in time.
    CommissioningJournal journalA(first.filePath(QStringLiteral("journal.jsonl")));
    CommissioningJournal journalB(second.filePath(QStringLiteral("journal.jsonl")));
    journalA.setLot(QStringLiteral("L-7"));
    journalB.setLot(QStringLiteral("L-7"));
    const QString shared = QStringLiteral("70B3D57ED0000001");
    commission(journalA, QStringLiteral("70B3D57ED00000A1"));
    commission(journalB, QStringLiteral("70B3D57ED00000B1"));
    commission(journalA, shared, 409);
    commission(journalB, shared);
    commission(journalA, QStringLiteral("70B3D57ED00000A2"));
    journalB.setLot(QStringLiteral("L-8"));
    commission(journalB, QStringLiteral("70B3D57ED00000B2"));
    QVERIFY(forward(journalA.filePath(), server.url(name), QStringLiteral("bench-a")));
    QVERIFY(forward(journalB.filePath(), server.url(name), QStringLiteral("bench-b")));

    JournalHistory history;
    QString problem;
    QVERIFY2(SharedHistory::read(DatabaseAddress::parse(server.url(name), nullptr),
                 QLatin1String(PostgresServer::kPassword), &history, &problem),
        qPrintable(problem));
    QVERIFY(problem.isEmpty());
    QCOMPARE(history.entries().size(),
        CommissioningJournal(journalA.filePath()).entries().size()
            + CommissioningJournal(journalB.filePath()).entries().size());
    QCOMPARE(history.benches(), (QStringList{QStringLiteral("bench-a"), QStringLiteral("bench-b")}));
    QCOMPARE(history.lots(), (QStringList{QStringLiteral("L-7"), QStringLiteral("L-8")}));
    for (int i = 1; i < history.entries().size(); ++i)
        QVERIFY(history.entries().at(i - 1).msecs <= history.entries().at(i).msecs);

    // A row per bench and node: the DevEUI both benches worked on is two rows.
    QStringList rows;
    for (const HistoryRow &row : history.rows())
        rows << row.bench + QLatin1Char(' ') + row.identifier + QLatin1Char(' ') + row.registration;
    rows.sort();
    QCOMPARE(rows,
        (QStringList{QStringLiteral("bench-a 70B3D57ED0000001 refused"),
            QStringLiteral("bench-a 70B3D57ED00000A1 updated"), QStringLiteral("bench-a 70B3D57ED00000A2 updated"),
            QStringLiteral("bench-b 70B3D57ED0000001 updated"), QStringLiteral("bench-b 70B3D57ED00000B1 updated"),
            QStringLiteral("bench-b 70B3D57ED00000B2 updated")}));
    HistoryFilter onlyB;
    onlyB.bench = QStringLiteral("bench-b");
    QCOMPARE(history.rows(onlyB).size(), 3);
    onlyB.text = QStringLiteral("bench-a");
    QCOMPARE(history.rows(onlyB).size(), 0);

    // The unit records: no bench's unit closed by the other's read on "the same" port, each under its bench.
    const QVector<UnitRecord> records = UnitRecords::fromEntries(history.entries());
    QCOMPARE(records.size(), 6);
    QStringList units;
    for (const UnitRecord &record : records)
        units << QStringLiteral("%1 %2 %3 #%4")
                     .arg(record.bench, record.identity, UnitRecord::outcomeName(record.outcome))
                     .arg(record.attempt);
    QCOMPARE(units,
        (QStringList{QStringLiteral("bench-a 70B3D57ED00000A1 passed #1"),
            QStringLiteral("bench-b 70B3D57ED00000B1 passed #1"), QStringLiteral("bench-a 70B3D57ED0000001 failed #1"),
            QStringLiteral("bench-b 70B3D57ED0000001 passed #2"), QStringLiteral("bench-a 70B3D57ED00000A2 passed #1"),
            QStringLiteral("bench-b 70B3D57ED00000B2 passed #1")}));

    // The lot over both benches: every unit once; the shared DevEUI failed its first attempt.
    LotFilter lot;
    lot.lot = QStringLiteral("L-7");
    const LotStatistics both = LotStatistics::compute(records, lot);
    QCOMPARE(both.units, 5);
    QCOMPARE(both.distinctUnits, 4);
    QCOMPARE(both.passedFirstTime, 3);
    lot.bench = QStringLiteral("bench-b");
    const LotStatistics benchB = LotStatistics::compute(records, lot);
    QCOMPARE(benchB.units, 2);
    QCOMPARE(benchB.passedFirstTime, 2);
}

void tst_SharedHistory::benchesOfOneNameAreToldApart()
{
    const QString name = QStringLiteral("one_name");
    QVERIFY2(server.createDatabase(name), qPrintable(server.errorString()));
    QTemporaryDir first, second;
    CommissioningJournal journalA(first.filePath(QStringLiteral("journal.jsonl")));
    CommissioningJournal journalB(second.filePath(QStringLiteral("journal.jsonl")));
    commission(journalA, QStringLiteral("70B3D57ED00000A1"));
    commission(journalB, QStringLiteral("70B3D57ED00000B1"));
    QVERIFY(forward(journalA.filePath(), server.url(name), QStringLiteral("line-1")));
    QVERIFY(forward(journalB.filePath(), server.url(name), QStringLiteral("line-1")));

    JournalHistory history;
    QString problem;
    QVERIFY2(SharedHistory::read(DatabaseAddress::parse(server.url(name), nullptr),
                 QLatin1String(PostgresServer::kPassword), &history, &problem),
        qPrintable(problem));
    const QStringList benches = history.benches();
    QCOMPARE(benches.size(), 2);
    const QString idA = JournalForwarder::benchIdFor(journalA.filePath());
    QVERIFY(benches.contains(QStringLiteral("line-1 (%1)").arg(idA.left(8))));
    const QVector<UnitRecord> records = UnitRecords::fromEntries(history.entries());
    QCOMPARE(records.size(), 2);
    QVERIFY(records.at(0).bench != records.at(1).bench);
}

void tst_SharedHistory::untouchedDatabaseIsAnEmptyHistory()
{
    const QString name = QStringLiteral("untouched");
    QVERIFY2(server.createDatabase(name), qPrintable(server.errorString()));
    JournalHistory history;
    QString problem = QStringLiteral("stale");
    QVERIFY(SharedHistory::read(DatabaseAddress::parse(server.url(name), nullptr),
        QLatin1String(PostgresServer::kPassword), &history, &problem));
    QVERIFY(problem.isEmpty());
    QVERIFY(history.entries().isEmpty());
}

void tst_SharedHistory::unusableDatabaseSaysWhy_data()
{
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("newerSchema");
    QTest::addColumn<QString>("expected");
    QTest::newRow("wrong password") << "wrong_password"
                                    << "not-it" << false << "refused the password";
    QTest::newRow("no such database") << "" << PostgresServer::kPassword << false << "does not exist";
    QTest::newRow("newer schema") << "newer_schema" << PostgresServer::kPassword << true << "newer than this tool";
}

void tst_SharedHistory::unusableDatabaseSaysWhy()
{
    QFETCH(QString, database);
    QFETCH(QString, password);
    QFETCH(bool, newerSchema);
    QFETCH(QString, expected);
    QString url = server.url(QStringLiteral("missing"));
    if (!database.isEmpty()) {
        QVERIFY2(server.createDatabase(database), qPrintable(server.errorString()));
        url = server.url(database);
    }
    const DatabaseAddress address = DatabaseAddress::parse(url, nullptr);
    if (newerSchema) {
        QString problem;
        {
            QSqlDatabase db = SharedDatabase::open(
                QStringLiteral("newer"), address, QLatin1String(PostgresServer::kPassword), &problem);
            QVERIFY2(SharedDatabase::ensureSchema(db, &problem), qPrintable(problem));
            QSqlQuery query(db);
            QVERIFY(query.exec(QStringLiteral("INSERT INTO schema_migrations (version) VALUES (%1)")
                                   .arg(SharedDatabase::latestSchemaVersion() + 1)));
        }
        SharedDatabase::close(QStringLiteral("newer"));
    }
    JournalHistory history;
    QString problem;
    QVERIFY(!SharedHistory::read(address, password, &history, &problem));
    QVERIFY2(problem.contains(expected), qPrintable(problem));
    QVERIFY(history.entries().isEmpty());
}

QTEST_GUILESS_MAIN(tst_SharedHistory)
#include "tst_sharedhistory.moc"
