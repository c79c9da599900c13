#include "journalforwarder.h"

#include "enginelog.h"
#include "journalhistory.h"
#include "regularfile.h"
#include "shareddatabase.h"
#include "unitrecords.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPair>
#include <QSaveFile>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QTimer>
#include <QUuid>
#include <QVariant>

#include <algorithm>
#include <future>
#include <mutex>
#include <utility>

namespace {

QString siblingPath(const QString &journalPath, const char *name)
{
    return QFileInfo(journalPath).absoluteDir().filePath(QLatin1String(name));
}

QString isoTime(qint64 msecs)
{
    return QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC).toString(Qt::ISODateWithMs);
}

// PostgreSQL's JSON cannot hold the character U+0000: it is sent as U+FFFD, so that one odd entry does not stop
// every entry after it.
QJsonValue storable(const QJsonValue &value)
{
    if (value.isString()) {
        QString text = value.toString();
        return text.contains(QChar(0)) ? QJsonValue(text.replace(QChar(0), QChar(0xFFFD))) : value;
    }
    if (value.isArray()) {
        QJsonArray array = value.toArray();
        for (auto item = array.begin(); item != array.end(); ++item)
            *item = storable(*item);
        return array;
    }
    if (value.isObject()) {
        QJsonObject object = value.toObject();
        QJsonObject cleaned;
        for (auto field = object.constBegin(); field != object.constEnd(); ++field)
            cleaned.insert(QString(field.key()).replace(QChar(0), QChar(0xFFFD)), storable(field.value()));
        return cleaned;
    }
    return value;
}

bool writeSmallFile(const QString &path, const QByteArray &content)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    // A full disk may take part of it without a word: only all of it counts.
    return file.write(content) == content.size() && file.commit();
}

const char *const kInsertEntries
    = "INSERT INTO entries (bench_id, seq, time, event, identity, lot, body) "
      "SELECT ?, x.seq, x.time, x.event, x.identity, x.lot, x.body FROM jsonb_to_recordset(CAST(? AS jsonb)) "
      "AS x(seq bigint, time timestamptz, event text, identity text, lot text, body jsonb) "
      "ON CONFLICT (bench_id, seq) DO NOTHING RETURNING seq";

// What the database holds under the bench's id for the sequence numbers a batch did not store.
const char *const kStoredTimes
    = "SELECT seq, event, body->>'time' FROM entries WHERE bench_id = ? AND seq BETWEEN ? AND ?";

// How many of the entries the position file says were confirmed the database still holds.
const char *const kConfirmedCount = "SELECT count(*) FROM entries WHERE bench_id = ? AND seq < ?";

const char *const kUpsertRecords
    = "INSERT INTO unit_records (bench_id, unit_key, port, start_time, identity, lot, outcome, end_time, record) "
      "SELECT ?, x.unit_key, x.port, x.start_time, x.identity, x.lot, x.outcome, x.end_time, x.record "
      "FROM jsonb_to_recordset(CAST(? AS jsonb)) AS x(unit_key text, port text, start_time timestamptz, "
      "identity text, lot text, outcome text, end_time timestamptz, record jsonb) "
      "ON CONFLICT (bench_id, unit_key) DO UPDATE SET port = EXCLUDED.port, start_time = EXCLUDED.start_time, "
      "identity = EXCLUDED.identity, lot = EXCLUDED.lot, outcome = EXCLUDED.outcome, end_time = EXCLUDED.end_time, "
      "record = EXCLUDED.record "
      "WHERE unit_records.record IS DISTINCT FROM EXCLUDED.record";

// The newest accepted registration of an identity by another bench; served by the partial index on registrations.
const char *const kRegisteredElsewhere
    = "SELECT b.name, (extract(epoch FROM e.time) * 1000)::bigint FROM entries e JOIN benches b ON b.id = e.bench_id "
      "WHERE e.identity = ? AND "
      "e.event = 'registration' AND e.bench_id <> ? AND (e.body->>'status') IN ('200', '201') "
      "ORDER BY e.time DESC LIMIT 1";

const char *const kUpsertBench = "INSERT INTO benches (id, name) VALUES (?, ?) ON CONFLICT (id) DO UPDATE "
                                 "SET name = EXCLUDED.name, last_seen = now()";

} // namespace

