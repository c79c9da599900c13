#include "commandresulttext.h"
// The node side of the fault matrix: ways a node or its cable misbehaves that no other test drives through the
// whole link, each with the outcome the tool defines for it, over a real pseudo-terminal. Rows that other tests
// already cover are not repeated here:
//   node silent on a read           tst_nodeinterface lineAfterTheReplyWindowIsDroppedToTheBannerDetector
//   node silent on a write          tst_writecommands silentNodeTimesOutAfterThreeAttemptsWithoutLaterSteps
//   FAILED answers                  tst_writecommands refusedStepIsRetriedTwiceThenTheSequenceGoesOnAndFails,
//                                   refusedDeviceIdReportsFailure
//   corrupted protected field       tst_nodeinterface damagedProtectedFieldAnnouncesNoNode
//   garbage before a banner         tst_nodeinterface badInputIsDroppedAndTheNextBannerIsStillRead
//   garbage answering a write       tst_writecommands misbehavingNodeEndsTheExchangeWithADefinedResult
//   unplugged while idle            tst_nodeinterface hungUpNodeClosesThePortWithoutSpinningAndALaterConnectRecovers
//   endless output during a read    tst_nodeinterface endlessOutputWithoutCarriageReturnKeepsMemoryBounded

#include "linkfixture.h"
#include "memoryprobe.h"
#include "node.h"
#include "nodebuilders.h"
#include "nodecommand.h"
#include "nodeinterface.h"

#include <QTest>

#include <memory>

#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer keeps freed memory in a quarantine of 256 MiB before reusing it, so a stream of 100 MB in
// short-lived read buffers would look like growth. A small quarantine still catches a use after free of the
// last buffers and lets the resident size show what the program itself holds.
extern "C" const char *__asan_default_options()
{
    return "quarantine_size_mb=16";
}
#endif

namespace {
constexpr int kShortWaitMs = 5000;
// The start-up read takes about 4 s on a quiet machine; sanitizer lanes and a loaded machine need more.
constexpr int kConnectWaitMs = 30000;
constexpr qint64 kEndlessBytes = 100LL * 1000 * 1000;
constexpr qint64 kMemoryGrowthLimitKiB = 50 * 1024;

// The node record the link must announce for a simulated LoRa OTAA node.
Node announced(const SimNodeProfile &p)
{
    return announcedNode(p, Node::LoRaOTAA, 1, 2, p.devEui);
}

// A second node of the same kind with every value different, plugged in after the first one failed.
SimNodeProfile otherNode()
{
    SimNodeProfile p = SimNodeProfile::forType(Node::LoRaOTAA5D);
    p.communication = QStringLiteral("LoRa OTAA");
    p.nodeVersion = QStringLiteral("v2.9.9");
    p.moduleVersion = QStringLiteral("1.9");
    p.loraVersion = QStringLiteral("4.9.9");
    p.devEui = QStringLiteral("70B3D57ED0000C77");
    p.appEui = QStringLiteral("0004A30B001C0C77");
    p.appKey = QStringLiteral("00112233445566778899AABBCCDDEEFF");
    p.temperatureLow = -30;
    p.temperatureHigh = 70;
    p.humidityLow = 5;
    p.humidityHigh = 95;
    p.pressureLow = 100;
    p.pressureHigh = 2000;
    p.accelX = 250;
    p.accelD = 64;
    p.reportRateMs = 300000;
    return p;
}

} // namespace

class TestFaultMatrix : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void garbageAnswerToAReadAnnouncesNothingAndTheNextBootIsRead();
    void unpluggedDuringAReadAnnouncesNothingAndTheNodePluggedInNextIsReadWhole_data();
    void unpluggedDuringAReadAnnouncesNothingAndTheNodePluggedInNextIsReadWhole();
    void unpluggedDuringAWriteReportsTimedOutAndTheNodeKeepsOnlyWhatItAccepted();
    void hundredMegabytesWithoutCarriageReturnDuringAWriteKeepMemoryBounded();
    void colourCodesEverywhereChangeNothing();

private:
    // Starts the simulator, builds the link and opens the port; the node has not booted yet.
    void openLink(const SimNodeProfile &profile);
    // Plugs the simulated node in again (optionally as another node) and chooses its port again.
    void replug(const SimNodeProfile &profile);

    std::unique_ptr<LinkFixture> m_rec;
    NodeSimulator *m_sim = nullptr;
    NodeInterface *m_link = nullptr;
};

void TestFaultMatrix::cleanup()
{
    m_rec.reset();
}

void TestFaultMatrix::openLink(const SimNodeProfile &profile)
{
    m_rec = std::make_unique<LinkFixture>(profile);
    m_sim = &m_rec->simulator();
    QVERIFY2(m_rec->open(kShortWaitMs), qPrintable(m_rec->errorString()));
    m_link = &m_rec->link();
}

