#include "lotcharts.h"

#include "unitrecordtext.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QLineSeries>
#include <QValueAxis>

#include <algorithm>

using namespace QtCharts;

namespace {

// Longer reasons are cut so that the bars keep their room; the list under the chart shows them whole.
const int kLabelChars = 16;

QChart *emptyChart(const QString &title)
{
    auto *chart = new QChart;
    chart->setTitle(title);
    chart->legend()->hide();
    chart->setMargins(QMargins(4, 4, 4, 4));
    return chart;
}

QString shortened(const QString &text)
{
    return text.size() <= kLabelChars ? text : text.left(kLabelChars - 1) + QChar(0x2026);
}

// Label lines for a bar, in HTML: words go on lines of a narrow bar's width, broken after spaces and hyphens, so
// that "Firmware check" or "Firmware-Prüfung" take two narrow lines instead of being cut. The last of three lines
// takes the rest, shortened.
QString labelLines(const QString &text)
{
    const int kNarrow = 10;
    const int kLines = 3;
    QStringList words;
    QString word;
    for (const QChar c : text) {
        if (c != QLatin1Char(' '))
            word += c;
        if (c == QLatin1Char(' ') || c == QLatin1Char('-')) {
            words << word;
            word.clear();
        }
    }
    words << word;
    // A word too long for any line (a German compound) is hyphenated where the line ends.
    for (int index = 0; index < words.size(); ++index) {
        if (words.at(index).size() > kNarrow + 2) {
            const QString whole = words.at(index);
            words[index] = whole.left(kNarrow - 1) + QLatin1Char('-');
            words.insert(index + 1, whole.mid(kNarrow - 1));
        }
    }
    QStringList lines{QString()};
    for (const QString &next : qAsConst(words)) {
        if (next.isEmpty())
            continue;
        QString &line = lines.last();
        const QString gap = line.isEmpty() || line.endsWith(QLatin1Char('-')) ? QString() : QStringLiteral(" ");
        if (!line.isEmpty() && line.size() + gap.size() + next.size() > kNarrow && lines.size() < kLines)
            lines << next;
        else
            line += gap + next;
    }
    QStringList escaped;
    for (const QString &line : qAsConst(lines))
        escaped << shortened(line).toHtmlEscaped();
    return escaped.join(QStringLiteral("<br>"));
}

// A bar's label: the reason in the operator's words, which say which step it was ("label does not match"); a
// reason only the node or the server gave ("value out of range") with its step above it.
QString barLabel(const LotStatistics::Reason &reason)
{
    const QString words = UnitRecordText::reasonWords(reason.step, reason.reason);
    if (words.isEmpty())
        return labelLines(UnitRecordText::step(reason.step));
    if (words != reason.reason)
        return labelLines(words);
    return labelLines(UnitRecordText::step(reason.step)) + QStringLiteral("<br>") + labelLines(words);
}

} // namespace

