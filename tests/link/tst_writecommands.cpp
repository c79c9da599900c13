#include "commandresulttext.h"
#include "node.h"
#include "nodebuilders.h"
#include "nodecmdsetloraid.h"
#include "nodecmdsetsigfoxdata.h"
#include "nodecmdsetthreshold.h"
#include "nodecmdsleep.h"
#include "protectedfieldcipher.h"
#include "shardedtest.h"
#include "simulatedport.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

namespace {

constexpr qint64 kNsPerMs = 1000000;
// The marker written after a command: once the simulator has it, everything the command wrote has arrived.
const QString kMarker = QStringLiteral("marker");

QStringList words(const QStringList &lines)
{
    QStringList result;
    for (const QString &line : lines)
        result << line.section(QLatin1Char(' '), 0, 0);
    return result;
}

qint64 median(QVector<qint64> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

// Pacing seen at the node: a paced line arrives in many reads, and the typical gap between two reads is at
// least the byte pause. A starved simulator thread reads several bytes at once now and then, which only
// lengthens the gap before them, so gaps of zero are left out of the median. A line written in one piece
// arrives in a single read. Returns what is wrong, or an empty text.
QString pacingProblem(const QVector<qint64> &arrivals, qint64 pauseMs)
{
    QVector<qint64> gaps;
    int together = 0;
    for (int i = 1; i < arrivals.size(); ++i) {
        const qint64 gap = arrivals.at(i) - arrivals.at(i - 1);
        if (gap == 0)
            ++together;
        else
            gaps << gap;
    }
    if (together > (arrivals.size() - 1) / 2)
        return QStringLiteral("%1 of %2 bytes arrived together with the one before")
            .arg(together)
            .arg(arrivals.size() - 1);
    if (median(gaps) < pauseMs * kNsPerMs)
        return QStringLiteral("median gap between reads %1 us").arg(median(gaps) / 1000);
    return QString();
}

// Runs a write command to its end on this thread's event loop; the failure reason goes to `failure`.
CommandResult runToEnd(NodeWriteCommand &command, CommandFailure *failure = nullptr)
{
    QSignalSpy finished(&command, &NodeWriteCommand::finished);
    if (command.sendCommand() != CommandResult::Pending || !finished.wait(120000) || finished.count() != 1)
        return CommandResult::Pending;
    if (failure)
        *failure = finished.at(0).at(1).value<CommandFailure>();
    return finished.at(0).at(0).value<CommandResult>();
}

QStringList repeated(const QString &text, int times)
{
    QStringList list;
    for (int i = 0; i < times; ++i)
        list << text;
    return list;
}

} // namespace

class TestWriteCommands : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void sendsExactlyOneLinePerSetting_data();
    void sendsExactlyOneLinePerSetting();
    void writesAllEightSettingsInBitOrderAndTheNodeKeepsThem();
    void sendsNothingForFlagsAboveTheEightSettings();
    void sendsNothingForAValueItCannotRepresentAndReportsFailure();
    void settingsProtectedLineGoesOutByteByByteAtOneMillisecond();
    void deviceIdGoesOutProtectedInLowerCaseAtFiveMilliseconds();
    void sigfoxDataGoesOutExactlyAsTyped();
    void invalidDeviceIdSendsNothingAndFails();
    void refusedStepIsRetriedTwiceThenTheSequenceGoesOnAndFails();
    void refusedDeviceIdReportsFailure();
    void silentNodeTimesOutAfterThreeAttemptsWithoutLaterSteps();
    void chatteringNodeKeepsTheAttemptOpen();
    void endlesslyChatteringNodeEndsEachAttemptAtItsLimit();
    void acceptanceFollowedByAPromptInOneBatchCounts();
    void interruptedWriteStopsMidLineAndReportsInterruptedOnce();
    void sleepCommandReportsTheNodeGoingToSleep();
    void misbehavingNodeEndsTheExchangeWithADefinedResult_data();
    void misbehavingNodeEndsTheExchangeWithADefinedResult();

private:
    bool openPort();
    // Writes the marker and waits until the simulator has it, so the lines before it are complete.
    void settle();
    // Lines the tool sent, without the marker.
    QStringList sentLines() const;
    QVector<NodeSimulator::LineEvent> sentLineEvents(const QString &word) const;
    // Arrival times (ns) of each byte of the first received line that starts with `prefix`.
    QVector<qint64> byteArrivals(const QByteArray &prefix) const;
    // Runs the command until the node saw its line paced (at most three times: the simulator's thread may be
    // starved on a busy machine and then reads a paced line in one go). Returns what is wrong, or an empty text.
    QString pacedWriteProblem(const std::function<std::unique_ptr<NodeWriteCommand>()> &makeCommand,
        const QByteArray &prefix, int lineBytes, qint64 pauseMs);

