// The simulated node seen from the tool's side: a real QSerialPort on the simulator's pseudo-terminal.
#include "lineassembler.h"
#include "nodesimulator.h"
#include "prerequisite.h"
#include "protectedfieldcipher.h"
#include "simulatedport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>
#include <functional>
#include <memory>

Q_DECLARE_METATYPE(SimNodeProfile)

namespace {
// Generous limit for answers the node gives at once; the waits end as soon as the answer is there.
constexpr int kAnswerWaitMs = 10000;

const QRegularExpression kFieldLine(
    QStringLiteral("^(DevEui|AppEui|AppKey|NetEui)= ((?:[\\dA-F]{2} ){17}[\\dA-F]{2})$"));
const QRegularExpression kSigfoxLine(QStringLiteral("^SigFox (ID|PAC)\\s+:\\s+([\\dA-F]{36})$"));
const QRegularExpression kBoardLine(QStringLiteral("^Tavonex\\s+:\\s+(\\S+)"));
const QRegularExpression kModuleLine(QStringLiteral("^Ormix\\s+:\\s+(\\S+)"));
const QRegularExpression kRadioLine(QStringLiteral("^Semtech LoRa\\s:\\s+(\\S+)"));
const QRegularExpression kWriteAnswer(QStringLiteral("Set\\s(.+)"));
const QRegularExpression kFailAnswer(QStringLiteral("FAILED\\s(.+)"));

int decodeCount(const QString &key)
{
    if (key == QLatin1String("AppKey"))
        return 16;
    if (key == QLatin1String("NetEui") || key == QLatin1String("ID"))
        return 4;
    return 8;
}

// A configuration line with its protected field replaced by the decoded value ("DevEui=70B3..."), so that
// expectations can be written in clear. A field that fails its check decodes to nothing ("DevEui=").
QString decodedForm(const QString &line)
{
    static const ProtectedFieldCipher decoder(ProtectedFieldCipher::Decrypt);
    QRegularExpressionMatch m = kFieldLine.match(line);
    if (m.hasMatch()) {
        const QString field = m.captured(2).remove(QLatin1Char(' '));
        return m.captured(1) + QLatin1Char('=') + decoder.decodeProtected(field, decodeCount(m.captured(1))).toUpper();
    }
    m = kSigfoxLine.match(line);
    if (m.hasMatch())
        return QStringLiteral("SigFox ") + m.captured(1) + QLatin1Char('=')
            + decoder.decodeProtected(m.captured(2), decodeCount(m.captured(1))).toUpper();
    return line;
}

QString encodedField(const QString &valueHex)
{
    static const ProtectedFieldCipher encoder(ProtectedFieldCipher::Encrypt);
    return encoder.encodeProtected(valueHex);
}

// The tool's end of the line.
class ToolSide
{
public:
    bool open(const QString &path)
    {
        port.setPortName(path);
        port.setBaudRate(115200);
        port.setDataBits(QSerialPort::Data8);
        port.setParity(QSerialPort::NoParity);
        port.setStopBits(QSerialPort::OneStop);
        port.setFlowControl(QSerialPort::NoFlowControl);
        return port.open(QIODevice::ReadWrite);
    }

    void send(const QByteArray &bytes)
    {
        port.write(bytes);
        port.waitForBytesWritten(1000);
    }

    // Reads until `done` holds for what has arrived, the line breaks, or the time is up.
    bool readUntil(const std::function<bool()> &done, int timeoutMs = kAnswerWaitMs)
    {
        QElapsedTimer timer;
        timer.start();
        while (!done()) {
            if (timer.elapsed() > timeoutMs || lineIsGone())
                return false;
            if (port.waitForReadyRead(50))
                absorb();
        }
        return true;
    }

    // An unplugged node shows as a failed read (EIO) or a vanished device, depending on the moment.
    bool lineIsGone() const
    {
        return port.error() == QSerialPort::ReadError || port.error() == QSerialPort::ResourceError;
    }

    bool waitForLine(const QString &line, int timeoutMs = kAnswerWaitMs)
    {
        return readUntil([&] { return lines.contains(line); }, timeoutMs);
    }

    bool waitForMatch(const QRegularExpression &pattern, int timeoutMs = kAnswerWaitMs)
    {
        return readUntil([&] { return !lines.filter(pattern).isEmpty(); }, timeoutMs);
    }

    // The lines after `first` (inclusive) up to, not including, `last`.
    QStringList linesBetween(const QString &firstPrefix, const QString &last) const
    {
        int from = -1;
        for (int i = 0; i < lines.size(); ++i) {
            if (from < 0 && lines.at(i).startsWith(firstPrefix))
                from = i;
            if (from >= 0 && lines.at(i).startsWith(last))
                return lines.mid(from, i - from);
        }
        return {};
    }

    void absorb()
    {
        const QByteArray bytes = port.readAll();
        raw += bytes;
        lines += assembler.feed(bytes);
    }

    void forget()
    {
        absorb();
        lines.clear();
        raw.clear();
    }

    QSerialPort port;
    LineAssembler assembler;
    QStringList lines;
    QByteArray raw;
};

// One simulated node plugged into one tool side.
struct Bench
{
    explicit Bench(const SimNodeProfile &profile = SimNodeProfile())
        : port(profile)
        , path(port.path())
        , simulator(port.simulator())
    {
    }

    bool plugIn()
    {
        if (!port.start()) {
            qWarning("start: %s", qPrintable(port.errorString()));
            return false;
        }
        return tool.open(path);
    }

