#include "registrationoutbox.h"

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

#include <climits>
#include <memory>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

Q_DECLARE_METATYPE(RegistrationOutbox::State)

namespace {

// A document with bytes that a text round trip would damage: the store must give back exactly these.
const QByteArray kDocument("{\"DeviceName\":\"T\xc3\xbcr 4\",\"euid\":\"70B3D57ED0000A01\",\"raw\":\"\x01\xff\"}");
const QString kDevEui = QStringLiteral("70B3D57ED0000A01");

enum class Fate { Removed, Scheduled, AwaitsLogin, Refused };

} // namespace

Q_DECLARE_METATYPE(Fate)

class RegistrationOutboxTest : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void entriesSurviveClosingAndReopening();
    void serverAnswerDecidesWhatBecomesOfTheEntry_data();
    void serverAnswerDecidesWhatBecomesOfTheEntry();
    void retryDelayDoublesUpToTheCapAndHonoursRetryAfter_data();
    void retryDelayDoublesUpToTheCapAndHonoursRetryAfter();
    void retriesAreSpreadWithinTheJitterBounds();
    void refusedTokenWaitsForTheNextLogin();
    void dueListsTheEarliestFirstAndNextDueFollowsIt();
    void newerRegistrationOfTheSameNodeReplacesTheWaitingOne();
    void answerToAnUnknownEntryChangesNothing();
    void twoInstancesShareOneFile();

    void loginKeepsTheTimeTheServerAskedFor();
    void unusableFileIsReportedNotIgnored();
    void unreadableFileIsKeptAsideAndAFreshStoreStarted_data();
    void unreadableFileIsKeptAsideAndAFreshStoreStarted();
    void filesFoundReadableByOthersAreTightened_data();
    void filesFoundReadableByOthersAreTightened();
    void claimKeepsAnEntryFromOtherInstancesUntilItExpires();
    void claimsOfEndedProcessesOnThisHostAreReleasedOnOpening();
    void changesByAnotherInstanceAreNoticed();
    void storeHoldsOnlyRegistrationsAndOnlyItsOwnerCanReadIt();
    void defaultStoreLivesBesideTheJournal();

private:
    QString storePath() const { return dir->filePath(QStringLiteral("outbox.sqlite")); }

    std::unique_ptr<QTemporaryDir> dir;
};

void RegistrationOutboxTest::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
}

void RegistrationOutboxTest::entriesSurviveClosingAndReopening()
{
    const QDateTime before = QDateTime::currentDateTimeUtc().addMSecs(-1);
    qint64 first = -1;
    qint64 second = -1;
    {
        RegistrationOutbox outbox(storePath());
        QVERIFY2(outbox.isOpen(), qPrintable(outbox.errorText()));
        first = outbox.enqueue(kDevEui, kDocument);
        second = outbox.enqueue(QStringLiteral("C0FFEE"), QByteArray("{\"euid\":\"C0FFEE\"}"));
        QVERIFY(first > 0 && second > first);
        QVERIFY(outbox.recordAnswer(second, 503, QStringLiteral("Service Unavailable")));
    }
    const QDateTime after = QDateTime::currentDateTimeUtc().addMSecs(1);

    RegistrationOutbox reopened(storePath());
    QVERIFY2(reopened.isOpen(), qPrintable(reopened.errorText()));
    const QVector<RegistrationOutbox::Entry> entries = reopened.pending();
    QCOMPARE(entries.size(), 2);
    QCOMPARE(reopened.pendingCount(), 2);

    const RegistrationOutbox::Entry &fresh = entries.at(0);
    QCOMPARE(fresh.id, first);
    QCOMPARE(fresh.identifier, kDevEui);
    QCOMPARE(fresh.document, kDocument);
    QCOMPARE(fresh.created.timeSpec(), Qt::UTC);
    QVERIFY(fresh.created >= before && fresh.created <= after);
    QCOMPARE(fresh.attempts, 0);
    QCOMPARE(fresh.lastStatus, 0);
    QCOMPARE(fresh.state, RegistrationOutbox::State::Pending);
    QVERIFY(fresh.nextAttempt <= after); // stored for sending at once

    const RegistrationOutbox::Entry &retried = entries.at(1);
    QCOMPARE(retried.id, second);
    QCOMPARE(retried.identifier, QStringLiteral("C0FFEE"));
    QCOMPARE(retried.attempts, 1);
    QCOMPARE(retried.lastStatus, 503);
    QCOMPARE(retried.lastError, QStringLiteral("Service Unavailable"));
    QVERIFY(retried.nextAttempt > after);

    // A registration stored after reopening gets an id of its own.
    const qint64 third = reopened.enqueue(QStringLiteral("0004A30B001C0A00"), QByteArray("{}"));
    QVERIFY(third > second);
}

