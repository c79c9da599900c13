#include "commandresulttext.h"
#include "node.h"
#include "nodecmdconfig.h"
#include "nodecmdreportrate.h"
#include "nodecmdthreshold.h"
#include "nodecmdversion.h"
#include "protectedfieldcipher.h"
#include "samefloat.h"

#include <QSignalSpy>
#include <QTest>

namespace {

// The three lines a node's version banner consists of.
const QString kBoardLine = QStringLiteral("Tavonex   : v2.4.1");
const QString kModuleVersion = QStringLiteral("1.4");
const QString kRadioVersion = QStringLiteral("4.2.1");
const QString kModuleLine = QStringLiteral("Ormix     : ") + kModuleVersion;
const QString kRadioLine = QStringLiteral("Semtech LoRa : ") + kRadioVersion;

// The key of a node that was flashed with other firmware than the tool's.
const QByteArray kOtherKey = QByteArray::fromHex("000102030405060708090a0b0c0d0e0f");

// A protected field as the node prints it: upper-case hex pairs separated by single blanks.
QString spacedField(const QString &valueHex, const QByteArray &key = ProtectedFieldCipher::programKey())
{
    const QString digits = ProtectedFieldCipher(ProtectedFieldCipher::Encrypt, key).encodeProtected(valueHex).toUpper();
    QStringList pairs;
    for (int i = 0; i < digits.size(); i += 2)
        pairs << digits.mid(i, 2);
    return pairs.join(QLatin1Char(' '));
}

QString solidField(const QString &valueHex, const QByteArray &key = ProtectedFieldCipher::programKey())
{
    return ProtectedFieldCipher(ProtectedFieldCipher::Encrypt, key).encodeProtected(valueHex).toUpper();
}

// Changes one bit of the first byte, which the frame check catches.
QString corrupted(QString field)
{
    field[1] = field.at(1) == QLatin1Char('0') ? QLatin1Char('1') : QLatin1Char('0');
    return field;
}

const QString kDevEui = QStringLiteral("70B3D57ED0000A01");
const QString kAppEui = QStringLiteral("0004A30B001C0A00");
const QString kAppKey = QStringLiteral("2B7E151628AED2A6ABF7158809CF4F3C");
const QString kNetId = QStringLiteral("00000013");
const QString kPac = QStringLiteral("0123456789ABCDEF");
const QString kZero8 = QStringLiteral("00000000");
const QString kZero16 = QStringLiteral("0000000000000000");
const QString kZero32 = QStringLiteral("00000000000000000000000000000000");

QString devEuiLine(const QString &value = kDevEui)
{
    return QStringLiteral("DevEui= ") + spacedField(value);
}
QString appEuiLine()
{
    return QStringLiteral("AppEui= ") + spacedField(kAppEui);
}
QString appKeyLine()
{
    return QStringLiteral("AppKey= ") + spacedField(kAppKey);
}
QString netEuiLine()
{
    return QStringLiteral("NetEui= ") + spacedField(kNetId);
}
QString sigfoxIdLine(const QString &id)
{
    return QStringLiteral("SigFox ID  : ") + solidField(id);
}
QString sigfoxPacLine()
{
    return QStringLiteral("SigFox PAC : ") + solidField(kPac);
}

// Feeds the lines one by one and returns the per-line results as digits ("0002").
template <typename Command> QString feed(Command &command, const QStringList &lines)
{
    QString results;
    for (const QString &line : lines)
        results += QString::number(int(command.parseReply(line)));
    return results;
}

// What a fresh command made of the lines: the per-line results as digits and the value of each announcement.
template <typename Value> struct Reading
{
    QString results;
    QList<Value> announced;
};

template <typename Command, typename Value>
Reading<Value> readWith(void (Command::*announce)(Value), const QStringList &lines)
{
    Command command(nullptr);
    QSignalSpy spy(&command, announce);
    Reading<Value> reading{feed(command, lines), {}};
    for (const QList<QVariant> &arguments : qAsConst(spy))
        reading.announced << arguments.at(0).value<Value>();
    return reading;
}
} // namespace

