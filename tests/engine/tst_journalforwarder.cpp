#include "commissioningjournal.h"
#include "journalforwarder.h"
#include "nodebuilders.h"
#include "postgresserver.h"
#include "prerequisite.h"
#include "shareddatabase.h"
#include "unitrecords.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

const int kWaitMs = 30000;

// Short waits: the tests stop and start the database and should not wait out the bench's back-off.
JournalForwarder::Timing quickTiming()
{
    JournalForwarder::Timing timing;
    timing.pollMs = 20;
    timing.firstRetryMs = 50;
    timing.longestRetryMs = 400;
    timing.batchSize = 7; // several batches even for a few units
    return timing;
}

// Each unit read, registered and put to sleep: three entries, one record.
void commission(CommissioningJournal &journal, int units, const QString &prefix)
{
    static int serial = 0;
    for (int i = 0; i < units; ++i) {
        NodeOptions options;
        options.euid = prefix + QStringLiteral("%1").arg(++serial, 16 - prefix.size(), 16, QLatin1Char('0')).toUpper();
        const Node node = healthyNode(Node::LoRaOTAA, options);
        QVERIFY(journal.recordNodeRead(QStringLiteral("/dev/ttyUSB0"), node));
        QVERIFY(journal.recordRegistration(node, 201));
        QVERIFY(journal.recordNodeSleeping(node));
    }
}

} // namespace

// The bench's journal forwarded to the shared database: in order, each entry exactly once, through outages and
// restarts, with the unit records derived from it.
class tst_JournalForwarder : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void twoBenchesForwardIntoOneDatabase();
    void databaseStoppedWhileCommissioningLosesAndDoublesNothing();
    void restartGoesOnFromTheSavedPosition_data();
    void restartGoesOnFromTheSavedPosition();
    void lineStillBeingWrittenWaitsForItsEnd();
    void unreachableDatabaseLeavesEntriesWaiting();
    void lockedTableIsWaitedOutNotForever();
    void anotherJournalUnderTheSameIdIsRefusedNotMixedIn_data();
    void anotherJournalUnderTheSameIdIsRefusedNotMixedIn();
    void databaseRestoredFromAnOlderBackupGetsItsGapSentAgain();
    void characterTheDatabaseCannotHoldDoesNotStopTheRest();

private:
    QSqlDatabase database(const QString &name);
    int rows(const QString &name, const QString &bench);
    // Every row of one bench in sequence order as "seq event identity"; the same form as journalRows().
    QStringList storedRows(const QString &name, const QString &bench);
    static QStringList journalRows(const QString &journalPath);
    std::unique_ptr<JournalForwarder> forwarder(
        const QString &journalPath, const QString &name, const QString &benchName = QStringLiteral("bench"));

    PostgresServer server;
    int databases = 0;
};

