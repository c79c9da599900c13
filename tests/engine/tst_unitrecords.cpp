#include "unitrecords.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

#include <chrono>

namespace {

const char kPortA[] = "/dev/ttyUSB0";
const char kPortB[] = "/dev/ttyUSB1";

// One journal line per step of a short script, one second apart, as the bench writes them:
//   read:N[:port[:bench]]  fw:N  nc:N  cmp:N[:diff]  write:N:done|refused|timeout  verify:N:ok|bad  label:N:ok|bad
//   queued:N  reg:N:status  sleep:N  left:N:reason  key[:port]  print:N:ok|fail  cut (a line cut off by a crash)
// N is the last digit of the node's DevEUI.
QList<QByteArray> journalOf(const QStringList &script)
{
    QList<QByteArray> lines;
    int second = 0;
    for (const QString &step : script) {
        const QStringList part = step.split(QLatin1Char(':'));
        const QString what = part.at(0);
        QJsonObject entry;
        const auto node
            = [&]() { entry.insert(QStringLiteral("devEui"), QStringLiteral("70B3D57ED000000") + part.at(1)); };
        const auto arg
            = [&](int i, const char *fallback) { return part.size() > i ? part.at(i) : QString::fromLatin1(fallback); };
        if (what == QLatin1String("cut")) {
            lines << QByteArray("{\"devEui\":\"70B3D57ED0000009\",\"event\":\"nodeSle");
            continue;
        }
        if (what == QLatin1String("read")) {
            node();
            entry.insert(QStringLiteral("event"), QStringLiteral("nodeRead"));
            entry.insert(QStringLiteral("port"), arg(2, kPortA));
            entry.insert(QStringLiteral("type"), 5);
            entry.insert(QStringLiteral("typeName"), QStringLiteral("LoRa OTAA 5D"));
            entry.insert(QStringLiteral("nodeVersion"), QStringLiteral("3.2"));
            entry.insert(QStringLiteral("thresholds"), QJsonObject{{QStringLiteral("temperatureHigh"), 50}});
            entry.insert(QStringLiteral("reportRate"), 15);
            entry.insert(QStringLiteral("bench"), arg(3, "bench-3"));
            entry.insert(QStringLiteral("operator"), QStringLiteral("anna"));
            entry.insert(QStringLiteral("toolVersion"), QStringLiteral("1.4.0"));
            entry.insert(QStringLiteral("keyFingerprint"), QStringLiteral("ab12"));
            entry.insert(QStringLiteral("profile"), QStringLiteral("harbour"));
            entry.insert(QStringLiteral("profileSha256"), QStringLiteral("5e3f"));
        } else if (what == QLatin1String("key")) {
            entry.insert(QStringLiteral("event"), QStringLiteral("keyMismatch"));
            entry.insert(QStringLiteral("port"), arg(1, kPortA));
        } else if (what == QLatin1String("fw")) {
            node();
            entry.insert(QStringLiteral("event"), QStringLiteral("firmwareTooOld"));
            entry.insert(QStringLiteral("nodeVersion"), QStringLiteral("3.2"));
            entry.insert(QStringLiteral("minNodeVersion"), QStringLiteral("4.0"));
        } else if (what == QLatin1String("nc")) {
            node();
            entry.insert(QStringLiteral("event"), QStringLiteral("notConfigured"));
            entry.insert(QStringLiteral("reason"), QStringLiteral("unknownType"));
        } else if (what == QLatin1String("cmp")) {
            node();
            entry.insert(QStringLiteral("event"), QStringLiteral("profileCompared"));
            entry.insert(QStringLiteral("profile"), QStringLiteral("harbour"));
            QJsonArray differences;
            if (part.size() > 2)
                differences.append(QJsonObject{{QStringLiteral("field"), QStringLiteral("temperature")},
                    {QStringLiteral("profile"), QStringLiteral("-10 to 40")},
                    {QStringLiteral("node"), QStringLiteral("-10 to 50")}});
            entry.insert(QStringLiteral("matches"), differences.isEmpty());
            entry.insert(QStringLiteral("differences"), differences);
        } else if (what == QLatin1String("write")) {
            node();
            entry.insert(QStringLiteral("event"), QStringLiteral("settingsWritten"));
            entry.insert(QStringLiteral("flags"), QJsonArray{QStringLiteral("temperature")});
            const QString result = arg(2, "done");
            entry.insert(QStringLiteral("result"),
                result == QLatin1String("done")          ? 2
                    : result == QLatin1String("timeout") ? 3
                                                         : 1);
            if (result == QLatin1String("refused"))
                entry.insert(QStringLiteral("reason"), QStringLiteral("refused"));
        } else if (what == QLatin1String("verify")) {
            node();
            entry.insert(QStringLiteral("event"), QStringLiteral("verified"));
            const bool ok = arg(2, "ok") == QLatin1String("ok");
            entry.insert(QStringLiteral("ok"), ok);
            QJsonArray mismatches;
            if (!ok)
                mismatches.append(QJsonObject{{QStringLiteral("field"), QStringLiteral("temperatureHigh")},
                    {QStringLiteral("written"), QStringLiteral("40")}, {QStringLiteral("read"), QStringLiteral("50")}});
            entry.insert(QStringLiteral("mismatches"), mismatches);
        } else if (what == QLatin1String("label")) {
            node();
            entry.insert(QStringLiteral("event"), QStringLiteral("labelChecked"));
            entry.insert(QStringLiteral("label"), QJsonObject{{QStringLiteral("identifier"), QStringLiteral("x")}});
            entry.insert(QStringLiteral("match"), arg(2, "ok") == QLatin1String("ok"));
        } else if (what == QLatin1String("queued")) {
            node();
            entry.insert(QStringLiteral("event"), QStringLiteral("registrationQueued"));
            entry.insert(QStringLiteral("outboxId"), 7);
        } else if (what == QLatin1String("reg")) {
            node();
            entry.insert(QStringLiteral("event"), QStringLiteral("registration"));
            entry.insert(QStringLiteral("status"), arg(2, "200").toInt());
            entry.insert(QStringLiteral("attempt"), 1);
            entry.insert(QStringLiteral("outboxId"), 7);
        } else if (what == QLatin1String("print")) {
            node();
            entry.insert(QStringLiteral("event"), QStringLiteral("labelPrinted"));
            entry.insert(QStringLiteral("target"), QStringLiteral("Zebra-1"));
            const bool ok = arg(2, "ok") == QLatin1String("ok");
            entry.insert(QStringLiteral("ok"), ok);
            if (!ok)
                entry.insert(QStringLiteral("failure"), QStringLiteral("The printer Zebra-1 is not known"));
        } else if (what == QLatin1String("sleep")) {
            node();
            entry.insert(QStringLiteral("event"), QStringLiteral("nodeSleeping"));
        } else if (what == QLatin1String("dup")) {
            node();
            entry.insert(QStringLiteral("event"), QStringLiteral("duplicateCheck"));
            entry.insert(QStringLiteral("result"), arg(2, "registeredElsewhere"));
            entry.insert(QStringLiteral("otherBench"), QStringLiteral("north"));
        } else if (what == QLatin1String("left")) {
            node();
            entry.insert(QStringLiteral("event"), QStringLiteral("nodeLeft"));
            entry.insert(QStringLiteral("port"), QString::fromLatin1(kPortA));
            entry.insert(QStringLiteral("reason"), arg(2, "portLost"));
        } else {
            qFatal("unknown script step %s", qPrintable(step));
        }
        entry.insert(QStringLiteral("lot"), QStringLiteral("L7"));
        entry.insert(QStringLiteral("time"),
            QDateTime(QDate(2026, 12, 8), QTime(10, 0), Qt::UTC).addSecs(second).toString(Qt::ISODateWithMs));
        ++second;
        lines << QJsonDocument(entry).toJson(QJsonDocument::Compact);
    }
    return lines;
}

// "identity#attempt outcome [step/reason]", the last digit of the identity only.
QStringList summaryOf(const QVector<UnitRecord> &records)
{
    QStringList result;
    for (const UnitRecord &record : records) {
        QString line = (record.identity.isEmpty() ? QStringLiteral("-") : record.identity.right(1)) + QLatin1Char('#')
            + QString::number(record.attempt) + QLatin1Char(' ') + UnitRecord::outcomeName(record.outcome);
        if (!record.failureStep.isEmpty() || !record.failureReason.isEmpty())
            line += QLatin1Char(' ') + record.failureStep + QLatin1Char('/') + record.failureReason;
        result << line;
    }
    return result;
}

// Each step's outcome, "read=passed firmwareGate=skipped ...".
QString stepsOf(const UnitRecord &record)
{
    QStringList parts;
    for (const UnitRecord::Step &step : record.steps)
        parts << UnitRecord::Step::kindName(step.kind) + QLatin1Char('=') + UnitRecord::Step::outcomeName(step.outcome);
    return parts.join(QLatin1Char(' '));
}

} // namespace

