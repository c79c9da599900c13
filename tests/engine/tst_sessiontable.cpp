// Walks the commissioning session's transition table: every state it can be in, every event it can receive
// there, on a scripted link and a server session whose answers the test gives. For each pair the test states
// on its own where the session must go and what it must ask of the link, and checks that the session's
// published table agrees on which pairs are ignored.
#include "commissioningprofile.h"
#include "commissioningsession.h"
#include "nodebuilders.h"
#include "scriptedlink.h"
#include "testserverprocess.h"

#include <QFile>
#include <QMetaEnum>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <set>

using Session = CommissioningSession;
using S = Session::State;
using E = Session::Event;

namespace {
constexpr int kServerWaitMs = 20000;

// What an event in a state must lead to: a state (or none: unchanged) and the link's requests, in order.
struct Outcome
{
    std::optional<S> next;
    QStringList requests;
};

const QString kUpdate = QStringLiteral("updateNode");
const QString kReset = QStringLiteral("resetNode");

bool among(S state, std::initializer_list<S> states)
{
    return std::find(states.begin(), states.end(), state) != states.end();
}

// States reached with the server's login held (a node was shown).
bool loggedInContext(S state)
{
    return among(state,
        {S::NodeShown, S::Writing, S::Registering, S::UpdateSucceeded, S::ApplyFailed, S::ApplyTimedOut,
            S::NodeSleeping, S::FirmwareTooOld, S::NotConfigured});
}

// The behaviour, stated independently of the session's table. Pairs not named here are ignored.
Outcome expected(S state, E event)
{
    const bool login = among(state, {S::LoginNeeded, S::LoggingIn});
    const bool leaving = among(state, {S::NodeShown, S::Writing}); // Register and Activate are open
    switch (event) {
    case E::ChoosePort:
        return {login ? std::nullopt : std::optional<S>(S::WaitingForNode), {QStringLiteral("connectSerialPort")}};
    case E::PortOpened:
        return {among(state, {S::PortUnavailable, S::PortReturnAwaited}) ? std::optional<S>(S::WaitingForNode)
                                                                         : std::nullopt,
            {}};
    case E::PortFailed:
        return {S::PortUnavailable, {}};
    case E::PortLost:
        // A port that is not open (it could not be opened) cannot go away; a login is settled first.
        return {
            login || among(state, {S::PortUnavailable}) ? std::nullopt : std::optional<S>(S::PortReturnAwaited), {}};
    case E::PortBack:
        return {std::nullopt, {QStringLiteral("connectSerialPort")}};
    case E::Boot:
        return {login ? std::nullopt : std::optional<S>(S::Reading), {}};
    case E::ReadEnded:
        return {state == S::Reading ? std::optional<S>(S::WaitingForNode) : std::nullopt, {}};
    case E::NodeRead:
        if (login)
            return {};
        if (state == S::FirmwareTooOld)
            return {S::FirmwareTooOld, {}}; // the profile sets this node aside as well
        if (state == S::LoginFailed)
            return {S::LoggingIn, {}}; // the credentials typed before are sent for it
        return {loggedInContext(state) ? S::NodeShown : S::LoginNeeded, {}};
    case E::ReadTimedOut:
        return {login ? std::nullopt : std::optional<S>(S::ConnectTimedOut), {}};
    case E::KeyMismatch:
        return {S::KeyMismatch, {}};
    case E::Credentials:
        return {state == S::LoginNeeded ? std::optional<S>(S::LoggingIn) : std::nullopt, {}};
    case E::LoginCancelled:
        return {state == S::LoginNeeded ? std::optional<S>(S::WaitingForNode) : std::nullopt, {}};
    case E::LoginStarted:
        return {state == S::LoginNeeded ? std::optional<S>(S::LoggingIn) : std::nullopt, {}};
    case E::LoginGranted:
        return {state == S::LoggingIn ? std::optional<S>(S::NodeShown) : std::nullopt, {}};
    case E::LoginRefused:
        return {state == S::LoggingIn ? std::optional<S>(S::WaitingForNode) : std::nullopt, {}};
    case E::LoginFailed:
        return {state == S::LoggingIn ? std::optional<S>(S::LoginFailed) : std::nullopt, {}};
    case E::RetryLogin:
        if (state == S::LoginFailed)
            return {S::LoggingIn, {}}; // the credentials typed before are sent again
        if (login || loggedInContext(state))
            return {};
        return {S::LoginNeeded, {}};
    case E::ProfileChanged:
        return {};
    case E::Apply:
        return {state == S::NodeShown ? std::optional<S>(S::Writing) : std::nullopt, {kUpdate}};
    case E::WriteDone:
        return {S::UpdateSucceeded, {kReset}};
    case E::WriteFailed:
        return {S::ApplyFailed, {}};
    case E::WriteTimedOut:
        return {S::ApplyTimedOut, {}};
    case E::WriteResultUnknown:
        return {S::WaitingForNode, {}};
    case E::Register:
        return {leaving ? std::optional<S>(S::Registering) : std::nullopt, {}};
    case E::RegistrationEnded:
        return {S::NodeShown, {}};
    case E::Activate:
        return {}; // an unregistered node: the operator is asked first
    case E::SleepConfirmed:
        return {std::nullopt, leaving ? QStringList{QStringLiteral("sleepNode")} : QStringList()};
    case E::Sleeping:
        return {S::NodeSleeping, {}};
    case E::Reset:
        return {S::WaitingForNode, {QStringLiteral("disconnectNode"), kReset}};
    case E::Disconnect:
        return {S::WaitingForNode, {QStringLiteral("closeSerialPort")}};
    case E::BootGraceOver:
        // Only while nothing is read on the open port; see returnedPortIsResetUnlessItsNodeBoots.
        return {std::nullopt, state == S::WaitingForNode ? QStringList{kReset} : QStringList()};
    case E::LoginAsked:
    case E::LoginImpossible:
    case E::Proceed: // without a profile that runs the station, nothing
        break;
    }
    return {};
}

// Events that arise only in some states: a watch for a returned port, an open registration, a returned port's
// grace, or only as the consequence of another event (a login asked for).
bool canArise(S state, E event)
{
    switch (event) {
    case E::PortBack:
        return state == S::PortReturnAwaited;
    case E::RegistrationEnded:
        return state == S::Registering;
    case E::BootGraceOver:
        return false; // see returnedPortIsResetUnlessItsNodeBoots
    case E::LoginAsked:
    case E::LoginImpossible:
        return false; // consequences of NodeRead, Register, RetryLogin
    case E::Proceed:
        return false; // a consequence of the transitions of a station run by its profile
    default:
        return true;
    }
}

std::shared_ptr<const CommissioningProfile> profileFrom(const QByteArray &json)
{
    QString error;
    const auto profile = CommissioningProfile::fromJson(json, QStringLiteral("profile.json"), &error);
    if (!profile)
        qWarning() << error;
    return profile ? std::make_shared<const CommissioningProfile>(*profile) : nullptr;
}

template <typename Enum> QByteArray nameOf(Enum value)
{
    return QMetaEnum::fromType<Enum>().valueToKey(int(value));
}
} // namespace

class SessionTableTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void everyPairIsWalked_data();
    void everyPairIsWalked();
    void tableNamesEveryEventAndState();
    void returnedPortIsResetUnlessItsNodeBoots_data();
    void returnedPortIsResetUnlessItsNodeBoots();

private:
    bool reach(S state);
    void start(bool loggedIn);
    void trigger(E event);
    bool bootLoggedIn(const Node &node);

    TestServerProcess server;
    QTemporaryDir dir;
    std::unique_ptr<ServerSession> member; // logged in once, shared by the states reached with a login
    std::unique_ptr<ServerSession> anonymous;
    ServerSession *serverSession = nullptr;
    ScriptedLink *link = nullptr;
    std::unique_ptr<Session> session;
    QString port;
    Pacing pacing;
};

void SessionTableTest::initTestCase()
{
    QVERIFY(dir.isValid());
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    member = std::make_unique<ServerSession>(nullptr, nullptr);
    member->setServerAddress(server.baseUrl());
    member->setCredentials(QLatin1String(TestServerProcess::kUser), QLatin1String(TestServerProcess::kPassword));
    member->logIn();
    QTRY_VERIFY_WITH_TIMEOUT(member->isLoggedIn(), kServerWaitMs);
    // Time-outs and the port watch in milliseconds: the walk never waits for a real one.
    pacing.connectTimeoutMs = 60000; // fired by the test, never by the clock
    pacing.portWatchIntervalMs = 5;
    pacing.returnedPortBootGraceMs = 20;
    port = dir.filePath(QStringLiteral("ttyNODE"));
}