void RegistrationOutboxTest::serverAnswerDecidesWhatBecomesOfTheEntry_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<Fate>("fate");

    QTest::newRow("200 added") << 200 << Fate::Removed;
    QTest::newRow("201 updated") << 201 << Fate::Removed;
    QTest::newRow("no answer") << 0 << Fate::Scheduled;
    QTest::newRow("408 request timeout") << 408 << Fate::Scheduled;
    QTest::newRow("429 too many requests") << 429 << Fate::Scheduled;
    QTest::newRow("500 server error") << 500 << Fate::Scheduled;
    QTest::newRow("503 unavailable") << 503 << Fate::Scheduled;
    QTest::newRow("599 last server error") << 599 << Fate::Scheduled;
    QTest::newRow("401 token refused") << 401 << Fate::AwaitsLogin;
    QTest::newRow("403 forbidden") << 403 << Fate::AwaitsLogin;
    QTest::newRow("400 bad document") << 400 << Fate::Refused;
    QTest::newRow("404 not found") << 404 << Fate::Refused;
    QTest::newRow("409 conflict") << 409 << Fate::Refused;
    QTest::newRow("204 is no acceptance") << 204 << Fate::Refused;
    QTest::newRow("302 redirect") << 302 << Fate::Refused;
}

void RegistrationOutboxTest::serverAnswerDecidesWhatBecomesOfTheEntry()
{
    QFETCH(int, status);
    QFETCH(Fate, fate);

    RegistrationOutbox outbox(storePath());
    QVERIFY2(outbox.isOpen(), qPrintable(outbox.errorText()));
    const qint64 id = outbox.enqueue(kDevEui, kDocument);
    QVERIFY(id > 0);
    QSignalSpy changed(&outbox, &RegistrationOutbox::changed);
    const QDateTime answered = QDateTime::currentDateTimeUtc();
    QVERIFY(outbox.recordAnswer(id, status, QStringLiteral("answer %1").arg(status)));
    QCOMPARE(changed.count(), 1);

    // What a later run of the tool finds.
    RegistrationOutbox reopened(storePath());
    const QVector<RegistrationOutbox::Entry> entries = reopened.all();
    if (fate == Fate::Removed) {
        QVERIFY(entries.isEmpty());
        QCOMPARE(reopened.pendingCount(), 0);
        return;
    }
    QCOMPARE(entries.size(), 1);
    const RegistrationOutbox::Entry &entry = entries.first();
    QCOMPARE(entry.attempts, 1);
    QCOMPARE(entry.lastStatus, status);
    QCOMPARE(entry.lastError, QStringLiteral("answer %1").arg(status));
    QCOMPARE(entry.document, kDocument);
    const QDateTime farFuture = answered.addDays(2);
    switch (fate) {
    case Fate::Scheduled:
        QCOMPARE(entry.state, RegistrationOutbox::State::Pending);
        QCOMPARE(reopened.pendingCount(), 1);
        QVERIFY(reopened.due(answered).isEmpty());
        QCOMPARE(reopened.due(farFuture).size(), 1);
        break;
    case Fate::AwaitsLogin:
        QCOMPARE(entry.state, RegistrationOutbox::State::Pending);
        QCOMPARE(reopened.pendingCount(), 1);
        QVERIFY(!entry.nextAttempt.isValid());
        QVERIFY(reopened.due(farFuture).isEmpty());
        break;
    case Fate::Refused:
        QCOMPARE(entry.state, RegistrationOutbox::State::Refused);
        QCOMPARE(reopened.pendingCount(), 0);
        QCOMPARE(reopened.refusedCount(), 1);
        QVERIFY(reopened.due(farFuture).isEmpty());
        // Not even a new login sends it again.
        reopened.makeLoginWaitersDue();
        QVERIFY(reopened.due(farFuture).isEmpty());
        break;
    case Fate::Removed:
        break;
    }
}

