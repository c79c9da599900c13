#include "nodewritecommand.h"

#include "linklog.h"

#include <QRegularExpression>
#include <QSerialPort>

NodeWriteCommand::NodeWriteCommand(QSerialPort *port, const Pacing &pacing, int bytePauseMs)
    : NodeCommand(port, pacing)
    , m_bytePauseMs(bytePauseMs)
{
    // finished() may cross threads and be watched by name (QSignalSpy).
    qRegisterMetaType<CommandResult>("CommandResult");
    qRegisterMetaType<CommandFailure>("CommandFailure");
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &NodeWriteCommand::onTimer);
    m_attemptLimit.setSingleShot(true);
    m_attemptLimit.setTimerType(Qt::PreciseTimer);
    connect(&m_attemptLimit, &QTimer::timeout, this, [this] {
        qCInfo(lcLink, "NodeCMDset: no verdict from the node within %lld ms of other output", m_pacing.attemptLimitMs);
        endAttempt(CommandResult::Pending);
    });
}

CommandResult NodeWriteCommand::parseReply(QString line)
{
    static const QRegularExpression accepted(QStringLiteral("Set\\s(.+)"));
    static const QRegularExpression refused(QStringLiteral("FAILED\\s(.+)"));
    if (accepted.match(line).hasMatch())
        return CommandResult::Done;
    const QRegularExpressionMatch failure = refused.match(line);
    if (failure.hasMatch()) {
        qCInfo(lcLink).noquote() << QStringLiteral("NodeCMDset: FAIL - ") + failure.captured(1);
        return CommandResult::Failed;
    }
    return CommandResult::Pending;
}

CommandResult NodeWriteCommand::sendCommand()
{
    if (m_phase != Phase::Idle)
        return CommandResult::Pending;
    m_phase = Phase::BeforeLine;
    // From the event loop, so that whoever started the command has returned before it can finish.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_phase == Phase::Finished)
                return;
            if (!m_serialPort) {
                finish(CommandResult::Failed, CommandFailure::NoPort);
                return;
            }
            // An unplugged device does not answer any more; waiting out three reply windows would only delay
            // the result.
            connect(m_serialPort, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError error) {
                if (error == QSerialPort::ResourceError)
                    abandonPort();
            });
            beginNextStep();
        },
        Qt::QueuedConnection);
    return CommandResult::Pending;
}

void NodeWriteCommand::interrupt()
{
    if (m_phase != Phase::Finished)
        finish(CommandResult::Failed, CommandFailure::Interrupted);
}

void NodeWriteCommand::abandonPort()
{
    if (m_phase != Phase::Finished)
        finish(CommandResult::TimedOut, CommandFailure::None);
}

void NodeWriteCommand::beginNextStep()
{
    for (++m_step; m_step < stepCount(); ++m_step) {
        m_line = lineForStep(m_step);
        if (m_line.isEmpty()) {
            noteFailure(CommandFailure::InvalidValue);
            continue;
        }
        m_attempt = 0;
        m_phase = Phase::BeforeLine;
        m_timer.start(m_pacing.linePauseMs);
        return;
    }
    if (m_failure == CommandFailure::None)
        finish(CommandResult::Done, CommandFailure::None);
    else
        finish(CommandResult::Failed, m_failure);
}

void NodeWriteCommand::startAttempt()
{
    ++m_attempt;
    // Write failures are not checked here: a node that did not get the line stays silent, and the reply window
    // turns that into the next attempt.
    if (m_line.size() <= kOnePieceMaxBytes) {
        m_serialPort->write(m_line);
        m_serialPort->flush();
        awaitVerdict();
        return;
    }
    m_phase = Phase::SendingBytes;
    m_nextByte = 0;
    sendNextByte();
}

void NodeWriteCommand::sendNextByte()
{
    m_serialPort->write(m_line.constData() + m_nextByte, 1);
    m_serialPort->flush();
    ++m_nextByte;
    // The pause follows every byte, the last one included.
    m_timer.start(m_bytePauseMs);
}

void NodeWriteCommand::awaitVerdict()
{
    m_phase = Phase::AwaitingVerdict;
    m_attemptLimit.start(int(m_pacing.attemptLimitMs));
    m_timer.start(int(m_pacing.replyWindowMs));
    if (!m_readyRead)
        m_readyRead = connect(m_serialPort, &QSerialPort::readyRead, this, &NodeWriteCommand::readVerdict);
    // What the node printed while the line went out (its echo, say) is the first batch of the attempt.
    if (m_serialPort->bytesAvailable() > 0)
        readVerdict();
}

void NodeWriteCommand::readVerdict()
{
    if (m_phase != Phase::AwaitingVerdict)
        return;
    const QByteArray batch = m_serialPort->readAll();
    if (batch.isEmpty())
        return;
    // The last verdict of the batch decides; a prompt or other output after it does not undo it (that would
    // lose an accepted line and send it again).
    CommandResult verdict = CommandResult::Pending;
    for (const QString &text : m_receiveBuffer.feed(batch)) {
        const CommandResult lineVerdict = parseReply(text);
        if (lineVerdict != CommandResult::Pending)
            verdict = lineVerdict;
    }
    if (verdict != CommandResult::Pending) {
        endAttempt(verdict);
        return;
    }
    // A node that is still talking is given a new window to reach its verdict.
    m_timer.start(int(m_pacing.replyWindowMs));
}

void NodeWriteCommand::endAttempt(CommandResult verdict)
{
    if (m_phase != Phase::AwaitingVerdict)
        return;
    m_timer.stop();
    m_attemptLimit.stop();
    switch (verdict) {
    case CommandResult::Done:
        m_acceptedSteps.append(m_step);
        beginNextStep();
        return;
    case CommandResult::Failed:
        if (m_attempt < kMaxAttempts) {
            m_phase = Phase::BeforeRetry;
            m_timer.start(m_pacing.retryAfterFailedMs);
            return;
        }
        // A refused line does not stop the sequence: the later settings are independent of it.
        noteFailure(CommandFailure::Refused);
        beginNextStep();
        return;
    default:
        if (m_attempt < kMaxAttempts) {
            startAttempt();
            return;
        }
        // A silent node will not answer the later lines either.
        finish(CommandResult::TimedOut, CommandFailure::None);
        return;
    }
}

void NodeWriteCommand::onTimer()
{
    switch (m_phase) {
    case Phase::BeforeLine:
    case Phase::BeforeRetry:
        startAttempt();
        break;
    case Phase::SendingBytes:
        if (m_nextByte < m_line.size())
            sendNextByte();
        else
            awaitVerdict();
        break;
    case Phase::AwaitingVerdict:
        endAttempt(CommandResult::Pending);
        break;
    default:
        break;
    }
}

void NodeWriteCommand::finish(CommandResult result, CommandFailure failure)
{
    m_phase = Phase::Finished;
    m_timer.stop();
    m_attemptLimit.stop();
    disconnect(m_readyRead);
    emit finished(result, failure);
}

void NodeWriteCommand::noteFailure(CommandFailure failure)
{
    if (m_failure == CommandFailure::None)
        m_failure = failure;
}
