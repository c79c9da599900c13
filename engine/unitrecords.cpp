#include "unitrecords.h"

#include "commandresult.h"

#include <QHash>
#include <QJsonArray>

namespace {

using Step = UnitRecord::Step;
using Kind = UnitRecord::Step::Kind;
using StepOutcome = UnitRecord::Step::Outcome;

const Kind kKinds[] = {Kind::Read, Kind::FirmwareGate, Kind::ProfileComparison, Kind::Write, Kind::Verification,
    Kind::LabelCheck, Kind::Registration, Kind::Sleep};
const int kStepCount = int(sizeof(kKinds) / sizeof(kKinds[0]));

const int kStatusAdded = 200;
const int kStatusUpdated = 201;

// A record while its entries are gathered.
struct Building
{
    UnitRecord record;
    bool closed = false;
    bool readBackPending = false; // the last entry was a successful write: the next read is the read back
    bool registrationWaiting = false; // queued or answered "try again", not delivered yet
    bool asleep = false;
    qint64 lastMsecs = 0;

    Step &step(Kind kind) { return record.steps[int(kind)]; }
};

QString text(const QJsonObject &fields, const char *key)
{
    const QJsonValue value = fields.value(QLatin1String(key));
    return value.isDouble() ? QString::number(value.toDouble()) : value.toString();
}

UnitRecord::Measurement measurement(const QString &name, const QString &value, bool passed = true)
{
    UnitRecord::Measurement m;
    m.name = name;
    m.value = value;
    m.passed = passed;
    return m;
}

// A step reached by the entry at `msecs`: it began where the unit's previous step ended.
Step &reach(Building &unit, Kind kind, qint64 msecs)
{
    Step &step = unit.step(kind);
    if (step.startMsecs == 0)
        step.startMsecs = unit.lastMsecs > 0 ? unit.lastMsecs : msecs;
    step.endMsecs = msecs;
    return step;
}

// Steps passed over: those before the furthest one reached were skipped, the later ones not reached.
void settleSteps(Building &unit)
{
    int furthest = -1;
    for (int i = 0; i < kStepCount; ++i) {
        if (unit.record.steps.at(i).outcome != StepOutcome::NotReached)
            furthest = i;
    }
    for (int i = 0; i < furthest; ++i) {
        Step &step = unit.record.steps[i];
        if (step.outcome == StepOutcome::NotReached)
            step.outcome = StepOutcome::Skipped;
    }
}

void close(Building &unit, UnitRecord::Outcome outcome, qint64 msecs, const QString &step = QString(),
    const QString &reason = QString())
{
    unit.closed = true;
    unit.record.outcome = outcome;
    unit.record.endMsecs = msecs;
    unit.record.failureStep = step;
    unit.record.failureReason = reason;
    settleSteps(unit);
}

// A step failed. The node stays on the bench: the operator may write again, scan again or register again, and a
// later pass of the step replaces the failure. Only how the unit ends decides its outcome.
void fail(Building &unit, Kind kind, qint64 msecs, const QString &reason)
{
    Step &step = reach(unit, kind, msecs);
    step.outcome = StepOutcome::Failed;
    step.reason = reason;
}

// The first step, in their order, that is failed now; null when none is.
const Step *firstFailed(const Building &unit)
{
    for (const Step &step : unit.record.steps) {
        if (step.outcome == StepOutcome::Failed)
            return &step;
    }
    return nullptr;
}

void closeFailed(Building &unit, qint64 msecs)
{
    const Step *failed = firstFailed(unit);
    close(unit, UnitRecord::Outcome::Failed, msecs, Step::kindName(failed->kind), failed->reason);
}

// The tool set the node aside at a failed step (its firmware, its key, no form for it): nothing more can happen.
void setAside(Building &unit, Kind kind, qint64 msecs, const QString &reason)
{
    fail(unit, kind, msecs, reason);
    closeFailed(unit, msecs);
}

// The node left before its end: failed when a step is failed then, abandoned otherwise.
void leave(Building &unit, qint64 msecs, const QString &reason)
{
    if (firstFailed(unit))
        closeFailed(unit, msecs);
    else
        close(unit, UnitRecord::Outcome::Abandoned, msecs, QString(), reason);
}

// A unit asleep has passed once nothing failed, a write was verified and a registration begun was delivered.
void settleSleep(Building &unit, qint64 msecs)
{
    if (firstFailed(unit)) {
        closeFailed(unit, msecs);
        return;
    }
    const Step &write = unit.step(Kind::Write);
    const Step &verification = unit.step(Kind::Verification);
    if (write.outcome == StepOutcome::Passed && verification.outcome == StepOutcome::NotReached) {
        Step &step = reach(unit, Kind::Verification, msecs);
        step.outcome = StepOutcome::Failed;
        step.reason = QStringLiteral("notReadBack");
        step.startMsecs = step.endMsecs = 0;
        closeFailed(unit, msecs);
        return;
    }
    // Waiting for a delivery from the outbox, the unit stays open: its registration may still arrive.
    close(unit, unit.registrationWaiting ? UnitRecord::Outcome::Open : UnitRecord::Outcome::Passed, msecs);
}

bool isWriteEvent(const QString &event)
{
    return event == QLatin1String("settingsWritten") || event == QLatin1String("deviceIdWritten")
        || event == QLatin1String("sigfoxDataWritten");
}

QString writeName(const JournalEntry &entry)
{
    if (entry.event == QLatin1String("deviceIdWritten"))
        return QStringLiteral("deviceId");
    if (entry.event == QLatin1String("sigfoxDataWritten"))
        return QStringLiteral("sigfoxData");
    QStringList flags;
    for (const QJsonValue &flag : entry.fields.value(QLatin1String("flags")).toArray())
        flags << flag.toString();
    return flags.isEmpty() ? QStringLiteral("settings") : flags.join(QLatin1Char('+'));
}

QString resultName(int result)
{
    switch (CommandResult(result)) {
    case CommandResult::Done:
        return QStringLiteral("done");
    case CommandResult::Failed:
        return QStringLiteral("failed");
    case CommandResult::TimedOut:
        return QStringLiteral("timedOut");
    case CommandResult::Pending:
        return QStringLiteral("unknown");
    }
    return QStringLiteral("result %1").arg(result);
}

Building opened(const JournalEntry &entry)
{
    Building unit;
    const QJsonObject &f = entry.fields;
    UnitRecord &r = unit.record;
    r.steps.reserve(kStepCount);
    for (Kind kind : kKinds) {
        Step step;
        step.kind = kind;
        r.steps.append(step);
    }
    r.identity = entry.identifier;
    r.sigfox = f.contains(QLatin1String("sigfoxId"));
    r.type = f.value(QLatin1String("type")).toInt(-1);
    r.typeName = f.value(QLatin1String("typeName")).toString();
    r.lot = entry.lot;
    r.bench = entry.bench.isEmpty() ? f.value(QLatin1String("bench")).toString() : entry.bench;
    r.port = f.value(QLatin1String("port")).toString();
    r.operatorName = f.value(QLatin1String("operator")).toString();
    r.toolVersion = f.value(QLatin1String("toolVersion")).toString();
    r.keyFingerprint = f.value(QLatin1String("keyFingerprint")).toString();
    r.profileName = f.value(QLatin1String("profile")).toString();
    r.profileSha256 = f.value(QLatin1String("profileSha256")).toString();
    r.startMsecs = entry.msecs;
    r.endMsecs = entry.msecs;
    unit.lastMsecs = entry.msecs;

    Step &read = unit.step(Kind::Read);
    read.startMsecs = read.endMsecs = entry.msecs;
    read.outcome = StepOutcome::Passed;
    for (const char *key : {"nodeVersion", "moduleVersion", "loraVersion"}) {
        if (f.contains(QLatin1String(key)))
            read.measurements.append(measurement(QLatin1String(key), text(f, key)));
    }
    const QJsonObject thresholds = f.value(QLatin1String("thresholds")).toObject();
    for (auto it = thresholds.begin(); it != thresholds.end(); ++it)
        read.measurements.append(measurement(it.key(), QString::number(it.value().toDouble())));
    if (f.contains(QLatin1String("reportRate")))
        read.measurements.append(measurement(QStringLiteral("reportRate"), text(f, "reportRate")));
    return unit;
}

void applyRegistration(Building &unit, const JournalEntry &entry)
{
    const QJsonObject &f = entry.fields;
    Step &step = unit.step(Kind::Registration);
    if (step.startMsecs == 0)
        step.startMsecs = unit.lastMsecs > 0 ? unit.lastMsecs : entry.msecs;
    step.endMsecs = entry.msecs;
    if (entry.event == QLatin1String("registrationQueued")) {
        unit.registrationWaiting = true;
        step.measurements.append(measurement(QStringLiteral("outboxId"), text(f, "outboxId")));
        return;
    }
    const int status = f.value(QLatin1String("status")).toInt(0);
    const QString failure = f.value(QLatin1String("failure")).toString();
    step.measurements.append(
        measurement(QStringLiteral("status"), status == 0 && !failure.isEmpty() ? failure : QString::number(status),
            status == kStatusAdded || status == kStatusUpdated));
    if (status == kStatusAdded || status == kStatusUpdated) {
        unit.registrationWaiting = false;
        step.outcome = StepOutcome::Passed;
        step.reason.clear();
        // A delivery after the sleep completes the unit.
        if (unit.asleep && unit.record.outcome == UnitRecord::Outcome::Open) {
            unit.record.outcome = UnitRecord::Outcome::Passed;
            unit.record.endMsecs = std::max(unit.record.endMsecs, entry.msecs);
            unit.closed = true;
        }
        return;
    }
    // No answer, a busy server or a login run out: the outbox tries again. Anything else is refused.
    const bool retried
        = status == 0 || status == 401 || status == 403 || status == 408 || status == 429 || status >= 500;
    if (retried) {
        unit.registrationWaiting = true;
        return;
    }
    unit.registrationWaiting = false;
    if (unit.record.outcome == UnitRecord::Outcome::Failed)
        return;
    step.outcome = StepOutcome::Failed;
    step.reason = QStringLiteral("refused");
    // Refused while the node is on the bench, it may be registered again; refused from the outbox after the node
    // went to sleep, the unit has failed.
    if (unit.closed) {
        unit.record.outcome = UnitRecord::Outcome::Failed;
        unit.record.failureStep = Step::kindName(Kind::Registration);
        unit.record.failureReason = step.reason;
        unit.record.endMsecs = std::max(unit.record.endMsecs, entry.msecs);
    }
}

// A write's result: the write step passes, or fails with the write's reason.
void applyWrite(Building &unit, const JournalEntry &entry)
{
    const QJsonObject &f = entry.fields;
    const int result = f.value(QLatin1String("result")).toInt(int(CommandResult::Pending));
    Step &step = reach(unit, Kind::Write, entry.msecs);
    step.measurements.append(measurement(writeName(entry), resultName(result), result == int(CommandResult::Done)));
    if (result == int(CommandResult::Done)) {
        step.outcome = StepOutcome::Passed;
        step.reason.clear();
        unit.readBackPending = !unit.closed;
        return;
    }
    const QString reason
        = result == int(CommandResult::Failed) && !text(f, "reason").isEmpty() ? text(f, "reason") : resultName(result);
    fail(unit, Kind::Write, entry.msecs, reason);
}

// One entry that names a unit already opened.
void apply(Building &unit, const JournalEntry &entry)
{
    const QJsonObject &f = entry.fields;
    const QString &event = entry.event;
    const qint64 msecs = entry.msecs;
    if (!entry.lot.isEmpty())
        unit.record.lot = entry.lot;
    // A node read while the login was still to come learns its operator from the entries after the login.
    if (unit.record.operatorName.isEmpty())
        unit.record.operatorName = f.value(QLatin1String("operator")).toString();

    if (event == QLatin1String("registrationQueued") || event == QLatin1String("registration")) {
        applyRegistration(unit, entry);
    } else if (event == QLatin1String("labelPrinted")) {
        // A label printed (or not) belongs to the unit whenever it happens, also after its end or later from
        // the history; it never decides the unit's outcome: commissioning goes on without a printer.
        unit.step(Kind::LabelCheck)
            .measurements.append(measurement(QStringLiteral("labelPrinted"),
                f.value(QLatin1String("ok")).toBool(false) ? text(f, "target") : text(f, "failure"),
                f.value(QLatin1String("ok")).toBool(false)));
        return;
    } else if (unit.closed) {
        // A write cut off by the node leaving is answered after it left: the record still says it was begun.
        if (isWriteEvent(event) && unit.record.outcome == UnitRecord::Outcome::Abandoned)
            applyWrite(unit, entry);
        return;
    } else if (event == QLatin1String("firmwareTooOld")) {
        UnitRecord::Measurement m = measurement(QStringLiteral("nodeVersion"), text(f, "nodeVersion"), false);
        m.low = text(f, "minNodeVersion");
        Step &gate = unit.step(Kind::FirmwareGate);
        gate.measurements = {m};
        setAside(unit, Kind::FirmwareGate, msecs, QStringLiteral("firmwareTooOld"));
    } else if (event == QLatin1String("notConfigured")) {
        setAside(
            unit, Kind::Read, msecs, text(f, "reason").isEmpty() ? QStringLiteral("notConfigured") : text(f, "reason"));
    } else if (event == QLatin1String("profileCompared")) {
        // The comparison as read, before any write; a profile chosen anew while the node is on show replaces it.
        if (unit.step(Kind::Write).outcome != StepOutcome::NotReached)
            return;
        Step &gate = reach(unit, Kind::FirmwareGate, msecs);
        gate.outcome = StepOutcome::Passed;
        Step &step = reach(unit, Kind::ProfileComparison, msecs);
        step.outcome = StepOutcome::Passed;
        step.measurements.clear();
        for (const QJsonValue &item : f.value(QLatin1String("differences")).toArray()) {
            const QJsonObject difference = item.toObject();
            UnitRecord::Measurement m
                = measurement(difference.value(QLatin1String("field")).toString(), text(difference, "node"), false);
            m.expected = text(difference, "profile");
            step.measurements.append(m);
        }
        if (!f.value(QLatin1String("profile")).toString().isEmpty())
            unit.record.profileName = f.value(QLatin1String("profile")).toString();
    } else if (isWriteEvent(event)) {
        applyWrite(unit, entry);
        // The read back that follows a write goes on with this record: its pending mark stays.
        unit.lastMsecs = msecs;
        unit.record.endMsecs = msecs;
        return;
    } else if (event == QLatin1String("verified")) {
        Step &step = reach(unit, Kind::Verification, msecs);
        step.measurements.clear();
        for (const QJsonValue &item : f.value(QLatin1String("mismatches")).toArray()) {
            const QJsonObject mismatch = item.toObject();
            UnitRecord::Measurement m
                = measurement(mismatch.value(QLatin1String("field")).toString(), text(mismatch, "read"), false);
            m.expected = text(mismatch, "written");
            step.measurements.append(m);
        }
        if (f.value(QLatin1String("ok")).toBool(false)) {
            step.outcome = StepOutcome::Passed;
            step.reason.clear();
        } else {
            fail(unit, Kind::Verification, msecs, QStringLiteral("mismatch"));
        }
    } else if (event == QLatin1String("labelChecked")) {
        Step &step = reach(unit, Kind::LabelCheck, msecs);
        const QJsonObject label = f.value(QLatin1String("label")).toObject();
        step.measurements.clear();
        for (auto it = label.begin(); it != label.end(); ++it)
            step.measurements.append(measurement(it.key(), it.value().toString()));
        if (f.value(QLatin1String("match")).toBool(false)) {
            step.outcome = StepOutcome::Passed;
            step.reason.clear();
        } else {
            fail(unit, Kind::LabelCheck, msecs, QStringLiteral("mismatch"));
        }
    } else if (event == QLatin1String("nodeSleeping")) {
        Step &step = reach(unit, Kind::Sleep, msecs);
        step.outcome = StepOutcome::Passed;
        unit.asleep = true;
        settleSleep(unit, msecs);
    } else if (event == QLatin1String("duplicateCheck")) {
        // Another bench registered the node: until the operator registers it again here, its registration failed.
        if (text(f, "result") == QLatin1String("registeredElsewhere")) {
            Step &step = reach(unit, Kind::Registration, msecs);
            step.measurements = {measurement(QStringLiteral("otherBench"), text(f, "otherBench"), false),
                measurement(QStringLiteral("registeredAt"), text(f, "registeredAt"), false)};
            fail(unit, Kind::Registration, msecs, QStringLiteral("registeredElsewhere"));
        }
    } else if (event == QLatin1String("nodeLeft")) {
        leave(unit, msecs, text(f, "reason").isEmpty() ? QStringLiteral("left") : text(f, "reason"));
    }
    unit.readBackPending = false;
    unit.lastMsecs = msecs;
    if (!unit.closed)
        unit.record.endMsecs = msecs;
}

} // namespace