    SimulatedPort port;
    const QString path;
    NodeSimulator &simulator;
    ToolSide tool;
};
} // namespace

class TestNodeSimulator : public QObject
{
    Q_OBJECT
private slots:
    void answersConfigurationForEachType_data();
    void answersConfigurationForEachType();
    void bootPrintsGreetingBannerAndVcomStarted_data();
    void bootPrintsGreetingBannerAndVcomStarted();
    void answersThresholdsReportRateAndVersion();
    void writesChangeStateAndAreShownAfterReset();
    void refusesMalformedWritesAndKeepsState_data();
    void refusesMalformedWritesAndKeepsState();
    void ignoresEmptyLinesAndNamesUnknownCommands();
    void sleepingNodeIgnoresInputUntilBootOrRestart();
    void resetRebootsAfterItsDelay();

    void silentFaultSwallowsCommandsUntilItsCountIsUsed();
    void failedFaultRefusesWritesWithItsReason_data();
    void failedFaultRefusesWritesWithItsReason();
    void lateFaultAnswersAfterItsDelay();
    void garbageFaultSendsInvalidTextInsteadOfTheAnswer();
    void corruptFieldFaultBreaksEveryProtectedField_data();
    void corruptFieldFaultBreaksEveryProtectedField();
    void corruptFieldFaultMakesWrittenFieldsFail();
    void endlessFaultStreamsBytesWithoutCarriageReturnThenAnswers_data();
    void endlessFaultStreamsBytesWithoutCarriageReturnThenAnswers();
    void hangUpFaultClosesTheLineInsteadOfAnswering();
    void ignoredFaultAnswersSetButKeepsTheOldValue();

    void recordsEveryReceivedByteInOrderWithItsTime();
    void hangUpThenStartPlugsTheNodeBackInAtTheSamePath();
    void startReplacesStaleLinkButNotOtherFiles();
    void profilesForTypesAreDistinctAndCarryTheirTypeInTheVersion();
    void nodeWithAnotherKeyEnciphersUnderItAndRefusesTheToolsFields();
    void commandLineToolPlaysTheNodeRebootsOnSignalAndCleansUp();
};

void TestNodeSimulator::answersConfigurationForEachType_data()
{
    QTest::addColumn<SimNodeProfile>("profile");
    QTest::addColumn<QStringList>("expected");

    // The simulated nodes of one type share the application EUI and key.
    const QString appEui = QStringLiteral("AppEui=0004A30B001C0A00");
    const QString appKey = QStringLiteral("AppKey=2B7E151628AED2A6ABF7158809CF4F3C");
    const auto typeRow = [](const char *name, int type, const QStringList &expected) {
        QTest::newRow(name) << SimNodeProfile::forType(type) << expected;
    };
    typeRow("Pellimar", 1, {"Communication: Pellimar", "DevEui=70B3D57ED0000B01", "NetEui=00000013", appEui, appKey});
    typeRow("LoRa OTAA", 2, {"Communication: LoRa OTAA", "DevEui=70B3D57ED0000A01", appEui, appKey});
    typeRow("SigFox", 3, {"Communication: SigFox", "SigFox ID=00C0FFEE", "SigFox PAC=0123456789ABCDEF"});
    typeRow(
        "Pellimar 5D", 4, {"Communication: Pellimar 5D", "DevEui=70B3D57ED0000B04", "NetEui=00000042", appEui, appKey});
    typeRow("LoRa OTAA 5D", 5,
        {"Communication: LoRa OTAA 5D", "DevEui=70B3D57ED0000A05", "AppEui=0004A30B001C0A05", appKey});
    typeRow("SigFox 5D", 6, {"Communication: SigFox 5D", "SigFox ID=0012ABCD", "SigFox PAC=FEDCBA9876543210"});
    typeRow("Unknown", 0, {"Communication: Unknown", "DevEui=70B3D57ED0000F00", appEui, appKey});
    SimNodeProfile unconfigured = SimNodeProfile::forType(1);
    unconfigured.configured = false;
    QTest::newRow("not configured") << unconfigured << QStringList{"Communication: Pellimar", "Device not configured"};
    SimNodeProfile empty = SimNodeProfile::forType(2);
    empty.appEui.clear();
    empty.appKey.clear();
    QTest::newRow("empty AppEui and AppKey")
        << empty << QStringList{"Communication: LoRa OTAA", "DevEui=70B3D57ED0000A01", "AppEui= NULL", "AppKey= NULL"};
}

void TestNodeSimulator::answersConfigurationForEachType()
{
    QFETCH(SimNodeProfile, profile);
    QFETCH(QStringList, expected);
    Bench bench(profile);
    QVERIFY(bench.plugIn());

    // The report-rate answer after the configuration marks its end, so extra lines would show up too.
    bench.tool.send("cfg\r");
    bench.tool.send("rr\r");
    QVERIFY(bench.tool.waitForMatch(QRegularExpression(QStringLiteral("^Report rate"))));
    QStringList decoded;
    for (const QString &line : bench.tool.linesBetween(QStringLiteral("Communication:"), QStringLiteral("Report rate")))
        decoded << decodedForm(line);
    QCOMPARE(decoded, expected);
}

void TestNodeSimulator::bootPrintsGreetingBannerAndVcomStarted_data()
{
    QTest::addColumn<bool>("colour");
    QTest::addColumn<bool>("crlf");
    QTest::newRow("plain CR") << false << false;
    QTest::newRow("colour") << true << false;
    QTest::newRow("CR LF") << false << true;
    QTest::newRow("colour and CR LF") << true << true;
}

