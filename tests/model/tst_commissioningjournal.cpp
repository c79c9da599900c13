#include "commissioningjournal.h"
#include "nodebuilders.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <functional>
#include <sys/stat.h>

namespace {

Node loraNode()
{
    NodeOptions options;
    options.nodeVersion = QStringLiteral("v5.2.0");
    options.lockDescription = QStringLiteral("Door 4, north wing");
    return healthyNode(Node::LoRaOTAA5D, options);
}

Node sigfoxNode()
{
    NodeOptions options;
    options.nodeVersion = QStringLiteral("v3.0.2");
    return healthyNode(Node::SigFox, options);
}

using Recorder = std::function<bool(CommissioningJournal &)>;

// The bench every entry of the table is written on.
const char kBench[] = "bench-3";

// A nodeRead entry's fields with what every read adds: the bench, the thresholds read and the report rate.
QVariantMap readEntry(QVariantMap fields, bool thresholdsRead = true, int reportRate = 15)
{
    fields.insert(QStringLiteral("bench"), QLatin1String(kBench));
    fields.insert(QStringLiteral("reportRate"), reportRate);
    QVariantMap thresholds;
    if (thresholdsRead)
        thresholds = {{"temperatureHigh", 50}, {"temperatureLow", -10}, {"humidityHigh", 90}, {"humidityLow", 10},
            {"pressureHigh", 1234}, {"pressureLow", 250}, {"accelX", 150}, {"accelY", 3}, {"accelZ", 4},
            {"accelD", 128}};
    fields.insert(QStringLiteral("thresholds"), thresholds);
    return fields;
}

} // namespace

Q_DECLARE_METATYPE(Recorder)

class CommissioningJournalTest : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void eachEventWritesOneLineWithItsFields_data();
    void eachEventWritesOneLineWithItsFields();
    void entriesAreStampedWithTheCurrentTimeInUtc();
    void entriesAreReadBackInTheOrderWritten();
    void noEntryCarriesTheApplicationKeyOrThePac();
    void lotIsCarriedWhileSetAndDroppedWhenCleared();

    void tornLastLineIsSkippedOnReading();
    void appendAfterATornLineStartsOnAFreshLine();
    void missingJournalReadsAsEmpty();
    void twoWritersAtOnceNeverMixTheirLines();

    void firstEntryCreatesTheDataDirectory();
    void journalFoundReadableByOthersIsTightened_data();
    void journalFoundReadableByOthersIsTightened();
    void unwritableJournalReportsFailure();
    void defaultJournalLivesInTheApplicationDataDirectory();

    void flagNamesFollowTheBitOrder_data();
    void flagNamesFollowTheBitOrder();

private:
    QString journalPath() const { return dir->filePath(QStringLiteral("journal.jsonl")); }
    QByteArray rawJournal() const;

    std::unique_ptr<QTemporaryDir> dir;
};

void CommissioningJournalTest::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
}

