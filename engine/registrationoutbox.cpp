#include "registrationoutbox.h"

#include "commissioningjournal.h"
#include "enginelog.h"

#include <QAtomicInteger>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSysInfo>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char kDriver[] = "QSQLITE";
const char kStatePending[] = "pending";
const char kStateRefused[] = "refused";

const int kLongestRetryAfterSeconds = 60 * 60;
// Spreads the retries of several workbenches that lost the same server at the same moment.
const double kRetryJitterFraction = 0.2;
// Another instance of the tool may hold the write lock for a moment; wait for it rather than fail. Every
// transaction here is short; a lock held longer than this is a fault, and the caller backs off in memory
// rather than blocking its event loop for long.
const int kBusyTimeoutMs = 1500;
// The documents carry the nodes' application keys and PACs.
const mode_t kStoreFileMode = 0600;

const char kColumns[] = "id, identifier, document, created_utc, attempts, last_status, last_error, state,"
                        " next_attempt_utc, last_failure, claimed_by, claim_expires_utc";

// Columns added after the first release of the store, added to a file written by an older version.
const char *const kAddedColumns[][2] = {
    {"last_failure", "last_failure TEXT NOT NULL DEFAULT ''"},
    {"claimed_by", "claimed_by TEXT"},
    {"claim_expires_utc", "claim_expires_utc INTEGER"},
};

// SQLite's result codes for a file that is not a database, or one whose content is damaged.
const int kSqliteCorrupt = 11;
const int kSqliteNotADatabase = 26;

bool isDamaged(const QSqlError &sqlError)
{
    const int code = sqlError.nativeErrorCode().toInt() & 0xff; // the primary code of an extended one
    if (code == kSqliteCorrupt || code == kSqliteNotADatabase)
        return true;
    const QString text = sqlError.text();
    return text.contains(QLatin1String("not a database")) || text.contains(QLatin1String("malformed"));
}

// SQLite's result codes for a file another connection holds locked.
const int kSqliteBusy = 5;
const int kSqliteLocked = 6;
// Two instances started together on a new store race to create it and switch it to the write-ahead log; SQLite
// answers the loser "database is locked" at once, without waiting. The open is tried again for this long.
const int kOpenRetryMs = 10000;
const int kOpenRetryPauseMs = 100;

bool isLocked(const QSqlError &sqlError)
{
    const int code = sqlError.nativeErrorCode().toInt() & 0xff;
    return code == kSqliteBusy || code == kSqliteLocked || sqlError.text().contains(QLatin1String("locked"));
}

QDateTime fromEpochMs(const QVariant &value)
{
    if (value.isNull())
        return QDateTime();
    return QDateTime::fromMSecsSinceEpoch(value.toLongLong(), Qt::UTC);
}

// Write transactions take the write lock at their start, so that SQLite waits for another instance's write
// (the busy time-out) instead of failing at once when a read turns into a write after another's commit.
bool beginWrite(const QSqlDatabase &db, QSqlError *sqlError)
{
    QSqlQuery begin(db);
    if (begin.exec(QStringLiteral("BEGIN IMMEDIATE")))
        return true;
    *sqlError = begin.lastError();
    return false;
}

bool commitWrite(const QSqlDatabase &db, QSqlError *sqlError)
{
    QSqlQuery commit(db);
    if (commit.exec(QStringLiteral("COMMIT")))
        return true;
    *sqlError = commit.lastError();
    return false;
}

void rollbackWrite(const QSqlDatabase &db)
{
    QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
}

QString lastSqlError(const QSqlError &sqlError)
{
    const QString text = sqlError.text().trimmed();
    return text.isEmpty() ? QStringLiteral("unknown database error") : text;
}

} // namespace

QString RegistrationOutbox::defaultFilePath()
{
    const QString journal = CommissioningJournal::defaultFilePath();
    if (journal.isEmpty())
        return QString();
    return QFileInfo(journal).dir().filePath(QString::fromLatin1(kFileName));
}

RegistrationOutbox::RegistrationOutbox(const QString &filePath, QObject *parent)
    : RegistrationOutbox(filePath, Pacing(), parent)
{
}