void TestNodeSimulator::bootPrintsGreetingBannerAndVcomStarted()
{
    QFETCH(bool, colour);
    QFETCH(bool, crlf);
    SimNodeProfile profile = SimNodeProfile::forType(2);
    profile.colour = colour;
    profile.crlf = crlf;
    Bench bench(profile);
    QVERIFY(bench.plugIn());

    bench.simulator.boot();
    QVERIFY(bench.tool.waitForLine(QStringLiteral("VCOM started")));

    const QStringList &lines = bench.tool.lines;
    QCOMPARE(lines.size(), 5);
    QVERIFY(!lines.first().contains(QLatin1String("Tavonex"))); // a greeting the tool has to skip
    QCOMPARE(kBoardLine.match(lines.at(1)).captured(1), QStringLiteral("v2.4.1"));
    QCOMPARE(kModuleLine.match(lines.at(2)).captured(1), QStringLiteral("1.4"));
    QCOMPARE(kRadioLine.match(lines.at(3)).captured(1), QStringLiteral("4.2.1"));
    QCOMPARE(lines.at(4), QStringLiteral("VCOM started"));

    const QByteArray &raw = bench.tool.raw;
    QCOMPARE(raw.count('\r'), 5);
    QCOMPARE(raw.count('\n'), crlf ? 5 : 0);
    QCOMPARE(raw.count("\x1b[33m"), colour ? 5 : 0);
    QCOMPARE(raw.count("\x1b[0m"), colour ? 5 : 0);
    QVERIFY(raw.endsWith(
        colour ? (crlf ? "started\x1b[0m\r\n" : "started\x1b[0m\r") : (crlf ? "started\r\n" : "started\r")));
}

void TestNodeSimulator::answersThresholdsReportRateAndVersion()
{
    SimNodeProfile profile = SimNodeProfile::forType(5);
    profile.temperatureLow = -7;
    profile.temperatureHigh = 41;
    profile.humidityLow = 5;
    profile.humidityHigh = 95;
    profile.pressureLow = -300;
    profile.pressureHigh = 65000;
    profile.accelX = 150;
    profile.accelY = 1;
    profile.accelZ = -2;
    profile.accelD = 128;
    profile.reportRateMs = 60000;
    Bench bench(profile);
    QVERIFY(bench.plugIn());

    bench.tool.send("th\r");
    QVERIFY(bench.tool.waitForMatch(QRegularExpression(QStringLiteral("^Accelero"))));
    QCOMPARE(bench.tool.lines,
        QStringList({"Temperature : L -7 H 41", "Humidity : L 5 H 95", "Pressure : L -300 H 65000",
            "Accelero : X 150 Y 1 Z -2 D 128"}));

    bench.tool.forget();
    bench.tool.send("rr\r");
    QVERIFY(bench.tool.waitForMatch(QRegularExpression(QStringLiteral("^Report rate"))));
    QCOMPARE(bench.tool.lines, QStringList{"Report rate : 60000"});

    bench.tool.forget();
    bench.tool.send("ver\r");
    QVERIFY(bench.tool.waitForMatch(kRadioLine));
    QCOMPARE(bench.tool.lines.size(), 3);
    QCOMPARE(kBoardLine.match(bench.tool.lines.at(0)).captured(1), QStringLiteral("v5.0.3"));
    QVERIFY(kModuleLine.match(bench.tool.lines.at(1)).hasMatch());
}

void TestNodeSimulator::writesChangeStateAndAreShownAfterReset()
{
    SimNodeProfile profile = SimNodeProfile::forType(1);
    profile.rebootDelayMs = 10;
    Bench bench(profile);
    QVERIFY(bench.plugIn());

    const QList<QByteArray> writes = {
        "app " + encodedField(QStringLiteral("1122334455667788")).toLatin1(),
        "key " + encodedField(QStringLiteral("00112233445566778899aabbccddeeff")).toLatin1(),
        "net " + encodedField(QStringLiteral("0000abcd")).toLatin1(),
        "dev " + encodedField(QStringLiteral("0123456789abcdef")).toLatin1(),
        "tht -5 30",
        "thh 20 80",
        "thp 1234 65000",
        "tha 150 128",
        "rr 120000",
        "sd 00aaBB",
    };
    for (const QByteArray &write : writes) {
        bench.tool.forget();
        bench.tool.send(write + '\r');
        QVERIFY2(bench.tool.waitForMatch(kWriteAnswer), write.constData());
        QCOMPARE(bench.tool.lines.size(), 1);
    }

    bench.tool.forget();
    bench.tool.send("reset\r");
    QVERIFY(bench.tool.waitForLine(QStringLiteral("VCOM started")));
    bench.tool.send("cfg\r");
    bench.tool.send("th\r");
    bench.tool.send("rr\r");
    QVERIFY(bench.tool.waitForMatch(QRegularExpression(QStringLiteral("^Report rate"))));
    QStringList decoded;
    for (const QString &line : bench.tool.lines)
        decoded << decodedForm(line);
    QVERIFY(decoded.contains(QStringLiteral("AppEui=1122334455667788")));
    QVERIFY(decoded.contains(QStringLiteral("AppKey=00112233445566778899AABBCCDDEEFF")));
    QVERIFY(decoded.contains(QStringLiteral("NetEui=0000ABCD")));
    QVERIFY(decoded.contains(QStringLiteral("Temperature : L -5 H 30")));
    QVERIFY(decoded.contains(QStringLiteral("Humidity : L 20 H 80")));
    QVERIFY(decoded.contains(QStringLiteral("Pressure : L 1234 H 65000")));
    QVERIFY(decoded.contains(QStringLiteral("Accelero : X 150 Y 0 Z 0 D 128")));
    QVERIFY(decoded.contains(QStringLiteral("Report rate : 120000")));
    QCOMPARE(bench.simulator.profile().deviceId, QStringLiteral("0123456789ABCDEF"));
    QCOMPARE(bench.simulator.profile().sigfoxData, QStringLiteral("00aaBB"));
}

