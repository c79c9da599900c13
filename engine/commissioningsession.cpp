#include "commissioningsession.h"

#include "commandresult.h"
#include "enginelog.h"
#include "labelcode.h"
#include "nodelink.h"
#include "operatortext.h"
#include "profilecomparison.h"
#include "writeverification.h"

namespace {
const char kVerifiedText[] = QT_TRANSLATE_NOOP("CommissioningSession", "Verified");
} // namespace

CommissioningSession::CommissioningSession(
    NodeLink *link, ServerSession *server, CommissioningJournal *journal, const Pacing &pacing, QObject *parent)
    : QObject(parent)
    , server(server)
    , records(journal)
    , login(server)
    , nodeLink(link)
    , connectTimeoutMs(pacing.connectTimeoutMs)
    , restartAfterWriteMs(pacing.restartAfterWriteMs)
    , sleepConfirmMs(pacing.sleepConfirmMs)
    , portWatch(pacing)
{
    qRegisterMetaType<CommissioningSession::State>("CommissioningSession::State");
    qRegisterMetaType<CommissioningSession::Notice>("CommissioningSession::Notice");
    qRegisterMetaType<CommissioningSession::NodeNote>("CommissioningSession::NodeNote");
    qRegisterMetaType<CommissioningSession::LabelResult>("CommissioningSession::LabelResult");
    qRegisterMetaType<CommissioningSession::AutoRun>("CommissioningSession::AutoRun");
    qRegisterMetaType<CommissioningSession::Question>("CommissioningSession::Question");
    qRegisterMetaType<CommissioningSession::Action>("CommissioningSession::Action");
    qRegisterMetaType<CommissioningSession::Answer>("CommissioningSession::Answer");
    qRegisterMetaType<Node::eFirmwareType>("Node::eFirmwareType");

    connect(&records, &SessionJournal::recordingFailed, this, &CommissioningSession::recordingFailed);
    connect(&login, &LoginCoordinator::notice, this,
        [this](bool critical, const QString &title, const QString &text, const QString &detail) {
            raise(critical ? Notice::Level::Critical : Notice::Level::Information, title, text, detail);
        });

    // A coarse timer may fire up to 5 % early, which would give up on a node that is still within its time.
    connectTimer.setTimerType(Qt::PreciseTimer);
    connectTimer.setSingleShot(true);
    connect(&connectTimer, &QTimer::timeout, this, &CommissioningSession::connectTimedOut);
    runWatch.setSingleShot(true);
    connect(&runWatch, &QTimer::timeout, this, [this] { failAutoRun(runWatchReason); });

    connect(server, &ServerSession::loginStarted, this, &CommissioningSession::loginStarted);
    connect(server, &ServerSession::loginFinished, this, &CommissioningSession::loginFinished);
    connect(server, &ServerSession::registrationFinished, this, &CommissioningSession::registrationFinished);

    nodeLink->setParent(this);
    // What the link read from a port the operator has since closed or replaced is not shown: a boot heard on a
    // closed port could only end in a connect time-out telling the operator to reset a node the tool no longer
    // listens to, and a node read on the old port is not the one on the new.
    connect(nodeLink, &NodeLink::busy, this, [this](bool busy) {
        if (!linkReportsStale)
            linkBusy(busy);
    });
    connect(nodeLink, &NodeLink::nodeConnected, this, [this](const Node &node) {
        if (!linkReportsStale)
            nodeConnected(node);
    });
    connect(nodeLink, &NodeLink::settingsAcknowledged, this, [this](int flags) { acknowledgedFlags = flags; });
    connect(nodeLink, &NodeLink::nodeCommandResult, this, &CommissioningSession::commandResult);
    connect(nodeLink, &NodeLink::nodeSleeping, this, &CommissioningSession::nodeSleeping);
    connect(nodeLink, &NodeLink::configureID, this, &CommissioningSession::identityRequested);
    connect(nodeLink, &NodeLink::nodeKeyMismatch, this, &CommissioningSession::nodeKeyMismatch);
    connect(nodeLink, &NodeLink::serialPortOpened, this, &CommissioningSession::linkPortOpened);
    connect(nodeLink, &NodeLink::serialPortFailed, this, &CommissioningSession::linkPortFailed);
    connect(&portWatch, &PortWatch::back, this, [this] { fire(Event::PortBack); });
    connect(&portWatch, &PortWatch::bootGraceOver, this, [this] { fire(Event::BootGraceOver); });
}

