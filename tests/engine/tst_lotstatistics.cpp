#include "lotstatistics.h"
#include "unitrecordbuilders.h"

#include <QTest>

using UnitRecordBuilders::at;
using UnitRecordBuilders::parsed;

class LotStatisticsTest : public QObject
{
    Q_OBJECT

private slots:
    void counts_data();
    void counts();
    void pareto_data();
    void pareto();
    void timePerUnit_data();
    void timePerUnit();
    void timeRange_data();
    void timeRange();
    void unitsPerHour_data();
    void unitsPerHour();
};

void LotStatisticsTest::counts_data()
{
    QTest::addColumn<QStringList>("records");
    QTest::addColumn<QString>("lot");
    // units distinct passed failed abandoned open firstPassed
    QTest::addColumn<QList<int>>("expected");

    QTest::newRow("empty lot") << QStringList() << "L7" << QList<int>{0, 0, 0, 0, 0, 0, 0};
    QTest::newRow("one of each") << QStringList{"A passed 1 0 60", "B failed 1 2 30 write/refused",
        "C abandoned 1 4 10", "D open 1 6 0"}
                                 << "L7" << QList<int>{4, 4, 1, 1, 1, 1, 1};
    QTest::newRow("passed at the second attempt is no first pass")
        << QStringList{"A failed 1 0 30 verification/mismatch", "A passed 2 5 60", "B passed 1 8 60"} << "L7"
        << QList<int>{3, 2, 2, 1, 0, 0, 1};
    QTest::newRow("a first pass stays one when the unit comes again") << QStringList{"A passed 1 0 60",
        "A failed 2 5 30 labelCheck/mismatch"} << "L7" << QList<int>{2, 1, 1, 1, 0, 0, 1};
    QTest::newRow("a unit commissioned before in another lot starts afresh")
        << QStringList{"A failed 1 0 30 write/refused L6", "A passed 2 5 60", "B passed 1 8 60"} << "L7"
        << QList<int>{2, 2, 2, 0, 0, 0, 2};
    QTest::newRow("other lots are not counted")
        << QStringList{"A passed 1 0 60", "B passed 1 2 60 - L8", "C failed 1 4 60 write/refused L8"} << "L7"
        << QList<int>{1, 1, 1, 0, 0, 0, 1};
    QTest::newRow("a lot nobody worked on")
        << QStringList{"A passed 1 0 60"} << "L9" << QList<int>{0, 0, 0, 0, 0, 0, 0};
    QTest::newRow("nodes without identity are units of their own")
        << QStringList{"- passed 1 0 60", "- failed 1 2 60 read/unreadable", "- passed 1 3 60"} << "L7"
        << QList<int>{3, 3, 2, 1, 0, 0, 2};
}

void LotStatisticsTest::counts()
{
    QFETCH(QStringList, records);
    QFETCH(QString, lot);
    QFETCH(QList<int>, expected);
    LotFilter filter;
    filter.lot = lot;
    const LotStatistics statistics = LotStatistics::compute(parsed(records), filter);
    const QList<int> actual = {statistics.units, statistics.distinctUnits, statistics.passed, statistics.failed,
        statistics.abandoned, statistics.open, statistics.passedFirstTime};
    QCOMPARE(actual, expected);
    const double yield = expected.at(1) > 0 ? double(expected.at(6)) / expected.at(1) : 0.0;
    QCOMPARE(statistics.firstPassYield(), yield);
}

