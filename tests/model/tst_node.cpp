#include "node.h"
#include "nodebuilders.h"

#include <QTest>

#include <cmath>
#include <cstring>
#include <type_traits>

static_assert(std::is_same<std::underlying_type<Node::eFirmwareType>::type, int>::value,
    "the firmware type must hold any number read from a version, such as 9 or 12");

namespace {
QVector<float> thresholdValues(const NodeThresholds &t)
{
    return {t.temperatureHigh, t.temperatureLow, t.humidityHigh, t.humidityLow, t.pressureHigh, t.pressureLow, t.accelX,
        t.accelY, t.accelZ, t.accelD};
}

bool isQuietNaN(float value)
{
    quint32 bits;
    std::memcpy(&bits, &value, sizeof bits);
    return std::isnan(value) && (bits & 0x00400000u) != 0;
}

// A record with the temperature thresholds read and the others still NaN.
Node filledNode()
{
    NodeOptions options;
    options.lockDescription = QStringLiteral("Back door");
    options.thresholdsRead = false;
    Node node = healthyNode(Node::LoRaOTAA5D, options);
    node.thresholds.temperatureHigh = 50;
    node.thresholds.temperatureLow = -10;
    return node;
}
} // namespace

class TestNode : public QObject
{
    Q_OBJECT
private slots:
    void newRecordHasNoValuesButTheZeroNetId();
    void copyComparesEqualFieldByFieldIncludingNaN();
    void recordsDifferingInOneFieldCompareUnequal();
    void communicationTextSetsTypeDeviceTypeAndCommunication_data();
    void communicationTextSetsTypeDeviceTypeAndCommunication();
    void versionTextJoinsTheThreeVersions_data();
    void versionTextJoinsTheThreeVersions();
    void firmwareTypeHoldsNumbersOutsideTheTable();
    void recordsTravelThroughTheMetaTypeSystemByName();
    void blankIdentityIsAllZerosOrAllF_data();
    void blankIdentityIsAllZerosOrAllF();
};

void TestNode::newRecordHasNoValuesButTheZeroNetId()
{
    const Node node;
    QCOMPARE(int(node.firmwareType), 0);
    QCOMPARE(node.deviceType, 0);
    QCOMPARE(node.deviceCommunication, 0);
    QCOMPARE(node.netId, QStringLiteral("00000000"));
    QVERIFY(node.euid.isEmpty());
    QVERIFY(node.pac.isEmpty());
    QVERIFY(node.appId.isEmpty());
    QVERIFY(node.appKey.isEmpty());
    QVERIFY(node.lockDescription.isEmpty());
    QVERIFY(node.nodeVersion.isEmpty() && node.moduleVersion.isEmpty() && node.loraVersion.isEmpty());
    QCOMPARE(node.reportRate, 0);
    const QVector<float> values = thresholdValues(node.thresholds);
    QCOMPARE(values.size(), 10);
    for (float value : values)
        QVERIFY(isQuietNaN(value));
}

void TestNode::copyComparesEqualFieldByFieldIncludingNaN()
{
    const Node original = filledNode();
    const Node copy = original; // NOLINT: the copy is what is under test
    QVERIFY(copy == original);
    QVERIFY(!(copy != original));
    QCOMPARE(copy.lockDescription, original.lockDescription);
    QCOMPARE(copy.appKey, original.appKey);
    QVERIFY(std::isnan(copy.thresholds.accelD));
    QVERIFY(copy.thresholds == original.thresholds);

    Node assigned;
    assigned = original;
    QVERIFY(assigned == original);
    QVERIFY(Node() == Node());
    QVERIFY(NodeThresholds() == NodeThresholds());
}

void TestNode::recordsDifferingInOneFieldCompareUnequal()
{
    const Node original = filledNode();
    Node other = original;
    other.thresholds.accelD = 128; // a value where the original has none
    QVERIFY(other != original);
    QVERIFY(other.thresholds != original.thresholds);

    other = original;
    other.thresholds.temperatureLow = -11;
    QVERIFY(other != original);

    other = original;
    other.lockDescription = QStringLiteral("Front door");
    QVERIFY(other != original);

    other = original;
    other.reportRate = 16;
    QVERIFY(other != original);

    other = original;
    other.pac = QStringLiteral("0123456789ABCDEF");
    QVERIFY(other != original);
}

void TestNode::communicationTextSetsTypeDeviceTypeAndCommunication_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("known");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("deviceType");
    QTest::addColumn<int>("deviceCommunication");

    // Every row starts from a record of type 6 (deviceType 3, deviceCommunication 3).
    QTest::newRow("Unknown keeps the communication") << "Unknown" << true << 0 << 0 << 3;
    QTest::newRow("Pellimar") << "Pellimar" << true << 1 << 1 << 1;
    QTest::newRow("LoRa OTAA") << "LoRa OTAA" << true << 2 << 1 << 2;
    QTest::newRow("SigFox") << "SigFox" << true << 3 << 1 << 3;
    QTest::newRow("Pellimar 5D") << "Pellimar 5D" << true << 4 << 3 << 1;
    QTest::newRow("LoRa OTAA 5D") << "LoRa OTAA 5D" << true << 5 << 3 << 2;
    QTest::newRow("SigFox 5D") << "SigFox 5D" << true << 6 << 3 << 3;
    QTest::newRow("lower case") << "lora otaa 5d" << false << 6 << 3 << 3;
    QTest::newRow("doubled blank inside") << "LoRa  OTAA 5D" << false << 6 << 3 << 3;
    QTest::newRow("blank in front") << " Pellimar" << false << 6 << 3 << 3;
    QTest::newRow("blank behind") << "Pellimar " << false << 6 << 3 << 3;
    QTest::newRow("without blank") << "SigFox5D" << false << 6 << 3 << 3;
    QTest::newRow("empty") << "" << false << 6 << 3 << 3;
    QTest::newRow("GPS is not a communication") << "GPS" << false << 6 << 3 << 3;
}