class TestUnitRecords : public QObject
{
    Q_OBJECT

private slots:
    void derivation_data();
    void derivation();
    void stepsOfAPassedUnit();
    void measurementsAndLimits();
    void toJsonNamesEveryField();
    void operatorFromAnEntryAfterTheLogin();
    void printedLabelsAreMeasurementsOfTheLabelStep();
    void hundredThousandEntries();
};

void TestUnitRecords::printedLabelsAreMeasurementsOfTheLabelStep()
{
    const QVector<UnitRecord> records
        = UnitRecords::fromLines(journalOf({"read:1", "print:1:fail", "reg:1:201", "sleep:1", "print:1:ok"}));
    QCOMPARE(records.size(), 1);
    const UnitRecord::Step &label = records.first().steps.at(int(UnitRecord::Step::Kind::LabelCheck));
    QCOMPARE(label.measurements.size(), 2);
    QCOMPARE(label.measurements.at(0).name, QStringLiteral("labelPrinted"));
    QCOMPARE(label.measurements.at(0).value, QStringLiteral("The printer Zebra-1 is not known"));
    QVERIFY(!label.measurements.at(0).passed);
    QCOMPARE(label.measurements.at(1).value, QStringLiteral("Zebra-1"));
    QVERIFY(label.measurements.at(1).passed);
    // The unit ended when it went to sleep; the label printed later does not move its end.
    QCOMPARE(records.first().endMsecs, QDateTime(QDate(2026, 12, 8), QTime(10, 0, 3), Qt::UTC).toMSecsSinceEpoch());
}

