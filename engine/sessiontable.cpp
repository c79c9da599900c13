// The commissioning session's transition table, the dispatcher that follows it, and the guards and actions its
// rows name.
#include "commissioningsession.h"

#include "enginelog.h"
#include "nodelink.h"
#include "operatortext.h"

#include <QScopedValueRollback>

namespace {
const char kRegistrationTitle[] = QT_TRANSLATE_NOOP("CommissioningSession", "ORVA Node registration");
const char kRegistrationFailedTitle[] = QT_TRANSLATE_NOOP("CommissioningSession", "Node Registration");

using S = CommissioningSession::State;

constexpr quint32 bit(S state)
{
    return 1u << static_cast<int>(state);
}

template <typename... States> constexpr quint32 in(States... states)
{
    return (bit(states) | ...);
}

constexpr quint32 kAny = (1u << CommissioningSession::kStateCount) - 1;
constexpr quint32 kLogin = in(S::LoginNeeded, S::LoggingIn);
constexpr quint32 kLeaving = in(S::NodeShown, S::Writing); // where the node may be registered or put to sleep
} // namespace

// Shorthand for the rows: a guard or an action is named once and its name kept for the description.
#define ALWAYS nullptr, nullptr
#define IF(guard) #guard, &CommissioningSession::guard
#define NOTHING nullptr, nullptr
#define DO(action) #action, &CommissioningSession::action
#define TO(state) Next::To, S::state
#define STAY Next::Stay, S::WaitingForNode
#define VERDICT Next::Verdict, S::NodeShown
#define RESUME Next::Resume, S::WaitingForNode