void TestNode::communicationTextSetsTypeDeviceTypeAndCommunication()
{
    QFETCH(QString, text);
    QFETCH(bool, known);
    QFETCH(int, type);
    QFETCH(int, deviceType);
    QFETCH(int, deviceCommunication);

    Node node;
    node.firmwareType = Node::SigFox5D;
    node.deviceType = 3;
    node.deviceCommunication = 3;
    node.euid = QStringLiteral("C0FFEE");
    const Node before = node;

    QCOMPARE(node.applyCommunication(text), known);
    QCOMPARE(int(node.firmwareType), type);
    QCOMPARE(node.deviceType, deviceType);
    QCOMPARE(node.deviceCommunication, deviceCommunication);
    QCOMPARE(node.euid, before.euid);
    if (!known)
        QVERIFY(node == before);
}

void TestNode::versionTextJoinsTheThreeVersions_data()
{
    QTest::addColumn<QString>("board");
    QTest::addColumn<QString>("module");
    QTest::addColumn<QString>("radio");
    QTest::addColumn<QString>("text");
    const auto row = [](const char *name, const char *board, const char *module, const char *radio, const char *text) {
        QTest::newRow(name) << QString::fromLatin1(board) << QString::fromLatin1(module) << QString::fromLatin1(radio)
                            << QString::fromLatin1(text);
    };
    row("three versions", "v3.0.2", "1.4", "4.2.1", "n:v3.0.2 c:1.4 s:4.2.1");
    row("all empty", "", "", "", "n: c: s:");
    row("only the radio", "", "", "4.2.1", "n: c: s:4.2.1");
}

void TestNode::versionTextJoinsTheThreeVersions()
{
    QFETCH(QString, board);
    QFETCH(QString, module);
    QFETCH(QString, radio);
    QFETCH(QString, text);
    Node node;
    node.nodeVersion = board;
    node.moduleVersion = module;
    node.loraVersion = radio;
    QCOMPARE(node.versionText(), text);
}

void TestNode::firmwareTypeHoldsNumbersOutsideTheTable()
{
    Node node;
    node.firmwareType = Node::eFirmwareType(9);
    QCOMPARE(int(node.firmwareType), 9);
    node.firmwareType = Node::eFirmwareType(12);
    QCOMPARE(int(node.firmwareType), 12);
    const Node copy = node;
    QCOMPARE(int(copy.firmwareType), 12);

    QVERIFY(!Node::isKnownType(Node::Unknown));
    for (int type = Node::Pellimar; type <= Node::SigFox5D; ++type)
        QVERIFY(Node::isKnownType(type));
    QVERIFY(!Node::isKnownType(7));
    QVERIFY(!Node::isKnownType(9));
    QVERIFY(!Node::isKnownType(12));
    QVERIFY(!Node::isKnownType(-1));
}

void TestNode::recordsTravelThroughTheMetaTypeSystemByName()
{
    const int nodeId = qRegisterMetaType<Node>("Node");
    const int thresholdsId = qRegisterMetaType<NodeThresholds>("NodeThresholds");
    QCOMPARE(QMetaType::type("Node"), nodeId);
    QCOMPARE(QMetaType::type("NodeThresholds"), thresholdsId);

    const Node node = filledNode();
    const QVariant variant = QVariant::fromValue(node);
    QCOMPARE(variant.userType(), nodeId);
    QVERIFY(variant.value<Node>() == node);
    const QVariant thresholds = QVariant::fromValue(node.thresholds);
    QVERIFY(thresholds.value<NodeThresholds>() == node.thresholds);
}

void TestNode::blankIdentityIsAllZerosOrAllF_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("euid");
    QTest::addColumn<bool>("blank");

    QTest::newRow("LoRa DevEUI of zeros") << int(Node::LoRaOTAA) << QStringLiteral("0000000000000000") << true;
    QTest::newRow("DevEUI of F in lower case with colons")
        << int(Node::Pellimar5D) << QStringLiteral("ff:ff:ff:ff:ff:ff:ff:ff") << true;
    QTest::newRow("SigFox ID of zeros") << int(Node::SigFox5D) << QStringLiteral("00000000") << true;
    QTest::newRow("a real DevEUI") << int(Node::LoRaOTAA) << QStringLiteral("70B3D57ED0000A01") << false;
    QTest::newRow("zeros and F mixed") << int(Node::LoRaOTAA) << QStringLiteral("00000000FFFFFFFF") << false;
    QTest::newRow("SigFox ID with leading zeros") << int(Node::SigFox) << QStringLiteral("0000000F") << false;
    QTest::newRow("SigFox ID without its leading zero") << int(Node::SigFox) << QStringLiteral("FFFFFFF") << false;
    QTest::newRow("SigFox ID of eight F") << int(Node::SigFox) << QStringLiteral("FFFFFFFF") << true;
    // Nothing read is no identity to judge; the node is then not matched by any label either.
    QTest::newRow("no identity read") << int(Node::LoRaOTAA) << QString() << false;
}

void TestNode::blankIdentityIsAllZerosOrAllF()
{
    QFETCH(int, type);
    QFETCH(QString, euid);
    Node node;
    node.firmwareType = Node::eFirmwareType(type);
    node.euid = euid;
    QTEST(node.hasBlankIdentity(), "blank");
}

QTEST_APPLESS_MAIN(TestNode)
#include "tst_node.moc"
