#pragma once

#include "commandresult.h"

#include <QByteArray>

// Readable values in QCOMPARE failure output; QtTest finds these by argument-dependent lookup.
inline char *toString(CommandResult result)
{
    static const char *const names[] = {"Pending", "Failed", "Done", "TimedOut"};
    const int index = int(result);
    return qstrdup(index >= 0 && index < 4 ? names[index] : "?");
}

inline char *toString(CommandFailure failure)
{
    static const char *const names[] = {"None", "NoPort", "Refused", "InvalidValue", "Interrupted"};
    const int index = int(failure);
    return qstrdup(index >= 0 && index < 5 ? names[index] : "?");
}