void RegistrationOutboxTest::retryDelayDoublesUpToTheCapAndHonoursRetryAfter_data()
{
    QTest::addColumn<int>("attempts");
    QTest::addColumn<int>("retryAfterSeconds");
    QTest::addColumn<double>("jitter");
    QTest::addColumn<qint64>("delayMs");
    QTest::addColumn<double>("scale"); // of the protocol's pacing

    QTest::newRow("after the first attempt") << 1 << -1 << 0.0 << qint64(5000) << 1.0;
    QTest::newRow("second") << 2 << -1 << 0.0 << qint64(10000) << 1.0;
    QTest::newRow("third") << 3 << -1 << 0.0 << qint64(20000) << 1.0;
    QTest::newRow("sixth") << 6 << -1 << 0.0 << qint64(160000) << 1.0;
    QTest::newRow("seventh reaches the cap") << 7 << -1 << 0.0 << qint64(300000) << 1.0;
    QTest::newRow("hundredth stays at the cap") << 100 << -1 << 0.0 << qint64(300000) << 1.0;
    QTest::newRow("largest count stays at the cap") << INT_MAX << -1 << 0.0 << qint64(300000) << 1.0;
    QTest::newRow("no attempt yet") << 0 << -1 << 0.0 << qint64(5000) << 1.0;
    QTest::newRow("jitter up") << 1 << -1 << 0.2 << qint64(6000) << 1.0;
    QTest::newRow("jitter down") << 1 << -1 << -0.2 << qint64(4000) << 1.0;
    QTest::newRow("jitter on the cap") << 9 << -1 << 0.2 << qint64(360000) << 1.0;
    QTest::newRow("Retry-After longer than the back-off") << 1 << 120 << 0.0 << qint64(120000) << 1.0;
    QTest::newRow("Retry-After shorter than the back-off") << 3 << 2 << 0.0 << qint64(20000) << 1.0;
    QTest::newRow("Retry-After zero") << 1 << 0 << 0.0 << qint64(5000) << 1.0;
    QTest::newRow("Retry-After above the cap") << 1 << 86400 << 0.0 << qint64(3600000) << 1.0;
    QTest::newRow("Retry-After largest") << 1 << INT_MAX << 0.2 << qint64(3600000) << 1.0;
    QTest::newRow("first retry of a shortened pacing") << 1 << -1 << 0.0 << qint64(1000) << 0.2;
    QTest::newRow("cap of a shortened pacing") << 100 << -1 << 0.0 << qint64(60000) << 0.2;
}

void RegistrationOutboxTest::retryDelayDoublesUpToTheCapAndHonoursRetryAfter()
{
    QFETCH(int, attempts);
    QFETCH(int, retryAfterSeconds);
    QFETCH(double, jitter);
    QFETCH(qint64, delayMs);
    QFETCH(double, scale);
    QCOMPARE(RegistrationOutbox::retryDelayMs(Pacing().scaled(scale), attempts, retryAfterSeconds, jitter), delayMs);
}

void RegistrationOutboxTest::retriesAreSpreadWithinTheJitterBounds()
{
    RegistrationOutbox outbox(storePath());
    QVERIFY(outbox.isOpen());
    const int count = 20;
    QVector<qint64> ids;
    for (int i = 0; i < count; ++i)
        ids << outbox.enqueue(QStringLiteral("node-%1").arg(i), kDocument);

    const QDateTime before = QDateTime::currentDateTimeUtc();
    for (qint64 id : ids)
        QVERIFY(outbox.recordAnswer(id, 0, QStringLiteral("Connection refused")));
    const QDateTime after = QDateTime::currentDateTimeUtc();

    QSet<qint64> delays;
    for (const RegistrationOutbox::Entry &entry : outbox.pending()) {
        QVERIFY(entry.nextAttempt >= before.addMSecs(4000));
        QVERIFY(entry.nextAttempt <= after.addMSecs(6000));
        delays.insert(before.msecsTo(entry.nextAttempt) / 10);
    }
    QVERIFY2(delays.size() > 1, "every retry was scheduled for the same moment");

    // A server's Retry-After puts the next attempt no earlier than it asked.
    const qint64 asked = outbox.enqueue(QStringLiteral("busy"), kDocument);
    const QDateTime answered = QDateTime::currentDateTimeUtc();
    QVERIFY(outbox.recordAnswer(asked, 503, QString(), 90));
    QVERIFY(outbox.due(answered.addSecs(89)).size() == count);
    QCOMPARE(outbox.due(answered.addSecs(91)).size(), count + 1);
}