CommissioningSession::~CommissioningSession()
{
    // The link goes first: a real link's thread may still be finishing a pass, and nothing it reports may reach
    // a half-destroyed session.
    delete nodeLink;
    nodeLink = nullptr;
}

bool CommissioningSession::canRegister() const
{
    return shownNode && registerAllowed && nodeMayLeave();
}

bool CommissioningSession::canActivate() const
{
    return shownNode && activateAllowed && nodeMayLeave();
}

bool CommissioningSession::nodeMayLeave() const
{
    // A node whose write did not read back as written, or whose label is not its own, is not registered or put
    // to sleep; a profile may insist on a matching label first.
    if (verification == Verification::Failed)
        return false;
    if (label.outcome == LabelResult::Outcome::Mismatch || label.outcome == LabelResult::Outcome::Unreadable)
        return false;
    if (activeProfile && activeProfile->requireLabel() && label.outcome != LabelResult::Outcome::Matches)
        return false;
    return currentState == State::NodeShown || currentState == State::Writing;
}

void CommissioningSession::setProfile(std::shared_ptr<const CommissioningProfile> profile)
{
    if (profile == activeProfile)
        return;
    // A node in a run by the old profile is not finished by another.
    failAutoRun(tr("The profile changed before the node was done"));
    activeProfile = std::move(profile);
    records.setProfile(
        activeProfile ? activeProfile->name() : QString(), activeProfile ? activeProfile->sha256() : QString());
    // The node on show is checked against the profile now in force, as if it had just been read.
    fire(Event::ProfileChanged);
}

// ---- operator actions and what the link and the server report: each is an event ---------------------------

void CommissioningSession::choosePort(const QString &portName)
{
    fire({Event::ChoosePort, portName});
}

void CommissioningSession::submitCredentials(const QString &name, const QString &password)
{
    fire({Event::Credentials, name, password});
}

void CommissioningSession::cancelLogin()
{
    if (currentState == State::LoginNeeded)
        qCDebug(lcEngine, "login abborted");
    fire(Event::LoginCancelled);
}

void CommissioningSession::applySettings(Node node, int flags)
{
    Occurrence occurrence{Event::Apply};
    occurrence.node = node;
    occurrence.flags = flags;
    fire(occurrence);
}

void CommissioningSession::registerNode(const QString &lockDescription)
{
    if (runsByItself() && !takingRunStep) {
        qCInfo(lcEngine) << "CommissioningSession: Register left to the run by the profile";
        return;
    }
    fire({Event::Register, lockDescription});
}

void CommissioningSession::activate()
{
    if (runsByItself() && !takingRunStep) {
        qCInfo(lcEngine) << "CommissioningSession: Activate left to the run by the profile";
        return;
    }
    fire(Event::Activate);
}

void CommissioningSession::setUnappliedEdits(bool unapplied)
{
    unappliedEdits = unapplied;
}

void CommissioningSession::answerQuestion(Question question, Action action, Answer answer)
{
    if (!shownNode || answer == Answer::Cancel)
        return;
    if (question == Question::ApplyChangesFirst) {
        if (answer == Answer::Apply) {
            emit applyRequested();
            return;
        }
        // Discarded: the action goes ahead with the node as it was read.
        unappliedEdits = false;
        if (action == Action::Register)
            registerNode(pendingDescription);
        else
            activate();
        return;
    }
    if (question == Question::SleepUnregistered && answer == Answer::Proceed)
        fire(Event::SleepConfirmed);
}

void CommissioningSession::checkLabel(const QString &text)
{
    if (!shownNode) {
        // Scanned while the node restarts after the run's write: checked once it is read back.
        if (run.outcome == AutoRun::Outcome::Running && run.writeAsked && !run.verified)
            scannedLabel = text;
        return;
    }
    LabelResult result;
    if (!text.trimmed().isEmpty()) {
        const LabelCode code = LabelCode::parse(text);
        if (!code.isValid()) {
            result = {LabelResult::Outcome::Unreadable, code.errorText()};
        } else {
            const ProfileEntry *entry = activeProfile ? activeProfile->entryFor(*shownNode) : nullptr;
            const LabelMatch match = code.match(*shownNode, entry ? entry->labelProfileId : QString());
            result = {match.matches ? LabelResult::Outcome::Matches : LabelResult::Outcome::Mismatch, match.text};
            records.labelChecked(*shownNode, code, match.matches);
        }
    }
    // A text that is no label holds the node like a label of another: what was scanned is not known to be
    // this node's.
    label = result;
    scannedLabel = text;
    emit labelChecked(result);
    emit actionsChanged();
    if (run.outcome == AutoRun::Outcome::Running) {
        AutoRun changed = run;
        changed.labelled = result.outcome == LabelResult::Outcome::Matches;
        setAutoRun(changed);
        // The scan may be what the run waited for, or what stops it.
        fire(Event::Proceed);
    }
}

