#pragma once

#include <QMetaType>

// How a node command ended. The numbers travel in signals and logs and stay as they are.
enum class CommandResult : int {
    Pending = 0, // not finished yet (a parser: the line did not complete the answer)
    Failed = 1, // see CommandFailure for why
    Done = 2,
    TimedOut = 3, // the node stopped answering a written line
};

// Why a write ended Failed; None with Done and TimedOut.
enum class CommandFailure : int {
    None = 0,
    NoPort, // no serial port was open for the write; nothing was sent
    Refused, // the node answered FAILED to all attempts of a line
    InvalidValue, // a value could not be encoded, so its line was not sent
    Interrupted, // a disconnect or a new port ended the write; nothing more was sent for it
};

Q_DECLARE_METATYPE(CommandResult)
Q_DECLARE_METATYPE(CommandFailure)
