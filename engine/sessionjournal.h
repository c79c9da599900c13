#pragma once

#include "commandresult.h"
#include "commissioningjournal.h"
#include "node.h"
#include "writeverification.h"

#include <QList>
#include <QObject>
#include <QString>

#include <optional>

class LabelCode;

// What one port's commissioning writes to the journal, and the one place that notices the journal cannot be
// written. Without a journal every record is a no-op. A write is recorded when it ends, for the node it went
// to: the link answers writes in the order they were asked for.
class SessionJournal : public QObject
{
    Q_OBJECT
public:
    enum class WriteKind { Settings, DeviceId, SigfoxData };

    explicit SessionJournal(CommissioningJournal *journal, QObject *parent = nullptr);

    // The profile in force on this port, named on the entries of the nodes read from now on.
    void setProfile(const QString &name, const QString &sha256);
    void nodeRead(const QString &port, const Node &node);
    void profileCompared(const Node &node, const QList<CommissioningJournal::ProfileDifference> &differences);
    // The node on show (if any, and not asleep) left: its port went away, it was reset or the port let go.
    // Recorded once per node read.
    void nodeLeft(const char *reason);
    void notConfigured(const Node &node, const char *reason);
    void firmwareTooOld(const Node &node, const QString &minNodeVersion);
    void verified(const Node &node, const QList<WriteVerification::Mismatch> &mismatches);
    void labelChecked(const Node &node, const LabelCode &code, bool matches);
    void nodeSleeping(const Node &node);
    void keyMismatch(const QString &port);
    // A write handed to the link, and the end of the oldest one still open.
    void writeAsked(WriteKind kind, const Node &node, int flags = 0);
    void writeEnded(CommandResult result, CommandFailure failure);

    QString keyFingerprint() const;

signals:
    // The journal could not be written; said once, and again only after it worked in between.
    void recordingFailed(QString problem);

private:
    struct OpenWrite
    {
        WriteKind kind;
        Node node;
        int flags;
    };

    void check();

    CommissioningJournal *journal;
    QString profileName;
    QString profileSha256;
    // The node read last on this port and where, until it sleeps or leaves.
    std::optional<Node> present;
    QString presentPort;
    QList<OpenWrite> openWrites;
    bool problemReported = false;
};
