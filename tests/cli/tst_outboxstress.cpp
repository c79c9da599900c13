// The registration outbox as a hostile bench treats it: two command-line runs on one data directory, a server
// that refuses, goes away and comes back, an outbox that another process locks or whose file system fills up.
// Judged by what the server received, what the journal and its export say, the files' modes and how fast a
// stop signal ends the run.
#include "clirun.h"
#include "historyexport.h"
#include "journalhistory.h"
#include "node.h"
#include "prerequisite.h"
#include "registrationoutbox.h"
#include "shardedtest.h"
#include "simulatedport.h"
#include "testfiles.h"
#include "testserverprocess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QScopeGuard>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr int kPortOpenMs = 15000;
// A node read, registered and answered; a retry comes about 5 s (+20 %) after a failed attempt, the second
// about 10 s after that.
constexpr int kRegisteredMs = 60000;
// A stop signal ends the run within this, whatever the outbox is doing.
constexpr int kStopMs = 5000;
// The server holds its answer this long, so that the outbox can be made unwritable while it is on its way.
constexpr int kSilenceSeconds = 3;
// One back-off step and a half: a registration sent again without waiting for its back-off shows within it.
constexpr int kOneBackOffStepMs = 7500;

const char kSecondDevEui[] = "70B3D57ED0000A02";

enum class Scene {
    TwoRunsServerRefusesTwice, // two runs share the data directory; the server answers 503 twice, then accepts
    ServerDownThenUp, // the first node is registered, then the server goes away and comes back on its port
};

enum class StorageFault {
    Locked, // another process holds the outbox's write lock
    FullFileSystem, // the data directory's file system has no room left
};

int modeOf(const QString &path)
{
    struct stat status = {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return -1;
    return int(status.st_mode & 07777);
}

// A file created as an inspection with the sqlite3 shell or a copy would leave it: readable by everyone.
bool createReadableByAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.close();
    return ::chmod(QFile::encodeName(path).constData(), 0644) == 0;
}

} // namespace

Q_DECLARE_METATYPE(Scene)
Q_DECLARE_METATYPE(StorageFault)

class OutboxStressTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void everyRegistrationReachesTheServerOnceAndIsStoredAsItHappened_data();
    void everyRegistrationReachesTheServerOnceAndIsStoredAsItHappened();
    void answerTheOutboxCannotRecordIsNotSentAgainAndStopEndsTheRun_data();
    void answerTheOutboxCannotRecordIsNotSentAgainAndStopEndsTheRun();
    void unreadableOutboxStopsTheRunBeforeAnyNodeAndIsKept();

private:
    QStringList commissionArguments(const QStringList &ports) const;
    // Every journal line, and its registration entries; fails when a line or an attempt is there twice.
    void checkJournal(const QString &path, QList<QJsonObject> *registrations);
    // What the history export writes for the journal, as CSV.
    static QByteArray exportedCsv(const QString &journalPath);
    // SIGTERM to the run; it must end within kStopMs.
    void stopRun(CliRun &run);

    QTemporaryDir dir;
    QString profilePath;
    std::unique_ptr<TestServerProcess> server;
    QString mountPoint;
};

void OutboxStressTest::initTestCase()
{
    QVERIFY2(QFile::exists(CliRun::executablePath()), qPrintable(CliRun::executablePath()));
    QVERIFY(dir.isValid());
    profilePath = dir.filePath(QStringLiteral("bench.json"));
    // Nothing to write: the nodes go straight to their registration.
    QVERIFY(writeTestFile(profilePath, R"({ "format": 1, "name": "Stress", "types": { "LoRa OTAA": {} } })"));
}

void OutboxStressTest::init()
{
    server.reset();
    server = std::make_unique<TestServerProcess>();
    QVERIFY2(server->start(), qPrintable(server->errorString()));
}

void OutboxStressTest::cleanup()
{
    if (!mountPoint.isEmpty()) {
        ::umount2(QFile::encodeName(mountPoint).constData(), MNT_DETACH);
        mountPoint.clear();
    }
}

QStringList OutboxStressTest::commissionArguments(const QStringList &ports) const
{
    return CliRun::commissionArguments(ports, server->baseUrl(), QLatin1String(TestServerProcess::kUser), profilePath)
        << QStringLiteral("--register") << QStringLiteral("--loop");
}