// The first row that names the state and the event and whose guard holds is taken; none: the event is ignored.
const CommissioningSession::Transition CommissioningSession::kTable[] = {
    // The port.
    {kLogin, Event::ChoosePort, ALWAYS, STAY, DO(openChosenPort)},
    {kAny, Event::ChoosePort, ALWAYS, TO(WaitingForNode), DO(openChosenPort)},
    {in(S::PortUnavailable, S::PortReturnAwaited), Event::PortOpened, ALWAYS, TO(WaitingForNode), DO(takeOpenedPort)},
    {kAny, Event::PortOpened, ALWAYS, STAY, DO(takeOpenedPort)},
    {kAny, Event::PortFailed, ALWAYS, TO(PortUnavailable), DO(markPortUnavailable)},
    {kLogin, Event::PortLost, ALWAYS, STAY, DO(watchLostPort)}, // the login is settled first
    {kAny, Event::PortLost, ALWAYS, TO(PortReturnAwaited), DO(watchLostPort)},
    {kAny, Event::PortBack, ALWAYS, STAY, DO(reopenPort)},
    {bit(S::WaitingForNode), Event::BootGraceOver, IF(portOpen), STAY, DO(resetUnheardNode)},
    {kAny, Event::Disconnect, ALWAYS, TO(WaitingForNode), DO(letPortGo)},
    // Reading a node.
    {kLogin, Event::Boot, ALWAYS, STAY, DO(dropHeldAndStartReading)}, // the login goes on
    {bit(S::LoginFailed), Event::Boot, ALWAYS, TO(Reading), DO(dropHeldAndStartReading)},
    {kAny, Event::Boot, ALWAYS, TO(Reading), DO(startReading)},
    {bit(S::Reading), Event::ReadEnded, ALWAYS, TO(WaitingForNode), DO(endRead)},
    {kAny, Event::ReadEnded, ALWAYS, STAY, DO(endRead)},
    {kLogin, Event::ReadTimedOut, ALWAYS, STAY, DO(noteReadTimedOut)},
    {kAny, Event::ReadTimedOut, ALWAYS, TO(ConnectTimedOut), DO(endRead)},
    {kLogin, Event::NodeRead, ALWAYS, STAY, DO(holdRead)},
    {kAny, Event::NodeRead, IF(loggedIn), VERDICT, DO(presentRead)},
    {kAny, Event::NodeRead, ALWAYS, STAY, DO(holdReadAndLogIn)},
    {kAny, Event::KeyMismatch, ALWAYS, TO(KeyMismatch), DO(setAsideMismatch)},
    {bit(S::NodeShown), Event::ProfileChanged, IF(nodeShown), VERDICT, DO(representShown)},
    {kAny, Event::Reset, ALWAYS, TO(WaitingForNode), DO(resetAndRead)},
    // The login.
    {kAny, Event::LoginAsked, ALWAYS, TO(LoginNeeded), NOTHING},
    {kAny, Event::LoginStarted, IF(loginWanted), TO(LoggingIn), NOTHING},
    {bit(S::LoginNeeded), Event::Credentials, ALWAYS, STAY, DO(sendCredentials)},
    {bit(S::LoggingIn), Event::LoginGranted, IF(loginForRegistration), TO(Registering), DO(registerAfterGrant)},
    {bit(S::LoggingIn), Event::LoginGranted, IF(nodeHeldForLogin), VERDICT, DO(presentHeldAfterGrant)},
    {bit(S::LoggingIn), Event::LoginGranted, IF(loginWanted), RESUME, DO(grantLogin)},
    {bit(S::LoggingIn), Event::LoginRefused, IF(refusalAskedAgain), TO(LoginNeeded), DO(askAgain)},
    {bit(S::LoggingIn), Event::LoginRefused, IF(loginForRegistrationWithNodeShown), TO(NodeShown), DO(endLogin)},
    {bit(S::LoggingIn), Event::LoginRefused, IF(loginWanted), RESUME, DO(endLogin)},
    {bit(S::LoggingIn), Event::LoginFailed, IF(loginForRegistrationWithNodeShown), TO(NodeShown), DO(endLogin)},
    {bit(S::LoggingIn), Event::LoginFailed, IF(failureKeepsNode), TO(LoginFailed), DO(endLogin)},
    {bit(S::LoggingIn), Event::LoginFailed, IF(loginWanted), RESUME, DO(endLogin)},
    {bit(S::LoginNeeded), Event::LoginCancelled, IF(loginForRegistrationWithNodeShown), TO(NodeShown), DO(endLogin)},
    {bit(S::LoginNeeded), Event::LoginCancelled, ALWAYS, RESUME, DO(endLogin)},
    {kAny, Event::LoginImpossible, IF(loginForRegistrationWithNodeShown), TO(NodeShown), DO(endLogin)},
    {kAny, Event::LoginImpossible, ALWAYS, RESUME, DO(endLogin)},
    {bit(S::LoginFailed), Event::RetryLogin, IF(nodeHeld), STAY, DO(logInForHeld)},
    {kAny & ~kLogin, Event::RetryLogin, IF(standaloneLoginPossible), STAY, DO(logInStandalone)},
    // Writing.
    {bit(S::NodeShown), Event::Apply, IF(settingsSelected), TO(Writing), DO(write)},
    {kAny, Event::Apply, IF(settingsSelected), STAY, DO(write)},
    {kAny, Event::WriteDone, ALWAYS, TO(UpdateSucceeded), DO(endWriteAndReset)},
    {kAny, Event::WriteFailed, ALWAYS, TO(ApplyFailed), DO(endWrite)},
    {kAny, Event::WriteTimedOut, ALWAYS, TO(ApplyTimedOut), DO(endWrite)},
    {kAny, Event::WriteResultUnknown, ALWAYS, TO(WaitingForNode), DO(endWrite)},
    // Registering.
    {kLeaving, Event::Register, IF(registerAsksFirst), STAY, DO(askApplyFirstForRegister)},
    {kLeaving, Event::Register, IF(registerReady), TO(Registering), DO(registerNow)},
    {kLeaving, Event::Register, IF(canRegister), STAY, DO(registerAfterLogin)},
    {kAny, Event::RegistrationEnded, IF(nodeHeldAndLoggedIn), VERDICT, DO(reportAndPresentHeld)},
    {kAny, Event::RegistrationEnded, IF(nodeHeld), STAY, DO(reportAndLogInForHeld)},
    {bit(S::Registering), Event::RegistrationEnded, IF(nodeShown), TO(NodeShown), DO(reportRegistration)},
    {bit(S::Registering), Event::RegistrationEnded, ALWAYS, TO(WaitingForNode), DO(reportRegistration)},
    {kAny, Event::RegistrationEnded, ALWAYS, STAY, DO(reportRegistration)},
    // Putting the node to sleep.
    {kLeaving, Event::Activate, IF(activateAsksFirst), STAY, DO(askApplyFirstForActivate)},
    {kLeaving, Event::Activate, IF(activateAsksUnregistered), STAY, DO(askSleepUnregistered)},
    {kLeaving, Event::Activate, IF(canActivate), STAY, DO(sleep)},
    {kLeaving, Event::SleepConfirmed, IF(canActivate), STAY, DO(sleep)},
    {kAny, Event::Sleeping, IF(autoSleepAsked), TO(NodeSleeping), DO(recordSleepAndPass)},
    {kAny, Event::Sleeping, ALWAYS, TO(NodeSleeping), DO(recordSleep)},
    // Running by the profile: every transition that leaves a node on show is followed by its next step, taken
    // through the operator's own events; a step that failed ends the run there.
    {bit(S::NodeShown), Event::Proceed, IF(autoStopDue), STAY, DO(stopAutoRun)},
    {bit(S::NodeShown), Event::Proceed, IF(autoWriteDue), STAY, DO(applyByProfile)},
    {bit(S::NodeShown), Event::Proceed, IF(autoRegisterDue), STAY, DO(registerByProfile)},
    {bit(S::NodeShown), Event::Proceed, IF(autoSleepDue), STAY, DO(sleepByProfile)},
    {bit(S::NodeShown), Event::Proceed, IF(autoPassDue), STAY, DO(passAutoRun)},
};
const int CommissioningSession::kTableSize = int(sizeof(kTable) / sizeof(kTable[0]));

