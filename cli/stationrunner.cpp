#include "stationrunner.h"

#include "commissioningjournal.h"
#include "journalforwarder.h"
#include "journalhistory.h"
#include "serialnodelink.h"
#include "stationoutcome.h"

#include <QDateTime>
#include <QJsonObject>

using State = CommissioningSession::State;

StationRunner::StationRunner(const QString &port, ServerSession *server, CommissioningJournal *journal,
    std::shared_ptr<const CommissioningProfile> profile, const Options &options, const Pacing &pacing, QObject *parent)
    : QObject(parent)
    , portName(port)
    , commissioning(new CommissioningSession(new SerialNodeLink(pacing), server, journal, pacing, this))
    , journal(journal)
    , options(options)
    , pacing(pacing)
{
    qRegisterMetaType<StationRunner::NodeReport>("StationRunner::NodeReport");
    // The command line takes every step itself, by its own options, whatever the profile's "auto" says.
    commissioning->setFollowsProfileAutomation(false);
    commissioning->setProfile(std::move(profile));
    commissioning->setWatchesReturningPort(options.waitForReturningPort);
    sleepTimer.setSingleShot(true);
    connect(&sleepTimer, &QTimer::timeout, this, [this] {
        if (inProgress && phase == Phase::Sleeping)
            finish(QStringLiteral("the node did not confirm its sleep"));
    });
    if (options.sharedDatabase)
        connect(
            options.sharedDatabase, &JournalForwarder::registrationChecked, this, &StationRunner::registrationChecked);
    connect(commissioning, &CommissioningSession::stateChanged, this, &StationRunner::stateChanged);
    connect(commissioning, &CommissioningSession::registrationReported, this, &StationRunner::registrationReported);
    connect(commissioning, &CommissioningSession::notice, this, [this](const CommissioningSession::Notice &notice) {
        lastNotice = notice.detail.isEmpty() ? notice.text : notice.text + QStringLiteral(": ") + notice.detail;
        say(lastNotice);
    });
    connect(server, &ServerSession::loginFinished, this, [this](ServerSession::LoginOutcome outcome) {
        if (outcome == ServerSession::LoginOutcome::CredentialsRefused)
            credentialsRefused = true;
    });
    connect(commissioning, &CommissioningSession::questionAsked, this,
        [this](CommissioningSession::Question question, CommissioningSession::Action action) {
            // --sleep asked for the sleep; a node that is not registered goes to sleep only without --register.
            const bool proceed
                = question == CommissioningSession::Question::SleepUnregistered && !this->options.registerNodes;
            commissioning->answerQuestion(question, action,
                proceed ? CommissioningSession::Answer::Proceed : CommissioningSession::Answer::Cancel);
            if (!proceed)
                finish(QStringLiteral("not put to sleep: the node is not registered"));
        });
    connect(commissioning, &CommissioningSession::portOpened, this, [this] {
        portOpenedOnce = true;
        say(QStringLiteral("waiting for a node"));
    });
    connect(commissioning, &CommissioningSession::portFailed, this, &StationRunner::portLost);
}

void StationRunner::portLost(const QString &name, const QString &reason)
{
    if (name.isEmpty() || portGone)
        return;
    // With --loop the session watches for a port that went away and opens it again once it is back: the node in
    // progress ends as below, but the station stays and takes the next node plugged in there.
    const bool awaited = commissioning->awaitedPort() == name;
    if (!awaited) {
        portGone = true;
        stopping = true;
    }
    const QString problem = portOpenedOnce ? QStringLiteral("the port went away (%1)").arg(reason)
                                           : QStringLiteral("the port cannot be opened (%1)").arg(reason);
    if (inProgress) {
        if (phase == Phase::Registering || (phase == Phase::Writing && !writeAnswered)) {
            // A registration on its way is the server's business now, and a write still ends with the node's
            // answers so far: the node ends with that answer, or after a grace period in case none comes.
            portLostReason = problem;
            const int node = nodeNumber;
            QTimer::singleShot(pacing.portLostGraceMs, this, [this, node] {
                if (inProgress && nodeNumber == node)
                    finish(portLostReason);
            });
        } else {
            finish(problem);
        }
    }
    if (!awaited)
        emit portFailed(name, reason, portOpenedOnce);
}