void TestNodeSimulator::refusesMalformedWritesAndKeepsState_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("answer");

    QByteArray flipped = encodedField(QStringLiteral("1122334455667788")).toLatin1();
    flipped[5] = flipped.at(5) == '0' ? '1' : '0';
    const char *const badField = "FAILED bad field";
    const char *const missingValue = "FAILED missing value";
    const char *const badNumber = "FAILED bad number";
    const auto row = [](const char *name, const QByteArray &line, const char *answer) {
        QTest::newRow(name) << line << QString::fromLatin1(answer);
    };
    row("short field", "app 1234", badField);
    row("field with a changed digit", "app " + flipped, badField);
    row("non-hex field", "key " + QByteArray(36, 'z'), badField);
    row("field without value", "net", missingValue);
    row("letters for a threshold", "tht a 5", badNumber);
    row("one number for two", "thh 20", missingValue);
    row("three numbers for two", "thp 1 2 3", missingValue);
    row("accelerometer without 128", "tha 150", missingValue);
    row("rate with letters", "rr 60s", badNumber);
    row("threshold beyond 32 bits", "tht 1 99999999999", badNumber);
}

void TestNodeSimulator::refusesMalformedWritesAndKeepsState()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, answer);
    Bench bench(SimNodeProfile::forType(1));
    QVERIFY(bench.plugIn());
    // The settings a write could change, as text, so that a failure names each one that moved.
    const auto writable = [](const SimNodeProfile &p) {
        return QStringList{QStringLiteral("app ") + p.appEui, QStringLiteral("key ") + p.appKey,
            QStringLiteral("net ") + p.netId, QStringLiteral("tht high %1").arg(p.temperatureHigh),
            QStringLiteral("thh low %1").arg(p.humidityLow), QStringLiteral("thp low %1").arg(p.pressureLow),
            QStringLiteral("tha x %1").arg(p.accelX), QStringLiteral("rr %1").arg(p.reportRateMs)};
    };
    const QStringList before = writable(bench.simulator.profile());

    bench.tool.send(line + '\r');
    QVERIFY(bench.tool.waitForMatch(kFailAnswer));
    QCOMPARE(bench.tool.lines, QStringList{answer});
    QCOMPARE(writable(bench.simulator.profile()), before);
}

void TestNodeSimulator::ignoresEmptyLinesAndNamesUnknownCommands()
{
    Bench bench;
    QVERIFY(bench.plugIn());

    // Nothing may come back for the lone carriage return, so the first answer is the one to "hello".
    bench.tool.send("\r");
    bench.tool.send("hello there\r");
    bench.tool.send("xSet FAILED y\r");
    bench.tool.send("cfg now\r");
    bench.tool.send("rr\r");
    QVERIFY(bench.tool.waitForMatch(QRegularExpression(QStringLiteral("^Report rate"))));
    QCOMPARE(bench.tool.lines,
        QStringList(
            {"Unknown command: hello there", "Unknown command", "Unknown command: cfg now", "Report rate : 900000"}));
    for (int i = 0; i < 3; ++i) {
        QVERIFY(!kWriteAnswer.match(bench.tool.lines.at(i)).hasMatch());
        QVERIFY(!kFailAnswer.match(bench.tool.lines.at(i)).hasMatch());
    }
    QCOMPARE(bench.simulator.receivedLines(), QStringList({"", "hello there", "xSet FAILED y", "cfg now", "rr"}));
}

void TestNodeSimulator::sleepingNodeIgnoresInputUntilBootOrRestart()
{
    Bench bench;
    QVERIFY(bench.plugIn());

    bench.tool.send("s\r");
    QVERIFY(bench.tool.waitForLine(QStringLiteral("Terminal going to sleep")));
    QVERIFY(bench.simulator.isSleeping());
    bench.tool.send("rr\r");
    QVERIFY(bench.simulator.waitForLine(QStringLiteral("rr"), kAnswerWaitMs));
    bench.simulator.boot();
    QVERIFY(bench.tool.waitForLine(QStringLiteral("VCOM started")));
    // The node was asleep when "rr" came, so the banner is the first thing after the sleep answer.
    QVERIFY(bench.tool.lines.filter(QStringLiteral("Report rate")).isEmpty());
    QVERIFY(!bench.simulator.isSleeping());
    bench.tool.send("rr\r");
    QVERIFY(bench.tool.waitForMatch(QRegularExpression(QStringLiteral("^Report rate"))));

    bench.tool.forget();
    bench.tool.send("s\r");
    QVERIFY(bench.tool.waitForLine(QStringLiteral("Terminal going to sleep")));
    QVERIFY(bench.simulator.isSleeping());
    bench.simulator.stop();
    bench.tool.port.close();
    QVERIFY(bench.plugIn());
    QVERIFY(!bench.simulator.isSleeping());
    bench.tool.forget();
    bench.tool.send("rr\r");
    QVERIFY(bench.tool.waitForMatch(QRegularExpression(QStringLiteral("^Report rate"))));
}