    std::unique_ptr<SimulatedPort> m_node;
    NodeSimulator *m_sim = nullptr;
    std::unique_ptr<QSerialPort> m_port;
};

void TestWriteCommands::init()
{
    m_node = std::make_unique<SimulatedPort>(SimNodeProfile::forType(Node::LoRaOTAA));
    m_sim = &m_node->simulator();
    QVERIFY2(m_node->start(), qPrintable(m_node->errorString()));
    QVERIFY(openPort());
}

void TestWriteCommands::cleanup()
{
    m_port.reset();
    m_node.reset();
}

bool TestWriteCommands::openPort()
{
    m_port.reset(new QSerialPort(m_node->path()));
    m_port->setBaudRate(QSerialPort::Baud115200);
    m_port->setDataBits(QSerialPort::Data8);
    m_port->setParity(QSerialPort::NoParity);
    m_port->setStopBits(QSerialPort::OneStop);
    m_port->setFlowControl(QSerialPort::NoFlowControl);
    return m_port->open(QIODevice::ReadWrite);
}

void TestWriteCommands::settle()
{
    m_port->write(kMarker.toLatin1() + '\r');
    m_port->waitForBytesWritten(1000);
    QVERIFY(m_sim->waitForLine(kMarker, 5000));
}

QStringList TestWriteCommands::sentLines() const
{
    QStringList lines = m_sim->receivedLines();
    lines.removeAll(kMarker);
    return lines;
}

QVector<NodeSimulator::LineEvent> TestWriteCommands::sentLineEvents(const QString &word) const
{
    QVector<NodeSimulator::LineEvent> events;
    for (const NodeSimulator::LineEvent &event : m_sim->receivedLineEvents()) {
        if (event.line.startsWith(word + QLatin1Char(' ')))
            events << event;
    }
    return events;
}

QVector<qint64> TestWriteCommands::byteArrivals(const QByteArray &prefix) const
{
    const QVector<NodeSimulator::ByteEvent> events = m_sim->receivedEvents();
    QByteArray bytes;
    for (const NodeSimulator::ByteEvent &event : events)
        bytes += event.byte;
    const int start = bytes.indexOf(prefix);
    const int end = bytes.indexOf('\r', start);
    QVector<qint64> arrivals;
    if (start < 0 || end < 0)
        return arrivals;
    for (int i = start; i <= end; ++i)
        arrivals << events.at(i).nsecs;
    return arrivals;
}

QString TestWriteCommands::pacedWriteProblem(const std::function<std::unique_ptr<NodeWriteCommand>()> &makeCommand,
    const QByteArray &prefix, int lineBytes, qint64 pauseMs)
{
    QString problem;
    for (int run = 0; run < 3; ++run) {
        m_sim->clearReceived();
        const std::unique_ptr<NodeWriteCommand> command = makeCommand();
        const CommandResult result = runToEnd(*command);
        if (result != CommandResult::Done)
            return QStringLiteral("result %1").arg(int(result));
        m_port->write(kMarker.toLatin1() + '\r');
        m_port->waitForBytesWritten(1000);
        if (!m_sim->waitForLine(kMarker, 5000))
            return QStringLiteral("the marker did not arrive");
        const QVector<qint64> arrivals = byteArrivals(prefix);
        if (arrivals.size() != lineBytes)
            return QStringLiteral("%1 bytes arrived").arg(arrivals.size());
        problem = pacingProblem(arrivals, pauseMs);
        if (problem.isEmpty())
            break;
    }
    return problem;
}

