#include "commandresulttext.h"
#include "lineassembler.h"
#include "node.h"
#include "nodebuilders.h"
#include "nodecmdsetloraid.h"
#include "nodecmdsetsigfoxdata.h"
#include "nodecmdsetthreshold.h"
#include "nodecmdsleep.h"
#include "protectedfieldcipher.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <cmath>
#include <limits>

namespace {
constexpr qint32 kMax = std::numeric_limits<qint32>::max();
constexpr qint32 kMin = std::numeric_limits<qint32>::min();
const float kInf = std::numeric_limits<float>::infinity();
const float kNaN = std::numeric_limits<float>::quiet_NaN();

// The conversion tests: a value as the form holds it and the whole number the node is sent for it.
template <typename Value> void compareConversion(qint32 (*convert)(Value))
{
    QFETCH(Value, value);
    QFETCH(qint32, expected);
    QCOMPARE(convert(value), expected);
}
} // namespace

class TestWriteConversions : public QObject
{
    Q_OBJECT

private slots:
    void truncatesTowardZeroWithinTheInt32Range_data();
    void truncatesTowardZeroWithinTheInt32Range();
    void scalesToHundredthsAsTypedAndClamps_data();
    void scalesToHundredthsAsTypedAndClamps();
    void everyTypedHundredthOfThePressureRangeArrivesExactly();
    void convertsMinutesToMillisecondsWithoutOverflow_data();
    void convertsMinutesToMillisecondsWithoutOverflow();

    void buildsTheNumericSettingLines_data();
    void buildsTheNumericSettingLines();
    void protectedSettingLinesCarryTheEncryptedValue_data();
    void protectedSettingLinesCarryTheEncryptedValue();
    void sendsNothingForAThresholdThatHoldsNoValue_data();
    void sendsNothingForAThresholdThatHoldsNoValue();

    void writeReplyParserJudgesTheNodesAnswer_data();
    void writeReplyParserJudgesTheNodesAnswer();
    void writeCommandsWithoutPortFailWithoutSending();

    void sleepParserRecognisesTheNodeGoingToSleep_data();
    void sleepParserRecognisesTheNodeGoingToSleep();
    void sleepCommandEmitsAgainForARepeatedAnnouncement();
};

void TestWriteConversions::truncatesTowardZeroWithinTheInt32Range_data()
{
    QTest::addColumn<float>("value");
    QTest::addColumn<qint32>("expected");
    QTest::newRow("negative fraction") << -5.7f << -5;
    QTest::newRow("positive fraction") << 30.9f << 30;
    QTest::newRow("just below one") << 0.99f << 0;
    QTest::newRow("just above minus one") << -0.99f << 0;
    QTest::newRow("whole") << 20.0f << 20;
    QTest::newRow("largest float below 2^31") << 2147483520.0f << 2147483520;
    QTest::newRow("2^31 saturates") << 2147483648.0f << kMax;
    QTest::newRow("-2^31 is representable") << -2147483648.0f << kMin;
    QTest::newRow("huge positive") << 1e20f << kMax;
    QTest::newRow("huge negative") << -1e20f << kMin;
    QTest::newRow("float max") << std::numeric_limits<float>::max() << kMax;
    QTest::newRow("+inf") << kInf << kMax;
    QTest::newRow("-inf") << -kInf << kMin;
}

void TestWriteConversions::truncatesTowardZeroWithinTheInt32Range()
{
    compareConversion(&NodeCMDsetThreshold::truncated);
}

void TestWriteConversions::scalesToHundredthsAsTypedAndClamps_data()
{
    QTest::addColumn<float>("value");
    QTest::addColumn<qint32>("expected");
    // Scaling is symmetric around zero; these magnitudes are checked with both signs.
    const auto bothSigns = [](const char *name, float value, qint32 expected) {
        QTest::newRow(name) << value << expected;
        QTest::newRow(qPrintable(QLatin1String("negative, ") + QLatin1String(name))) << -value << -expected;
    };
    QTest::newRow("-81.88 stored below its decimal") << -81.88f << -8188;
    QTest::newRow("1.15 stored below its decimal") << 1.15f << 115;
    QTest::newRow("0.29") << 0.29f << 29;
    bothSigns("third decimal truncated", 12.345f, 1234);
    QTest::newRow("1.5") << 1.5f << 150;
    bothSigns("zero", 0.0f, 0);
    bothSigns("below one hundredth", 0.009f, 0);
    QTest::newRow("tiny") << 1e-30f << 0;
    QTest::newRow("large value with hundredths") << 600.01f << 60001;
    QTest::newRow("just inside the limit") << 649.99f << 64999;
    QTest::newRow("the limit") << 650.0f << 65000;
    bothSigns("700 clamps", 700.0f, 65000);
    QTest::newRow("650.001 clamps") << 650.001f << 65000;
    bothSigns("huge clamps", 3e38f, 65000);
    bothSigns("inf clamps", kInf, 65000);
}