const CommissioningSession::Transition *CommissioningSession::rowFor(State state, Event event) const
{
    for (const Transition &row : kTable) {
        if (row.event == event && (row.from & bit(state)) && (!row.guard || (this->*row.guard)()))
            return &row;
    }
    return nullptr;
}

void CommissioningSession::fire(const Occurrence &occurrence)
{
    // An event an action causes (a login it asks for, the server saying the login started) waits until that
    // action and its state change are complete: each event meets the state the one before it left.
    queued.append(occurrence);
    if (dispatching)
        return;
    dispatching = true;
    while (!queued.isEmpty()) {
        now = queued.takeFirst();
        const Transition *row = rowFor(currentState, now.event);
        if (!row)
            continue;
        if (row->action)
            (this->*row->action)();
        switch (row->next) {
        case Next::To:
            setState(row->to);
            break;
        case Next::Stay:
            break;
        case Next::Verdict:
            setState(present(*std::exchange(candidate, std::nullopt)));
            break;
        case Next::Resume:
            setState(resumedState());
            break;
        }
        // A node on show in a station run by its profile is taken on by itself; the step's own events come
        // first, so the next one meets the state they left.
        if (now.event != Event::Proceed && currentState == State::NodeShown && run.outcome == AutoRun::Outcome::Running)
            queued.append(Occurrence{Event::Proceed});
    }
    dispatching = false;
}

CommissioningSession::Rule CommissioningSession::describe(const Transition &row)
{
    Rule rule;
    for (int state = 0; state < kStateCount; ++state) {
        if (row.from & (1u << state))
            rule.from << State(state);
    }
    rule.event = row.event;
    rule.guard = QString::fromLatin1(row.guardName);
    rule.next = row.next;
    rule.to = row.to;
    rule.action = QString::fromLatin1(row.actionName);
    return rule;
}

QList<CommissioningSession::Rule> CommissioningSession::transitions()
{
    QList<Rule> rules;
    for (const Transition &row : kTable)
        rules << describe(row);
    return rules;
}

QList<CommissioningSession::Rule> CommissioningSession::transitionsFor(State state, Event event)
{
    QList<Rule> rules;
    for (const Transition &row : kTable) {
        if (row.event == event && (row.from & bit(state))) {
            rules << describe(row);
            if (!row.guard)
                break; // rows below it are never reached
        }
    }
    return rules;
}

// ---- guards and actions of the transition table -----------------------------------------------------------

bool CommissioningSession::settingsSelected() const
{
    // The link writes only when one of the eight settings is selected, and answers only then.
    return now.flags & Node::FlagsWritable;
}