class TestReadCommands : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void versionReadTakesTypeAndVersions_data();
    void versionReadTakesTypeAndVersions();

    void configurationReadCompletesWithTypeAndIdentifiers_data();
    void configurationReadCompletesWithTypeAndIdentifiers();
    void configurationReadRejectsMalformedLines_data();
    void configurationReadRejectsMalformedLines();
    void damagedProtectedFieldLeavesFieldAndBitUnset();
    void identifiersUnderAnotherKeyEndTheRead_data();
    void identifiersUnderAnotherKeyEndTheRead();

    void thresholdReadCollectsFourLinesInAnyOrder_data();
    void thresholdReadCollectsFourLinesInAnyOrder();
    void thresholdLinesThatDoNotMatchSetNothing_data();
    void thresholdLinesThatDoNotMatchSetNothing();

    void reportRateConvertsMillisecondsToWholeMinutes_data();
    void reportRateConvertsMillisecondsToWholeMinutes();

    void repeatedAnswerEmitsAgain();
};

void TestReadCommands::initTestCase()
{
    qRegisterMetaType<Node>("Node");
    qRegisterMetaType<NodeThresholds>("NodeThresholds");
    QVERIFY(ProtectedFieldCipher(ProtectedFieldCipher::Encrypt).isValid());
}

// ---- version read ------------------------------------------------------------------------------------------

void TestReadCommands::versionReadTakesTypeAndVersions_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("results");
    QTest::addColumn<Node>("expected"); // only the type and versions; a read that never completes leaves it empty

    const auto versions = [](int type, const char *nodeVersion) {
        Node node;
        node.firmwareType = Node::eFirmwareType(type);
        node.nodeVersion = QString::fromLatin1(nodeVersion);
        node.moduleVersion = kModuleVersion;
        node.loraVersion = kRadioVersion;
        return node;
    };
    QTest::newRow("banner order") << QStringList{kBoardLine, kModuleLine, kRadioLine} << "002" << versions(2, "v2.4.1");
    QTest::newRow("radio, board, module completes on the third line")
        << QStringList{kRadioLine, kBoardLine, kModuleLine} << "002" << versions(2, "v2.4.1");
    QTest::newRow("other lines in between are ignored")
        << QStringList{QStringLiteral("> ver"), kBoardLine, QStringLiteral("garbage"), kModuleLine, kRadioLine}
        << "00002" << versions(2, "v2.4.1");
    QTest::newRow("radio line with two blanks before the colon does not count")
        << QStringList{kBoardLine, kModuleLine, QStringLiteral("Semtech LoRa  : 4.2.1")} << "000" << Node();

    // The banner with another board line; one that does not count leaves the read open.
    const auto boardLineRow = [](const char *name, const char *boardLine, const Node &expected) {
        QTest::newRow(name) << QStringList{QString::fromLatin1(boardLine), kModuleLine, kRadioLine}
                            << QString::fromLatin1(expected == Node() ? "000" : "002") << expected;
    };
    boardLineRow("v12.3 gives type 12", "Tavonex : v12.3", versions(12, "v12.3"));
    boardLineRow("digits without a following character give no type", "Tavonex : v2", versions(0, "v2"));
    boardLineRow("version without a v gives no type", "Tavonex : 2.4.1", versions(0, "2.4.1"));
    boardLineRow("a type number beyond 32 bits is 0", "Tavonex : v99999999999.1", versions(0, "v99999999999.1"));
    boardLineRow("only the first word is the version", "Tavonex\t:  v3.0.2 build 7", versions(3, "v3.0.2"));
    boardLineRow("board line without blank before the colon does not count", "Tavonex: v2.4.1", Node());
    boardLineRow("indented board line does not count", " x Tavonex : v2.4.1", Node());
}

