#pragma once

#include "commandexit.h"
#include "stationrunner.h"

#include <QJsonValue>
#include <QObject>
#include <QStringList>

#include <QJsonObject>

#include <memory>

class BenchSetup;
class CommissioningProfile;
class RegistrationOutbox;
class ServerSession;
class QCommandLineParser;
class QTimer;

// `iot-commission-cli commission …`: commissions the nodes that boot on one or more ports at the same time,
// with one login, one outbox and one journal shared by all of them, and reports each node on standard output
// as soon as it is done.
class Commissioner : public QObject
{
    Q_OBJECT
public:
    static constexpr int kExitSuccess = CommandExit::kSuccess;
    static constexpr int kExitNodeFailed = CommandExit::kFailed;
    static constexpr int kExitUsage = CommandExit::kUsage;
    // The outbox cannot be read (it was moved aside) or an answer could not be recorded in it.
    static constexpr int kExitStorageFailed = CommandExit::kFailed;
    // After Ctrl-C or SIGTERM, how long registrations on the wire are given before the run ends regardless.
    static constexpr int kStopGraceMs = 2000;

    explicit Commissioner(QObject *parent = nullptr);
    ~Commissioner() override;

    // Parses the arguments (program name first). Returns -1 when commissioning is to start, else the exit code
    // (usage errors print a usage line on standard error).
    int configure(const QStringList &arguments);
    // Opens the ports and starts; finished() carries the exit code.
    void start();
    // Ctrl-C or SIGTERM: take no further node, finish what is being written to a node, give the registration on
    // the wire a moment, then end; what the outbox could not record is said in the last line.
    void interrupt();

signals:
    void finished(int exitCode);

private:
    void nodeDone(const StationRunner::NodeReport &report);
    void portFailed(const QString &name, const QString &reason, bool wasOpen);
    // Takes no further node on any port; the nodes in progress are seen through.
    void stopAll();
    void printReport(const StationRunner::NodeReport &report, const QJsonObject &label);
    // The label of a node that went through, written as a PDF and/or printed as asked; what became of it, for
    // the report. Each is journalled; a failure is reported and the run goes on.
    QJsonObject makeLabel(const StationRunner::NodeReport &report);
    // Sends a label's PDF to the printer through CUPS's lp; empty when it was taken, else why not.
    QString printPdf(const QString &pdfPath, const QString &title) const;
    // The unit record of the node reported last on `port`, from the journal; null when there is none.
    QJsonValue unitRecordFor(const QString &port) const;
    void maybeFinish();
    void end(int exitCode);
    // Logs in when registrations wait in the outbox and only a login can send them (at the start, after the
    // server refused a token), no more often than the outbox's back-off.
    void logInForWaiting();
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
    bool allowReregister = false;
    int count = 1;
    bool printLabels = false;
    QString printerName; // empty: the system's default printer
    QString labelDirectory; // empty: no PDF
    double labelWidthMm = 0;
    double labelHeightMm = 0;
    std::shared_ptr<const CommissioningProfile> labelProfile;

    std::unique_ptr<BenchSetup> bench;
    // When this run began: the unit records of --json are those of the nodes read since.
    qint64 runStartMsecs = 0;
    RegistrationOutbox *outbox = nullptr; // the bench's
    ServerSession *server = nullptr; // the bench's
    QList<StationRunner *> stations;
    int done = 0;
    // The exit code: the worst of a node failed (1) and a port that could not be opened or none left (2).
    int worstOutcome = kExitSuccess;
    bool stopping = false;
    bool credentialsRefused = false;
    int waitingLogins = 0; // logins for the outbox in a row that did not get through
    QTimer *waitingLoginPause = nullptr;
    bool interrupted = false;
    bool graceOver = false;
    bool ended = false;
};
