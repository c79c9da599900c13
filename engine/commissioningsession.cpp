#include "commissioningsession.h"

#include "commandresult.h"
#include "enginelog.h"
#include "labelcode.h"
#include "nodeinterface.h"
#include "operatortext.h"
#include "profilecomparison.h"
#include "writeverification.h"

#include <QFileInfo>
#include <QSerialPortInfo>

namespace {
const char kLoginTitle[] = QT_TRANSLATE_NOOP("CommissioningSession", "ORVA login");
const char kRegistrationTitle[] = QT_TRANSLATE_NOOP("CommissioningSession", "ORVA Node registration");
const char kRegistrationFailedTitle[] = QT_TRANSLATE_NOOP("CommissioningSession", "Node Registration");
const char kVerifiedText[] = QT_TRANSLATE_NOOP("CommissioningSession", "Verified");
// The journal's word for why a write failed, so that a supervisor can tell a cable from a refused value.
QString failureReason(CommandFailure failure)
{
    switch (failure) {
    case CommandFailure::NoPort:
        return QLatin1String(CommissioningJournal::kReasonNoPort);
    case CommandFailure::Refused:
        return QLatin1String(CommissioningJournal::kReasonRefused);
    case CommandFailure::InvalidValue:
        return QLatin1String(CommissioningJournal::kReasonInvalidValue);
    case CommandFailure::Interrupted:
        return QLatin1String(CommissioningJournal::kReasonInterrupted);
    case CommandFailure::None:
        break;
    }
    return QString();
}
} // namespace

CommissioningSession::CommissioningSession(
    ServerSession *server, CommissioningJournal *journal, const Pacing &pacing, QObject *parent)
    : QObject(parent)
    , server(server)
    , journal(journal)
    , connectTimeoutMs(pacing.connectTimeoutMs)
{
    qRegisterMetaType<CommissioningSession::State>("CommissioningSession::State");
    qRegisterMetaType<CommissioningSession::Notice>("CommissioningSession::Notice");
    qRegisterMetaType<CommissioningSession::NodeNote>("CommissioningSession::NodeNote");
    qRegisterMetaType<CommissioningSession::LabelResult>("CommissioningSession::LabelResult");
    qRegisterMetaType<CommissioningSession::Question>("CommissioningSession::Question");
    qRegisterMetaType<CommissioningSession::Action>("CommissioningSession::Action");
    qRegisterMetaType<CommissioningSession::Answer>("CommissioningSession::Answer");
    qRegisterMetaType<Node::eFirmwareType>("Node::eFirmwareType");

    // A coarse timer may fire up to 5 % early, which would give up on a node that is still within its 30 s.
    connectTimer.setTimerType(Qt::PreciseTimer);
    connectTimer.setSingleShot(true);
    connect(&connectTimer, &QTimer::timeout, this, &CommissioningSession::connectTimedOut);

    connect(server, &ServerSession::loginStarted, this, &CommissioningSession::loginStarted);
    connect(server, &ServerSession::loginFinished, this, &CommissioningSession::loginFinished);
    connect(server, &ServerSession::registrationFinished, this, &CommissioningSession::registrationFinished);

    nodeLink = new NodeInterface(pacing, this);
    // What the link read from a port the operator has since closed or replaced is not shown: a boot heard on a
    // closed port could only end in a connect time-out telling the operator to reset a node the tool no longer
    // listens to, and a node read on the old port is not the one on the new.
    connect(nodeLink, &NodeInterface::busy, this, [this](bool busy) {
        if (!linkReportsStale)
            linkBusy(busy);
    });
    connect(nodeLink, &NodeInterface::nodeConnected, this, [this](const Node &node) {
        if (!linkReportsStale)
            nodeConnected(node);
    });
    connect(nodeLink, &NodeInterface::settingsAcknowledged, this, [this](int flags) { acknowledgedFlags = flags; });
    connect(nodeLink, &NodeInterface::nodeCommandResult, this, &CommissioningSession::commandResult);
    connect(nodeLink, &NodeInterface::nodeSleeping, this, &CommissioningSession::nodeSleeping);
    connect(nodeLink, &NodeInterface::configureID, this, &CommissioningSession::identityRequested);
    connect(nodeLink, &NodeInterface::nodeKeyMismatch, this, &CommissioningSession::nodeKeyMismatch);
    connect(nodeLink, &NodeInterface::serialPortOpened, this, &CommissioningSession::linkPortOpened);
    portWatch.setInterval(pacing.portWatchIntervalMs);
    connect(&portWatch, &QTimer::timeout, this, &CommissioningSession::checkWatchedPort);
    returnedPortReset.setSingleShot(true);
    returnedPortReset.setInterval(pacing.returnedPortBootGraceMs);
    connect(&returnedPortReset, &QTimer::timeout, this, [this] {
        if (currentState != State::WaitingForNode || readingNode || openPortName.isEmpty())
            return;
        qCInfo(lcEngine).noquote()
            << QStringLiteral("CommissioningSession: no boot heard on %1; the node is reset").arg(openPortName);
        nodeLink->resetNode();
    });
    connect(nodeLink, &NodeInterface::serialPortFailed, this, &CommissioningSession::linkPortFailed);
}

