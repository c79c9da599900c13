#include "protectedfieldcipher.h"

#include <QTest>

namespace {
QByteArray fieldBytes(const QString &fieldHex)
{
    return QByteArray::fromHex(fieldHex.toLatin1());
}

QString fieldHex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex());
}

quint16 fcsOf(const QByteArray &bytes)
{
    return ProtectedFieldCipher::fcs16(reinterpret_cast<const uchar *>(bytes.constData()), bytes.size());
}

using Outcome = ProtectedFieldCipher::Outcome;

const QByteArray kDevelopmentKey = QByteArray::fromHex("2b7e151628aed2a6abf7158809cf4f3c");
const QByteArray kFips197Key = QByteArray::fromHex("000102030405060708090a0b0c0d0e0f");

// Fields a node keyed with the development key sends for these values.
const struct KnownField
{
    const char *name;
    const char *value;
    const char *field;
} kKnownFields[] = {
    {"DevEui", "70B3D57ED0000A01", "0402c15f5f77671f8694a41a0d05c4d182fe"},
    {"AppEui", "0004A30B001C0A00", "6cd20e38f70bd9b7692e3c62d7ecbea93cb9"},
    {"AppKey", "2B7E151628AED2A6ABF7158809CF4F3C", "7f3591d36fd517a37b6de9e0df934b7a9f38"},
};

const int kBlockBytes = 16;

// Values of each size the node's protected fields carry.
const struct FieldValue
{
    const char *name;
    const char *value;
} kFieldValues[] = {
    {"1 byte", "7f"},
    {"4 bytes NetEui", "0000ABCD"},
    {"4 bytes network id", "00000013"},
    {"4 bytes SigFox ID", "00C0FFEE"},
    {"8 bytes PAC", "0123456789ABCDEF"},
    {"8 bytes EUI", "70B3D57ED0000A01"},
    {"8 bytes all zero", "0000000000000000"},
    {"8 bytes all ones", "ffffffffffffffff"},
    {"16 bytes", "00112233445566778899aAbBcCdDeEfF"},
};

void addFieldValueRows(int maxBytes)
{
    QTest::addColumn<QString>("value");
    for (const FieldValue &row : kFieldValues) {
        if (qstrlen(row.value) / 2 <= uint(maxBytes))
            QTest::newRow(row.name) << QString::fromLatin1(row.value);
    }
}
} // namespace

Q_DECLARE_METATYPE(ProtectedFieldCipher::Outcome)

class TestProtectedFieldCipher : public QObject
{
    Q_OBJECT

    // Both directions under the key built into the program, as the link uses them.
    const ProtectedFieldCipher m_encoder{ProtectedFieldCipher::Encrypt};
    const ProtectedFieldCipher m_decoder{ProtectedFieldCipher::Decrypt};

private slots:
    void encodesKnownValuesUnderTheDevelopmentKey_data();
    void encodesKnownValuesUnderTheDevelopmentKey();
    void encryptsTheFips197BlockWithAGivenKey();
    void computesTheX25CheckValue();
    void roundTripsValuesOfEveryFieldSize_data();
    void roundTripsValuesOfEveryFieldSize();
    void rejectsEverySingleFlippedBit();
    void rejectsFieldWithSwappedFcsBytes();
    void decoderRejectsMalformedInputWithoutCrash_data();
    void decoderRejectsMalformedInputWithoutCrash();
    void encoderRejectsValuesItCannotEncodeWhole_data();
    void encoderRejectsValuesItCannotEncodeWhole();
    void decodesUpperAndLowerCaseDigitsAlike();
    void decodeChecksTheZeroFillAfterTheValue_data();
    void decodeChecksTheZeroFillAfterTheValue();
    void fieldUnderAnotherKeyIsAKeyMismatch_data();
    void fieldUnderAnotherKeyIsAKeyMismatch();
    void fingerprintsAKeyByTheStartOfItsSha256_data();
    void fingerprintsAKeyByTheStartOfItsSha256();
    void recognisesTheDevelopmentKey();
    void shortValuesAreZeroFilledToOneBlock();
    void rendersBytesAsTwoLowerCaseDigits_data();
    void rendersBytesAsTwoLowerCaseDigits();
    void cipherOfTheWrongDirectionOrKeyDoesNothing();
};

void TestProtectedFieldCipher::encodesKnownValuesUnderTheDevelopmentKey_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("field");
    for (const KnownField &known : kKnownFields)
        QTest::newRow(known.name) << QString::fromLatin1(known.value) << QString::fromLatin1(known.field);
}

