#include "booldata.h"
#include "commandresulttext.h"
#include "linkfixture.h"
#include "logcapture.h"
#include "memoryprobe.h"
#include "node.h"
#include "nodebuilders.h"
#include "nodecommand.h"
#include "nodeinterface.h"

#include <QElapsedTimer>
#include <QTest>

#include <sys/resource.h>

#include <cmath>
#include <functional>
#include <memory>

namespace {
// Generous limits for things that take about a second on a quiet machine.
constexpr int kShortWaitMs = 5000;
// The whole start-up read takes about 4 s; a loaded machine may need more.
constexpr int kConnectWaitMs = 20000;
// The responsiveness contract for every call the window makes while the link is busy.
constexpr qint64 kGuiCallLimitMs = 50;

// The tests' pacing with a longer reply window: the protocol's, for a node that answers late but within that
// window; a shorter one for a write whose wait a test interrupts well within it.
Pacing withReplyWindow(qint64 replyWindowMs = Pacing().replyWindowMs)
{
    Pacing pacing = testPacing();
    pacing.replyWindowMs = replyWindowMs;
    return pacing;
}

// Process CPU time (user + system) in milliseconds.
qint64 cpuTimeMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return qint64(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000
        + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
}
} // namespace

class TestNodeInterface : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void announcesEachKindOfNodeWithEveryFieldItReported_data();
    void announcesEachKindOfNodeWithEveryFieldItReported();
    void vcomStartedCountsOnceAndOnlyAfterACompleteBanner();
    void lineAfterTheReplyWindowIsDroppedToTheBannerDetector();
    void resetDuringTheConfigurationReadDropsItAndReadsTheRestartedNode();
    void nodeStartingAgainDuringTheReadIsReadAgainFromTheStart_data();
    void nodeStartingAgainDuringTheReadIsReadAgainFromTheStart();
    void nodeStartingRightAfterGoingToSleepIsRead_data();
    void nodeStartingRightAfterGoingToSleepIsRead();
    void disconnectOrNewPortInterruptsAWriteAtOnce_data();
    void disconnectOrNewPortInterruptsAWriteAtOnce();
    void resetAndSleepWaitForTheWriteInProgress();
    void damagedProtectedFieldAnnouncesNoNode();
    void missingPortIsReportedAndAGoodOneOpensAfterwards();
    void versionReadReportsTheFirmwareType();
    void writeRequestsReportTheirResultInOrder();
    void sleepRequestForwardsTheNodeGoingToSleep();
    void guiCallsReturnAtOnceWhileAWriteWaitsForASilentNode();
    void destructionLetsTheRunningWriteFinish();
    void hungUpNodeClosesThePortWithoutSpinningAndALaterConnectRecovers();
    void badInputIsDroppedAndTheNextBannerIsStillRead_data();
    void badInputIsDroppedAndTheNextBannerIsStillRead();
    void endlessOutputWithoutCarriageReturnKeepsMemoryBounded();

private:
    // Starts the simulator, builds the link on `pacing` and opens the port; the node has not booted yet.
    void openLink(const SimNodeProfile &profile = SimNodeProfile(), const Pacing &pacing = testPacing());
    // Opens the link and starts a report rate write that the node answers only after 1.5 s.
    void startSlowReportRateWrite();

    std::unique_ptr<LinkFixture> m_rec;
    NodeSimulator *m_sim = nullptr;
    NodeInterface *m_link = nullptr;
    QString m_path;
};

void TestNodeInterface::cleanup()
{
    m_rec.reset();
}

void TestNodeInterface::openLink(const SimNodeProfile &profile, const Pacing &pacing)
{
    m_rec = std::make_unique<LinkFixture>(profile, pacing);
    m_sim = &m_rec->simulator();
    m_path = m_rec->port().path();
    QVERIFY2(m_rec->open(kShortWaitMs), qPrintable(m_rec->errorString()));
    m_link = &m_rec->link();
    QCOMPARE(m_rec->opened(), QStringList{m_path});
}

void TestNodeInterface::startSlowReportRateWrite()
{
    openLink(SimNodeProfile(), withReplyWindow());
    m_sim->setFault(QStringLiteral("set:*"), SimFault::Late, -1, QStringLiteral("1500"));
    Node node;
    node.reportRate = 5;
    m_link->updateNode(node, Node::FlagReportRate);
}

