#pragma once

#include "commandresult.h"
#include "lineassembler.h"
#include "pacing.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

class QSerialPort;

// One command the tool can send to a node. Read commands write their text and are then fed received lines by
// the link until their answer is complete; write commands run their exchange as a sequence of timed states and
// report the result by signal (NodeWriteCommand).
class NodeCommand : public QObject
{
    Q_OBJECT
public:
    // Read commands: stores the text (terminator included) and starts the age timer. The pacing gives the reply
    // window (how long a node has to complete a read command's answer, and each attempt of a written line) and
    // the hold after sending, during which the link leaves the answer in the port.
    NodeCommand(const char *command, QSerialPort *port, const Pacing &pacing);
    // Write commands: empty command text, age timer not started.
    NodeCommand(QSerialPort *port, const Pacing &pacing);
    ~NodeCommand() override;

    // Default: write the command text and return Done at once; Failed, with nothing written, without a port.
    virtual CommandResult sendCommand();
    virtual CommandResult parseReply(QString line) = 0;

    // More than the reply window since construction (never for a command whose timer was not started).
    bool isTimedOut() const;
    bool isTimedOutAfter(qint64 elapsedMs) const { return elapsedMs > m_pacing.replyWindowMs; }

    QSerialPort *serialPort() const { return m_serialPort; }
    const char *commandText() const { return m_command; }

protected:
    // For answers of several lines: Done once every line in `required` has been noted in m_seen, which starts
    // the record afresh for the next answer; Pending before that.
    CommandResult completeOnceSeen(int required);

    const Pacing m_pacing;
    int m_seen = 0; // the lines of a multi-line answer taken so far, one bit each
    QElapsedTimer m_ageTimer;
    LineAssembler m_receiveBuffer;
    QSerialPort *m_serialPort;
    const char *m_command;
};