void CommissioningSession::openChosenPort()
{
    portWatch.stop();
    // Whatever was shown belongs to the device on the previous port.
    clearNode();
    login.dropHeld();
    lastWrite.reset();
    connectTimer.stop();
    read = ReadProgress::None;
    linkReportsStale = true;
    nodeLink->connectSerialPort(now.name);
}

void CommissioningSession::takeOpenedPort()
{
    // The link reports in order: whatever it says from here on comes from the port opened now.
    linkReportsStale = false;
    openPortName = now.name;
    portProblemText.clear();
    const bool returned = !portWatch.port().isEmpty() && portWatch.port() == now.name;
    portWatch.stop();
    // A node plugged in has mostly booted before its port could be opened, and its start-up went unheard: unless
    // it is heard starting soon, it is reset, as the refresh button would, so that it is read without a click.
    if (returned) {
        qCInfo(lcEngine).noquote() << QStringLiteral("CommissioningSession: %1 is back").arg(now.name);
        portWatch.startBootGrace();
    }
}

void CommissioningSession::markPortUnavailable()
{
    // Another program holding the port shows up as a failure to lock it.
    if (now.text.contains(QLatin1String("locking"), Qt::CaseInsensitive))
        portProblemText = now.name + tr(": port in use by another program");
    else
        portProblemText = now.name + QStringLiteral(": ") + now.text;
    clearNode();
    login.dropHeld();
}

void CommissioningSession::watchLostPort()
{
    records.nodeLeft(CommissioningJournal::kLeftPortLost);
    clearNode();
    login.dropHeld();
    connectTimer.stop();
    read = ReadProgress::None;
    portProblemText = now.name + QStringLiteral(": ") + now.text;
    portWatch.watch(now.name);
}

void CommissioningSession::reopenPort()
{
    portWatch.reopening();
    linkReportsStale = true;
    nodeLink->connectSerialPort(portWatch.port());
}

void CommissioningSession::resetUnheardNode()
{
    qCInfo(lcEngine).noquote()
        << QStringLiteral("CommissioningSession: no boot heard on %1; the node is reset").arg(openPortName);
    nodeLink->resetNode();
}

void CommissioningSession::startReading()
{
    read = ReadProgress::Reading;
    connectTimer.start(connectTimeoutMs);
    runWatch.stop(); // the node started: the connect time-out takes over
    clearNode();
}

void CommissioningSession::dropHeldAndStartReading()
{
    // The node held for the login is booting again: what was read of it is stale. A login under way goes on;
    // the node's new read is shown once it is held.
    startReading();
    login.dropHeld();
}

void CommissioningSession::endRead()
{
    read = ReadProgress::None;
}

void CommissioningSession::noteReadTimedOut()
{
    read = ReadProgress::TimedOut;
}

void CommissioningSession::takeRead()
{
    connectTimer.stop();
    read = ReadProgress::None;
    lastRead = now.node;
    qCDebug(lcEngine, "Node connected %d", static_cast<int>(now.node.firmwareType));
    records.nodeRead(openPortName, now.node);
}

void CommissioningSession::holdRead()
{
    takeRead();
    // Only the newest node is worth showing once the login is settled.
    login.hold(now.node);
}

void CommissioningSession::presentRead()
{
    takeRead();
    candidate = now.node;
}

void CommissioningSession::holdReadAndLogIn()
{
    holdRead();
    askLogin(LoginCoordinator::Purpose::ShowNode);
}

void CommissioningSession::setAsideMismatch()
{
    connectTimer.stop();
    read = ReadProgress::None;
    qCInfo(lcEngine).noquote() << "CommissioningSession: the node's identifiers do not decipher with this tool's key"
                               << "(fingerprint" << records.keyFingerprint() << ")";
    records.keyMismatch(openPortName);
    clearNode();
    login.dropHeld();
    lastWrite.reset();
}

void CommissioningSession::askLogin(LoginCoordinator::Purpose purpose)
{
    switch (login.need(purpose)) {
    case LoginCoordinator::Start::UnderWay:
        fire(Event::LoginStarted);
        break;
    case LoginCoordinator::Start::Requested:
        break; // the server said it started
    case LoginCoordinator::Start::Impossible:
        fire(Event::LoginImpossible);
        break;
    case LoginCoordinator::Start::Asked:
        fire(Event::LoginAsked);
        break;
    }
}