void RegistrationOutboxTest::refusedTokenWaitsForTheNextLogin()
{
    RegistrationOutbox outbox(storePath());
    const qint64 refusedToken = outbox.enqueue(kDevEui, kDocument);
    const qint64 serverDown = outbox.enqueue(QStringLiteral("C0FFEE"), kDocument);
    QVERIFY(outbox.recordAnswer(refusedToken, 401, QStringLiteral("Unauthorized")));
    QVERIFY(outbox.recordAnswer(serverDown, 500, QString()));
    QVERIFY(outbox.recordAnswer(serverDown, 500, QString()));

    const QDateTime now = QDateTime::currentDateTimeUtc();
    QVERIFY(outbox.due(now).isEmpty());
    QVERIFY(outbox.nextDue().has_value());
    QCOMPARE(outbox.due(now.addDays(1)).size(), 1); // only the one waiting for the server

    const QDateTime backOff = outbox.pending().value(1).nextAttempt;
    QSignalSpy changed(&outbox, &RegistrationOutbox::changed);
    outbox.makeLoginWaitersDue();
    QCOMPARE(changed.count(), 1);
    // Only what waited for the login is due; the server's back-off is not cut short by a login.
    const QVector<RegistrationOutbox::Entry> due = outbox.due(QDateTime::currentDateTimeUtc());
    QCOMPARE(due.size(), 1);
    QCOMPARE(due.at(0).id, refusedToken);
    QCOMPARE(outbox.pending().value(1).nextAttempt, backOff);
    QCOMPARE(outbox.due(now.addDays(1)).size(), 2);

    // A second login finds nothing more to make due.
    outbox.makeLoginWaitersDue();
    QCOMPARE(changed.count(), 1);
}

void RegistrationOutboxTest::loginKeepsTheTimeTheServerAskedFor()
{
    RegistrationOutbox outbox(storePath());
    const qint64 id = outbox.enqueue(kDevEui, kDocument);
    QVERIFY(outbox.recordAnswer(id, 429, QStringLiteral("Too Many Requests"), 3600));
    const QDateTime asked = outbox.pending().value(0).nextAttempt;
    QVERIFY(asked > QDateTime::currentDateTimeUtc().addSecs(3500));

    outbox.makeLoginWaitersDue();
    QCOMPARE(outbox.pending().value(0).nextAttempt, asked);
    QVERIFY(outbox.due(QDateTime::currentDateTimeUtc().addSecs(3000)).isEmpty());
}

void RegistrationOutboxTest::dueListsTheEarliestFirstAndNextDueFollowsIt()
{
    RegistrationOutbox outbox(storePath());
    QVERIFY(!outbox.nextDue().has_value());
    const qint64 late = outbox.enqueue(QStringLiteral("late"), kDocument);
    const qint64 early = outbox.enqueue(QStringLiteral("early"), kDocument);
    QVERIFY(outbox.recordAnswer(late, 503, QString(), 600));
    QVERIFY(outbox.recordAnswer(early, 503, QString(), 60));

    const std::optional<QDateTime> next = outbox.nextDue();
    QVERIFY(next.has_value());
    const QVector<RegistrationOutbox::Entry> pending = outbox.pending();
    QCOMPARE(*next, pending.at(1).nextAttempt);
    QCOMPARE(outbox.due(*next).size(), 1);
    const QVector<RegistrationOutbox::Entry> both = outbox.due(next->addSecs(3600));
    QCOMPARE(both.size(), 2);
    QCOMPARE(both.at(0).id, early);
    QCOMPARE(both.at(1).id, late);

    QVERIFY(outbox.recordAnswer(early, 201, QString()));
    QCOMPARE(*outbox.nextDue(), pending.at(0).nextAttempt);
    QVERIFY(outbox.recordAnswer(late, 400, QStringLiteral("Bad Request")));
    QVERIFY(!outbox.nextDue().has_value());
}