void TestWriteCommands::sendsExactlyOneLinePerSetting_data()
{
    QTest::addColumn<int>("flags");
    QTest::addColumn<Node>("node");
    QTest::addColumn<bool>("colour"); // the node wraps its answers in colour sequences and ends them with CR LF
    QTest::addColumn<QByteArray>("bytes");

    const Node node = editedNode();
    QTest::newRow("temperature") << int(Node::FlagTemperature) << node << false << QByteArray("tht -5 30\r");
    QTest::newRow("pressure") << int(Node::FlagPressure) << node << false << QByteArray("thp 1234 65000\r");
    QTest::newRow("accelerometer") << int(Node::FlagAccelerometer) << node << false << QByteArray("tha 150 128\r");
    QTest::newRow("report rate") << int(Node::FlagReportRate) << node << false << QByteArray("rr 60000\r");
    QTest::newRow("colour-wrapped answer") << int(Node::FlagHumidity) << node << true << QByteArray("thh 20 80\r");
}

void TestWriteCommands::sendsExactlyOneLinePerSetting()
{
    QFETCH(int, flags);
    QFETCH(Node, node);
    QFETCH(bool, colour);
    QFETCH(QByteArray, bytes);
    SimNodeProfile profile = m_sim->profile();
    profile.colour = colour;
    profile.crlf = colour;
    m_sim->setProfile(profile);
    if (flags & Node::FlagReportRate)
        QTest::ignoreMessage(QtDebugMsg, "Set rate: 1 rr 60000");

    NodeCMDsetThreshold command(node, flags, m_port.get());
    QCOMPARE(runToEnd(command), CommandResult::Done);
    settle();

    QCOMPARE(m_sim->receivedBytes().left(bytes.size()), bytes);
    QCOMPARE(sentLines().size(), 1);
    // A short line is written in one piece, so the node reads it at once.
    const QVector<qint64> arrivals = byteArrivals(bytes.left(3));
    QCOMPARE(arrivals.size(), bytes.size());
    QCOMPARE(arrivals.first(), arrivals.last());
}

void TestWriteCommands::writesAllEightSettingsInBitOrderAndTheNodeKeepsThem()
{
    const Node node = editedNode();
    QTest::ignoreMessage(QtDebugMsg, "Set rate: 1 rr 60000");
    NodeCMDsetThreshold command(node, Node::FlagsWritable, m_port.get());
    QCOMPARE(runToEnd(command), CommandResult::Done);
    QCOMPARE(command.acknowledgedFlags(), int(Node::FlagsWritable));
    settle();

    const QStringList lines = sentLines();
    QCOMPARE(words(lines), (QStringList{"app", "key", "net", "tht", "thh", "thp", "tha", "rr"}));
    QCOMPARE(lines.mid(3), (QStringList{"tht -5 30", "thh 20 80", "thp 1234 65000", "tha 150 128", "rr 60000"}));
    const SimNodeProfile stored = m_sim->profile();
    QCOMPARE(stored.appEui, node.appId);
    QCOMPARE(stored.appKey, node.appKey);
    QCOMPARE(stored.netId, node.netId);
    QCOMPARE(stored.temperatureLow, -5);
    QCOMPARE(stored.temperatureHigh, 30);
    QCOMPARE(stored.humidityLow, 20);
    QCOMPARE(stored.humidityHigh, 80);
    QCOMPARE(stored.pressureLow, 1234);
    QCOMPARE(stored.pressureHigh, 65000);
    QCOMPARE(stored.accelX, 150);
    QCOMPARE(stored.reportRateMs, qint64(60000));
}

