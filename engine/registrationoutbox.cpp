#include "registrationoutbox.h"

#include "commissioningjournal.h"
#include "enginelog.h"

#include <QAtomicInteger>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

const char kDriver[] = "QSQLITE";
const char kStatePending[] = "pending";
const char kStateRefused[] = "refused";

const qint64 kFirstRetryDelayMs = 5000;
const qint64 kLongestRetryDelayMs = 5 * 60 * 1000;
const int kLongestRetryAfterSeconds = 60 * 60;
// Spreads the retries of several workbenches that lost the same server at the same moment.
const double kRetryJitterFraction = 0.2;
// Another instance of the tool may hold the write lock for a moment; wait for it rather than fail.
const int kBusyTimeoutMs = 5000;
// The documents carry the nodes' application keys and PACs.
const mode_t kStoreFileMode = 0600;

const char kColumns[]
    = "id, identifier, document, created_utc, attempts, last_status, last_error, state, next_attempt_utc";

QDateTime fromEpochMs(const QVariant &value)
{
    if (value.isNull())
        return QDateTime();
    return QDateTime::fromMSecsSinceEpoch(value.toLongLong(), Qt::UTC);
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
    : QObject(parent)
    , path(filePath)
{
    static QAtomicInteger<quint64> instances;
    connectionName = QStringLiteral("RegistrationOutbox-%1").arg(instances.fetchAndAddRelaxed(1));
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
    if (info.isDir())
        return fail(path, QStringLiteral("is a directory"));
    if (!info.exists()) {
        // Created before SQLite opens it, so that it never exists with wider permissions; SQLite gives its
        // write-ahead log and index files the same mode.
        const int fd
            = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kStoreFileMode);
        if (fd < 0 && errno != EEXIST)
            return fail(path, QString::fromLocal8Bit(std::strerror(errno)));
        if (fd >= 0)
            ::close(fd);
    }

    QSqlDatabase db = QSqlDatabase::addDatabase(QString::fromLatin1(kDriver), connectionName);
    db.setDatabaseName(path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs));
    if (!db.open())
        return fail(path, lastSqlError(db.lastError()));

    QSqlQuery query(db);
    // The journal mode answers with the mode in force: a file that is not a database fails here.
    if (!query.exec(QStringLiteral("PRAGMA journal_mode=WAL")) || !query.next())
        return fail(path, lastSqlError(query.lastError()));
    if (query.value(0).toString().compare(QStringLiteral("wal"), Qt::CaseInsensitive) != 0)
        return fail(path, QStringLiteral("write-ahead log refused (journal mode %1)").arg(query.value(0).toString()));
    // Every commit reaches the disk before enqueue() returns: the registration is then as safe as the journal.
    if (!query.exec(QStringLiteral("PRAGMA synchronous=FULL")))
        return fail(path, lastSqlError(query.lastError()));
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
        return fail(path, lastSqlError(query.lastError()));
    error.clear();
    return true;
}