void TestReadCommands::versionReadTakesTypeAndVersions()
{
    QFETCH(QStringList, lines);
    QFETCH(QString, results);
    QFETCH(Node, expected);

    const Reading<Node> reading = readWith(&NodeCMDversion::updateVersion, lines);
    QCOMPARE(reading.results, results);
    QCOMPARE(reading.announced.size(), results.endsWith(QLatin1Char('2')) ? 1 : 0);
    if (reading.announced.isEmpty())
        return;
    const Node node = reading.announced.first();
    QCOMPARE(int(node.firmwareType), int(expected.firmwareType));
    QCOMPARE(node.nodeVersion, expected.nodeVersion);
    QCOMPARE(node.moduleVersion, expected.moduleVersion);
    QCOMPARE(node.loraVersion, expected.loraVersion);
    // Nothing else of the record is touched by a version read.
    QCOMPARE(node, expected);
}

// ---- configuration read -------------------------------------------------------------------------------------

void TestReadCommands::configurationReadCompletesWithTypeAndIdentifiers_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("results");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("deviceType");
    QTest::addColumn<int>("deviceCommunication");
    QTest::addColumn<QString>("euid");
    QTest::addColumn<QString>("appId");
    QTest::addColumn<QString>("appKey");
    QTest::addColumn<QString>("netId");
    QTest::addColumn<QString>("pac");

    const QString loraOtaa = QStringLiteral("Communication: LoRa OTAA");
    QTest::newRow("LoRa OTAA node") << QStringList{loraOtaa, devEuiLine(), appEuiLine(), appKeyLine()} << "0002" << 2
                                    << 1 << 2 << kDevEui << kAppEui << kAppKey << kZero8 << QString();
    QTest::newRow("identifiers before the communication line")
        << QStringList{appKeyLine(), devEuiLine(), appEuiLine(), QStringLiteral("Communication: LoRa OTAA 5D")}
        << "0002" << 5 << 3 << 2 << kDevEui << kAppEui << kAppKey << kZero8 << QString();
    QTest::newRow("Pellimar network id before the completing line is taken")
        << QStringList{QStringLiteral("Communication: Pellimar"), devEuiLine(), netEuiLine(), appEuiLine(),
               appKeyLine()}
        << "00002" << 1 << 1 << 1 << kDevEui << kAppEui << kAppKey << kNetId << QString();
    QTest::newRow("network id after the completing line is not part of the answer")
        << QStringList{QStringLiteral("Communication: Pellimar 5D"), devEuiLine(), appEuiLine(), appKeyLine(),
               netEuiLine()}
        << "00020" << 4 << 3 << 1 << kDevEui << kAppEui << kAppKey << kZero8 << QString();
    QTest::newRow("NULL application id and key are zeros")
        << QStringList{loraOtaa, devEuiLine(), QStringLiteral("AppEui= NULL"), QStringLiteral("AppKey= NULL")} << "0002"
        << 2 << 1 << 2 << kDevEui << kZero16 << kZero32 << kZero8 << QString();
    QTest::newRow("unconfigured Pellimar node")
        << QStringList{QStringLiteral("Communication: Pellimar"), QStringLiteral("Device not configured")} << "02" << 1
        << 1 << 1 << kZero16 << kZero16 << kZero32 << kZero8 << QString();
    QTest::newRow("Unknown node leaves the communication kind")
        << QStringList{QStringLiteral("Device not configured"), QStringLiteral("Communication: Unknown")} << "02" << 0
        << 0 << 0 << kZero16 << kZero16 << kZero32 << kZero8 << QString();
    QTest::newRow("SigFox node, PAC and ID first")
        << QStringList{sigfoxPacLine(), sigfoxIdLine(QStringLiteral("00C0FFEE")),
               QStringLiteral("Communication: SigFox")}
        << "002" << 3 << 1 << 3 << "C0FFEE" << QString() << QString() << kZero8 << kPac;
    QTest::newRow("SigFox ID at or above 80000000 is read unsigned")
        << QStringList{QStringLiteral("Communication: SigFox 5D"), sigfoxIdLine(QStringLiteral("F00DBABE")),
               sigfoxPacLine()}
        << "002" << 6 << 3 << 3 << "F00DBABE" << QString() << QString() << kZero8 << kPac;
    QTest::newRow("SigFox ID 80000000 exactly")
        << QStringList{QStringLiteral("Communication: SigFox"), sigfoxIdLine(QStringLiteral("80000000")),
               sigfoxPacLine()}
        << "002" << 3 << 1 << 3 << "80000000" << QString() << QString() << kZero8 << kPac;
    QTest::newRow("SigFox ID of zeros is 0")
        << QStringList{QStringLiteral("Communication: SigFox"), sigfoxIdLine(kZero8), sigfoxPacLine()} << "002" << 3
        << 1 << 3 << "0" << QString() << QString() << kZero8 << kPac;
    QTest::newRow("lower-case identifiers are stored upper case")
        << QStringList{loraOtaa, devEuiLine(QStringLiteral("70b3d57ed0000a01")), appEuiLine(), appKeyLine()} << "0002"
        << 2 << 1 << 2 << kDevEui << kAppEui << kAppKey << kZero8 << QString();
    QTest::newRow("a later identifier line replaces the earlier one")
        << QStringList{devEuiLine(QStringLiteral("1111111111111111")), loraOtaa, devEuiLine(), appEuiLine(),
               appKeyLine()}
        << "00002" << 2 << 1 << 2 << kDevEui << kAppEui << kAppKey << kZero8 << QString();
}