int CommissioningSession::applyProfileDifferences()
{
    if (!shownNode || !activeProfile || !(currentState == State::NodeShown))
        return 0;
    const ProfileEntry *entry = activeProfile->entryFor(*shownNode);
    if (!entry)
        return 0;
    const ProfileComparison comparison(*shownNode, *entry);
    if (comparison.matches())
        return 0;
    Node toWrite = comparison.nodeToWrite();
    toWrite.lockDescription = describedIdentity == shownNode->identity() ? describedText : QString();
    applySettings(toWrite, comparison.flags());
    return comparison.flags();
}

void CommissioningSession::retryLogin()
{
    fire(Event::RetryLogin);
}

void CommissioningSession::disconnectNode()
{
    fire(Event::Disconnect);
}

void CommissioningSession::resetNode()
{
    fire(Event::Reset);
}

void CommissioningSession::allowRegisterAndActivate(bool allowed)
{
    if (!shownNode)
        return;
    registerAllowed = allowed && !registrationDone;
    activateAllowed = allowed;
    emit actionsChanged();
}

// The configure path is no transition: its requests go to the link in any state, and each write is journalled
// for the node read last.
void CommissioningSession::readVersion()
{
    nodeLink->readVersion();
}

void CommissioningSession::setDeviceId(const QString &id)
{
    records.writeAsked(SessionJournal::WriteKind::DeviceId, lastRead.value_or(Node()));
    nodeLink->setDeviceId(id);
}

void CommissioningSession::setSigfoxData(const QString &data)
{
    records.writeAsked(SessionJournal::WriteKind::SigfoxData, lastRead.value_or(Node()));
    nodeLink->setSigfoxData(data);
}

void CommissioningSession::linkBusy(bool busy)
{
    fire(busy ? Event::Boot : Event::ReadEnded);
}

void CommissioningSession::nodeConnected(Node node)
{
    Occurrence occurrence{Event::NodeRead};
    occurrence.node = node;
    fire(occurrence);
}

void CommissioningSession::commandResult(CommandResult result, CommandFailure failure)
{
    Occurrence occurrence{Event::WriteResultUnknown};
    occurrence.failure = failure;
    occurrence.flags = int(result);
    if (result == CommandResult::Done)
        occurrence.event = Event::WriteDone;
    else if (result == CommandResult::Failed)
        occurrence.event = Event::WriteFailed;
    else if (result == CommandResult::TimedOut)
        occurrence.event = Event::WriteTimedOut;
    fire(occurrence);
}

void CommissioningSession::nodeSleeping()
{
    fire(Event::Sleeping);
}

void CommissioningSession::nodeKeyMismatch()
{
    fire(Event::KeyMismatch);
}

void CommissioningSession::connectTimedOut()
{
    fire(Event::ReadTimedOut);
}

void CommissioningSession::loginStarted()
{
    fire(Event::LoginStarted);
}

void CommissioningSession::loginFinished(ServerSession::LoginOutcome outcome, const QString &detail)
{
    Occurrence occurrence{Event::LoginFailed};
    if (outcome == ServerSession::LoginOutcome::Granted)
        occurrence.event = Event::LoginGranted;
    else if (outcome == ServerSession::LoginOutcome::CredentialsRefused)
        occurrence.event = Event::LoginRefused;
    occurrence.outcome = outcome;
    occurrence.detail = detail;
    fire(occurrence);
}

void CommissioningSession::registrationFinished(const ServerSession::RegistrationReport &report)
{
    if (report.ticket != registrationTicket)
        return; // another port's
    Occurrence occurrence{Event::RegistrationEnded};
    occurrence.report = report;
    fire(occurrence);
}

void CommissioningSession::linkPortOpened(const QString &name)
{
    fire({Event::PortOpened, name});
    emit portOpened(name);
}

void CommissioningSession::linkPortFailed(const QString &name, const QString &reason)
{
    // The open port failing means its device went away (a node on a USB adapter unplugged); a reopen of the
    // watched port that fails means it is not usable yet. Either way the port is watched for until it is back.
    // A port the operator has since let go or replaced is not watched for.
    const bool wentAway = watchesReturningPort && !name.isEmpty()
        && (name == portWatch.port() || (name == openPortName && !linkReportsStale));
    openPortName.clear();
    const Occurrence occurrence{wentAway ? Event::PortLost : Event::PortFailed, name, reason};
    if (wentAway) {
        fire(occurrence);
        emit portFailed(name, reason);
        return;
    }
    emit portFailed(name, reason);
    // With no port listed the link is given no name; there is nothing to report.
    if (!name.isEmpty())
        fire(occurrence);
}