void TestUnitRecords::derivation_data()
{
    QTest::addColumn<QStringList>("script");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("passed: compared, written, read back, verified, registered, asleep")
        << QStringList{"read:1", "cmp:1:diff", "write:1", "read:1", "verify:1", "label:1", "reg:1:201", "sleep:1"}
        << QStringList{"1#1 passed"};
    QTest::newRow("passed without a profile or a write")
        << QStringList{"read:1", "reg:1:200", "sleep:1"} << QStringList{"1#1 passed"};
    QTest::newRow("refused write") << QStringList{"read:1", "cmp:1:diff", "write:1:refused", "sleep:1"}
                                   << QStringList{"1#1 failed write/refused"};
    QTest::newRow("timed-out write, then unplugged")
        << QStringList{"read:1", "write:1:timeout", "left:1:portLost"} << QStringList{"1#1 failed write/timedOut"};
    QTest::newRow("refused write written again: passed") << QStringList{"read:1", "write:1:refused", "write:1",
        "read:1", "verify:1", "reg:1:201", "sleep:1"} << QStringList{"1#1 passed"};
    QTest::newRow("verification mismatch") << QStringList{"read:1", "write:1", "read:1", "verify:1:bad", "sleep:1"}
                                           << QStringList{"1#1 failed verification/mismatch"};
    QTest::newRow("written but never read back before sleep")
        << QStringList{"read:1", "write:1", "sleep:1"} << QStringList{"1#1 failed verification/notReadBack"};
    QTest::newRow("a printer that fails on the bench does not end the unit")
        << QStringList{"read:1", "print:1:fail", "reg:1:201", "sleep:1"} << QStringList{"1#1 passed"};
    QTest::newRow("a label printed after the sleep keeps the unit passed")
        << QStringList{"read:1", "reg:1:201", "sleep:1", "print:1:fail", "print:1:ok"} << QStringList{"1#1 passed"};
    QTest::newRow("a label printed for a failed unit does not pass it")
        << QStringList{"read:1", "fw:1", "print:1:ok"} << QStringList{"1#1 failed firmwareGate/firmwareTooOld"};
    QTest::newRow("label mismatch, then the next node") << QStringList{"read:1", "cmp:1", "label:1:bad", "read:2"}
                                                        << QStringList{"1#1 failed labelCheck/mismatch", "2#1 open"};
    QTest::newRow("label mismatch, still on the bench")
        << QStringList{"read:1", "cmp:1", "label:1:bad"} << QStringList{"1#1 open"};
    QTest::newRow("wrong label, then the right one: passed")
        << QStringList{"read:1", "label:1:bad", "label:1", "reg:1:201", "sleep:1"} << QStringList{"1#1 passed"};
    QTest::newRow("the first failed step is named, not the first failure") << QStringList{
        "read:1", "label:1:bad", "write:1:refused", "left:1:reset"} << QStringList{"1#1 failed write/refused"};
    QTest::newRow("firmware too old") << QStringList{"read:1", "fw:1"}
                                      << QStringList{"1#1 failed firmwareGate/firmwareTooOld"};
    QTest::newRow("key mismatch, then the next node")
        << QStringList{"key", "read:2", "sleep:2"} << QStringList{"-#1 failed read/keyMismatch", "2#1 passed"};
    QTest::newRow("not configured") << QStringList{"read:1", "nc:1"} << QStringList{"1#1 failed read/unknownType"};
    QTest::newRow("registration refused")
        << QStringList{"read:1", "reg:1:400", "sleep:1"} << QStringList{"1#1 failed registration/refused"};
    QTest::newRow("registered at another bench, set aside") << QStringList{
        "read:1", "dup:1", "left:1:setAside"} << QStringList{"1#1 failed registration/registeredElsewhere"};
    QTest::newRow("registered at another bench, registered again: passed")
        << QStringList{"read:1", "dup:1", "reg:1:201", "sleep:1"} << QStringList{"1#1 passed"};
    QTest::newRow("no other bench registered it: passed")
        << QStringList{"read:1", "dup:1:clear", "reg:1:201", "sleep:1"} << QStringList{"1#1 passed"};
    QTest::newRow("registration refused, then accepted: passed")
        << QStringList{"read:1", "reg:1:400", "reg:1:201", "sleep:1"} << QStringList{"1#1 passed"};
    QTest::newRow("asleep, then refused from the outbox")
        << QStringList{"read:1", "queued:1", "sleep:1", "reg:1:400"} << QStringList{"1#1 failed registration/refused"};
    QTest::newRow("abandoned: port lost")
        << QStringList{"read:1", "cmp:1", "left:1:portLost"} << QStringList{"1#1 abandoned /portLost"};
    QTest::newRow("unplugged during a write, its time-out told after")
        << QStringList{"read:1", "left:1:portLost", "write:1:timeout"} << QStringList{"1#1 abandoned /portLost"};
    QTest::newRow("abandoned: the next node on the port")
        << QStringList{"read:1", "cmp:1", "read:2", "sleep:2"} << QStringList{"1#1 abandoned /nextNode", "2#1 passed"};
    QTest::newRow("a failed unit stays failed when it leaves") << QStringList{"read:1", "fw:1", "left:1:reset",
        "read:2"} << QStringList{"1#1 failed firmwareGate/firmwareTooOld", "2#1 open"};
    QTest::newRow("the same port on another bench does not end a unit")
        << QStringList{"read:1", "read:2:" + QString::fromLatin1(kPortA) + ":bench-4", "sleep:1", "sleep:2"}
        << QStringList{"1#1 passed", "2#1 passed"};
    QTest::newRow("another port does not end a unit") << QStringList{"read:1", "read:2:" + QString::fromLatin1(kPortB),
        "sleep:1", "sleep:2"} << QStringList{"1#1 passed", "2#1 passed"};
    QTest::newRow("queued, asleep, delivered later from the outbox") << QStringList{"read:1", "queued:1", "reg:1:0",
        "sleep:1", "read:2", "reg:1:201"} << QStringList{"1#1 passed", "2#1 open"};
    QTest::newRow("queued, asleep, not delivered yet")
        << QStringList{"read:1", "queued:1", "sleep:1"} << QStringList{"1#1 open"};
    QTest::newRow("commissioned twice: two attempts") << QStringList{"read:1", "write:1:refused", "read:1", "sleep:1"}
                                                      << QStringList{"1#1 failed write/refused", "1#2 passed"};
    QTest::newRow("a line cut off by a crash is passed over")
        << QStringList{"read:1", "cut", "sleep:1"} << QStringList{"1#1 passed"};
    QTest::newRow("still on the bench") << QStringList{"read:1", "cmp:1"} << QStringList{"1#1 open"};
}