void tst_JournalForwarder::initTestCase()
{
    if (PostgresServer::programDirectory().isEmpty() || !QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")))
        SKIP_OR_FAIL_UNDER_CI("PostgreSQL server or Qt's PostgreSQL driver not installed");
    QVERIFY2(server.start(), qPrintable(server.errorString()));
}

void tst_JournalForwarder::init()
{
    // A test that failed while the server was stopped leaves it to the next one running.
    QVERIFY2(server.start(), qPrintable(server.errorString()));
}

QSqlDatabase tst_JournalForwarder::database(const QString &name)
{
    if (QSqlDatabase::contains(name)) {
        QSqlDatabase open = QSqlDatabase::database(name);
        if (open.isOpen())
            return open;
        QSqlDatabase::removeDatabase(name);
    }
    QString problem;
    return SharedDatabase::open(
        name, DatabaseAddress::parse(server.url(name), nullptr), QLatin1String(PostgresServer::kPassword), &problem);
}

int tst_JournalForwarder::rows(const QString &name, const QString &bench)
{
    QSqlQuery query(database(name));
    query.prepare(QStringLiteral("SELECT count(*) FROM entries WHERE bench_id = ?"));
    query.addBindValue(bench);
    if (!query.exec() || !query.next())
        return -1;
    return query.value(0).toInt();
}

QStringList tst_JournalForwarder::storedRows(const QString &name, const QString &bench)
{
    QSqlQuery query(database(name));
    query.prepare(QStringLiteral("SELECT seq, event, identity, body->>'time' FROM entries WHERE bench_id = ? "
                                 "ORDER BY seq"));
    query.addBindValue(bench);
    query.exec();
    QStringList result;
    while (query.next())
        result << QStringLiteral("%1 %2 %3 %4")
                      .arg(query.value(0).toString(), query.value(1).toString(), query.value(2).toString(),
                          query.value(3).toString());
    return result;
}

QStringList tst_JournalForwarder::journalRows(const QString &journalPath)
{
    QStringList result;
    const QVector<QJsonObject> entries = CommissioningJournal(journalPath).entries();
    for (int i = 0; i < entries.size(); ++i)
        result << QStringLiteral("%1 %2 %3 %4")
                      .arg(i)
                      .arg(entries.at(i).value(QLatin1String("event")).toString(),
                          entries.at(i).value(QLatin1String("devEui")).toString(),
                          entries.at(i).value(QLatin1String("time")).toString());
    return result;
}

std::unique_ptr<JournalForwarder> tst_JournalForwarder::forwarder(
    const QString &journalPath, const QString &name, const QString &benchName)
{
    auto made = std::make_unique<JournalForwarder>(journalPath, DatabaseAddress::parse(server.url(name), nullptr),
        QLatin1String(PostgresServer::kPassword), benchName, quickTiming());
    made->start();
    return made;
}

void tst_JournalForwarder::twoBenchesForwardIntoOneDatabase()
{
    const QString name = QStringLiteral("two_benches");
    QVERIFY2(server.createDatabase(name), qPrintable(server.errorString()));
    QTemporaryDir first, second;
    CommissioningJournal journalA(first.filePath(QStringLiteral("journal.jsonl")));
    CommissioningJournal journalB(second.filePath(QStringLiteral("journal.jsonl")));
    journalA.setLot(QStringLiteral("L-7"));
    journalB.setLot(QStringLiteral("L-7"));
    commission(journalA, 5, QStringLiteral("A"));
    commission(journalB, 4, QStringLiteral("B"));

    auto benchA = forwarder(journalA.filePath(), name, QStringLiteral("bench-a"));
    auto benchB = forwarder(journalB.filePath(), name, QStringLiteral("bench-b"));
    QVERIFY(benchA->benchId() != benchB->benchId());
    // More entries while both are forwarding.
    commission(journalA, 3, QStringLiteral("A"));
    commission(journalB, 2, QStringLiteral("B"));

    QTRY_COMPARE_WITH_TIMEOUT(storedRows(name, benchA->benchId()), journalRows(journalA.filePath()), kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(storedRows(name, benchB->benchId()), journalRows(journalB.filePath()), kWaitMs);
    QCOMPARE(rows(name, benchA->benchId()), 8 * 3);

    // The lot over both benches: every unit once, under its bench's name.
    QSqlQuery query(database(name));
    const auto unitRows = [&] {
        return query.exec(QStringLiteral("SELECT count(*) FROM unit_records WHERE lot = 'L-7'")) && query.next()
            ? query.value(0).toInt()
            : -1;
    };
    QTRY_COMPARE_WITH_TIMEOUT(unitRows(), 14, kWaitMs);
    QVERIFY(query.exec(QStringLiteral("SELECT b.name, count(*), count(DISTINCT r.identity), "
                                      "count(*) FILTER (WHERE r.outcome = 'passed') FROM unit_records r "
                                      "JOIN benches b ON b.id = r.bench_id GROUP BY b.name ORDER BY b.name")));
    QStringList perBench;
    while (query.next())
        perBench << QStringLiteral("%1: %2 units, %3 identities, %4 passed")
                        .arg(query.value(0).toString(), query.value(1).toString(), query.value(2).toString(),
                            query.value(3).toString());
    QCOMPARE(perBench,
        QStringList({"bench-a: 8 units, 8 identities, 8 passed", "bench-b: 6 units, 6 identities, 6 passed"}));
}

void tst_JournalForwarder::databaseStoppedWhileCommissioningLosesAndDoublesNothing()
{
    const QString name = QStringLiteral("outage");
    QVERIFY2(server.createDatabase(name), qPrintable(server.errorString()));
    QTemporaryDir directory;
    CommissioningJournal journal(directory.filePath(QStringLiteral("journal.jsonl")));
    auto bench = forwarder(journal.filePath(), name);
    commission(journal, 4, QStringLiteral("C"));
    QTRY_COMPARE_WITH_TIMEOUT(rows(name, bench->benchId()), 12, kWaitMs);
    QSqlDatabase::removeDatabase(name);

    QVERIFY2(server.stop(), qPrintable(server.errorString()));
    commission(journal, 5, QStringLiteral("C"));
    QTRY_VERIFY_WITH_TIMEOUT(!bench->reachable() && bench->waiting() == 15, kWaitMs);
    QVERIFY2(bench->problem().contains(QStringLiteral("cannot be reached")), qPrintable(bench->problem()));
    commission(journal, 1, QStringLiteral("C"));
    QTRY_COMPARE_WITH_TIMEOUT(bench->waiting(), 18, kWaitMs);

    QVERIFY2(server.start(), qPrintable(server.errorString()));
    QTRY_VERIFY_WITH_TIMEOUT(bench->reachable() && bench->waiting() == 0, kWaitMs);
    QCOMPARE(storedRows(name, bench->benchId()), journalRows(journal.filePath()));
    QCOMPARE(rows(name, bench->benchId()), 30);
}

void tst_JournalForwarder::restartGoesOnFromTheSavedPosition_data()
{
    QTest::addColumn<bool>("positionLost");
    QTest::newRow("position kept") << false;
    // Without the position everything is sent again, and the database still holds each entry once.
    QTest::newRow("position lost") << true;
}

void tst_JournalForwarder::restartGoesOnFromTheSavedPosition()
{
    QFETCH(bool, positionLost);
    const QString name = QStringLiteral("restart_%1").arg(++databases);
    QVERIFY2(server.createDatabase(name), qPrintable(server.errorString()));
    QTemporaryDir directory;
    CommissioningJournal journal(directory.filePath(QStringLiteral("journal.jsonl")));
    commission(journal, 3, QStringLiteral("D"));
    QString benchId;
    {
        auto bench = forwarder(journal.filePath(), name);
        benchId = bench->benchId();
        QTRY_COMPARE_WITH_TIMEOUT(rows(name, benchId), 9, kWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(bench->waiting() == 0, kWaitMs);
    }
    QVERIFY(QFile::exists(directory.filePath(QLatin1String(JournalForwarder::kPositionFileName))));
    if (positionLost)
        QVERIFY(QFile::remove(directory.filePath(QLatin1String(JournalForwarder::kPositionFileName))));
    // The tool was closed while the bench went on with the command line.
    commission(journal, 2, QStringLiteral("D"));

    auto bench = forwarder(journal.filePath(), name);
    QCOMPARE(bench->benchId(), benchId);
    QTRY_COMPARE_WITH_TIMEOUT(storedRows(name, benchId), journalRows(journal.filePath()), kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(bench->reachable() && bench->waiting() == 0, kWaitMs);
    QCOMPARE(rows(name, benchId), 15);
}

void tst_JournalForwarder::lineStillBeingWrittenWaitsForItsEnd()
{
    const QString name = QStringLiteral("partial_line");
    QVERIFY2(server.createDatabase(name), qPrintable(server.errorString()));
    QTemporaryDir directory;
    CommissioningJournal journal(directory.filePath(QStringLiteral("journal.jsonl")));
    commission(journal, 1, QStringLiteral("E"));
    // An entry half written: a reader must neither skip it as broken nor count it yet.
    const QByteArray line = R"({"event":"nodeSleeping","devEui":"E0000000000000FF","time":"2026-12-09T10:00:00.000Z"})";
    QFile file(journal.filePath());
    QVERIFY(file.open(QIODevice::Append));
    file.write(line.left(30));
    file.flush();
    auto bench = forwarder(journal.filePath(), name);
    QTRY_COMPARE_WITH_TIMEOUT(rows(name, bench->benchId()), 3, kWaitMs);
    file.write(line.mid(30) + '\n');
    file.close();
    commission(journal, 1, QStringLiteral("E"));
    QTRY_COMPARE_WITH_TIMEOUT(rows(name, bench->benchId()), 7, kWaitMs);
    QCOMPARE(storedRows(name, bench->benchId()), journalRows(journal.filePath()));
    QVERIFY(storedRows(name, bench->benchId()).at(3).startsWith(QStringLiteral("3 nodeSleeping E0000000000000FF")));
}

void tst_JournalForwarder::unreachableDatabaseLeavesEntriesWaiting()
{
    QTemporaryDir directory;
    CommissioningJournal journal(directory.filePath(QStringLiteral("journal.jsonl")));
    commission(journal, 2, QStringLiteral("F"));
    DatabaseAddress address = DatabaseAddress::parse(server.url(QStringLiteral("postgres")), nullptr);
    address.port = 1; // nothing listens there
    JournalForwarder bench(journal.filePath(), address, QString(), QStringLiteral("bench"), quickTiming());
    QVERIFY(!bench.sendNow());
    QCOMPARE(bench.waiting(), 6);
    QVERIFY(!bench.reachable());
    QVERIFY2(bench.problem().contains(QStringLiteral("cannot be reached")), qPrintable(bench.problem()));
    QVERIFY(!QFile::exists(directory.filePath(QLatin1String(JournalForwarder::kPositionFileName))));

    // Between two tries, however far apart, the count follows the journal.
    JournalForwarder::Timing patient = quickTiming();
    patient.firstRetryMs = patient.longestRetryMs = 10 * kWaitMs;
    JournalForwarder waiting(journal.filePath(), address, QString(), QStringLiteral("bench"), patient);
    waiting.start();
    QTRY_VERIFY_WITH_TIMEOUT(!waiting.problem().isEmpty() && waiting.waiting() == 6, kWaitMs);
    commission(journal, 1, QStringLiteral("F"));
    QTRY_COMPARE_WITH_TIMEOUT(waiting.waiting(), 9, kWaitMs);
}

void tst_JournalForwarder::lockedTableIsWaitedOutNotForever()
{
    const QString name = QStringLiteral("locked");
    QVERIFY2(server.createDatabase(name), qPrintable(server.errorString()));
    QTemporaryDir directory;
    CommissioningJournal journal(directory.filePath(QStringLiteral("journal.jsonl")));
    JournalForwarder::Timing timing = quickTiming();
    timing.statementTimeoutMs = 300;
    auto bench
        = std::make_unique<JournalForwarder>(journal.filePath(), DatabaseAddress::parse(server.url(name), nullptr),
            QLatin1String(PostgresServer::kPassword), QStringLiteral("bench"), timing);
    bench->start();
    commission(journal, 1, QStringLiteral("G"));
    QTRY_COMPARE_WITH_TIMEOUT(rows(name, bench->benchId()), 3, kWaitMs);

    // Someone holds the entries table locked: the forwarder's insert and a question before Register would wait
    // for the lock for as long as it is held.
    QSqlDatabase locker = database(name);
    QSqlQuery lock(locker);
    QVERIFY(locker.transaction());
    QVERIFY2(
        lock.exec(QStringLiteral("LOCK TABLE entries IN ACCESS EXCLUSIVE MODE")), qPrintable(lock.lastError().text()));
    commission(journal, 1, QStringLiteral("G"));
    QSignalSpy answers(bench.get(), &JournalForwarder::registrationChecked);
    bench->checkRegistration(QStringLiteral("G000000000000001"));
    QTRY_COMPARE_WITH_TIMEOUT(answers.count(), 1, kWaitMs);
    QCOMPARE(answers.first().at(1).toBool(), false);
    QVERIFY2(answers.first().at(4).toString().contains(QStringLiteral("did not answer in time")),
        qPrintable(answers.first().at(4).toString()));
    QTRY_VERIFY_WITH_TIMEOUT(!bench->reachable() && bench->waiting() == 3, kWaitMs);

    // Once the lock is let go, the waiting entries arrive, once.
    QVERIFY(locker.commit());
    QTRY_VERIFY_WITH_TIMEOUT(bench->reachable() && bench->waiting() == 0, kWaitMs);
    QCOMPARE(storedRows(name, bench->benchId()), journalRows(journal.filePath()));
}

void tst_JournalForwarder::anotherJournalUnderTheSameIdIsRefusedNotMixedIn_data()
{
    QTest::addColumn<bool>("directoryCopied");
    // A second bench set up from a copy of the first one's data directory, bench id and all.
    QTest::newRow("directory copied to another bench") << true;
    // The journal archived and a new one begun beside the same bench id.
    QTest::newRow("journal replaced") << false;
}

void tst_JournalForwarder::anotherJournalUnderTheSameIdIsRefusedNotMixedIn()
{
    QFETCH(bool, directoryCopied);
    const QString name = QStringLiteral("same_id_%1").arg(++databases);
    QVERIFY2(server.createDatabase(name), qPrintable(server.errorString()));
    QTemporaryDir first, second;
    const QString journalA = first.filePath(QStringLiteral("journal.jsonl"));
    QString oldId;
    {
        CommissioningJournal journal(journalA);
        commission(journal, 2, QStringLiteral("H"));
        auto bench = forwarder(journalA, name);
        oldId = bench->benchId();
        QTRY_VERIFY_WITH_TIMEOUT(bench->reachable() && bench->waiting() == 0, kWaitMs);
    }
    QString journalB = journalA;
    if (directoryCopied) {
        journalB = second.filePath(QStringLiteral("journal.jsonl"));
        for (const char *file :
            {"journal.jsonl", JournalForwarder::kBenchIdFileName, JournalForwarder::kPositionFileName})
            QVERIFY(QFile::copy(first.filePath(QLatin1String(file)), second.filePath(QLatin1String(file))));
        CommissioningJournal journal(journalA);
        commission(journal, 1, QStringLiteral("H")); // the first bench goes on
    } else {
        QVERIFY(QFile::rename(journalA, journalA + QStringLiteral(".archive")));
    }
    CommissioningJournal journal(journalB);
    commission(journal, 1, QStringLiteral("K"));
    if (directoryCopied) {
        auto benchA = forwarder(journalA, name);
        QTRY_VERIFY_WITH_TIMEOUT(benchA->reachable() && benchA->waiting() == 0, kWaitMs);
    }
    const QString sentBefore = storedRows(name, oldId).join(QLatin1Char('\n'));

    // The other journal's entries are neither stored under the id nor lost: they wait, and the operator is told.
    auto benchB = forwarder(journalB, name);
    QCOMPARE(benchB->benchId(), oldId);
    QTRY_VERIFY_WITH_TIMEOUT(!benchB->reachable() && benchB->waiting() > 0, kWaitMs);
    QVERIFY2(benchB->problem().contains(QStringLiteral("holds other entries under this bench's id")),
        qPrintable(benchB->problem()));
    QCOMPARE(storedRows(name, benchB->benchId()).join(QLatin1Char('\n')), sentBefore);
    benchB.reset();

    // As the message says: without the id and the position beside it, the journal is forwarded as a bench of its own.
    const QDir beside = QFileInfo(journalB).absoluteDir();
    QVERIFY(QFile::remove(beside.filePath(QLatin1String(JournalForwarder::kBenchIdFileName))));
    QVERIFY(QFile::remove(beside.filePath(QLatin1String(JournalForwarder::kPositionFileName))));
    benchB = forwarder(journalB, name);
    QVERIFY(benchB->benchId() != oldId);
    QTRY_COMPARE_WITH_TIMEOUT(storedRows(name, benchB->benchId()), journalRows(journalB), kWaitMs);
}

void tst_JournalForwarder::databaseRestoredFromAnOlderBackupGetsItsGapSentAgain()
{
    const QString name = QStringLiteral("restored");
    QVERIFY2(server.createDatabase(name), qPrintable(server.errorString()));
    QTemporaryDir directory;
    CommissioningJournal journal(directory.filePath(QStringLiteral("journal.jsonl")));
    commission(journal, 3, QStringLiteral("M"));
    QString benchId;
    {
        auto bench = forwarder(journal.filePath(), name);
        benchId = bench->benchId();
        QTRY_VERIFY_WITH_TIMEOUT(bench->reachable() && bench->waiting() == 0, kWaitMs);
    }
    // The backup was taken after the first unit: the later ones' entries are gone from the database.
    QSqlQuery query(database(name));
    QVERIFY(query.exec(QStringLiteral("DELETE FROM entries WHERE seq >= 3")));
    commission(journal, 1, QStringLiteral("M"));

    auto bench = forwarder(journal.filePath(), name);
    QTRY_COMPARE_WITH_TIMEOUT(storedRows(name, benchId), journalRows(journal.filePath()), kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(bench->reachable() && bench->waiting() == 0, kWaitMs);
}

void tst_JournalForwarder::characterTheDatabaseCannotHoldDoesNotStopTheRest()
{
    const QString name = QStringLiteral("nul");
    QVERIFY2(server.createDatabase(name), qPrintable(server.errorString()));
    QTemporaryDir directory;
    CommissioningJournal journal(directory.filePath(QStringLiteral("journal.jsonl")));
    commission(journal, 1, QStringLiteral("N"));
    QFile file(journal.filePath());
    QVERIFY(file.open(QIODevice::Append));
    file.write(R"({"event":"nodeRead","devEui":"N00000000000000F","lot":"L\u0000x","time":"2026-12-09T10:00:00.000Z"})"
               "\n");
    file.close();
    commission(journal, 1, QStringLiteral("N"));
    auto bench = forwarder(journal.filePath(), name);
    QTRY_COMPARE_WITH_TIMEOUT(storedRows(name, bench->benchId()), journalRows(journal.filePath()), kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(bench->reachable() && bench->waiting() == 0, kWaitMs);
}

QTEST_GUILESS_MAIN(tst_JournalForwarder)
#include "tst_journalforwarder.moc"
