#include "unitrecord.h"

#include <QJsonArray>

QString UnitRecord::Step::kindName(Kind kind)
{
    switch (kind) {
    case Kind::Read:
        return QStringLiteral("read");
    case Kind::FirmwareGate:
        return QStringLiteral("firmwareGate");
    case Kind::ProfileComparison:
        return QStringLiteral("profileComparison");
    case Kind::Write:
        return QStringLiteral("write");
    case Kind::Verification:
        return QStringLiteral("verification");
    case Kind::LabelCheck:
        return QStringLiteral("labelCheck");
    case Kind::Registration:
        return QStringLiteral("registration");
    case Kind::Sleep:
        return QStringLiteral("sleep");
    }
    return QString();
}

QString UnitRecord::Step::outcomeName(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Passed:
        return QStringLiteral("passed");
    case Outcome::Failed:
        return QStringLiteral("failed");
    case Outcome::Skipped:
        return QStringLiteral("skipped");
    case Outcome::NotReached:
        return QStringLiteral("notReached");
    }
    return QString();
}

QString UnitRecord::outcomeName(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Passed:
        return QStringLiteral("passed");
    case Outcome::Failed:
        return QStringLiteral("failed");
    case Outcome::Abandoned:
        return QStringLiteral("abandoned");
    case Outcome::Open:
        return QStringLiteral("open");
    }
    return QString();
}

namespace {
QString isoTime(qint64 msecs)
{
    return msecs > 0 ? QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC).toString(Qt::ISODateWithMs) : QString();
}

QJsonValue timeValue(qint64 msecs)
{
    return msecs > 0 ? QJsonValue(isoTime(msecs)) : QJsonValue(QJsonValue::Null);
}
} // namespace

QJsonObject UnitRecord::toJson() const
{
    QJsonArray stepList;
    for (const Step &step : steps) {
        QJsonArray measurementList;
        for (const Measurement &measurement : step.measurements) {
            QJsonObject item{{QStringLiteral("name"), measurement.name}, {QStringLiteral("value"), measurement.value},
                {QStringLiteral("passed"), measurement.passed}};
            if (!measurement.low.isEmpty())
                item.insert(QStringLiteral("low"), measurement.low);
            if (!measurement.high.isEmpty())
                item.insert(QStringLiteral("high"), measurement.high);
            if (!measurement.expected.isEmpty())
                item.insert(QStringLiteral("expected"), measurement.expected);
            measurementList.append(item);
        }
        QJsonObject item{{QStringLiteral("step"), Step::kindName(step.kind)},
            {QStringLiteral("outcome"), Step::outcomeName(step.outcome)},
            {QStringLiteral("start"), timeValue(step.startMsecs)}, {QStringLiteral("end"), timeValue(step.endMsecs)},
            {QStringLiteral("durationMs"), step.durationMsecs()}, {QStringLiteral("measurements"), measurementList}};
        if (!step.reason.isEmpty())
            item.insert(QStringLiteral("reason"), step.reason);
        stepList.append(item);
    }
    QJsonObject record{{QStringLiteral("format"), kFormat}, {QStringLiteral("identity"), identity},
        {QStringLiteral("idKind"), sigfox ? QStringLiteral("sigfoxId") : QStringLiteral("devEui")},
        {QStringLiteral("type"), type}, {QStringLiteral("typeName"), typeName}, {QStringLiteral("lot"), lot},
        {QStringLiteral("bench"), bench}, {QStringLiteral("port"), port}, {QStringLiteral("operator"), operatorName},
        {QStringLiteral("toolVersion"), toolVersion}, {QStringLiteral("keyFingerprint"), keyFingerprint},
        {QStringLiteral("profile"), profileName}, {QStringLiteral("profileSha256"), profileSha256},
        {QStringLiteral("start"), timeValue(startMsecs)}, {QStringLiteral("end"), timeValue(endMsecs)},
        {QStringLiteral("durationMs"), durationMsecs()}, {QStringLiteral("attempt"), attempt},
        {QStringLiteral("outcome"), outcomeName(outcome)}, {QStringLiteral("steps"), stepList}};
    if (!failureStep.isEmpty())
        record.insert(QStringLiteral("failureStep"), failureStep);
    if (!failureReason.isEmpty())
        record.insert(QStringLiteral("failureReason"), failureReason);
    return record;
}
