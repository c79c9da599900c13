#include "labelcode.h"

#include <QTest>

Q_DECLARE_METATYPE(LabelCode::Kind)

namespace {

// The identities a LoRa label carries, and the QR code that carries them.
const QString kJoinEui = QStringLiteral("0004A30B001C0A00");
const QString kDevEui = QStringLiteral("70B3D57ED0000A01");
const QString kProfileId = QStringLiteral("01230456");
const QString kQr = QStringLiteral("LW:D0:%1:%2:%3").arg(kJoinEui, kDevEui, kProfileId);
const QString kPac = QStringLiteral("0123456789ABCDEF");
const QString kMatchesText = QStringLiteral("Label matches");

Node nodeOf(Node::eFirmwareType type, const QString &euid, const QString &pac = QString())
{
    Node node;
    node.firmwareType = type;
    node.euid = euid;
    node.pac = pac;
    return node;
}

// A LoRa node whose AppEUI is the label's JoinEUI.
Node joinedNode(Node::eFirmwareType type, const QString &euid, const QString &appId = kJoinEui)
{
    Node node = nodeOf(type, euid);
    node.appId = appId;
    return node;
}

} // namespace

class LabelCodeTest : public QObject
{
    Q_OBJECT

private slots:
    void readsEachLabelFormat_data();
    void readsEachLabelFormat();
    void refusesWhatIsNoLabel_data();
    void refusesWhatIsNoLabel();
    void matchesTheNodeByItsIdentity_data();
    void matchesTheNodeByItsIdentity();
    void matchesTheProfilesLabelId_data();
    void matchesTheProfilesLabelId();
};

void LabelCodeTest::readsEachLabelFormat_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<LabelCode::Kind>("kind");
    QTest::addColumn<QString>("identifier");
    QTest::addColumn<QString>("joinEui");
    QTest::addColumn<QString>("profileId");
    QTest::addColumn<QStringList>("extras");
    QTest::addColumn<QString>("pac");

    QTest::newRow("qr code") << kQr << LabelCode::LoRaQrCode << kDevEui << kJoinEui << kProfileId << QStringList()
                             << QString();
    QTest::newRow("qr code in lower case, blanks and a line end around")
        << QStringLiteral("  lw:d0:0004a30b001c0a00:70b3d57ed0000a01:01230456\r\n") << LabelCode::LoRaQrCode << kDevEui
        << kJoinEui << kProfileId << QStringList() << QString();
    QTest::newRow("qr code with owner token, serial and checksum: the owner token is dropped")
        << kQr + QStringLiteral(":OAbC123:S0042:C1F2A") << LabelCode::LoRaQrCode << kDevEui << kJoinEui << kProfileId
        << QStringList{QStringLiteral("S0042"), QStringLiteral("C1F2A")} << QString();
    QTest::newRow("qr code with an unknown field holding a key: dropped")
        << kQr + QStringLiteral(":K00112233445566778899AABBCCDDEEFF:S7") << LabelCode::LoRaQrCode << kDevEui << kJoinEui
        << kProfileId << QStringList{QStringLiteral("S7")} << QString();
    QTest::newRow("qr code with a direction override in a proprietary field")
        << kQr + QStringLiteral(":Plot\u202E7") << LabelCode::LoRaQrCode << kDevEui << kJoinEui << kProfileId
        << QStringList{QStringLiteral("Plot7")} << QString();
    QTest::newRow("qr code with a proprietary field holding blanks")
        << kQr + QStringLiteral(":Pbatch 7") << LabelCode::LoRaQrCode << kDevEui << kJoinEui << kProfileId
        << QStringList{QStringLiteral("Pbatch 7")} << QString();
    QTest::newRow("bare deveui") << kDevEui << LabelCode::DevEui << kDevEui << QString() << QString() << QStringList()
                                 << QString();
    QTest::newRow("deveui in lower case in pairs") << QStringLiteral("70 b3 d5 7e d0 00 0a 01") << LabelCode::DevEui
                                                   << kDevEui << QString() << QString() << QStringList() << QString();
    QTest::newRow("deveui with dashes, colons and a tab")
        << QStringLiteral("\t70-B3-D5-7E:D0:00:0A:01 ") << LabelCode::DevEui << kDevEui << QString() << QString()
        << QStringList() << QString();
    QTest::newRow("sigfox id") << QStringLiteral("C0FFEE") << LabelCode::SigfoxId << QStringLiteral("C0FFEE")
                               << QString() << QString() << QStringList() << QString();
    QTest::newRow("sigfox id of one digit") << QStringLiteral("7") << LabelCode::SigfoxId << QStringLiteral("7")
                                            << QString() << QString() << QStringList() << QString();
    QTest::newRow("sigfox id of eight digits in lower case")
        << QStringLiteral(" 00c0ffee ") << LabelCode::SigfoxId << QStringLiteral("00C0FFEE") << QString() << QString()
        << QStringList() << QString();
    QTest::newRow("sigfox id and pac after a blank")
        << QStringLiteral("C0FFEE 0123456789abcdef") << LabelCode::SigfoxId << QStringLiteral("C0FFEE") << QString()
        << QString() << QStringList() << QStringLiteral("0123456789ABCDEF");
    QTest::newRow("sigfox id and pac after a comma and blanks")
        << QStringLiteral("C0FFEE , 0123456789ABCDEF") << LabelCode::SigfoxId << QStringLiteral("C0FFEE") << QString()
        << QString() << QStringList() << QStringLiteral("0123456789ABCDEF");
    QTest::newRow("sigfox id and pac after a semicolon")
        << QStringLiteral("1A2B3C4D;0123456789ABCDEF") << LabelCode::SigfoxId << QStringLiteral("1A2B3C4D") << QString()
        << QString() << QStringList() << QStringLiteral("0123456789ABCDEF");
}