void SessionTableTest::cleanup()
{
    session.reset();
    anonymous.reset();
    QFile::remove(port);
}

void SessionTableTest::start(bool loggedIn)
{
    anonymous = std::make_unique<ServerSession>(nullptr, nullptr);
    anonymous->setServerAddress(server.baseUrl());
    serverSession = loggedIn ? member.get() : anonymous.get();
    link = new ScriptedLink;
    session = std::make_unique<Session>(link, serverSession, nullptr, pacing);
    session->choosePort(port);
    link->openLastPort();
}

bool SessionTableTest::bootLoggedIn(const Node &node)
{
    link->boot(node);
    return session->state() == S::NodeShown || session->state() == S::NotConfigured
        || session->state() == S::FirmwareTooOld;
}

// Drives a fresh session into the state by what the link and the operator do.
bool SessionTableTest::reach(S state)
{
    start(loggedInContext(state));
    const Node node = healthyNode(Node::LoRaOTAA);
    switch (state) {
    case S::WaitingForNode:
        break;
    case S::Reading:
        emit link->busy(true);
        break;
    case S::ConnectTimedOut:
        emit link->busy(true);
        session->connectTimedOut();
        break;
    case S::LoginNeeded:
        link->boot(node);
        break;
    case S::LoggingIn:
    case S::LoginFailed:
        link->boot(node);
        // The answer is never waited for: the session sees only what the test emits.
        session->submitCredentials(QLatin1String(TestServerProcess::kUser), QStringLiteral("never answered"));
        if (state == S::LoginFailed)
            emit serverSession->loginFinished(ServerSession::LoginOutcome::Unreachable, QStringLiteral("refused"));
        break;
    case S::NodeShown:
        bootLoggedIn(node);
        break;
    case S::Writing:
    case S::UpdateSucceeded:
    case S::ApplyFailed:
    case S::ApplyTimedOut:
        bootLoggedIn(node);
        session->applySettings(node, Node::FlagTemperature);
        if (state == S::UpdateSucceeded)
            link->finishSettingsWrite(CommandResult::Done, Node::FlagTemperature);
        else if (state == S::ApplyFailed)
            link->finishSettingsWrite(CommandResult::Failed, 0, CommandFailure::Refused);
        else if (state == S::ApplyTimedOut)
            link->finishSettingsWrite(CommandResult::TimedOut, 0);
        break;
    case S::Registering:
        bootLoggedIn(node);
        session->registerNode(QStringLiteral("Door 7"));
        break;
    case S::NodeSleeping:
        bootLoggedIn(node);
        emit link->nodeSleeping();
        break;
    case S::FirmwareTooOld:
        session->setProfile(profileFrom(
            R"({"format": 1, "name": "new firmware", "types": {"LoRa OTAA": {"minNodeVersion": "v99.0.0"}}})"));
        bootLoggedIn(node);
        break;
    case S::KeyMismatch:
        emit link->busy(true);
        emit link->nodeKeyMismatch();
        break;
    case S::NotConfigured:
        bootLoggedIn(healthyNode(Node::LoRaOTAA, {QStringLiteral("0000000000000000")}));
        break;
    case S::PortUnavailable:
        emit link->serialPortFailed(dir.filePath(QStringLiteral("ttyOTHER")), QStringLiteral("No such file"));
        break;
    case S::PortReturnAwaited:
        emit link->serialPortFailed(port, QStringLiteral("Input/output error"));
        break;
    }
    link->clearRequests();
    return session->state() == state;
}