void LotStatisticsTest::pareto_data()
{
    QTest::addColumn<QStringList>("records");
    QTest::addColumn<QStringList>("reasons"); // step/reason=count, most frequent first
    QTest::addColumn<QList<double>>("shares");

    QTest::newRow("no failures") << QStringList{"A passed 1 0 60", "B abandoned 1 1 5"} << QStringList()
                                 << QList<double>();
    QTest::newRow("most frequent first") << QStringList{"A failed 1 0 30 labelCheck/mismatch",
        "B failed 1 1 30 write/refused", "C failed 1 2 30 write/refused", "D failed 1 3 30 write/refused",
        "E failed 1 4 30 labelCheck/mismatch", "F failed 1 5 30 firmwareGate/firmwareTooOld",
        "G passed 1 6 60"} << QStringList{"write/refused=3", "labelCheck/mismatch=2", "firmwareGate/firmwareTooOld=1"}
                                         << QList<double>{0.5, 5.0 / 6, 1.0};
    QTest::newRow("equal counts in the order of the steps, then by reason")
        << QStringList{"A failed 1 0 30 write/timeout", "B failed 1 1 30 verification/mismatch",
               "C failed 1 2 30 write/refused", "D failed 1 3 30 registration/refused"}
        << QStringList{"write/refused=1", "write/timeout=1", "verification/mismatch=1", "registration/refused=1"}
        << QList<double>{0.25, 0.5, 0.75, 1.0};
    QTest::newRow("the same reason at another step is another bar")
        << QStringList{"A failed 1 0 30 verification/mismatch", "B failed 1 1 30 labelCheck/mismatch",
               "C failed 1 2 30 labelCheck/mismatch"}
        << QStringList{"labelCheck/mismatch=2", "verification/mismatch=1"} << QList<double>{2.0 / 3, 1.0};
}

void LotStatisticsTest::pareto()
{
    QFETCH(QStringList, records);
    LotFilter filter;
    filter.lot = QStringLiteral("L7");
    const QVector<UnitRecord> all = parsed(records);
    const LotStatistics statistics = LotStatistics::compute(all, filter);
    QStringList reasons;
    for (const LotStatistics::Reason &reason : statistics.pareto) {
        reasons << QStringLiteral("%1/%2=%3").arg(reason.step, reason.reason).arg(reason.count());
        // Each bar lists exactly the records that failed for its reason.
        for (int index : reason.records) {
            QCOMPARE(all.at(index).failureStep, reason.step);
            QCOMPARE(all.at(index).failureReason, reason.reason);
        }
    }
    QTEST(reasons, "reasons");
    QFETCH(QList<double>, shares);
    QCOMPARE(shares.size(), statistics.pareto.size());
    for (int index = 0; index < shares.size(); ++index)
        QVERIFY2(qFuzzyCompare(shares.at(index), statistics.pareto.at(index).cumulativeShare),
            qPrintable(QString::number(statistics.pareto.at(index).cumulativeShare)));
}

void LotStatisticsTest::timePerUnit_data()
{
    QTest::addColumn<QStringList>("records");
    QTest::addColumn<int>("timed");
    QTest::addColumn<qint64>("medianMsecs");
    QTest::addColumn<qint64>("p95Seconds");

    QTest::newRow("none") << QStringList() << 0 << qint64(0) << qint64(0);
    QTest::newRow("one") << QStringList{"A passed 1 0 42"} << 1 << qint64(42000) << qint64(42);
    QTest::newRow("odd count") << QStringList{"A passed 1 0 50", "B failed 1 1 10 write/refused", "C passed 1 2 30"}
                               << 3 << qint64(30000) << qint64(50);
    QTest::newRow("even count: the middle two's mean")
        << QStringList{"A passed 1 0 40", "B passed 1 1 10", "C passed 1 2 30", "D abandoned 1 3 20"} << 4
        << qint64(25000) << qint64(40);
    QTest::newRow("open records are not timed")
        << QStringList{"A passed 1 0 40", "B open 1 1 0", "C passed 1 2 60"} << 2 << qint64(50000) << qint64(60);
    // Twenty units of 1..20 s: the 95th percentile is the 19th, the one only the slowest unit exceeds.
    QStringList twenty;
    for (int second = 1; second <= 20; ++second)
        twenty << QStringLiteral("U%1 passed 1 %1 %1").arg(second);
    QTest::newRow("twenty units") << twenty << 20 << qint64(10500) << qint64(19);
    QStringList twentyOne = twenty;
    twentyOne << QStringLiteral("U21 passed 1 21 21");
    QTest::newRow("twenty-one units") << twentyOne << 21 << qint64(11000) << qint64(20);
}

void LotStatisticsTest::timePerUnit()
{
    QFETCH(QStringList, records);
    QFETCH(qint64, medianMsecs);
    QFETCH(qint64, p95Seconds);
    LotFilter filter;
    filter.lot = QStringLiteral("L7");
    const LotStatistics statistics = LotStatistics::compute(parsed(records), filter);
    QTEST(statistics.timedUnits, "timed");
    QCOMPARE(statistics.medianMsecs, medianMsecs);
    QCOMPARE(statistics.p95Msecs, p95Seconds * 1000);
}