void TestWriteCommands::sendsNothingForFlagsAboveTheEightSettings()
{
    NodeCMDsetThreshold command(editedNode(), 0x100, m_port.get());
    QCOMPARE(runToEnd(command), CommandResult::Done);
    settle();
    QCOMPARE(sentLines(), QStringList());
}

void TestWriteCommands::sendsNothingForAValueItCannotRepresentAndReportsFailure()
{
    Node node = editedNode();
    node.thresholds.temperatureLow = std::numeric_limits<float>::quiet_NaN();
    node.netId = QStringLiteral("ABC"); // a partly filled field
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^NodeCMDset: network id .* not sent$")));
    QTest::ignoreMessage(QtWarningMsg, "NodeCMDset: temperature threshold holds no value, not sent");
    NodeCMDsetThreshold command(node, Node::FlagNetId | Node::FlagTemperature | Node::FlagHumidity, m_port.get());
    CommandFailure failure = CommandFailure::None;
    QCOMPARE(runToEnd(command, &failure), CommandResult::Failed);
    QCOMPARE(failure, CommandFailure::InvalidValue);
    settle();
    QCOMPARE(sentLines(), QStringList{QStringLiteral("thh 20 80")});
    QCOMPARE(m_sim->profile().temperatureLow, SimNodeProfile().temperatureLow);
}

void TestWriteCommands::settingsProtectedLineGoesOutByteByByteAtOneMillisecond()
{
    const auto make
        = [this] { return std::make_unique<NodeCMDsetThreshold>(editedNode(), Node::FlagAppId, m_port.get()); };
    QCOMPARE(pacedWriteProblem(make, "app ", 41, Pacing().settingsBytePauseMs), QString());
}

void TestWriteCommands::deviceIdGoesOutProtectedInLowerCaseAtFiveMilliseconds()
{
    const QString typed = QStringLiteral("70B3D57ED0000AFF");
    const auto make = [this, typed] { return std::make_unique<NodeCMDsetLoRaID>(typed, m_port.get()); };
    QCOMPARE(pacedWriteProblem(make, "dev ", 41, Pacing().identityBytePauseMs), QString());

    const QStringList lines = sentLines();
    QCOMPARE(lines.size(), 1);
    QVERIFY(lines.first().startsWith(QLatin1String("dev ")));
    const QString field = lines.first().mid(4);
    QCOMPARE(field.size(), ProtectedFieldCipher::kFieldHexDigits);
    QCOMPARE(field, field.toLower());
    const ProtectedFieldCipher decoder(ProtectedFieldCipher::Decrypt);
    QCOMPARE(decoder.decodeProtected(field, 8), typed.toLower());
    QCOMPARE(m_sim->profile().deviceId, typed);
}

void TestWriteCommands::sigfoxDataGoesOutExactlyAsTyped()
{
    const QString typed = QStringLiteral("0123456789abcdefABCDEF") + QString(74, QLatin1Char('7'));
    const auto make = [this, typed] { return std::make_unique<NodeCMDsetSigfoxData>(typed, m_port.get()); };
    QCOMPARE(pacedWriteProblem(make, "sd ", 100, Pacing().identityBytePauseMs), QString());
    QCOMPARE(sentLines(), QStringList{QStringLiteral("sd ") + typed});
    QCOMPARE(m_sim->profile().sigfoxData, typed);
}

void TestWriteCommands::invalidDeviceIdSendsNothingAndFails()
{
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^NodeCMDset: device id .* not sent$")));
    NodeCMDsetLoRaID command(QStringLiteral("70B3D57ED0000AF"), m_port.get());
    CommandFailure failure = CommandFailure::None;
    QCOMPARE(runToEnd(command, &failure), CommandResult::Failed);
    QCOMPARE(failure, CommandFailure::InvalidValue);
    settle();
    QCOMPARE(sentLines(), QStringList());
}