RegistrationOutbox::RegistrationOutbox(const QString &filePath, const Pacing &pacing, QObject *parent)
    : QObject(parent)
    , pacing(pacing)
    , path(filePath)
{
    static QAtomicInteger<quint64> instances;
    connectionName = QStringLiteral("RegistrationOutbox-%1").arg(instances.fetchAndAddRelaxed(1));
    // Unique among the instances of every process that may share the file, also after a process id is reused;
    // host and process id first, so that the claims of a process that is gone can be told.
    ownerName = QStringLiteral("%1/%2/%3-%4")
                    .arg(QSysInfo::machineHostName())
                    .arg(QCoreApplication::applicationPid())
                    .arg(connectionName.section(QLatin1Char('-'), -1))
                    .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
    open = openStore();
    if (!open)
        qCWarning(lcEngine).noquote() << QStringLiteral("RegistrationOutbox: cannot open %1: %2").arg(path, error);
}

RegistrationOutbox::~RegistrationOutbox()
{
    if (QSqlDatabase::contains(connectionName)) {
        database().close();
        QSqlDatabase::removeDatabase(connectionName);
    }
}

QSqlDatabase RegistrationOutbox::database() const
{
    return QSqlDatabase::database(connectionName, false);
}

bool RegistrationOutbox::fail(const QString &what, const QString &reason) const
{
    error = QStringLiteral("%1: %2").arg(what, reason);
    return false;
}

bool RegistrationOutbox::openStore()
{
    if (path.isEmpty())
        return fail(QStringLiteral("no data directory"), QStringLiteral("the outbox has no place to live"));
    if (!QSqlDatabase::isDriverAvailable(QString::fromLatin1(kDriver)))
        return fail(QStringLiteral("no SQLite driver"), QStringLiteral("install libqt5sql5-sqlite"));
    const QFileInfo info(path);
    const QString directory = info.absolutePath();
    if (!QDir().mkpath(directory))
        return fail(QStringLiteral("cannot create %1").arg(directory), QStringLiteral("not a writable directory"));
    if (info.isDir() && !moveAside(QStringLiteral("a directory stands in its place")))
        return false;
    QElapsedTimer trying;
    trying.start();
    bool opened = openDatabase();
    while (!opened && lockedAtOpen && trying.elapsed() < kOpenRetryMs) {
        QThread::msleep(kOpenRetryPauseMs);
        opened = openDatabase();
    }
    if (opened)
        return true;
    if (keptPath.isEmpty() && !damage.isEmpty()) {
        // The file is not a database: it is kept for whoever wants to recover entries from it, and a fresh store
        // takes its place so that the registrations from now on are not lost as well.
        if (!moveAside(damage))
            return false;
        return openDatabase();
    }
    return false;
}