void TestReadCommands::configurationReadCompletesWithTypeAndIdentifiers()
{
    QFETCH(QStringList, lines);
    QFETCH(QString, results);
    QFETCH(int, type);
    QFETCH(int, deviceType);
    QFETCH(int, deviceCommunication);
    QFETCH(QString, euid);
    QFETCH(QString, appId);
    QFETCH(QString, appKey);
    QFETCH(QString, netId);
    QFETCH(QString, pac);

    const Reading<Node> reading = readWith(&NodeCMDconfig::updateConfig, lines);
    QCOMPARE(reading.results, results);
    QCOMPARE(reading.announced.size(), 1);
    const Node node = reading.announced.first();
    QCOMPARE(int(node.firmwareType), type);
    QCOMPARE(node.deviceType, deviceType);
    QCOMPARE(node.deviceCommunication, deviceCommunication);
    QCOMPARE(node.euid, euid);
    QCOMPARE(node.appId, appId);
    QCOMPARE(node.appKey, appKey);
    QCOMPARE(node.netId, netId);
    QCOMPARE(node.pac, pac);
    QVERIFY(node.nodeVersion.isEmpty());
    QCOMPARE(node.thresholds, NodeThresholds());
}

void TestReadCommands::configurationReadRejectsMalformedLines_data()
{
    // Each row would complete a LoRa OTAA answer if its odd line were accepted.
    QTest::addColumn<QStringList>("lines");

    const QString loraOtaa = QStringLiteral("Communication: LoRa OTAA");
    const QString devEui = devEuiLine();
    QTest::newRow("DevEui in lower-case hex") << QStringList{loraOtaa,
        devEui.toLower().replace(QStringLiteral("deveui"), QStringLiteral("DevEui")), appEuiLine(), appKeyLine()};
    QTest::newRow("DevEui with 17 bytes")
        << QStringList{loraOtaa, devEui.left(devEui.size() - 3), appEuiLine(), appKeyLine()};
    QTest::newRow("DevEui with two blanks between pairs") << QStringList{loraOtaa,
        QString(devEui)
            .replace(QStringLiteral(" "), QStringLiteral("  "))
            .replace(QStringLiteral("DevEui=  "), QStringLiteral("DevEui= ")),
        appEuiLine(), appKeyLine()};
    QTest::newRow("DevEui without separators")
        << QStringList{loraOtaa, QStringLiteral("DevEui= ") + solidField(kDevEui), appEuiLine(), appKeyLine()};
    QTest::newRow("DevEui not at the start of the line")
        << QStringList{loraOtaa, QStringLiteral("> ") + devEui, appEuiLine(), appKeyLine()};
    QTest::newRow("communication with two blanks")
        << QStringList{QStringLiteral("Communication:  LoRa OTAA"), devEui, appEuiLine(), appKeyLine()};
    QTest::newRow("communication in lower case")
        << QStringList{QStringLiteral("Communication: lora otaa"), devEui, appEuiLine(), appKeyLine()};
    QTest::newRow("communication with a doubled inner blank")
        << QStringList{QStringLiteral("Communication: LoRa  OTAA"), devEui, appEuiLine(), appKeyLine()};
    QTest::newRow("communication text not in the table")
        << QStringList{QStringLiteral("Communication: LoRa ABP"), devEui, appEuiLine(), appKeyLine()};
    QTest::newRow("AppEui NULL in lower case")
        << QStringList{loraOtaa, devEui, QStringLiteral("AppEui= null"), appKeyLine()};
    QTest::newRow("not configured with trailing text")
        << QStringList{loraOtaa, QStringLiteral("Device not configured!")};
    QTest::newRow("SigFox ID in lower-case hex") << QStringList{QStringLiteral("Communication: SigFox"),
        QStringLiteral("SigFox ID : ") + solidField(QStringLiteral("00C0FFEE")).toLower(), sigfoxPacLine()};
    QTest::newRow("SigFox ID with 35 digits") << QStringList{
        QStringLiteral("Communication: SigFox"), sigfoxIdLine(QStringLiteral("00C0FFEE")).chopped(1), sigfoxPacLine()};
}

