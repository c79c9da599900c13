#include "stationoutcome.h"

#include "commandexit.h"

namespace {
using State = CommissioningSession::State;
using Mood = StationOutcome::Mood;

// clang-format off
const StationOutcome::Description kDescriptions[] = {
    // state                     mood         ends   reason                                      named
    {State::WaitingForNode,      Mood::Idle,  false, nullptr,                                    false},
    {State::LoginNeeded,         Mood::Busy,  false, nullptr,                                    false},
    {State::LoggingIn,           Mood::Busy,  false, nullptr,                                    false},
    {State::Reading,             Mood::Busy,  false, nullptr,                                    false},
    {State::Writing,             Mood::Busy,  false, nullptr,                                    false},
    {State::Registering,         Mood::Busy,  false, nullptr,                                    false},
    {State::NodeShown,           Mood::Good,  false, nullptr,                                    true},
    {State::UpdateSucceeded,     Mood::Good,  false, nullptr,                                    true},
    {State::NodeSleeping,        Mood::Good,  true,  nullptr,                                    true},
    {State::ConnectTimedOut,     Mood::Bad,   true,  "the node's start-up read timed out",       false},
    {State::NotConfigured,       Mood::Bad,   true,  "node not configured",                      true},
    {State::ApplyFailed,         Mood::Bad,   true,  nullptr,                                    true},
    {State::ApplyTimedOut,       Mood::Bad,   true,  nullptr,                                    true},
    {State::FirmwareTooOld,      Mood::Bad,   true,  "firmware too old for the profile",         true},
    {State::KeyMismatch,         Mood::Bad,   true,  "the node key does not match the tool's",   false},
    {State::LoginFailed,         Mood::Bad,   true,  nullptr,                                    true},
    {State::PortUnavailable,     Mood::Bad,   true,  nullptr,                                    false},
    {State::PortReturnAwaited,   Mood::Busy,  false, nullptr,                                    false},
};
// clang-format on
} // namespace

int StationOutcome::Description::exitCode() const
{
    return isFailure() ? CommandExit::kFailed : CommandExit::kSuccess;
}

const StationOutcome::Description &StationOutcome::of(CommissioningSession::State state)
{
    for (const Description &description : kDescriptions) {
        if (description.state == state)
            return description;
    }
    return kDescriptions[0];
}