void SessionTableTest::trigger(E event)
{
    const Node other = healthyNode(Node::LoRaOTAA, {QStringLiteral("70B3D57ED0000B02")});
    switch (event) {
    case E::ChoosePort:
        session->choosePort(dir.filePath(QStringLiteral("ttyOTHER")));
        break;
    case E::PortOpened:
        emit link->serialPortOpened(port);
        break;
    case E::PortFailed:
        emit link->serialPortFailed(dir.filePath(QStringLiteral("ttyOTHER")), QStringLiteral("No such file"));
        break;
    case E::PortLost:
        emit link->serialPortFailed(port, QStringLiteral("Input/output error"));
        break;
    case E::PortBack: {
        QFile file(port);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QTRY_VERIFY_WITH_TIMEOUT(!link->requests().isEmpty(), kServerWaitMs);
        break;
    }
    case E::Boot:
        emit link->busy(true);
        break;
    case E::ReadEnded:
        emit link->busy(false);
        break;
    case E::NodeRead:
        emit link->nodeConnected(other);
        break;
    case E::ReadTimedOut:
        session->connectTimedOut();
        break;
    case E::KeyMismatch:
        emit link->nodeKeyMismatch();
        break;
    case E::Credentials:
        session->submitCredentials(QLatin1String(TestServerProcess::kUser), QStringLiteral("never answered"));
        break;
    case E::LoginCancelled:
        session->cancelLogin();
        break;
    case E::LoginStarted:
        emit serverSession->loginStarted();
        break;
    case E::LoginGranted:
        emit serverSession->loginFinished(ServerSession::LoginOutcome::Granted, QString());
        break;
    case E::LoginRefused:
        emit serverSession->loginFinished(ServerSession::LoginOutcome::CredentialsRefused, QString());
        break;
    case E::LoginFailed:
        emit serverSession->loginFinished(ServerSession::LoginOutcome::Unreachable, QStringLiteral("refused"));
        break;
    case E::RetryLogin:
        session->retryLogin();
        break;
    case E::ProfileChanged:
        session->setProfile(profileFrom(R"({"format": 1, "name": "other", "types": {"SigFox": {"reportRate": 60}}})"));
        break;
    case E::Apply: {
        Node edited = healthyNode(Node::LoRaOTAA);
        edited.thresholds.temperatureHigh = 44;
        session->applySettings(edited, Node::FlagTemperature);
        break;
    }
    case E::WriteDone:
        emit link->nodeCommandResult(CommandResult::Done, CommandFailure::None);
        break;
    case E::WriteFailed:
        emit link->nodeCommandResult(CommandResult::Failed, CommandFailure::Refused);
        break;
    case E::WriteTimedOut:
        emit link->nodeCommandResult(CommandResult::TimedOut, CommandFailure::None);
        break;
    case E::WriteResultUnknown:
        emit link->nodeCommandResult(CommandResult(99), CommandFailure::None);
        break;
    case E::Register:
        session->registerNode(QStringLiteral("Door 8"));
        break;
    case E::RegistrationEnded:
        QTRY_VERIFY_WITH_TIMEOUT(session->state() != S::Registering, kServerWaitMs);
        break;
    case E::Activate:
        session->activate();
        break;
    case E::SleepConfirmed:
        session->answerQuestion(
            Session::Question::SleepUnregistered, Session::Action::Activate, Session::Answer::Proceed);
        break;
    case E::Sleeping:
        emit link->nodeSleeping();
        break;
    case E::Reset:
        session->resetNode();
        break;
    case E::Disconnect:
        session->disconnectNode();
        break;
    case E::BootGraceOver:
    case E::LoginAsked:
    case E::LoginImpossible:
    case E::Proceed:
        QFAIL("not triggered directly");
    }
}