// What a send-now on the forwarder's thread found.
struct SendOutcome
{
    bool sent = false;
    int waiting = 0;
    bool reachable = false;
    QString problem;
};

// Does the forwarder's work on its thread: reads new journal lines, sends them in batches, keeps the position.
class ForwarderWorker : public QObject
{
    Q_OBJECT
public:
    ForwarderWorker(const QString &journalPath, const DatabaseAddress &address, const QString &password,
        const QString &benchId, const QString &benchName, const JournalForwarder::Timing &timing)
        : journalPath(journalPath)
        , positionPath(siblingPath(journalPath, JournalForwarder::kPositionFileName))
        , address(address)
        , password(password)
        , benchId(benchId)
        , benchName(benchName)
        , timing(timing)
        , connectionName(QStringLiteral("journalforwarder-%1").arg(reinterpret_cast<quintptr>(this)))
    {
    }

public slots:
    void start()
    {
        timer = new QTimer(this);
        timer->setSingleShot(true);
        connect(timer, &QTimer::timeout, this, &ForwarderWorker::work);
        loadPosition();
        timer->start(0);
    }

    void stop()
    {
        if (timer)
            timer->stop();
        disconnectDatabase();
    }

    // Answers the promise handed over by askSendNow(). Requests cross threads through a lock of the standard
    // library and a queued call without captured state, a hand-over that thread checkers can follow.
    void answerSendNow()
    {
        std::promise<SendOutcome> *asked = nullptr;
        {
            const std::lock_guard<std::mutex> lock(requestLock);
            asked = std::exchange(pendingSendNow, nullptr);
        }
        if (!asked)
            return;
        SendOutcome outcome;
        outcome.sent = sendNow();
        outcome.waiting = waitingNow();
        outcome.reachable = reachableNow();
        outcome.problem = problemNow();
        asked->set_value(outcome);
    }

    void checkRegistration(const QString &identifier);

public:
    void askSendNow(std::promise<SendOutcome> *promise)
    {
        const std::lock_guard<std::mutex> lock(requestLock);
        pendingSendNow = promise;
    }

    int waitingNow() const { return queue.size(); }
    bool reachableNow() const { return connected; }
    QString problemNow() const { return problem; }

    // Everything read so far sent: reads the journal, connects once if need be and sends until done or failed.
    bool sendNow()
    {
        loadPosition();
        readNew();
        while (!queue.isEmpty() || recordsDirty) {
            if (!ensureConnected() || !sendNext()) {
                report();
                return false;
            }
        }
        report();
        return true;
    }

    void checkRegistrationNow(const QString &identifier)
    {
        if (!ensureConnected()) {
            report();
            emit registrationChecked(identifier, false, QString(), 0, problem);
            return;
        }
        QSqlDatabase database = QSqlDatabase::database(connectionName, false);
        QSqlQuery query(database);
        // A failed prepare keeps its own error (the exec after it would only report a syntax error).
        const bool prepared = query.prepare(QLatin1String(kRegisteredElsewhere));
        query.addBindValue(identifier);
        query.addBindValue(benchId);
        if (!prepared || !query.exec()) {
            fail(query, database, false);
            report();
            emit registrationChecked(identifier, false, QString(), 0, problem);
            return;
        }
        if (!query.next()) {
            emit registrationChecked(identifier, true, QString(), 0, QString());
            return;
        }
        emit registrationChecked(identifier, true, SharedDatabase::shownBenchName(query.value(0).toString()),
            query.value(1).toLongLong(), QString());
    }

signals:
    void statusChanged(int waiting, bool reachable, const QString &problem);
    void registrationChecked(const QString &identifier, bool asked, const QString &otherBench, qint64 registeredMsecs,
        const QString &problem);

private:
    struct Waiting
    {
        qint64 sequence;
        qint64 endOffset; // where the journal line after this entry starts
        int entryIndex; // into history.entries()
    };

    void work()
    {
        readNew();
        // While the database is waited for, the journal is still looked at, so the count of entries waiting
        // stays the journal's.
        if ((queue.isEmpty() && !recordsDirty) || !retryDue.hasExpired()) {
            report();
            timer->start(timing.pollMs);
            return;
        }
        if (!ensureConnected() || !sendNext()) {
            report();
            retryDue.setRemainingTime(retryMs);
            timer->start(timing.pollMs);
            retryMs = std::min(retryMs * 2, timing.longestRetryMs);
            return;
        }
        retryMs = timing.firstRetryMs;
        report();
        timer->start(queue.isEmpty() ? timing.pollMs : 0);
    }