void CommissioningSession::sendCredentials()
{
    server->setCredentials(now.name, now.text);
    server->logIn();
}

void CommissioningSession::askAgain()
{
    login.askAgain(LoginCoordinator::describeFailure(now.outcome, now.detail));
}

void CommissioningSession::endLogin()
{
    LoginCoordinator::End end = LoginCoordinator::End::Failed;
    if (now.event == Event::LoginCancelled)
        end = LoginCoordinator::End::Cancelled;
    else if (now.event == Event::LoginImpossible)
        end = LoginCoordinator::End::NotConfigured;
    else if (now.event == Event::LoginRefused)
        end = LoginCoordinator::End::Refused;
    if (loginIsForRegistration())
        registerAllowed = shownNode.has_value();
    login.end(end, now.outcome, now.detail);
}

void CommissioningSession::grantLogin()
{
    login.granted();
}

void CommissioningSession::registerAfterGrant()
{
    login.granted();
    startRegistration();
}

void CommissioningSession::presentHeldAfterGrant()
{
    login.granted();
    candidate = login.takeHeld();
}

void CommissioningSession::logInForHeld()
{
    askLogin(LoginCoordinator::Purpose::ShowNode);
}

void CommissioningSession::logInStandalone()
{
    askLogin(LoginCoordinator::Purpose::Standalone);
}

void CommissioningSession::representShown()
{
    candidate = *shownNode;
    clearNode();
}

void CommissioningSession::write()
{
    records.writeAsked(SessionJournal::WriteKind::Settings, now.node, now.flags);
    acknowledgedFlags = 0;
    // Read back after the reset that follows a successful write, and compared with what went out.
    lastWrite = WrittenSettings{now.node, now.flags};
    describedIdentity = now.node.identity();
    describedText = OperatorText::cleaned(now.node.lockDescription);
    nodeLink->updateNode(now.node, now.flags);
}

void CommissioningSession::endWrite()
{
    if (run.outcome == AutoRun::Outcome::Running) {
        // The sleep command ends like a write.
        const bool sleeping = run.sleepAsked;
        if (now.event == Event::WriteFailed)
            failAutoRun(sleeping ? tr("The node refused to sleep") : tr("The node refused a setting"));
        else if (now.event == Event::WriteTimedOut)
            failAutoRun(sleeping ? tr("The node stopped answering the sleep command")
                                 : tr("The node stopped answering the write"));
        else
            failAutoRun(tr("The write ended without a known result"));
    }
    records.writeEnded(CommandResult(now.flags), now.failure);
    lastWrite.reset();
    // The write is over; nothing is dropped at the link, whose next exchange may already be the read of a node
    // that restarted meanwhile.
    clearNode();
}

void CommissioningSession::endWriteAndReset()
{
    records.writeEnded(CommandResult::Done, now.failure);
    clearNode();
    // The node takes its new settings only after a restart, which also reads it back.
    nodeLink->resetNode();
    if (run.outcome == AutoRun::Outcome::Running)
        watchRun(restartAfterWriteMs, tr("The node did not start again after its write"));
}

void CommissioningSession::askApplyFirstForRegister()
{
    // Nothing goes to the server before the operator has said what becomes of the edits.
    pendingDescription = now.name;
    emit questionAsked(Question::ApplyChangesFirst, Action::Register);
}

void CommissioningSession::prepareRegistration()
{
    registerAllowed = false;
    emit actionsChanged();
    // The node registered is the one shown, as it was read.
    registrationNode = *shownNode;
    registrationNode.lockDescription = OperatorText::cleaned(now.name);
    describedIdentity = registrationNode.identity();
    describedText = registrationNode.lockDescription;
}

void CommissioningSession::registerNow()
{
    prepareRegistration();
    startRegistration();
}

void CommissioningSession::registerAfterLogin()
{
    prepareRegistration();
    askLogin(LoginCoordinator::Purpose::Register);
}

void CommissioningSession::startRegistration()
{
    registrationTicket = server->registerNode(registrationNode);
}

void CommissioningSession::reportRegistration()
{
    report(now.report);
}

void CommissioningSession::reportAndPresentHeld()
{
    report(now.report);
    // A node announced while this registration's login was settled takes the screen now.
    candidate = login.takeHeld();
}

