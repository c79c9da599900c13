#pragma once

#include <QString>

#include <algorithm>
#include <cstdio>

// What every bench does with its runs: the figure of a series is its median, so one slow run (a busy machine)
// does not move it.
template <class Values> typename Values::value_type median(Values values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Says on stderr, under the bench's name, why it gives no figures; the exit code that goes with that.
inline int benchFailure(const char *bench, const QString &message)
{
    std::fprintf(stderr, "%s: %s\n", bench, qPrintable(message));
    return 1;
}
