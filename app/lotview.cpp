#include "lotview.h"

#include "lotcharts.h"
#include "ui_lotview.h"
#include "unitrecorddialog.h"
#include "unitrecordtext.h"

#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QHeaderView>
#include <QLocale>

using namespace QtCharts;

LotView::LotView(QWidget *parent)
    : QWidget(parent)
    , ui(new Ui::LotView)
    , paretoView(new QChartView)
    , perHourView(new QChartView)
{
    ui->setupUi(this);
    paretoView->setObjectName(QStringLiteral("paretoView"));
    perHourView->setObjectName(QStringLiteral("perHourView"));
    for (QChartView *view : {paretoView, perHourView}) {
        view->setRenderHint(QPainter::Antialiasing);
        view->setMinimumSize(240, 200);
        ui->chartsLayout->addWidget(view);
    }
    ui->unitsTable->verticalHeader()->hide();
    ui->unitsTable->horizontalHeader()->setStretchLastSection(true);
    ui->unitsTable->setColumnHidden(BenchColumn, true);
    // The Pareto chart gets the room its reasons' labels need.
    ui->chartsLayout->setStretch(0, 2);
    ui->chartsLayout->setStretch(1, 1);
    ui->lotSplitter->setStretchFactor(0, 3);
    ui->lotSplitter->setStretchFactor(1, 2);
    ui->lotSplitter->setSizes({3000, 2000});
    connect(ui->unitsTable, &QTableWidget::cellActivated, this, [this](int row, int) { openRecord(row); });
    setRecords({}, LotFilter());
}

LotView::~LotView()
{
    delete paretoView->chart();
    delete perHourView->chart();
    delete ui;
}

QChart *LotView::paretoChart() const
{
    return paretoView->chart();
}

QChart *LotView::perHourChart() const
{
    return perHourView->chart();
}

void LotView::replaceChart(QChartView *view, QChart *chart)
{
    // The view lets go of its chart without deleting it.
    QChart *previous = view->chart();
    view->setChart(chart);
    delete previous;
}

void LotView::setRecords(const QVector<UnitRecord> &all, const LotFilter &filter)
{
    records = all;
    figures = LotStatistics::compute(records, filter);
    const QLocale locale;
    ui->unitsValue->setText(locale.toString(figures.units));
    ui->distinctValue->setText(locale.toString(figures.distinctUnits));
    ui->passedValue->setText(locale.toString(figures.passed));
    ui->failedValue->setText(locale.toString(figures.failed));
    ui->abandonedValue->setText(locale.toString(figures.abandoned));
    ui->openValue->setText(locale.toString(figures.open));
    ui->yieldValue->setText(figures.distinctUnits > 0
            ? tr("%1 % (%2 of %3)")
                  .arg(locale.toString(figures.firstPassYield() * 100.0, 'f', 1),
                      locale.toString(figures.passedFirstTime), locale.toString(figures.distinctUnits))
            : tr("none"));
    const bool timed = figures.timedUnits > 0;
    ui->medianValue->setText(timed ? UnitRecordText::duration(figures.medianMsecs) : tr("none"));
    ui->p95Value->setText(timed ? UnitRecordText::duration(figures.p95Msecs) : tr("none"));

    QChart *pareto = LotCharts::pareto(figures);
    const auto *bars = qobject_cast<QBarSeries *>(pareto->series().value(0));
    if (bars && !bars->barSets().isEmpty())
        connect(bars->barSets().first(), &QBarSet::clicked, this, &LotView::listReason);
    replaceChart(paretoView, pareto);
    replaceChart(perHourView, LotCharts::perHour(figures));
    listReason(-1);
}

void LotView::listReason(int bar)
{
    const QVector<int> reasons = LotCharts::reasonsOfBar(figures, bar);
    if (!reasons.isEmpty()) {
        QVector<int> units;
        for (int index : reasons)
            units += figures.pareto.at(index).records;
        const LotStatistics::Reason &first = figures.pareto.at(reasons.first());
        const QString name
            = reasons.size() > 1 ? tr("Other reasons") : UnitRecordText::reason(first.step, first.reason);
        ui->unitsListLabel->setText(tr("%1: %n unit(s)", nullptr, units.size()).arg(name));
        listRecords(units);
        return;
    }
    const QVector<int> failedOnes = figures.failedRecords(records);
    ui->unitsListLabel->setText(
        tr("Failed units: %n (click a bar to see one reason's units)", nullptr, failedOnes.size()));
    listRecords(failedOnes);
}

void LotView::listRecords(const QVector<int> &recordIndices)
{
    listed = recordIndices;
    ui->unitsTable->clearContents();
    ui->unitsTable->setRowCount(listed.size());
    for (int row = 0; row < listed.size(); ++row) {
        const UnitRecord &record = records.at(listed.at(row));
        const QString cells[] = {record.identity.isEmpty() ? tr("unknown node") : record.identity, record.bench,
            QString::number(record.attempt), UnitRecordText::time(record.startMsecs),
            UnitRecordText::duration(record.durationMsecs()), UnitRecordText::outcome(record.outcome),
            UnitRecordText::reason(record.failureStep, record.failureReason)};
        for (int column = UnitColumn; column <= ReasonColumn; ++column)
            ui->unitsTable->setItem(row, column, new QTableWidgetItem(cells[column]));
    }
    ui->unitsTable->resizeColumnsToContents();
    // Sizing the columns takes the stretch from the last one; setting it again gives it the rest of the width.
    ui->unitsTable->horizontalHeader()->setStretchLastSection(false);
    ui->unitsTable->horizontalHeader()->setStretchLastSection(true);
}

void LotView::setBenchShown(bool shown)
{
    ui->unitsTable->setColumnHidden(BenchColumn, !shown);
}

void LotView::openRecord(int row)
{
    if (row < 0 || row >= listed.size())
        return;
    auto *dialog = new UnitRecordDialog(records.at(listed.at(row)), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}