void CommissioningSession::reportAndLogInForHeld()
{
    report(now.report);
    askLogin(LoginCoordinator::Purpose::ShowNode);
}

void CommissioningSession::report(const ServerSession::RegistrationReport &report)
{
    registrationTicket = 0;
    emit registrationReported(report);
    const bool sameNodeShown = shownNode && shownNode->identity() == report.identity;
    if (report.accepted) {
        if (report.status == 200) {
            qCDebug(lcEngine, "MainWindow: Node registered");
            raise(Notice::Level::Information, tr(kRegistrationTitle), tr("Node added successfully"));
        } else {
            qCDebug(lcEngine, "MainWindow: Node updated");
            raise(Notice::Level::Information, tr(kRegistrationTitle), tr("Node Updated"));
        }
        if (sameNodeShown) {
            registrationDone = true;
            if (run.outcome == AutoRun::Outcome::Running) {
                AutoRun changed = run;
                changed.registered = true;
                setAutoRun(changed);
            }
        }
    } else {
        if (report.kept) {
            // Nothing is lost: the outbox sends it once the server takes it again.
            const QString answer = report.status == 0 ? tr("The server did not answer.")
                                                      : tr("The server answered %1.").arg(report.status);
            raise(Notice::Level::Information, tr(kRegistrationTitle), tr("The registration will be sent later"),
                answer + QLatin1Char(' ') + tr("The registration is kept and will be sent again by itself."));
        } else {
            const QString detail = report.refused
                ? tr("The server refused this registration; it is kept but not sent again.")
                : QString();
            raise(Notice::Level::Critical, tr(kRegistrationFailedTitle),
                tr("Registration failed :") + QString::number(report.status), detail);
        }
        if (sameNodeShown) {
            registerAllowed = true;
            // A registration waiting in the outbox will reach the server: the node may go to sleep.
            registrationWaiting = report.kept;
            if (run.outcome == AutoRun::Outcome::Running) {
                if (report.kept) {
                    AutoRun changed = run;
                    changed.registered = true;
                    setAutoRun(changed);
                } else {
                    failAutoRun(tr("Registration failed: ")
                        + (report.failure.isEmpty() ? QString::number(report.status) : report.failure));
                }
            }
        }
    }
    emit actionsChanged();
}

void CommissioningSession::askApplyFirstForActivate()
{
    emit questionAsked(Question::ApplyChangesFirst, Action::Activate);
}

void CommissioningSession::askSleepUnregistered()
{
    // A sleeping node cannot be reached any more: one that was never registered is asked about first.
    emit questionAsked(Question::SleepUnregistered, Action::Activate);
}

void CommissioningSession::sleep()
{
    nodeLink->sleepNode();
}

void CommissioningSession::recordSleep()
{
    // The node put to sleep is the one shown (or, if its form went meanwhile, the one read last).
    records.nodeSleeping(shownNode ? *shownNode : lastRead.value_or(Node()));
    // The sleep command is complete; nothing is dropped at the link, so a node that boots right after its
    // sleep confirmation is still read.
    clearNode();
}

void CommissioningSession::resetAndRead()
{
    records.nodeLeft(CommissioningJournal::kLeftReset);
    clearNode();
    // What the link is reading is dropped: the node is reset and read afresh.
    nodeLink->disconnectNode();
    nodeLink->resetNode();
}

void CommissioningSession::letPortGo()
{
    records.nodeLeft(CommissioningJournal::kLeftDisconnected);
    clearNode();
    login.dropHeld();
    connectTimer.stop();
    read = ReadProgress::None;
    // The port is let go as well, for good: a later choice of port, or the refresh, opens it again.
    portWatch.stop();
    linkReportsStale = true;
    nodeLink->closeSerialPort();
}

// ---- running by the profile --------------------------------------------------------------------------------

bool CommissioningSession::autoWriteDue() const
{
    return run.outcome == AutoRun::Outcome::Running && !run.writeAsked && !run.verified;
}

bool CommissioningSession::autoRegisterDue() const
{
    return run.outcome == AutoRun::Outcome::Running && activeProfile->automation().registerNode && run.verified
        && !run.registerAsked && canRegister();
}

