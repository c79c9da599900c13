#pragma once

#include "lotstatistics.h"

#include <QWidget>

namespace QtCharts {
class QChart;
class QChartView;
} // namespace QtCharts

namespace Ui {
class LotView;
}

// A lot at a glance: its counts and first-pass yield, the failure reasons as a Pareto chart, the units per hour
// and the time per unit. Clicking a bar lists the units that failed for that reason; a unit (double-click or Enter)
// opens its record.
class LotView : public QWidget
{
    Q_OBJECT
public:
    enum Column { UnitColumn, BenchColumn, AttemptColumn, StartedColumn, TimeColumn, OutcomeColumn, ReasonColumn };

    explicit LotView(QWidget *parent = nullptr);
    ~LotView() override;

    // The bench of each unit listed: shown for the records of several benches only.
    void setBenchShown(bool shown);
    // Counts the records the filter lets through and fills the figures and charts.
    void setRecords(const QVector<UnitRecord> &records, const LotFilter &filter);

    const LotStatistics &statistics() const { return figures; }
    QtCharts::QChart *paretoChart() const;
    QtCharts::QChart *perHourChart() const;
    // The records listed under the charts, as indices into the records given.
    const QVector<int> &listedRecords() const { return listed; }

public slots:
    // Lists the units of the Pareto chart's bar; -1 lists every failed unit.
    void listReason(int bar);
    // Opens the record of the listed unit in row.
    void openRecord(int row);

private:
    void replaceChart(QtCharts::QChartView *view, QtCharts::QChart *chart);
    void listRecords(const QVector<int> &recordIndices);

    Ui::LotView *ui;
    QtCharts::QChartView *paretoView;
    QtCharts::QChartView *perHourView;
    QVector<UnitRecord> records;
    LotStatistics figures;
    QVector<int> listed;
};