QChart *LotCharts::pareto(const LotStatistics &statistics)
{
    QChart *chart = emptyChart(tr("Failure reasons"));
    auto *bars = new QBarSet(tr("Failed units"));
    auto *cumulative = new QLineSeries;
    cumulative->setName(tr("Cumulative share"));
    cumulative->setPointsVisible(true);
    QStringList categories;
    int highest = 0;
    const int barCount = std::min(int(statistics.pareto.size()), kBars);
    for (int bar = 0; bar < barCount; ++bar) {
        const QVector<int> reasons = reasonsOfBar(statistics, bar);
        int count = 0;
        for (int index : reasons)
            count += statistics.pareto.at(index).count();
        const LotStatistics::Reason &last = statistics.pareto.at(reasons.last());
        *bars << count;
        cumulative->append(bar, last.cumulativeShare * 100.0);
        categories << (reasons.size() > 1 ? labelLines(tr("Other reasons")) : barLabel(last));
        highest = std::max(highest, count);
    }
    auto *series = new QBarSeries;
    series->append(bars);
    chart->addSeries(series);
    chart->addSeries(cumulative);

    auto *reasons = new QBarCategoryAxis;
    QFont labels = reasons->labelsFont();
    labels.setPointSizeF(labels.pointSizeF() * 0.85);
    reasons->setLabelsFont(labels);
    reasons->append(categories.isEmpty() ? QStringList{tr("No failures")} : categories);
    chart->addAxis(reasons, Qt::AlignBottom);
    series->attachAxis(reasons);
    cumulative->attachAxis(reasons);
    auto *counts = new QValueAxis;
    counts->setRange(0, std::max(highest, 1));
    counts->setLabelFormat(QStringLiteral("%d"));
    counts->setTickCount(std::min(std::max(highest, 1), 5) + 1);
    if (highest > 5)
        counts->applyNiceNumbers();
    counts->setTitleText(tr("Units"));
    chart->addAxis(counts, Qt::AlignLeft);
    series->attachAxis(counts);
    auto *share = new QValueAxis;
    share->setRange(0, 100);
    share->setLabelFormat(QStringLiteral("%d %%"));
    chart->addAxis(share, Qt::AlignRight);
    cumulative->attachAxis(share);
    return chart;
}

QVector<int> LotCharts::reasonsOfBar(const LotStatistics &statistics, int bar)
{
    const int reasons = statistics.pareto.size();
    if (bar < 0 || bar >= std::min(reasons, kBars))
        return {};
    QVector<int> indices;
    const int last = bar == kBars - 1 ? reasons : bar + 1;
    for (int index = bar; index < last; ++index)
        indices.append(index);
    return indices;
}

QChart *LotCharts::perHour(const LotStatistics &statistics)
{
    QChart *chart = emptyChart(tr("Units per hour"));
    auto *line = new QLineSeries;
    line->setName(tr("Units"));
    line->setPointsVisible(true);
    const qint64 hour = 3600 * 1000;
    int highest = 0;
    // Each hour's count stands in the middle of its hour, between the ticks of its start and its end.
    for (const LotStatistics::HourBucket &bucket : statistics.perHour) {
        line->append(double(bucket.startMsecs + hour / 2), bucket.units);
        highest = std::max(highest, bucket.units);
    }
    chart->addSeries(line);

    auto *hours = new QDateTimeAxis;
    hours->setTitleText(tr("Hour"));
    const qint64 first = statistics.perHour.isEmpty() ? 0 : statistics.perHour.first().startMsecs;
    const qint64 end = statistics.perHour.isEmpty() ? hour : statistics.perHour.last().startMsecs + hour;
    const QDateTime from = QDateTime::fromMSecsSinceEpoch(first);
    const QDateTime to = QDateTime::fromMSecsSinceEpoch(end);
    hours->setRange(from, to);
    // A lot over more than a day says the day on its ticks.
    hours->setFormat(from.date() == to.addMSecs(-1).date() ? QStringLiteral("HH:mm") : QStringLiteral("MM-dd HH:mm"));
    // Ticks on whole hours, few enough for their times to fit side by side in a narrow chart.
    const qint64 span = (end - first) / hour;
    int steps = 1;
    for (int candidate = 4; candidate > 1; --candidate) {
        if (span % candidate == 0) {
            steps = candidate;
            break;
        }
    }
    hours->setTickCount(steps + 1);
    chart->addAxis(hours, Qt::AlignBottom);
    line->attachAxis(hours);
    auto *units = new QValueAxis;
    // Whole units on every tick: up to five ticks one apart, above that Qt's round steps.
    units->setRange(0, highest + 1);
    units->setLabelFormat(QStringLiteral("%d"));
    units->setTickCount(std::min(highest + 1, 5) + 1);
    if (highest + 1 > 5)
        units->applyNiceNumbers();
    units->setTitleText(tr("Units"));
    chart->addAxis(units, Qt::AlignLeft);
    line->attachAxis(units);
    return chart;
}
