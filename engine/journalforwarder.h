#pragma once

#include "databaseaddress.h"
#include "shareddatabase.h"

#include <QObject>
#include <QString>

class QThread;
class ForwarderWorker;

// Ships a bench's journal to the shared database, entry by entry in the order written, with the unit records
// derived from it. The local journal stays the bench's source of truth: the forwarder only reads it, on a
// thread of its own, so neither a slow nor an absent database holds the bench up.
//
// Each complete journal entry has a sequence number, its place among the journal's complete entries counted
// from 0; the database keeps one row per bench id and sequence number, so an entry sent twice (an answer lost
// with the connection, a restart before the position was saved) is stored once. The position up to which the
// database has confirmed the entries is kept in a file beside the journal and written only after the commit,
// so nothing is lost when the tool stops, crashes or the database goes away: what is waiting is sent when the
// database answers again, also after a restart. The bench id is a random one kept beside the journal; every
// journal directory is one bench.
class JournalForwarder : public QObject
{
    Q_OBJECT
public:
    static constexpr const char *kPositionFileName = "forwarded.json";
    static constexpr const char *kBenchIdFileName = "bench.id";

    struct Timing
    {
        int pollMs = 250; // how often the journal is looked at when all is sent
        int firstRetryMs = 1000; // the wait after the database could not be reached, doubling
        int longestRetryMs = 30000;
        int batchSize = 1000; // entries per transaction at most
        int statementTimeoutMs = SharedDatabase::kStatementTimeoutSeconds * 1000; // a query waits no longer
    };

    JournalForwarder(const QString &journalPath, const DatabaseAddress &address, const QString &password,
        const QString &benchName, const Timing &timing, QObject *parent = nullptr);
    JournalForwarder(const QString &journalPath, const DatabaseAddress &address, const QString &password,
        const QString &benchName, QObject *parent = nullptr);
    // Stops the thread; what is not sent yet waits in the journal for the next run.
    ~JournalForwarder() override;

    // Starts forwarding on the forwarder's thread.
    void start();
    // Sends what the journal holds now, waiting for it: true when all of it reached the database. For a program
    // that is about to end (the command line); the window lets the thread do it.
    bool sendNow();

    // Asks the database, on the forwarder's thread, whether another bench registered the identity (as the
    // journal groups it, JournalHistory::identifierOf); registrationChecked() answers.
    void checkRegistration(const QString &identifier);

    QString benchId() const { return bench; }
    int waiting() const { return waitingCount; }
    bool reachable() const { return isReachable; }
    // Why the database cannot be used right now; empty while it can.
    QString problem() const { return problemText; }

    // The bench id kept beside the journal, made when there is none yet. Empty with `*problem` when it can be
    // neither read nor written.
    static QString benchIdFor(const QString &journalPath, QString *problem = nullptr);

signals:
    // The entries read from the journal and not yet confirmed by the database, whether it answers, and why not.
    void statusChanged(int waiting, bool reachable, const QString &problem);
    // The answer to checkRegistration(): `asked` false when the database could not be asked (`problem` says
    // why); else `otherBench` empty when no other bench registered it, or the bench that did last, and when.
    void registrationChecked(const QString &identifier, bool asked, const QString &otherBench, qint64 registeredMsecs,
        const QString &problem);

private:
    void takeStatus(int waiting, bool reachable, const QString &problem);

    QString bench;
    QThread *thread = nullptr;
    ForwarderWorker *worker = nullptr;
    int waitingCount = 0;
    bool isReachable = false;
    QString problemText;
};