CommissioningSession::~CommissioningSession()
{
    // The link goes first: its thread may still be finishing a pass, and nothing it reports may reach a
    // half-destroyed session.
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
    activeProfile = std::move(profile);
    // The node on show is checked against the profile now in force, as if it had just been read: its form is
    // filled in afresh (or the node set aside).
    if (shownNode && currentState == State::NodeShown) {
        const Node node = *shownNode;
        clearNode();
        showNode(node);
    }
}

// ---- operator actions ------------------------------------------------------------------------------------

void CommissioningSession::choosePort(const QString &portName)
{
    stopWatchingPort();
    // Whatever was shown belongs to the device on the previous port.
    clearNode();
    waitingNode.reset();
    lastWrite.reset();
    connectTimer.stop();
    readingNode = false;
    readTimedOut = false;
    if (currentState != State::LoginNeeded && currentState != State::LoggingIn)
        setState(State::WaitingForNode);
    linkReportsStale = true;
    nodeLink->connectSerialPort(portName);
}

void CommissioningSession::submitCredentials(const QString &name, const QString &password)
{
    if (currentState != State::LoginNeeded)
        return;
    server->setCredentials(name, password);
    server->logIn();
}

void CommissioningSession::cancelLogin()
{
    if (currentState != State::LoginNeeded)
        return;
    qCDebug(lcEngine, "login abborted");
    loginRefusedOrAbandoned(LoginEnd::Cancelled);
}

void CommissioningSession::applySettings(Node node, int flags)
{
    // The link writes only when one of the eight settings is selected, and answers only then.
    if (!(flags & Node::FlagsWritable))
        return;
    pendingWrites.append({PendingWriteKind::Settings, node, flags});
    acknowledgedFlags = 0;
    // Read back after the reset that follows a successful write, and compared with what went out.
    lastWrite = PendingWrite{PendingWriteKind::Settings, node, flags};
    describedIdentity = node.identity();
    describedText = OperatorText::cleaned(node.lockDescription);
    nodeLink->updateNode(node, flags);
    if (currentState == State::NodeShown)
        setState(State::Writing);
}

void CommissioningSession::registerNode(const QString &lockDescription)
{
    if (!canRegister())
        return;
    if (unappliedEdits) {
        // Nothing goes to the server before the operator has said what becomes of the edits.
        pendingDescription = lockDescription;
        emit questionAsked(Question::ApplyChangesFirst, Action::Register);
        return;
    }
    doRegister(lockDescription);
}

void CommissioningSession::doRegister(const QString &lockDescription)
{
    registerAllowed = false;
    emit actionsChanged();
    registrationNode = nodeLink->nodeRecord();
    registrationNode.lockDescription = OperatorText::cleaned(lockDescription);
    if (registrationNode.hasBlankIdentity()) {
        // The link has meanwhile read a node without identity; it is never registered.
        clearNode();
        setState(State::NotConfigured);
        return;
    }
    describedIdentity = registrationNode.identity();
    describedText = registrationNode.lockDescription;
    if (server->isLoggedIn())
        startRegistration();
    else
        needLogin(LoginPurpose::Register);
}

