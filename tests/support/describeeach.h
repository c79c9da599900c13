#pragma once

#include <QStringList>

// One line for each item, in order, so that a whole list of results can be compared at once and a failure
// shows every line that differs.
template <typename Container, typename Describe> QStringList describeEach(const Container &items, Describe describe)
{
    QStringList lines;
    for (const auto &item : items)
        lines << describe(item);
    return lines;
}