void RegistrationOutboxTest::newerRegistrationOfTheSameNodeReplacesTheWaitingOne()
{
    RegistrationOutbox outbox(storePath());
    const qint64 refused = outbox.enqueue(kDevEui, QByteArray("{\"version\":\"old\"}"));
    QVERIFY(outbox.recordAnswer(refused, 409, QStringLiteral("Conflict")));
    const qint64 older = outbox.enqueue(kDevEui, QByteArray("{\"DeviceName\":\"first\"}"));
    QVERIFY(outbox.recordAnswer(older, 0, QStringLiteral("Host unreachable")));
    const qint64 other = outbox.enqueue(QStringLiteral("C0FFEE"), kDocument);

    const qint64 newer = outbox.enqueue(kDevEui, QByteArray("{\"DeviceName\":\"second\"}"));
    QVERIFY(newer > other);

    const QVector<RegistrationOutbox::Entry> pending = outbox.pending();
    QCOMPARE(pending.size(), 2);
    QCOMPARE(pending.at(0).id, other);
    QCOMPARE(pending.at(1).id, newer);
    QCOMPARE(pending.at(1).document, QByteArray("{\"DeviceName\":\"second\"}"));
    QCOMPARE(outbox.refusedCount(), 1); // the record of the refusal stays
    // The answer to the replaced entry's attempt, arriving late, finds nothing to change.
    QVERIFY(!outbox.recordAnswer(older, 500, QString()));
    QCOMPARE(outbox.pendingCount(), 2);
}

void RegistrationOutboxTest::answerToAnUnknownEntryChangesNothing()
{
    RegistrationOutbox outbox(storePath());
    const qint64 id = outbox.enqueue(kDevEui, kDocument);
    QVERIFY(outbox.recordAnswer(id, 200, QString()));
    QSignalSpy changed(&outbox, &RegistrationOutbox::changed);
    for (int status : {200, 0, 401, 400})
        QVERIFY(!outbox.recordAnswer(id, status, QString()));
    QCOMPARE(changed.count(), 0);
    QVERIFY(outbox.all().isEmpty());
    QVERIFY(outbox.errorText().isEmpty());
}

void RegistrationOutboxTest::twoInstancesShareOneFile()
{
    auto first = std::make_unique<RegistrationOutbox>(storePath());
    RegistrationOutbox second(storePath());
    RegistrationOutbox elsewhere(dir->filePath(QStringLiteral("other/outbox.sqlite")));
    QVERIFY(first->isOpen() && second.isOpen() && elsewhere.isOpen());

    const qint64 id = first->enqueue(kDevEui, kDocument);
    QCOMPARE(second.pending().value(0).id, id);
    QCOMPARE(elsewhere.pendingCount(), 0);

    // Closing one instance leaves the other's connection working.
    first.reset();
    QVERIFY(second.recordAnswer(id, 201, QString()));
    QCOMPARE(second.pendingCount(), 0);
    QVERIFY(elsewhere.enqueue(kDevEui, kDocument) > 0);
}

