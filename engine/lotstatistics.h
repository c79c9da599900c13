#pragma once

#include "unitrecord.h"

#include <QString>
#include <QVector>

// Which unit records a lot's figures are made of. Times are UTC milliseconds since the epoch, both ends included,
// and are compared with a record's start; 0 leaves that end open.
struct LotFilter
{
    bool allLots = false;
    QString lot; // the only lot counted unless allLots; empty selects the records made outside a lot
    qint64 sinceMsecs = 0;
    qint64 untilMsecs = 0;

    bool matches(const UnitRecord &record) const;
};

// What a production engineer asks of a lot at the end of a shift: how many units, how many passed, the first-pass
// yield, which failures came most often, how fast the bench went and how long a unit took. Built from unit
// records; every list of records holds indices into the vector the figures were computed from.
class LotStatistics
{
public:
    // One failure reason of the Pareto list: the step that failed first and its reason.
    struct Reason
    {
        QString step; // the failed step's kind name, "write"
        QString reason; // the journal's reason, "refused"; may be empty
        QVector<int> records;
        double cumulativeShare = 0; // of all failed records, this reason and every one before it, 0..1

        int count() const { return records.size(); }
    };

    // Records started in one clock hour (UTC) of the time the lot was worked on.
    struct HourBucket
    {
        qint64 startMsecs = 0;
        int units = 0;
    };

    static LotStatistics compute(const QVector<UnitRecord> &records, const LotFilter &filter);

    QVector<int> records; // the records counted, in the order given
    int units = 0; // records: every attempt counts
    int distinctUnits = 0; // identities; a record without one is a unit of its own
    int passed = 0;
    int failed = 0;
    int abandoned = 0;
    int open = 0; // not yet closed: counted apart from the abandoned
    int passedFirstTime = 0; // distinct units whose first attempt passed
    QVector<Reason> pareto; // most frequent first; equal counts by step and reason
    // Every hour from the first record's to the last one's, empty hours included, for a lot worked within four weeks;
    // over a wider span only the hours that had units.
    QVector<HourBucket> perHour;
    int timedUnits = 0; // closed records, of which the times below are made
    qint64 medianMsecs = 0;
    qint64 p95Msecs = 0; // nearest rank: the smallest time no more than 5 % of the units took longer than

    // Distinct units whose first attempt passed, of all distinct units, 0..1; 0 for no units.
    double firstPassYield() const { return distinctUnits > 0 ? double(passedFirstTime) / distinctUnits : 0.0; }
    // Records of failed units in the order they started.
    QVector<int> failedRecords(const QVector<UnitRecord> &all) const;
};