void TestFaultMatrix::replug(const SimNodeProfile &profile)
{
    QVERIFY2(m_rec->replug(profile, kShortWaitMs), qPrintable(m_rec->errorString()));
}

void TestFaultMatrix::garbageAnswerToAReadAnnouncesNothingAndTheNextBootIsRead()
{
    const SimNodeProfile profile = SimNodeProfile::forType(Node::LoRaOTAA);
    openLink(profile);
    m_sim->setFault(QStringLiteral("cfg"), SimFault::Garbage, 1);
    m_sim->boot();
    QVERIFY(m_sim->waitForLine(QStringLiteral("cfg"), kShortWaitMs));

    // Nothing in the noise completes the configuration read, so the start-up read stops there.
    QTest::qWait(int(m_rec->pacing().replyWindowMs) + 500);
    QCOMPARE(m_rec->count("nodeConnected"), 0);
    QCOMPARE(m_sim->receivedLines(), (QStringList{QString(), QStringLiteral("cfg")}));
    QVERIFY2(m_link->nodeRecord().euid.isEmpty(), qPrintable(m_link->nodeRecord().euid));

    // The node restarts: its first line finds the read too old and drops it, and the new banner is read whole.
    m_sim->boot();
    QTRY_VERIFY_WITH_TIMEOUT(m_rec->count("nodeConnected") == 1, kConnectWaitMs);
    QVERIFY2(m_rec->nodes().first() == announced(profile), qPrintable(describeNode(m_rec->nodes().first())));
    QCOMPARE(m_rec->count("busy(false)"), 1);
}

void TestFaultMatrix::unpluggedDuringAReadAnnouncesNothingAndTheNodePluggedInNextIsReadWhole_data()
{
    QTest::addColumn<QString>("read");
    QTest::addColumn<QStringList>("sent");
    QTest::newRow("configuration") << "cfg" << QStringList{QString(), "cfg"};
    QTest::newRow("thresholds") << "th" << QStringList{QString(), "cfg", "th"};
}

void TestFaultMatrix::unpluggedDuringAReadAnnouncesNothingAndTheNodePluggedInNextIsReadWhole()
{
    QFETCH(QString, read);
    QFETCH(QStringList, sent);
    openLink(SimNodeProfile::forType(Node::LoRaOTAA));
    m_sim->setFault(read, SimFault::HangUp, 1);
    m_sim->boot();
    QTRY_VERIFY_WITH_TIMEOUT(m_rec->count("failed") == 1, kConnectWaitMs);
    QCOMPARE(m_sim->receivedLines(), sent);
    QCOMPARE(m_rec->count("nodeConnected"), 0);

    // Another node on the same port: everything announced is that node's, nothing is left from the first.
    const SimNodeProfile next = otherNode();
    replug(next);
    m_sim->boot();
    QTRY_VERIFY_WITH_TIMEOUT(m_rec->count("nodeConnected") == 1, kConnectWaitMs);
    QCOMPARE(m_sim->receivedLines(), (QStringList{QString(), "cfg", "th", "rr"}));
    const Node got = m_rec->nodes().first();
    QVERIFY2(got == announced(next), qPrintable(describeNode(got) + "\nexpected " + describeNode(announced(next))));
}

void TestFaultMatrix::unpluggedDuringAWriteReportsTimedOutAndTheNodeKeepsOnlyWhatItAccepted()
{
    const SimNodeProfile before = SimNodeProfile::forType(Node::LoRaOTAA);
    openLink(before);
    m_sim->setFault(QStringLiteral("set:thh"), SimFault::HangUp, 1);
    Node edited = announced(before);
    edited.thresholds.temperatureLow = -5.0f;
    edited.thresholds.temperatureHigh = 35.0f;
    edited.thresholds.humidityLow = 20.0f;
    edited.thresholds.humidityHigh = 80.0f;
    edited.reportRate = 7;
    const int flags = Node::FlagTemperature | Node::FlagHumidity | Node::FlagReportRate;
    m_link->updateNode(edited, flags);

    // Gone in the middle of the humidity line: the apply has no answer, and the port is given up.
    QTRY_VERIFY_WITH_TIMEOUT(m_rec->count("result") == 1, kConnectWaitMs);
    QCOMPARE(m_rec->results(), QVector<CommandResult>{CommandResult::TimedOut});
    QCOMPARE(m_rec->failures(), QVector<CommandFailure>{CommandFailure::None});
    QTRY_VERIFY_WITH_TIMEOUT(m_rec->count("failed") == 1, kShortWaitMs);
    QCOMPARE(m_sim->receivedLines(), (QStringList{"tht -5 35", "thh 20 80"}));
    // The node holds the line it acknowledged and nothing of the rest.
    SimNodeProfile held = m_sim->profile();
    QCOMPARE(held.temperatureLow, -5);
    QCOMPARE(held.temperatureHigh, 35);
    QCOMPARE(held.humidityLow, before.humidityLow);
    QCOMPARE(held.humidityHigh, before.humidityHigh);
    QCOMPARE(held.reportRateMs, before.reportRateMs);

    // Plugged in again, the same apply goes through whole.
    replug(held);
    m_link->updateNode(edited, flags);
    QTRY_VERIFY_WITH_TIMEOUT(m_rec->count("result") == 2, kConnectWaitMs);
    QCOMPARE(m_rec->results().last(), CommandResult::Done);
    QCOMPARE(m_sim->receivedLines(), (QStringList{"tht -5 35", "thh 20 80", "rr 420000"}));
    held = m_sim->profile();
    QCOMPARE(held.humidityLow, 20);
    QCOMPARE(held.humidityHigh, 80);
    QCOMPARE(held.reportRateMs, qint64(420000));
}