void LabelCodeTest::readsEachLabelFormat()
{
    QFETCH(QString, input);
    const LabelCode code = LabelCode::parse(input);
    QVERIFY2(code.isValid(), qPrintable(code.errorText()));
    QVERIFY(code.errorText().isEmpty());
    QTEST(code.kind(), "kind");
    QTEST(code.identifier(), "identifier");
    QTEST(code.joinEui(), "joinEui");
    QTEST(code.profileId(), "profileId");
    QTEST(code.extraFields(), "extras");
    QTEST(code.pac(), "pac");
    QCOMPARE(code.isSigfox(), code.kind() == LabelCode::SigfoxId);
}

void LabelCodeTest::refusesWhatIsNoLabel_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("errorStart");

    const QString notALabel = QStringLiteral("Not a label: expected a LoRaWAN QR code (LW:D0:…), a 16-digit DevEUI");
    const QString notAQrCode = QStringLiteral("Not a LoRaWAN QR code");
    QTest::newRow("empty") << QString() << notALabel;
    QTest::newRow("only blanks") << QStringLiteral("   ") << notALabel;
    QTest::newRow("deveui one digit short") << QStringLiteral("70B3D57ED0000A0") << notALabel;
    QTest::newRow("deveui one digit long") << QStringLiteral("70B3D57ED0000A011") << notALabel;
    QTest::newRow("deveui with a non-hex digit") << QStringLiteral("70B3D57ED0000G01") << notALabel;
    QTest::newRow("sigfox id of nine digits") << QStringLiteral("1C0FFEE00") << notALabel;
    QTest::newRow("sigfox pac one digit short") << QStringLiteral("C0FFEE 0123456789ABCDE") << notALabel;
    QTest::newRow("sigfox pac one digit long") << QStringLiteral("C0FFEE 0123456789ABCDEF0") << notALabel;
    QTest::newRow("sigfox id and pac with two separators") << QStringLiteral("C0FFEE,;0123456789ABCDEF") << notALabel;
    QTest::newRow("sigfox id with a non-hex digit") << QStringLiteral("C0FFEX") << notALabel;
    QTest::newRow("wrong prefix") << QStringLiteral("LX:D0:0004A30B001C0A00:70B3D57ED0000A01:01230456") << notALabel;
    QTest::newRow("url instead of a label") << QStringLiteral("https://example.com/70B3D57ED0000A01") << notALabel;
    QTest::newRow("unknown qr version") << QStringLiteral("LW:D1:0004A30B001C0A00:70B3D57ED0000A01:01230456")
                                        << notAQrCode;
    QTest::newRow("qr without profile id") << QStringLiteral("LW:D0:0004A30B001C0A00:70B3D57ED0000A01") << notAQrCode;
    QTest::newRow("qr without deveui") << QStringLiteral("LW:D0:0004A30B001C0A00") << notAQrCode;
    QTest::newRow("qr with short deveui")
        << QStringLiteral("LW:D0:0004A30B001C0A00:70B3D57ED0000A0:01230456") << notAQrCode;
    QTest::newRow("qr with non-hex joineui")
        << QStringLiteral("LW:D0:0004A30B001C0A0Z:70B3D57ED0000A01:01230456") << notAQrCode;
    QTest::newRow("qr with long profile id")
        << QStringLiteral("LW:D0:0004A30B001C0A00:70B3D57ED0000A01:012304567") << notAQrCode;
    QTest::newRow("qr with blanks inside the deveui")
        << QStringLiteral("LW:D0:0004A30B001C0A00:70B3 D57E D000 0A01:01230456") << notAQrCode;
    QTest::newRow("qr field starting with a digit") << kQr + QStringLiteral(":42") << notAQrCode;
    QTest::newRow("qr ending in an empty field") << kQr + QStringLiteral(":") << notAQrCode;
}