    void report()
    {
        const int waiting = queue.size();
        if (waiting == reportedWaiting && connected == reportedReachable && problem == reportedProblem)
            return;
        reportedWaiting = waiting;
        reportedReachable = connected;
        reportedProblem = problem;
        emit statusChanged(waiting, connected, problem);
    }

    // The position is only trusted for the database it was written for; another database gets everything.
    void loadPosition()
    {
        if (positionLoaded)
            return;
        positionLoaded = true;
        QFile file(positionPath);
        qint64 confirmedOffset = 0;
        qint64 confirmedSequence = 0;
        if (file.open(QIODevice::ReadOnly)) {
            const QJsonObject saved = QJsonDocument::fromJson(file.read(4096)).object();
            if (saved.value(QLatin1String("database")).toString() == address.displayName()
                && saved.value(QLatin1String("bench")).toString() == benchId) {
                confirmedOffset = static_cast<qint64>(saved.value(QLatin1String("offset")).toDouble());
                confirmedSequence = static_cast<qint64>(saved.value(QLatin1String("sequence")).toDouble());
            }
        }
        // The entries before the position are read as well, for the unit records they belong to; only those after
        // it wait to be sent.
        readNew();
        if (confirmedOffset > 0 && confirmedOffset <= offset) {
            while (!queue.isEmpty() && queue.first().endOffset <= confirmedOffset)
                queue.removeFirst();
            if (!queue.isEmpty() && queue.first().sequence != confirmedSequence)
                qCWarning(lcEngine).noquote() << QStringLiteral(
                    "JournalForwarder: %1 does not match the journal; entries are counted from the journal")
                                                     .arg(positionPath);
        }
        savedOffset = confirmedOffset;
        savedSequence = queue.isEmpty() ? nextSequence : queue.first().sequence;
    }

    // Reads the complete lines the journal gained since the last look; a line still being written waits.
    void readNew()
    {
        QFile file;
        if (!RegularFile::open(file, journalPath, nullptr))
            return;
        const qint64 size = file.size();
        if (size < offset) {
            // The journal was replaced by a shorter file: its entries are new ones and get new numbers.
            qCWarning(lcEngine).noquote()
                << QStringLiteral("JournalForwarder: %1 became shorter; reading it from its start").arg(journalPath);
            offset = 0;
        }
        if (size == offset || !file.seek(offset))
            return;
        const QByteArray data = file.read(size - offset);
        const int end = data.lastIndexOf('\n');
        if (end < 0)
            return;
        int start = 0;
        while (start <= end) {
            const int newline = data.indexOf('\n', start);
            const QByteArray line = data.mid(start, newline - start);
            start = newline + 1;
            if (line.trimmed().isEmpty() || !history.addLine(line))
                continue;
            queue.append({nextSequence++, offset + start, history.entries().size() - 1});
        }
        offset += end + 1;
    }

    bool ensureConnected()
    {
        if (connected)
            return true;
        QSqlDatabase database
            = SharedDatabase::open(connectionName, address, password, &problem, timing.statementTimeoutMs);
        if (!database.isValid())
            return false;
        if (!SharedDatabase::ensureSchema(database, &problem)) {
            database = QSqlDatabase();
            SharedDatabase::close(connectionName);
            return false;
        }
        QSqlQuery query(database);
        const bool prepared = query.prepare(QLatin1String(kUpsertBench));
        query.addBindValue(benchId);
        query.addBindValue(benchName);
        if (!prepared || !query.exec()) {
            problem = SharedDatabase::describe(query.lastError(), address);
            query = QSqlQuery();
            database = QSqlDatabase();
            SharedDatabase::close(connectionName);
            return false;
        }
        if (reportedReachable || reportedProblem.isEmpty())
            qCInfo(lcEngine).noquote() << QStringLiteral("JournalForwarder: forwarding to %1 as bench %2 (%3)")
                                              .arg(address.displayName(), benchName, benchId);
        else
            qCInfo(lcEngine).noquote()
                << QStringLiteral("JournalForwarder: %1 answers again").arg(address.displayName());
        confirmedStillHeld(database);
        problem.clear();
        connected = true;
        return true;
    }

