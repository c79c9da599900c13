#pragma once

#include "pacing.h"

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
// so the file (and its write-ahead log and index) is made readable by its owner only whenever it is opened,
// whoever created it. It never holds the server's token or the operator's password or its digest: nothing here
// takes them.
//
// Several instances of the tool may share the file (the window and command-line runs on one data directory).
// An entry is claimed, in one transaction, before it goes on the wire: the claim names the instance and
// expires, so that no two instances ever send the same entry at the same time and the entry of an instance
// that crashed is sent again once its claim has run out (at once when the crashed process ran on this host).
//
// A file that is not a database (corrupt, truncated, a directory in its place) is moved aside under a new
// name, never deleted, and a fresh store is started; recoveryNote() says where the old one went.
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
        int lastStatus = 0; // the last answer's HTTP status; 0 when none came (yet)
        QString lastFailure; // why the last attempt got no HTTP status ("connectionRefused", ...), else empty
        QString lastError;
        State state = State::Pending;
        QDateTime nextAttempt; // UTC; invalid while the entry waits for the next login, or when refused
        QString claimedBy; // the instance that has it on the wire; empty when unclaimed
        QDateTime claimExpires; // UTC; when the claim runs out
    };

    enum class ClaimResult {
        Claimed, // this instance may send it until the claim expires
        Taken, // another instance holds it, or it is no longer pending
        StoreFailed, // the claim could not be written (see errorText())
    };

    // How long a claim holds: well beyond the reply window of one request and the wait for the one before it.
    static constexpr qint64 kClaimMs = 120000;

    // outbox.sqlite in the directory of the commissioning journal.
    static QString defaultFilePath();

    // Opens (and creates) the store. A store that cannot be opened is reported by isOpen() and errorText();
    // every other call then fails or reads as empty.
    explicit RegistrationOutbox(const QString &filePath = defaultFilePath(), QObject *parent = nullptr);
    // Retries are paced by the pacing's first retry and longest retry instead of the protocol's own.
    RegistrationOutbox(const QString &filePath, const Pacing &pacing, QObject *parent = nullptr);
    ~RegistrationOutbox() override;

    bool isOpen() const { return open; }
    // Why the store could not be opened or the last change failed; empty when nothing went wrong.
    QString errorText() const { return error; }
    QString filePath() const { return path; }
    // When the file found was not a database and was moved aside: what happened and where it is now.
    QString recoveryNote() const { return recovery; }
    // Where the unreadable file was moved; empty when none was.
    QString keptFilePath() const { return keptPath; }
    // When the file or its companions could not be made readable by the owner only: which and why.
    QString permissionProblem() const { return permissions; }
    // This instance's name in the claims it writes.
    QString owner() const { return ownerName; }

    // Stores a registration, due at once and claimed by this instance. A pending registration of the same identifier is
    // replaced: the newer document is the node as it is now, and sending the older one after it would overwrite it at
    // the server. Returns the entry's id, or -1 when it could not be stored.
    qint64 enqueue(const QString &identifier, const QByteArray &document);

    // Claims a pending entry for this instance (or renews its own claim) unless another instance holds a claim
    // that has not expired at `now`.
    ClaimResult claim(qint64 id, const QDateTime &now = QDateTime::currentDateTimeUtc());

    // Applies the server's answer to one attempt and releases the claim: status 0 when no answer came, failure
    // the named reason then ("connectionRefused", "timeout", ...), errorText what went wrong (empty on success),
    // retryAfterSeconds the answer's Retry-After in seconds, negative when it gave none. Returns false when the
    // entry is unknown (already delivered or replaced; errorText() is then empty) or the store failed.
    bool recordAnswer(qint64 id, int status, const QString &errorText, int retryAfterSeconds = -1,
        const QString &failure = QString());

    QVector<Entry> all() const; // pending and refused, oldest first
    QVector<Entry> pending() const; // oldest first
    int pendingCount() const;
    int refusedCount() const;
    // Pending entries whose next attempt time has come and that no instance holds a live claim on at `now`,
    // the earliest first.
    QVector<Entry> due(const QDateTime &now) const;
    // The earliest time a pending entry becomes due (a claimed one not before its claim expires); none when
    // nothing is scheduled.
    std::optional<QDateTime> nextDue() const;
    // After a successful login: the entries that waited for a login are due now. Those waiting for a back-off
    // or the server's Retry-After keep their time.
    void makeLoginWaitersDue();
    // True when another connection (another instance or process) has changed the file since the last call.
    bool changedElsewhere();

    static Disposition dispositionFor(int status);
    // The pause before the next attempt after `attempts` attempts: the pacing's first retry (5 s) doubling per
    // attempt up to its longest retry (5 min), scaled by (1 + jitterFraction). A Retry-After (seconds, negative
    // for none) is honoured up to one hour: the attempt is never earlier than the server asked.
    static qint64 retryDelayMs(const Pacing &pacing, int attempts, int retryAfterSeconds, double jitterFraction);

signals:
    // The number of entries or their states or times changed.
    void changed();

private:
    QSqlDatabase database() const;
    bool openStore();
    bool openDatabase();
    bool moveAside(const QString &reason);
    void tightenPermissions();
    void releaseClaimsOfEndedProcesses();
    bool fail(const QString &what, const QString &reason) const;
    int countInState(const char *state) const;
    QVector<Entry> select(
        const QString &condition, const QString &order, const QVector<QPair<QString, QVariant>> &bindings = {}) const;

    const Pacing pacing;
    QString path;
    QString connectionName;
    QString ownerName;
    bool open = false;
    mutable QString error;
    QString recovery;
    QString damage; // why the last open found the file not to be a usable database
    bool lockedAtOpen = false; // the last open found the file locked by another instance
    QString keptPath;
    QString permissions;
    qint64 dataVersion = -1;
};