bool RegistrationOutbox::openDatabase()
{
    damage.clear();
    lockedAtOpen = false;
    if (!QFileInfo::exists(path)) {
        // Created before SQLite opens it, so that it never exists with wider permissions; SQLite gives its
        // write-ahead log and index files the same mode.
        const int fd
            = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kStoreFileMode);
        if (fd < 0 && errno != EEXIST)
            return fail(path, QString::fromLocal8Bit(std::strerror(errno)));
        if (fd >= 0)
            ::close(fd);
    }
    // Whoever created the files (an inspection with the sqlite3 shell, an older version, a copy), they hold keys.
    tightenPermissions();

    QSqlDatabase db = QSqlDatabase::contains(connectionName)
        ? QSqlDatabase::database(connectionName, false)
        : QSqlDatabase::addDatabase(QString::fromLatin1(kDriver), connectionName);
    db.setDatabaseName(path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs));
    if (!db.open())
        return fail(path, lastSqlError(db.lastError()));

    QSqlQuery query(db);
    const auto failed = [&](const QSqlError &sqlError) {
        if (isDamaged(sqlError))
            damage = lastSqlError(sqlError);
        lockedAtOpen = isLocked(sqlError);
        query.finish();
        db.close();
        return fail(path, lastSqlError(sqlError));
    };
    // The journal mode answers with the mode in force: a file that is not a database fails here.
    if (!query.exec(QStringLiteral("PRAGMA journal_mode=WAL")) || !query.next())
        return failed(query.lastError());
    if (query.value(0).toString().compare(QStringLiteral("wal"), Qt::CaseInsensitive) != 0) {
        const QString mode = query.value(0).toString();
        query.finish();
        db.close();
        // Another instance creating the store at the same moment can keep the mode from changing for a while.
        lockedAtOpen = true;
        return fail(path, QStringLiteral("write-ahead log refused (journal mode %1)").arg(mode));
    }
    // A truncated or damaged file may still open; its pages do not check out.
    if (!query.exec(QStringLiteral("PRAGMA quick_check")) || !query.next())
        return failed(query.lastError());
    if (query.value(0).toString() != QLatin1String("ok")) {
        damage = QStringLiteral("damaged: %1").arg(query.value(0).toString());
        query.finish();
        db.close();
        return fail(path, damage);
    }
    query.finish();
    // Every commit reaches the disk before enqueue() returns: the registration is then as safe as the journal.
    if (!query.exec(QStringLiteral("PRAGMA synchronous=FULL")))
        return failed(query.lastError());
    // Two instances may open a new or an older file at the same moment: the schema is made and brought up to
    // date by one of them at a time.
    if (!query.exec(QStringLiteral("BEGIN IMMEDIATE")))
        return failed(query.lastError());
    const auto rolledBack = [&](const QSqlError &sqlError) {
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        return failed(sqlError);
    };
    if (!query.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS registrations ("
                                   " id INTEGER PRIMARY KEY AUTOINCREMENT,"
                                   " identifier TEXT NOT NULL,"
                                   " document BLOB NOT NULL,"
                                   " created_utc INTEGER NOT NULL,"
                                   " attempts INTEGER NOT NULL DEFAULT 0,"
                                   " last_status INTEGER NOT NULL DEFAULT 0,"
                                   " last_error TEXT NOT NULL DEFAULT '',"
                                   " state TEXT NOT NULL DEFAULT 'pending',"
                                   " next_attempt_utc INTEGER)")))
        return rolledBack(query.lastError());
    if (!query.exec(QStringLiteral("PRAGMA table_info(registrations)")))
        return rolledBack(query.lastError());
    QStringList columns;
    while (query.next())
        columns << query.value(1).toString();
    query.finish();
    for (const auto &added : kAddedColumns) {
        if (columns.contains(QLatin1String(added[0])))
            continue;
        if (!query.exec(QStringLiteral("ALTER TABLE registrations ADD COLUMN %1").arg(QLatin1String(added[1]))))
            return rolledBack(query.lastError());
    }
    if (!query.exec(QStringLiteral("COMMIT")))
        return rolledBack(query.lastError());
    // The write-ahead log and index exist now; they are tightened as the file is.
    tightenPermissions();
    releaseClaimsOfEndedProcesses();
    changedElsewhere();
    error.clear();
    return true;
}

void RegistrationOutbox::releaseClaimsOfEndedProcesses()
{
    // A tool killed with an entry on the wire leaves its claim; on this host, one whose process has ended need
    // not be waited out. Claims of other hosts (a shared directory) run out by their expiry.
    QSqlQuery query(database());
    if (!query.exec(QStringLiteral("SELECT DISTINCT claimed_by FROM registrations WHERE claimed_by IS NOT NULL")))
        return;
    QStringList ended;
    const QString host = QSysInfo::machineHostName();
    while (query.next()) {
        const QString owner = query.value(0).toString();
        const QStringList parts = owner.split(QLatin1Char('/'));
        bool numeric = false;
        const qint64 pid = parts.value(1).toLongLong(&numeric);
        if (parts.size() == 3 && parts.first() == host && numeric && pid > 0 && ::kill(pid_t(pid), 0) != 0
            && errno == ESRCH)
            ended << owner;
    }
    query.finish();
    for (const QString &owner : qAsConst(ended)) {
        query.prepare(QStringLiteral(
            "UPDATE registrations SET claimed_by = NULL, claim_expires_utc = NULL WHERE claimed_by = ?"));
        query.addBindValue(owner);
        if (query.exec() && query.numRowsAffected() > 0)
            qCInfo(lcEngine).noquote()
                << QStringLiteral("RegistrationOutbox: released the claims of %1, which has ended").arg(owner);
    }
}