void StationRunner::start()
{
    commissioning->choosePort(portName);
}

void StationRunner::stop()
{
    stopping = true;
}

void StationRunner::say(const QString &text)
{
    emit progress(portName + QStringLiteral(": ") + text);
}

void StationRunner::begin()
{
    inProgress = true;
    ++nodeNumber;
    phase = Phase::Reading;
    report = NodeReport();
    report.port = portName;
    lastNotice.clear();
}

void StationRunner::stateChanged(State state)
{
    switch (state) {
    case State::Reading:
        if (inProgress && phase == Phase::Writing) {
            restarted = true;
            break; // the read back after the write's reset
        }
        if (inProgress)
            finish(QStringLiteral("the node restarted before it was done"));
        if (stopping)
            break;
        begin();
        say(QStringLiteral("reading a node"));
        break;
    case State::LoginNeeded:
        if (credentialsRefused) {
            // Sending them again would only be refused again; the node is dropped at once.
            commissioning->cancelLogin();
            break;
        }
        say(QStringLiteral("logging in as ") + options.userName);
        commissioning->submitCredentials(options.userName, options.password);
        break;
    case State::NodeShown:
        nodeShown();
        break;
    case State::UpdateSucceeded: {
        takeWriteResult();
        say(QStringLiteral("written, the node restarts"));
        const int node = nodeNumber;
        QTimer::singleShot(pacing.restartAfterWriteMs, this, [this, node] {
            if (nodeNumber == node && isWaitingForRestart())
                finish(QStringLiteral("the node did not start again after its write"));
        });
        break;
    }
    case State::ApplyFailed:
        takeWriteResult();
        finish(!portLostReason.isEmpty()   ? portLostReason
                : phase == Phase::Sleeping ? QStringLiteral("the node refused to sleep")
                                           : QStringLiteral("the node refused a setting (Apply FAILED)"));
        break;
    case State::ApplyTimedOut:
        takeWriteResult();
        finish(!portLostReason.isEmpty()   ? portLostReason
                : phase == Phase::Sleeping ? QStringLiteral("the node stopped answering the sleep command")
                                           : QStringLiteral("the node stopped answering the write (Apply Timed out)"));
        break;
    case State::LoginFailed:
        finish(QStringLiteral("login failed: ") + commissioning->loginProblem());
        break;
    case State::NodeSleeping:
        if (inProgress && phase == Phase::Sleeping) {
            report.sleeping = true;
            finish();
        }
        break;
    case State::WaitingForNode:
        if (inProgress && phase == Phase::Registering && !portLostReason.isEmpty())
            break; // the registration's end after the port went away: registrationReported() ends the node
        // Back to waiting in the middle of a node: its login was refused or abandoned, or the link dropped it.
        finish(lastNoticeOr(QStringLiteral("the node was dropped")));
        break;
    case State::PortUnavailable:
        // A registration or write on its way is still answered; the node ends then (see portLost).
        if (portLostReason.isEmpty())
            finish(commissioning->portProblem());
        break;
    case State::PortReturnAwaited:
        // The node in progress, if any, is ended by portLost().
        say(QStringLiteral("waiting for the node's port to come back"));
        break;
    default:
        // A node refused for what the state alone says (timed out, not configured, too old, another key).
        if (const StationOutcome::Description &outcome = StationOutcome::of(state); outcome.reason) {
            if (outcome.nodeNamed)
                takeRecord();
            finish(outcome.reasonText());
        }
        break;
    }
}