void RegistrationOutboxTest::unusableFileIsReportedNotIgnored()
{
    // A plain file where the store's directory should be: nothing can be moved aside, nothing is stored.
    QFile blocker(dir->filePath(QStringLiteral("share")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    const QString path = dir->filePath(QStringLiteral("share/outbox.sqlite"));

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^RegistrationOutbox: cannot open ")));
    RegistrationOutbox outbox(path);
    QVERIFY(!outbox.isOpen());
    QVERIFY(!outbox.errorText().isEmpty());
    QVERIFY(outbox.keptFilePath().isEmpty());
    QSignalSpy changed(&outbox, &RegistrationOutbox::changed);
    QCOMPARE(outbox.enqueue(kDevEui, kDocument), qint64(-1));
    QVERIFY(!outbox.recordAnswer(1, 200, QString()));
    QCOMPARE(outbox.claim(1), RegistrationOutbox::ClaimResult::StoreFailed);
    outbox.makeLoginWaitersDue();
    QVERIFY(outbox.all().isEmpty());
    QCOMPARE(outbox.pendingCount(), 0);
    QVERIFY(!outbox.nextDue().has_value());
    QCOMPARE(changed.count(), 0);
}

void RegistrationOutboxTest::unreadableFileIsKeptAsideAndAFreshStoreStarted_data()
{
    QTest::addColumn<QString>("setUp"); // what stands where the store should be

    QTest::newRow("a directory in its place") << QStringLiteral("directory");
    QTest::newRow("a file that is not a database") << QStringLiteral("garbage");
    QTest::newRow("a database cut short") << QStringLiteral("truncated");
}

void RegistrationOutboxTest::unreadableFileIsKeptAsideAndAFreshStoreStarted()
{
    QFETCH(QString, setUp);

    const QString path = storePath();
    QByteArray content(8192, 'x');
    if (setUp == QLatin1String("directory")) {
        QVERIFY(QDir(dir->path()).mkdir(QStringLiteral("outbox.sqlite")));
        content.clear();
    } else {
        if (setUp == QLatin1String("truncated")) {
            {
                RegistrationOutbox filled(path);
                for (int i = 0; i < 50; ++i)
                    QVERIFY(filled.enqueue(
                                QStringLiteral("70B3D57ED00%1").arg(i, 5, 10, QLatin1Char('0')), QByteArray(400, 'd'))
                        > 0);
            }
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            content = file.readAll().left(int(file.size() / 2));
        }
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    }

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^RegistrationOutbox: .* was kept as ")));
    RegistrationOutbox outbox(path);
    QVERIFY2(outbox.isOpen(), qPrintable(outbox.errorText()));
    QVERIFY(!outbox.recoveryNote().isEmpty());
    const QString kept = outbox.keptFilePath();
    QVERIFY(!kept.isEmpty());
    QVERIFY(outbox.recoveryNote().contains(kept));
    QCOMPARE(QFileInfo(kept).absolutePath(), QFileInfo(path).absolutePath());
    QVERIFY(kept.endsWith(QLatin1String(".sqlite")));
    // Never deleted: what stood there is where the note says, byte for byte.
    if (setUp == QLatin1String("directory")) {
        QVERIFY(QFileInfo(kept).isDir());
    } else {
        QFile file(kept);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), content);
    }
    // The fresh store works, and a later start finds nothing wrong with it.
    QVERIFY(outbox.enqueue(kDevEui, kDocument) > 0);
    RegistrationOutbox reopened(path);
    QVERIFY(reopened.recoveryNote().isEmpty());
    QCOMPARE(reopened.pendingCount(), 1);
}

void RegistrationOutboxTest::filesFoundReadableByOthersAreTightened_data()
{
    QTest::addColumn<bool>("database"); // an empty file (an inspection's leftover) or a store with its log
    QTest::addColumn<int>("mode");

    QTest::newRow("empty file left by an inspection, 0644") << false << 0644;
    QTest::newRow("store and its log, 0666") << true << 0666;
    QTest::newRow("store and its log, 0640") << true << 0640;
}

