#include "journalhistory.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(HistoryFilter)

namespace {

// History rows by node and lot, as the filter tests name them.
const QString kLot1Node = QStringLiteral("70B3D57ED0000A01/L1");
const QString kLot2Node = QStringLiteral("70B3D57ED0000A01/L2");
const QString kSigFoxNode = QStringLiteral("C0FFEE/");

// A journal of three nodes in two lots, with a line of garbage, an entry without identity, a blank line and a
// last line cut off by a crash.
const char kJournalFile[] = ":/journal-sample.jsonl";

QByteArray sampleJournal()
{
    QFile file(QString::fromLatin1(kJournalFile));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

JournalHistory historyOf(const QByteArray &journal)
{
    JournalHistory history;
    for (const QByteArray &line : journal.split('\n')) {
        if (!line.trimmed().isEmpty())
            history.addLine(line);
    }
    return history;
}

QStringList identifiersAndLots(const QVector<HistoryRow> &rows)
{
    QStringList result;
    for (const HistoryRow &row : rows)
        result << row.identifier + QLatin1Char('/') + row.lot;
    return result;
}

// A row's fields other than its identity and events, as "name=value" in declaration order.
QStringList fieldsOf(const HistoryRow &row)
{
    return {QStringLiteral("time=") + row.lastTime(), QStringLiteral("type=") + row.type,
        QStringLiteral("nodeVersion=") + row.nodeVersion, QStringLiteral("moduleVersion=") + row.moduleVersion,
        QStringLiteral("loraVersion=") + row.loraVersion, QStringLiteral("writes=") + row.writes,
        QStringLiteral("verification=") + row.verification, QStringLiteral("mismatches=") + row.mismatches,
        QStringLiteral("labelCheck=") + row.labelCheck, QStringLiteral("registration=") + row.registration,
        QStringLiteral("status=") + QString::number(row.registrationStatus),
        QStringLiteral("sleeping=") + QLatin1String(row.sleeping ? "true" : "false")};
}

// One journal line of node 70B3D57ED0000A01 as the journal writes it: the event, then further members.
QByteArray entry(const char *event, int second, const QByteArray &lot = QByteArray(), const QByteArray &more = "")
{
    QByteArray text = "{\"devEui\":\"70B3D57ED0000A01\",\"event\":\"" + QByteArray(event)
        + "\",\"time\":\"2026-12-08T10:00:" + QByteArray::number(second).rightJustified(2, '0') + ".000Z\"";
    if (!lot.isEmpty())
        text += ",\"lot\":\"" + lot + "\"";
    if (!more.isEmpty())
        text += "," + more;
    return text + "}\n";
}

const QByteArray kRead = "\"type\":2,\"typeName\":\"LoRa OTAA\",\"nodeVersion\":\"v2.4.1\"";

} // namespace

class JournalHistoryTest : public QObject
{
    Q_OBJECT

private slots:
    void buildsOneRowPerNodeAndLotNewestFirst();
    void rowsKeepTheirEventsInOrder();
    void readsTheFileAndSkipsCutOffLines();
    void missingJournalIsReported();
    void registrationStateFollowsTheStatus_data();
    void registrationStateFollowsTheStatus();
    void lastRegistrationAttemptDecides_data();
    void lastRegistrationAttemptDecides();
    void filtersRows_data();
    void filtersRows();
    void eventDetailsNeverShowSecrets();
    void rowTakesTheLastValueOfEachEvent_data();
    void rowTakesTheLastValueOfEachEvent();
    void lotSetMidNodeKeepsItsRow_data();
    void lotSetMidNodeKeepsItsRow();
};

void JournalHistoryTest::buildsOneRowPerNodeAndLotNewestFirst()
{
    const JournalHistory history = historyOf(sampleJournal());
    QCOMPARE(history.lots(), (QStringList{QStringLiteral("L1"), QStringLiteral("L2")}));
    const QVector<HistoryRow> rows = history.rows();
    QCOMPARE(identifiersAndLots(rows),
        (QStringList{
            QStringLiteral("70B3D57ED0000A01/L2"), QStringLiteral("C0FFEE/"), QStringLiteral("70B3D57ED0000A01/L1")}));

    // Every field of each row, so that one comparison shows all a row got wrong.
    QCOMPARE(fieldsOf(rows.at(0)),
        (QStringList{"time=2026-12-11T00:00:02.000Z", "type=LoRa OTAA",
            "nodeVersion=", "moduleVersion=", "loraVersion=", "writes=", "verification=none",
            "mismatches=", "labelCheck=none", "registration=waiting", "status=-1", "sleeping=false"}));
    QCOMPARE(fieldsOf(rows.at(1)),
        (QStringList{"time=2026-12-09T08:00:10.000Z", "type=SigFox", "nodeVersion=v3.0.2", "moduleVersion=1.1",
            "loraVersion=0.0", "writes=deviceId: timed out", "verification=mismatches",
            "mismatches=reportRate, humidity", "labelCheck=does not match", "registration=refused", "status=404",
            "sleeping=false"}));
    QCOMPARE(fieldsOf(rows.at(2)),
        (QStringList{"time=2026-12-08T17:08:20.000Z", "type=LoRa OTAA 5D", "nodeVersion=v5.2.0", "moduleVersion=1.4",
            "loraVersion=4.2.1", "writes=temperature+reportRate: done", "verification=ok",
            "mismatches=", "labelCheck=none", "registration=updated", "status=201", "sleeping=true"}));
}

void JournalHistoryTest::rowsKeepTheirEventsInOrder()
{
    const JournalHistory history = historyOf(sampleJournal());
    const QVector<HistoryRow> rows = history.rows();
    QStringList events;
    for (int index : rows.at(2).events)
        events << history.entries().at(index).event;
    QCOMPARE(events,
        (QStringList{QStringLiteral("nodeRead"), QStringLiteral("settingsWritten"), QStringLiteral("verified"),
            QStringLiteral("registration"), QStringLiteral("registration"), QStringLiteral("nodeSleeping")}));
    QCOMPARE(rows.at(1).events.size(), 5);
    QCOMPARE(rows.at(0).events.size(), 4);
}

void JournalHistoryTest::readsTheFileAndSkipsCutOffLines()
{
    QTemporaryDir directory;
    QVERIFY(directory.isValid());
    const QString path = directory.filePath(QStringLiteral("journal.jsonl"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(sampleJournal());
    file.close();

    JournalHistory history;
    QString error;
    QVERIFY2(history.readFile(path, &error), qPrintable(error));
    // The line of garbage and the cut-off last line; the blank line is no entry at all.
    QCOMPARE(history.skippedLines(), 2);
    QCOMPARE(history.entries().size(), 16);
    QCOMPARE(history.rows().size(), 3);
}

void JournalHistoryTest::missingJournalIsReported()
{
    QTemporaryDir directory;
    JournalHistory history;
    QString error;
    QVERIFY(!history.readFile(directory.filePath(QStringLiteral("none.jsonl")), &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(history.rows().isEmpty());
}

void JournalHistoryTest::registrationStateFollowsTheStatus_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("state");
    // No answer, an expired login, a refusal to this login, a time-out, throttling and any 5xx are worth trying
    // again; no content, a bad request, not found, a conflict and anything past 5xx are final.
    const QVector<QPair<QString, QVector<int>>> statusesByState{
        {QStringLiteral("added"), {200}},
        {QStringLiteral("updated"), {201}},
        {QStringLiteral("waiting"), {0, 401, 403, 408, 429, 500, 503, 599}},
        {QStringLiteral("refused"), {204, 400, 404, 409, 600}},
    };
    for (const auto &[state, statuses] : statusesByState) {
        for (int status : statuses)
            QTest::newRow(qPrintable(QStringLiteral("%1 %2").arg(status).arg(state))) << status << state;
    }
}

void JournalHistoryTest::registrationStateFollowsTheStatus()
{
    QFETCH(int, status);
    QTEST(JournalHistory::registrationState(status), "state");
}

void JournalHistoryTest::lastRegistrationAttemptDecides_data()
{
    QTest::addColumn<QByteArray>("events");
    QTest::addColumn<QString>("registration");
    QTest::addColumn<int>("status");

    const auto line = [](const char *event, int status) {
        QByteArray text = "{\"devEui\":\"0004A30B001C0A00\",\"time\":\"2026-12-08T10:00:00.000Z\",\"event\":\"";
        text += event;
        text += '"';
        if (status >= 0)
            text += ",\"status\":" + QByteArray::number(status);
        return text + "}\n";
    };
    QTest::newRow("queued only") << line("registrationQueued", -1) << QStringLiteral("waiting")
                                 << int(HistoryRow::kNoStatus);
    QTest::newRow("refused after waiting")
        << line("registrationQueued", -1) + line("registration", 503) + line("registration", 400)
        << QStringLiteral("refused") << 400;
    QTest::newRow("queued again after added")
        << line("registration", 200) + line("registrationQueued", -1) << QStringLiteral("waiting") << 200;
    QTest::newRow("waiting after a time-out")
        << line("registration", 201) + line("registration", 0) << QStringLiteral("waiting") << 0;
    QTest::newRow("never registered") << line("nodeRead", -1) << QString() << int(HistoryRow::kNoStatus);
}

void JournalHistoryTest::lastRegistrationAttemptDecides()
{
    QFETCH(QByteArray, events);
    const QVector<HistoryRow> rows = historyOf(events).rows();
    QCOMPARE(rows.size(), 1);
    QTEST(rows.at(0).registration, "registration");
    QTEST(rows.at(0).registrationStatus, "status");
}

void JournalHistoryTest::filtersRows_data()
{
    QTest::addColumn<HistoryFilter>("filter");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<int>("eventsOfLast");

    HistoryFilter filter;
    filter.allLots = false;
    filter.lot = QStringLiteral("L1");
    QTest::newRow("lot L1") << filter << QStringList{kLot1Node} << 6;
    filter.lot = QString();
    QTest::newRow("outside any lot") << filter << QStringList{kSigFoxNode} << 5;
    filter = HistoryFilter();
    filter.text = QStringLiteral("c0ff");
    QTest::newRow("part of an identifier in lower case") << filter << QStringList{kSigFoxNode} << 5;
    filter.text = QStringLiteral(" 70b3d57ed0000a01 ");
    QTest::newRow("whole identifier with blanks") << filter << QStringList{kLot2Node, kLot1Node} << 6;
    filter.text = QStringLiteral("refused");
    QTest::newRow("registration text") << filter << QStringList{kSigFoxNode} << 5;
    filter.text = QStringLiteral("v5.2");
    QTest::newRow("firmware version") << filter << QStringList{kLot1Node} << 6;
    filter.text = QStringLiteral("404");
    QTest::newRow("registration status") << filter << QStringList{kSigFoxNode} << 5;
    filter.text = QStringLiteral("nothing like it");
    QTest::newRow("no match") << filter << QStringList() << 0;
    filter = HistoryFilter();
    filter.since = QDate(2026, 12, 9);
    filter.until = QDate(2026, 12, 9);
    QTest::newRow("one day") << filter << QStringList{kSigFoxNode} << 5;
    filter.until = QDate(2026, 12, 10);
    QTest::newRow("until includes the last millisecond of the day")
        << filter << QStringList{kLot2Node, kSigFoxNode} << 5;
    filter = HistoryFilter();
    filter.since = QDate(2026, 12, 11);
    QTest::newRow("since cuts a row's earlier events") << filter << QStringList{kLot2Node} << 3;
    filter = HistoryFilter();
    filter.until = QDate(2026, 12, 8);
    QTest::newRow("until only") << filter << QStringList{kLot1Node} << 6;
    filter.allLots = false;
    filter.lot = QStringLiteral("L2");
    QTest::newRow("lot and dates together") << filter << QStringList() << 0;
}

void JournalHistoryTest::filtersRows()
{
    QFETCH(HistoryFilter, filter);
    QFETCH(int, eventsOfLast);
    const QVector<HistoryRow> rows = historyOf(sampleJournal()).rows(filter);
    QTEST(identifiersAndLots(rows), "rows");
    if (!rows.isEmpty())
        QCOMPARE(rows.last().events.size(), eventsOfLast);
}

void JournalHistoryTest::eventDetailsNeverShowSecrets()
{
    const JournalHistory history
        = historyOf("{\"appKey\":\"2B7E151628AED2A6ABF7158809CF4F3C\",\"devEui\":\"70B3D57ED0000A01\",\"event\":"
                    "\"settingsWritten\",\"flags\":[\"appKey\",\"netId\"],\"lot\":\"L1\",\"pac\":\"0123456789ABCDEF\","
                    "\"reason\":\"node busy\",\"result\":1,\"time\":\"2026-12-08T10:00:00.000Z\",\"token\":\"abc\"}");
    QCOMPARE(history.entries().size(), 1);
    QCOMPARE(JournalHistory::eventDetails(history.entries().at(0)),
        QStringLiteral("flags=appKey+netId, reason=node busy, result=1"));
}

void JournalHistoryTest::rowTakesTheLastValueOfEachEvent_data()
{
    QTest::addColumn<QByteArray>("journal");
    QTest::addColumn<QString>("labelCheck");
    QTest::addColumn<QString>("verification");
    QTest::addColumn<QString>("mismatches");
    QTest::addColumn<QString>("type");

    QTest::newRow("label matching at its last check")
        << entry("labelChecked", 1, "", "\"label\":{},\"match\":false")
            + entry("labelChecked", 2, "", "\"label\":{},\"match\":true")
        << QStringLiteral("matches") << QStringLiteral("none") << QString() << QString();
    QTest::newRow("line holding match twice is skipped")
        << entry("labelChecked", 1, "", "\"label\":{},\"match\":false")
            + entry("labelChecked", 2, "", "\"label\":{},\"match\":false,\"match\":true")
        << QStringLiteral("does not match") << QStringLiteral("none") << QString() << QString();
    QTest::newRow("a node set aside as not configured says so in its type")
        << entry("nodeRead", 1, "", kRead) + entry("notConfigured", 2, "", "\"reason\":\"noIdentity\"")
        << QStringLiteral("none") << QStringLiteral("none") << QString()
        << QStringLiteral("LoRa OTAA (not configured)");
    QTest::newRow("a node read again after it was set aside is its type again")
        << entry("nodeRead", 1, "", kRead) + entry("notConfigured", 2, "", "\"reason\":\"noIdentity\"")
            + entry("nodeRead", 3, "", kRead)
        << QStringLiteral("none") << QStringLiteral("none") << QString() << QStringLiteral("LoRa OTAA");
    QTest::newRow("mismatches named by their settings")
        << entry("verified", 1, "",
               "\"ok\":false,\"mismatches\":[{\"field\":\"temperature\",\"written\":\"-10..50\",\"read\":\"-10..40\"},"
               "{\"field\":\"appKey\"}]")
        << QStringLiteral("none") << QStringLiteral("mismatches") << QStringLiteral("temperature, appKey") << QString();
}

void JournalHistoryTest::rowTakesTheLastValueOfEachEvent()
{
    QFETCH(QByteArray, journal);
    const QVector<HistoryRow> rows = historyOf(journal).rows();
    QCOMPARE(rows.size(), 1);
    QTEST(rows.at(0).labelCheck, "labelCheck");
    QTEST(rows.at(0).verification, "verification");
    QTEST(rows.at(0).mismatches, "mismatches");
    QTEST(rows.at(0).type, "type");
}

void JournalHistoryTest::lotSetMidNodeKeepsItsRow_data()
{
    QTest::addColumn<QByteArray>("journal");
    QTest::addColumn<HistoryFilter>("filter");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QString>("type");
    QTest::addColumn<bool>("sleeping");
    QTest::addColumn<int>("events");

    HistoryFilter all;
    HistoryFilter lotL1;
    lotL1.allLots = false;
    lotL1.lot = QStringLiteral("L1");
    const QByteArray setWhileShown = entry("nodeRead", 1, "", kRead) + entry("registration", 2, "L1", "\"status\":200")
        + entry("nodeSleeping", 3, "L1");
    QTest::newRow("lot set while the node is shown")
        << setWhileShown << all << QStringList{QStringLiteral("70B3D57ED0000A01/L1")} << QStringLiteral("LoRa OTAA")
        << true << 3;
    QTest::newRow("lot filter finds the whole row")
        << setWhileShown << lotL1 << QStringList{QStringLiteral("70B3D57ED0000A01/L1")} << QStringLiteral("LoRa OTAA")
        << true << 3;
    QTest::newRow("lot changed before the read back of a write")
        << entry("nodeRead", 1, "L0", kRead)
            + entry("settingsWritten", 2, "L1", "\"flags\":[\"reportRate\"],\"result\":2")
            + entry("nodeRead", 3, "L1", kRead) + entry("verified", 4, "L1", "\"ok\":true,\"mismatches\":[]")
        << all << QStringList{QStringLiteral("70B3D57ED0000A01/L1")} << QStringLiteral("LoRa OTAA") << false << 4;
}

void JournalHistoryTest::lotSetMidNodeKeepsItsRow()
{
    QFETCH(QByteArray, journal);
    QFETCH(HistoryFilter, filter);
    const QVector<HistoryRow> rows = historyOf(journal).rows(filter);
    QTEST(identifiersAndLots(rows), "rows");
    QTEST(rows.at(0).type, "type");
    QTEST(rows.at(0).sleeping, "sleeping");
    QTEST(int(rows.at(0).events.size()), "events");
}

QTEST_APPLESS_MAIN(JournalHistoryTest)
#include "tst_journalhistory.moc"
