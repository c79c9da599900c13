#pragma once

#include "commandresult.h"
#include "node.h"
#include "writeverification.h"

#include <QList>
#include <QObject>
#include <QString>

class CommissioningJournal;
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

    void nodeRead(const QString &port, const Node &node);
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
    QList<OpenWrite> openWrites;
    bool problemReported = false;
};