qint64 RegistrationOutbox::enqueue(const QString &identifier, const QByteArray &document)
{
    if (!open)
        return -1;
    QSqlDatabase db = database();
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (!db.transaction()) {
        fail(QStringLiteral("cannot store the registration of %1").arg(identifier), lastSqlError(db.lastError()));
        return -1;
    }
    QSqlQuery query(db);
    query.prepare(QStringLiteral("DELETE FROM registrations WHERE identifier = ? AND state = ?"));
    query.addBindValue(identifier);
    query.addBindValue(QString::fromLatin1(kStatePending));
    bool stored = query.exec();
    const int replaced = stored ? query.numRowsAffected() : 0;
    if (stored) {
        query.prepare(QStringLiteral("INSERT INTO registrations (identifier, document, created_utc, next_attempt_utc)"
                                     " VALUES (?, ?, ?, ?)"));
        query.addBindValue(identifier);
        query.addBindValue(document);
        query.addBindValue(now);
        query.addBindValue(now);
        stored = query.exec();
    }
    const qint64 id = stored ? query.lastInsertId().toLongLong() : -1;
    if (!stored || !db.commit()) {
        fail(QStringLiteral("cannot store the registration of %1").arg(identifier),
            lastSqlError(stored ? db.lastError() : query.lastError()));
        db.rollback();
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

bool RegistrationOutbox::recordAnswer(qint64 id, int status, const QString &errorText, int retryAfterSeconds)
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
        db.rollback();
        return failed(sqlError);
    };

    if (disposition == Disposition::Delivered) {
        query.prepare(QStringLiteral("DELETE FROM registrations WHERE id = ?"));
        query.addBindValue(id);
        if (!query.exec())
            return failed(query.lastError());
        if (query.numRowsAffected() != 1)
            return false;
        error.clear();
        emit changed();
        return true;
    }

    if (!db.transaction())
        return failed(db.lastError());
    query.prepare(QStringLiteral("SELECT attempts FROM registrations WHERE id = ?"));
    query.addBindValue(id);
    if (!query.exec())
        return rolledBack(query.lastError());
    if (!query.next()) {
        db.rollback();
        return false;
    }
    const int attempts = query.value(0).toInt() + 1;
    query.finish();

    QVariant nextAttempt(QVariant::LongLong); // null: not scheduled
    if (disposition == Disposition::Retry) {
        const double jitter = (QRandomGenerator::global()->generateDouble() * 2.0 - 1.0) * kRetryJitterFraction;
        nextAttempt = QDateTime::currentMSecsSinceEpoch() + retryDelayMs(attempts, retryAfterSeconds, jitter);
    }
    const char *state = disposition == Disposition::Refused ? kStateRefused : kStatePending;
    query.prepare(QStringLiteral("UPDATE registrations SET attempts = ?, last_status = ?, last_error = ?, state = ?,"
                                 " next_attempt_utc = ? WHERE id = ?"));
    query.addBindValue(attempts);
    query.addBindValue(status);
    query.addBindValue(errorText.isNull() ? QStringLiteral("") : errorText); // a null text would bind NULL
    query.addBindValue(QString::fromLatin1(state));
    query.addBindValue(nextAttempt);
    query.addBindValue(id);
    if (!query.exec())
        return rolledBack(query.lastError());
    if (!db.commit())
        return rolledBack(db.lastError());
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
    return select(QStringLiteral("state = :state AND next_attempt_utc IS NOT NULL AND next_attempt_utc <= :now"),
        QStringLiteral("next_attempt_utc, id"),
        {{QStringLiteral(":state"), QString::fromLatin1(kStatePending)},
            {QStringLiteral(":now"), now.toMSecsSinceEpoch()}});
}

std::optional<QDateTime> RegistrationOutbox::nextDue() const
{
    const QVector<Entry> scheduled = select(QStringLiteral("state = :state AND next_attempt_utc IS NOT NULL"),
        QStringLiteral("next_attempt_utc, id"), {{QStringLiteral(":state"), QString::fromLatin1(kStatePending)}});
    if (scheduled.isEmpty())
        return std::nullopt;
    return scheduled.first().nextAttempt;
}

void RegistrationOutbox::makeAllDueNow()
{
    if (!open)
        return;
    QSqlQuery query(database());
    query.prepare(QStringLiteral("UPDATE registrations SET next_attempt_utc = ? WHERE state = ?"));
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

qint64 RegistrationOutbox::retryDelayMs(int attempts, int retryAfterSeconds, double jitterFraction)
{
    // Doubling from the first attempt on; the shift stops well before the cap so it never overflows.
    const int doublings = std::clamp(attempts - 1, 0, 20);
    const qint64 backOff = std::min(kFirstRetryDelayMs << doublings, kLongestRetryDelayMs);
    const qint64 jittered = static_cast<qint64>(static_cast<double>(backOff) * (1.0 + jitterFraction));
    if (retryAfterSeconds < 0)
        return jittered;
    const qint64 asked = qint64(std::min(retryAfterSeconds, kLongestRetryAfterSeconds)) * 1000;
    return std::max(jittered, asked);
}