void CommissioningSession::activate()
{
    if (!canActivate())
        return;
    if (unappliedEdits) {
        emit questionAsked(Question::ApplyChangesFirst, Action::Activate);
        return;
    }
    if (!registrationDone && !registrationWaiting) {
        // A sleeping node cannot be reached any more: one that was never registered is asked about first.
        emit questionAsked(Question::SleepUnregistered, Action::Activate);
        return;
    }
    doActivate();
}

void CommissioningSession::doActivate()
{
    nodeLink->sleepNode();
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
            doRegister(pendingDescription);
        else
            activate();
        return;
    }
    if (question == Question::SleepUnregistered && answer == Answer::Proceed && canActivate())
        doActivate();
}

void CommissioningSession::checkLabel(const QString &text)
{
    if (!shownNode)
        return;
    LabelResult result;
    if (!text.trimmed().isEmpty()) {
        const LabelCode code = LabelCode::parse(text);
        if (!code.isValid()) {
            result = {LabelResult::Outcome::Unreadable, code.errorText()};
        } else {
            const ProfileEntry *entry = activeProfile ? activeProfile->entryFor(*shownNode) : nullptr;
            const LabelMatch match = code.match(*shownNode, entry ? entry->labelProfileId : QString());
            result = {match.matches ? LabelResult::Outcome::Matches : LabelResult::Outcome::Mismatch, match.text};
            if (journal) {
                QMap<QString, QString> fields{{QStringLiteral("identifier"), code.identifier()}};
                if (code.kind() == LabelCode::LoRaQrCode) {
                    fields.insert(QStringLiteral("joinEui"), code.joinEui());
                    fields.insert(QStringLiteral("profileId"), code.profileId());
                    if (!code.extraFields().isEmpty())
                        fields.insert(QStringLiteral("extra"), code.extraFields().join(QLatin1Char(':')));
                }
                journal->recordLabelChecked(*shownNode, fields, match.matches);
                checkJournal();
            }
        }
    }
    // A text that is no label holds the node like a label of another: what was scanned is not known to be
    // this node's.
    label = result;
    emit labelChecked(result);
    emit actionsChanged();
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
    if (currentState == State::LoginFailed && waitingNode) {
        needLogin(LoginPurpose::ShowNode);
        return;
    }
    if (server->isLoggedIn() || loginPurpose != LoginPurpose::None || shownNode)
        return;
    if (currentState == State::LoginNeeded || currentState == State::LoggingIn)
        return;
    needLogin(LoginPurpose::Standalone);
}

void CommissioningSession::disconnectNode()
{
    clearNode();
    waitingNode.reset();
    connectTimer.stop();
    readingNode = false;
    readTimedOut = false;
    // The port is let go as well, for good: a later choice of port, or the refresh, opens it again.
    stopWatchingPort();
    linkReportsStale = true;
    nodeLink->closeSerialPort();
    setState(State::WaitingForNode);
}

void CommissioningSession::resetNode()
{
    clearNode();
    // What the link is reading is dropped: the node is reset and read afresh.
    nodeLink->disconnectNode();
    setState(State::WaitingForNode);
    nodeLink->resetNode();
}

void CommissioningSession::allowRegisterAndActivate(bool allowed)
{
    if (!shownNode)
        return;
    registerAllowed = allowed && !registrationDone;
    activateAllowed = allowed;
    emit actionsChanged();
}

void CommissioningSession::readVersion()
{
    nodeLink->readVersion();
}

void CommissioningSession::setDeviceId(const QString &id)
{
    pendingWrites.append({PendingWriteKind::DeviceId, nodeLink->nodeRecord(), 0});
    nodeLink->setDeviceId(id);
}

void CommissioningSession::setSigfoxData(const QString &data)
{
    pendingWrites.append({PendingWriteKind::SigfoxData, nodeLink->nodeRecord(), 0});
    nodeLink->setSigfoxData(data);
}

// ---- what the link reports -------------------------------------------------------------------------------

void CommissioningSession::linkBusy(bool busy)
{
    readingNode = busy;
    if (!busy) {
        if (currentState == State::Reading)
            setState(State::WaitingForNode);
        return;
    }
    readTimedOut = false;
    connectTimer.start(connectTimeoutMs);
    clearNode();
    if (currentState == State::LoginFailed)
        waitingNode.reset();
    if (currentState == State::LoginNeeded || currentState == State::LoggingIn) {
        // The node that was waiting for the login is booting again: what was read of it is stale. The login
        // goes on; the node's new read is shown once it is held.
        waitingNode.reset();
        return;
    }
    setState(State::Reading);
}

