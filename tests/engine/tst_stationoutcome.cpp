#include "commandexit.h"
#include "stationoutcome.h"

#include <QMetaEnum>
#include <QTest>

using State = CommissioningSession::State;
using Mood = StationOutcome::Mood;

class StationOutcomeTest : public QObject
{
    Q_OBJECT

private slots:
    void everyStateIsDescribedConsistently();
    void nodesEndTheirRunOnlyAsleepOrFailed();
};

void StationOutcomeTest::everyStateIsDescribedConsistently()
{
    // A state added to the session without a description would silently take the idle one.
    const QMetaEnum states = QMetaEnum::fromType<State>();
    for (int i = 0; i < states.keyCount(); ++i) {
        const auto state = State(states.value(i));
        const StationOutcome::Description &outcome = StationOutcome::of(state);
        QVERIFY2(outcome.state == state, states.key(i));
        // A failure ends the node's run, and only a failure has a reason or a failing exit code.
        QVERIFY2(!outcome.isFailure() || outcome.endsRun, states.key(i));
        QVERIFY2(outcome.isFailure() || outcome.reasonText().isEmpty(), states.key(i));
        QCOMPARE(outcome.exitCode(), outcome.isFailure() ? CommandExit::kFailed : CommandExit::kSuccess);
    }
}

void StationOutcomeTest::nodesEndTheirRunOnlyAsleepOrFailed()
{
    // A node written to restarts and is read again: its run goes on. One that sleeps is done.
    QVERIFY(!StationOutcome::of(State::UpdateSucceeded).endsRun);
    QVERIFY(!StationOutcome::of(State::PortReturnAwaited).endsRun);
    QVERIFY(StationOutcome::of(State::NodeSleeping).endsRun);
    QVERIFY(!StationOutcome::of(State::NodeSleeping).isFailure());
    QCOMPARE(StationOutcome::of(State::WaitingForNode).mood, Mood::Idle);
    // The command line names the refused node where it was read far enough to be named.
    QVERIFY(StationOutcome::of(State::NotConfigured).nodeNamed);
    QVERIFY(StationOutcome::of(State::FirmwareTooOld).nodeNamed);
    QVERIFY(!StationOutcome::of(State::ConnectTimedOut).nodeNamed);
    QVERIFY(!StationOutcome::of(State::KeyMismatch).nodeNamed);
}

QTEST_GUILESS_MAIN(StationOutcomeTest)
#include "tst_stationoutcome.moc"