bool CommissioningSession::autoSleepDue() const
{
    return run.outcome == AutoRun::Outcome::Running && activeProfile->automation().activate && run.registered
        && !run.sleepAsked && canActivate();
}

bool CommissioningSession::autoPassDue() const
{
    if (run.outcome != AutoRun::Outcome::Running || !run.verified)
        return false;
    const CommissioningProfile::Automation automation = activeProfile->automation();
    if (automation.activate)
        return false; // passed once the node confirms its sleep
    if (automation.registerNode)
        return run.registered;
    return !activeProfile->requireLabel() || run.labelled;
}

QString CommissioningSession::autoStopReason() const
{
    if (run.outcome != AutoRun::Outcome::Running || !shownNode)
        return QString();
    if (verification == Verification::Failed)
        return currentNote.text;
    if (label.outcome == LabelResult::Outcome::Mismatch)
        return tr("The label is not this node's: ") + label.text;
    if (label.outcome == LabelResult::Outcome::Unreadable)
        return tr("The label cannot be read: ") + label.text;
    if (run.writeAsked && !run.verified)
        return tr("The node does not match profile %1 after its write").arg(activeProfile->name());
    const CommissioningProfile::Automation automation = activeProfile->automation();
    if (automation.registerNode && run.registerAsked && !run.registered && registrationTicket == 0 && !login.isWanted()
        && !registrationCheckOut)
        return tr("Not registered: the login did not succeed");
    // A node that does not report cannot be registered; waiting for it would wait for ever.
    if (automation.registerNode && run.verified && !run.registerAsked && !registerAllowed && !registrationDone)
        return tr("Not registered: the node does not report");
    return QString();
}

void CommissioningSession::stopAutoRun()
{
    failAutoRun(autoStopReason());
}

void CommissioningSession::applyByProfile()
{
    AutoRun changed = run;
    changed.writeAsked = true;
    setAutoRun(changed);
    // As the form's Apply after the profile filled it in: the write's own events follow.
    const int flags = applyProfileDifferences();
    if (!(flags & Node::FlagsWritable))
        failAutoRun(tr("The node does not match profile %1 in what cannot be written").arg(activeProfile->name()));
}

void CommissioningSession::registerByProfile()
{
    AutoRun changed = run;
    changed.registerAsked = true;
    setAutoRun(changed);
    // Edits left in the form are not the profile's: the node is registered as read back.
    unappliedEdits = false;
    const QString description = describedIdentity == shownNode->identity() ? describedText : QString();
    if (!registrationCheck) {
        const QScopedValueRollback<bool> step(takingRunStep, true);
        registerNode(description);
        return;
    }
    registrationCheckOut = true;
    registrationCheck(*shownNode, [this, identity = shownNode->identity(), description](const QString &refusal) {
        registrationCheckOut = false;
        // The node may have gone, or the run ended, while the check was out.
        if (run.outcome != AutoRun::Outcome::Running || !shownNode || shownNode->identity() != identity)
            return;
        if (!refusal.isEmpty()) {
            failAutoRun(refusal);
            return;
        }
        const QScopedValueRollback<bool> step(takingRunStep, true);
        registerNode(description);
    });
}

void CommissioningSession::sleepByProfile()
{
    AutoRun changed = run;
    changed.sleepAsked = true;
    setAutoRun(changed);
    watchRun(sleepConfirmMs, tr("The node did not confirm its sleep"));
    unappliedEdits = false;
    const QScopedValueRollback<bool> step(takingRunStep, true);
    activate();
}

void CommissioningSession::passAutoRun()
{
    AutoRun changed = run;
    changed.outcome = AutoRun::Outcome::Passed;
    setAutoRun(changed);
}

void CommissioningSession::recordSleepAndPass()
{
    recordSleep();
    AutoRun changed = run;
    changed.asleep = true;
    changed.outcome = AutoRun::Outcome::Passed;
    setAutoRun(changed);
}

// ---- presenting a node -------------------------------------------------------------------------------------

CommissioningSession::State CommissioningSession::resumedState() const
{
    if (!portWatch.port().isEmpty())
        return State::PortReturnAwaited;
    if (read == ReadProgress::Reading)
        return State::Reading;
    return read == ReadProgress::TimedOut ? State::ConnectTimedOut : State::WaitingForNode;
}