bool RegistrationOutbox::moveAside(const QString &reason)
{
    if (QSqlDatabase::contains(connectionName)) {
        database().close();
        QSqlDatabase::removeDatabase(connectionName);
    }
    const QFileInfo info(path);
    const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    QString kept;
    for (int n = 0; kept.isEmpty() || QFileInfo::exists(kept); ++n) {
        kept = info.dir().filePath(
            QStringLiteral("%1-unreadable-%2%3.%4")
                .arg(info.completeBaseName(), stamp, n == 0 ? QString() : QStringLiteral("-%1").arg(n), info.suffix()));
    }
    if (::rename(QFile::encodeName(path).constData(), QFile::encodeName(kept).constData()) != 0)
        return fail(path,
            QStringLiteral("%1; it cannot be moved aside: %2")
                .arg(reason, QString::fromLocal8Bit(std::strerror(errno))));
    // The write-ahead log may hold committed entries: it goes with the file, under the name SQLite looks for.
    for (const char *companion : {"-wal", "-shm"}) {
        const QByteArray from = QFile::encodeName(path + QLatin1String(companion));
        if (QFileInfo::exists(QFile::decodeName(from)))
            ::rename(from.constData(), QFile::encodeName(kept + QLatin1String(companion)).constData());
    }
    keptPath = kept;
    recovery = QStringLiteral("%1 could not be read (%2); it was kept as %3 and a fresh outbox was started")
                   .arg(path, reason, kept);
    qCWarning(lcEngine).noquote() << QStringLiteral("RegistrationOutbox: %1").arg(recovery);
    return true;
}

void RegistrationOutbox::tightenPermissions()
{
    permissions.clear();
    for (const char *suffix : {"", "-wal", "-shm"}) {
        const QByteArray name = QFile::encodeName(path + QLatin1String(suffix));
        struct stat status = {};
        if (::stat(name.constData(), &status) != 0 || !S_ISREG(status.st_mode))
            continue;
        if ((status.st_mode & 07777) == kStoreFileMode)
            continue;
        if (::chmod(name.constData(), kStoreFileMode) != 0) {
            const QString problem = QStringLiteral("%1 cannot be made readable by its owner only: %2")
                                        .arg(QFile::decodeName(name), QString::fromLocal8Bit(std::strerror(errno)));
            permissions = permissions.isEmpty() ? problem : permissions + QStringLiteral("; ") + problem;
        }
    }
    if (!permissions.isEmpty())
        qCWarning(lcEngine).noquote() << QStringLiteral("RegistrationOutbox: %1").arg(permissions);
}

qint64 RegistrationOutbox::enqueue(const QString &identifier, const QByteArray &document)
{
    if (!open)
        return -1;
    QSqlDatabase db = database();
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    QSqlError sqlError;
    if (!beginWrite(db, &sqlError)) {
        fail(QStringLiteral("cannot store the registration of %1").arg(identifier), lastSqlError(sqlError));
        qCWarning(lcEngine).noquote() << QStringLiteral("RegistrationOutbox: %1").arg(error);
        return -1;
    }
    QSqlQuery query(db);
    query.prepare(QStringLiteral("DELETE FROM registrations WHERE identifier = ? AND state = ?"));
    query.addBindValue(identifier);
    query.addBindValue(QString::fromLatin1(kStatePending));
    bool stored = query.exec();
    const int replaced = stored ? query.numRowsAffected() : 0;
    if (stored) {
        query.prepare(QStringLiteral("INSERT INTO registrations (identifier, document, created_utc, next_attempt_utc,"
                                     " claimed_by, claim_expires_utc) VALUES (?, ?, ?, ?, ?, ?)"));
        query.addBindValue(identifier);
        query.addBindValue(document);
        query.addBindValue(now);
        query.addBindValue(now);
        query.addBindValue(ownerName);
        query.addBindValue(now + kClaimMs);
        stored = query.exec();
    }
    const qint64 id = stored ? query.lastInsertId().toLongLong() : -1;
    if (!stored)
        sqlError = query.lastError();
    if (!stored || !commitWrite(db, &sqlError)) {
        fail(QStringLiteral("cannot store the registration of %1").arg(identifier), lastSqlError(sqlError));
        rollbackWrite(db);
        qCWarning(lcEngine).noquote() << QStringLiteral("RegistrationOutbox: %1").arg(error);
        return -1;
    }
    error.clear();
    if (replaced > 0)
        qCInfo(lcEngine).noquote() << QStringLiteral("RegistrationOutbox: %1 replaces %2 waiting registration(s)")
                                          .arg(identifier)
                                          .arg(replaced);
    emit changed();
    return id;
}

