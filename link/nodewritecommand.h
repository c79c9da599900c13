#pragma once

#include "nodecommand.h"

#include <QByteArray>

// Shared part of the three write commands: the line exchange with up to three attempts and the
// "Set"/"FAILED" reply parser.
class NodeWriteCommand : public NodeCommand
{
    Q_OBJECT
public:
    // Attempts per line before the exchange gives up.
    static constexpr int kMaxAttempts = 3;
    // The node needs a moment between lines; it also gets one after refusing a line before we try again.
    static constexpr unsigned long kLinePauseMs = 500;
    static constexpr unsigned long kRetryAfterFailedMs = 500;
    // Longer lines overrun the node's receive buffer when written in one piece, so they go out byte by byte.
    static constexpr int kOnePieceMaxBytes = 16;
    // Pause after each byte of a paced line.
    static constexpr unsigned long kSettingsBytePauseMs = 1;
    static constexpr unsigned long kIdentityBytePauseMs = 5;
    // A node that keeps printing other lines keeps an attempt open, but not for ever: past this limit the
    // attempt ends as unanswered, so a babbling node cannot hold the link thread indefinitely.
    static constexpr qint64 kAttemptLimitMs = 30000;

    explicit NodeWriteCommand(QSerialPort *port);

    // "Set <text>" anywhere in the line: ResultDone. "FAILED <reason>": logged, ResultFailed. Else ResultPending.
    int parseReply(QString line) override;

    // Tests shorten the attempt limit to exercise it without waiting half a minute per attempt.
    void setAttemptLimitForTesting(qint64 ms) { m_attemptLimitMs = ms; }

protected:
    // Sends one line (terminator included) and waits for the node's verdict, up to kMaxAttempts times.
    // Returns ResultDone, or the last attempt's ResultFailed (refused) or ResultPending (no answer).
    int exchangeLine(const QByteArray &line, unsigned long bytePauseMs);

    // The pause that precedes every written line.
    static void pauseBeforeLine();

    // What a single-line write reports: silence becomes ResultTimedOut, a refusal stays ResultFailed.
    static int commandResult(int exchangeOutcome);

private:
    void writeLine(const QByteArray &line, unsigned long bytePauseMs);
    int awaitVerdict();

    qint64 m_attemptLimitMs = kAttemptLimitMs;
};
