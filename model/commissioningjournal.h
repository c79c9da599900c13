#pragma once

#include "node.h"

#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>

// The commissioning journal: what happened to which node and when, for a supervisor to look up afterwards.
// One JSON object per line, appended and never rewritten. Each entry is written with a single append and
// flushed to the disk, so a crash can cut off at most the last line; reading skips such a line and the next
// entry starts on a line of its own.
//
// Entries carry identities, versions, flag names, result codes and the values a verification or a label check
// compared, never the application key, the PAC, the operator's password or its digest, or the server's token.
class CommissioningJournal
{
public:
    static constexpr const char *kFileName = "journal.jsonl";

    // Why a write ended with result 1 (failed), the "reason" of its entry.
    static constexpr const char *kReasonNoPort = "noPort"; // no serial port was open
    static constexpr const char *kReasonRefused = "refused"; // the node answered that it refused the value
    static constexpr const char *kReasonInvalidValue = "invalidValue"; // the value could not be encoded
    static constexpr const char *kReasonInterrupted = "interrupted"; // a disconnect or a port change cut it off

    // Why a node was not configured, the "reason" of its notConfigured entry.
    static constexpr const char *kReasonUnknownType = "unknownType"; // its communication type has no form
    static constexpr const char *kReasonNoIdentity = "noIdentity"; // its identity reads all zeros or all F

    // Why a node that was on show left without being put to sleep, the "reason" of its nodeLeft entry.
    static constexpr const char *kLeftPortLost = "portLost"; // its port went away (unplugged)
    static constexpr const char *kLeftReset = "reset"; // the operator reset it to read it afresh
    static constexpr const char *kLeftDisconnected = "disconnected"; // the operator let the port go
    static constexpr const char *kLeftSetAside = "setAside"; // the command line gave up on it and went on

    // One setting whose profile value differs from the node's, as the operator is shown it.
    struct ProfileDifference
    {
        QString field; // "temperature", "reportRate"
        QString profile; // "-10 to 50"
        QString node;
    };

    // One field whose value read back from the node differs from the value written.
    struct Mismatch
    {
        QString field; // a flag name ("appId", "reportRate") or another field of the node
        QString written;
        QString read;
    };

    // The journal of the user running the tool, in the application's data directory
    // (~/.local/share/DARV/iot_commission/journal.jsonl once main() has named the application).
    static QString defaultFilePath();

    explicit CommissioningJournal(const QString &filePath = defaultFilePath());

    QString filePath() const { return path; }
    // Why the last entry could not be written; empty after an entry that was.
    QString lastError() const { return lastErrorText; }
    // Makes an existing journal file readable by its owner only (it names nodes, lots and operators' work).
    // Returns an empty text, or why the file could not be tightened. Every append does the same.
    QString tightenPermissions() const;

    // The fingerprint of the node key the tool was built with; nodeRead and keyMismatch entries carry it
    // while it is set.
    void setKeyFingerprint(const QString &fingerprint) { keyFingerprintText = fingerprint; }
    QString keyFingerprint() const { return keyFingerprintText; }
    // The production lot being commissioned; every entry carries it while it is not empty. Controls and
    // bidirectional formatting characters are taken out (OperatorText).
    void setLot(const QString &lot);
    QString lot() const { return lotText; }
    // The bench's name (the host name until one is set): nodeRead and keyMismatch entries carry it with the
    // tool's version, so that each unit's record names its station and build. The operator's login user name
    // (never a password) is carried by every entry while it is set, like the lot: a node read before the login
    // still gets its operator from its later entries. Both are cleaned like the lot.
    void setBench(const QString &bench);
    QString bench() const { return benchText; }
    void setOperatorName(const QString &name);
    QString operatorName() const { return operatorText; }

