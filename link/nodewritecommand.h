#pragma once

#include "nodecommand.h"

#include <QByteArray>
#include <QTimer>
#include <QVector>

// Shared part of the three write commands: the line exchange with up to three attempts and the "Set"/"FAILED"
// reply parser. The exchange is a sequence of states driven by timers and the port's readyRead, on the thread
// the command lives in: pause before the line, send (byte by byte for long lines), await the verdict, pause
// before a retry, next line. finished() reports the outcome once.
class NodeWriteCommand : public NodeCommand
{
    Q_OBJECT
public:
    // Attempts per line before the exchange gives up.
    static constexpr int kMaxAttempts = 3;
    // Longer lines overrun the node's receive buffer when written in one piece, so they go out byte by byte.
    static constexpr int kOnePieceMaxBytes = 16;

    // The pacing gives the pause between lines, the one after a refused line before it is tried again, and the
    // attempt limit: a node that keeps printing other lines keeps an attempt open, but not for ever, so a
    // babbling node cannot hold the link indefinitely. bytePauseMs follows each byte of a paced line.
    NodeWriteCommand(QSerialPort *port, const Pacing &pacing, int bytePauseMs);

    // Starts the exchange and returns Pending; the outcome comes with finished(), never from inside this call.
    // Without a port nothing is sent and the command finishes Failed/NoPort.
    CommandResult sendCommand() override;

    // Ends the exchange at once with Failed/Interrupted; nothing more is written. No effect once finished.
    void interrupt();
    // The port is going away: ends the exchange at once as unanswered (TimedOut).
    void abandonPort();
    bool isFinished() const { return m_phase == Phase::Finished; }
    // The steps whose line the node answered "Set", in the order they were written.
    QVector<int> acceptedSteps() const { return m_acceptedSteps; }

    // "Set <text>" anywhere in the line: Done. "FAILED <reason>": logged, Failed. Anything else: Pending.
    CommandResult parseReply(QString line) override;

signals:
    // Done: every line was accepted. TimedOut: a line went unanswered three times; later lines were not sent.
    // Failed: see the failure (the first one met, in line order).
    void finished(CommandResult result, CommandFailure failure);

protected:
    // Number of lines the command may write.
    virtual int stepCount() const = 0;
    // The line (carriage return included) of one step, built when the step begins; empty when its value cannot
    // be encoded, which skips the step without a pause and makes the command end Failed/InvalidValue.
    virtual QByteArray lineForStep(int step) = 0;

private:
    enum class Phase { Idle, BeforeLine, SendingBytes, AwaitingVerdict, BeforeRetry, Finished };

    void beginNextStep();
    void startAttempt();
    void sendNextByte();
    void awaitVerdict();
    void readVerdict();
    void endAttempt(CommandResult verdict);
    void onTimer();
    void finish(CommandResult result, CommandFailure failure);
    void noteFailure(CommandFailure failure);

    const int m_bytePauseMs;
    Phase m_phase = Phase::Idle;
    int m_step = -1;
    int m_attempt = 0;
    int m_nextByte = 0;
    QByteArray m_line;
    CommandFailure m_failure = CommandFailure::None;
    QVector<int> m_acceptedSteps;
    QTimer m_timer; // the pause, byte pace or reply window of the current phase
    QTimer m_attemptLimit;
    QMetaObject::Connection m_readyRead;
};