bool CommissioningSession::portPresent(const QString &portName)
{
    return PortWatch::present(portName);
}

CommissioningSession::State CommissioningSession::present(const Node &node)
{
    if (!Node::isKnownType(node.firmwareType)) {
        // No form for this node; a form already on show stays as it is.
        records.notConfigured(node, CommissioningJournal::kReasonUnknownType);
        return State::NotConfigured;
    }
    if (node.hasBlankIdentity()) {
        // A node that was never given an identity (all zeros or all F) would be registered under an identifier
        // every other such node shares: it gets no form, and nothing is written, registered or put to sleep.
        qCInfo(lcEngine).noquote() << "CommissioningSession: node identity" << node.identity()
                                   << "is blank - not configured";
        records.notConfigured(node, CommissioningJournal::kReasonNoIdentity);
        clearNode();
        lastWrite.reset();
        verification = Verification::None;
        return State::NotConfigured;
    }
    Node shown = node;
    // The description typed for this node survives its reset; another node starts without one.
    if (node.identity() == describedIdentity) {
        shown.lockDescription = describedText;
    } else {
        describedIdentity.clear();
        describedText.clear();
    }

    const ProfileEntry *entry = activeProfile ? activeProfile->entryFor(node) : nullptr;
    if (entry && entry->firmwareTooOld(node)) {
        qCInfo(lcEngine).noquote() << "CommissioningSession: firmware" << node.nodeVersion << "is older than"
                                   << entry->minNodeVersion << "- node set aside";
        // The operator sees which versions were compared, so that a node is not set aside on a wrong profile.
        records.firmwareTooOld(node, entry->minNodeVersion);
        lastWrite.reset();
        verification = Verification::None;
        setNote(NodeNote::Tone::Bad,
            tr("Firmware %1 is older than %2, the oldest profile %3 accepts")
                .arg(node.nodeVersion, entry->minNodeVersion, activeProfile->name()));
        if (runsByProfile(node)) {
            setAutoRun(startedRun(true));
            failAutoRun(currentNote.text);
        }
        return State::FirmwareTooOld;
    }

    verifyAgainstLastWrite(node);
    // A node read afresh starts its run; the read back after the run's own write goes on with it.
    AutoRun nextRun = run;
    const bool readBackOfRun
        = !(verification == Verification::None || !run.writeAsked || run.outcome != AutoRun::Outcome::Running);
    if (!readBackOfRun) {
        nextRun = startedRun(runsByProfile(node));
        registrationCheckOut = false;
    } else
        nextRun.labelled = false; // checked again below, against the node as written
    currentPreset = FormPreset();
    if (entry) {
        const ProfileComparison comparison(shown, *entry);
        QList<CommissioningJournal::ProfileDifference> differences;
        for (const ProfileComparison::Difference &difference : comparison.differences())
            differences.append({difference.field, difference.profileText, difference.nodeText});
        records.profileCompared(node, differences);
        if (!comparison.matches()) {
            const QString description = shown.lockDescription;
            shown = comparison.nodeToShow();
            shown.lockDescription = description;
            currentPreset.flags = comparison.flags();
            for (const ProfileComparison::Difference &difference : comparison.differences()) {
                currentPreset.tooltips.insert(
                    difference.flag, tr("profile: ") + difference.profileText + tr(", node: ") + difference.nodeText);
            }
        }
        if (activeProfile->locked())
            currentPreset.lockedFlags = entry->settingFlags();
        if (nextRun.outcome == AutoRun::Outcome::Running) {
            nextRun.written = nextRun.writeAsked && verification == Verification::Verified;
            nextRun.verified = verification != Verification::Failed && comparison.matches();
        }
        if (verification == Verification::None) {
            if (comparison.matches())
                setNote(NodeNote::Tone::Good, tr("Matches profile ") + activeProfile->name());
            else
                setNote(NodeNote::Tone::Neutral,
                    tr("Profile ") + activeProfile->name() + tr(": the differences are filled in, Apply writes them"));
        }
    } else if (verification == Verification::None) {
        setNote(NodeNote::Tone::Neutral, QString());
    }

    shownNode = node;
    registrationDone = false;
    registrationWaiting = false;
    unappliedEdits = false;
    label = LabelResult();
    const bool reporting = node.reportRate != 0;
    registerAllowed = reporting;
    activateAllowed = reporting;
    emit formRequested(shown);
    runWatch.stop();
    setAutoRun(nextRun);
    if (readBackOfRun && !scannedLabel.isEmpty()) {
        // Once the node is on show again, what was scanned during the write is checked against it.
        const QString text = scannedLabel;
        QTimer::singleShot(0, this, [this, text, identity = node.identity()] {
            if (shownNode && shownNode->identity() == identity && label.outcome == LabelResult::Outcome::None)
                checkLabel(text);
        });
    } else {
        scannedLabel.clear();
    }
    return State::NodeShown;
}