void TestUnitRecords::derivation()
{
    QFETCH(QStringList, script);
    QFETCH(QStringList, expected);
    QCOMPARE(summaryOf(UnitRecords::fromLines(journalOf(script))), expected);
}

void TestUnitRecords::stepsOfAPassedUnit()
{
    const QVector<UnitRecord> records = UnitRecords::fromLines(journalOf({"read:1", "cmp:1", "reg:1:200", "sleep:1"}));
    QCOMPARE(records.size(), 1);
    const UnitRecord &record = records.first();
    QCOMPARE(stepsOf(record),
        QStringLiteral("read=passed firmwareGate=passed profileComparison=passed write=skipped verification=skipped "
                       "labelCheck=skipped registration=passed sleep=passed"));
    QCOMPARE(
        record.startMsecs, QDateTime::fromString("2026-12-08T10:00:00.000Z", Qt::ISODateWithMs).toMSecsSinceEpoch());
    QCOMPARE(record.durationMsecs(), 3000);
    QCOMPARE(record.steps.at(int(UnitRecord::Step::Kind::Registration)).durationMsecs(), 1000);
    QCOMPARE(record.bench, QStringLiteral("bench-3"));
    QCOMPARE(record.operatorName, QStringLiteral("anna"));
    QCOMPARE(record.toolVersion, QStringLiteral("1.4.0"));
    QCOMPARE(record.profileName, QStringLiteral("harbour"));
    QCOMPARE(record.profileSha256, QStringLiteral("5e3f"));
    QCOMPARE(record.port, QString::fromLatin1(kPortA));
    QCOMPARE(record.lot, QStringLiteral("L7"));
    QCOMPARE(record.attempt, 1);
    QCOMPARE(record.outcome, UnitRecord::Outcome::Passed);

    // A failed write leaves the steps after it not reached.
    const UnitRecord failed = UnitRecords::fromLines(journalOf({"read:1", "write:1:refused", "left:1:reset"})).first();
    QCOMPARE(stepsOf(failed),
        QStringLiteral("read=passed firmwareGate=skipped profileComparison=skipped write=failed "
                       "verification=notReached labelCheck=notReached registration=notReached sleep=notReached"));

    // Unplugged during a write: the node may hold half of it, so the record says the write was begun.
    const UnitRecord cut = UnitRecords::fromLines(journalOf({"read:1", "left:1:portLost", "write:1:timeout"})).first();
    QCOMPARE(cut.outcome, UnitRecord::Outcome::Abandoned);
    QCOMPARE(cut.steps.at(int(UnitRecord::Step::Kind::Write)).outcome, UnitRecord::Step::Outcome::Failed);
    QCOMPARE(cut.steps.at(int(UnitRecord::Step::Kind::Write)).reason, QStringLiteral("timedOut"));
}