void OutboxStressTest::checkJournal(const QString &path, QList<QJsonObject> *registrations)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(path));
    QSet<QByteArray> lines;
    QSet<QPair<qint64, int>> attempts;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (line.isEmpty())
            continue;
        QVERIFY2(!lines.contains(line), line.constData());
        lines.insert(line);
        const QJsonObject entry = QJsonDocument::fromJson(line).object();
        if (entry.value(QStringLiteral("event")).toString() != QLatin1String("registration"))
            continue;
        // The window's "no reply" stand-in is never stored.
        QVERIFY2(entry.value(QStringLiteral("status")).toInt() != 404, line.constData());
        const QPair<qint64, int> attempt(entry.value(QStringLiteral("outboxId")).toVariant().toLongLong(),
            entry.value(QStringLiteral("attempt")).toInt());
        QVERIFY2(!attempts.contains(attempt), line.constData());
        attempts.insert(attempt);
        registrations->append(entry);
    }
}

QByteArray OutboxStressTest::exportedCsv(const QString &journalPath)
{
    JournalHistory history;
    if (!history.readFile(journalPath))
        return QByteArray();
    return HistoryExport::csv(history.rows());
}

void OutboxStressTest::stopRun(CliRun &run)
{
    if (!run.isRunning())
        return;
    QElapsedTimer stopping;
    stopping.start();
    run.terminate();
    QVERIFY2(run.waitForExit(kStopMs), qPrintable(run.standardError()));
}

void OutboxStressTest::everyRegistrationReachesTheServerOnceAndIsStoredAsItHappened_data()
{
    QTest::addColumn<Scene>("scene");
    QTest::addColumn<int>("runs"); // command-line runs on the one data directory, one port each
    QTest::addColumn<QString>("failure"); // the named failure the journal keeps for the second node, if any
    QTest::addColumn<int>("posts"); // registration requests the server receives in all

    QTest::newRow("two runs, 503 twice then accepted") << Scene::TwoRunsServerRefusesTwice << 2 << QString() << 4;
    // The restarted server no longer knows the token: 401, a new login, then accepted.
    QTest::newRow("one run, server down then up")
        << Scene::ServerDownThenUp << 1 << QStringLiteral("connectionRefused") << -1;
}

