#include "nodewritecommand.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSerialPort>
#include <QThread>

NodeWriteCommand::NodeWriteCommand(QSerialPort *port)
    : NodeCommand(port)
{
}

int NodeWriteCommand::parseReply(QString line)
{
    static const QRegularExpression accepted(QStringLiteral("Set\\s(.+)"));
    static const QRegularExpression refused(QStringLiteral("FAILED\\s(.+)"));
    if (accepted.match(line).hasMatch())
        return ResultDone;
    const QRegularExpressionMatch failure = refused.match(line);
    if (failure.hasMatch()) {
        qInfo().noquote() << QStringLiteral("NodeCMDset: FAIL - ") + failure.captured(1);
        return ResultFailed;
    }
    return ResultPending;
}

int NodeWriteCommand::exchangeLine(const QByteArray &line, unsigned long bytePauseMs)
{
    int result = ResultPending;
    for (int attempt = 1; attempt <= kMaxAttempts; ++attempt) {
        writeLine(line, bytePauseMs);
        result = awaitVerdict();
        if (result == ResultDone)
            return ResultDone;
        if (result == ResultFailed && attempt < kMaxAttempts)
            QThread::msleep(kRetryAfterFailedMs);
    }
    return result;
}

void NodeWriteCommand::pauseBeforeLine()
{
    QThread::msleep(kLinePauseMs);
}

int NodeWriteCommand::commandResult(int exchangeOutcome)
{
    return exchangeOutcome == ResultPending ? ResultTimedOut : exchangeOutcome;
}

void NodeWriteCommand::writeLine(const QByteArray &line, unsigned long bytePauseMs)
{
    // Write failures are not checked here: a node that did not get the line stays silent, and the reply
    // window turns that into the next attempt.
    m_serialPort->flush();
    if (line.size() <= kOnePieceMaxBytes) {
        m_serialPort->write(line);
        m_serialPort->waitForBytesWritten(kWriteWaitMs);
        return;
    }
    for (const char byte : line) {
        m_serialPort->write(&byte, 1);
        m_serialPort->waitForBytesWritten(kWriteWaitMs);
        QThread::msleep(bytePauseMs);
    }
}

int NodeWriteCommand::awaitVerdict()
{
    // Every line the node prints opens a new reply window, so a node that is still talking is given time to
    // reach its verdict.
    int result = ResultPending;
    QElapsedTimer attempt;
    attempt.start();
    for (;;) {
        const qint64 left = m_attemptLimitMs - attempt.elapsed();
        if (left <= 0) {
            qInfo("NodeCMDset: no verdict from the node within %lld ms of other output", m_attemptLimitMs);
            return ResultPending;
        }
        if (m_serialPort->bytesAvailable() == 0)
            m_serialPort->waitForReadyRead(int(qMin<qint64>(kReplyWindowMs, left)));
        const QByteArray batch = m_serialPort->readAll();
        if (batch.isEmpty())
            return result;
        const QStringList lines = m_receiveBuffer.feed(batch);
        // The last verdict of the batch decides; a prompt or other output after it does not undo it (that
        // would lose an accepted line and send it again).
        for (const QString &text : lines) {
            const int verdict = parseReply(text);
            if (verdict != ResultPending)
                result = verdict;
        }
        if (result != ResultPending)
            return result;
    }
}