void CommissioningSession::nodeConnected(Node node)
{
    connectTimer.stop();
    readingNode = false;
    readTimedOut = false;
    qCDebug(lcEngine, "Node connected %d", static_cast<int>(node.firmwareType));
    if (journal) {
        journal->recordNodeRead(openPortName, node);
        checkJournal();
    }

    if (currentState == State::LoginNeeded || currentState == State::LoggingIn) {
        // Only the newest node is worth showing once the login is settled.
        waitingNode = node;
        return;
    }
    if (server->isLoggedIn()) {
        showNode(node);
        return;
    }
    waitingNode = node;
    needLogin(LoginPurpose::ShowNode);
}

void CommissioningSession::commandResult(CommandResult result, CommandFailure failure)
{
    const QString reason = result == CommandResult::Failed ? failureReason(failure) : QString();
    if (!pendingWrites.isEmpty() && journal) {
        const PendingWrite write = pendingWrites.takeFirst();
        const int code = static_cast<int>(result);
        switch (write.kind) {
        case PendingWriteKind::Settings:
            journal->recordSettingsWritten(write.node, write.flags, code, reason);
            checkJournal();
            break;
        case PendingWriteKind::DeviceId:
            journal->recordDeviceIdWritten(write.node, code, reason);
            checkJournal();
            break;
        case PendingWriteKind::SigfoxData:
            journal->recordSigfoxDataWritten(write.node, code, reason);
            checkJournal();
            break;
        }
    } else if (!pendingWrites.isEmpty()) {
        pendingWrites.removeFirst();
    }

    if (result != CommandResult::Done)
        lastWrite.reset();
    // The write is over; nothing is dropped at the link, whose next exchange may already be the read of a node
    // that restarted meanwhile.
    clearNode();
    switch (result) {
    case CommandResult::Failed:
        setState(State::ApplyFailed);
        break;
    case CommandResult::Done:
        setState(State::UpdateSucceeded);
        // The node takes its new settings only after a restart, which also reads it back.
        nodeLink->resetNode();
        break;
    case CommandResult::TimedOut:
        setState(State::ApplyTimedOut);
        break;
    default:
        setState(State::WaitingForNode);
        break;
    }
}

void CommissioningSession::nodeSleeping()
{
    if (journal) {
        journal->recordNodeSleeping(nodeLink->nodeRecord());
        checkJournal();
    }
    // The sleep command is complete; nothing is dropped at the link, so a node that boots right after its
    // sleep confirmation is still read.
    clearNode();
    setState(State::NodeSleeping);
}

void CommissioningSession::nodeKeyMismatch()
{
    connectTimer.stop();
    readingNode = false;
    readTimedOut = false;
    qCInfo(lcEngine).noquote() << "CommissioningSession: the node's identifiers do not decipher with this tool's key"
                               << "(fingerprint" << journalKeyFingerprint() << ")";
    if (journal) {
        journal->recordKeyMismatch(openPortName);
        checkJournal();
    }
    clearNode();
    waitingNode.reset();
    lastWrite.reset();
    setState(State::KeyMismatch);
}

void CommissioningSession::linkPortOpened(const QString &name)
{
    // The link reports in order: whatever it says from here on comes from the port opened now.
    linkReportsStale = false;
    openPortName = name;
    portProblemText.clear();
    const bool returned = !watchedPort.isEmpty() && watchedPort == name;
    stopWatchingPort();
    if (currentState == State::PortUnavailable || currentState == State::PortReturnAwaited)
        setState(State::WaitingForNode);
    emit portOpened(name);
    // A node plugged in has mostly booted before its port could be opened, and its start-up went unheard: unless
    // it is heard starting soon, it is reset, as the refresh button would, so that it is read without a click.
    if (returned) {
        qCInfo(lcEngine).noquote() << QStringLiteral("CommissioningSession: %1 is back").arg(name);
        returnedPortReset.start();
    }
}