void LotStatisticsTest::timeRange_data()
{
    QTest::addColumn<qint64>("since");
    QTest::addColumn<qint64>("until");
    QTest::addColumn<bool>("allLots");
    QTest::addColumn<QStringList>("identities");

    QTest::newRow("open ends") << qint64(0) << qint64(0) << false << QStringList{"A", "B", "C"};
    QTest::newRow("since, inclusive") << at(9, 0) << qint64(0) << false << QStringList{"B", "C"};
    QTest::newRow("until, inclusive") << qint64(0) << at(9, 0) << false << QStringList{"A", "B"};
    QTest::newRow("both") << at(8, 30) << at(9, 30) << false << QStringList{"B"};
    QTest::newRow("nothing inside") << at(11, 0) << at(12, 0) << false << QStringList();
    QTest::newRow("every lot") << at(9, 0) << qint64(0) << true << QStringList{"B", "C", "D"};
}

void LotStatisticsTest::timeRange()
{
    QFETCH(qint64, since);
    QFETCH(qint64, until);
    QFETCH(bool, allLots);
    // Starts: A 08:00, B 09:00, C 10:00, D 10:00 in another lot.
    const QVector<UnitRecord> all
        = parsed({"A passed 1 0 60", "B passed 1 60 60", "C failed 1 120 60 write/refused", "D passed 1 120 60 - L8"});
    LotFilter filter;
    filter.lot = QStringLiteral("L7");
    filter.allLots = allLots;
    filter.sinceMsecs = since;
    filter.untilMsecs = until;
    const LotStatistics statistics = LotStatistics::compute(all, filter);
    QStringList identities;
    for (int index : statistics.records)
        identities << all.at(index).identity;
    QTEST(identities, "identities");
    QCOMPARE(statistics.units, identities.size());
}

void LotStatisticsTest::unitsPerHour_data()
{
    QTest::addColumn<QStringList>("records");
    QTest::addColumn<QList<int>>("perHour"); // units in each hour from the first record's

    QTest::newRow("none") << QStringList() << QList<int>();
    // Ten years between two units: only the two hours that had one, not ninety thousand empty ones.
    QTest::newRow("a clock far off lists only the hours with units")
        << QStringList{"A passed 1 0 60", "B passed 1 5256000 60", "C passed 1 3 60"} << QList<int>{2, 1};
    QTest::newRow("one hour") << QStringList{"A passed 1 0 60", "B passed 1 59 60"} << QList<int>{2};
    QTest::newRow("an empty hour between is kept")
        << QStringList{"A passed 1 5 60", "B passed 1 10 60", "C failed 1 130 60 write/refused"} << QList<int>{2, 0, 1};
    QTest::newRow("the hour starts on the clock, not at the first unit")
        << QStringList{"A passed 1 50 60", "B passed 1 65 60"} << QList<int>{1, 1};
    QTest::newRow("out of order") << QStringList{"A passed 1 70 60", "B passed 1 10 60", "C open 1 75 0"}
                                  << QList<int>{1, 2};
}

void LotStatisticsTest::unitsPerHour()
{
    QFETCH(QStringList, records);
    LotFilter filter;
    filter.lot = QStringLiteral("L7");
    const LotStatistics statistics = LotStatistics::compute(parsed(records), filter);
    QList<int> perHour;
    for (int hour = 0; hour < statistics.perHour.size(); ++hour) {
        perHour << statistics.perHour.at(hour).units;
        QCOMPARE(statistics.perHour.at(hour).startMsecs % (3600 * 1000), qint64(0));
        // Within four weeks every hour is listed, empty ones too.
        const bool dense = statistics.perHour.last().startMsecs - statistics.perHour.first().startMsecs
            < qint64(28 * 24) * 3600 * 1000;
        if (hour > 0 && dense)
            QCOMPARE(statistics.perHour.at(hour).startMsecs - statistics.perHour.at(hour - 1).startMsecs,
                qint64(3600 * 1000));
    }
    QTEST(perHour, "perHour");
}

QTEST_APPLESS_MAIN(LotStatisticsTest)
#include "tst_lotstatistics.moc"
