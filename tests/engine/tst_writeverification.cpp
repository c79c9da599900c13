// Checking a write against the node read back: a correct write, through the real write lines, never shows a
// mismatch; a setting the node kept shows one that names it with both values.
#include "describeeach.h"
#include "nodestore.h"
#include "writeverification.h"

#include <QTest>

namespace {

// loraNodeAsRead() as a form emits it unedited: pressure and acceleration in operator units.
Node asEmitted()
{
    Node node = loraNodeAsRead();
    node.thresholds.pressureLow = 2.5f;
    node.thresholds.pressureHigh = 12.34f;
    node.thresholds.accelX = 1.5f;
    return node;
}

QStringList mismatchLines(const QList<WriteVerification::Mismatch> &mismatches)
{
    return describeEach(mismatches, [](const WriteVerification::Mismatch &m) {
        return QStringLiteral("%1: written %2, read %3").arg(m.field, m.writtenText, m.readText);
    });
}

} // namespace

class TestWriteVerification : public QObject
{
    Q_OBJECT
private slots:
    void correctWritesRoundTripVerified_data();
    void correctWritesRoundTripVerified();
    void keptValueIsAMismatchNamingTheField_data();
    void keptValueIsAMismatchNamingTheField();
    void settingsNotWrittenAreNotChecked();
    void describesAllMismatchesInOneLine();
};

// Each row: a record as a form emits it and the flags written; the node stores what the real write lines say.
void TestWriteVerification::correctWritesRoundTripVerified_data()
{
    QTest::addColumn<Node>("written");
    QTest::addColumn<int>("flags");

    const auto row = [](const char *name, int flags, const std::function<void(Node &)> &edit) {
        Node node = asEmitted();
        edit(node);
        QTest::newRow(name) << node << flags;
    };
    row("pressure 2.5 to 12.34", Node::FlagPressure, [](Node &) {});
    row("accelerometer 1.5", Node::FlagAccelerometer, [](Node &) {});
    row("accelerometer 0.57 (float just below)", Node::FlagAccelerometer, [](Node &n) { n.thresholds.accelX = 0.57f; });
    row("pressure -81.88 to 0.29", Node::FlagPressure, [](Node &n) {
        n.thresholds.pressureLow = -81.88f;
        n.thresholds.pressureHigh = 0.29f;
    });
    row("pressure beyond the node's limit", Node::FlagPressure, [](Node &n) {
        n.thresholds.pressureLow = -700;
        n.thresholds.pressureHigh = 700;
    });
    row("negative temperatures", Node::FlagTemperature, [](Node &n) {
        n.thresholds.temperatureLow = -40;
        n.thresholds.temperatureHigh = -5;
    });
    row("temperatures with fractions", Node::FlagTemperature, [](Node &n) {
        n.thresholds.temperatureLow = -5.7f;
        n.thresholds.temperatureHigh = 30.9f;
    });
    row("humidity with decimals", Node::FlagHumidity, [](Node &n) {
        n.thresholds.humidityLow = 10.5f;
        n.thresholds.humidityHigh = 90;
    });
    row("rate 15", Node::FlagReportRate, [](Node &n) { n.reportRate = 15; });
    row("rate 1", Node::FlagReportRate, [](Node &n) { n.reportRate = 1; });
    row("largest rate", Node::FlagReportRate, [](Node &n) { n.reportRate = 35791; });
    row("identifiers typed in lower case", Node::FlagAppId | Node::FlagAppKey | Node::FlagNetId, [](Node &n) {
        n.appId = QStringLiteral("70b3d57ed0000001");
        n.appKey = QStringLiteral("00112233445566778899aabbccddeeff");
        n.netId = QStringLiteral("0000abcd");
    });
    row("everything at once", Node::FlagsWritable, [](Node &n) {
        n.appId = QStringLiteral("70B3D57ED0000001");
        n.thresholds.temperatureLow = -10;
        n.thresholds.pressureHigh = 99.99f;
        n.reportRate = 60;
    });
}

void TestWriteVerification::correctWritesRoundTripVerified()
{
    QFETCH(Node, written);
    QFETCH(int, flags);
    Node before;
    before.applyCommunication(QStringLiteral("Pellimar"));
    before.thresholds = nodeThresholds(2, 1, 4, 3, 6, 5, 7, kNotRead, kNotRead, kNotRead);
    before.reportRate = 8;
    const Node reread = storedAfterWrite(before, written, flags);
    QCOMPARE(mismatchLines(WriteVerification::compare(written, flags, reread)), QStringList());
    // The check is not vacuous: against the node as it was, every written setting is a mismatch.
    QCOMPARE(WriteVerification::compare(written, flags, before).size(), qPopulationCount(quint8(flags)));
}

