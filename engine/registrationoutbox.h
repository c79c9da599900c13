#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QPair>
#include <QString>
#include <QVariant>
#include <QVector>

#include <optional>

class QSqlDatabase;

// Registrations waiting for the registration server. A registration is stored here, durably, before it is
// posted, and leaves the store only when the server has accepted it (200 added, 201 updated), so a server that
// is down, a lost network or a tool that is closed or crashes in between loses nothing the operator did.
//
// The store is one SQLite file beside the commissioning journal (write-ahead log, every commit synced to the
// disk). It holds the device documents exactly as they are posted; they carry the nodes' identifiers and keys,
// so the file is created readable by its owner only. It never holds the server's token or the operator's
// password or its digest: nothing here takes them.
//
// An instance and its database connection belong to the thread that created it.
class RegistrationOutbox : public QObject
{
    Q_OBJECT

public:
    static constexpr const char *kFileName = "outbox.sqlite";

    // What the server's answer to a registration means for the entry.
    enum class Disposition {
        Delivered, // 200, 201: removed
        Retry, // no answer, 408, 429, 5xx: sent again after a back-off
        AwaitLogin, // 401, 403: the token was refused; sent again after the next successful login
        Refused, // anything else: kept for the record, never sent again
    };

    enum class State { Pending, Refused };

    struct Entry
    {
        qint64 id = -1;
        QString identifier; // DevEUI, or SigFox ID for SigFox nodes
        QByteArray document; // the device document, byte for byte as posted
        QDateTime created; // UTC
        int attempts = 0;
        int lastStatus = 0; // 0: no answer yet, or the last attempt got none
        QString lastError;
        State state = State::Pending;
        QDateTime nextAttempt; // UTC; invalid while the entry waits for the next login, or when refused
    };

    // outbox.sqlite in the directory of the commissioning journal.
    static QString defaultFilePath();

    // Opens (and creates) the store. A store that cannot be opened is reported by isOpen() and errorText();
    // every other call then fails or reads as empty.
    explicit RegistrationOutbox(const QString &filePath = defaultFilePath(), QObject *parent = nullptr);
    ~RegistrationOutbox() override;

    bool isOpen() const { return open; }
    // Why the store could not be opened or the last change failed; empty when nothing went wrong.
    QString errorText() const { return error; }
    QString filePath() const { return path; }

    // Stores a registration, due at once. A pending registration of the same identifier is replaced: the newer
    // document is the node as it is now, and sending the older one after it would overwrite it at the server.
    // Returns the entry's id, or -1 when it could not be stored.
    qint64 enqueue(const QString &identifier, const QByteArray &document);

    // Applies the server's answer to one attempt: status 0 when no answer came, errorText what went wrong
    // (empty on success), retryAfterSeconds the answer's Retry-After in seconds, negative when it gave none.
    // Returns false when the entry is unknown (already delivered or replaced) or the store failed.
    bool recordAnswer(qint64 id, int status, const QString &errorText, int retryAfterSeconds = -1);

    QVector<Entry> all() const; // pending and refused, oldest first
    QVector<Entry> pending() const; // oldest first
    int pendingCount() const;
    int refusedCount() const;
    // Pending entries whose next attempt time has come, the earliest first.
    QVector<Entry> due(const QDateTime &now) const;
    // The earliest next attempt time of a pending entry; none when nothing is scheduled.
    std::optional<QDateTime> nextDue() const;
    // After a successful login: every pending entry, also those waiting for a login, is due now.
    void makeAllDueNow();

    static Disposition dispositionFor(int status);
    // The pause before the next attempt after `attempts` attempts: 5 s doubling per attempt up to 5 min, scaled
    // by (1 + jitterFraction). A Retry-After (seconds, negative for none) is honoured up to one hour: the
    // attempt is never earlier than the server asked.
    static qint64 retryDelayMs(int attempts, int retryAfterSeconds, double jitterFraction);

signals:
    // The number of entries or their states or times changed.
    void changed();

private:
    QSqlDatabase database() const;
    bool openStore();
    bool fail(const QString &what, const QString &reason) const;
    int countInState(const char *state) const;
    QVector<Entry> select(
        const QString &condition, const QString &order, const QVector<QPair<QString, QVariant>> &bindings = {}) const;

    QString path;
    QString connectionName;
    bool open = false;
    mutable QString error;
};
