#include "nodecommand.h"

#include <QSerialPort>
#include <QThread>

NodeCommand::NodeCommand(const char *command, QSerialPort *port)
    : m_serialPort(port)
    , m_command(command ? command : "")
{
    m_ageTimer.start();
}

NodeCommand::NodeCommand(QSerialPort *port)
    : m_serialPort(port)
    , m_command("")
{
}

NodeCommand::~NodeCommand() = default;

int NodeCommand::sendCommand()
{
    if (!m_serialPort)
        return ResultFailed;
    m_serialPort->flush();
    m_serialPort->write(m_command);
    m_serialPort->waitForBytesWritten(kWriteWaitMs);
    // Write errors are not checked: a node that did not get the command does not answer, and the
    // command's age limit ends the wait.
    QThread::msleep(kAfterSendPauseMs);
    return ResultDone;
}

bool NodeCommand::isTimedOut() const
{
    return m_ageTimer.isValid() && isTimedOutAfter(m_ageTimer.elapsed());
}