void TestReadCommands::configurationReadRejectsMalformedLines()
{
    QFETCH(QStringList, lines);
    const Reading<Node> reading = readWith(&NodeCMDconfig::updateConfig, lines);
    QCOMPARE(reading.results, QString(lines.size(), QLatin1Char('0')));
    QCOMPARE(reading.announced.size(), 0);
}

void TestReadCommands::damagedProtectedFieldLeavesFieldAndBitUnset()
{
    NodeCMDconfig command(nullptr);
    QSignalSpy spy(&command, &NodeCMDconfig::updateConfig);
    QSignalSpy mismatchSpy(&command, &NodeCMDconfig::keyMismatch);
    const QString damaged = QStringLiteral("DevEui= ") + corrupted(spacedField(kDevEui));
    QCOMPARE(feed(command,
                 {QStringLiteral("Communication: LoRa OTAA"), damaged, appEuiLine(), appKeyLine(),
                     QStringLiteral("NetEui= ") + corrupted(spacedField(kNetId))}),
        QStringLiteral("00000"));
    QCOMPARE(spy.count(), 0);

    // The intact field sent again completes the answer; the damaged network id never replaced the default.
    QCOMPARE(command.parseReply(devEuiLine()), CommandResult::Done);
    QCOMPARE(spy.count(), 1);
    const Node node = spy.at(0).at(0).value<Node>();
    QCOMPARE(node.euid, kDevEui);
    QCOMPARE(node.netId, kZero8);
    QCOMPARE(mismatchSpy.count(), 0); // damage on the line is no sign of another key

    NodeCMDconfig sigfox(nullptr);
    QSignalSpy sigfoxSpy(&sigfox, &NodeCMDconfig::updateConfig);
    QSignalSpy sigfoxMismatchSpy(&sigfox, &NodeCMDconfig::keyMismatch);
    QCOMPARE(feed(sigfox,
                 {QStringLiteral("Communication: SigFox"),
                     QStringLiteral("SigFox ID : ") + corrupted(solidField(QStringLiteral("00C0FFEE"))),
                     QStringLiteral("SigFox PAC : ") + corrupted(solidField(kPac))}),
        QStringLiteral("000"));
    QCOMPARE(sigfoxSpy.count(), 0);
    QCOMPARE(sigfoxMismatchSpy.count(), 0);
}