void TestUnitRecords::measurementsAndLimits()
{
    const UnitRecord record
        = UnitRecords::fromLines(journalOf({"read:1", "cmp:1:diff", "write:1", "read:1", "verify:1:bad"})).first();
    const auto find = [&record](UnitRecord::Step::Kind kind, const QString &name) {
        for (const UnitRecord::Measurement &m : record.steps.at(int(kind)).measurements) {
            if (m.name == name)
                return m;
        }
        return UnitRecord::Measurement();
    };
    using Kind = UnitRecord::Step::Kind;
    QCOMPARE(find(Kind::Read, "temperatureHigh").value, QStringLiteral("50"));
    QCOMPARE(find(Kind::Read, "reportRate").value, QStringLiteral("15"));
    const UnitRecord::Measurement difference = find(Kind::ProfileComparison, "temperature");
    QCOMPARE(difference.value, QStringLiteral("-10 to 50"));
    QCOMPARE(difference.expected, QStringLiteral("-10 to 40"));
    QVERIFY(!difference.passed);
    const UnitRecord::Measurement mismatch = find(Kind::Verification, "temperatureHigh");
    QCOMPARE(mismatch.value, QStringLiteral("50"));
    QCOMPARE(mismatch.expected, QStringLiteral("40"));
    QVERIFY(!mismatch.passed);

    const UnitRecord old = UnitRecords::fromLines(journalOf({"read:1", "fw:1"})).first();
    const UnitRecord::Measurement version = old.steps.at(int(Kind::FirmwareGate)).measurements.value(0);
    QCOMPARE(version.value, QStringLiteral("3.2"));
    QCOMPARE(version.low, QStringLiteral("4.0"));
    QVERIFY(!version.passed);
}