    void disconnectDatabase()
    {
        if (!connected && !QSqlDatabase::contains(connectionName))
            return;
        connected = false;
        SharedDatabase::close(connectionName);
    }

    bool fail(QSqlQuery &query, QSqlDatabase &database, bool inTransaction = true)
    {
        problem = SharedDatabase::describe(query.lastError(), address);
        qCWarning(lcEngine).noquote() << QStringLiteral("JournalForwarder: %1").arg(problem);
        if (inTransaction && database.isOpen())
            database.rollback();
        query = QSqlQuery();
        database = QSqlDatabase();
        disconnectDatabase();
        return false;
    }

    // Sends the next batch of entries, or the unit records that changed once every entry is in.
    bool sendNext()
    {
        QSqlDatabase database = QSqlDatabase::database(connectionName, false);
        QSqlQuery query(database);
        if (!database.transaction())
            return fail(query, database);
        if (!queue.isEmpty()) {
            const int count = std::min(timing.batchSize, static_cast<int>(queue.size()));
            QJsonArray batch;
            const QVector<JournalEntry> &entries = history.entries();
            for (int i = 0; i < count; ++i) {
                const JournalEntry &entry = entries.at(queue.at(i).entryIndex);
                batch.append(QJsonObject{{QStringLiteral("seq"), queue.at(i).sequence},
                    {QStringLiteral("time"), isoTime(entry.msecs)}, {QStringLiteral("event"), entry.event},
                    {QStringLiteral("identity"), entry.identifier}, {QStringLiteral("lot"), entry.lot},
                    {QStringLiteral("body"), storable(entry.fields)}});
            }
            const bool prepared = query.prepare(QLatin1String(kInsertEntries));
            query.addBindValue(benchId);
            query.addBindValue(QString::fromUtf8(QJsonDocument(batch).toJson(QJsonDocument::Compact)));
            if (!prepared || !query.exec())
                return fail(query, database);
            QSet<qint64> stored;
            while (query.next())
                stored.insert(query.value(0).toLongLong());
            if (stored.size() < count && !sameAsStored(database, count, stored)) {
                // Stored nothing of it: the journal waits, and the operator is told what to do.
                database.rollback();
                qCWarning(lcEngine).noquote() << QStringLiteral("JournalForwarder: %1").arg(problem);
                disconnectDatabase();
                return false;
            }
            if (!database.commit())
                return fail(query, database);
            savedOffset = queue.at(count - 1).endOffset;
            savedSequence = queue.at(count - 1).sequence + 1;
            queue.remove(0, count);
            savePosition();
            recordsDirty = true;
            return true;
        }
        QHash<QString, UnitRecord> sent;
        QVector<QPair<QString, const UnitRecord *>> changed;
        const QVector<UnitRecord> records = UnitRecords::fromEntries(history.entries());
        for (const UnitRecord &record : records) {
            // A unit's identity and attempt stay its own as the journal grows; several units may start in one
            // millisecond on one port.
            const QString key = record.identity.isEmpty()
                ? QStringLiteral("%1@%2").arg(record.port).arg(record.startMsecs)
                : QStringLiteral("%1#%2").arg(record.identity).arg(record.attempt);
            sent.insert(key, record);
            const auto before = sentRecords.constFind(key);
            if (before == sentRecords.constEnd() || !(*before == record))
                changed.append({key, &record});
        }
        // In statements of a batch's size: a journal of many units at once would make one statement larger than
        // the database takes (and the tool hold all of it in memory).
        for (int start = 0; start < changed.size(); start += timing.batchSize) {
            QJsonArray chunk;
            for (int i = start; i < std::min(start + timing.batchSize, static_cast<int>(changed.size())); ++i) {
                const QString &key = changed.at(i).first;
                const UnitRecord &record = *changed.at(i).second;
                chunk.append(QJsonObject{{QStringLiteral("unit_key"), key}, {QStringLiteral("port"), record.port},
                    {QStringLiteral("start_time"), isoTime(record.startMsecs)},
                    {QStringLiteral("identity"), record.identity}, {QStringLiteral("lot"), record.lot},
                    {QStringLiteral("outcome"), UnitRecord::outcomeName(record.outcome)},
                    {QStringLiteral("end_time"), isoTime(record.endMsecs)},
                    {QStringLiteral("record"), record.toJson()}});
            }
            const bool prepared = query.prepare(QLatin1String(kUpsertRecords));
            query.addBindValue(benchId);
            query.addBindValue(
                QString::fromUtf8(QJsonDocument(storable(chunk).toArray()).toJson(QJsonDocument::Compact)));
            if (!prepared || !query.exec())
                return fail(query, database);
        }
        if (!database.commit())
            return fail(query, database);
        sentRecords = sent;
        recordsDirty = false;
        return true;
    }