void LabelCodeTest::refusesWhatIsNoLabel()
{
    QFETCH(QString, input);
    QFETCH(QString, errorStart);
    const LabelCode code = LabelCode::parse(input);
    QVERIFY(!code.isValid());
    QCOMPARE(code.kind(), LabelCode::Invalid);
    QVERIFY2(code.errorText().startsWith(errorStart), qPrintable(code.errorText()));
    QVERIFY(code.identifier().isEmpty());
    const LabelMatch match = code.match(nodeOf(Node::LoRaOTAA, QStringLiteral("70B3D57ED0000A01")));
    QVERIFY(!match.matches);
    QCOMPARE(match.text, code.errorText());
}

void LabelCodeTest::matchesTheNodeByItsIdentity_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<Node>("node");
    QTest::addColumn<bool>("matches");
    QTest::addColumn<QString>("text");

    QTest::newRow("qr code and lora node") << kQr << joinedNode(Node::LoRaOTAA, kDevEui) << true << kMatchesText;
    QTest::newRow("qr code and pellimar 5d node, appeui in lower case")
        << kQr << joinedNode(Node::Pellimar5D, kDevEui, kJoinEui.toLower()) << true << kMatchesText;
    QTest::newRow("qr code for another joineui")
        << kQr << joinedNode(Node::LoRaOTAA, kDevEui, QStringLiteral("0004A30B001C0A99")) << false
        << QStringLiteral("The JoinEUI 0004A30B001C0A00 on the label is not the node's (0004A30B001C0A99)");
    QTest::newRow("qr code and a node without appeui")
        << kQr << joinedNode(Node::LoRaOTAA, kDevEui, QString()) << false
        << QStringLiteral("The JoinEUI 0004A30B001C0A00 on the label is not the node's (without identifier)");
    QTest::newRow("deveui in lower case and node with colons")
        << QStringLiteral("70b3d57ed0000a01") << nodeOf(Node::LoRaOTAA5D, QStringLiteral("70:B3:D5:7E:D0:00:0A:01"))
        << true << kMatchesText;
    QTest::newRow("qr code of another node")
        << kQr << joinedNode(Node::LoRaOTAA, QStringLiteral("0004A30B001C0A00")) << false
        << QStringLiteral("Label 70B3D57ED0000A01 does not match node 0004A30B001C0A00");
    QTest::newRow("joineui is not the identity")
        << QStringLiteral("LW:D0:70B3D57ED0000A01:0004A30B001C0A00:01230456") << joinedNode(Node::LoRaOTAA, kDevEui)
        << false << QStringLiteral("Label 0004A30B001C0A00 does not match node 70B3D57ED0000A01");
    QTest::newRow("sigfox id without leading zeros")
        << QStringLiteral("C0FFEE") << nodeOf(Node::SigFox, QStringLiteral("C0FFEE")) << true << kMatchesText;
    QTest::newRow("sigfox id with leading zeros on the label")
        << QStringLiteral("00C0FFEE") << nodeOf(Node::SigFox5D, QStringLiteral("C0FFEE")) << true << kMatchesText;
    QTest::newRow("sigfox id with leading zeros on the node")
        << QStringLiteral("c0ffee") << nodeOf(Node::SigFox, QStringLiteral("00C0FFEE")) << true << kMatchesText;
    QTest::newRow("another sigfox id") << QStringLiteral("C0FFEF") << nodeOf(Node::SigFox, QStringLiteral("C0FFEE"))
                                       << false << QStringLiteral("Label C0FFEF does not match node C0FFEE");
    QTest::newRow("sigfox id and pac") << QStringLiteral("C0FFEE;0123456789abcdef")
                                       << nodeOf(Node::SigFox, QStringLiteral("C0FFEE"), kPac) << true << kMatchesText;
    QTest::newRow("sigfox pac differs, text does not show it")
        << QStringLiteral("C0FFEE 0123456789ABCDEE") << nodeOf(Node::SigFox, QStringLiteral("C0FFEE"), kPac) << false
        << QStringLiteral("The PAC on label C0FFEE does not match node C0FFEE");
    QTest::newRow("sigfox label and lora node of the same digits")
        << QStringLiteral("C0FFEE") << nodeOf(Node::LoRaOTAA, QStringLiteral("0000000000C0FFEE")) << false
        << QStringLiteral("Label C0FFEE does not match node 0000000000C0FFEE");
    QTest::newRow("deveui label and sigfox node")
        << kDevEui << nodeOf(Node::SigFox, QStringLiteral("C0FFEE")) << false
        << QStringLiteral("Label 70B3D57ED0000A01 does not match node C0FFEE");
    QTest::newRow("node without identifier")
        << kDevEui << nodeOf(Node::LoRaOTAA, QString()) << false
        << QStringLiteral("Label 70B3D57ED0000A01 does not match node without identifier");
    QTest::newRow("sigfox node with garbage identifier")
        << QStringLiteral("C0FFEE") << nodeOf(Node::SigFox, QStringLiteral("C0FFEE?")) << false
        << QStringLiteral("Label C0FFEE does not match node C0FFEE?");
}