RegistrationOutbox::ClaimResult RegistrationOutbox::claim(qint64 id, const QDateTime &now)
{
    if (!open) {
        fail(QStringLiteral("cannot claim registration %1").arg(id), QStringLiteral("the outbox is not open"));
        return ClaimResult::StoreFailed;
    }
    // One write transaction: of two instances claiming at once, the second sees the first's claim and never
    // overwrites it.
    const QSqlDatabase db = database();
    QSqlError sqlError;
    const auto failed = [&](const QSqlError &why) {
        fail(QStringLiteral("cannot claim registration %1").arg(id), lastSqlError(why));
        qCWarning(lcEngine).noquote() << QStringLiteral("RegistrationOutbox: %1").arg(error);
        return ClaimResult::StoreFailed;
    };
    if (!beginWrite(db, &sqlError))
        return failed(sqlError);
    QSqlQuery query(db);
    query.prepare(QStringLiteral("UPDATE registrations SET claimed_by = ?, claim_expires_utc = ? WHERE id = ? AND"
                                 " state = ? AND (claimed_by IS NULL OR claimed_by = ? OR claim_expires_utc <= ?)"));
    const qint64 at = now.toMSecsSinceEpoch();
    query.addBindValue(ownerName);
    query.addBindValue(at + kClaimMs);
    query.addBindValue(id);
    query.addBindValue(QString::fromLatin1(kStatePending));
    query.addBindValue(ownerName);
    query.addBindValue(at);
    if (!query.exec()) {
        sqlError = query.lastError();
        rollbackWrite(db);
        return failed(sqlError);
    }
    const bool claimed = query.numRowsAffected() == 1;
    if (!commitWrite(db, &sqlError)) {
        rollbackWrite(db);
        return failed(sqlError);
    }
    error.clear();
    return claimed ? ClaimResult::Claimed : ClaimResult::Taken;
}