    // The entries of a batch the database already had (an answer lost with the connection, entries sent again
    // after a restart) must be the same entries: the same event at the same time. Other entries under this
    // bench's id and number come from another journal: its id was copied with the journal's directory to another
    // bench, or the journal was replaced by a new one. Storing nothing then keeps both apart.
    bool sameAsStored(QSqlDatabase &database, int count, const QSet<qint64> &inserted)
    {
        QSqlQuery query(database);
        const qint64 first = queue.first().sequence;
        const qint64 last = queue.at(count - 1).sequence;
        const bool prepared = query.prepare(QLatin1String(kStoredTimes));
        query.addBindValue(benchId);
        query.addBindValue(first);
        query.addBindValue(last);
        if (!prepared || !query.exec()) {
            problem = SharedDatabase::describe(query.lastError(), address);
            return false;
        }
        QHash<qint64, QPair<QString, QString>> held;
        while (query.next())
            held.insert(query.value(0).toLongLong(), {query.value(1).toString(), query.value(2).toString()});
        const QVector<JournalEntry> &entries = history.entries();
        for (int i = 0; i < count; ++i) {
            const qint64 sequence = queue.at(i).sequence;
            if (inserted.contains(sequence))
                continue;
            const JournalEntry &entry = entries.at(queue.at(i).entryIndex);
            const auto other = held.constFind(sequence);
            if (other == held.constEnd() || other->first != entry.event
                || other->second != entry.fields.value(QLatin1String("time")).toString()) {
                problem = QStringLiteral(
                    "the shared database %1 holds other entries under this bench's id %2 (entry %3): its %4 was "
                    "copied from another bench, or its journal was replaced. Nothing more is sent from this journal; "
                    "remove %4 and %5 beside it to forward it as a bench of its own")
                              .arg(address.displayName(), benchId)
                              .arg(sequence)
                              .arg(QLatin1String(JournalForwarder::kBenchIdFileName),
                                  QLatin1String(JournalForwarder::kPositionFileName));
                return false;
            }
        }
        return true;
    }

    // A database restored from an older backup lacks entries the position says it confirmed: they are sent
    // again (each is stored once), rather than leaving a gap for good.
    bool confirmedStillHeld(QSqlDatabase &database)
    {
        if (savedSequence <= 0)
            return true;
        QSqlQuery query(database);
        if (!query.prepare(QLatin1String(kConfirmedCount)))
            return false;
        query.addBindValue(benchId);
        query.addBindValue(savedSequence);
        if (!query.exec() || !query.next())
            return false;
        if (query.value(0).toLongLong() >= savedSequence)
            return true;
        qCWarning(lcEngine).noquote() << QStringLiteral(
            "JournalForwarder: %1 holds %2 of the %3 entries it confirmed; sending them again")
                                             .arg(address.displayName())
                                             .arg(query.value(0).toLongLong())
                                             .arg(savedSequence);
        history = JournalHistory();
        queue.clear();
        sentRecords.clear();
        recordsDirty = true;
        offset = 0;
        nextSequence = 0;
        savedOffset = 0;
        savedSequence = 0;
        readNew();
        return true;
    }

    void savePosition()
    {
        const QJsonObject position{{QStringLiteral("database"), address.displayName()},
            {QStringLiteral("bench"), benchId}, {QStringLiteral("offset"), savedOffset},
            {QStringLiteral("sequence"), savedSequence}};
        if (!writeSmallFile(positionPath, QJsonDocument(position).toJson(QJsonDocument::Compact)) && !positionWarned) {
            positionWarned = true;
            qCWarning(lcEngine).noquote() << QStringLiteral(
                "JournalForwarder: %1 cannot be written; entries may be sent again after a restart (the database "
                "keeps them once)")
                                                 .arg(positionPath);
        }
    }

    const QString journalPath;
    const QString positionPath;
    const DatabaseAddress address;
    const QString password;
    const QString benchId;
    const QString benchName;
    const JournalForwarder::Timing timing;
    const QString connectionName;