void StationRunner::takeWriteResult()
{
    if (!inProgress || phase != Phase::Writing || writeAnswered)
        return;
    writeAnswered = true;
    // What the node acknowledged, which is less than what was asked when a line was refused or unanswered.
    report.written = CommissioningJournal::flagNames(commissioning->lastWriteAcknowledged());
}

void StationRunner::takeRecord()
{
    // The node just read, which the session did not show.
    takeIdentity(commissioning->lastNodeRead().value_or(Node()));
}

void StationRunner::takeIdentity(const Node &node)
{
    report.type = Node::communicationText(node.firmwareType);
    report.identifier = node.identity();
    report.nodeVersion = node.nodeVersion;
    report.node = node;
}

void StationRunner::nodeShown()
{
    const std::optional<Node> node = commissioning->nodeOnShow();
    if (!node)
        return;
    // The form of a node already reported (back from its registration, say) is not a new node.
    if (!inProgress)
        return;
    switch (phase) {
    case Phase::Reading: {
        takeIdentity(*node);
        report.verified = true;
        say(QStringLiteral("node %1 (%2) read").arg(report.identifier, report.type));
        const int written = commissioning->applyProfileDifferences();
        if (written != 0) {
            phase = Phase::Writing;
            writeAnswered = false;
            restarted = false;
            report.verified = false;
            say(QStringLiteral("writing ") + CommissioningJournal::flagNames(written).join(QStringLiteral(", ")));
            return;
        }
        proceed();
        return;
    }
    case Phase::Writing:
        // The node as read after its reset: the engine has compared it with what was written.
        if (!commissioning->lastWriteVerified()) {
            finish(commissioning->note().text.isEmpty() ? QStringLiteral("the node was not read back after the write")
                                                        : commissioning->note().text);
            return;
        }
        report.verified = true;
        say(QStringLiteral("verified"));
        proceed();
        return;
    case Phase::Registering:
        // The engine is back at the form without a registration report: its login failed or was abandoned.
        finish(lastNoticeOr(QStringLiteral("not registered")));
        return;
    case Phase::Sleeping:
        return; // the registration's own return to the form, before the queued sleep
    }
}

QString StationRunner::heldBackBy() const
{
    if (commissioning->verificationFailed())
        return QStringLiteral("the node did not read back as written");
    const auto profile = commissioning->profile();
    if (profile && profile->requireLabel()
        && commissioning->labelResult().outcome != CommissioningSession::LabelResult::Outcome::Matches)
        return QStringLiteral("profile %1 requires a scanned label, which only the window takes").arg(profile->name());
    return QString();
}

QString StationRunner::lastNoticeOr(const QString &fallback) const
{
    return lastNotice.isEmpty() ? fallback : lastNotice;
}

void StationRunner::proceed()
{
    if (options.registerNodes) {
        if (!commissioning->canRegister()) {
            const QString reason = heldBackBy();
            finish(reason.isEmpty() ? QStringLiteral("the node cannot be registered (it does not report)")
                                    : QStringLiteral("not registered: ") + reason);
            return;
        }
        phase = Phase::Registering;
        const std::optional<Node> node = commissioning->nodeOnShow();
        if (options.sharedDatabase && node) {
            checkedIdentifier = JournalHistory::identifierOf(QJsonObject{
                {node->isSigfox() ? QStringLiteral("sigfoxId") : QStringLiteral("devEui"), node->identity()}});
            say(QStringLiteral("asking the shared database whether another bench registered it"));
            options.sharedDatabase->checkRegistration(checkedIdentifier);
            return;
        }
        registerNode();
        return;
    }
    if (options.sleepNodes) {
        goToSleep();
        return;
    }
    finish();
}

void StationRunner::registerNode()
{
    say(QStringLiteral("registering"));
    commissioning->registerNode(QString());
}

