#pragma once

#include "commissioningsession.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

// One bench slot of the command-line commissioner: a commissioning session on one port, driven the way an
// operator would drive the window for every node that boots there: read it, write the profile's differences,
// check them after the re-read, register it, put it to sleep. Each node ends in one report.
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
    };

    struct NodeReport
    {
        QString port;
        QString type; // the node's "Communication:" text
        QString identifier;
        QString nodeVersion;
        QStringList written; // the settings written ("temperature", "reportRate")
        bool verified = false; // what was written was read back as written (true when nothing was written)
        QString registration; // the server's status, "waiting" when kept in the outbox, empty when not asked
        bool sleeping = false;
        QString error; // empty when the node went through
    };

    StationRunner(const QString &port, ServerSession *server, CommissioningJournal *journal,
        std::shared_ptr<const CommissioningProfile> profile, const Options &options, QObject *parent = nullptr);

    QString port() const { return portName; }
    void start();
    // Takes no further node once the current one is done; a write in progress is never cut off.
    void stop();
    bool isBusy() const { return inProgress; }
    CommissioningSession *session() const { return commissioning; }

signals:
    void nodeDone(StationRunner::NodeReport report);
    void portFailed(QString port, QString reason);
    void progress(QString text);

private:
    enum class Phase { Shown, Writing, Registering, Sleeping };

    void stateChanged(CommissioningSession::State state);
    void nodeShown();
    void proceed();
    void registrationReported(const ServerSession::RegistrationReport &report);
    void finish(const QString &error = QString());
    void say(const QString &text);

    QString portName;
    CommissioningSession *commissioning;
    Options options;
    bool stopping = false;
    bool inProgress = false;
    Phase phase = Phase::Shown;
    NodeReport report;
    QString lastNotice;
    bool loginSubmitted = false;
};

Q_DECLARE_METATYPE(StationRunner::NodeReport)