void TestWriteCommands::refusedStepIsRetriedTwiceThenTheSequenceGoesOnAndFails()
{
    m_sim->setFault(QStringLiteral("set:tht"), SimFault::Failed, -1, QStringLiteral("value out of range"));
    for (int i = 0; i < NodeWriteCommand::kMaxAttempts; ++i)
        QTest::ignoreMessage(QtInfoMsg, "NodeCMDset: FAIL - value out of range");
    QTest::ignoreMessage(QtDebugMsg, "Set rate: 1 rr 60000");
    NodeCMDsetThreshold command(editedNode(), Node::FlagTemperature | Node::FlagReportRate, m_port.get());
    CommandFailure failure = CommandFailure::None;
    QCOMPARE(runToEnd(command, &failure), CommandResult::Failed);
    QCOMPARE(failure, CommandFailure::Refused);
    // The refused setting is not among those the node acknowledged; the one after it is.
    QCOMPARE(command.acknowledgedFlags(), int(Node::FlagReportRate));
    settle();

    QCOMPARE(sentLines(), (QStringList{"tht -5 30", "tht -5 30", "tht -5 30", "rr 60000"}));
    const QVector<NodeSimulator::LineEvent> sends = sentLineEvents(QStringLiteral("tht"));
    for (int i = 1; i < sends.size(); ++i) {
        const qint64 gapMs = (sends.at(i).nsecs - sends.at(i - 1).nsecs) / kNsPerMs;
        QVERIFY2(gapMs >= qint64(Pacing().retryAfterFailedMs) && gapMs < Pacing().replyWindowMs,
            qPrintable(QStringLiteral("retry after %1 ms").arg(gapMs)));
    }
    QCOMPARE(m_sim->profile().temperatureLow, SimNodeProfile().temperatureLow);
    QCOMPARE(m_sim->profile().reportRateMs, qint64(60000));
}

void TestWriteCommands::refusedDeviceIdReportsFailure()
{
    m_sim->setFault(QStringLiteral("set:dev"), SimFault::Failed, -1, QStringLiteral("locked"));
    for (int i = 0; i < NodeWriteCommand::kMaxAttempts; ++i)
        QTest::ignoreMessage(QtInfoMsg, "NodeCMDset: FAIL - locked");
    NodeCMDsetLoRaID command(QStringLiteral("0011223344556677"), m_port.get());
    CommandFailure failure = CommandFailure::None;
    QCOMPARE(runToEnd(command, &failure), CommandResult::Failed);
    QCOMPARE(failure, CommandFailure::Refused);
    settle();
    QCOMPARE(words(sentLines()), (QStringList{"dev", "dev", "dev"}));
}

void TestWriteCommands::silentNodeTimesOutAfterThreeAttemptsWithoutLaterSteps()
{
    m_sim->setFault(QStringLiteral("set:tht"), SimFault::Silent);
    NodeCMDsetThreshold command(editedNode(), Node::FlagTemperature | Node::FlagReportRate, m_port.get());
    CommandFailure failure = CommandFailure::Interrupted;
    QCOMPARE(runToEnd(command, &failure), CommandResult::TimedOut);
    QCOMPARE(failure, CommandFailure::None);
    QCOMPARE(command.acknowledgedFlags(), 0);
    settle();

    QCOMPARE(sentLines(), (QStringList{"tht -5 30", "tht -5 30", "tht -5 30"}));
    const QVector<NodeSimulator::LineEvent> sends = sentLineEvents(QStringLiteral("tht"));
    for (int i = 1; i < sends.size(); ++i) {
        // Allow for the simulator's thread noticing one line a little later than the other.
        const qint64 gapMs = (sends.at(i).nsecs - sends.at(i - 1).nsecs) / kNsPerMs;
        QVERIFY2(gapMs >= Pacing().replyWindowMs - 250, qPrintable(QStringLiteral("resent after %1 ms").arg(gapMs)));
    }
}