void RegistrationOutboxTest::filesFoundReadableByOthersAreTightened()
{
    QFETCH(bool, database);
    QFETCH(int, mode);

    QStringList files{storePath()};
    if (database) {
        // Kept open, so that the write-ahead log and its index are still there when the modes are widened.
        auto writer = std::make_unique<RegistrationOutbox>(storePath());
        QVERIFY(writer->enqueue(kDevEui, kDocument) > 0);
        files << storePath() + QStringLiteral("-wal") << storePath() + QStringLiteral("-shm");
        for (const QString &file : files)
            QVERIFY2(::chmod(QFile::encodeName(file).constData(), mode_t(mode)) == 0, qPrintable(file));
        RegistrationOutbox reader(storePath());
        QVERIFY(reader.isOpen());
        QVERIFY(reader.permissionProblem().isEmpty());
        QCOMPARE(reader.pendingCount(), 1);
        for (const QString &file : files) {
            struct stat status = {};
            QVERIFY2(::stat(QFile::encodeName(file).constData(), &status) == 0, qPrintable(file));
            QCOMPARE(int(status.st_mode & 07777), 0600);
        }
        return;
    } else {
        QFile file(storePath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QVERIFY(::chmod(QFile::encodeName(storePath()).constData(), mode_t(mode)) == 0);
        RegistrationOutbox outbox(storePath());
        QVERIFY2(outbox.isOpen(), qPrintable(outbox.errorText()));
        QVERIFY(outbox.recoveryNote().isEmpty()); // an empty file is a database without tables
    }
    for (const QString &file : files) {
        struct stat status = {};
        QVERIFY2(::stat(QFile::encodeName(file).constData(), &status) == 0, qPrintable(file));
        QCOMPARE(int(status.st_mode & 07777), 0600);
    }
}

void RegistrationOutboxTest::claimKeepsAnEntryFromOtherInstancesUntilItExpires()
{
    RegistrationOutbox first(storePath());
    RegistrationOutbox second(storePath());
    QVERIFY(first.owner() != second.owner());
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const qint64 id = first.enqueue(kDevEui, kDocument);

    // Stored is claimed: the other instance neither lists it as due nor takes it.
    QCOMPARE(first.pending().value(0).claimedBy, first.owner());
    QVERIFY(second.due(now).isEmpty());
    QCOMPARE(second.claim(id), RegistrationOutbox::ClaimResult::Taken);
    QCOMPARE(first.claim(id), RegistrationOutbox::ClaimResult::Claimed); // its own claim is renewed
    // Not due before the claim runs out, though its own time has come.
    QVERIFY(*second.nextDue() >= now.addMSecs(RegistrationOutbox::kClaimMs));
    const qint64 free = second.enqueue(QStringLiteral("C0FFEE"), kDocument);
    QVERIFY(second.recordAnswer(free, 503, QString(), 0)); // unclaimed, due after its back-off

    // The owner crashed: once its claim has run out, the entry is the other's to send.
    const QDateTime later = QDateTime::currentDateTimeUtc().addMSecs(RegistrationOutbox::kClaimMs + 1000);
    QVector<qint64> dueLater;
    for (const auto &entry : second.due(later))
        dueLater << entry.id;
    QCOMPARE(dueLater, (QVector<qint64>{id, free})); // the earliest first
    QCOMPARE(second.claim(id, later), RegistrationOutbox::ClaimResult::Claimed);
    QCOMPARE(first.claim(id, later), RegistrationOutbox::ClaimResult::Taken);

    // The late owner's answer does not release the claim it lost.
    QVERIFY(first.recordAnswer(id, 503, QString()));
    QCOMPARE(first.pending().value(0).claimedBy, second.owner());
    // The owner's answer does; a delivered entry can no longer be claimed.
    QVERIFY(second.recordAnswer(id, 0, QStringLiteral("Connection refused"), -1, QStringLiteral("connectionRefused")));
    const RegistrationOutbox::Entry released = second.pending().value(0);
    QVERIFY(released.claimedBy.isEmpty());
    QCOMPARE(released.lastStatus, 0);
    QCOMPARE(released.lastFailure, QStringLiteral("connectionRefused"));
    QCOMPARE(first.claim(id, later), RegistrationOutbox::ClaimResult::Claimed);
    QVERIFY(first.recordAnswer(id, 201, QString()));
    QCOMPARE(second.claim(id, later), RegistrationOutbox::ClaimResult::Taken);
}

void RegistrationOutboxTest::claimsOfEndedProcessesOnThisHostAreReleasedOnOpening()
{
    // A process that has ended: a child that has been waited for.
    const pid_t ended = ::fork();
    if (ended == 0)
        ::_exit(0);
    QVERIFY(ended > 0);
    QCOMPARE(::waitpid(ended, nullptr, 0), ended);
    const QString host = QSysInfo::machineHostName();
    const QStringList owners{QStringLiteral("%1/%2/0-dead").arg(host).arg(ended),
        QStringLiteral("%1/%2/0-alive").arg(host).arg(::getpid()), QStringLiteral("elsewhere/%1/0-away").arg(ended)};
    {
        RegistrationOutbox outbox(storePath());
        for (int i = 0; i < owners.size(); ++i)
            QVERIFY(outbox.enqueue(QStringLiteral("70B3D57ED000000%1").arg(i), kDocument) > 0);
    }
    const QString connection = QStringLiteral("claims");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(storePath());
        QVERIFY(db.open());
        for (int i = 0; i < owners.size(); ++i) {
            QSqlQuery query(db);
            query.prepare(QStringLiteral("UPDATE registrations SET claimed_by = ? WHERE identifier = ?"));
            query.addBindValue(owners.at(i));
            query.addBindValue(QStringLiteral("70B3D57ED000000%1").arg(i));
            QVERIFY(query.exec());
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);

    RegistrationOutbox reopened(storePath());
    QStringList due;
    for (const auto &entry : reopened.due(QDateTime::currentDateTimeUtc()))
        due << entry.identifier;
    // Only the ended process's entry is free at once; a live process and another host keep theirs until expiry.
    QCOMPARE(due, QStringList{QStringLiteral("70B3D57ED0000000")});
}

void RegistrationOutboxTest::changesByAnotherInstanceAreNoticed()
{
    RegistrationOutbox watcher(storePath());
    RegistrationOutbox other(storePath());
    QVERIFY(!watcher.changedElsewhere());

    const qint64 id = other.enqueue(kDevEui, kDocument);
    QVERIFY(watcher.changedElsewhere());
    QVERIFY(!watcher.changedElsewhere()); // said once per change

    // Its own changes are not news to it.
    QVERIFY(watcher.claim(id) == RegistrationOutbox::ClaimResult::Taken);
    QVERIFY(watcher.enqueue(QStringLiteral("C0FFEE"), kDocument) > 0);
    QVERIFY(!watcher.changedElsewhere());
    QVERIFY(other.recordAnswer(id, 201, QString()));
    QVERIFY(watcher.changedElsewhere());
}

void RegistrationOutboxTest::storeHoldsOnlyRegistrationsAndOnlyItsOwnerCanReadIt()
{
    {
        RegistrationOutbox outbox(storePath());
        QVERIFY(outbox.enqueue(kDevEui, kDocument) > 0);
        const QFileDevice::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup
            | QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
        for (const QString &suffix : {QString(), QStringLiteral("-wal")}) {
            QVERIFY2(QFile::exists(storePath() + suffix), qPrintable(suffix));
            QCOMPARE(QFile::permissions(storePath() + suffix) & others, QFileDevice::Permissions());
        }
    }

    const QString connection = QStringLiteral("inspection");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(storePath());
        QVERIFY(db.open());
        QSqlQuery query(db);
        QVERIFY(query.exec(QStringLiteral("PRAGMA journal_mode")) && query.next());
        QCOMPARE(query.value(0).toString(), QStringLiteral("wal"));

        // Every column there is: none could hold a token, a password or its digest.
        QVERIFY(query.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE "
                                          "'sqlite_%'")));
        QStringList tables;
        while (query.next())
            tables << query.value(0).toString();
        QCOMPARE(tables, QStringList{QStringLiteral("registrations")});
        QVERIFY(query.exec(QStringLiteral("PRAGMA table_info(registrations)")));
        QStringList columns;
        while (query.next())
            columns << query.value(1).toString();
        QCOMPARE(columns,
            (QStringList{"id", "identifier", "document", "created_utc", "attempts", "last_status", "last_error",
                "state", "next_attempt_utc", "last_failure", "claimed_by", "claim_expires_utc"}));
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
}

void RegistrationOutboxTest::defaultStoreLivesBesideTheJournal()
{
    const QByteArray previousDataHome = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", dir->path().toLocal8Bit());
    QCoreApplication::setOrganizationName(QStringLiteral("DARV"));
    QCoreApplication::setApplicationName(QStringLiteral("iot_commission"));

    const QString expected = dir->filePath(QStringLiteral("DARV/iot_commission/outbox.sqlite"));
    QCOMPARE(RegistrationOutbox::defaultFilePath(), expected);
    {
        // The first start creates the data directory.
        RegistrationOutbox outbox;
        QVERIFY2(outbox.isOpen(), qPrintable(outbox.errorText()));
        QCOMPARE(outbox.filePath(), expected);
        QVERIFY(QFile::exists(expected));
    }

    if (previousDataHome.isNull())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", previousDataHome);
}

QTEST_GUILESS_MAIN(RegistrationOutboxTest)
#include "tst_registrationoutbox.moc"