QVector<UnitRecord> UnitRecords::fromEntries(const QVector<JournalEntry> &entries)
{
    QVector<Building> units;
    QHash<QString, int> openOnPort; // bench and port → the unit open on it
    QHash<QString, int> latestOf; // identity → its latest unit
    QHash<QString, int> attempts; // identity → records so far
    for (const JournalEntry &entry : entries) {
        const bool read = entry.event == QLatin1String("nodeRead");
        const bool keyMismatch = entry.event == QLatin1String("keyMismatch");
        if (read || keyMismatch) {
            // Journals of several benches merged may name the same port: a port is one bench's. Entries read from the
            // shared database say their bench; two benches may have been given one host name.
            const QString port
                = (entry.bench.isEmpty() ? entry.fields.value(QLatin1String("bench")).toString() : entry.bench)
                + QLatin1Char('\n') + entry.fields.value(QLatin1String("port")).toString();
            const auto open = openOnPort.constFind(port);
            if (open != openOnPort.cend()) {
                Building &previous = units[open.value()];
                // The node read back after its own write goes on with its record.
                if (read && previous.readBackPending && !previous.closed
                    && previous.record.identity == entry.identifier) {
                    previous.readBackPending = false;
                    previous.lastMsecs = entry.msecs;
                    previous.record.endMsecs = entry.msecs;
                    continue;
                }
                if (!previous.closed)
                    leave(previous, entry.msecs, QStringLiteral("nextNode"));
            }
            Building unit = opened(entry);
            if (!entry.identifier.isEmpty()) {
                unit.record.attempt = ++attempts[entry.identifier];
                latestOf.insert(entry.identifier, units.size());
            }
            openOnPort.insert(port, units.size());
            units.append(unit);
            if (keyMismatch)
                setAside(units.last(), Kind::Read, entry.msecs, QStringLiteral("keyMismatch"));
            continue;
        }
        if (entry.identifier.isEmpty())
            continue;
        const auto latest = latestOf.constFind(entry.identifier);
        if (latest != latestOf.cend())
            apply(units[latest.value()], entry);
    }
    QVector<UnitRecord> records;
    records.reserve(units.size());
    for (Building &unit : units) {
        if (!unit.closed && unit.record.outcome == UnitRecord::Outcome::Open && !unit.asleep)
            settleSteps(unit);
        records.append(std::move(unit.record));
    }
    return records;
}

QVector<UnitRecord> UnitRecords::fromLines(const QList<QByteArray> &lines)
{
    JournalHistory history;
    for (const QByteArray &line : lines) {
        if (!line.trimmed().isEmpty())
            history.addLine(line);
    }
    return fromEntries(history.entries());
}