bool RegistrationOutbox::recordAnswer(
    qint64 id, int status, const QString &errorText, int retryAfterSeconds, const QString &failure)
{
    if (!open)
        return false;
    QSqlDatabase db = database();
    QSqlQuery query(db);
    const Disposition disposition = dispositionFor(status);
    const auto failed = [&](const QSqlError &sqlError) {
        fail(QStringLiteral("cannot record the answer %1 to registration %2").arg(status).arg(id),
            lastSqlError(sqlError));
        qCWarning(lcEngine).noquote() << QStringLiteral("RegistrationOutbox: %1").arg(error);
        return false;
    };
    // The error is taken before the rollback, which may replace it.
    const auto rolledBack = [&](const QSqlError &sqlError) {
        rollbackWrite(db);
        return failed(sqlError);
    };
    QSqlError sqlError;
    if (!beginWrite(db, &sqlError))
        return failed(sqlError);

    if (disposition == Disposition::Delivered) {
        query.prepare(QStringLiteral("DELETE FROM registrations WHERE id = ?"));
        query.addBindValue(id);
        if (!query.exec())
            return rolledBack(query.lastError());
        const bool removed = query.numRowsAffected() == 1;
        if (!commitWrite(db, &sqlError))
            return rolledBack(sqlError);
        error.clear();
        if (!removed)
            return false;
        emit changed();
        return true;
    }

    query.prepare(QStringLiteral("SELECT attempts FROM registrations WHERE id = ?"));
    query.addBindValue(id);
    if (!query.exec())
        return rolledBack(query.lastError());
    if (!query.next()) {
        rollbackWrite(db);
        error.clear();
        return false;
    }
    const int attempts = query.value(0).toInt() + 1;
    query.finish();

    QVariant nextAttempt(QVariant::LongLong); // null: not scheduled
    if (disposition == Disposition::Retry) {
        const double jitter = (QRandomGenerator::global()->generateDouble() * 2.0 - 1.0) * kRetryJitterFraction;
        nextAttempt = QDateTime::currentMSecsSinceEpoch() + retryDelayMs(pacing, attempts, retryAfterSeconds, jitter);
    }
    const char *state = disposition == Disposition::Refused ? kStateRefused : kStatePending;
    // The claim is released only when it is this instance's: one that ran out may be another's by now.
    query.prepare(QStringLiteral("UPDATE registrations SET attempts = ?, last_status = ?, last_error = ?, state = ?,"
                                 " next_attempt_utc = ?, last_failure = ?,"
                                 " claim_expires_utc = CASE WHEN claimed_by = ? THEN NULL ELSE claim_expires_utc END,"
                                 " claimed_by = CASE WHEN claimed_by = ? THEN NULL ELSE claimed_by END WHERE id = ?"));
    query.addBindValue(attempts);
    query.addBindValue(status);
    query.addBindValue(errorText.isNull() ? QStringLiteral("") : errorText); // a null text would bind NULL
    query.addBindValue(QString::fromLatin1(state));
    query.addBindValue(nextAttempt);
    query.addBindValue(status != 0 || failure.isNull() ? QStringLiteral("") : failure);
    query.addBindValue(ownerName);
    query.addBindValue(ownerName);
    query.addBindValue(id);
    if (!query.exec())
        return rolledBack(query.lastError());
    if (!commitWrite(db, &sqlError))
        return rolledBack(sqlError);
    error.clear();
    emit changed();
    return true;
}

QVector<RegistrationOutbox::Entry> RegistrationOutbox::select(
    const QString &condition, const QString &order, const QVector<QPair<QString, QVariant>> &bindings) const
{
    QVector<Entry> entries;
    if (!open)
        return entries;
    QSqlQuery query(database());
    query.setForwardOnly(true);
    QString statement = QStringLiteral("SELECT %1 FROM registrations").arg(QString::fromLatin1(kColumns));
    if (!condition.isEmpty())
        statement += QStringLiteral(" WHERE ") + condition;
    statement += QStringLiteral(" ORDER BY ") + order;
    query.prepare(statement);
    for (const auto &binding : bindings)
        query.bindValue(binding.first, binding.second);
    if (!query.exec()) {
        fail(QStringLiteral("cannot read the outbox"), lastSqlError(query.lastError()));
        qCWarning(lcEngine).noquote() << QStringLiteral("RegistrationOutbox: %1").arg(error);
        return entries;
    }
    while (query.next()) {
        Entry entry;
        entry.id = query.value(0).toLongLong();
        entry.identifier = query.value(1).toString();
        entry.document = query.value(2).toByteArray();
        entry.created = fromEpochMs(query.value(3));
        entry.attempts = query.value(4).toInt();
        entry.lastStatus = query.value(5).toInt();
        entry.lastError = query.value(6).toString();
        entry.state = query.value(7).toString() == QLatin1String(kStateRefused) ? State::Refused : State::Pending;
        entry.nextAttempt = fromEpochMs(query.value(8));
        entry.lastFailure = query.value(9).toString();
        entry.claimedBy = query.value(10).toString();
        entry.claimExpires = fromEpochMs(query.value(11));
        entries.append(entry);
    }
    return entries;
}

QVector<RegistrationOutbox::Entry> RegistrationOutbox::all() const
{
    return select(QString(), QStringLiteral("id"));
}

QVector<RegistrationOutbox::Entry> RegistrationOutbox::pending() const
{
    return select(QStringLiteral("state = :state"), QStringLiteral("id"),
        {{QStringLiteral(":state"), QString::fromLatin1(kStatePending)}});
}

