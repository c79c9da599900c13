#pragma once

#include "commissioningsession.h"

#include <QString>

// What each state of a commissioning session means for the node at a station, said once for the window (the
// dot in a station's tab) and the command line (the node's report and the exit code).
class StationOutcome
{
public:
    // How a station is doing.
    enum class Mood { Idle, Busy, Good, Bad };

    struct Description
    {
        CommissioningSession::State state;
        Mood mood;
        // The node's run ends here: it went to sleep, or it failed.
        bool endsRun;
        // The command line's words for the failure when the state alone says it; empty when it needs more
        // (what was being done, the server's answer) or the state is no failure.
        const char *reason;
        // The node was read far enough to be named in its report.
        bool nodeNamed;

        bool isFailure() const { return mood == Mood::Bad; }
        // The command line's exit code for a node that ends in this state.
        int exitCode() const;
        QString reasonText() const { return reason ? QString::fromLatin1(reason) : QString(); }
    };

    static const Description &of(CommissioningSession::State state);
};
