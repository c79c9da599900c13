#pragma once

#include "unitrecord.h"

#include <QDateTime>
#include <QStringList>

// Unit records built by hand for the lot's figures, view and report, until tests derive them from a journal.
namespace UnitRecordBuilders {

// UTC milliseconds on the tests' shift day.
inline qint64 at(int hour, int minute, int second = 0)
{
    return QDateTime(QDate(2026, 12, 8), QTime(hour, minute, second), Qt::UTC).toMSecsSinceEpoch();
}

// A record with its steps: passed up to the failed one (for a failed record), not reached after it.
inline UnitRecord unit(const QString &identity, UnitRecord::Outcome outcome, qint64 startMsecs, qint64 seconds,
    int attempt = 1, const QString &lot = QStringLiteral("L7"), const QString &failureStep = QString(),
    const QString &failureReason = QString())
{
    using Step = UnitRecord::Step;
    static const QStringList kinds = {QStringLiteral("read"), QStringLiteral("firmwareGate"),
        QStringLiteral("profileComparison"), QStringLiteral("write"), QStringLiteral("verification"),
        QStringLiteral("labelCheck"), QStringLiteral("registration"), QStringLiteral("sleep")};
    UnitRecord record;
    record.identity = identity;
    record.type = 2;
    record.typeName = QStringLiteral("LoRa OTAA");
    record.lot = lot;
    record.bench = QStringLiteral("bench-1");
    record.port = QStringLiteral("ttyACM0");
    record.operatorName = QStringLiteral("anna");
    record.profileName = QStringLiteral("cold-store");
    record.startMsecs = startMsecs;
    record.endMsecs = outcome == UnitRecord::Outcome::Open ? 0 : startMsecs + seconds * 1000;
    record.attempt = attempt;
    record.outcome = outcome;
    record.failureStep = failureStep;
    record.failureReason = failureReason;
    const int failedAt = kinds.indexOf(failureStep);
    const int stepCount = kinds.size();
    Step::Outcome next = Step::Outcome::Passed;
    for (int kind = 0; kind < stepCount; ++kind) {
        Step step;
        step.kind = Step::Kind(kind);
        step.outcome = next;
        if (outcome == UnitRecord::Outcome::Failed && kind == failedAt) {
            step.outcome = Step::Outcome::Failed;
            step.reason = failureReason;
            next = Step::Outcome::NotReached;
        }
        if (step.outcome != Step::Outcome::NotReached) {
            step.startMsecs = startMsecs + kind * 1000;
            step.endMsecs = step.startMsecs + 800;
        }
        if (step.kind == Step::Kind::ProfileComparison)
            step.measurements.append({QStringLiteral("reportRate"), QStringLiteral("600"), QStringLiteral("60"),
                QStringLiteral("3600"), QStringLiteral("600"), true});
        record.steps.append(step);
    }
    return record;
}

// A record from "identity outcome attempt startMinute seconds [step/reason]", outcome one of passed, failed,
// abandoned, open; the lot is L7 unless a seventh word names another. Minutes count from 08:00.
inline UnitRecord parsed(const QString &line)
{
    const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    static const QStringList outcomes
        = {QStringLiteral("passed"), QStringLiteral("failed"), QStringLiteral("abandoned"), QStringLiteral("open")};
    const QString failure = words.value(5);
    const QString identity = words.at(0) == QLatin1String("-") ? QString() : words.at(0);
    return unit(identity, UnitRecord::Outcome(outcomes.indexOf(words.at(1))),
        at(8, 0) + words.at(3).toLongLong() * 60000, words.at(4).toLongLong(), words.at(2).toInt(),
        words.value(6, QStringLiteral("L7")), failure.section(QLatin1Char('/'), 0, 0),
        failure.section(QLatin1Char('/'), 1));
}

inline QVector<UnitRecord> parsed(const QStringList &lines)
{
    QVector<UnitRecord> records;
    for (const QString &line : lines)
        records.append(parsed(line));
    return records;
}

} // namespace UnitRecordBuilders