void TestReadCommands::identifiersUnderAnotherKeyEndTheRead_data()
{
    // `results` holds the per-line results: 1 (failed) from the first line that shows the other key on.
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("results");

    const QString loraOtaa = QStringLiteral("Communication: LoRa OTAA");
    const QString otherDevEui = QStringLiteral("DevEui= ") + spacedField(kDevEui, kOtherKey);
    QTest::newRow("DevEui") << QStringList{loraOtaa, otherDevEui, appEuiLine(), appKeyLine()} << "0111";
    QTest::newRow("every field") << QStringList{loraOtaa, otherDevEui,
        QStringLiteral("AppEui= ") + spacedField(kAppEui, kOtherKey),
        QStringLiteral("AppKey= ") + spacedField(kAppKey, kOtherKey)}
                                 << "0111";
    QTest::newRow("AppEui after an intact DevEui") << QStringList{loraOtaa, devEuiLine(),
        QStringLiteral("AppEui= ") + spacedField(kAppEui, kOtherKey), appKeyLine()}
                                                   << "0011";
    QTest::newRow("network id of a Pellimar node") << QStringList{QStringLiteral("Communication: Pellimar"),
        devEuiLine(), QStringLiteral("NetEui= ") + spacedField(kNetId, kOtherKey), appEuiLine(), appKeyLine()}
                                                   << "00111";
    QTest::newRow("intact answer after the mismatch")
        << QStringList{loraOtaa, otherDevEui, devEuiLine(), appEuiLine(), appKeyLine(), loraOtaa} << "011111";
    QTest::newRow("SigFox ID") << QStringList{QStringLiteral("Communication: SigFox"),
        QStringLiteral("SigFox ID : ") + solidField(QStringLiteral("00C0FFEE"), kOtherKey), sigfoxPacLine()}
                               << "011";
    QTest::newRow("SigFox PAC") << QStringList{QStringLiteral("Communication: SigFox"),
        sigfoxIdLine(QStringLiteral("00C0FFEE")), QStringLiteral("SigFox PAC : ") + solidField(kPac, kOtherKey)}
                                << "001";
}

void TestReadCommands::identifiersUnderAnotherKeyEndTheRead()
{
    QFETCH(QStringList, lines);
    QFETCH(QString, results);
    NodeCMDconfig command(nullptr);
    QSignalSpy configSpy(&command, &NodeCMDconfig::updateConfig);
    QSignalSpy mismatchSpy(&command, &NodeCMDconfig::keyMismatch);
    QCOMPARE(feed(command, lines), results);
    QCOMPARE(mismatchSpy.count(), 1);
    QCOMPARE(configSpy.count(), 0);
}

// ---- threshold read ------------------------------------------------------------------------------------------

void TestReadCommands::thresholdReadCollectsFourLinesInAnyOrder_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("results");
    // temperature high/low, humidity high/low, pressure high/low, accelerometer X Y Z D
    QTest::addColumn<QVector<float>>("values");

    const QString temperature = QStringLiteral("Temperature : L -10 H 50");
    const QString humidity = QStringLiteral("Humidity : L 10 H 90");
    const QString pressure = QStringLiteral("Pressure : L 250 H 1234");
    const QString accelerometer = QStringLiteral("Accelero : X 150 Y 0 Z -3 D 128");
    const QVector<float> typical{50, -10, 90, 10, 1234, 250, 150, 0, -3, 128};

    QTest::newRow("node order") << QStringList{temperature, humidity, pressure, accelerometer} << "0002" << typical;
    QTest::newRow("reverse order completes on the temperature line")
        << QStringList{accelerometer, pressure, humidity, temperature} << "0002" << typical;
    QTest::newRow("two thresholds on one line")
        << QStringList{temperature + QStringLiteral("  ") + humidity, accelerometer + QLatin1Char(' ') + pressure}
        << "02" << typical;
    QTest::newRow("no blanks at all") << QStringList{QStringLiteral("Temperature:L-10H50"),
        QStringLiteral("Humidity:L10H90"), QStringLiteral("Pressure:L250H1234"),
        QStringLiteral("Accelero:X150Y0Z-3D128")}
                                      << "0002" << typical;
    QTest::newRow("many blanks and tabs") << QStringList{QStringLiteral("Temperature \t:  L  -10 \t H   50"), humidity,
        pressure, accelerometer} << "0002" << typical;
    QTest::newRow("text before a threshold") << QStringList{QStringLiteral("> th Temperature : L -10 H 50 C"), humidity,
        pressure, accelerometer} << "0002" << typical;
    QTest::newRow("other lines are ignored") << QStringList{QStringLiteral("th"), temperature,
        QStringLiteral("Report rate : 60000"), humidity, pressure, accelerometer}
                                             << "000002" << typical;
    QTest::newRow("two minus signs read as 0 and still count")
        << QStringList{QStringLiteral("Temperature : L --10 H 50"), humidity, pressure,
               QStringLiteral("Accelero : X --150 Y 0 Z -3 D 128")}
        << "0002" << QVector<float>{50, 0, 90, 10, 1234, 250, 0, 0, -3, 128};
    QTest::newRow("high value of seven digits keeps its first six")
        << QStringList{temperature, humidity, QStringLiteral("Pressure : L 250 H 1234567"), accelerometer} << "0002"
        << QVector<float>{50, -10, 90, 10, 123456, 250, 150, 0, -3, 128};
    QTest::newRow("six-digit values") << QStringList{QStringLiteral("Temperature : L -999999 H 999999"), humidity,
        pressure, accelerometer} << "0002"
                                      << QVector<float>{999999, -999999, 90, 10, 1234, 250, 150, 0, -3, 128};
    QTest::newRow("a repeated line replaces the earlier values")
        << QStringList{QStringLiteral("Temperature : L 1 H 2"), temperature, humidity, pressure, accelerometer}
        << "00002" << typical;
}