void TestWriteCommands::chatteringNodeKeepsTheAttemptOpen()
{
    // The answer comes 6.5 s after the line, later than one reply window, but the node prints other lines
    // meanwhile; each of them opens a new window, so the line is sent only once.
    constexpr int kAnswerDelayMs = 6500;
    m_sim->setFault(QStringLiteral("set:rr"), SimFault::Late, 1, QString::number(kAnswerDelayMs));
    std::atomic<bool> sent{false};
    std::thread chatter([this, &sent] {
        if (!m_sim->waitForLine(QStringLiteral("rr 60000"), 10000))
            return;
        sent = true;
        for (int i = 0; i < 3; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2000));
            m_sim->sendLine(QStringLiteral("Battery 3.3 V"));
        }
    });
    QTest::ignoreMessage(QtDebugMsg, "Set rate: 1 rr 60000");
    NodeCMDsetThreshold command(editedNode(), Node::FlagReportRate, m_port.get());
    const CommandResult result = runToEnd(command);
    chatter.join();
    QVERIFY(sent);
    QCOMPARE(result, CommandResult::Done);
    settle();
    QCOMPARE(sentLines(), QStringList{QStringLiteral("rr 60000")});
}

void TestWriteCommands::endlesslyChatteringNodeEndsEachAttemptAtItsLimit()
{
    // The node never answers but keeps printing: each attempt ends at its limit, and after three attempts the
    // command reports the silence instead of holding the link for ever.
    constexpr qint64 kLimitMs = 1500;
    m_sim->setFault(QStringLiteral("set:tht"), SimFault::Silent);
    std::atomic<bool> stop{false};
    std::thread chatter([this, &stop] {
        while (!stop) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            m_sim->sendLine(QStringLiteral("Battery 3.3 V"));
        }
    });
    Pacing shortLimit;
    shortLimit.attemptLimitMs = kLimitMs;
    NodeCMDsetThreshold command(editedNode(), Node::FlagTemperature, m_port.get(), shortLimit);
    QElapsedTimer elapsed;
    elapsed.start();
    const CommandResult result = runToEnd(command);
    const qint64 took = elapsed.elapsed();
    stop = true;
    chatter.join();
    QCOMPARE(result, CommandResult::TimedOut);
    QVERIFY2(took < 3 * (kLimitMs + 1000) + 1000, qPrintable(QStringLiteral("%1 ms").arg(took)));
    settle();
    QCOMPARE(words(sentLines()), repeated(QStringLiteral("tht"), 3));
}

void TestWriteCommands::acceptanceFollowedByAPromptInOneBatchCounts()
{
    // The node accepts and prints its prompt right behind the answer; both arrive in one read.
    m_sim->setFault(QStringLiteral("set:tht"), SimFault::Silent, 1);
    std::thread answer([this] {
        if (m_sim->waitForLine(QStringLiteral("tht -5 30"), 10000))
            m_sim->sendRaw(QByteArrayLiteral("Set temperature ok\r> \r"));
    });
    NodeCMDsetThreshold command(editedNode(), Node::FlagTemperature, m_port.get());
    const CommandResult result = runToEnd(command);
    answer.join();
    QCOMPARE(result, CommandResult::Done);
    settle();
    QCOMPARE(words(sentLines()), repeated(QStringLiteral("tht"), 1));
}

void TestWriteCommands::interruptedWriteStopsMidLineAndReportsInterruptedOnce()
{
    const QString data(96, QLatin1Char('5'));
    NodeCMDsetSigfoxData command(data, m_port.get());
    QSignalSpy finished(&command, &NodeWriteCommand::finished);
    QCOMPARE(command.sendCommand(), CommandResult::Pending);
    // Part of the way through the paced line.
    QTRY_VERIFY_WITH_TIMEOUT(m_sim->receivedBytes().size() >= 20, 10000);
    command.interrupt();
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).value<CommandResult>(), CommandResult::Failed);
    QCOMPARE(finished.at(0).at(1).value<CommandFailure>(), CommandFailure::Interrupted);
    QVERIFY(command.isFinished());

    // The marker follows the bytes written before the interruption directly: the line was never finished.
    m_port->write(kMarker.toLatin1() + '\r');
    QTRY_VERIFY_WITH_TIMEOUT(m_sim->receivedBytes().endsWith(kMarker.toLatin1() + '\r'), 5000);
    const QStringList lines = m_sim->receivedLines();
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines.first().startsWith(QLatin1String("sd 5")) && lines.first().endsWith(kMarker)
            && lines.first().size() < 3 + data.size() + kMarker.size(),
        qPrintable(lines.first()));
    // Nothing follows later either, and a second interruption reports nothing.
    const QByteArray received = m_sim->receivedBytes();
    QTest::qWait(Pacing().linePauseMs + 100);
    QCOMPARE(m_sim->receivedBytes(), received);
    command.interrupt();
    QCOMPARE(finished.count(), 1);
}

