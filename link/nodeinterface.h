#pragma once

#include "commandresult.h"
#include "lineassembler.h"
#include "node.h"
#include "nodethresholds.h"
#include "pacing.h"

#include <QDeadlineTimer>
#include <QMutex>
#include <QThread>

#include <atomic>
#include <deque>
#include <memory>

class NodeCommand;
class NodeWriteCommand;
class QSerialPort;
class QTimer;

// The serial link thread: the one object through which the rest of the tool talks to a sensor node.
// Its thread owns the serial port and runs event-driven: reads and writes are sequences of states driven by
// readyRead and timers. GUI-thread calls only hand requests over and return at once.
//
// (Public interface fixed; the private part belongs to the implementation.)
class NodeInterface : public QThread
{
    Q_OBJECT
public:
    // Runs on the protocol's own pauses and time-outs.
    explicit NodeInterface(QObject *parent = nullptr);
    NodeInterface(const Pacing &pacing, QObject *parent = nullptr);
    ~NodeInterface() override; // stops the thread; a write or a reset under way finishes first

    // Request methods used by the configure path; each queues its request no earlier than the pause before a
    // request after the call, without blocking the caller.
    void readVersion();
    void setDeviceId(QString id);
    void setSigfoxData(QString data);

    // A copy of the node record the link fills, taken under a short lock.
    Node nodeRecord() const;

public slots:
    void connectSerialPort(QString serialPort);
    // Ends whatever runs on the port (a write ends Interrupted) and closes it until a port is chosen again.
    void closeSerialPort();
    void updateNode(Node node, int flags);
    void resetNode();
    void sleepNode();
    void disconnectNode();

signals:
    void busy(bool busy);
    void nodeConnected(Node node);
    // A write (updateNode, setDeviceId, setSigfoxData) ended; failure says why when the result is Failed.
    void nodeCommandResult(CommandResult result, CommandFailure failure);
    // Just before the nodeCommandResult of a settings write: the update flags the node acknowledged.
    void settingsAcknowledged(int flags);
    void configureID(Node::eFirmwareType type);
    void nodeSleeping();
    // The node's identifiers are enciphered under another key than the tool's: its read ended, nothing announced.
    void nodeKeyMismatch();
    // Not part of the node workflow: tell the window whether the chosen port could be opened.
    void serialPortOpened(QString name);
    void serialPortFailed(QString name, QString reason);

protected:
    void run() override;

private:
    // The jobs the link thread takes from its queue, in the order they were asked for.
    enum RequestKind : int {
        OpenPort,
        WriteSettings,
        ReadVersion,
        WriteSigfoxData,
        WriteDeviceId,
        Reset,
        Sleep,
    };

    struct Request
    {
        explicit Request(RequestKind requestKind, const QString &requestText = QString())
            : kind(requestKind)
            , text(requestText)
        {
        }

        RequestKind kind;
        QString text; // port name, device id or SigFox data
        Node node; // settings write: the record as the form sent it
        int flags = 0; // settings write: which fields to send
        quint64 portId = 0; // writes: the port open when the write was asked for (0: none)
        QDeadlineTimer notBefore; // the request waits in the queue until then
    };

    // What the current read command is; it decides where its complete answer leads.
    enum class ReadKind { Configuration, Thresholds, ReportRate, Version, Sleep };

    // A timed step of the link thread. While one runs, queued requests wait and received lines stay unread
    // (a write reads its own verdicts).
    enum class Step {
        None,
        WakePause, // after the carriage return that wakes the node's command line, before "cfg"
        BeforeThresholds, // between the configuration read and "th"
        Hold, // a read command was sent; its answer is left in the port until the hold ends
        BeforeReset, // before "reset"
        Write, // a write command runs its exchange
    };

    // GUI-thread side: hand a request to the link thread; never waits for the link.
    void enqueue(Request request, int delayMs = 0);
    quint64 openPortId() const;
    void wakeLinkLocked();

    // Link-thread side.
    void serviceQueue();
    void execute(Request &request);
    void resume();
    void onStepTimer();
    void startStep(Step step, int ms);
    void applyDrops();
    void openPort(const QString &name);
    void closePort();
    // Forgets the port, closed or not, with the read on it and the lines it gave.
    void releasePort();
    void onPortError(int error);
    void checkSuspectPort();
    bool portDeviceGone() const;
    void readIncoming();
    void handleLine(const QString &line);
    void detectBanner(const QString &line);
    void startConfigurationRead();
    void startRead(ReadKind kind, std::unique_ptr<NodeCommand> command);
    void readComplete();
    void disposeRead();
    void startWrite(std::unique_ptr<NodeWriteCommand> command);
    void writeFinished(CommandResult result, CommandFailure failure);
    void sendReset();
    void setCurrentExchange(quint64 id);
    QSerialPort *portFor(const Request &request) const;

    const Pacing m_pacing;

    // Shared between the threads, guarded by m_handOff. The lock is only ever held for a few instructions.
    mutable QMutex m_handOff;
    std::deque<Request> m_requests;
    bool m_wakePosted = false;
    Node m_record; // written by the link thread only
    quint64 m_openPortId = 0; // written by the link thread only
    quint64 m_publishedExchange = 0; // the exchange (read or write) in progress, 0 for none
    // A drop ends the exchange that was current when it was asked for and nothing later: a read for a reset or a
    // sleep, a read or a write for a disconnect or a new port.
    quint64 m_dropReadOf = 0;
    quint64 m_interruptOf = 0;
    QObject *m_linkContext = nullptr; // lives in the link thread; wake-ups are posted to it
    std::atomic<bool> m_running{true};

    // Link thread only.
    std::unique_ptr<QSerialPort> m_port;
    std::unique_ptr<NodeCommand> m_current; // the read command whose answer is awaited
    ReadKind m_currentKind = ReadKind::Version;
    std::unique_ptr<NodeWriteCommand> m_write; // the write in progress
    quint64 m_exchange = 0; // id of the current read or write, 0 for none
    quint64 m_exchangeCounter = 0;
    Step m_step = Step::None;
    QTimer *m_stepTimer = nullptr;
    QTimer *m_requestTimer = nullptr;
    LineAssembler m_lines;
    std::deque<QString> m_inbox; // complete lines not yet handled because a step began among them
    QString m_portName;
    quint64 m_portCounter = 0;
    int m_bannerFlags = 0;
    bool m_bannerComplete = false;
    bool m_portSuspect = false; // a read failed; checkSuspectPort() decides whether the device is gone
    bool m_reading = false;
};
