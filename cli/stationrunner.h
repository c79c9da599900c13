#pragma once

#include "commissioningsession.h"
#include "pacing.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <memory>

class JournalForwarder;

// One bench slot of the command-line commissioner: a commissioning session on one port, driven the way an
// operator would drive the window for every node that boots there: read it, write the profile's differences,
// check them after the re-read, register it, put it to sleep. Each node that starts booting ends in exactly
// one report, whatever becomes of it.
class StationRunner : public QObject
{
    Q_OBJECT
public:
    struct Options
    {
        bool registerNodes = false;
        bool sleepNodes = false;
        QString userName;
        QString password;
        // A port that goes away is waited for and opened again (--loop), instead of ending the port's work.
        bool waitForReturningPort = false;
        // Before each registration the shared database is asked whether another bench registered the node; such a
        // node fails ("already registered at bench …") unless allowReregister. Null: no shared database.
        JournalForwarder *sharedDatabase = nullptr;
        bool allowReregister = false;
    };

    struct NodeReport
    {
        QString port;
        QString type; // the node's "Communication:" text
        QString identifier;
        QString nodeVersion;
        QStringList written; // the settings the node acknowledged ("temperature", "reportRate")
        bool verified = false; // what was written was read back as written (true when nothing was written)
        QString registration; // the server's status, "waiting" when kept in the outbox, empty when not asked
        bool sleeping = false;
        QString error; // empty when the node went through
        Node node; // as read: what its label is made from
    };

    StationRunner(const QString &port, ServerSession *server, CommissioningJournal *journal,
        std::shared_ptr<const CommissioningProfile> profile, const Options &options, const Pacing &pacing,
        QObject *parent = nullptr);

    QString port() const { return portName; }
    void start();
    // Takes no further node once the current one is done; a write in progress is never cut off.
    void stop();
    bool isBusy() const { return inProgress; }
    // True once the port has gone away (or could not be opened): the station takes no further node.
    bool isGone() const { return portGone; }
    // True while the node in progress has been changed (written, registered or asked to sleep) and is not done:
    // such a node is seen through before the program ends, one that is only being read may be left.
    bool isCommitted() const { return inProgress && phase != Phase::Reading; }
    // The node in progress waits for the server's answer to its registration; nothing is being written to it.
    bool isWaitingForServer() const { return inProgress && phase == Phase::Registering; }
    // The node in progress acknowledged its write and has not started again since the reset: nothing is being
    // written to it, so an interrupted run need not wait for it.
    bool isWaitingForRestart() const { return inProgress && phase == Phase::Writing && writeAnswered && !restarted; }
    CommissioningSession *session() const { return commissioning; }

signals:
    void nodeDone(StationRunner::NodeReport report);
    // The port could not be opened (wasOpen false) or went away (true). A node in progress on it has been
    // reported already, unless its registration is still on its way: that one is reported once answered.
    void portFailed(QString port, QString reason, bool wasOpen);
    void progress(QString text);

private:
    enum class Phase { Reading, Writing, Registering, Sleeping };

    void stateChanged(CommissioningSession::State state);
    void begin();
    void nodeShown();
    void proceed();
    void registerNode();
    void registrationChecked(const QString &identifier, bool asked, const QString &otherBench, qint64 registeredMsecs,
        const QString &problem);
    void goToSleep();
    void registrationReported(const ServerSession::RegistrationReport &report);
    void takeRecord();
    // The settings the node acknowledged into the report, once its write has ended.
    void takeWriteResult();
    // The node's type, identity and main-board version into the report.
    void takeIdentity(const Node &node);
    // The engine's last notice, or `fallback` when it gave none.
    // Why the engine holds the node read back from registration and sleep: a failed verification, a label the
    // profile requires; empty when it is neither.
    QString heldBackBy() const;
    QString lastNoticeOr(const QString &fallback) const;
    void portLost(const QString &name, const QString &reason);
    void finish(const QString &error = QString());
    void say(const QString &text);

    QString portName;
    CommissioningSession *commissioning;
    // The bench's; notes a node set aside and the shared database's answer before a registration.
    CommissioningJournal *journal;
    Options options;
    const Pacing pacing;
    QTimer sleepTimer;
    bool stopping = false;
    bool portOpenedOnce = false;
    bool portGone = false;
    // Why the port went away while a registration was on its way; the node ends with it once answered.
    QString portLostReason;
    bool inProgress = false;
    int nodeNumber = 0;
    bool writeAnswered = false;
    // The node started again after the reset that follows its write.
    bool restarted = false;
    Phase phase = Phase::Reading;
    NodeReport report;
    QString lastNotice;
    // The server refused these credentials: they are not sent again, every later node fails at once.
    bool credentialsRefused = false;
    // The identifier the shared database is being asked about for the node in progress; empty when none.
    QString checkedIdentifier;
};

Q_DECLARE_METATYPE(StationRunner::NodeReport)