void CommissioningSession::verifyAgainstLastWrite(const Node &node)
{
    if (!lastWrite || lastWrite->node.identity() != node.identity()) {
        lastWrite.reset();
        verification = Verification::None;
        return;
    }
    const WrittenSettings write = *std::exchange(lastWrite, std::nullopt);
    const QList<WriteVerification::Mismatch> mismatches = WriteVerification::compare(write.node, write.flags, node);
    records.verified(node, mismatches);
    if (mismatches.isEmpty()) {
        verification = Verification::Verified;
        setNote(NodeNote::Tone::Good, tr(kVerifiedText));
        return;
    }
    verification = Verification::Failed;
    const QString described = WriteVerification::describe(mismatches);
    qCInfo(lcEngine).noquote() << "CommissioningSession:" << QStringLiteral("Not as written: ") + described;
    setNote(NodeNote::Tone::Bad, tr("Not as written: ") + WriteVerification::describeForOperator(mismatches));
}

CommissioningSession::AutoRun CommissioningSession::startedRun(bool on)
{
    AutoRun started;
    started.outcome = on ? AutoRun::Outcome::Running : AutoRun::Outcome::Off;
    return started;
}

bool CommissioningSession::runsByProfile(const Node &node) const
{
    // A type the profile leaves out is commissioned by hand.
    return followsAutomation && activeProfile && activeProfile->automation().apply && activeProfile->entryFor(node);
}

void CommissioningSession::failAutoRun(const QString &reason)
{
    if (run.outcome != AutoRun::Outcome::Running)
        return;
    qCInfo(lcEngine).noquote() << "CommissioningSession: the run by the profile stops:" << reason;
    AutoRun changed = run;
    changed.outcome = AutoRun::Outcome::Failed;
    changed.reason = reason;
    setAutoRun(changed);
}

void CommissioningSession::watchRun(int ms, const QString &reason)
{
    runWatchReason = reason;
    runWatch.start(ms);
}

void CommissioningSession::setAutoRun(const AutoRun &changed)
{
    run = changed;
    if (run.outcome != AutoRun::Outcome::Running)
        runWatch.stop();
    emit autoRunChanged(run);
}

QString CommissioningSession::stateFailure(State state) const
{
    switch (state) {
    case State::ConnectTimedOut:
        return tr("The node was not read within the connect time-out");
    case State::LoginFailed:
        return tr("Login failed: ") + login.problem();
    case State::PortUnavailable:
    case State::PortReturnAwaited:
        return tr("The node's port went away before it was done");
    case State::KeyMismatch:
        return tr("The node's identifiers are enciphered under another key");
    case State::NotConfigured:
        return tr("Node not configured");
    default:
        return QString();
    }
}

void CommissioningSession::setNote(NodeNote::Tone tone, const QString &text)
{
    if (currentNote.tone == tone && currentNote.text == text)
        return;
    currentNote = NodeNote{tone, text};
    emit noteChanged(currentNote);
}

void CommissioningSession::clearNode()
{
    registerAllowed = false;
    activateAllowed = false;
    setNote(NodeNote::Tone::Neutral, QString());
    if (!shownNode)
        return;
    shownNode.reset();
    emit formDismissed();
}

void CommissioningSession::setState(State state)
{
    const bool changed = state != currentState;
    currentState = state;
    // A node in a run that leaves for a state that fails it (the read back after its write never came, its
    // port went away) ends its run with the state's reason.
    if (changed && run.outcome == AutoRun::Outcome::Running) {
        const QString failure = stateFailure(state);
        if (!failure.isEmpty())
            failAutoRun(failure);
    }
    if (changed)
        emit stateChanged(state);
    emit actionsChanged();
}

void CommissioningSession::raise(Notice::Level level, const QString &title, const QString &text, const QString &detail)
{
    emit notice(Notice{level, title, text, detail});
}