void TestNodeSimulator::resetRebootsAfterItsDelay()
{
    SimNodeProfile profile;
    profile.rebootDelayMs = 300;
    Bench bench(profile);
    QVERIFY(bench.plugIn());

    QElapsedTimer sinceReset;
    bench.tool.send("reset\r");
    sinceReset.start();
    QVERIFY(bench.tool.waitForLine(QStringLiteral("VCOM started")));
    QVERIFY(sinceReset.elapsed() >= profile.rebootDelayMs);
    QCOMPARE(bench.tool.lines.filter(kBoardLine).size(), 1);
}

void TestNodeSimulator::silentFaultSwallowsCommandsUntilItsCountIsUsed()
{
    Bench bench;
    QVERIFY(bench.plugIn());
    bench.simulator.setFault(QStringLiteral("cfg"), SimFault::Silent, 2);
    bench.simulator.setFault(QStringLiteral("set:*"), SimFault::Silent, 1);

    // Each silent command is followed by one that answers, which shows the silent one got nothing.
    bench.tool.send("cfg\r");
    bench.tool.send("cfg\r");
    bench.tool.send("rr 60000\r");
    bench.tool.send("rr\r");
    QVERIFY(bench.tool.waitForMatch(QRegularExpression(QStringLiteral("^Report rate"))));
    QCOMPARE(bench.tool.lines, QStringList{"Report rate : 900000"});

    bench.tool.send("cfg\r");
    bench.tool.send("rr 60000\r");
    QVERIFY(bench.tool.waitForMatch(kWriteAnswer));
    QCOMPARE(bench.tool.lines.filter(QStringLiteral("Communication: LoRa OTAA")).size(), 1);
    QCOMPARE(bench.simulator.profile().reportRateMs, qint64(60000));
}

void TestNodeSimulator::failedFaultRefusesWritesWithItsReason_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("argument");
    QTest::addColumn<QString>("answer");
    QTest::newRow("own reason for one command") << "set:tht"
                                                << "sensor busy"
                                                << "FAILED sensor busy";
    QTest::newRow("default reason for every write") << "set:*" << QString() << "FAILED value out of range";
}

void TestNodeSimulator::failedFaultRefusesWritesWithItsReason()
{
    QFETCH(QString, key);
    QFETCH(QString, argument);
    QFETCH(QString, answer);
    Bench bench;
    QVERIFY(bench.plugIn());
    bench.simulator.setFault(key, SimFault::Failed, 3, argument);

    for (int attempt = 0; attempt < 3; ++attempt)
        bench.tool.send("tht 1 2\r");
    QVERIFY(bench.tool.readUntil([&] { return bench.tool.lines.size() >= 3; }));
    QCOMPARE(bench.tool.lines, QStringList({answer, answer, answer}));
    QCOMPARE(bench.simulator.profile().temperatureLow, -10);

    bench.tool.send("tht 1 2\r");
    QVERIFY(bench.tool.waitForMatch(kWriteAnswer));
    QCOMPARE(bench.simulator.profile().temperatureLow, 1);
}

void TestNodeSimulator::lateFaultAnswersAfterItsDelay()
{
    Bench bench;
    QVERIFY(bench.plugIn());
    const int lateMs = 400;
    bench.simulator.setFault(QStringLiteral("rr"), SimFault::Late, 1, QString::number(lateMs));

    QElapsedTimer sinceAsked;
    bench.tool.send("rr\r");
    sinceAsked.start();
    bench.tool.send("ver\r");
    QVERIFY(bench.tool.waitForMatch(QRegularExpression(QStringLiteral("^Report rate"))));
    QVERIFY(sinceAsked.elapsed() >= lateMs);
    // The later command overtook the late answer.
    QCOMPARE(bench.tool.lines.size(), 4);
    QVERIFY(kBoardLine.match(bench.tool.lines.first()).hasMatch());
    QCOMPARE(bench.tool.lines.last(), QStringLiteral("Report rate : 900000"));
}

void TestNodeSimulator::garbageFaultSendsInvalidTextInsteadOfTheAnswer()
{
    Bench bench;
    QVERIFY(bench.plugIn());
    bench.simulator.setFault(QStringLiteral("cfg"), SimFault::Garbage, 1);

    bench.tool.send("cfg\r");
    bench.tool.send("rr\r");
    QVERIFY(bench.tool.waitForMatch(QRegularExpression(QStringLiteral("^Report rate"))));
    const QStringList garbage = bench.tool.lines.mid(0, bench.tool.lines.size() - 1);
    QVERIFY(garbage.size() >= 2);
    const QRegularExpression anyAnswer(
        QStringLiteral("Set\\s|FAILED\\s|Communication:|DevEui|Tavonex|Temperature|Report rate|Terminal going"));
    for (const QString &line : garbage)
        QVERIFY2(!anyAnswer.match(line).hasMatch(), qPrintable(line));
    // Bytes that are not UTF-8 reach the tool as replacement characters.
    QVERIFY(garbage.join(QString()).contains(QChar(QChar::ReplacementCharacter)));
    QVERIFY(!bench.tool.raw.contains('\x1b'));
}

void TestNodeSimulator::corruptFieldFaultBreaksEveryProtectedField_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("fields");
    QTest::newRow("Pellimar") << 1 << 4;
    QTest::newRow("LoRa OTAA") << 2 << 3;
    QTest::newRow("SigFox") << 3 << 2;
}

