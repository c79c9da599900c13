#pragma once

#include <QtGlobal>

// Every pause and time-out the tool keeps when it talks to a node, to the registration server and to its
// outbox, in one value. The defaults are the ones the nodes and the server are built for; the program never
// changes them. A test that is not about pacing may run on a scaled copy, so that it does not wait out the
// node's real pauses.
struct Pacing
{
    // Node line protocol.
    int wakePauseMs = 500; // after the carriage return that wakes the node's command line
    int beforeRequestMs = 500; // before a queued request (a read after the configuration, a write, a version read)
    int beforeResetMs = 2000; // before "reset", so that the node has finished what it was doing
    int holdAfterReadMs = 1000; // a read command's answer is left in the port this long before it is read
    qint64 replyWindowMs = 5000; // how long a command waits for its answer before it counts as unanswered
    int linePauseMs = 500; // between the lines of a write
    int retryAfterFailedMs = 500; // before a line the node answered "FAILED" to is sent again
    int settingsBytePauseMs = 1; // between the bytes of a settings line
    int identityBytePauseMs = 5; // between the bytes of an identifier or SigFox data line
    qint64 attemptLimitMs = 30000; // a write gives up when it has not finished in this time

    // Commissioning workflow.
    int connectTimeoutMs = 30000; // from a node's boot banner to its complete configuration
    int portWatchIntervalMs = 1000; // how often a port that went away is looked for
    int returnedPortBootGraceMs = 3000; // a returned port whose node is not heard booting is reset after this

    // Registration server and outbox.
    int serverTimeoutMs = 30000; // one login or registration request
    qint64 outboxFirstRetryMs = 5000; // the first back-off of a registration the server did not take
    qint64 outboxLongestRetryMs = 5 * 60 * 1000; // the back-off doubles up to this

    // Command line: how long a node in progress is waited for before its run is ended with a reason.
    // The sleep command's reply window plus the pause after sending, with room to spare: a node that has not
    // confirmed its sleep by then never will.
    int sleepConfirmMs = 15000;
    // A node whose port went away waits this long for the answer of its write or registration under way: a
    // registration's within two of the server's time-outs (login and request).
    int portLostGraceMs = 70000;
    // A node that acknowledged its write restarts within a few seconds once reset, and then the start-up
    // time-out takes over; one that never prints its banner would otherwise hold the run for ever.
    int restartAfterWriteMs = 40000;

    // A copy with every pause and time-out multiplied by factor, except what the node needs at any speed: the
    // byte pauses (its receive buffer) and a reply window that an answer on a busy machine still meets.
    Pacing scaled(double factor) const;

    // The reply window of a scaled copy stays at least this long: a window shorter than the time a loaded
    // machine takes to pass an answer along would count answers in time as missing.
    static constexpr qint64 kShortestReplyWindowMs = 1000;
};
