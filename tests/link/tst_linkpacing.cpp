#include "linkfixture.h"

#include <QTest>

namespace {
// The whole start-up read takes about 4 s; a loaded machine may need more.
constexpr int kConnectWaitMs = 20000;
constexpr int kShortWaitMs = 5000;
} // namespace

// The link's own pauses on the protocol's real pacing, measured where the simulated node receives the lines.
// Every other link test runs on a shortened pacing; these are the ones that tell whether the node gets its time.
class TestLinkPacing : public QObject
{
    Q_OBJECT

private slots:
    void readsArePacedAndEachAnswerIsLeftInThePort();
};

void TestLinkPacing::readsArePacedAndEachAnswerIsLeftInThePort()
{
    const Pacing pacing;
    LinkFixture fixture(SimNodeProfile(), pacing);
    QVERIFY2(fixture.open(kShortWaitMs), qPrintable(fixture.errorString()));
    NodeSimulator &node = fixture.simulator();
    node.boot();
    QTRY_VERIFY_WITH_TIMEOUT(fixture.count("nodeConnected") == 1, kConnectWaitMs);
    const QVector<NodeSimulator::LineEvent> sent = node.receivedLineEvents();
    QCOMPARE(sent.size(), 4);
    // The wake pause after the carriage return; the configuration answer held, then the pause before "th"; the
    // threshold answer held. The simulator answers at once, so the pauses alone set these gaps. It stamps a line
    // when its thread reads it, which on a busy machine can be a little later for one line than for the next:
    // each gap may fall short of its pause by a tenth. A missing pause leaves a gap of a few milliseconds.
    const qint64 expectedMs[]
        = {0, pacing.wakePauseMs, pacing.holdAfterReadMs + pacing.beforeRequestMs, pacing.holdAfterReadMs};
    for (int i = 1; i < sent.size(); ++i) {
        const qint64 gapMs = (sent.at(i).nsecs - sent.at(i - 1).nsecs) / 1000000;
        QVERIFY2(gapMs >= expectedMs[i] - expectedMs[i] / 10,
            qPrintable(QStringLiteral("gap %1 before \"%2\": %3 ms, expected %4 ms")
                           .arg(i)
                           .arg(sent.at(i).line)
                           .arg(gapMs)
                           .arg(expectedMs[i])));
    }
}

QTEST_GUILESS_MAIN(TestLinkPacing)
#include "tst_linkpacing.moc"