void TestWriteCommands::sleepCommandReportsTheNodeGoingToSleep()
{
    NodeCMDsleep command(m_port.get());
    QSignalSpy spy(&command, &NodeCMDsleep::nodeSleeping);
    QTest::ignoreMessage(QtInfoMsg, "GOT:  to sleep");
    QCOMPARE(command.sendCommand(), CommandResult::Done);
    QTRY_COMPARE_WITH_TIMEOUT(m_sim->receivedBytes(), QByteArray("s\r"), 5000);

    // The link feeds the command the lines it reads; here the test plays the link.
    LineAssembler lines;
    CommandResult result = CommandResult::Pending;
    QElapsedTimer waited;
    waited.start();
    while (result != CommandResult::Done && waited.elapsed() < 10000) {
        if (m_port->bytesAvailable() > 0 || m_port->waitForReadyRead(500)) {
            for (const QString &line : lines.feed(m_port->readAll()))
                result = command.parseReply(line);
        }
    }
    QCOMPARE(result, CommandResult::Done);
    QCOMPARE(spy.count(), 1);
    QVERIFY(m_sim->isSleeping());
}

void TestWriteCommands::misbehavingNodeEndsTheExchangeWithADefinedResult_data()
{
    QTest::addColumn<int>("fault");
    QTest::addColumn<QString>("argument");
    QTest::addColumn<CommandResult>("result");
    QTest::addColumn<int>("sends");
    // Nonsense lines are no verdict: after one silent window the line is sent again and then answered.
    QTest::newRow("garbage") << int(SimFault::Garbage) << QString() << CommandResult::Done << 2;
    // The answer is lost in the over-long line it ends, which is dropped whole.
    QTest::newRow("a megabyte without carriage return")
        << int(SimFault::Endless) << QString() << CommandResult::Done << 2;
    // The device side disappears: every later wait ends at once, and so does the exchange.
    QTest::newRow("hang-up") << int(SimFault::HangUp) << QString() << CommandResult::TimedOut << 1;
}

void TestWriteCommands::misbehavingNodeEndsTheExchangeWithADefinedResult()
{
    QFETCH(int, fault);
    QFETCH(QString, argument);
    QFETCH(CommandResult, result);
    QFETCH(int, sends);
    m_sim->setFault(QStringLiteral("set:dev"), SimFault(fault), 1, argument);
    NodeCMDsetLoRaID command(QStringLiteral("0011223344556677"), m_port.get());
    QElapsedTimer elapsed;
    elapsed.start();
    QCOMPARE(runToEnd(command), result);
    // Never longer than three silent reply windows plus the sending.
    QVERIFY2(elapsed.elapsed() < 3 * (Pacing().replyWindowMs + 1000),
        qPrintable(QStringLiteral("%1 ms").arg(elapsed.elapsed())));
    QCOMPARE(words(m_sim->receivedLines()), repeated(QStringLiteral("dev"), sends));

    if (SimFault(fault) == SimFault::HangUp)
        return;
    // Whatever the node left behind does not spoil the next exchange on the same port.
    m_sim->clearReceived();
    NodeCMDsetThreshold next(editedNode(), Node::FlagTemperature, m_port.get());
    QCOMPARE(runToEnd(next), CommandResult::Done);
    QCOMPARE(m_sim->receivedLines(), QStringList{QStringLiteral("tht -5 30")});
}

IOT_SHARDED_GUILESS_TEST_MAIN(TestWriteCommands)
#include "tst_writecommands.moc"