void TestWriteConversions::scalesToHundredthsAsTypedAndClamps()
{
    compareConversion(&NodeCMDsetThreshold::scaledHundredths);
}

void TestWriteConversions::everyTypedHundredthOfThePressureRangeArrivesExactly()
{
    // Every value an operator can type with two decimals, from -650.00 to 650.00 (which covers -100.00 to
    // 100.00), read the way a line edit's text becomes a float.
    int wrong = 0;
    QString firstWrong;
    for (int k = -NodeCMDsetThreshold::kScaledLimit; k <= NodeCMDsetThreshold::kScaledLimit; ++k) {
        const QString typed = QString::number(k / 100.0, 'f', 2);
        bool ok = false;
        const float value = typed.toFloat(&ok);
        QVERIFY(ok);
        if (NodeCMDsetThreshold::scaledHundredths(value) != k) {
            if (!wrong++)
                firstWrong = typed;
        }
    }
    QVERIFY2(wrong == 0, qPrintable(QStringLiteral("%1 values off, first %2").arg(wrong).arg(firstWrong)));
}

void TestWriteConversions::convertsMinutesToMillisecondsWithoutOverflow_data()
{
    QTest::addColumn<qint32>("value"); // minutes
    QTest::addColumn<qint32>("expected");
    QTest::newRow("one minute") << 1 << 60000;
    QTest::newRow("zero") << 0 << 0;
    QTest::newRow("a quarter hour") << 15 << 900000;
    QTest::newRow("largest that fits") << 35791 << 2147460000;
    QTest::newRow("first that overflows") << 35792 << kMax;
    QTest::newRow("negative") << -1 << -60000;
    QTest::newRow("most negative that fits") << -35791 << -2147460000;
    QTest::newRow("negative overflow") << -35792 << kMin;
    QTest::newRow("int max") << kMax << kMax;
    QTest::newRow("int min") << kMin << kMin;
}

void TestWriteConversions::convertsMinutesToMillisecondsWithoutOverflow()
{
    compareConversion(&NodeCMDsetThreshold::rateMilliseconds);
}

void TestWriteConversions::buildsTheNumericSettingLines_data()
{
    QTest::addColumn<Node>("node");
    QTest::addColumn<int>("flag");
    QTest::addColumn<QByteArray>("line");

    Node node;
    node.thresholds = nodeThresholds(30.9f, -5.7f, 95.8f, 10.2f, 700.0f, 12.345f, 1.5f, 7.0f, 8.0f, 9.0f);
    node.reportRate = 1;
    QTest::newRow("temperature low first, truncated")
        << node << int(Node::FlagTemperature) << QByteArray("tht -5 30\r");
    QTest::newRow("humidity") << node << int(Node::FlagHumidity) << QByteArray("thh 10 95\r");
    QTest::newRow("pressure scaled and clamped") << node << int(Node::FlagPressure) << QByteArray("thp 1234 65000\r");
    QTest::newRow("accelerometer sends only x") << node << int(Node::FlagAccelerometer) << QByteArray("tha 150 128\r");
    QTest::newRow("report rate in ms") << node << int(Node::FlagReportRate) << QByteArray("rr 60000\r");

    Node negative = node;
    negative.thresholds.pressureLow = -81.88f;
    negative.thresholds.pressureHigh = -1.15f;
    negative.thresholds.accelX = -0.29f;
    negative.reportRate = 100000;
    QTest::newRow("negative pressure") << negative << int(Node::FlagPressure) << QByteArray("thp -8188 -115\r");
    QTest::newRow("negative accelerometer") << negative << int(Node::FlagAccelerometer) << QByteArray("tha -29 128\r");
    QTest::newRow("overflowing rate saturates")
        << negative << int(Node::FlagReportRate) << QByteArray("rr 2147483647\r");
    QTest::newRow("bit above the eight settings") << node << 0x100 << QByteArray();
}

void TestWriteConversions::buildsTheNumericSettingLines()
{
    QFETCH(Node, node);
    QFETCH(int, flag);
    QFETCH(QByteArray, line);
    const ProtectedFieldCipher cipher(ProtectedFieldCipher::Encrypt);
    QCOMPARE(NodeCMDsetThreshold::lineFor(node, flag, cipher), line);
}