void TestReadCommands::thresholdReadCollectsFourLinesInAnyOrder()
{
    QFETCH(QStringList, lines);
    QFETCH(QString, results);
    QFETCH(QVector<float>, values);

    const Reading<NodeThresholds> reading = readWith(&NodeCMDthreshold::updateThreshold, lines);
    QCOMPARE(reading.results, results);
    QCOMPARE(reading.announced.size(), 1);
    const NodeThresholds t = reading.announced.first();
    const QVector<float> got{t.temperatureHigh, t.temperatureLow, t.humidityHigh, t.humidityLow, t.pressureHigh,
        t.pressureLow, t.accelX, t.accelY, t.accelZ, t.accelD};
    for (int i = 0; i < values.size(); ++i) {
        if (!sameFloat(got.at(i), values.at(i)))
            QFAIL(qPrintable(QStringLiteral("value %1 is %2, expected %3").arg(i).arg(got.at(i)).arg(values.at(i))));
    }
}

void TestReadCommands::thresholdLinesThatDoNotMatchSetNothing_data()
{
    // Each row holds the three other lines plus one line that must not count as the fourth.
    QTest::addColumn<QString>("line");
    QTest::newRow("low value of seven digits") << QStringLiteral("Temperature : L 1234567 H 50");
    QTest::newRow("lower-case label") << QStringLiteral("temperature : L -10 H 50");
    QTest::newRow("high before low") << QStringLiteral("Temperature : H 50 L -10");
    QTest::newRow("missing high value") << QStringLiteral("Temperature : L -10 H");
    QTest::newRow("plus sign") << QStringLiteral("Temperature : L +10 H 50");
    QTest::newRow("decimal point in the low value") << QStringLiteral("Temperature : L 1.5 H 50");
    QTest::newRow("no colon") << QStringLiteral("Temperature L -10 H 50");
}

void TestReadCommands::thresholdLinesThatDoNotMatchSetNothing()
{
    QFETCH(QString, line);
    const Reading<NodeThresholds> reading = readWith(&NodeCMDthreshold::updateThreshold,
        {QStringLiteral("Humidity : L 10 H 90"), QStringLiteral("Pressure : L 250 H 1234"),
            QStringLiteral("Accelero : X 150 Y 0 Z 0 D 128"), line});
    QCOMPARE(reading.results, QStringLiteral("0000"));
    QCOMPARE(reading.announced.size(), 0);
}

// ---- report-rate read ---------------------------------------------------------------------------------------

