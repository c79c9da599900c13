#include "nodecommand.h"

#include <QSerialPort>

NodeCommand::NodeCommand(const char *command, QSerialPort *port, const Pacing &pacing)
    : m_pacing(pacing)
    , m_serialPort(port)
    , m_command(command ? command : "")
{
    m_ageTimer.start();
}

NodeCommand::NodeCommand(QSerialPort *port, const Pacing &pacing)
    : m_pacing(pacing)
    , m_serialPort(port)
    , m_command("")
{
}

NodeCommand::~NodeCommand() = default;

CommandResult NodeCommand::sendCommand()
{
    if (!m_serialPort)
        return CommandResult::Failed;
    // Write errors are not checked: a node that did not get the command does not answer, and the command's age
    // limit ends the wait. flush() hands the bytes to the device without waiting.
    m_serialPort->write(m_command);
    m_serialPort->flush();
    return CommandResult::Done;
}

bool NodeCommand::isTimedOut() const
{
    return m_ageTimer.isValid() && isTimedOutAfter(m_ageTimer.elapsed());
}

CommandResult NodeCommand::completeOnceSeen(int required)
{
    if ((m_seen & required) != required)
        return CommandResult::Pending;
    m_seen = 0;
    return CommandResult::Done;
}
