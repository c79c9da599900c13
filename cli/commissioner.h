#pragma once

#include "stationrunner.h"

#include <QObject>
#include <QStringList>

#include <memory>

class CommissioningJournal;
class RegistrationOutbox;
class ServerSession;
class QCommandLineParser;

// `iot-commission-cli commission …`: commissions the nodes that boot on one or more ports at the same time,
// with one login, one outbox and one journal shared by all of them, and reports each node on standard output
// as soon as it is done.
class Commissioner : public QObject
{
    Q_OBJECT
public:
    static constexpr int kExitSuccess = 0;
    static constexpr int kExitNodeFailed = 1;
    static constexpr int kExitUsage = 2;

    explicit Commissioner(QObject *parent = nullptr);
    ~Commissioner() override;

    // Parses the arguments (program name first). Returns -1 when commissioning is to start, else the exit code
    // (usage errors print a usage line on standard error).
    int configure(const QStringList &arguments);
    // Opens the ports and starts; finished() carries the exit code.
    void start();
    // Ctrl-C: take no further node, finish what is being written, then end.
    void interrupt();

signals:
    void finished(int exitCode);

private:
    void nodeDone(const StationRunner::NodeReport &report);
    void portFailed(const QString &name, const QString &reason, bool wasOpen);
    // Takes no further node on any port; the nodes in progress are seen through.
    void stopAll();
    void printReport(const StationRunner::NodeReport &report);
    void maybeFinish();
    static int usageError(const QString &message);

    QStringList ports;
    QString serverUrl;
    QString userName;
    QString password;
    QString profilePath;
    QString journalPath;
    bool registerNodes = false;
    bool sleepNodes = false;
    bool json = false;
    bool loop = false;
    int count = 1;

    std::unique_ptr<CommissioningJournal> journal;
    RegistrationOutbox *outbox = nullptr;
    ServerSession *server = nullptr;
    QList<StationRunner *> stations;
    int done = 0;
    // The exit code: the worst of a node failed (1) and a port that could not be opened or none left (2).
    int worstOutcome = kExitSuccess;
    bool stopping = false;
    bool ended = false;
};