void OutboxStressTest::everyRegistrationReachesTheServerOnceAndIsStoredAsItHappened()
{
    QFETCH(Scene, scene);
    QFETCH(int, runs);
    QFETCH(QString, failure);
    QFETCH(int, posts);

    SimNodeProfile firstProfile = SimNodeProfile::forType(Node::LoRaOTAA);
    SimNodeProfile secondProfile = firstProfile;
    secondProfile.devEui = QLatin1String(kSecondDevEui);
    SimulatedPort first(firstProfile);
    SimulatedPort second(secondProfile);
    QVERIFY2(first.start(), qPrintable(first.errorString()));
    QVERIFY2(second.start(), qPrintable(second.errorString()));

    std::vector<std::unique_ptr<CliRun>> cli;
    for (int i = 0; i < runs; ++i) {
        cli.push_back(std::make_unique<CliRun>(QLatin1String(TestServerProcess::kPassword)));
        if (i > 0)
            cli.back()->shareDirectoryOf(*cli.front());
    }
    CliRun &firstRun = *cli.front();
    CliRun &secondRun = *cli.back();
    // Files an inspection left behind, readable by everyone: the first run tightens them.
    QVERIFY(createReadableByAll(firstRun.outboxPath()));
    QVERIFY(createReadableByAll(firstRun.journalPath()));

    if (scene == Scene::TwoRunsServerRefusesTwice)
        QVERIFY(server->setFault(QStringLiteral("device"), QStringLiteral("status"), {{"status", 503}, {"count", 2}}));
    if (runs == 2) {
        QVERIFY(firstRun.start(commissionArguments({first.path()})));
        QVERIFY(secondRun.start(commissionArguments({second.path()})));
        QVERIFY2(firstRun.waitForPortsOpen({first.path()}, kPortOpenMs), qPrintable(firstRun.standardError()));
        QVERIFY2(secondRun.waitForPortsOpen({second.path()}, kPortOpenMs), qPrintable(secondRun.standardError()));
    } else {
        QVERIFY(firstRun.start(commissionArguments({first.path(), second.path()})));
        QVERIFY2(firstRun.waitForPortsOpen({first.path(), second.path()}, kPortOpenMs),
            qPrintable(firstRun.standardError()));
    }

    if (scene == Scene::TwoRunsServerRefusesTwice) {
        first->boot();
        second->boot();
    } else {
        first->boot();
        QTRY_COMPARE_WITH_TIMEOUT(server->registrationsOf(firstProfile.devEui), 1, kRegisteredMs);
        QVERIFY(server->stop());
        second->boot();
        // The attempt without an answer is stored as what happened, in the journal and in its export.
        QTRY_VERIFY2_WITH_TIMEOUT(exportedCsv(firstRun.journalPath()).contains(failure.toUtf8()),
            qPrintable(firstRun.standardError()), kRegisteredMs);
        QVERIFY(!exportedCsv(firstRun.journalPath()).contains(",404,"));
        QVERIFY2(server->restartOnSamePort(), qPrintable(server->errorString()));
    }

    QTRY_COMPARE_WITH_TIMEOUT(server->registrationsOf(firstProfile.devEui), 1, kRegisteredMs);
    QTRY_COMPARE_WITH_TIMEOUT(server->registrationsOf(secondProfile.devEui), 1, kRegisteredMs);
    {
        RegistrationOutbox outbox(firstRun.outboxPath());
        QTRY_COMPARE_WITH_TIMEOUT(outbox.pendingCount(), 0, kRegisteredMs);
    }
    for (auto &run : cli) {
        stopRun(*run);
        QVERIFY2(run->exitedNormally() && run->exitCode() == 0, qPrintable(run->standardError()));
    }

    // Exactly once at the server: a duplicate sent by the other run would have been stored as well.
    QCOMPARE(server->registrationsOf(firstProfile.devEui), 1);
    QCOMPARE(server->registrationsOf(secondProfile.devEui), 1);
    if (posts >= 0)
        QCOMPARE(server->requestCount(QStringLiteral("device")), posts);

    QList<QJsonObject> registrations;
    checkJournal(firstRun.journalPath(), &registrations);
    if (QTest::currentTestFailed()) {
        // What the runs said, to tell which of them numbered an attempt twice.
        for (auto &run : cli)
            qWarning().noquote() << run->standardError();
        return;
    }
    QStringList outcomes;
    for (const QJsonObject &entry : registrations) {
        const int status = entry.value(QStringLiteral("status")).toInt();
        outcomes << (status == 0 ? entry.value(QStringLiteral("failure")).toString() : QString::number(status));
    }
    if (!failure.isEmpty())
        QVERIFY2(outcomes.contains(failure), qPrintable(outcomes.join(',')));
    QVERIFY2(!exportedCsv(firstRun.journalPath()).contains(",404,"), exportedCsv(firstRun.journalPath()).constData());

    for (const QString &path : {firstRun.outboxPath(), firstRun.journalPath()})
        QCOMPARE(modeOf(path), 0600);
}

void OutboxStressTest::answerTheOutboxCannotRecordIsNotSentAgainAndStopEndsTheRun_data()
{
    QTest::addColumn<StorageFault>("fault");

    QTest::newRow("outbox locked by another process") << StorageFault::Locked;
    QTest::newRow("file system full") << StorageFault::FullFileSystem;
}