void TestNodeSimulator::corruptFieldFaultBreaksEveryProtectedField()
{
    QFETCH(int, type);
    QFETCH(int, fields);
    Bench bench(SimNodeProfile::forType(type));
    QVERIFY(bench.plugIn());
    bench.simulator.setFault(QStringLiteral("cfg"), SimFault::CorruptField, 1);

    bench.tool.send("cfg\r");
    bench.tool.send("cfg\r");
    QVERIFY(bench.tool.readUntil([&] { return bench.tool.lines.size() >= 2 * (fields + 1); }));
    const QStringList lines = bench.tool.lines;
    int broken = 0;
    int intact = 0;
    for (const QString &line : lines) {
        if (line.startsWith(QLatin1String("Communication:")))
            continue;
        // Still well-formed, so the line patterns match and only the frame check can catch the damage.
        QVERIFY2(kFieldLine.match(line).hasMatch() || kSigfoxLine.match(line).hasMatch(), qPrintable(line));
        if (decodedForm(line).endsWith(QLatin1Char('=')))
            ++broken;
        else
            ++intact;
    }
    QCOMPARE(broken, fields);
    QCOMPARE(intact, fields); // the second answer, after the fault's count was used
}

void TestNodeSimulator::corruptFieldFaultMakesWrittenFieldsFail()
{
    Bench bench;
    QVERIFY(bench.plugIn());
    bench.simulator.setFault(QStringLiteral("set:app"), SimFault::CorruptField, 1);
    const QByteArray line = "app " + encodedField(QStringLiteral("1122334455667788")).toLatin1() + '\r';

    bench.tool.send(line);
    bench.tool.send(line);
    QVERIFY(bench.tool.waitForMatch(kWriteAnswer));
    QCOMPARE(bench.tool.lines, QStringList({"FAILED bad field", "Set AppEui ok"}));
}

void TestNodeSimulator::endlessFaultStreamsBytesWithoutCarriageReturnThenAnswers_data()
{
    QTest::addColumn<QString>("argument");
    QTest::addColumn<int>("bytes");
    QTest::newRow("given size") << "5000" << 5000;
    QTest::newRow("default of one mebibyte") << QString() << (1 << 20);
}

void TestNodeSimulator::endlessFaultStreamsBytesWithoutCarriageReturnThenAnswers()
{
    QFETCH(QString, argument);
    QFETCH(int, bytes);
    Bench bench;
    QVERIFY(bench.plugIn());
    bench.simulator.setFault(QStringLiteral("rr"), SimFault::Endless, 1, argument);

    bench.tool.send("rr\r");
    QVERIFY(bench.tool.readUntil([&] { return bench.tool.raw.contains('\r'); }, 60000));
    const QByteArray answer = "Report rate : 900000";
    const int firstCr = bench.tool.raw.indexOf('\r');
    QCOMPARE(firstCr, bytes + answer.size());
    QVERIFY(bench.tool.raw.left(firstCr).endsWith(answer));
    QVERIFY(!bench.tool.raw.left(bytes).contains('\n'));
    if (bytes > LineAssembler::kMaxLineBytes)
        QCOMPARE(bench.tool.assembler.droppedLines(), 1);

    // The node is itself again afterwards.
    bench.tool.forget();
    bench.tool.send("rr\r");
    QVERIFY(bench.tool.waitForLine(QString::fromLatin1(answer)));
}

void TestNodeSimulator::hangUpFaultClosesTheLineInsteadOfAnswering()
{
    Bench bench;
    QVERIFY(bench.plugIn());
    bench.simulator.setFault(QStringLiteral("cfg"), SimFault::HangUp, 1);

    bench.tool.send("cfg\r");
    QTRY_VERIFY_WITH_TIMEOUT(!bench.simulator.isRunning(), kAnswerWaitMs);
    QVERIFY(!QFileInfo(bench.path).isSymLink());
    QVERIFY(!bench.tool.readUntil([&] { return !bench.tool.lines.isEmpty(); }, kAnswerWaitMs));
    QVERIFY(bench.tool.lineIsGone());
    QVERIFY(bench.tool.lines.isEmpty());
}

void TestNodeSimulator::ignoredFaultAnswersSetButKeepsTheOldValue()
{
    Bench bench;
    QVERIFY(bench.plugIn());
    bench.simulator.setFault(QStringLiteral("set:tht"), SimFault::Ignored, 1);

    bench.tool.send("tht 1 2\r");
    QVERIFY(bench.tool.waitForMatch(kWriteAnswer));
    QCOMPARE(bench.tool.lines, QStringList{"Set temperature ok"});
    // Other writes still take effect while the fault holds.
    bench.tool.send("rr 60000\r");
    bench.tool.send("th\r");
    QVERIFY(bench.tool.waitForMatch(QRegularExpression(QStringLiteral("^Accelero"))));
    QVERIFY(bench.tool.lines.contains(QStringLiteral("Temperature : L -10 H 50")));
    QCOMPARE(bench.simulator.profile().reportRateMs, qint64(60000));

    bench.tool.forget();
    bench.tool.send("tht 1 2\r");
    QVERIFY(bench.tool.waitForMatch(kWriteAnswer));
    QCOMPARE(bench.simulator.profile().temperatureLow, 1);
    QCOMPARE(bench.simulator.profile().temperatureHigh, 2);
}