void LabelCodeTest::matchesTheNodeByItsIdentity()
{
    QFETCH(QString, label);
    QFETCH(Node, node);
    const LabelCode code = LabelCode::parse(label);
    QVERIFY2(code.isValid(), qPrintable(code.errorText()));
    const LabelMatch match = code.match(node);
    QTEST(match.matches, "matches");
    QTEST(match.text, "text");
}

void LabelCodeTest::matchesTheProfilesLabelId_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("profileId");
    QTest::addColumn<bool>("matches");

    QTest::newRow("the profile names none") << kQr << QString() << true;
    QTest::newRow("the profile names the label's") << kQr << kProfileId << true;
    QTest::newRow("the profile names another") << kQr << QStringLiteral("01230457") << false;
    QTest::newRow("a bare deveui carries none to compare") << kDevEui << QStringLiteral("01230457") << true;
}

void LabelCodeTest::matchesTheProfilesLabelId()
{
    QFETCH(QString, label);
    QFETCH(QString, profileId);
    const LabelMatch match = LabelCode::parse(label).match(joinedNode(Node::LoRaOTAA5D, kDevEui), profileId);
    QTEST(match.matches, "matches");
}

QTEST_APPLESS_MAIN(LabelCodeTest)
#include "tst_labelcode.moc"
