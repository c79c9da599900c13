#include "lotreport.h"

#include "lotcharts.h"
#include "unitrecordtext.h"

#include <QAbstractAxis>
#include <QBuffer>
#include <QChart>
#include <QFile>
#include <QGraphicsScene>
#include <QLocale>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

#include <memory>

using namespace QtCharts;

namespace {

// Device units per inch: the page is laid out in these, on an A4 page of about 794 × 1123.
const int kResolution = 96;
const int kMargin = 48;

void drawChart(QPainter &painter, QChart *chart, const QRectF &target)
{
    QGraphicsScene scene;
    scene.addItem(chart); // the scene deletes the chart
    chart->resize(target.size());
    scene.setSceneRect(QRectF(QPointF(0, 0), target.size()));
    scene.render(&painter, target, scene.sceneRect());
}

} // namespace

bool LotReport::write(const QString &filePath, const QString &lot, const QVector<UnitRecord> &records,
    const LotStatistics &statistics, QString *error)
{
    // Written beside and renamed into place: a report that fails half-way leaves an earlier one as it was.
    QSaveFile file(filePath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        *error = file.errorString();
        return false;
    }
    // Made in memory and written at once: a full disk takes part of a write without a word, which only a
    // comparison of the sizes catches.
    QBuffer pdf;
    pdf.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&pdf);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setResolution(kResolution);
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        writer.setTitle(tr("Lot report %1").arg(lot));
        writer.setCreator(QCoreApplication::applicationName());
        QPainter painter;
        if (!painter.begin(&writer)) {
            *error = tr("the PDF could not be started");
            file.cancelWriting();
            return false;
        }
        const QLocale locale;
        const int width = writer.width() - 2 * kMargin;
        const int bottom = writer.height() - kMargin;
        int y = kMargin;

        QFont heading = painter.font();
        heading.setPointSizeF(16);
        heading.setBold(true);
        QFont body = painter.font();
        body.setPointSizeF(9.5);
        QFont bold = body;
        bold.setBold(true);

        const auto line = [&](const QString &text, const QFont &font, int indent = 0) {
            painter.setFont(font);
            const QFontMetrics metrics(font, &writer);
            painter.drawText(QRect(kMargin + indent, y, width - indent, metrics.height()), Qt::AlignLeft,
                metrics.elidedText(text, Qt::ElideRight, width - indent));
            y += metrics.height() + 2;
        };

        line(tr("Lot report: %1").arg(lot), heading);
        qint64 first = 0;
        qint64 last = 0;
        for (int index : statistics.records) {
            const UnitRecord &record = records.at(index);
            first = first == 0 ? record.startMsecs : std::min(first, record.startMsecs);
            last = std::max(last, std::max(record.startMsecs, record.endMsecs));
        }
        line(tr("From %1 to %2 (UTC)").arg(UnitRecordText::time(first), UnitRecordText::time(last)), body);
        y += 8;
        // Two lines: six figures of six digits, or German words, do not fit one.
        line(tr("Units: %1 (%2 distinct)")
                 .arg(locale.toString(statistics.units), locale.toString(statistics.distinctUnits)),
            bold);
        line(tr("Passed: %1   Failed: %2   Abandoned: %3   Still open: %4")
                 .arg(locale.toString(statistics.passed), locale.toString(statistics.failed),
                     locale.toString(statistics.abandoned), locale.toString(statistics.open)),
            bold);
        line(tr("First-pass yield: %1 % (%2 of %3 units passed at their first attempt)")
                 .arg(locale.toString(statistics.firstPassYield() * 100.0, 'f', 1),
                     locale.toString(statistics.passedFirstTime), locale.toString(statistics.distinctUnits)),
            bold);
        line(statistics.timedUnits > 0 ? tr(
                 "Time per unit: median %1, 95th percentile %2 (of %n closed unit(s))", nullptr, statistics.timedUnits)
                                             .arg(UnitRecordText::duration(statistics.medianMsecs),
                                                 UnitRecordText::duration(statistics.p95Msecs))
                                       : tr("Time per unit: no closed units"),
            body);
        y += 8;

        const int chartHeight = 300;
        // The page is narrower than the window's chart: the reasons under six bars take a smaller font to keep
        // their lines whole.
        QChart *pareto = LotCharts::pareto(statistics);
        for (QAbstractAxis *axis : pareto->axes(Qt::Horizontal)) {
            QFont font = axis->labelsFont();
            font.setPointSizeF(font.pointSizeF() * 0.8);
            axis->setLabelsFont(font);
        }
        drawChart(painter, pareto, QRectF(kMargin, y, width, chartHeight));
        y += chartHeight + 6;
        drawChart(painter, LotCharts::perHour(statistics), QRectF(kMargin, y, width, chartHeight * 2 / 3));
        y += chartHeight * 2 / 3 + 10;

        const QVector<int> failedOnes = statistics.failedRecords(records);
        line(tr("Failed units: %n", nullptr, failedOnes.size()), bold);
        const QFontMetrics metrics(body, &writer);
        const int rowHeight = metrics.height() + 2;
        const QString headings[] = {tr("Unit"), tr("Attempt"), tr("Started"), tr("Reason")};
        const int gap = 14;
        // Headings are bold: the columns are as wide as the wider of a heading and the values under it.
        const QFontMetrics headingMetrics(bold, &writer);
        int columns[4] = {0};
        columns[1] = std::max(metrics.horizontalAdvance(QStringLiteral("70B3D57E00000000")),
                         headingMetrics.horizontalAdvance(headings[0]))
            + gap;
        columns[2] = columns[1] + headingMetrics.horizontalAdvance(headings[1]) + gap;
        columns[3] = columns[2]
            + std::max(metrics.horizontalAdvance(QStringLiteral("2026-12-08 00:00:00")),
                headingMetrics.horizontalAdvance(headings[2]))
            + gap;
        const auto tableRow = [&](const QString(&cells)[4], const QFont &font) {
            painter.setFont(font);
            const QFontMetrics rowMetrics(font, &writer);
            for (int column = 0; column < 4; ++column) {
                const int left = kMargin + 8 + columns[column];
                const int right = column < 3 ? kMargin + 8 + columns[column + 1] - gap / 2 : kMargin + width;
                painter.drawText(QRect(left, y, right - left, rowHeight), Qt::AlignLeft,
                    rowMetrics.elidedText(cells[column], Qt::ElideRight, right - left));
            }
            y += rowHeight;
        };
        if (!failedOnes.isEmpty())
            tableRow(headings, bold);
        for (int row = 0; row < failedOnes.size(); ++row) {
            // The last line that fits says how many more there are rather than running off the page.
            if (y + 2 * rowHeight > bottom && row + 1 < failedOnes.size()) {
                line(tr("… and %n more", nullptr, failedOnes.size() - row), body, 8);
                break;
            }
            const UnitRecord &record = records.at(failedOnes.at(row));
            const QString cells[] = {record.identity.isEmpty() ? tr("unknown node") : record.identity,
                QString::number(record.attempt), UnitRecordText::time(record.startMsecs),
                UnitRecordText::reason(record.failureStep, record.failureReason)};
            tableRow(cells, body);
        }
        if (!painter.end()) {
            *error = tr("the PDF could not be finished");
            file.cancelWriting();
            return false;
        }
    }
    if (file.write(pdf.data()) != pdf.data().size()) {
        *error = tr("the report could not be written in full (is the disk full?)");
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}