void TestProtectedFieldCipher::encodesKnownValuesUnderTheDevelopmentKey()
{
    QFETCH(QString, value);
    QFETCH(QString, field);
    QCOMPARE(m_encoder.encodeProtected(value), field);
    QCOMPARE(m_decoder.decodeProtected(field, value.size() / 2), value.toLower());
}

void TestProtectedFieldCipher::encryptsTheFips197BlockWithAGivenKey()
{
    const ProtectedFieldCipher fipsEncoder(ProtectedFieldCipher::Encrypt, kFips197Key);
    QVERIFY(fipsEncoder.isValid());
    const QString field = fipsEncoder.encodeProtected(QStringLiteral("00112233445566778899aabbccddeeff"));
    QCOMPARE(field.left(32), QStringLiteral("69c4e0d86a7b0430d8cdb78070b4c55a"));
}

void TestProtectedFieldCipher::computesTheX25CheckValue()
{
    const QByteArray check = "123456789";
    QCOMPARE(quint16(fcsOf(check) ^ 0xFFFF), quint16(0x906E));
    QCOMPARE(ProtectedFieldCipher::fcs16(nullptr, 0), quint16(0xFFFF));
}

void TestProtectedFieldCipher::roundTripsValuesOfEveryFieldSize_data()
{
    addFieldValueRows(kBlockBytes);
}

void TestProtectedFieldCipher::roundTripsValuesOfEveryFieldSize()
{
    QFETCH(QString, value);
    const QString field = m_encoder.encodeProtected(value);
    QCOMPARE(field.size(), 36);
    QCOMPARE(field, field.toLower());
    QCOMPARE(fcsOf(fieldBytes(field)), ProtectedFieldCipher::kGoodFcs);
    QCOMPARE(m_decoder.decodeProtected(field, value.size() / 2), value.toLower());
}

void TestProtectedFieldCipher::rejectsEverySingleFlippedBit()
{
    const QByteArray intact = fieldBytes(m_encoder.encodeProtected(QStringLiteral("70B3D57ED0000A01")));
    QCOMPARE(intact.size(), 18);
    for (int bit = 0; bit < 18 * 8; ++bit) {
        QByteArray damaged = intact;
        damaged[bit / 8] = char(damaged.at(bit / 8) ^ (1 << (bit % 8)));
        // Damage on the line is never mistaken for a node keyed differently.
        QVERIFY2(m_decoder.decodeProtectedChecked(fieldHex(damaged), 8).outcome == Outcome::BadFrame,
            qPrintable(QString::number(bit)));
    }
}

void TestProtectedFieldCipher::rejectsFieldWithSwappedFcsBytes()
{
    const QByteArray intact = fieldBytes(m_encoder.encodeProtected(QStringLiteral("0004A30B001C0A00")));
    QVERIFY(intact.at(16) != intact.at(17));
    QByteArray swapped = intact;
    swapped[16] = intact.at(17);
    swapped[17] = intact.at(16);
    QVERIFY(!m_decoder.decodeProtected(fieldHex(intact), 8).isEmpty());
    QVERIFY(m_decoder.decodeProtected(fieldHex(swapped), 8).isEmpty());
}

void TestProtectedFieldCipher::decoderRejectsMalformedInputWithoutCrash_data()
{
    const QString good = m_encoder.encodeProtected(QStringLiteral("70B3D57ED0000A01"));
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("count");
    QTest::newRow("empty") << QString() << 8;
    QTest::newRow("34 digits") << good.left(34) << 8;
    QTest::newRow("35 digits") << good.left(35) << 8;
    QTest::newRow("37 digits") << good + "0" << 8;
    QTest::newRow("38 digits") << good + "00" << 8;
    QTest::newRow("twice the field") << good + good << 8;
    QTest::newRow("non-hex digit") << QString(good).replace(0, 1, QLatin1Char('g')) << 8;
    QTest::newRow("blanks between pairs") << good.left(17) + " " + good.mid(18) << 8;
    QTest::newRow("non-Latin digit") << QString(good).replace(4, 1, QChar(0x0663)) << 8;
    QTest::newRow("count 0") << good << 0;
    QTest::newRow("count 17") << good << 17;
    QTest::newRow("negative count") << good << -1;
}

void TestProtectedFieldCipher::decoderRejectsMalformedInputWithoutCrash()
{
    QFETCH(QString, field);
    QFETCH(int, count);
    QCOMPARE(m_decoder.decodeProtected(field, count), QString());
}