void TestFaultMatrix::hundredMegabytesWithoutCarriageReturnDuringAWriteKeepMemoryBounded()
{
    openLink(SimNodeProfile::forType(Node::LoRaOTAA));
    // The node buries its answer to the first attempt at the end of 100 MB without a carriage return.
    m_sim->setFault(QStringLiteral("set:tht"), SimFault::Endless, 1, QString::number(kEndlessBytes));
    Node edited;
    edited.thresholds.temperatureLow = 1.0f;
    edited.thresholds.temperatureHigh = 2.0f;

    const qint64 residentBefore = MemoryProbe::residentKiB();
    QVERIFY(residentBefore > 0);
    QVERIFY(MemoryProbe::resetPeakResident());
    m_link->updateNode(edited, Node::FlagTemperature);
    QTRY_VERIFY_WITH_TIMEOUT(m_rec->count("result") == 1, 3 * kConnectWaitMs);

    // The over-long line went with the answer in it; the line was sent again and answered.
    QCOMPARE(m_rec->results(), QVector<CommandResult>{CommandResult::Done});
    QCOMPARE(m_sim->receivedLines(), (QStringList{"tht 1 2", "tht 1 2"}));
    QCOMPARE(m_sim->profile().temperatureHigh, 2);
    const qint64 peakGrowthKiB = MemoryProbe::peakResidentKiB() - residentBefore;
    QVERIFY2(peakGrowthKiB < kMemoryGrowthLimitKiB,
        qPrintable(QStringLiteral("resident size grew by %1 KiB at its peak").arg(peakGrowthKiB)));

    // The link is still in step with the node afterwards.
    m_sim->boot();
    QTRY_VERIFY_WITH_TIMEOUT(m_rec->count("nodeConnected") == 1, kConnectWaitMs);
}

void TestFaultMatrix::colourCodesEverywhereChangeNothing()
{
    SimNodeProfile profile = SimNodeProfile::forType(Node::LoRaOTAA);
    profile.colour = true; // every answer wrapped in colour sequences and ended by CR LF
    profile.crlf = true;
    openLink(profile);

    // A banner with colour sequences around and inside its lines, on lines of their own, a reset between CR and
    // LF, and blanks kept inside a sequence.
    m_sim->sendRaw("\x1b[1m\r\n"
                   "\x1b[33mTessaline lock sensor\x1b[0m\r\x1b[0m\n"
                   "\x1b[33mTavonex   \x1b[0m: \x1b[1mv2.4.1\x1b[0m\r\x1b[0m\n"
                   "\x1b[33m  Ormix     : 1.4  \x1b[0m\r\n"
                   "\x1b[mSemtech LoRa : 4.2.1\x1b[m\r"
                   "\x1b[0m\n\x1b[32mVCOM started\x1b[0m\r\n");
    QTRY_VERIFY_WITH_TIMEOUT(m_rec->count("nodeConnected") == 1, kConnectWaitMs);
    QVERIFY2(m_rec->nodes().first() == announced(profile), qPrintable(describeNode(m_rec->nodes().first())));

    Node edited = m_rec->nodes().first();
    edited.thresholds.humidityLow = 15.0f;
    edited.thresholds.humidityHigh = 85.0f;
    m_link->updateNode(edited, Node::FlagHumidity);
    QTRY_VERIFY_WITH_TIMEOUT(m_rec->count("result") == 1, kConnectWaitMs);
    QCOMPARE(m_rec->results(), QVector<CommandResult>{CommandResult::Done});
    QCOMPARE(m_sim->profile().humidityHigh, 85);

    m_link->sleepNode();
    QTRY_VERIFY_WITH_TIMEOUT(m_rec->count("nodeSleeping") == 1, kShortWaitMs);
    QCOMPARE(m_rec->events(), (QStringList{"opened", "busy(true)", "nodeConnected", "result", "nodeSleeping"}));
}

QTEST_GUILESS_MAIN(TestFaultMatrix)
#include "tst_faultmatrix.moc"