void StationRunner::registrationChecked(
    const QString &identifier, bool asked, const QString &otherBench, qint64 registeredMsecs, const QString &problem)
{
    if (checkedIdentifier.isEmpty() || identifier != checkedIdentifier)
        return;
    checkedIdentifier.clear();
    // The node may have ended while the database was asked (its port went away).
    const std::optional<Node> node = commissioning->nodeOnShow();
    if (!inProgress || phase != Phase::Registering || !portLostReason.isEmpty() || !node)
        return;
    if (!asked) {
        // The bench goes on without the check; the journal says it was skipped and why.
        if (journal)
            journal->recordDuplicateCheck(*node, QStringLiteral("skipped"), QString(), QString(), problem);
        say(QStringLiteral("not checked for a registration at another bench: %1").arg(problem));
    } else if (otherBench.isEmpty()) {
        if (journal)
            journal->recordDuplicateCheck(*node, QStringLiteral("clear"));
    } else {
        const QString when = QDateTime::fromMSecsSinceEpoch(registeredMsecs, Qt::UTC).toString(Qt::ISODate);
        if (journal)
            journal->recordDuplicateCheck(*node, QStringLiteral("registeredElsewhere"), otherBench, when);
        if (!options.allowReregister) {
            finish(QStringLiteral("already registered at bench %1 on %2; --allow-reregister registers it again")
                       .arg(otherBench, when));
            return;
        }
        say(QStringLiteral("already registered at bench %1 on %2; registering again").arg(otherBench, when));
    }
    registerNode();
}

void StationRunner::goToSleep()
{
    if (!inProgress)
        return;
    if (!commissioning->canActivate()) {
        const QString reason = heldBackBy();
        finish(reason.isEmpty() ? QStringLiteral("the node cannot be put to sleep (it does not report)")
                                : QStringLiteral("not put to sleep: ") + reason);
        return;
    }
    phase = Phase::Sleeping;
    say(QStringLiteral("putting the node to sleep"));
    sleepTimer.start(pacing.sleepConfirmMs);
    commissioning->activate();
}

void StationRunner::registrationReported(const ServerSession::RegistrationReport &registration)
{
    if (!inProgress || phase != Phase::Registering)
        return;
    if (registration.accepted) {
        report.registration = QString::number(registration.status);
    } else if (registration.kept) {
        // Kept in the outbox and sent again by itself: the node may go on.
        report.registration = QStringLiteral("waiting");
    } else {
        // Without an HTTP status, what happened by name; the window's 404 stand-in is not an answer.
        report.registration
            = registration.failure.isEmpty() ? QString::number(registration.status) : registration.failure;
        finish(QStringLiteral("registration failed: %1").arg(report.registration));
        return;
    }
    if (!portLostReason.isEmpty()) {
        // Registered, but the node can no longer be reached for its sleep.
        finish(options.sleepNodes ? portLostReason : QString());
        return;
    }
    if (options.sleepNodes) {
        phase = Phase::Sleeping;
        // Queued: the engine finishes the registration's own transitions first.
        QMetaObject::invokeMethod(this, &StationRunner::goToSleep, Qt::QueuedConnection);
        return;
    }
    finish();
}

void StationRunner::finish(const QString &error)
{
    if (!inProgress)
        return;
    inProgress = false;
    portLostReason.clear();
    sleepTimer.stop();
    report.error = error;
    // The node this run gave up on, still on its port, is set aside: its unit ends here, not when the next node
    // is read there, maybe much later.
    const std::optional<Node> left = commissioning->lastNodeRead();
    if (!error.isEmpty() && !portGone && journal && left && !report.identifier.isEmpty()
        && left->identity() == report.identifier)
        journal->recordNodeLeft(portName, *left, QLatin1String(CommissioningJournal::kLeftSetAside));
    if (error.isEmpty())
        say(QStringLiteral("done"));
    else
        say(QStringLiteral("failed: ") + error);
    lastNotice.clear();
    emit nodeDone(report);
}