    QTimer *timer = nullptr;
    std::mutex requestLock;
    std::promise<SendOutcome> *pendingSendNow = nullptr; // guarded by requestLock
    JournalHistory history;
    QVector<Waiting> queue;
    // The records as the database has them, to send only those that changed.
    QHash<QString, UnitRecord> sentRecords;
    bool recordsDirty = true;
    qint64 offset = 0; // the journal's bytes read so far
    qint64 nextSequence = 0;
    qint64 savedOffset = 0;
    qint64 savedSequence = 0;
    bool connected = false;
    QString problem;
    int retryMs = timing.firstRetryMs;
    QDeadlineTimer retryDue{0}; // the database is tried again once this has passed
    bool positionWarned = false;
    bool positionLoaded = false;
    int reportedWaiting = -1;
    bool reportedReachable = false;
    QString reportedProblem;
};

void ForwarderWorker::checkRegistration(const QString &identifier)
{
    checkRegistrationNow(identifier);
}

JournalForwarder::JournalForwarder(const QString &journalPath, const DatabaseAddress &address, const QString &password,
    const QString &benchName, const Timing &timing, QObject *parent)
    : QObject(parent)
{
    QString problem;
    bench = benchIdFor(journalPath, &problem);
    if (bench.isEmpty()) {
        // A bench that cannot keep its id still forwards, under an id of this run.
        qCWarning(lcEngine).noquote() << QStringLiteral("JournalForwarder: %1").arg(problem);
        bench = QUuid::createUuid().toString(QUuid::WithoutBraces);
    }
    worker = new ForwarderWorker(journalPath, address, password, bench, benchName, timing);
    thread = new QThread(this);
    thread->setObjectName(QStringLiteral("JournalForwarder"));
    worker->moveToThread(thread);
    connect(worker, &ForwarderWorker::statusChanged, this, &JournalForwarder::takeStatus);
    connect(worker, &ForwarderWorker::registrationChecked, this, &JournalForwarder::registrationChecked);
    // The worker ends on its own thread: everything it holds is touched by that thread alone.
    ForwarderWorker *ending = worker;
    connect(
        thread, &QThread::finished, ending,
        [ending] {
            ending->stop();
            delete ending;
        },
        Qt::DirectConnection);
    thread->start();
}

JournalForwarder::JournalForwarder(const QString &journalPath, const DatabaseAddress &address, const QString &password,
    const QString &benchName, QObject *parent)
    : JournalForwarder(journalPath, address, password, benchName, Timing(), parent)
{
}

JournalForwarder::~JournalForwarder()
{
    // The worker stops and is deleted on its thread as the thread finishes.
    thread->quit();
    thread->wait();
}

void JournalForwarder::start()
{
    QMetaObject::invokeMethod(worker, "start", Qt::QueuedConnection);
}

void JournalForwarder::checkRegistration(const QString &identifier)
{
    // A queued call by name: its argument is copied into the event, nothing is captured.
    QMetaObject::invokeMethod(worker, "checkRegistration", Qt::QueuedConnection, Q_ARG(QString, identifier));
}

bool JournalForwarder::sendNow()
{
    std::promise<SendOutcome> done;
    std::future<SendOutcome> answer = done.get_future();
    worker->askSendNow(&done);
    QMetaObject::invokeMethod(worker, "answerSendNow", Qt::QueuedConnection);
    const SendOutcome outcome = answer.get();
    takeStatus(outcome.waiting, outcome.reachable, outcome.problem);
    return outcome.sent;
}

void JournalForwarder::takeStatus(int waiting, bool reachable, const QString &problem)
{
    waitingCount = waiting;
    isReachable = reachable;
    problemText = problem;
    emit statusChanged(waiting, reachable, problem);
}

QString JournalForwarder::benchIdFor(const QString &journalPath, QString *problem)
{
    const QString path = siblingPath(journalPath, kBenchIdFileName);
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        const QString id = QString::fromLatin1(file.read(64)).trimmed();
        if (!QUuid(id).isNull())
            return id;
    }
    const QString id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    if (!QDir().mkpath(QFileInfo(path).absolutePath()) || !writeSmallFile(path, id.toLatin1() + '\n')) {
        if (problem)
            *problem = QStringLiteral("the bench id cannot be kept in %1").arg(path);
        return QString();
    }
    return id;
}

#include "journalforwarder.moc"