void TestNodeInterface::announcesEachKindOfNodeWithEveryFieldItReported_data()
{
    QTest::addColumn<int>("simType");
    QTest::addColumn<bool>("configured");
    QTest::addColumn<bool>("colour");
    QTest::addColumn<bool>("crlf");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("deviceType");
    QTest::addColumn<int>("deviceCommunication");
    QTest::addColumn<QString>("euid");

    // Some rows wrap every line in colour sequences or end lines with CR LF; the result must not change.
    QTest::newRow("Pellimar") << 1 << true << false << false << 1 << 1 << 1 << "70B3D57ED0000B01";
    QTest::newRow("LoRa OTAA, CR LF") << 2 << true << false << true << 2 << 1 << 2 << "70B3D57ED0000A01";
    QTest::newRow("SigFox, colour") << 3 << true << true << false << 3 << 1 << 3 << "C0FFEE";
    QTest::newRow("Pellimar 5D, colour and CR LF") << 4 << true << true << true << 4 << 3 << 1 << "70B3D57ED0000B04";
    QTest::newRow("LoRa OTAA 5D") << 5 << true << false << false << 5 << 3 << 2 << "70B3D57ED0000A05";
    QTest::newRow("SigFox 5D") << 6 << true << false << false << 6 << 3 << 3 << "12ABCD";
    QTest::newRow("unconfigured LoRa OTAA") << 2 << false << false << false << 2 << 1 << 2 << "0000000000000000";
    QTest::newRow("Unknown") << 0 << true << false << false << 0 << 0 << 0 << "70B3D57ED0000F00";
}

