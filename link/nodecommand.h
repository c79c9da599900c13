#pragma once

#include "lineassembler.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

class QSerialPort;

// One command the tool can send to a node. Read commands are fed received lines by the link until their
// answer is complete; write commands run their whole exchange inside sendCommand().
class NodeCommand : public QObject
{
    Q_OBJECT
public:
    enum Result : int {
        ResultPending = 0,
        ResultFailed = 1,
        ResultDone = 2,
        ResultTimedOut = 3,
    };

    // How long a node has to complete a read command's answer, and each attempt of a written line.
    static constexpr qint64 kReplyWindowMs = 5000;
    // How long a write to the port may take before we stop waiting for it.
    static constexpr int kWriteWaitMs = 1000;
    // Pause after a read command's text was written, giving the node time to answer in full.
    static constexpr unsigned long kAfterSendPauseMs = 1000;

    // Read commands: stores the text (terminator included) and starts the age timer.
    NodeCommand(const char *command, QSerialPort *port);
    // Write commands: empty command text, age timer not started.
    explicit NodeCommand(QSerialPort *port);
    ~NodeCommand() override;

    // Default: flush, write the command text, wait for it to be written, pause 1 s. ResultFailed without port.
    virtual int sendCommand();
    virtual int parseReply(QString line) = 0;

    // More than 5000 ms since construction (never for a command whose timer was not started).
    bool isTimedOut() const;
    static bool isTimedOutAfter(qint64 elapsedMs) { return elapsedMs > kReplyWindowMs; }

    QSerialPort *serialPort() const { return m_serialPort; }
    const char *commandText() const { return m_command; }

protected:
    QElapsedTimer m_ageTimer;
    LineAssembler m_receiveBuffer;
    QSerialPort *m_serialPort;
    const char *m_command;
};