void TestProtectedFieldCipher::encoderRejectsValuesItCannotEncodeWhole_data()
{
    const QString eui = QStringLiteral("70B3D57ED0000A01");
    const QString key = QString::fromLatin1(kDevelopmentKey.toHex().toUpper());
    QTest::addColumn<QString>("value");
    QTest::newRow("odd number of digits") << eui.chopped(1);
    QTest::newRow("one digit") << "7";
    QTest::newRow("34 digits") << key + "00";
    QTest::newRow("33 digits") << key + "0";
    QTest::newRow("non-hex digits") << eui.left(14) + "ZZ";
    QTest::newRow("separators") << "70:B3:D5:7E";
}

void TestProtectedFieldCipher::encoderRejectsValuesItCannotEncodeWhole()
{
    QFETCH(QString, value);
    QCOMPARE(m_encoder.encodeProtected(value), QString());
}

void TestProtectedFieldCipher::decodesUpperAndLowerCaseDigitsAlike()
{
    const QString field = m_encoder.encodeProtected(QStringLiteral("2B7E151628AED2A6ABF7158809CF4F3C"));
    const QString expected = QStringLiteral("2b7e151628aed2a6abf7158809cf4f3c");
    QCOMPARE(m_decoder.decodeProtected(field.toUpper(), 16), expected);
    QCOMPARE(m_decoder.decodeProtected(field, 16), expected);
    QString mixed = field;
    for (int i = 0; i < mixed.size(); i += 2)
        mixed[i] = mixed.at(i).toUpper();
    QCOMPARE(m_decoder.decodeProtected(mixed, 16), expected);
}

void TestProtectedFieldCipher::decodeChecksTheZeroFillAfterTheValue_data()
{
    // `block` is the whole plaintext the field carries; `count` the bytes of the value inside it.
    QTest::addColumn<QString>("block");
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("damageFcs");
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<QString>("value");

    const struct
    {
        const char *kind;
        const char *value;
    } kinds[] = {{"EUI", "70b3d57ed0000a01"}, {"network id", "00000013"}, {"SigFox ID", "00c0ffee"},
        {"PAC", "0123456789abcdef"}};
    for (const auto &kind : kinds) {
        const QString value = QString::fromLatin1(kind.value);
        const int count = value.size() / 2;
        const QString zeroFill(32 - value.size(), QLatin1Char('0'));
        const QString row = QString::fromLatin1(kind.kind);
        QTest::newRow(qPrintable(row + ", zero fill")) << value + zeroFill << count << false << Outcome::Ok << value;
        QTest::newRow(qPrintable(row + ", first fill byte set"))
            << value + "01" + zeroFill.mid(2) << count << false << Outcome::KeyMismatch << QString();
        QTest::newRow(qPrintable(row + ", last fill byte set"))
            << value + zeroFill.left(zeroFill.size() - 2) + "80" << count << false << Outcome::KeyMismatch << QString();
        QTest::newRow(qPrintable(row + ", zero fill, bad FCS"))
            << value + zeroFill << count << true << Outcome::BadFrame << QString();
        QTest::newRow(qPrintable(row + ", fill byte set, bad FCS"))
            << value + "01" + zeroFill.mid(2) << count << true << Outcome::BadFrame << QString();
    }
    // An application key fills the whole block: there is no fill to check.
    QTest::newRow("application key") << "ffeeddccbbaa99887766554433221101" << 16 << false << Outcome::Ok
                                     << "ffeeddccbbaa99887766554433221101";
    QTest::newRow("application key, bad FCS")
        << "ffeeddccbbaa99887766554433221101" << 16 << true << Outcome::BadFrame << QString();
}

void TestProtectedFieldCipher::decodeChecksTheZeroFillAfterTheValue()
{
    QFETCH(QString, block);
    QFETCH(int, count);
    QFETCH(bool, damageFcs);
    QFETCH(Outcome, outcome);
    QFETCH(QString, value);
    QByteArray field = fieldBytes(m_encoder.encodeProtected(block));
    QCOMPARE(field.size(), 18);
    if (damageFcs)
        field[17] = char(field.at(17) ^ 0x01);

    const ProtectedFieldCipher::Decoded decoded = m_decoder.decodeProtectedChecked(fieldHex(field), count);
    QCOMPARE(decoded.outcome, outcome);
    QCOMPARE(decoded.value, value);
    // The plain decoder gives what the checked one gives, so callers that only look for a value lose nothing.
    QCOMPARE(m_decoder.decodeProtected(fieldHex(field), count), value);
}