QByteArray CommissioningJournalTest::rawJournal() const
{
    QFile file(journalPath());
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

void CommissioningJournalTest::eachEventWritesOneLineWithItsFields_data()
{
    QTest::addColumn<Recorder>("record");
    QTest::addColumn<QVariantMap>("expected"); // every field but the time

    QTest::newRow("LoRa node read") << Recorder(
        [](CommissioningJournal &j) { return j.recordNodeRead(QStringLiteral("ttyACM0"), loraNode()); })
                                    << readEntry(QVariantMap{{"event", "nodeRead"}, {"port", "ttyACM0"}, {"type", 5},
                                           {"typeName", "LoRa OTAA 5D"}, {"devEui", "70B3D57ED0000A01"},
                                           {"nodeVersion", "v5.2.0"}, {"moduleVersion", "1.4"},
                                           {"loraVersion", "4.2.1"}, {"joinEui", "0004A30B001C0A00"}});
    QTest::newRow("SigFox node read") << Recorder(
        [](CommissioningJournal &j) { return j.recordNodeRead(QStringLiteral("/dev/ttyUSB1"), sigfoxNode()); })
                                      << readEntry(QVariantMap{{"event", "nodeRead"}, {"port", "/dev/ttyUSB1"},
                                             {"type", 3}, {"typeName", "SigFox"}, {"sigfoxId", "C0FFEE"},
                                             {"nodeVersion", "v3.0.2"}, {"moduleVersion", "1.4"},
                                             {"loraVersion", "4.2.1"}});
    QTest::newRow("unconfigured node read")
        << Recorder([](CommissioningJournal &j) {
               Node node;
               node.nodeVersion = QStringLiteral("v9.1");
               node.firmwareType = static_cast<Node::eFirmwareType>(9);
               return j.recordNodeRead(QStringLiteral("ttyACM0"), node);
           })
        << readEntry(QVariantMap{{"event", "nodeRead"}, {"port", "ttyACM0"}, {"type", 9}, {"typeName", ""},
                         {"nodeVersion", "v9.1"}, {"moduleVersion", ""}, {"loraVersion", ""}},
               false, Node().reportRate);
    QTest::newRow("settings written") << Recorder([](CommissioningJournal &j) {
        return j.recordSettingsWritten(loraNode(), Node::FlagAppKey | Node::FlagTemperature | Node::FlagReportRate, 2);
    })
                                      << QVariantMap{{"event", "settingsWritten"}, {"devEui", "70B3D57ED0000A01"},
                                             {"flags", QStringList{"appKey", "temperature", "reportRate"}},
                                             {"result", 2}};
    QTest::newRow("settings timed out") << Recorder(
        [](CommissioningJournal &j) { return j.recordSettingsWritten(loraNode(), Node::FlagNetId, 3); })
                                        << QVariantMap{{"event", "settingsWritten"}, {"devEui", "70B3D57ED0000A01"},
                                               {"flags", QStringList{"netId"}}, {"result", 3}};
    QTest::newRow("device id written") << Recorder([](CommissioningJournal &j) {
        return j.recordDeviceIdWritten(loraNode(), 1);
    }) << QVariantMap{{"event", "deviceIdWritten"}, {"devEui", "70B3D57ED0000A01"}, {"result", 1}};
    QTest::newRow("SigFox data written") << Recorder([](CommissioningJournal &j) {
        return j.recordSigfoxDataWritten(sigfoxNode(), 2);
    }) << QVariantMap{{"event", "sigfoxDataWritten"}, {"sigfoxId", "C0FFEE"}, {"result", 2}};
    QTest::newRow("registration") << Recorder([](CommissioningJournal &j) {
        return j.recordRegistration(loraNode(), 201);
    }) << QVariantMap{{"event", "registration"}, {"devEui", "70B3D57ED0000A01"}, {"status", 201}, {"attempt", 1}};
    QTest::newRow("node put to sleep") << Recorder([](CommissioningJournal &j) {
        return j.recordNodeSleeping(sigfoxNode());
    }) << QVariantMap{{"event", "nodeSleeping"}, {"sigfoxId", "C0FFEE"}};
    QTest::newRow("node read with the key fingerprint")
        << Recorder([](CommissioningJournal &j) {
               j.setKeyFingerprint(QStringLiteral("5D:1F:0A:93"));
               return j.recordNodeRead(QStringLiteral("ttyACM0"), loraNode());
           })
        << readEntry(QVariantMap{{"event", "nodeRead"}, {"port", "ttyACM0"}, {"type", 5}, {"typeName", "LoRa OTAA 5D"},
               {"devEui", "70B3D57ED0000A01"}, {"nodeVersion", "v5.2.0"}, {"moduleVersion", "1.4"},
               {"loraVersion", "4.2.1"}, {"keyFingerprint", "5D:1F:0A:93"}, {"joinEui", "0004A30B001C0A00"}});
    QTest::newRow("node read names the operator, the build and the profile")
        << Recorder([](CommissioningJournal &j) {
               j.setOperatorName(QStringLiteral("anna"));
               QCoreApplication::setApplicationVersion(QStringLiteral("1.4.0"));
               const bool written
                   = j.recordNodeRead(QStringLiteral("ttyACM0"), loraNode(), QStringLiteral("harbour"), "5e3f");
               QCoreApplication::setApplicationVersion(QString());
               return written;
           })
        << readEntry(QVariantMap{{"event", "nodeRead"}, {"port", "ttyACM0"}, {"type", 5}, {"typeName", "LoRa OTAA 5D"},
               {"devEui", "70B3D57ED0000A01"}, {"nodeVersion", "v5.2.0"}, {"moduleVersion", "1.4"},
               {"loraVersion", "4.2.1"}, {"operator", "anna"}, {"toolVersion", "1.4.0"}, {"profile", "harbour"},
               {"profileSha256", "5e3f"}, {"joinEui", "0004A30B001C0A00"}});
    QTest::newRow("label printed") << Recorder([](CommissioningJournal &j) {
        return j.recordLabelPrinted(QStringLiteral("70B3D57ED0000A01"), false, QStringLiteral("Zebra-1"), QString());
    }) << QVariantMap{{"event", "labelPrinted"}, {"devEui", "70B3D57ED0000A01"}, {"target", "Zebra-1"}, {"ok", true}};
    QTest::newRow("label not printed, texts cleaned")
        << Recorder([](CommissioningJournal &j) {
               return j.recordLabelPrinted(QStringLiteral("C0FFEE"), true, QStringLiteral("Zebra\u202E-1"),
                   QStringLiteral("The printer Zebra-1 is not known\n"));
           })
        << QVariantMap{{"event", "labelPrinted"}, {"sigfoxId", "C0FFEE"}, {"target", "Zebra-1"}, {"ok", false},
               {"failure", "The printer Zebra-1 is not known"}};
    QTest::newRow("profile compared: differences")
        << Recorder([](CommissioningJournal &j) {
               return j.recordProfileCompared(loraNode(), QStringLiteral("harbour"),
                   {{QStringLiteral("temperature"), QStringLiteral("-10 to 40"), QStringLiteral("-10 to 50")},
                       {QStringLiteral("appKey"), QStringLiteral("a"), QStringLiteral("b")}});
           })
        << QVariantMap{{"event", "profileCompared"}, {"devEui", "70B3D57ED0000A01"}, {"profile", "harbour"},
               {"matches", false},
               {"differences",
                   QVariantList{
                       QVariantMap{{"field", "temperature"}, {"profile", "-10 to 40"}, {"node", "-10 to 50"}}}}};
    QTest::newRow("profile compared: matches") << Recorder(
        [](CommissioningJournal &j) { return j.recordProfileCompared(sigfoxNode(), QStringLiteral("harbour"), {}); })
                                               << QVariantMap{{"event", "profileCompared"}, {"sigfoxId", "C0FFEE"},
                                                      {"profile", "harbour"}, {"matches", true},
                                                      {"differences", QVariantList()}};
    QTest::newRow("node left") << Recorder([](CommissioningJournal &j) {
        return j.recordNodeLeft(
            QStringLiteral("ttyUSB0"), loraNode(), QLatin1String(CommissioningJournal::kLeftPortLost));
    })
                               << QVariantMap{{"event", "nodeLeft"}, {"devEui", "70B3D57ED0000A01"},
                                      {"port", "ttyUSB0"}, {"reason", "portLost"}};
    QTest::newRow("DevEUI held with colons in lower case") << Recorder([](CommissioningJournal &j) {
        Node node = loraNode();
        node.euid = QStringLiteral("70:b3:d5:7e:d0:00:0a:01");
        return j.recordNodeSleeping(node);
    }) << QVariantMap{{"event", "nodeSleeping"}, {"devEui", "70B3D57ED0000A01"}};
    QTest::newRow("settings refused by the node")
        << Recorder([](CommissioningJournal &j) {
               return j.recordSettingsWritten(
                   loraNode(), Node::FlagHumidity, 1, QString::fromLatin1(CommissioningJournal::kReasonRefused));
           })
        << QVariantMap{{"event", "settingsWritten"}, {"devEui", "70B3D57ED0000A01"}, {"flags", QStringList{"humidity"}},
               {"result", 1}, {"reason", "refused"}};
    QTest::newRow("settings without a port")
        << Recorder([](CommissioningJournal &j) {
               return j.recordSettingsWritten(
                   loraNode(), Node::FlagReportRate, 1, QString::fromLatin1(CommissioningJournal::kReasonNoPort));
           })
        << QVariantMap{{"event", "settingsWritten"}, {"devEui", "70B3D57ED0000A01"},
               {"flags", QStringList{"reportRate"}}, {"result", 1}, {"reason", "noPort"}};
    QTest::newRow("a reason given with success is dropped")
        << Recorder([](CommissioningJournal &j) {
               return j.recordSettingsWritten(
                   loraNode(), Node::FlagReportRate, 2, QString::fromLatin1(CommissioningJournal::kReasonNoPort));
           })
        << QVariantMap{{"event", "settingsWritten"}, {"devEui", "70B3D57ED0000A01"},
               {"flags", QStringList{"reportRate"}}, {"result", 2}};
    QTest::newRow("a reason given with a time-out is dropped") << Recorder([](CommissioningJournal &j) {
        return j.recordDeviceIdWritten(loraNode(), 3, QString::fromLatin1(CommissioningJournal::kReasonRefused));
    }) << QVariantMap{{"event", "deviceIdWritten"}, {"devEui", "70B3D57ED0000A01"}, {"result", 3}};
    QTest::newRow("device id that could not be encoded") << Recorder([](CommissioningJournal &j) {
        return j.recordDeviceIdWritten(loraNode(), 1, QString::fromLatin1(CommissioningJournal::kReasonInvalidValue));
    })
                                                         << QVariantMap{{"event", "deviceIdWritten"},
                                                                {"devEui", "70B3D57ED0000A01"}, {"result", 1},
                                                                {"reason", "invalidValue"}};
    QTest::newRow("SigFox data write cut off by a disconnect") << Recorder([](CommissioningJournal &j) {
        return j.recordSigfoxDataWritten(
            sigfoxNode(), 1, QString::fromLatin1(CommissioningJournal::kReasonInterrupted));
    }) << QVariantMap{{"event", "sigfoxDataWritten"}, {"sigfoxId", "C0FFEE"}, {"result", 1}, {"reason", "interrupted"}};
    QTest::newRow("registration queued") << Recorder([](CommissioningJournal &j) {
        return j.recordRegistrationQueued(loraNode(), 42);
    }) << QVariantMap{{"event", "registrationQueued"}, {"devEui", "70B3D57ED0000A01"}, {"outboxId", 42}};
    QTest::newRow("third attempt of a registration")
        << Recorder([](CommissioningJournal &j) { return j.recordRegistration(loraNode(), 503, 3, 42); })
        << QVariantMap{{"event", "registration"}, {"devEui", "70B3D57ED0000A01"}, {"status", 503}, {"attempt", 3},
               {"outboxId", 42}};
    QTest::newRow("registration sent again from the outbox")
        << Recorder(
               [](CommissioningJournal &j) { return j.recordRegistration(QStringLiteral("C0FFEE"), true, 0, 2, 7); })
        << QVariantMap{
               {"event", "registration"}, {"sigfoxId", "C0FFEE"}, {"status", 0}, {"attempt", 2}, {"outboxId", 7}};
    QTest::newRow("attempt without an HTTP status names the failure")
        << Recorder([](CommissioningJournal &j) {
               return j.recordRegistration(loraNode(), 0, 2, 7, QStringLiteral("connectionRefused"));
           })
        << QVariantMap{{"event", "registration"}, {"devEui", "70B3D57ED0000A01"}, {"status", 0}, {"attempt", 2},
               {"outboxId", 7}, {"failure", "connectionRefused"}};
    QTest::newRow("key mismatch") << Recorder([](CommissioningJournal &j) {
        j.setKeyFingerprint(QStringLiteral("5D:1F:0A:93"));
        return j.recordKeyMismatch(QStringLiteral("ttyUSB0"));
    })
                                  << QVariantMap{{"event", "keyMismatch"}, {"port", "ttyUSB0"},
                                         {"keyFingerprint", "5D:1F:0A:93"}, {"bench", kBench}};
    QTest::newRow("verified") << Recorder([](CommissioningJournal &j) {
        return j.recordVerified(sigfoxNode(), true);
    }) << QVariantMap{{"event", "verified"}, {"sigfoxId", "C0FFEE"}, {"ok", true}, {"mismatches", QVariantList()}};
    QTest::newRow("verification found differences")
        << Recorder([](CommissioningJournal &j) {
               return j.recordVerified(loraNode(), false,
                   {{QStringLiteral("reportRate"), QStringLiteral("15"), QStringLiteral("60")},
                       {QStringLiteral("appKey"), loraNode().appKey, QStringLiteral("00")}});
           })
        << QVariantMap{{"event", "verified"}, {"devEui", "70B3D57ED0000A01"}, {"ok", false},
               {"mismatches",
                   QVariantList{QVariantMap{{"field", "reportRate"}, {"written", "15"}, {"read", "60"}},
                       QVariantMap{{"field", "appKey"}}}}};
    QTest::newRow("firmware too old") << Recorder(
        [](CommissioningJournal &j) { return j.recordFirmwareTooOld(loraNode(), QStringLiteral("v5.3.0")); })
                                      << QVariantMap{{"event", "firmwareTooOld"}, {"devEui", "70B3D57ED0000A01"},
                                             {"nodeVersion", "v5.2.0"}, {"minNodeVersion", "v5.3.0"}};
    QTest::newRow("label checked") << Recorder([](CommissioningJournal &j) {
        return j.recordLabelChecked(sigfoxNode(),
            {{QStringLiteral("sigfoxId"), QStringLiteral("C0FFEE")}, {QStringLiteral("pac"), sigfoxNode().pac}}, true);
    })
                                   << QVariantMap{{"event", "labelChecked"}, {"sigfoxId", "C0FFEE"},
                                          {"label", QVariantMap{{"sigfoxId", "C0FFEE"}}}, {"match", true}};
    QTest::newRow("every entry names the operator") << Recorder([](CommissioningJournal &j) {
        j.setOperatorName(QStringLiteral("anna"));
        return j.recordNodeSleeping(sigfoxNode());
    }) << QVariantMap{{"event", "nodeSleeping"}, {"sigfoxId", "C0FFEE"}, {"operator", "anna"}};
    QTest::newRow("every entry names the lot")
        << Recorder([](CommissioningJournal &j) {
               j.setLot(QStringLiteral("L2026-49"));
               return j.recordFirmwareTooOld(loraNode(), QStringLiteral("v5.3.0"));
           })
        << QVariantMap{{"event", "firmwareTooOld"}, {"devEui", "70B3D57ED0000A01"}, {"nodeVersion", "v5.2.0"},
               {"minNodeVersion", "v5.3.0"}, {"lot", "L2026-49"}};
}

void CommissioningJournalTest::eachEventWritesOneLineWithItsFields()
{
    QFETCH(Recorder, record);
    QFETCH(QVariantMap, expected);

    CommissioningJournal journal(journalPath());
    journal.setBench(QLatin1String(kBench));
    QVERIFY(record(journal));

    const QByteArray raw = rawJournal();
    QCOMPARE(raw.count('\n'), 1);
    QVERIFY(raw.endsWith('\n'));

    const QVector<QJsonObject> entries = journal.entries();
    QCOMPARE(entries.size(), 1);
    QVariantMap actual = entries.first().toVariantMap();
    QVERIFY(actual.contains(QStringLiteral("time")));
    actual.remove(QStringLiteral("time"));
    // Compared as JSON, so that numbers, texts and lists must match in kind as well as value.
    QCOMPARE(QJsonObject::fromVariantMap(actual), QJsonObject::fromVariantMap(expected));
}

void CommissioningJournalTest::entriesAreStampedWithTheCurrentTimeInUtc()
{
    CommissioningJournal journal(journalPath());
    const QDateTime before = QDateTime::currentDateTimeUtc().addMSecs(-1);
    QVERIFY(journal.recordNodeSleeping(loraNode()));
    const QDateTime after = QDateTime::currentDateTimeUtc().addMSecs(1);

    const QString text = journal.entries().value(0).value(QStringLiteral("time")).toString();
    QVERIFY2(text.endsWith(QLatin1Char('Z')), qPrintable(text));
    const QDateTime stamp = QDateTime::fromString(text, Qt::ISODateWithMs);
    QVERIFY2(stamp.isValid(), qPrintable(text));
    QCOMPARE(stamp.timeSpec(), Qt::UTC);
    QVERIFY2(stamp >= before && stamp <= after, qPrintable(text));
}

void CommissioningJournalTest::entriesAreReadBackInTheOrderWritten()
{
    {
        CommissioningJournal journal(journalPath());
        QVERIFY(journal.recordNodeRead(QStringLiteral("ttyACM0"), loraNode()));
        QVERIFY(journal.recordSettingsWritten(loraNode(), Node::FlagHumidity, 2));
    }
    // A later run of the tool appends to what earlier runs wrote.
    CommissioningJournal journal(journalPath());
    QVERIFY(journal.recordRegistration(loraNode(), 200));
    QVERIFY(journal.recordNodeSleeping(loraNode()));

    QStringList events;
    for (const QJsonObject &entry : journal.entries())
        events << entry.value(QStringLiteral("event")).toString();
    QCOMPARE(events, (QStringList{"nodeRead", "settingsWritten", "registration", "nodeSleeping"}));
}

void CommissioningJournalTest::noEntryCarriesTheApplicationKeyOrThePac()
{
    CommissioningJournal journal(journalPath());
    // The operator's name is carried, the password it logged in with never reaches the journal.
    journal.setOperatorName(QStringLiteral("anna"));
    for (const Node &node : {loraNode(), sigfoxNode()}) {
        QVERIFY(journal.recordNodeRead(QStringLiteral("ttyACM0"), node));
        QVERIFY(journal.recordSettingsWritten(node, Node::FlagsWritable, 2));
        QVERIFY(journal.recordDeviceIdWritten(node, 2));
        QVERIFY(journal.recordSigfoxDataWritten(node, 2));
        QVERIFY(journal.recordRegistration(node, 200));
        QVERIFY(journal.recordNodeSleeping(node));
        QVERIFY(journal.recordVerified(node, false,
            {{QStringLiteral("appKey"), loraNode().appKey, loraNode().appKey.toLower()},
                {QStringLiteral("pac"), sigfoxNode().pac, QString()}}));
        QVERIFY(journal.recordLabelChecked(
            node, {{QStringLiteral("AppKey"), loraNode().appKey}, {QStringLiteral("PAC"), sigfoxNode().pac}}, false));
        QVERIFY(journal.recordProfileCompared(node, QStringLiteral("harbour"),
            {{QStringLiteral("appKey"), loraNode().appKey, loraNode().appKey.toLower()},
                {QStringLiteral("pac"), sigfoxNode().pac, QString()}}));
        QVERIFY(journal.recordNodeLeft(QStringLiteral("ttyACM0"), node, QStringLiteral("reset")));
    }
    const QByteArray raw = rawJournal();
    QCOMPARE(raw.count('\n'), 20);
    QVERIFY(!raw.toUpper().contains(loraNode().appKey.toLatin1()));
    QVERIFY(!raw.contains(loraNode().appKey.toLower().toLatin1()));
    QVERIFY(!raw.contains(sigfoxNode().pac.toLatin1()));

    const QSet<QString> allowed = {"time", "event", "devEui", "sigfoxId", "port", "type", "typeName", "nodeVersion",
        "moduleVersion", "loraVersion", "flags", "result", "status", "attempt", "ok", "mismatches", "label", "match",
        "bench", "thresholds", "reportRate", "profile", "matches", "differences", "reason", "operator", "joinEui"};
    for (const QJsonObject &entry : journal.entries()) {
        for (const QString &key : entry.keys())
            QVERIFY2(allowed.contains(key), qPrintable(key));
    }
}

void CommissioningJournalTest::lotIsCarriedWhileSetAndDroppedWhenCleared()
{
    CommissioningJournal journal(journalPath());
    QVERIFY(journal.recordNodeSleeping(loraNode()));
    journal.setLot(QStringLiteral("L2026-49"));
    QVERIFY(journal.recordNodeRead(QStringLiteral("ttyACM0"), loraNode()));
    QVERIFY(journal.recordKeyMismatch(QStringLiteral("ttyACM0")));
    QVERIFY(journal.recordRegistration(QStringLiteral("C0FFEE"), true, 201, 1));
    journal.setLot(QStringLiteral("L2026-50"));
    QVERIFY(journal.recordSettingsWritten(loraNode(), Node::FlagHumidity, 2));
    journal.setLot(QString());
    QVERIFY(journal.recordNodeSleeping(loraNode()));

    QStringList lots;
    for (const QJsonObject &entry : journal.entries())
        lots << (entry.contains(QStringLiteral("lot")) ? entry.value(QStringLiteral("lot")).toString()
                                                       : QStringLiteral("-"));
    QCOMPARE(lots, (QStringList{"-", "L2026-49", "L2026-49", "L2026-49", "L2026-50", "-"}));
}

void CommissioningJournalTest::tornLastLineIsSkippedOnReading()
{
    CommissioningJournal journal(journalPath());
    QVERIFY(journal.recordNodeRead(QStringLiteral("ttyACM0"), loraNode()));
    QVERIFY(journal.recordRegistration(loraNode(), 200));
    // What a crash in the middle of writing the third entry leaves behind.
    QFile file(journalPath());
    QVERIFY(file.open(QIODevice::Append));
    file.write("{\"event\":\"nodeSleeping\",\"devEui\":\"70B3D5");
    file.close();

    int skipped = -1;
    const QVector<QJsonObject> entries = journal.entries(&skipped);
    QCOMPARE(entries.size(), 2);
    QCOMPARE(skipped, 1);
    QCOMPARE(entries.at(1).value(QStringLiteral("status")).toInt(), 200);
}

void CommissioningJournalTest::appendAfterATornLineStartsOnAFreshLine()
{
    CommissioningJournal journal(journalPath());
    QVERIFY(journal.recordNodeRead(QStringLiteral("ttyACM0"), loraNode()));
    QFile file(journalPath());
    QVERIFY(file.open(QIODevice::Append));
    file.write("{\"event\":\"registration\",\"dev");
    file.close();

    QVERIFY(journal.recordNodeSleeping(loraNode()));
    QVERIFY(journal.recordRegistration(loraNode(), 201));

    int skipped = -1;
    const QVector<QJsonObject> entries = journal.entries(&skipped);
    QCOMPARE(skipped, 1);
    QCOMPARE(entries.size(), 3);
    QCOMPARE(entries.at(1).value(QStringLiteral("event")).toString(), QStringLiteral("nodeSleeping"));
    QCOMPARE(entries.at(2).value(QStringLiteral("status")).toInt(), 201);
    const QList<QByteArray> lines = rawJournal().split('\n');
    QCOMPARE(lines.size(), 5); // four lines and the empty rest after the last newline
    QCOMPARE(lines.at(1), QByteArray("{\"event\":\"registration\",\"dev"));
    QVERIFY(lines.at(4).isEmpty());
}

void CommissioningJournalTest::missingJournalReadsAsEmpty()
{
    CommissioningJournal journal(journalPath());
    int skipped = -1;
    QVERIFY(journal.entries(&skipped).isEmpty());
    QCOMPARE(skipped, 0);
    QVERIFY(!QFile::exists(journalPath())); // reading creates nothing
}

void CommissioningJournalTest::twoWritersAtOnceNeverMixTheirLines()
{
    const int perWriter = 100;
    auto writer = [this, perWriter](const Node &node) {
        return QThread::create([this, node, perWriter] {
            CommissioningJournal journal(journalPath());
            for (int i = 0; i < perWriter; ++i)
                journal.recordSettingsWritten(node, Node::FlagsWritable, i);
        });
    };
    std::unique_ptr<QThread> first(writer(loraNode()));
    std::unique_ptr<QThread> second(writer(sigfoxNode()));
    first->start();
    second->start();
    QVERIFY(first->wait(60000));
    QVERIFY(second->wait(60000));

    int skipped = -1;
    const QVector<QJsonObject> entries = CommissioningJournal(journalPath()).entries(&skipped);
    QCOMPARE(skipped, 0);
    QCOMPARE(entries.size(), 2 * perWriter);
    // Each writer's entries arrive whole and in its own order.
    int nextLora = 0;
    int nextSigfox = 0;
    for (const QJsonObject &entry : entries) {
        const int result = entry.value(QStringLiteral("result")).toInt();
        if (entry.contains(QStringLiteral("devEui")))
            QCOMPARE(result, nextLora++);
        else
            QCOMPARE(result, nextSigfox++);
        QCOMPARE(entry.value(QStringLiteral("flags")).toArray().size(), 8);
    }
    QCOMPARE(nextLora, perWriter);
    QCOMPARE(nextSigfox, perWriter);
}

void CommissioningJournalTest::firstEntryCreatesTheDataDirectory()
{
    const QString path = dir->filePath(QStringLiteral("share/DARV/iot_commission/journal.jsonl"));
    CommissioningJournal journal(path);
    QVERIFY(journal.recordNodeSleeping(loraNode()));
    QCOMPARE(journal.entries().size(), 1);
}

void CommissioningJournalTest::journalFoundReadableByOthersIsTightened_data()
{
    QTest::addColumn<bool>("append"); // tightened by the next entry, else by tightenPermissions()
    QTest::addColumn<int>("mode");

    QTest::newRow("next entry, 0644") << true << 0644;
    QTest::newRow("next entry, 0666") << true << 0666;
    QTest::newRow("on opening, 0644") << false << 0644;
}

void CommissioningJournalTest::journalFoundReadableByOthersIsTightened()
{
    QFETCH(bool, append);
    QFETCH(int, mode);

    QFile file(journalPath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QVERIFY(::chmod(QFile::encodeName(journalPath()).constData(), mode_t(mode)) == 0);
    CommissioningJournal journal(journalPath());
    if (append)
        QVERIFY(journal.recordNodeSleeping(loraNode()));
    else
        QCOMPARE(journal.tightenPermissions(), QString());
    struct stat status = {};
    QVERIFY(::stat(QFile::encodeName(journalPath()).constData(), &status) == 0);
    QCOMPARE(int(status.st_mode & 07777), 0600);
}

void CommissioningJournalTest::unwritableJournalReportsFailure()
{
    // A data directory that is a plain file cannot hold the journal, even for root.
    QFile blocker(dir->filePath(QStringLiteral("share")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    CommissioningJournal journal(dir->filePath(QStringLiteral("share/journal.jsonl")));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^CommissioningJournal: could not write ")));
    QVERIFY(!journal.recordNodeSleeping(loraNode()));
    QVERIFY(journal.entries().isEmpty());
}

void CommissioningJournalTest::defaultJournalLivesInTheApplicationDataDirectory()
{
    const QByteArray previousDataHome = qgetenv("XDG_DATA_HOME");
    const QString previousOrganisation = QCoreApplication::organizationName();
    const QString previousApplication = QCoreApplication::applicationName();
    qputenv("XDG_DATA_HOME", dir->path().toLocal8Bit());
    QCoreApplication::setOrganizationName(QStringLiteral("DARV"));
    QCoreApplication::setApplicationName(QStringLiteral("iot_commission"));

    const QString path = CommissioningJournal::defaultFilePath();
    QCOMPARE(path, dir->filePath(QStringLiteral("DARV/iot_commission/journal.jsonl")));
    QCOMPARE(CommissioningJournal().filePath(), path);

    QCoreApplication::setOrganizationName(previousOrganisation);
    QCoreApplication::setApplicationName(previousApplication);
    if (previousDataHome.isNull())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", previousDataHome);
}

void CommissioningJournalTest::flagNamesFollowTheBitOrder_data()
{
    QTest::addColumn<int>("flags");
    QTest::addColumn<QStringList>("names");

    QTest::newRow("none") << 0 << QStringList();
    QTest::newRow("temperature and report rate")
        << (Node::FlagReportRate | Node::FlagTemperature) << QStringList{"temperature", "reportRate"};
    QTest::newRow("identifiers") << (Node::FlagNetId | Node::FlagAppId | Node::FlagAppKey)
                                 << QStringList{"appId", "appKey", "netId"};
    QTest::newRow("all") << int(Node::FlagsWritable)
                         << QStringList{"appId", "appKey", "netId", "temperature", "humidity", "pressure",
                                "accelerometer", "reportRate"};
    QTest::newRow("bits above the eight settings") << (0x100 | Node::FlagPressure) << QStringList{"pressure"};
}

void CommissioningJournalTest::flagNamesFollowTheBitOrder()
{
    QFETCH(int, flags);
    QFETCH(QStringList, names);
    QCOMPARE(CommissioningJournal::flagNames(flags), names);
}

QTEST_GUILESS_MAIN(CommissioningJournalTest)
#include "tst_commissioningjournal.moc"
