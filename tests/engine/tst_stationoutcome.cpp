#include "commandexit.h"
#include "stationoutcome.h"

#include <QMetaEnum>
#include <QTest>

using State = CommissioningSession::State;
using Mood = StationOutcome::Mood;

Q_DECLARE_METATYPE(StationOutcome::Mood)

class StationOutcomeTest : public QObject
{
    Q_OBJECT

private slots:
    void everyStateIsDescribed();
    void stateDescription_data();
    void stateDescription();
};

void StationOutcomeTest::everyStateIsDescribed()
{
    // A state added to the session without a description would fall back to the idle one unnoticed.
    const QMetaEnum states = QMetaEnum::fromType<State>();
    for (int i = 0; i < states.keyCount(); ++i) {
        const auto state = State(states.value(i));
        QVERIFY2(StationOutcome::of(state).state == state, states.key(i));
    }
}

void StationOutcomeTest::stateDescription_data()
{
    QTest::addColumn<State>("state");
    QTest::addColumn<Mood>("mood");
    QTest::addColumn<bool>("endsRun");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<bool>("nodeNamed");

    QTest::newRow("waiting") << State::WaitingForNode << Mood::Idle << false << "" << false;
    QTest::newRow("reading") << State::Reading << Mood::Busy << false << "" << false;
    QTest::newRow("port awaited") << State::PortReturnAwaited << Mood::Busy << false << "" << false;
    QTest::newRow("written: the node restarts") << State::UpdateSucceeded << Mood::Good << false << "" << true;
    QTest::newRow("asleep") << State::NodeSleeping << Mood::Good << true << "" << true;
    QTest::newRow("start-up timed out") << State::ConnectTimedOut << Mood::Bad << true
                                        << "the node's start-up read timed out" << false;
    QTest::newRow("not configured") << State::NotConfigured << Mood::Bad << true << "node not configured" << true;
    QTest::newRow("too old") << State::FirmwareTooOld << Mood::Bad << true << "firmware too old for the profile"
                             << true;
    QTest::newRow("other key") << State::KeyMismatch << Mood::Bad << true << "the node key does not match the tool's"
                               << false;
    // The reason depends on what was being done (a write, a sleep) or on the server's words.
    QTest::newRow("refused") << State::ApplyFailed << Mood::Bad << true << "" << true;
    QTest::newRow("unanswered") << State::ApplyTimedOut << Mood::Bad << true << "" << true;
    QTest::newRow("login failed") << State::LoginFailed << Mood::Bad << true << "" << true;
    QTest::newRow("port unavailable") << State::PortUnavailable << Mood::Bad << true << "" << false;
}

void StationOutcomeTest::stateDescription()
{
    QFETCH(State, state);
    QFETCH(Mood, mood);
    QFETCH(bool, endsRun);
    QFETCH(QString, reason);
    QFETCH(bool, nodeNamed);

    const StationOutcome::Description &outcome = StationOutcome::of(state);
    QCOMPARE(outcome.mood, mood);
    QCOMPARE(outcome.endsRun, endsRun);
    QCOMPARE(outcome.reasonText(), reason);
    QCOMPARE(outcome.nodeNamed, nodeNamed);
    const bool failure = mood == Mood::Bad;
    QCOMPARE(outcome.isFailure(), failure);
    QCOMPARE(outcome.exitCode(), failure ? CommandExit::kFailed : CommandExit::kSuccess);
}

QTEST_GUILESS_MAIN(StationOutcomeTest)
#include "tst_stationoutcome.moc"
