#pragma once

#include <QTest>

// A data table of one bool column with a row for each value, for tests that run once each way.
inline void addBoolRows(const char *column, const char *whenFalse, const char *whenTrue)
{
    QTest::addColumn<bool>(column);
    QTest::newRow(whenFalse) << false;
    QTest::newRow(whenTrue) << true;
}