void SessionTableTest::everyPairIsWalked_data()
{
    QTest::addColumn<S>("state");
    QTest::addColumn<E>("event");
    for (int state = 0; state < Session::kStateCount; ++state) {
        for (int event = 0; event < Session::kEventCount; ++event) {
            QTest::addRow("%s, %s", nameOf(S(state)).constData(), nameOf(E(event)).constData()) << S(state) << E(event);
        }
    }
}

void SessionTableTest::everyPairIsWalked()
{
    QFETCH(S, state);
    QFETCH(E, event);
    const QList<Session::Rule> rules = Session::transitionsFor(state, event);
    const Outcome outcome = expected(state, event);
    const bool ignored = !outcome.next && outcome.requests.isEmpty();
    // The published table agrees: a pair it has no row for is one the behaviour ignores.
    if (rules.isEmpty())
        QVERIFY2(ignored, "the table ignores a pair that must do something");
    if (!canArise(state, event))
        return;

    QVERIFY2(reach(state), nameOf(session->state()).constData());
    QSignalSpy changes(session.get(), &Session::stateChanged);
    trigger(event);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(session->state(), outcome.next.value_or(state));
    if (!outcome.next)
        QCOMPARE(changes.size(), 0);
    QCOMPARE(link->requestNames(), outcome.requests);
}

void SessionTableTest::tableNamesEveryEventAndState()
{
    const QList<Session::Rule> rules = Session::transitions();
    std::set<E> events;
    std::set<S> targets;
    for (const Session::Rule &rule : rules) {
        QVERIFY(!rule.from.isEmpty());
        events.insert(rule.event);
        if (rule.next == Session::Next::To)
            targets.insert(rule.to);
    }
    QCOMPARE(int(events.size()), Session::kEventCount);
    // Every state but those only a node's presentation leads to (set aside, shown) is a row's target.
    for (int state = 0; state < Session::kStateCount; ++state) {
        if (!among(S(state), {S::NotConfigured, S::FirmwareTooOld}))
            QVERIFY2(targets.count(S(state)) == 1, nameOf(S(state)).constData());
    }
    // Asking the table: in NodeShown, an announced node is presented when the login is held.
    const QList<Session::Rule> read = Session::transitionsFor(S::NodeShown, E::NodeRead);
    QCOMPARE(read.size(), 2);
    QCOMPARE(read.first().guard, QStringLiteral("loggedIn"));
    QCOMPARE(read.first().next, Session::Next::Verdict);
    QVERIFY(Session::transitionsFor(S::WaitingForNode, E::Credentials).isEmpty());
}

void SessionTableTest::returnedPortIsResetUnlessItsNodeBoots_data()
{
    QTest::addColumn<bool>("boots");
    QTest::newRow("no boot heard: reset") << false;
    QTest::newRow("its boot heard: left alone") << true;
}

void SessionTableTest::returnedPortIsResetUnlessItsNodeBoots()
{
    QFETCH(bool, boots);
    QVERIFY(reach(S::PortReturnAwaited));
    trigger(E::PortBack);
    QCOMPARE(link->requestNames(), QStringList{QStringLiteral("connectSerialPort")});
    emit link->serialPortOpened(port);
    QCOMPARE(session->state(), S::WaitingForNode);
    if (boots)
        emit link->busy(true);
    link->clearRequests();
    // The grace is 20 ms here: the reset follows it, or nothing does (given ten times the grace to show).
    if (!boots) {
        QTRY_COMPARE_WITH_TIMEOUT(link->requestNames(), QStringList{kReset}, kServerWaitMs);
        return;
    }
    QTest::qWait(pacing.returnedPortBootGraceMs * 10);
    QCOMPARE(link->requestNames(), QStringList());
}

QTEST_GUILESS_MAIN(SessionTableTest)
#include "tst_sessiontable.moc"