void TestWriteConversions::protectedSettingLinesCarryTheEncryptedValue_data()
{
    QTest::addColumn<int>("flag");
    QTest::addColumn<QString>("word");
    QTest::addColumn<QString>("value");
    QTest::newRow("application id") << int(Node::FlagAppId) << "app "
                                    << "0004A30B001C0A00";
    QTest::newRow("application key") << int(Node::FlagAppKey) << "key "
                                     << "2B7E151628AED2A6ABF7158809CF4F3C";
    QTest::newRow("network id") << int(Node::FlagNetId) << "net "
                                << "00000013";
    QTest::newRow("lower-case input") << int(Node::FlagAppId) << "app "
                                      << "0004a30b001c0a0f";
}

void TestWriteConversions::protectedSettingLinesCarryTheEncryptedValue()
{
    QFETCH(int, flag);
    QFETCH(QString, word);
    QFETCH(QString, value);
    Node node;
    node.appId = node.appKey = node.netId = value;
    const ProtectedFieldCipher cipher(ProtectedFieldCipher::Encrypt);
    const QByteArray line = NodeCMDsetThreshold::lineFor(node, flag, cipher);

    QCOMPARE(line.size(), 41);
    QVERIFY(line.startsWith(word.toLatin1()));
    QVERIFY(line.endsWith('\r'));
    const QString field = QString::fromLatin1(line.mid(4, 36));
    QCOMPARE(field, field.toLower());
    const ProtectedFieldCipher decoder(ProtectedFieldCipher::Decrypt);
    QCOMPARE(decoder.decodeProtected(field, value.size() / 2), value.toLower());
}

void TestWriteConversions::sendsNothingForAThresholdThatHoldsNoValue_data()
{
    QTest::addColumn<int>("flag");
    QTest::addColumn<int>("field"); // index into the ten threshold floats
    QTest::newRow("temperature low") << int(Node::FlagTemperature) << 1;
    QTest::newRow("temperature high") << int(Node::FlagTemperature) << 0;
    QTest::newRow("humidity low") << int(Node::FlagHumidity) << 3;
    QTest::newRow("pressure high") << int(Node::FlagPressure) << 4;
    QTest::newRow("accelerometer x") << int(Node::FlagAccelerometer) << 6;
}

void TestWriteConversions::sendsNothingForAThresholdThatHoldsNoValue()
{
    QFETCH(int, flag);
    QFETCH(int, field);
    Node node;
    float *values[] = {&node.thresholds.temperatureHigh, &node.thresholds.temperatureLow, &node.thresholds.humidityHigh,
        &node.thresholds.humidityLow, &node.thresholds.pressureHigh, &node.thresholds.pressureLow,
        &node.thresholds.accelX, &node.thresholds.accelY, &node.thresholds.accelZ, &node.thresholds.accelD};
    for (float *v : values)
        *v = 1.0f;
    *values[field] = kNaN;
    const ProtectedFieldCipher cipher(ProtectedFieldCipher::Encrypt);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^NodeCMDset: .* holds no value")));
    QCOMPARE(NodeCMDsetThreshold::lineFor(node, flag, cipher), QByteArray());
}

void TestWriteConversions::writeReplyParserJudgesTheNodesAnswer_data()
{
    QTest::addColumn<QByteArray>("raw"); // as received, before line cleaning
    QTest::addColumn<CommandResult>("result");
    QTest::addColumn<QString>("log"); // expected info line, empty for none
    QTest::newRow("accepted") << QByteArray("Set tht 20 30") << CommandResult::Done << QString();
    QTest::newRow("Set inside the line") << QByteArray("> tht 20 30 Set ok") << CommandResult::Done << QString();
    QTest::newRow("Set followed by a tab") << QByteArray("Set\tok") << CommandResult::Done << QString();
    QTest::newRow("colour-wrapped Set") << QByteArray("\x1b[32mSet rate\x1b[0m") << CommandResult::Done << QString();
    QTest::newRow("lower-case set") << QByteArray("set tht 20 30") << CommandResult::Pending << QString();
    QTest::newRow("Set without text") << QByteArray("Set   ") << CommandResult::Pending << QString();
    QTest::newRow("Settings is no answer") << QByteArray("Settings") << CommandResult::Pending << QString();
    QTest::newRow("refused") << QByteArray("FAILED value out of range") << CommandResult::Failed
                             << QStringLiteral("NodeCMDset: FAIL - value out of range");
    QTest::newRow("refused inside the line")
        << QByteArray("ERR FAILED bad key") << CommandResult::Failed << QStringLiteral("NodeCMDset: FAIL - bad key");
    QTest::newRow("colour-wrapped FAILED") << QByteArray("\x1b[31mFAILED busy\x1b[0m") << CommandResult::Failed
                                           << QStringLiteral("NodeCMDset: FAIL - busy");
    QTest::newRow("FAILED without reason") << QByteArray("FAILED") << CommandResult::Pending << QString();
    QTest::newRow("lower-case failed") << QByteArray("failed range") << CommandResult::Pending << QString();
    QTest::newRow("Set wins over FAILED") << QByteArray("FAILED once, Set now") << CommandResult::Done << QString();
    QTest::newRow("echo") << QByteArray("tht 20 30") << CommandResult::Pending << QString();
    QTest::newRow("empty") << QByteArray() << CommandResult::Pending << QString();
}