void TestNodeInterface::announcesEachKindOfNodeWithEveryFieldItReported()
{
    QFETCH(int, simType);
    QFETCH(bool, configured);
    QFETCH(bool, colour);
    QFETCH(bool, crlf);
    QFETCH(int, type);
    QFETCH(int, deviceType);
    QFETCH(int, deviceCommunication);
    QFETCH(QString, euid);

    SimNodeProfile profile = SimNodeProfile::forType(simType);
    profile.configured = configured;
    profile.colour = colour;
    profile.crlf = crlf;
    openLink(profile);

    m_sim->boot();
    QTRY_VERIFY_WITH_TIMEOUT(m_rec->count("busy(true)") == 1, kShortWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(m_rec->count("nodeConnected") == 1, kConnectWaitMs);

    // The carriage return that wakes the node's command line, then the three reads in order, nothing else.
    QCOMPARE(m_sim->receivedLines(),
        (QStringList{QString(), QStringLiteral("cfg"), QStringLiteral("th"), QStringLiteral("rr")}));
    QCOMPARE(m_rec->events(), (QStringList{"opened", "busy(true)", "nodeConnected"}));

    const Node expected = announcedNode(profile, type, deviceType, deviceCommunication, euid);
    const Node got = m_rec->nodes().first();
    QVERIFY2(got == expected, qPrintable(describeNode(got) + QStringLiteral("\nexpected ") + describeNode(expected)));
    QVERIFY(m_link->nodeRecord() == expected);
}

void TestNodeInterface::vcomStartedCountsOnceAndOnlyAfterACompleteBanner()
{
    openLink();
    // Without a banner first, "VCOM started" starts nothing.
    m_sim->sendLine(QStringLiteral("VCOM started"));
    m_sim->sendLine(QStringLiteral("Tavonex : v2.4.1"));
    m_sim->sendLine(QStringLiteral("VCOM started")); // two banner lines are not a banner
    m_sim->boot();
    m_sim->sendLine(QStringLiteral("VCOM started")); // right behind the real one: the read is already under way
    QTRY_VERIFY_WITH_TIMEOUT(m_rec->count("nodeConnected") == 1, kConnectWaitMs);

    QCOMPARE(m_sim->receivedLines(),
        (QStringList{QString(), QStringLiteral("cfg"), QStringLiteral("th"), QStringLiteral("rr")}));
    // The lone board line already meant a node was starting; the full banner says so again.
    QCOMPARE(m_rec->count("busy(true)"), 2);
}

void TestNodeInterface::lineAfterTheReplyWindowIsDroppedToTheBannerDetector()
{
    openLink();
    m_sim->setFault(QStringLiteral("cfg"), SimFault::Silent);
    m_sim->boot();
    QVERIFY(m_sim->waitForLine(QStringLiteral("cfg"), kShortWaitMs));
    QTRY_VERIFY_WITH_TIMEOUT(m_rec->count("busy(true)") == 1, kShortWaitMs);

    // Let the configuration read grow older than its reply window, then send a line it would have accepted
    // had it come in time, followed by a board line.
    QTest::qWait(int(m_rec->pacing().replyWindowMs) + 300);
    m_sim->sendLine(QStringLiteral("Tavonex : v7.7.7"));
    QTRY_VERIFY_WITH_TIMEOUT(m_rec->count("busy(true)") == 2, kShortWaitMs);

    // The line ended the read (busy false) and then reached the banner detector (busy true, version stored).
    QCOMPARE(m_rec->events(), (QStringList{"opened", "busy(true)", "busy(false)", "busy(true)"}));
    QCOMPARE(m_link->nodeRecord().nodeVersion, QStringLiteral("v7.7.7"));
    QCOMPARE(m_sim->receivedLines(), (QStringList{QString(), QStringLiteral("cfg")}));
}

void TestNodeInterface::resetDuringTheConfigurationReadDropsItAndReadsTheRestartedNode()
{
    openLink();
    m_sim->boot();
    // The link pauses for a second after sending "cfg"; the node's answer waits in the port meanwhile.
    QVERIFY(m_sim->waitForLine(QStringLiteral("cfg"), kShortWaitMs));
    m_link->resetNode();

    QTRY_VERIFY_WITH_TIMEOUT(m_rec->count("nodeConnected") == 1, kConnectWaitMs);
    // Had the first answer reached the configuration read, "th" would have followed the first "cfg".
    QCOMPARE(m_sim->receivedLines(),
        (QStringList{QString(), QStringLiteral("cfg"), QStringLiteral("reset"), QString(), QStringLiteral("cfg"),
            QStringLiteral("th"), QStringLiteral("rr")}));
}

void TestNodeInterface::nodeStartingAgainDuringTheReadIsReadAgainFromTheStart_data()
{
    QTest::addColumn<QString>("read");
    QTest::addColumn<QStringList>("sentBefore");
    QTest::newRow("configuration") << "cfg" << QStringList{QString(), "cfg"};
    QTest::newRow("thresholds") << "th" << QStringList{QString(), "cfg", "th"};
    QTest::newRow("report rate") << "rr" << QStringList{QString(), "cfg", "th", "rr"};
}

void TestNodeInterface::nodeStartingAgainDuringTheReadIsReadAgainFromTheStart()
{
    QFETCH(QString, read);
    QFETCH(QStringList, sentBefore);
    openLink();
    // The node keeps quiet on one read and starts again instead, with other versions and values.
    m_sim->setFault(read, SimFault::Silent, 1);
    m_sim->boot();
    QVERIFY(m_sim->waitForLine(read, kConnectWaitMs));
    SimNodeProfile restarted = m_sim->profile();
    restarted.nodeVersion = QStringLiteral("v2.9.9");
    restarted.devEui = QStringLiteral("70B3D57ED0000C77");
    restarted.temperatureLow = -30;
    restarted.reportRateMs = 300000;
    m_sim->setProfile(restarted);
    m_sim->boot();

    QTRY_VERIFY_WITH_TIMEOUT(m_rec->count("nodeConnected") == 1, kConnectWaitMs);
    QCOMPARE(m_sim->receivedLines(), (sentBefore + QStringList{QString(), "cfg", "th", "rr"}));
    const Node expected = announcedNode(restarted, 2, 1, 2, restarted.devEui);
    const Node got = m_rec->nodes().first();
    QVERIFY2(got == expected, qPrintable(describeNode(got) + QStringLiteral("\nexpected ") + describeNode(expected)));
    QCOMPARE(m_rec->count("busy(true)"), 2);
}

void TestNodeInterface::nodeStartingRightAfterGoingToSleepIsRead_data()
{
    // False: the banner arrives while the link still holds the sleep answer in the port. True: the window drops
    // the node when it hears it went to sleep, and the node starts right after that.
    addBoolRows("bootOnSleepingSignal", "banner right behind the answer", "banner after a drop");
}

void TestNodeInterface::nodeStartingRightAfterGoingToSleepIsRead()
{
    QFETCH(bool, bootOnSleepingSignal);
    openLink();
    connect(m_link, &NodeInterface::nodeSleeping, this, [this, bootOnSleepingSignal] {
        m_link->disconnectNode();
        if (bootOnSleepingSignal)
            m_sim->boot();
    });
    m_link->sleepNode();
    QVERIFY(m_sim->waitForLine(QStringLiteral("s"), kShortWaitMs));
    if (!bootOnSleepingSignal)
        m_sim->boot();

    QTRY_VERIFY_WITH_TIMEOUT(m_rec->count("nodeConnected") == 1, kConnectWaitMs);
    QCOMPARE(m_rec->count("nodeSleeping"), 1);
    QCOMPARE(m_sim->receivedLines(), (QStringList{"s", QString(), "cfg", "th", "rr"}));
    QVERIFY(m_rec->nodes().first() == announcedNode(SimNodeProfile(), 2, 1, 2, SimNodeProfile().devEui));
}

void TestNodeInterface::disconnectOrNewPortInterruptsAWriteAtOnce_data()
{
    addBoolRows("newPort", "disconnect", "new port");
}

void TestNodeInterface::disconnectOrNewPortInterruptsAWriteAtOnce()
{
    QFETCH(bool, newPort);
    openLink(SimNodeProfile(), withReplyWindow(2000));
    m_sim->setFault(QStringLiteral("set:tht"), SimFault::Silent);
    Node node;
    node.thresholds.temperatureLow = 1.0f;
    node.thresholds.temperatureHigh = 2.0f;
    node.reportRate = 1;
    m_link->updateNode(node, Node::FlagTemperature | Node::FlagReportRate);
    QVERIFY(m_sim->waitForLine(QStringLiteral("tht 1 2"), kShortWaitMs));
    QElapsedTimer sinceSent;
    sinceSent.start();

    QElapsedTimer sinceAsked;
    sinceAsked.start();
    if (newPort)
        m_link->connectSerialPort(m_path);
    else
        m_link->disconnectNode();
    QTRY_VERIFY_WITH_TIMEOUT(m_rec->count("result") == 1, kShortWaitMs);
    // Well within the reply window the write was waiting in.
    QVERIFY2(
        sinceAsked.elapsed() < m_rec->pacing().replyWindowMs / 2, qPrintable(QString::number(sinceAsked.elapsed())));
    QCOMPARE(m_rec->results(), QVector<CommandResult>{CommandResult::Failed});
    QCOMPARE(m_rec->failures(), QVector<CommandFailure>{CommandFailure::Interrupted});
    if (newPort)
        QTRY_VERIFY_WITH_TIMEOUT(m_rec->count("opened") == 2, kShortWaitMs);

    // The next write goes out normally, and nothing more of the interrupted one ever follows: not its retry
    // after the reply window, not its report-rate line.
    Node next;
    next.thresholds.humidityLow = 20.0f;
    next.thresholds.humidityHigh = 80.0f;
    m_link->updateNode(next, Node::FlagHumidity);
    QTRY_VERIFY_WITH_TIMEOUT(m_rec->count("result") == 2, kShortWaitMs);
    QCOMPARE(m_rec->results().last(), CommandResult::Done);
    const qint64 untilRetryWouldBeDue = m_rec->pacing().replyWindowMs + 500 - sinceSent.elapsed();
    if (untilRetryWouldBeDue > 0)
        QTest::qWait(int(untilRetryWouldBeDue));
    QCOMPARE(m_sim->receivedLines(), (QStringList{"tht 1 2", "thh 20 80"}));
}

void TestNodeInterface::resetAndSleepWaitForTheWriteInProgress()
{
    startSlowReportRateWrite();
    QVERIFY(m_sim->waitForLine(QStringLiteral("rr 300000"), kShortWaitMs));
    m_link->sleepNode();
    m_link->resetNode();

    QTRY_VERIFY_WITH_TIMEOUT(m_sim->receivedLines().size() == 3, kConnectWaitMs);
    QCOMPARE(m_sim->receivedLines(), (QStringList{"rr 300000", "s", "reset"}));
    QCOMPARE(m_rec->results(), QVector<CommandResult>{CommandResult::Done});
    QCOMPARE(m_rec->events(), (QStringList{"opened", "result", "nodeSleeping"}));
}

void TestNodeInterface::damagedProtectedFieldAnnouncesNoNode()
{
    openLink();
    m_sim->setFault(QStringLiteral("cfg"), SimFault::CorruptField);
    m_sim->boot();
    QVERIFY(m_sim->waitForLine(QStringLiteral("cfg"), kShortWaitMs));
    // An intact answer would have produced "th" after the hold and the pause before it.
    QTest::qWait(3 * (m_rec->pacing().holdAfterReadMs + m_rec->pacing().beforeRequestMs) + 500);
    QCOMPARE(m_sim->receivedLines(), (QStringList{QString(), QStringLiteral("cfg")}));
    QCOMPARE(m_rec->count("nodeConnected"), 0);
    QVERIFY(m_link->nodeRecord().euid.isEmpty());
}

void TestNodeInterface::missingPortIsReportedAndAGoodOneOpensAfterwards()
{
    m_rec = std::make_unique<LinkFixture>();
    QVERIFY2(m_rec->start(), qPrintable(m_rec->errorString()));
    m_sim = &m_rec->simulator();
    m_link = &m_rec->link();
    m_path = m_rec->port().path();
    LogCapture log;

    const QString missing = m_rec->port().missingPath();
    m_link->connectSerialPort(missing);
    QTRY_VERIFY_WITH_TIMEOUT(m_rec->count("failed") == 1, kShortWaitMs);
    QCOMPARE(m_rec->failed(), QStringList{missing});
    QVERIFY(!m_rec->failureReasons().first().isEmpty());
    QCOMPARE(log.count(QStringLiteral("Could not open serial port ") + missing), 1);

    m_link->connectSerialPort(m_path);
    QTRY_VERIFY_WITH_TIMEOUT(m_rec->count("opened") == 1, kShortWaitMs);
    QCOMPARE(log.count(QStringLiteral("Opened serial port ") + m_path), 1);
    m_sim->boot();
    QVERIFY(m_sim->waitForLine(QStringLiteral("cfg"), kShortWaitMs));

    // Choosing the port again closes the open one first.
    m_link->connectSerialPort(m_path);
    QTRY_VERIFY_WITH_TIMEOUT(m_rec->count("opened") == 2, kShortWaitMs);
    QCOMPARE(log.count(QStringLiteral("Closing serial port ") + m_path), 1);
}

void TestNodeInterface::versionReadReportsTheFirmwareType()
{
    SimNodeProfile profile = SimNodeProfile::forType(6);
    profile.nodeVersion = QStringLiteral("v6.0.1");
    openLink(profile);
    m_link->readVersion();
    QTRY_VERIFY_WITH_TIMEOUT(m_rec->count("configureID") == 1, kShortWaitMs);
    QCOMPARE(m_rec->types(), QVector<int>{6});
    QCOMPARE(m_sim->receivedLines(), QStringList{QStringLiteral("ver")});
    // The version read reports the type only; the link's record keeps what the banner detector stored.
    QVERIFY(m_link->nodeRecord().nodeVersion.isEmpty());
}

void TestNodeInterface::writeRequestsReportTheirResultInOrder()
{
    openLink(SimNodeProfile::forType(3));
    Node node;
    node.thresholds.temperatureLow = -5.0f;
    node.thresholds.temperatureHigh = 30.0f;
    node.reportRate = 2;

    m_link->updateNode(node, 0); // nothing selected: nothing queued
    m_link->setDeviceId(QStringLiteral("0011223344556677"));
    m_link->updateNode(node, Node::FlagTemperature | Node::FlagReportRate);
    m_link->setSigfoxData(QString(96, QLatin1Char('a')));
    QTRY_VERIFY_WITH_TIMEOUT(m_rec->count("result") == 3, kConnectWaitMs);

    QCOMPARE(m_rec->results(), (QVector<CommandResult>{CommandResult::Done, CommandResult::Done, CommandResult::Done}));
    const QStringList lines = m_sim->receivedLines();
    QCOMPARE(lines.size(), 4);
    QVERIFY(lines.at(0).startsWith(QLatin1String("dev ")));
    QCOMPARE(lines.at(1), QStringLiteral("tht -5 30"));
    QCOMPARE(lines.at(2), QStringLiteral("rr 120000"));
    QCOMPARE(lines.at(3), QStringLiteral("sd ") + QString(96, QLatin1Char('a')));
    const SimNodeProfile written = m_sim->profile();
    QCOMPARE(written.deviceId, QStringLiteral("0011223344556677"));
    QCOMPARE(written.reportRateMs, qint64(120000));
}

void TestNodeInterface::sleepRequestForwardsTheNodeGoingToSleep()
{
    openLink();
    m_link->sleepNode();
    QTRY_VERIFY_WITH_TIMEOUT(m_rec->count("nodeSleeping") == 1, kShortWaitMs);
    QCOMPARE(m_sim->receivedLines(), QStringList{QStringLiteral("s")});
    QVERIFY(m_sim->isSleeping());
}

void TestNodeInterface::guiCallsReturnAtOnceWhileAWriteWaitsForASilentNode()
{
    openLink(SimNodeProfile(), withReplyWindow());
    // The node keeps quiet for seconds before it answers the write.
    m_sim->setFault(QStringLiteral("set:*"), SimFault::Late, -1, QStringLiteral("3000"));
    Node node;
    node.thresholds.temperatureLow = 1.0f;
    node.thresholds.temperatureHigh = 2.0f;
    m_link->updateNode(node, Node::FlagTemperature);
    QVERIFY(m_sim->waitForLine(QStringLiteral("tht 1 2"), kShortWaitMs));

    struct Call
    {
        const char *name;
        std::function<void()> run;
    };
    const QVector<Call> calls{
        {"resetNode", [this] { m_link->resetNode(); }},
        {"disconnectNode", [this] { m_link->disconnectNode(); }},
        {"sleepNode", [this] { m_link->sleepNode(); }},
        {"updateNode", [this, node] { m_link->updateNode(node, Node::FlagHumidity); }},
        {"nodeRecord", [this] { (void)m_link->nodeRecord(); }},
        {"readVersion", [this] { m_link->readVersion(); }},
        {"setDeviceId", [this] { m_link->setDeviceId(QStringLiteral("0011223344556677")); }},
        {"setSigfoxData", [this] { m_link->setSigfoxData(QString(96, QLatin1Char('0'))); }},
        {"connectSerialPort", [this] { m_link->connectSerialPort(m_path); }},
    };
    for (const Call &call : calls) {
        QElapsedTimer timer;
        timer.start();
        call.run();
        const qint64 ms = timer.elapsed();
        QVERIFY2(ms < kGuiCallLimitMs, qPrintable(QStringLiteral("%1 took %2 ms").arg(call.name).arg(ms)));
    }
    // The write was still waiting for its answer throughout.
    QCOMPARE(m_rec->count("result"), 0);
}

void TestNodeInterface::destructionLetsTheRunningWriteFinish()
{
    startSlowReportRateWrite();
    m_link->resetNode(); // queued behind the write; destruction discards it
    QVERIFY(m_sim->waitForLine(QStringLiteral("rr 300000"), kShortWaitMs));

    m_rec->destroyLink();
    // The link thread reported the write's result before the destructor returned.
    QCoreApplication::sendPostedEvents();
    QCOMPARE(m_rec->results(), QVector<CommandResult>{CommandResult::Done});
    QCOMPARE(m_sim->profile().reportRateMs, qint64(300000));
    QCOMPARE(m_sim->receivedLines(), QStringList{QStringLiteral("rr 300000")});
}

void TestNodeInterface::hungUpNodeClosesThePortWithoutSpinningAndALaterConnectRecovers()
{
    openLink();
    LogCapture log;
    m_sim->sendRaw("Tavonex : v1"); // half a line when the node goes away
    m_sim->hangUp();
    QTRY_VERIFY_WITH_TIMEOUT(m_rec->count("failed") == 1, kShortWaitMs);
    QCOMPARE(m_rec->failed(), QStringList{m_path});

    // A port left open after a hang-up reports errors without end; a link that kept it would use a whole core.
    const qint64 cpuBefore = cpuTimeMs();
    QElapsedTimer wall;
    wall.start();
    QTest::qWait(1000);
    const qint64 cpuUsed = cpuTimeMs() - cpuBefore;
    QVERIFY2(cpuUsed * 4 < wall.elapsed(),
        qPrintable(QStringLiteral("%1 ms CPU in %2 ms").arg(cpuUsed).arg(wall.elapsed())));
    QCOMPARE(m_rec->count("failed"), 1);
    QCOMPARE(log.count(QStringLiteral("NodeInterface: serial port")), 1);

    // Without a port the link still serves requests: a write finds no port and fails at once.
    Node node;
    node.reportRate = 1;
    m_link->updateNode(node, Node::FlagReportRate);
    QTRY_VERIFY_WITH_TIMEOUT(m_rec->count("result") == 1, kShortWaitMs);
    QCOMPARE(m_rec->results(), QVector<CommandResult>{CommandResult::Failed});
    QCOMPARE(m_rec->failures(), QVector<CommandFailure>{CommandFailure::NoPort});

    // Plugged in again and chosen again: the half line from before does not spoil the new banner.
    QVERIFY(m_rec->port().start());
    m_sim->clearReceived();
    m_link->connectSerialPort(m_path);
    QTRY_VERIFY_WITH_TIMEOUT(m_rec->count("opened") == 2, kShortWaitMs);
    m_sim->boot();
    QVERIFY(m_sim->waitForLine(QStringLiteral("cfg"), kShortWaitMs));
    QCOMPARE(m_link->nodeRecord().nodeVersion, SimNodeProfile().nodeVersion);
}

void TestNodeInterface::badInputIsDroppedAndTheNextBannerIsStillRead_data()
{
    QTest::addColumn<QByteArray>("noise");
    QTest::addColumn<int>("droppedLines");

    QTest::newRow("megabytes without a carriage return") << QByteArray(3 * 1024 * 1024, 'x') + '\r' << 1;
    // Binary bytes with NULs, broken UTF-8 sequences, lone line feeds and unfinished escape sequences.
    static const char binary[] = "\x00\x01\x02\xff\xfe\xc3\x28 junk\r\xe2\x82\r\n\r\r\x1b[\r\x1b\r\xf0\x9f\x98\r";
    QTest::newRow("binary bytes and invalid UTF-8") << QByteArray(binary, int(sizeof binary) - 1) << 0;
    QTest::newRow("banner in colour codes with semicolons") << QByteArray(
        "\x1b[1;33mTavonex : v9.9.9\x1b[0m\r\x1b[1;33mOrmix : 9\x1b[0m\r"
        "\x1b[1;33mSemtech LoRa : 9\x1b[0m\rVCOM started\r") << 0;
    QTest::newRow("numbers with two minus signs and too many digits")
        << QByteArray("Temperature : L --10 H 5000000000\rReport rate : --99999999999999999\r") << 0;
}

void TestNodeInterface::badInputIsDroppedAndTheNextBannerIsStillRead()
{
    QFETCH(QByteArray, noise);
    QFETCH(int, droppedLines);

    openLink();
    LogCapture log;
    m_sim->sendRaw(noise);
    m_sim->boot();
    QVERIFY(m_sim->waitForLine(QStringLiteral("cfg"), kConnectWaitMs));

    // Nothing in the noise started a node or a read: only the real banner did.
    QCOMPARE(m_sim->receivedLines(), (QStringList{QString(), QStringLiteral("cfg")}));
    QTRY_VERIFY_WITH_TIMEOUT(m_rec->count("busy(true)") == 1, kShortWaitMs);
    QCOMPARE(m_link->nodeRecord().nodeVersion, SimNodeProfile().nodeVersion);
    QCOMPARE(log.count(QStringLiteral("dropped a line longer than")), droppedLines);
}

void TestNodeInterface::endlessOutputWithoutCarriageReturnKeepsMemoryBounded()
{
    constexpr qint64 kEndlessBytes = 32 * 1024 * 1024;
    openLink();
    const qint64 residentBefore = MemoryProbe::residentKiB();
    QVERIFY(residentBefore > 0);

    // Answers the version read with 32 MiB without a carriage return, then its banner lines.
    m_sim->setFault(QStringLiteral("ver"), SimFault::Endless, 1, QString::number(kEndlessBytes));
    m_link->readVersion();
    QVERIFY(m_sim->waitForLine(QStringLiteral("ver"), kShortWaitMs));
    m_link->disconnectNode();
    m_sim->boot(); // printed after the endless output
    QVERIFY(m_sim->waitForLine(QStringLiteral("cfg"), kConnectWaitMs));

    // The glued-on board line was lost with the noise; the version read never completed.
    QCOMPARE(m_rec->count("configureID"), 0);

#if defined(__SANITIZE_ADDRESS__)
    QSKIP("AddressSanitizer keeps freed memory in quarantine, so the resident size says nothing here");
#else
    const qint64 growthKiB = MemoryProbe::residentKiB() - residentBefore;
    QVERIFY2(growthKiB < kEndlessBytes / 1024 / 2, qPrintable(QStringLiteral("grew by %1 KiB").arg(growthKiB)));
#endif
}

QTEST_GUILESS_MAIN(TestNodeInterface)
#include "tst_nodeinterface.moc"