void TestWriteVerification::keptValueIsAMismatchNamingTheField_data()
{
    QTest::addColumn<int>("flag");
    QTest::addColumn<Node>("reread");
    QTest::addColumn<QString>("mismatch");

    const auto row = [](const char *name, int flag, const std::function<void(Node &)> &change, const char *line) {
        Node node = loraNodeAsRead();
        change(node);
        QTest::newRow(name) << flag << node << QString::fromUtf8(line);
    };
    row(
        "application id", Node::FlagAppId, [](Node &n) { n.appId = QStringLiteral("0004A30B001C0A01"); },
        "appId: written 0004A30B001C0A00, read 0004A30B001C0A01");
    row(
        "application key, shown shortened", Node::FlagAppKey,
        [](Node &n) { n.appKey = QStringLiteral("00000000000000000000000000000000"); },
        "appKey: written 2B7E…4F3C, read 0000…0000");
    row(
        "network id", Node::FlagNetId, [](Node &n) { n.netId = QStringLiteral("00000000"); },
        "netId: written 00000013, read 00000000");
    row(
        "lower temperature", Node::FlagTemperature, [](Node &n) { n.thresholds.temperatureLow = -11; },
        "temperature: written -10 to 50, read -11 to 50");
    row(
        "upper humidity", Node::FlagHumidity, [](Node &n) { n.thresholds.humidityHigh = 80; },
        "humidity: written 10 to 90, read 10 to 80");
    row(
        "pressure by one hundredth", Node::FlagPressure, [](Node &n) { n.thresholds.pressureHigh = 1233; },
        "pressure: written 2.5 to 12.34, read 2.5 to 12.33");
    row(
        "accelerometer", Node::FlagAccelerometer, [](Node &n) { n.thresholds.accelX = 100; },
        "accelerometer: written 1.5, read 1");
    row(
        "report rate", Node::FlagReportRate, [](Node &n) { n.reportRate = 10; }, "reportRate: written 15, read 10");
    row(
        "threshold never read back", Node::FlagTemperature, [](Node &n) { n.thresholds.temperatureHigh = qQNaN(); },
        "temperature: written -10 to 50, read -10 to none");
    row(
        "identifier not read back", Node::FlagAppId, [](Node &n) { n.appId.clear(); },
        "appId: written 0004A30B001C0A00, read ");
}

void TestWriteVerification::keptValueIsAMismatchNamingTheField()
{
    QFETCH(int, flag);
    QFETCH(Node, reread);
    QFETCH(QString, mismatch);
    const QList<WriteVerification::Mismatch> mismatches
        = WriteVerification::compare(asEmitted(), Node::FlagsWritable, reread);
    QCOMPARE(mismatchLines(mismatches), QStringList{mismatch});
    QCOMPARE(mismatches.first().flag, flag);
}

void TestWriteVerification::settingsNotWrittenAreNotChecked()
{
    Node reread = loraNodeAsRead();
    reread.thresholds.temperatureLow = 0;
    reread.reportRate = 1;
    QCOMPARE(WriteVerification::compare(asEmitted(), Node::FlagHumidity | Node::FlagPressure, reread).size(), 0);

    // A written value that held nothing (nothing was sent) is never verified.
    Node written = asEmitted();
    written.thresholds.accelX = qQNaN();
    QCOMPARE(mismatchLines(WriteVerification::compare(written, Node::FlagAccelerometer, loraNodeAsRead())),
        QStringList{"accelerometer: written none, read 1.5"});
}

void TestWriteVerification::describesAllMismatchesInOneLine()
{
    Node reread = loraNodeAsRead();
    reread.thresholds.temperatureHigh = 45;
    reread.reportRate = 10;
    QCOMPARE(WriteVerification::describe(WriteVerification::compare(asEmitted(), Node::FlagsWritable, reread)),
        QStringLiteral("temperature written -10 to 50, read -10 to 45; reportRate written 15, read 10"));
}

QTEST_GUILESS_MAIN(TestWriteVerification)
#include "tst_writeverification.moc"