void TestReadCommands::reportRateConvertsMillisecondsToWholeMinutes_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("minutes");

    QTest::newRow("15 minutes") << QStringLiteral("Report rate : 900000") << 2 << 15;
    QTest::newRow("one minute") << QStringLiteral("Report rate : 60000") << 2 << 1;
    QTest::newRow("just below a minute") << QStringLiteral("Report rate : 59999") << 2 << 0;
    QTest::newRow("rounded toward zero") << QStringLiteral("Report rate : 119999") << 2 << 1;
    QTest::newRow("minus one minute") << QStringLiteral("Report rate : -60000") << 2 << -1;
    QTest::newRow("negative rounded toward zero") << QStringLiteral("Report rate : -119999") << 2 << -1;
    QTest::newRow("negative below a minute") << QStringLiteral("Report rate : -59999") << 2 << 0;
    QTest::newRow("largest 32-bit value") << QStringLiteral("Report rate : 2147483647") << 2 << 35791;
    QTest::newRow("smallest 32-bit value") << QStringLiteral("Report rate : -2147483648") << 2 << -35791;
    QTest::newRow("beyond 32 bits is 0") << QStringLiteral("Report rate : 2147483648") << 2 << 0;
    QTest::newRow("sixteen digits is 0") << QStringLiteral("Report rate : 1234567890123456") << 2 << 0;
    QTest::newRow("seventeen digits match their first sixteen")
        << QStringLiteral("Report rate : 12345678901234567") << 2 << 0;
    QTest::newRow("two minus signs is 0") << QStringLiteral("Report rate : --60000") << 2 << 0;
    QTest::newRow("no blanks, text around") << QStringLiteral("> Report rate:600000 ms") << 2 << 10;
    QTest::newRow("lower case does not match") << QStringLiteral("report rate : 60000") << 0 << 0;
    QTest::newRow("no number does not match") << QStringLiteral("Report rate : ms") << 0 << 0;
}

void TestReadCommands::reportRateConvertsMillisecondsToWholeMinutes()
{
    QFETCH(QString, line);
    QFETCH(int, result);
    QFETCH(int, minutes);

    NodeCMDreportRate command(nullptr);
    QSignalSpy spy(&command, &NodeCMDreportRate::updateRate);
    QCOMPARE(int(command.parseReply(line)), result);
    QCOMPARE(spy.count(), result == int(CommandResult::Done) ? 1 : 0);
    if (!spy.isEmpty())
        QCOMPARE(spy.at(0).at(0).toInt(), minutes);
}

// ---- all read commands --------------------------------------------------------------------------------------

void TestReadCommands::repeatedAnswerEmitsAgain()
{
    const QStringList banner{
        QStringLiteral("Tavonex : v1.0"), QStringLiteral("Ormix : 1"), QStringLiteral("Semtech LoRa : 2")};
    const Reading<Node> version = readWith(&NodeCMDversion::updateVersion, banner + banner);
    QCOMPARE(version.results, QStringLiteral("002002"));
    QCOMPARE(version.announced.size(), 2);

    const QStringList config{QStringLiteral("Communication: Pellimar"), QStringLiteral("Device not configured")};
    // After completing, the seen bits start again: one line of a repeated answer is not enough.
    const Reading<Node> configuration
        = readWith(&NodeCMDconfig::updateConfig, config + QStringList{config.at(1), config.at(0)});
    QCOMPARE(configuration.results, QStringLiteral("0202"));
    QCOMPARE(configuration.announced.size(), 2);

    const QStringList thresholds{QStringLiteral("Temperature : L 1 H 2"), QStringLiteral("Humidity : L 1 H 2"),
        QStringLiteral("Pressure : L 1 H 2"), QStringLiteral("Accelero : X 1 Y 2 Z 3 D 4")};
    const Reading<NodeThresholds> threshold = readWith(&NodeCMDthreshold::updateThreshold, thresholds + thresholds);
    QCOMPARE(threshold.results, QStringLiteral("00020002"));
    QCOMPARE(threshold.announced.size(), 2);

    const Reading<int> rate = readWith(&NodeCMDreportRate::updateRate,
        {QStringLiteral("Report rate : 60000"), QStringLiteral("Report rate : 120000")});
    QCOMPARE(rate.results, QStringLiteral("22"));
    QCOMPARE(rate.announced.size(), 2);
    QCOMPARE(rate.announced.at(1), 2);
}

QTEST_GUILESS_MAIN(TestReadCommands)
#include "tst_readcommands.moc"