void CommissioningSession::linkPortFailed(const QString &name, const QString &reason)
{
    // The open port failing means its device went away (a node on a USB adapter unplugged); a reopen of the
    // watched port that fails means it is not usable yet. Either way the port is watched for until it is back.
    // A port the operator has since let go or replaced is not watched for.
    const bool wentAway = watchesReturningPort && !name.isEmpty()
        && (name == watchedPort || (name == openPortName && !linkReportsStale));
    openPortName.clear();
    if (wentAway) {
        clearNode();
        waitingNode.reset();
        connectTimer.stop();
        readingNode = false;
        readTimedOut = false;
        portProblemText = name + QStringLiteral(": ") + reason;
        watchForPort(name);
        emit portFailed(name, reason);
        return;
    }
    emit portFailed(name, reason);
    // With no port listed the link is given no name; there is nothing to report.
    if (name.isEmpty())
        return;
    // Another program holding the port shows up as a failure to lock it.
    if (reason.contains(QLatin1String("locking"), Qt::CaseInsensitive))
        portProblemText = name + tr(": port in use by another program");
    else
        portProblemText = name + QStringLiteral(": ") + reason;
    clearNode();
    waitingNode.reset();
    setState(State::PortUnavailable);
}

void CommissioningSession::watchForPort(const QString &name)
{
    const bool already = watchedPort == name && portWatch.isActive();
    watchedPort = name;
    reopenPending = false;
    if (!already) {
        qCInfo(lcEngine).noquote()
            << QStringLiteral("CommissioningSession: %1 went away; waiting for it to come back").arg(name);
        portWatch.start();
    }
    // A login under way is settled first; the station then says it waits for the port.
    if (currentState != State::LoginNeeded && currentState != State::LoggingIn)
        setState(State::PortReturnAwaited);
}

void CommissioningSession::stopWatchingPort()
{
    portWatch.stop();
    returnedPortReset.stop();
    watchedPort.clear();
    reopenPending = false;
}

void CommissioningSession::checkWatchedPort()
{
    if (watchedPort.isEmpty() || reopenPending || !portPresent(watchedPort))
        return;
    reopenPending = true;
    linkReportsStale = true;
    nodeLink->connectSerialPort(watchedPort);
}

bool CommissioningSession::portPresent(const QString &portName)
{
    if (portName.isEmpty())
        return false;
#ifdef Q_OS_UNIX
    // A device node (or the link a udev rule or a simulator makes to one) is there or not; exists() follows
    // links, so a link left dangling by an unplugged device counts as absent.
    if (portName.contains(QLatin1Char('/')))
        return QFileInfo::exists(portName);
    return QFileInfo::exists(QStringLiteral("/dev/") + portName);
#else
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &port : ports) {
        if (port.portName() == portName || port.systemLocation() == portName)
            return true;
    }
    return false;
#endif
}

QString CommissioningSession::journalKeyFingerprint() const
{
    return journal ? journal->keyFingerprint() : QString();
}

// ---- internals -------------------------------------------------------------------------------------------

void CommissioningSession::checkJournal()
{
    // A journal that cannot be written is said once, and again only after it worked in between.
    if (!journal)
        return;
    const QString problem = journal->lastError();
    if (problem.isEmpty()) {
        journalProblemReported = false;
        return;
    }
    if (journalProblemReported)
        return;
    journalProblemReported = true;
    emit recordingFailed(tr("The commissioning journal cannot be written: ") + problem);
}

void CommissioningSession::setState(State state)
{
    const bool changed = state != currentState;
    currentState = state;
    if (changed)
        emit stateChanged(state);
    emit actionsChanged();
}