    // Each writes one entry stamped with the current time in UTC and returns false (and logs why) when the
    // entry could not be written. The node supplies the identity: its DevEUI, or its SigFox ID for SigFox types.
    // The entry holds the thresholds and the report rate read (the values a unit's record measures), and the
    // profile in force with the SHA-256 of its file when one is.
    bool recordNodeRead(const QString &port, const Node &node, const QString &profileName = QString(),
        const QString &profileSha256 = QString());
    // The node as read compared with the profile's entry for its type: matches, or the differing settings.
    bool recordProfileCompared(
        const Node &node, const QString &profileName, const QVector<ProfileDifference> &differences);
    // A node on show left without going to sleep; reason is one of the kLeft texts.
    bool recordNodeLeft(const QString &port, const Node &node, const QString &reason);
    // reason (one of the kReason texts) is written for result 1 only.
    bool recordSettingsWritten(const Node &node, int flags, int result, const QString &reason = QString());
    bool recordDeviceIdWritten(const Node &node, int result, const QString &reason = QString());
    bool recordSigfoxDataWritten(const Node &node, int result, const QString &reason = QString());
    // A registration stored in the outbox, before it is sent.
    bool recordRegistrationQueued(const Node &node, qint64 outboxId);
    // The server's answer to one attempt of a registration (attempts count from 1): its HTTP status, or 0 and
    // the named failure when the attempt got none ("connectionRefused", "timeout", "tlsError", "noAnswer"). The
    // second form serves a registration sent again from the outbox, where only the node's identity is known.
    bool recordRegistration(
        const Node &node, int statusCode, int attempt = 1, qint64 outboxId = -1, const QString &failure = QString());
    bool recordRegistration(const QString &identity, bool sigfox, int statusCode, int attempt, qint64 outboxId = -1,
        const QString &failure = QString());
    bool recordNodeSleeping(const Node &node);
    // Before a registration the shared database was asked whether another bench registered the node: result
    // "clear", "registeredElsewhere" (that bench's name and the time of its registration), or "skipped" (the
    // database could not be asked; problem says why).
    bool recordDuplicateCheck(const Node &node, const QString &result, const QString &otherBench = QString(),
        const QString &registeredAt = QString(), const QString &problem = QString());
    // The node's protected fields do not decode with the tool's key.
    bool recordKeyMismatch(
        const QString &port, const QString &profileName = QString(), const QString &profileSha256 = QString());
    // The node read back after a write. Mismatches of the application key or the PAC name the field only.
    bool recordVerified(const Node &node, bool ok, const QVector<Mismatch> &mismatches = {});
    bool recordFirmwareTooOld(const Node &node, const QString &minNodeVersion);
    // The node has no form or no identity: nothing is written or registered. reason is one of the
    // kReasonUnknownType and kReasonNoIdentity texts.
    bool recordNotConfigured(const Node &node, const QString &reason);
    // The device's label compared with the node; label maps field names to the texts on the label.
    bool recordLabelChecked(const Node &node, const QMap<QString, QString> &label, bool match);
    // A label printed for a node, or written to a file: where to (a printer's name, "default printer" or the
    // file), and why it failed (empty when it did not). Printing by hand from the history knows only the
    // identity.
    bool recordLabelPrinted(const QString &identity, bool sigfox, const QString &target, const QString &failure);

    // All complete entries in the order they were written. Lines that are not a JSON object (a line cut off
    // by a crash) are skipped and counted in skippedLines when given. A path that is not a regular file (a
    // FIFO, a device) is not read.
    QVector<QJsonObject> entries(int *skippedLines = nullptr) const;

    // The names of the settings a write selects, lowest bit first ("temperature", "reportRate").
    static QStringList flagNames(int flags);

private:
    static QJsonObject eventFor(const char *event, const Node &node);
    static QJsonObject eventFor(const char *event, const QString &identity, bool sigfox);
    static QJsonObject writeEvent(const char *event, const Node &node, int result, const QString &reason);
    bool append(QJsonObject entry);
    void addContext(QJsonObject &entry, const QString &profileName, const QString &profileSha256) const;

    QString path;
    QString keyFingerprintText;
    QString lotText;
    QString benchText;
    QString operatorText;
    QString lastErrorText;
    bool permissionWarned = false;
};