void TestProtectedFieldCipher::fieldUnderAnotherKeyIsAKeyMismatch_data()
{
    // A value that fills the whole block leaves no zero fill by which a wrong key would show.
    addFieldValueRows(kBlockBytes - 1);
}

void TestProtectedFieldCipher::fieldUnderAnotherKeyIsAKeyMismatch()
{
    QFETCH(QString, value);
    const ProtectedFieldCipher otherNode(ProtectedFieldCipher::Encrypt, kFips197Key);
    const QString field = otherNode.encodeProtected(value).toUpper();
    QCOMPARE(fcsOf(fieldBytes(field)), ProtectedFieldCipher::kGoodFcs); // the frame alone cannot tell
    const ProtectedFieldCipher::Decoded decoded = m_decoder.decodeProtectedChecked(field, value.size() / 2);
    QCOMPARE(decoded.outcome, Outcome::KeyMismatch);
    QCOMPARE(decoded.value, QString());
}

void TestProtectedFieldCipher::fingerprintsAKeyByTheStartOfItsSha256_data()
{
    // Expected values from sha256sum over the 16 key bytes.
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QString>("fingerprint");
    QTest::newRow("development key") << kDevelopmentKey << "D4FFB8B7";
    QTest::newRow("FIPS-197 example key") << kFips197Key << "BE45CB26";
}

void TestProtectedFieldCipher::fingerprintsAKeyByTheStartOfItsSha256()
{
    QFETCH(QByteArray, key);
    QFETCH(QString, fingerprint);
    QCOMPARE(ProtectedFieldCipher::keyFingerprint(key), fingerprint);
}

void TestProtectedFieldCipher::recognisesTheDevelopmentKey()
{
    // Test builds may be configured with any key; what must hold is that the answers agree with the key built in.
    const bool development = ProtectedFieldCipher::programKey() == kDevelopmentKey;
    QCOMPARE(ProtectedFieldCipher::isDevelopmentKey(), development);
    QCOMPARE(ProtectedFieldCipher::keyFingerprint() == QLatin1String("D4FFB8B7"), development);
}

void TestProtectedFieldCipher::shortValuesAreZeroFilledToOneBlock()
{
    QCOMPARE(m_encoder.encodeProtected(QStringLiteral("0000abcd")),
        m_encoder.encodeProtected(QStringLiteral("0000abcd000000000000000000000000")));
    QCOMPARE(m_encoder.encodeProtected(QStringLiteral("70B3D57ED0000A01")),
        m_encoder.encodeProtected(QStringLiteral("70B3D57ED0000A010000000000000000")));
    QCOMPARE(m_decoder.decodeProtected(m_encoder.encodeProtected(QStringLiteral("0000abcd")), 16),
        QStringLiteral("0000abcd000000000000000000000000"));
}

void TestProtectedFieldCipher::rendersBytesAsTwoLowerCaseDigits_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("0x0a") << QByteArray("\x0a", 1) << "0a";
    QTest::newRow("0x00") << QByteArray("\x00", 1) << "00";
    QTest::newRow("high bytes") << QByteArray("\xAB\xcd\xFF", 3) << "abcdff";
    QTest::newRow("nothing") << QByteArray() << "";
}

void TestProtectedFieldCipher::rendersBytesAsTwoLowerCaseDigits()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(ProtectedFieldCipher::toHexText(reinterpret_cast<const uchar *>(bytes.constData()), bytes.size()), text);
}

void TestProtectedFieldCipher::cipherOfTheWrongDirectionOrKeyDoesNothing()
{
    const QString field = m_encoder.encodeProtected(QStringLiteral("70B3D57ED0000A01"));
    QCOMPARE(m_encoder.decodeProtected(field, 8), QString());
    QCOMPARE(m_decoder.encodeProtected(QStringLiteral("70B3D57ED0000A01")), QString());

    const ProtectedFieldCipher shortKey(ProtectedFieldCipher::Decrypt, QByteArray(15, '\x01'));
    QVERIFY(!shortKey.isValid());
    QCOMPARE(shortKey.decodeProtected(field, 8), QString());
    QCOMPARE(ProtectedFieldCipher::programKey().size(), 16);
}

QTEST_APPLESS_MAIN(TestProtectedFieldCipher)
#include "tst_protectedfieldcipher.moc"
