#include "stationrunner.h"

#include "commissioningjournal.h"
#include "nodeinterface.h"

using State = CommissioningSession::State;

StationRunner::StationRunner(const QString &port, ServerSession *server, CommissioningJournal *journal,
    std::shared_ptr<const CommissioningProfile> profile, const Options &options, QObject *parent)
    : QObject(parent)
    , portName(port)
    , commissioning(new CommissioningSession(server, journal, this))
    , options(options)
{
    qRegisterMetaType<StationRunner::NodeReport>("StationRunner::NodeReport");
    commissioning->setProfile(std::move(profile));
    connect(commissioning, &CommissioningSession::stateChanged, this, &StationRunner::stateChanged);
    connect(commissioning, &CommissioningSession::registrationReported, this, &StationRunner::registrationReported);
    connect(commissioning, &CommissioningSession::notice, this, [this](const CommissioningSession::Notice &notice) {
        lastNotice = notice.detail.isEmpty() ? notice.text : notice.text + QStringLiteral(": ") + notice.detail;
        say(lastNotice);
    });
    connect(commissioning, &CommissioningSession::questionAsked, this,
        [this](CommissioningSession::Question question, CommissioningSession::Action action) {
            // --sleep asked for the sleep; a node that is not registered goes to sleep only without --register.
            const bool proceed
                = question == CommissioningSession::Question::SleepUnregistered && !this->options.registerNodes;
            commissioning->answerQuestion(
                question, action, proceed ? CommissioningSession::Answer::Proceed : CommissioningSession::Answer::Cancel);
            if (!proceed)
                finish(QStringLiteral("not put to sleep: the node is not registered"));
        });
    connect(commissioning, &CommissioningSession::portFailed, this, [this](const QString &name, const QString &reason) {
        if (!name.isEmpty())
            emit portFailed(name, reason);
    });
}

void StationRunner::start()
{
    say(QStringLiteral("waiting for a node"));
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

void StationRunner::stateChanged(State state)
{
    switch (state) {
    case State::Reading:
        if (inProgress && phase != Phase::Writing)
            finish(QStringLiteral("the node restarted before it was done"));
        if (!stopping)
            say(QStringLiteral("reading a node"));
        break;
    case State::LoginNeeded:
        if (loginSubmitted) {
            // The credentials were refused once; asking again would only repeat it.
            finish(QStringLiteral("login refused"));
            commissioning->cancelLogin();
            break;
        }
        loginSubmitted = true;
        commissioning->submitCredentials(options.userName, options.password);
        break;
    case State::NodeShown:
        if (stopping && !inProgress)
            break;
        nodeShown();
        break;
    case State::UpdateSucceeded:
        say(QStringLiteral("written, the node restarts"));
        break;
    case State::ApplyFailed:
        finish(QStringLiteral("the node refused a setting (Apply FAILED)"));
        break;
    case State::ApplyTimedOut:
        finish(QStringLiteral("the node stopped answering the write (Apply Timed out)"));
        break;
    case State::ConnectTimedOut:
        if (!stopping)
            finish(QStringLiteral("the node's start-up read timed out"));
        break;
    case State::NotConfigured:
        inProgress = true;
        finish(QStringLiteral("node not configured"));
        break;
    case State::FirmwareTooOld:
        inProgress = true;
        report.nodeVersion = commissioning->link()->nodeRecord().nodeVersion;
        finish(QStringLiteral("firmware too old for the profile"));
        break;
    case State::KeyMismatch:
        inProgress = true;
        finish(QStringLiteral("the node key does not match the tool's"));
        break;
    case State::LoginFailed:
        inProgress = true;
        finish(QStringLiteral("login failed: ") + commissioning->loginProblem());
        break;
    case State::NodeSleeping:
        if (inProgress && phase == Phase::Sleeping) {
            report.sleeping = true;
            finish();
        }
        break;
    case State::WaitingForNode:
        // Back to waiting in the middle of a node: its login was refused or abandoned.
        if (inProgress && phase == Phase::Shown)
            finish(lastNotice.isEmpty() ? QStringLiteral("the node was dropped") : lastNotice);
        break;
    default:
        break;
    }
}

void StationRunner::nodeShown()
{
    const std::optional<Node> node = commissioning->nodeOnShow();
    if (!node)
        return;
    if (!inProgress) {
        inProgress = true;
        report = NodeReport();
        report.port = portName;
        report.type = Node::communicationText(node->firmwareType);
        report.identifier = node->identity();
        report.nodeVersion = node->nodeVersion;
        report.verified = true;
        phase = Phase::Shown;
        say(QStringLiteral("node %1 (%2) read").arg(report.identifier, report.type));
        const int written = commissioning->applyProfileDifferences();
        if (written != 0) {
            phase = Phase::Writing;
            report.written = CommissioningJournal::flagNames(written);
            report.verified = false;
            say(QStringLiteral("writing ") + report.written.join(QStringLiteral(", ")));
            return;
        }
        proceed();
        return;
    }
    if (phase == Phase::Writing) {
        // The node as read after its reset: the engine has compared it with what was written.
        if (!commissioning->lastWriteVerified()) {
            finish(commissioning->note().text.isEmpty() ? QStringLiteral("the node was not read back after the write")
                                                        : commissioning->note().text);
            return;
        }
        report.verified = true;
        say(QStringLiteral("verified"));
        phase = Phase::Shown;
        proceed();
    }
}

void StationRunner::proceed()
{
    if (options.registerNodes) {
        phase = Phase::Registering;
        say(QStringLiteral("registering"));
        commissioning->registerNode(QString());
        return;
    }
    if (options.sleepNodes) {
        phase = Phase::Sleeping;
        commissioning->activate();
        return;
    }
    finish();
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
        report.registration = QString::number(registration.status);
        finish(QStringLiteral("registration failed: %1").arg(registration.status));
        return;
    }
    if (options.sleepNodes) {
        phase = Phase::Sleeping;
        // Queued: the engine finishes the registration's own transitions first.
        QMetaObject::invokeMethod(this, [this] { commissioning->activate(); }, Qt::QueuedConnection);
        return;
    }
    finish();
}

void StationRunner::finish(const QString &error)
{
    if (!inProgress)
        return;
    inProgress = false;
    report.error = error;
    if (report.port.isEmpty())
        report.port = portName;
    if (error.isEmpty())
        say(QStringLiteral("done"));
    else
        say(QStringLiteral("failed: ") + error);
    lastNotice.clear();
    emit nodeDone(report);
}