void TestUnitRecords::toJsonNamesEveryField()
{
    const UnitRecord record = UnitRecords::fromLines(journalOf({"read:1", "write:1:refused", "left:1:reset"})).first();
    const QJsonObject json = record.toJson();
    QCOMPARE(json.value("format").toInt(), UnitRecord::kFormat);
    QCOMPARE(json.value("identity").toString(), QStringLiteral("70B3D57ED0000001"));
    QCOMPARE(json.value("idKind").toString(), QStringLiteral("devEui"));
    QCOMPARE(json.value("type").toInt(), 5);
    QCOMPARE(json.value("typeName").toString(), QStringLiteral("LoRa OTAA 5D"));
    QCOMPARE(json.value("bench").toString(), QStringLiteral("bench-3"));
    QCOMPARE(json.value("operator").toString(), QStringLiteral("anna"));
    QCOMPARE(json.value("toolVersion").toString(), QStringLiteral("1.4.0"));
    QCOMPARE(json.value("keyFingerprint").toString(), QStringLiteral("ab12"));
    QCOMPARE(json.value("profile").toString(), QStringLiteral("harbour"));
    QCOMPARE(json.value("profileSha256").toString(), QStringLiteral("5e3f"));
    QCOMPARE(json.value("start").toString(), QStringLiteral("2026-12-08T10:00:00.000Z"));
    QCOMPARE(json.value("end").toString(), QStringLiteral("2026-12-08T10:00:02.000Z"));
    QCOMPARE(json.value("durationMs").toInt(), 2000);
    QCOMPARE(json.value("attempt").toInt(), 1);
    QCOMPARE(json.value("outcome").toString(), QStringLiteral("failed"));
    QCOMPARE(json.value("failureStep").toString(), QStringLiteral("write"));
    QCOMPARE(json.value("failureReason").toString(), QStringLiteral("refused"));
    const QJsonArray steps = json.value("steps").toArray();
    QCOMPARE(steps.size(), 8);
    const QJsonObject write = steps.at(3).toObject();
    QCOMPARE(write.value("step").toString(), QStringLiteral("write"));
    QCOMPARE(write.value("outcome").toString(), QStringLiteral("failed"));
    QCOMPARE(write.value("reason").toString(), QStringLiteral("refused"));
    QCOMPARE(
        write.value("measurements").toArray().first().toObject().value("value").toString(), QStringLiteral("failed"));
    QVERIFY(steps.at(7).toObject().value("start").isNull());
    QCOMPARE(steps.at(7).toObject().value("outcome").toString(), QStringLiteral("notReached"));
}

void TestUnitRecords::operatorFromAnEntryAfterTheLogin()
{
    // The node was read while the login was still to come: its read names no operator, its sleep does.
    QList<QByteArray> lines = journalOf({"read:1", "sleep:1"});
    QJsonObject read = QJsonDocument::fromJson(lines.at(0)).object();
    read.remove(QStringLiteral("operator"));
    QJsonObject sleep = QJsonDocument::fromJson(lines.at(1)).object();
    sleep.insert(QStringLiteral("operator"), QStringLiteral("ben"));
    lines = {QJsonDocument(read).toJson(QJsonDocument::Compact), QJsonDocument(sleep).toJson(QJsonDocument::Compact)};
    QCOMPARE(UnitRecords::fromLines(lines).value(0).operatorName, QStringLiteral("ben"));
}

void TestUnitRecords::hundredThousandEntries()
{
    // Ten-entry units, 10 000 of them on two ports; the derivation must keep pace with the lot view.
    QStringList script;
    for (int unit = 0; unit < 5000; ++unit)
        script << "read:1"
               << "cmp:1:diff"
               << "write:1"
               << "read:1"
               << "verify:1"
               << "label:1"
               << "queued:1"
               << "reg:1:201"
               << "sleep:1"
               << "read:2:" + QString::fromLatin1(kPortB);
    const QList<QByteArray> lines = journalOf(script);
    JournalHistory history;
    for (const QByteArray &line : lines)
        history.addLine(line);
    QCOMPARE(history.entries().size(), 50000);
    QVector<JournalEntry> entries = history.entries();
    entries += history.entries();
    const auto start = std::chrono::steady_clock::now();
    const QVector<UnitRecord> records = UnitRecords::fromEntries(entries);
    const auto elapsed
        = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    qInfo("unit records of %d entries: %lld ms", int(entries.size()), static_cast<long long>(elapsed));
    QCOMPARE(records.size(), 20000);
    QCOMPARE(records.first().outcome, UnitRecord::Outcome::Passed);
    QCOMPARE(records.last().attempt, 10000);
}

QTEST_GUILESS_MAIN(TestUnitRecords)
#include "tst_unitrecords.moc"
