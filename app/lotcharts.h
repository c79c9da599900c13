#pragma once

#include "lotstatistics.h"

#include <QCoreApplication>

namespace QtCharts {
class QChart;
}

// The lot's two charts, for the lot view and the lot report alike: the failure reasons as a Pareto chart (a bar
// per reason, most frequent first, with the cumulative share as a line) and the units started per hour.
class LotCharts
{
    Q_DECLARE_TR_FUNCTIONS(LotCharts)
public:
    // At most this many bars: the reasons after the first kBars - 1 share the last bar, "Other reasons".
    static constexpr int kBars = 6;

    // The caller owns the charts. The Pareto chart's bar series is its first series, with one bar per reason of
    // statistics.pareto up to kBars.
    static QtCharts::QChart *pareto(const LotStatistics &statistics);
    // The indices into statistics.pareto that the bar at bar stands for.
    static QVector<int> reasonsOfBar(const LotStatistics &statistics, int bar);
    static QtCharts::QChart *perHour(const LotStatistics &statistics);
};
