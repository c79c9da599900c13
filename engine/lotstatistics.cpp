#include "lotstatistics.h"

#include <QHash>
#include <QMap>

#include <algorithm>
#include <cmath>
#include <tuple>

namespace {

const qint64 kHourMsecs = 3600 * 1000;
// Up to four weeks of a lot's hours are listed whole, empty ones included; a lot spread wider (or a record with a
// clock far off) lists only the hours that had units, so that one wild time cannot make millions of buckets.
const qint64 kMaxDenseHours = 28 * 24;

// The place of a step in a unit's order, for equal counts in the Pareto list; a name not known goes last.
int stepRank(const QString &name)
{
    using Kind = UnitRecord::Step::Kind;
    for (int kind = int(Kind::Read); kind <= int(Kind::Sleep); ++kind) {
        if (name == UnitRecord::Step::kindName(Kind(kind)))
            return kind;
    }
    return int(Kind::Sleep) + 1;
}

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
    // identity -> its first attempt among the records counted: when it started, and whether it passed. A unit
    // commissioned before in another lot or outside the dates chosen starts afresh here.
    QHash<QString, QPair<qint64, bool>> firstAttemptOf;
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
        const bool passed = record.outcome == UnitRecord::Outcome::Passed;
        if (record.identity.isEmpty()) {
            ++statistics.distinctUnits;
            statistics.passedFirstTime += passed ? 1 : 0;
        } else {
            const auto first = firstAttemptOf.find(record.identity);
            if (first == firstAttemptOf.end())
                firstAttemptOf.insert(record.identity, qMakePair(record.startMsecs, passed));
            else if (record.startMsecs < first->first)
                *first = qMakePair(record.startMsecs, passed);
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
    statistics.distinctUnits += firstAttemptOf.size();
    for (auto it = firstAttemptOf.cbegin(); it != firstAttemptOf.cend(); ++it)
        statistics.passedFirstTime += it.value().second ? 1 : 0;

    std::sort(statistics.pareto.begin(), statistics.pareto.end(), [](const Reason &a, const Reason &b) {
        return std::make_tuple(-a.count(), stepRank(a.step), a.reason)
            < std::make_tuple(-b.count(), stepRank(b.step), b.reason);
    });
    int cumulative = 0;
    for (Reason &reason : statistics.pareto) {
        cumulative += reason.count();
        reason.cumulativeShare = double(cumulative) / statistics.failed;
    }

    if (statistics.units > 0) {
        const qint64 firstHour = hourOf(firstStart);
        const qint64 hours = (hourOf(lastStart) - firstHour) / kHourMsecs + 1;
        if (hours <= kMaxDenseHours) {
            statistics.perHour.resize(int(hours));
            for (int hour = 0; hour < statistics.perHour.size(); ++hour)
                statistics.perHour[hour].startMsecs = firstHour + hour * kHourMsecs;
            for (int index : qAsConst(statistics.records))
                ++statistics.perHour[int((all.at(index).startMsecs - firstHour) / kHourMsecs)].units;
        } else {
            QMap<qint64, int> unitsOfHour;
            for (int index : qAsConst(statistics.records))
                ++unitsOfHour[hourOf(all.at(index).startMsecs)];
            for (auto it = unitsOfHour.cbegin(); it != unitsOfHour.cend(); ++it)
                statistics.perHour.append(HourBucket{it.key(), it.value()});
        }
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