void TestNodeSimulator::recordsEveryReceivedByteInOrderWithItsTime()
{
    Bench bench;
    QVERIFY(bench.plugIn());
    const QByteArray paced = "tht 20 30\r";
    const int gapMs = 40;

    for (char byte : paced) {
        bench.tool.send(QByteArray(1, byte));
        QThread::msleep(gapMs); // the pacing under test, as the tool's byte-by-byte writes do
    }
    bench.tool.send("cfg\rrr\r");
    QVERIFY(bench.simulator.waitForLine(QStringLiteral("rr"), kAnswerWaitMs));

    QCOMPARE(bench.simulator.receivedBytes(), paced + "cfg\rrr\r");
    const QVector<NodeSimulator::ByteEvent> events = bench.simulator.receivedEvents();
    QCOMPARE(events.size(), paced.size() + 7);
    for (int i = 1; i < events.size(); ++i)
        QVERIFY(events.at(i).nsecs >= events.at(i - 1).nsecs);
    // Each paced byte carries its own arrival time, not the time of a later batch. A busy machine may hold the
    // simulator's thread back for a while before the first read, so only half the paced span is asked for;
    // stamping a whole batch with one time would leave nothing of it.
    const qint64 spanNs = events.at(paced.size() - 1).nsecs - events.at(0).nsecs;
    QVERIFY2(spanNs >= qint64(paced.size() - 1) * gapMs * 1000000 / 2, qPrintable(QString::number(spanNs)));

    const QVector<NodeSimulator::LineEvent> lines = bench.simulator.receivedLineEvents();
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines.at(0).line, QStringLiteral("tht 20 30"));
    QCOMPARE(lines.at(0).nsecs, events.at(paced.size() - 1).nsecs);
    QVERIFY(lines.at(1).nsecs <= lines.at(2).nsecs);

    bench.simulator.clearReceived();
    QVERIFY(bench.simulator.receivedBytes().isEmpty());
    QVERIFY(bench.simulator.receivedLines().isEmpty());
}

void TestNodeSimulator::hangUpThenStartPlugsTheNodeBackInAtTheSamePath()
{
    Bench bench;
    QVERIFY(bench.plugIn());
    bench.simulator.hangUp();
    QVERIFY(!bench.simulator.isRunning());
    QVERIFY(!QFileInfo(bench.path).exists());
    QVERIFY(!bench.tool.readUntil([] { return false; }, kAnswerWaitMs));
    QVERIFY(bench.tool.lineIsGone());
    bench.tool.port.close();

    QString error;
    QVERIFY2(bench.simulator.start(bench.path, &error), qPrintable(error));
    QCOMPARE(bench.simulator.linkPath(), bench.path);
    ToolSide again;
    QVERIFY(again.open(bench.path));
    again.send("cfg\r");
    QVERIFY(again.waitForLine(QStringLiteral("Communication: LoRa OTAA")));
    QString second;
    QVERIFY(!bench.simulator.start(bench.path, &second)); // already plugged in
    QVERIFY(!second.isEmpty());
}