void OutboxStressTest::answerTheOutboxCannotRecordIsNotSentAgainAndStopEndsTheRun()
{
    QFETCH(StorageFault, fault);

    SimNodeProfile profile = SimNodeProfile::forType(Node::LoRaOTAA);
    SimulatedPort node(profile);
    QVERIFY2(node.start(), qPrintable(node.errorString()));
    CliRun cli(QLatin1String(TestServerProcess::kPassword));
    if (fault == StorageFault::FullFileSystem) {
        // The journal and the outbox on a small file system of their own.
        const QString point = QDir(cli.directory()).filePath(QStringLiteral("small"));
        QVERIFY(QDir().mkpath(point));
        if (::geteuid() != 0
            || ::mount("tmpfs", QFile::encodeName(point).constData(), "tmpfs", 0, "size=2m,mode=0700") != 0) {
            SKIP_OR_FAIL_UNDER_CI("a small tmpfs can only be mounted as root");
        }
        mountPoint = point;
        cli.useDirectory(point);
    }
    // Unmounted before the run's directory, which holds the mount point, is removed.
    const auto unmount = qScopeGuard([this] { cleanup(); });

    QVERIFY(server->setFault(
        QStringLiteral("device"), QStringLiteral("silence"), {{"seconds", kSilenceSeconds}, {"count", 1}}));
    QVERIFY(cli.start(commissionArguments({node.path()})));
    QVERIFY2(cli.waitForPortsOpen({node.path()}, kPortOpenMs), qPrintable(cli.standardError()));
    node->boot();
    QTRY_COMPARE_WITH_TIMEOUT(server->requestCount(QStringLiteral("device")), 1, kRegisteredMs);

    // The answer is on its way; the outbox can take no change any more.
    const QString lockConnection = QStringLiteral("lock");
    if (fault == StorageFault::Locked) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), lockConnection);
        db.setDatabaseName(cli.outboxPath());
        QVERIFY(db.open());
        QSqlQuery lock(db);
        QVERIFY2(lock.exec(QStringLiteral("BEGIN EXCLUSIVE")), qPrintable(lock.lastError().text()));
    } else {
        QFile filler(QDir(cli.directory()).filePath(QStringLiteral("filler")));
        QVERIFY(filler.open(QIODevice::WriteOnly));
        const QByteArray block(64 * 1024, 'f');
        while (filler.write(block) == block.size() && filler.flush()) { }
        filler.close();
    }

    QTRY_VERIFY2_WITH_TIMEOUT(cli.standardError().contains(QStringLiteral("cannot be updated")),
        qPrintable(cli.standardError()), kRegisteredMs);
    QTRY_COMPARE_WITH_TIMEOUT(cli.reports().size(), 1, kRegisteredMs);
    const QJsonObject report = cli.reports().constFirst();
    QVERIFY2(report.value(QStringLiteral("error")).isNull(), qPrintable(cli.standardError()));
    // Watched for a whole back-off step: an answer that could not be recorded is not sent again meanwhile.
    QTest::qWait(kOneBackOffStepMs);
    QCOMPARE(server->requestCount(QStringLiteral("device")), 1);
    // Said once (the log says it once more, with its own prefix).
    QCOMPARE(cli.standardError().count(QStringLiteral("iot-commission-cli: The registration outbox")), 1);

    stopRun(cli);
    if (QSqlDatabase::contains(lockConnection)) {
        QSqlDatabase::database(lockConnection).close();
        QSqlDatabase::removeDatabase(lockConnection);
    }
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(cli.exitCode(), 1);
    const QStringList lines = cli.standardError().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QVERIFY2(lines.constLast().contains(QStringLiteral("not recorded")), qPrintable(lines.constLast()));
    QVERIFY2(lines.constLast().contains(profile.devEui, Qt::CaseInsensitive), qPrintable(lines.constLast()));
    QCOMPARE(server->registrationsOf(profile.devEui), 1);
}

void OutboxStressTest::unreadableOutboxStopsTheRunBeforeAnyNodeAndIsKept()
{
    SimulatedPort node(SimNodeProfile::forType(Node::LoRaOTAA));
    QVERIFY2(node.start(), qPrintable(node.errorString()));
    CliRun cli(QLatin1String(TestServerProcess::kPassword));
    const QByteArray garbage(4096, 'x');
    QVERIFY(writeTestFile(cli.outboxPath(), garbage));

    QVERIFY(cli.start(commissionArguments({node.path()})));
    QVERIFY2(cli.waitForExit(kPortOpenMs), qPrintable(cli.standardError()));
    QCOMPARE(cli.exitCode(), 1);
    const QString said = cli.standardError();
    QVERIFY2(said.contains(QStringLiteral("kept as")), qPrintable(said));
    QVERIFY2(!said.contains(QStringLiteral("waiting for a node")), qPrintable(said)); // no port was opened

    const QStringList kept
        = QDir(cli.directory()).entryList({QStringLiteral("outbox-unreadable-*.sqlite")}, QDir::Files);
    QCOMPARE(kept.size(), 1);
    QFile file(QDir(cli.directory()).filePath(kept.first()));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), garbage);

    // The next run finds the fresh outbox and goes on.
    RegistrationOutbox fresh(cli.outboxPath());
    QVERIFY(fresh.isOpen());
    QVERIFY(fresh.recoveryNote().isEmpty());
}

IOT_SHARDED_GUILESS_TEST_MAIN(OutboxStressTest)
#include "tst_outboxstress.moc"