void TestWriteConversions::writeReplyParserJudgesTheNodesAnswer()
{
    QFETCH(QByteArray, raw);
    QFETCH(CommandResult, result);
    QFETCH(QString, log);
    // Any write command will do: they share the parser.
    NodeCMDsetSigfoxData command(QString(), nullptr);
    if (!log.isEmpty())
        QTest::ignoreMessage(QtInfoMsg, qPrintable(log));
    QCOMPARE(command.parseReply(LineAssembler::cleanLine(raw)), result);
}

void TestWriteConversions::writeCommandsWithoutPortFailWithoutSending()
{
    Node node;
    node.reportRate = 5;
    NodeCMDsetThreshold settings(node, Node::FlagReportRate, nullptr);
    NodeCMDsetLoRaID id(QStringLiteral("0011223344556677"), nullptr);
    NodeCMDsetSigfoxData data(QString(96, QLatin1Char('a')), nullptr);
    for (NodeWriteCommand *command : {static_cast<NodeWriteCommand *>(&settings), static_cast<NodeWriteCommand *>(&id),
             static_cast<NodeWriteCommand *>(&data)}) {
        QSignalSpy finished(command, &NodeWriteCommand::finished);
        // The outcome never comes from inside the call that starts the command.
        QCOMPARE(command->sendCommand(), CommandResult::Pending);
        QCOMPARE(finished.count(), 0);
        QVERIFY(finished.wait(5000));
        QCOMPARE(finished.count(), 1);
        QCOMPARE(finished.at(0).at(0).value<CommandResult>(), CommandResult::Failed);
        QCOMPARE(finished.at(0).at(1).value<CommandFailure>(), CommandFailure::NoPort);
    }
    NodeCMDsleep sleep(nullptr);
    QCOMPARE(sleep.sendCommand(), CommandResult::Failed);
}

void TestWriteConversions::sleepParserRecognisesTheNodeGoingToSleep_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<bool>("sleeping");
    QTest::addColumn<QString>("log");
    QTest::newRow("announcement") << QByteArray("Terminal going to sleep") << true << QStringLiteral("GOT:  to sleep");
    QTest::newRow("inside the line") << QByteArray("> Terminal going down") << true << QStringLiteral("GOT:  down");
    QTest::newRow("colour-wrapped") << QByteArray("\x1b[33mTerminal going to sleep\x1b[0m\n") << true
                                    << QStringLiteral("GOT:  to sleep");
    QTest::newRow("one character more") << QByteArray("Terminal going!") << true << QStringLiteral("GOT: !");
    QTest::newRow("nothing after it") << QByteArray("Terminal going") << false << QString();
    QTest::newRow("only a trailing blank") << QByteArray("Terminal going ") << false << QString();
    QTest::newRow("lower case") << QByteArray("terminal going to sleep") << false << QString();
    QTest::newRow("write answer") << QByteArray("Set ok") << false << QString();
}

void TestWriteConversions::sleepParserRecognisesTheNodeGoingToSleep()
{
    QFETCH(QByteArray, raw);
    QFETCH(bool, sleeping);
    QFETCH(QString, log);
    NodeCMDsleep command(nullptr);
    QSignalSpy spy(&command, &NodeCMDsleep::nodeSleeping);
    if (!log.isEmpty())
        QTest::ignoreMessage(QtInfoMsg, qPrintable(log));
    QCOMPARE(
        command.parseReply(LineAssembler::cleanLine(raw)), sleeping ? CommandResult::Done : CommandResult::Pending);
    QCOMPARE(spy.count(), sleeping ? 1 : 0);
}

void TestWriteConversions::sleepCommandEmitsAgainForARepeatedAnnouncement()
{
    NodeCMDsleep command(nullptr);
    QSignalSpy spy(&command, &NodeCMDsleep::nodeSleeping);
    QTest::ignoreMessage(QtInfoMsg, "GOT:  to sleep");
    QTest::ignoreMessage(QtInfoMsg, "GOT:  to sleep");
    QCOMPARE(command.parseReply(QStringLiteral("Terminal going to sleep")), CommandResult::Done);
    QCOMPARE(command.parseReply(QStringLiteral("Terminal going to sleep")), CommandResult::Done);
    QCOMPARE(spy.count(), 2);
}

QTEST_GUILESS_MAIN(TestWriteConversions)
#include "tst_writeconversions.moc"