void TestNodeSimulator::startReplacesStaleLinkButNotOtherFiles()
{
    QTemporaryDir dir;
    const QString stale = dir.filePath(SimulatedPort::uniqueLinkName());
    QVERIFY(QFile::link(dir.filePath(QStringLiteral("gone")), stale));
    {
        NodeSimulator simulator;
        QString error;
        QVERIFY2(simulator.start(stale, &error), qPrintable(error));
        QVERIFY(QFileInfo(stale).isSymLink());
        QVERIFY(QFileInfo(stale).symLinkTarget().startsWith(QLatin1String("/dev/pts/")));
    }
    QVERIFY(!QFileInfo(stale).exists() && !QFileInfo(stale).isSymLink()); // removed when the simulator ends

    const QString regular = dir.filePath(QStringLiteral("notalink"));
    QFile file(regular);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("keep me");
    file.close();
    NodeSimulator simulator;
    QString error;
    QVERIFY(!simulator.start(regular, &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(!simulator.isRunning());
    QCOMPARE(QFileInfo(regular).size(), qint64(7));
}

void TestNodeSimulator::profilesForTypesAreDistinctAndCarryTheirTypeInTheVersion()
{
    const QStringList communications
        = {"Unknown", "Pellimar", "LoRa OTAA", "SigFox", "Pellimar 5D", "LoRa OTAA 5D", "SigFox 5D"};
    const QRegularExpression versionType(QStringLiteral("^v(\\d+)."));
    QSet<QString> identities;
    for (int type = 0; type <= 6; ++type) {
        const SimNodeProfile profile = SimNodeProfile::forType(type);
        QCOMPARE(profile.communication, communications.at(type));
        QCOMPARE(versionType.match(profile.nodeVersion).captured(1).toInt(), type);
        identities.insert(
            profile.communication.startsWith(QLatin1String("SigFox")) ? profile.sigfoxId : profile.devEui);
    }
    QCOMPARE(identities.size(), 7);
}

void TestNodeSimulator::nodeWithAnotherKeyEnciphersUnderItAndRefusesTheToolsFields()
{
    const QString otherKey = QStringLiteral("000102030405060708090A0B0C0D0E0F");
    SimNodeProfile profile = SimNodeProfile::forType(1);
    profile.key = otherKey;
    Bench bench(profile);
    QVERIFY(bench.plugIn());

    bench.tool.send("cfg\r");
    bench.tool.send("rr\r");
    QVERIFY(bench.tool.waitForMatch(QRegularExpression(QStringLiteral("^Report rate"))));
    const ProtectedFieldCipher toolDecoder(ProtectedFieldCipher::Decrypt);
    const ProtectedFieldCipher nodeDecoder(ProtectedFieldCipher::Decrypt, QByteArray::fromHex(otherKey.toLatin1()));
    QStringList underNodeKey;
    int mismatches = 0;
    for (const QString &line : bench.tool.lines) {
        const QRegularExpressionMatch m = kFieldLine.match(line);
        if (!m.hasMatch())
            continue;
        const QString field = m.captured(2).remove(QLatin1Char(' '));
        const int count = decodeCount(m.captured(1));
        underNodeKey << m.captured(1) + QLatin1Char('=') + nodeDecoder.decodeProtected(field, count).toUpper();
        if (toolDecoder.decodeProtectedChecked(field, count).outcome == ProtectedFieldCipher::Outcome::KeyMismatch)
            ++mismatches;
    }
    QCOMPARE(underNodeKey,
        QStringList({"DevEui=70B3D57ED0000B01", "NetEui=00000013", "AppEui=0004A30B001C0A00",
            "AppKey=2B7E151628AED2A6ABF7158809CF4F3C"}));
    QCOMPARE(mismatches, 3); // the application key fills its block: nothing there shows the other key

    // Fields the tool enciphers under its own key decipher to noise on this node.
    bench.tool.forget();
    bench.tool.send("app " + encodedField(QStringLiteral("1122334455667788")).toLatin1() + '\r');
    QVERIFY(bench.tool.waitForMatch(kFailAnswer));
    QCOMPARE(bench.tool.lines, QStringList{"FAILED bad field"});
    QCOMPARE(bench.simulator.profile().appEui, profile.appEui);
}

void TestNodeSimulator::commandLineToolPlaysTheNodeRebootsOnSignalAndCleansUp()
{
    const QString program = qEnvironmentVariable("IOT_BIN_DIR") + QStringLiteral("/nodesim");
    if (!QFileInfo(program).isExecutable())
        SKIP_OR_FAIL_UNDER_CI("nodesim is not built next to the tests (IOT_BIN_DIR)");
    QTemporaryDir dir;
    const QString path = dir.filePath(SimulatedPort::uniqueLinkName());
    QProcess tool;
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start(program,
        {QStringLiteral("--type"), QStringLiteral("sigfox5d"), QStringLiteral("--link"), path,
            QStringLiteral("--sigfox-id"), QStringLiteral("BEEF"), QStringLiteral("--report-rate"),
            QStringLiteral("120000"), QStringLiteral("--colour"), QStringLiteral("--fault"),
            QStringLiteral("set:rr=ignored")});
    tool.closeWriteChannel(); // stdin at its end must not stop the node
    QVERIFY(tool.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(path).isSymLink(), kAnswerWaitMs);

    ToolSide side;
    QVERIFY(side.open(path));
    side.send("cfg\r");
    side.send("rr\r");
    QVERIFY(side.waitForMatch(QRegularExpression(QStringLiteral("^Report rate"))));
    QStringList decoded;
    for (const QString &line : side.lines)
        decoded << decodedForm(line);
    QCOMPARE(decoded,
        QStringList(
            {"Communication: SigFox 5D", "SigFox ID=0000BEEF", "SigFox PAC=FEDCBA9876543210", "Report rate : 120000"}));
    QVERIFY(side.raw.startsWith("\x1b[33m"));

    // The node acknowledges the new rate but keeps the old one.
    side.lines.clear();
    side.send("rr 60000\r");
    QVERIFY(side.waitForMatch(kWriteAnswer));
    side.send("rr\r");
    QVERIFY(side.waitForMatch(QRegularExpression(QStringLiteral("^Report rate"))));
    QCOMPARE(side.lines.filter(QStringLiteral("Report rate")), QStringList{"Report rate : 120000"});

    ::kill(pid_t(tool.processId()), SIGUSR1);
    QVERIFY(side.waitForLine(QStringLiteral("VCOM started")));

    // Unplugged, the node takes its link with it; plugged in again, a new line is published at the same path
    // and the node powers up on it.
    ::kill(pid_t(tool.processId()), SIGUSR2);
    QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo(path).exists() && !QFileInfo(path).isSymLink(), kAnswerWaitMs);
    side.port.close(); // as the tool lets a port go whose device is gone (and with it the port's lock)
    ::kill(pid_t(tool.processId()), SIGUSR2);
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(path).isSymLink() && QFileInfo(path).exists(), kAnswerWaitMs);
    ToolSide replugged;
    QVERIFY(replugged.open(path));
    QVERIFY(replugged.waitForLine(QStringLiteral("VCOM started")));
    replugged.send("cfg\r");
    QVERIFY(replugged.waitForMatch(QRegularExpression(QStringLiteral("^SigFox PAC"))));

    tool.terminate(); // SIGTERM
    QVERIFY(tool.waitForFinished(kAnswerWaitMs));
    QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
    QCOMPARE(tool.exitCode(), 0);
    QVERIFY(!QFileInfo(path).isSymLink());
    const QString output = QString::fromLocal8Bit(tool.readAll());
    QVERIFY2(output.contains(QLatin1String("<< cfg")), qPrintable(output));
    QVERIFY2(output.contains(QLatin1String(">> Report rate : 120000")), qPrintable(output));
    QVERIFY2(output.contains(QLatin1String("-- unplugged")) && output.contains(QLatin1String("-- plugged in again")),
        qPrintable(output));
}

QTEST_GUILESS_MAIN(TestNodeSimulator)
#include "tst_nodesimulator.moc"
