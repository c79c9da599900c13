#pragma once

#include "lineassembler.h"
#include "node.h"
#include "nodethresholds.h"

#include <QDeadlineTimer>
#include <QMutex>
#include <QThread>

#include <atomic>
#include <deque>
#include <memory>

class NodeCommand;
class QSerialPort;
class QTimer;

// The serial link thread: the one object through which the rest of the tool talks to a sensor node.
// Its thread owns the serial port; GUI-thread calls only hand requests over and return at once.
//
// (Public interface fixed; the private part belongs to the implementation.)
class NodeInterface : public QThread
{
    Q_OBJECT
public:
    explicit NodeInterface(QObject *parent = nullptr);
    ~NodeInterface() override; // stops the thread and waits for the pass in progress

    // Request methods used by the configure path; each queues its request no earlier than 500 ms after the
    // call, without blocking the caller.
    void readVersion();
    void setDeviceId(QString id);
    void setSigfoxData(QString data);

    // A copy of the node record the link fills, taken under a short lock.
    Node nodeRecord() const;

public slots:
    void connectSerialPort(QString serialPort);
    void updateNode(Node node, int flags);
    void resetNode();
    void sleepNode();
    void disconnectNode();

signals:
    void busy(bool busy);
    void nodeConnected(Node node);
    void nodeCommandResult(int result);
    void configureID(Node::eFirmwareType type);
    void nodeSleeping();
    // Not part of the node workflow: tell the window whether the chosen port could be opened.
    void serialPortOpened(QString name);
    void serialPortFailed(QString name, QString reason);

private slots:
    void updateVersion(Node node);
    void updateConfig(Node node);
    void updateThreshold(NodeThresholds thresholds);
    void updateRate(int rate);

protected:
    void run() override;

private:
    // The jobs the link thread runs, in the order they were asked for.
    enum RequestKind : int {
        OpenPort = 0,
        ReadThresholds = 1,
        ReadReportRate = 2,
        AnnounceNode = 3,
        WriteSettings = 4,
        ReadVersion = 5,
        WriteSigfoxData = 6,
        WriteDeviceId = 7,
        Reset = 8,
        Sleep = 9,
    };

    struct Request
    {
        explicit Request(int requestKind, const QString &requestText = QString())
            : kind(requestKind)
            , text(requestText)
        {
        }

        int kind;
        QString text; // port name, device id or SigFox data
        Node node; // settings write: the record as the form sent it
        int flags = 0; // settings write: which fields to send
        quint64 portId = 0; // writes: the port open when the write was asked for (0: none)
        QDeadlineTimer notBefore; // the request waits in the queue until then
    };

    // GUI-thread side: hand a request to the link thread; never waits for the link.
    void enqueue(Request request, int delayMs = 0, bool dropCurrent = false);
    void requestDrop();
    quint64 openPortId() const;
    void wakeLinkLocked();

    // Link-thread side.
    void serviceQueue();
    void execute(Request &request);
    void openPort(const QString &name);
    void closePort();
    void onPortError(int error);
    void checkSuspectPort();
    void readIncoming();
    void handleLine(const QString &line);
    void detectBanner(const QString &line);
    void startConfigurationRead();
    NodeCommand *startReadCommand(std::unique_ptr<NodeCommand> command);
    void runWriteCommand(std::unique_ptr<NodeCommand> command);
    void resetNow();
    bool takeDropRequest();
    QSerialPort *portFor(const Request &request) const;

    // Shared between the threads, guarded by m_handOff. The lock is only ever held for a few instructions.
    mutable QMutex m_handOff;
    std::deque<Request> m_requests;
    bool m_dropRequested = false;
    bool m_wakePosted = false;
    Node m_record;
    quint64 m_openPortId = 0; // written by the link thread only
    QObject *m_linkContext = nullptr; // lives in the link thread; wake-ups are posted to it
    std::atomic<bool> m_running{true};

    // Link thread only.
    std::unique_ptr<QSerialPort> m_port;
    std::unique_ptr<NodeCommand> m_current;
    QTimer *m_requestTimer = nullptr;
    LineAssembler m_lines;
    QString m_portName;
    quint64 m_portCounter = 0;
    int m_bannerFlags = 0;
    bool m_bannerComplete = false;
    bool m_portSuspect = false; // a read failed; checkSuspectPort() decides whether the device is gone
    bool m_linkBusy = false; // a job or a batch of lines is running; readyRead from inside its waits is deferred
};
