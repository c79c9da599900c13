#include "lotstatistics.h"

#include <QHash>

#include <algorithm>
#include <cmath>
#include <tuple>

namespace {

const qint64 kHourMsecs = 3600 * 1000;

qint64 hourOf(qint64 msecs)
{
    return msecs - ((msecs % kHourMsecs) + kHourMsecs) % kHourMsecs;
}

} // namespace

bool LotFilter::matches(const UnitRecord &record) const
{
    if (!allLots && record.lot != lot)
        return false;
    if (sinceMsecs != 0 && record.startMsecs < sinceMsecs)
        return false;
    return untilMsecs == 0 || record.startMsecs <= untilMsecs;
}

LotStatistics LotStatistics::compute(const QVector<UnitRecord> &all, const LotFilter &filter)
{
    LotStatistics statistics;
    QHash<QString, bool> firstPassOf; // identity -> whether its first attempt passed
    QHash<QPair<QString, QString>, int> reasonIndex;
    QVector<qint64> durations;
    qint64 firstStart = 0;
    qint64 lastStart = 0;
    for (int index = 0; index < all.size(); ++index) {
        const UnitRecord &record = all.at(index);
        if (!filter.matches(record))
            continue;
        statistics.records.append(index);
        if (statistics.records.size() == 1 || record.startMsecs < firstStart)
            firstStart = record.startMsecs;
        if (statistics.records.size() == 1 || record.startMsecs > lastStart)
            lastStart = record.startMsecs;
        if (record.identity.isEmpty()) {
            ++statistics.distinctUnits;
            statistics.passedFirstTime += record.passedFirstTime() ? 1 : 0;
        } else {
            bool &firstPassed = firstPassOf[record.identity];
            firstPassed = firstPassed || record.passedFirstTime();
        }
        switch (record.outcome) {
        case UnitRecord::Outcome::Passed:
            ++statistics.passed;
            break;
        case UnitRecord::Outcome::Failed: {
            ++statistics.failed;
            const QPair<QString, QString> key(record.failureStep, record.failureReason);
            auto found = reasonIndex.find(key);
            if (found == reasonIndex.end()) {
                found = reasonIndex.insert(key, statistics.pareto.size());
                Reason reason;
                reason.step = record.failureStep;
                reason.reason = record.failureReason;
                statistics.pareto.append(reason);
            }
            statistics.pareto[*found].records.append(index);
            break;
        }
        case UnitRecord::Outcome::Abandoned:
            ++statistics.abandoned;
            break;
        case UnitRecord::Outcome::Open:
            ++statistics.open;
            break;
        }
        if (record.outcome != UnitRecord::Outcome::Open)
            durations.append(record.durationMsecs());
    }
    statistics.units = statistics.records.size();
    statistics.distinctUnits += firstPassOf.size();
    for (auto it = firstPassOf.cbegin(); it != firstPassOf.cend(); ++it)
        statistics.passedFirstTime += it.value() ? 1 : 0;

    std::sort(statistics.pareto.begin(), statistics.pareto.end(), [](const Reason &a, const Reason &b) {
        return std::make_tuple(-a.count(), a.step, a.reason) < std::make_tuple(-b.count(), b.step, b.reason);
    });
    int cumulative = 0;
    for (Reason &reason : statistics.pareto) {
        cumulative += reason.count();
        reason.cumulativeShare = double(cumulative) / statistics.failed;
    }

    if (statistics.units > 0) {
        const qint64 firstHour = hourOf(firstStart);
        statistics.perHour.resize(int((hourOf(lastStart) - firstHour) / kHourMsecs) + 1);
        for (int hour = 0; hour < statistics.perHour.size(); ++hour)
            statistics.perHour[hour].startMsecs = firstHour + hour * kHourMsecs;
        for (int index : qAsConst(statistics.records))
            ++statistics.perHour[int((all.at(index).startMsecs - firstHour) / kHourMsecs)].units;
    }

    statistics.timedUnits = durations.size();
    if (!durations.isEmpty()) {
        std::sort(durations.begin(), durations.end());
        const int count = durations.size();
        statistics.medianMsecs
            = count % 2 == 1 ? durations.at(count / 2) : (durations.at(count / 2 - 1) + durations.at(count / 2)) / 2;
        const int rank = int(std::ceil(0.95 * count));
        statistics.p95Msecs = durations.at(std::max(rank, 1) - 1);
    }
    return statistics;
}

QVector<int> LotStatistics::failedRecords(const QVector<UnitRecord> &all) const
{
    QVector<int> failedOnes;
    for (int index : records) {
        if (all.at(index).outcome == UnitRecord::Outcome::Failed)
            failedOnes.append(index);
    }
    std::stable_sort(failedOnes.begin(), failedOnes.end(),
        [&all](int a, int b) { return all.at(a).startMsecs < all.at(b).startMsecs; });
    return failedOnes;
}