void CommissioningSession::showNode(const Node &node)
{
    if (!Node::isKnownType(node.firmwareType)) {
        // No form for this node; a form already on show stays as it is.
        if (journal) {
            journal->recordNotConfigured(node, QLatin1String(CommissioningJournal::kReasonUnknownType));
            checkJournal();
        }
        setState(State::NotConfigured);
        return;
    }
    if (node.hasBlankIdentity()) {
        // A node that was never given an identity (all zeros or all F) would be registered under an identifier
        // every other such node shares: it gets no form, and nothing is written, registered or put to sleep.
        qCInfo(lcEngine).noquote() << "CommissioningSession: node identity" << node.identity()
                                   << "is blank - not configured";
        if (journal) {
            journal->recordNotConfigured(node, QLatin1String(CommissioningJournal::kReasonNoIdentity));
            checkJournal();
        }
        clearNode();
        lastWrite.reset();
        verification = Verification::None;
        setState(State::NotConfigured);
        return;
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
        if (journal) {
            journal->recordFirmwareTooOld(node, entry->minNodeVersion);
            checkJournal();
        }
        lastWrite.reset();
        verification = Verification::None;
        setNote(NodeNote::Tone::Bad,
            tr("Firmware %1 is older than %2, the oldest profile %3 accepts")
                .arg(node.nodeVersion, entry->minNodeVersion, activeProfile->name()));
        setState(State::FirmwareTooOld);
        return;
    }

    verifyAgainstLastWrite(node);
    currentPreset = FormPreset();
    if (entry) {
        const ProfileComparison comparison(shown, *entry);
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
    setState(State::NodeShown);
}

void CommissioningSession::verifyAgainstLastWrite(const Node &node)
{
    if (!lastWrite || lastWrite->node.identity() != node.identity()) {
        lastWrite.reset();
        verification = Verification::None;
        return;
    }
    const PendingWrite write = *std::exchange(lastWrite, std::nullopt);
    const QList<WriteVerification::Mismatch> mismatches = WriteVerification::compare(write.node, write.flags, node);
    if (journal) {
        QVector<CommissioningJournal::Mismatch> recorded;
        for (const WriteVerification::Mismatch &mismatch : mismatches)
            recorded.append({mismatch.field, mismatch.writtenText, mismatch.readText});
        journal->recordVerified(node, mismatches.isEmpty(), recorded);
        checkJournal();
    }
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

void CommissioningSession::connectTimedOut()
{
    readingNode = false;
    if (currentState == State::LoginNeeded || currentState == State::LoggingIn) {
        readTimedOut = true;
        return;
    }
    setState(State::ConnectTimedOut);
}

void CommissioningSession::raise(Notice::Level level, const QString &title, const QString &text, const QString &detail)
{
    emit notice(Notice{level, title, text, detail});
}

void CommissioningSession::needLogin(LoginPurpose purpose)
{
    loginPurpose = purpose;
    if (server->isLoggingIn()) {
        // Another port's login is on its way; its answer serves this port too.
        setState(State::LoggingIn);
        return;
    }
    if (server->hasCredentials()) {
        server->logIn();
        return;
    }
    if (!server->isConfigured()) {
        raise(Notice::Level::Critical, tr(kLoginTitle), tr("Please configure the ORVA server"));
        loginRefusedOrAbandoned(LoginEnd::NotConfigured);
        return;
    }
    askingAgain = false;
    setState(State::LoginNeeded);
}

void CommissioningSession::loginStarted()
{
    if (loginPurpose != LoginPurpose::None)
        setState(State::LoggingIn);
}

void CommissioningSession::loginFinished(ServerSession::LoginOutcome outcome, const QString &detail)
{
    if (loginPurpose == LoginPurpose::None || currentState != State::LoggingIn)
        return;
    if (outcome == ServerSession::LoginOutcome::Granted) {
        proceedAfterLogin();
        return;
    }
    loginRefusedOrAbandoned(LoginEnd::Failed, outcome, detail);
}

QString CommissioningSession::describeLoginFailure(ServerSession::LoginOutcome outcome, const QString &detail)
{
    switch (outcome) {
    case ServerSession::LoginOutcome::Granted:
        break;
    case ServerSession::LoginOutcome::CredentialsRefused:
        return tr("The server refused the user name or password.");
    case ServerSession::LoginOutcome::NoAnswer:
        return tr("The server did not answer within 30 s.");
    case ServerSession::LoginOutcome::Unreachable:
        return tr("The server cannot be reached: %1").arg(detail);
    case ServerSession::LoginOutcome::Untrusted:
        return tr("The server's certificate is not trusted: %1").arg(detail);
    case ServerSession::LoginOutcome::Failed:
        return tr("The login failed: %1").arg(detail);
    }
    return QString();
}

void CommissioningSession::loginRefusedOrAbandoned(
    LoginEnd end, ServerSession::LoginOutcome outcome, const QString &detail)
{
    const LoginPurpose purpose = std::exchange(loginPurpose, LoginPurpose::None);
    askingAgain = false;
    const bool cancelled = end == LoginEnd::Cancelled;
    // No request went out when no server is configured: that box was shown already and nothing else is said
    // about credentials that were never sent.
    const bool failed = end == LoginEnd::Failed;
    const QString why = failed ? describeLoginFailure(outcome, detail) : QString();
    const bool refused = failed && outcome == ServerSession::LoginOutcome::CredentialsRefused;
    const bool nodeWaits = purpose == LoginPurpose::Register || (purpose == LoginPurpose::ShowNode && waitingNode);
    if (refused && asksAgainAfterRefusal && nodeWaits) {
        // A mistyped password costs no reset: the node read (or the registration) waits while the credentials
        // are asked for again, until a login is held or the operator cancels.
        raise(Notice::Level::Critical, tr(kLoginTitle), tr("Incorrect Credentials"), why);
        loginPurpose = purpose;
        askingAgain = true;
        setState(State::LoginNeeded);
        return;
    }
    if (purpose == LoginPurpose::Register) {
        if (failed)
            raise(Notice::Level::Critical, tr(kLoginTitle), tr("Incorrect Credentials"), why);
        if (waitingNode) {
            // A node read while this login was settled cannot be shown without a login either.
            waitingNode.reset();
            if (end != LoginEnd::NotConfigured)
                raise(cancelled ? Notice::Level::Information : Notice::Level::Critical, tr(kLoginTitle),
                    tr("You need to log in"));
        }
        registerAllowed = shownNode.has_value();
        setState(shownNode ? State::NodeShown : idleState());
        return;
    }
    // The operator's own cancel is no error; a refusal or a server at fault is.
    if (cancelled)
        raise(Notice::Level::Information, tr(kLoginTitle), tr("You need to log in"),
            purpose == LoginPurpose::ShowNode ? tr("The node is not shown without a login; reset it to try again.")
                                              : QString());
    else if (failed)
        raise(Notice::Level::Critical, tr(kLoginTitle), tr("You need to log in"), why);
    const bool credentialsAtFault = !failed || refused;
    if (purpose == LoginPurpose::ShowNode && waitingNode && !credentialsAtFault) {
        // The server, not the operator, is at fault: the node read is kept and shown once a login succeeds,
        // without resetting it.
        loginProblemText = why;
        setState(State::LoginFailed);
        return;
    }
    // The node read for this login is dropped; the operator resets it to try again.
    waitingNode.reset();
    setState(idleState());
}

CommissioningSession::State CommissioningSession::idleState() const
{
    if (!watchedPort.isEmpty())
        return State::PortReturnAwaited;
    if (readingNode)
        return State::Reading;
    return readTimedOut ? State::ConnectTimedOut : State::WaitingForNode;
}

void CommissioningSession::proceedAfterLogin()
{
    const LoginPurpose purpose = std::exchange(loginPurpose, LoginPurpose::None);
    loginProblemText.clear();
    if (purpose == LoginPurpose::Register) {
        startRegistration();
        return;
    }
    if (waitingNode) {
        const Node node = *std::exchange(waitingNode, std::nullopt);
        showNode(node);
        return;
    }
    setState(idleState());
}

void CommissioningSession::startRegistration()
{
    setState(State::Registering);
    registrationTicket = server->registerNode(registrationNode);
}

void CommissioningSession::registrationFinished(const ServerSession::RegistrationReport &report)
{
    if (report.ticket != registrationTicket)
        return;
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
        if (sameNodeShown)
            registrationDone = true;
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
        }
    }
    if (waitingNode) {
        // A node announced while this registration's login was settled takes the screen now.
        const Node node = *std::exchange(waitingNode, std::nullopt);
        if (server->isLoggedIn()) {
            showNode(node);
        } else {
            waitingNode = node;
            needLogin(LoginPurpose::ShowNode);
        }
        return;
    }
    if (currentState == State::Registering)
        setState(shownNode ? State::NodeShown : State::WaitingForNode);
    else
        emit actionsChanged();
}