int RegistrationOutbox::countInState(const char *state) const
{
    if (!open)
        return 0;
    QSqlQuery query(database());
    query.prepare(QStringLiteral("SELECT COUNT(*) FROM registrations WHERE state = ?"));
    query.addBindValue(QString::fromLatin1(state));
    if (!query.exec() || !query.next()) {
        fail(QStringLiteral("cannot read the outbox"), lastSqlError(query.lastError()));
        qCWarning(lcEngine).noquote() << QStringLiteral("RegistrationOutbox: %1").arg(error);
        return 0;
    }
    return query.value(0).toInt();
}

int RegistrationOutbox::pendingCount() const
{
    return countInState(kStatePending);
}

int RegistrationOutbox::refusedCount() const
{
    return countInState(kStateRefused);
}

QVector<RegistrationOutbox::Entry> RegistrationOutbox::due(const QDateTime &now) const
{
    return select(QStringLiteral("state = :state AND next_attempt_utc IS NOT NULL AND next_attempt_utc <= :now"
                                 " AND (claimed_by IS NULL OR claim_expires_utc IS NULL OR claim_expires_utc <= :now)"),
        QStringLiteral("next_attempt_utc, id"),
        {{QStringLiteral(":state"), QString::fromLatin1(kStatePending)},
            {QStringLiteral(":now"), now.toMSecsSinceEpoch()}});
}

std::optional<QDateTime> RegistrationOutbox::nextDue() const
{
    const QVector<Entry> scheduled = select(QStringLiteral("state = :state AND next_attempt_utc IS NOT NULL"),
        QStringLiteral("next_attempt_utc, id"), {{QStringLiteral(":state"), QString::fromLatin1(kStatePending)}});
    std::optional<QDateTime> earliest;
    for (const Entry &entry : scheduled) {
        QDateTime at = entry.nextAttempt;
        if (!entry.claimedBy.isEmpty() && entry.claimExpires.isValid())
            at = std::max(at, entry.claimExpires);
        if (!earliest || at < *earliest)
            earliest = at;
    }
    return earliest;
}

void RegistrationOutbox::makeLoginWaitersDue()
{
    if (!open)
        return;
    QSqlQuery query(database());
    query.prepare(
        QStringLiteral("UPDATE registrations SET next_attempt_utc = ? WHERE state = ? AND next_attempt_utc IS NULL"));
    query.addBindValue(QDateTime::currentMSecsSinceEpoch());
    query.addBindValue(QString::fromLatin1(kStatePending));
    if (!query.exec()) {
        fail(QStringLiteral("cannot reschedule the outbox"), lastSqlError(query.lastError()));
        qCWarning(lcEngine).noquote() << QStringLiteral("RegistrationOutbox: %1").arg(error);
        return;
    }
    if (query.numRowsAffected() > 0)
        emit changed();
}

bool RegistrationOutbox::changedElsewhere()
{
    if (!QSqlDatabase::contains(connectionName) || !database().isOpen())
        return false;
    QSqlQuery query(database());
    if (!query.exec(QStringLiteral("PRAGMA data_version")) || !query.next())
        return false;
    const qint64 version = query.value(0).toLongLong();
    const bool changedSince = dataVersion >= 0 && version != dataVersion;
    dataVersion = version;
    return changedSince;
}

RegistrationOutbox::Disposition RegistrationOutbox::dispositionFor(int status)
{
    if (status == 200 || status == 201)
        return Disposition::Delivered;
    if (status == 0 || status == 408 || status == 429 || (status >= 500 && status <= 599))
        return Disposition::Retry;
    if (status == 401 || status == 403)
        return Disposition::AwaitLogin;
    return Disposition::Refused;
}

qint64 RegistrationOutbox::retryDelayMs(
    const Pacing &pacing, int attempts, int retryAfterSeconds, double jitterFraction)
{
    // Doubling from the first attempt on; the shift stops well before the cap so it never overflows.
    const int doublings = std::clamp(attempts - 1, 0, 20);
    const qint64 backOff = std::min(pacing.outboxFirstRetryMs << doublings, pacing.outboxLongestRetryMs);
    const qint64 jittered = static_cast<qint64>(static_cast<double>(backOff) * (1.0 + jitterFraction));
    if (retryAfterSeconds < 0)
        return jittered;
    const qint64 asked = qint64(std::min(retryAfterSeconds, kLongestRetryAfterSeconds)) * 1000;
    return std::max(jittered, asked);
}
