#include "datatable.h"
#include "jsondeviceregister.h"
#include "serverclienttestsupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

#include <limits>

// The device document that a registration posts.
class TestDeviceDocument : public QObject
{
    Q_OBJECT
private slots:
    void membersDependOnCommunication_data();
    void membersDependOnCommunication();
    void descriptionFollowsDeviceType_data();
    void descriptionFollowsDeviceType();
    void euidLosesEveryColon_data();
    void euidLosesEveryColon();
    void unreadThresholdsAreNullAndIdStaysOne();
    void serialisesCompactlyWithThresholdsGravityFirst();
};

void TestDeviceDocument::membersDependOnCommunication_data()
{
    QTest::addColumn<int>("communication");
    QTest::addColumn<QStringList>("extra");
    QTest::newRow("Pellimar") << 1 << QStringList{"appid", "appkey", "netid"};
    QTest::newRow("LoRa OTAA") << 2 << QStringList{"appid", "appkey"};
    QTest::newRow("SigFox") << 3 << QStringList{"pac"};
    QTest::newRow("unknown") << 0 << QStringList();
    QTest::newRow("out of range") << 7 << QStringList();
}

void TestDeviceDocument::membersDependOnCommunication()
{
    QFETCH(int, communication);
    QFETCH(QStringList, extra);
    Node node = pellimarNode();
    node.deviceCommunication = communication;
    const QJsonObject document = JSONdeviceRegister::deviceDocument(node);
    QStringList expected = QStringList{"DeviceCommunication", "DeviceDescription", "DeviceName", "DeviceType", "euid",
                               "thresholds", "version"}
        + extra;
    expected.sort();
    QCOMPARE(document.keys(), expected);
    QCOMPARE(document.value("DeviceCommunication").toInt(), communication);
    QCOMPARE(document.value("euid").toString(), QStringLiteral("70B3D57ED0010203"));
    QCOMPARE(document.value("version").toString(), QStringLiteral("n:v3.0.2 c:1.4 s:4.2.1"));
    if (extra.contains("appkey")) {
        QCOMPARE(document.value("appkey").toString(), node.appKey);
        QCOMPARE(document.value("appid").toString(), node.appId);
    }
    if (extra.contains("netid"))
        QCOMPARE(document.value("netid").toString(), node.netId);
    if (extra.contains("pac"))
        QCOMPARE(document.value("pac").toString(), node.pac);
}

void TestDeviceDocument::descriptionFollowsDeviceType_data()
{
    addDataTable<int, QString>({"deviceType", "description"},
        {{"0", 0, "Unknown"}, {"1", 1, "Device with full MEMS"}, {"2", 2, "Device with a GPS"},
            {"3", 3, "Device with 5 Digital inputs"}, {"4", 4, "Unknown"}, {"-1", -1, "Unknown"}});
}

void TestDeviceDocument::descriptionFollowsDeviceType()
{
    QFETCH(int, deviceType);
    QFETCH(QString, description);
    Node node;
    node.deviceType = deviceType;
    const QJsonObject document = JSONdeviceRegister::deviceDocument(node);
    QCOMPARE(document.value("DeviceType").toInt(), deviceType);
    QCOMPARE(document.value("DeviceDescription").toString(), description);
}

void TestDeviceDocument::euidLosesEveryColon_data()
{
    addDataTable<QString, QString>({"euid", "sent"},
        {{"pairs", "70:B3:D5:7E:D0:01:02:03", "70B3D57ED0010203"}, {"plain", "70B3D57ED0010203", "70B3D57ED0010203"},
            {"stray colons", ":12::3:", "123"}, {"empty", "", ""}});
}

void TestDeviceDocument::euidLosesEveryColon()
{
    QFETCH(QString, euid);
    QFETCH(QString, sent);
    Node node;
    node.deviceCommunication = 3;
    node.euid = euid;
    QCOMPARE(JSONdeviceRegister::deviceDocument(node).value("euid").toString(), sent);
}

void TestDeviceDocument::unreadThresholdsAreNullAndIdStaysOne()
{
    Node node;
    node.thresholds.humidityLow = std::numeric_limits<float>::infinity();
    const QJsonArray thresholds = JSONdeviceRegister::deviceDocument(node).value("thresholds").toArray();
    QCOMPARE(thresholds.size(), 4);
    QCOMPARE(thresholds.at(0).toObject().keys(), (QStringList{"high", "label"}));
    QVERIFY(thresholds.at(0).toObject().value("high").isNull());
    for (int i = 1; i < 4; ++i) {
        const QJsonObject threshold = thresholds.at(i).toObject();
        QVERIFY(threshold.value("low").isNull());
        QVERIFY(threshold.value("high").isNull());
        QCOMPARE(threshold.value("id").toInt(), 1);
    }
    // JSON has no NaN or infinity; the bytes must still parse.
    const QByteArray bytes = QJsonDocument(JSONdeviceRegister::deviceDocument(node)).toJson(QJsonDocument::Compact);
    QVERIFY(!bytes.contains("nan") && !bytes.contains("inf"));
    QVERIFY(QJsonDocument::fromJson(bytes).isObject());
}

void TestDeviceDocument::serialisesCompactlyWithThresholdsGravityFirst()
{
    // A JSON object keeps its members in key order; the thresholds array keeps the order it was built in.
    const QByteArray expected = "{\"DeviceCommunication\":1,\"DeviceDescription\":\"Device with full MEMS\","
                                "\"DeviceName\":\"Door 4\",\"DeviceType\":1,\"appid\":\"0011223344556677\","
                                "\"appkey\":\"00112233445566778899AABBCCDDEEFF\",\"euid\":\"70B3D57ED0010203\","
                                "\"netid\":\"00000013\",\"thresholds\":[{\"high\":150,\"label\":\"gravity\"},"
                                "{\"high\":110000,\"id\":1,\"label\":\"pressure\",\"low\":90000},"
                                "{\"high\":80,\"id\":1,\"label\":\"humidity\",\"low\":20},"
                                "{\"high\":40,\"id\":1,\"label\":\"temperature\",\"low\":-12.5}],"
                                "\"version\":\"n:v3.0.2 c:1.4 s:4.2.1\"}";
    QCOMPARE(
        QJsonDocument(JSONdeviceRegister::deviceDocument(pellimarNode())).toJson(QJsonDocument::Compact), expected);
}

QTEST_GUILESS_MAIN(TestDeviceDocument)
#include "tst_devicedocument.moc"
