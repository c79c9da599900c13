#include "stationview.h"

#include "commissioningprofile.h"
#include "formsigfox5d.h"
#include "journalforwarder.h"
#include "journalhistory.h"
#include "nodeform.h"
#include "noticepresenter.h"
#include "portlist.h"
#include "serialnodelink.h"
#include "textprompt.h"
#include "ui_stationview.h"

#include <QColor>
#include <QDateTime>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPalette>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QtDebug>

#include <utility>

namespace {

const char kIdleText[] = QT_TRANSLATE_NOOP("StationView", "Reset Node while connected");
const char kApplyFailedText[] = QT_TRANSLATE_NOOP("StationView", "Apply FAILED\nReset Node");
const char kApplySucceededText[] = QT_TRANSLATE_NOOP("StationView", "Update Success\nPlease Wait...");
const char kApplyTimedOutText[] = QT_TRANSLATE_NOOP("StationView", "Apply Timed out\nReset Node");
const char kNodeSleepingText[] = QT_TRANSLATE_NOOP("StationView", "Node Sleeping\nConnect another and reset.");
const char kConnectTimedOutText[] = QT_TRANSLATE_NOOP("StationView", "Connect Timed out\nReset Node");
const char kNotConfiguredText[] = QT_TRANSLATE_NOOP("StationView", "Node not configured\nTry another Node");
const char kFirmwareTooOldText[] = QT_TRANSLATE_NOOP("StationView", "Firmware too old\nSet node aside");
const char kKeyMismatchText[] = QT_TRANSLATE_NOOP("StationView", "Node key does not match\nCheck the tool's node key");
const char kLoginFailedText[] = QT_TRANSLATE_NOOP("StationView", "Not logged in\nLog in again");
const char kPortUnavailableText[] = QT_TRANSLATE_NOOP("StationView", "Port unavailable\n");
const char kPortReturnAwaitedText[] = QT_TRANSLATE_NOOP("StationView", "Waiting for the node's port\nto come back\n");
// The link's words for a device that went away, said in the operator's language.
const char kDeviceGoneReason[] = QT_TRANSLATE_NOOP("StationView", "The device is no longer connected");
const char kPortFailurePrefix[] = QT_TRANSLATE_NOOP("StationView", "Could not open serial port ");

// The identity a node of a given type can be given through the configure path.
struct IdentityEntry
{
    const char *title;
    const char *label;
    const char *pattern;
    const char *error;
};
const IdentityEntry kSigfoxIdentity
    = {QT_TRANSLATE_NOOP("StationView", "Set SigFox Data"), QT_TRANSLATE_NOOP("StationView", "SigFox Data:"),
        "[0-9A-F]{96}", QT_TRANSLATE_NOOP("StationView", "Sigfox Data must be 48 HEX bytes long")};
const IdentityEntry kDeviceIdIdentity
    = {QT_TRANSLATE_NOOP("StationView", "Set Device ID"), QT_TRANSLATE_NOOP("StationView", "Device ID:"),
        "[0-9A-F]{16}", QT_TRANSLATE_NOOP("StationView", "Device ID must be 8 HEX bytes long")};

using State = CommissioningSession::State;

// How each state shows: the state text (none where the busy bar or the form stands in its place) and its colour.
// The dot in the station's tab is the state's mood (StationOutcome).
struct StateLook
{
    State state;
    const char *text;
    Qt::GlobalColor colour;
};
const StateLook kStateLooks[] = {
    {State::WaitingForNode, kIdleText, Qt::black},
    {State::LoginNeeded, kIdleText, Qt::black},
    {State::LoggingIn, kIdleText, Qt::black},
    {State::Reading, nullptr, Qt::black},
    {State::Writing, nullptr, Qt::black},
    {State::Registering, nullptr, Qt::black},
    {State::NodeShown, nullptr, Qt::black},
    {State::UpdateSucceeded, kApplySucceededText, Qt::darkGreen},
    {State::NodeSleeping, kNodeSleepingText, Qt::darkGreen},
    {State::ConnectTimedOut, kConnectTimedOutText, Qt::red},
    {State::NotConfigured, kNotConfiguredText, Qt::darkYellow},
    {State::ApplyFailed, kApplyFailedText, Qt::red},
    {State::ApplyTimedOut, kApplyTimedOutText, Qt::red},
    {State::FirmwareTooOld, kFirmwareTooOldText, Qt::darkYellow},
    {State::KeyMismatch, kKeyMismatchText, Qt::red},
    {State::LoginFailed, kLoginFailedText, Qt::red},
    {State::PortUnavailable, kPortUnavailableText, Qt::red},
    {State::PortReturnAwaited, kPortReturnAwaitedText, Qt::darkYellow},
};

const StateLook &lookOf(State state)
{
    for (const StateLook &look : kStateLooks) {
        if (look.state == state)
            return look;
    }
    return kStateLooks[0];
}

void paint(QLabel *label, const QColor &colour)
{
    QPalette palette = label->palette();
    palette.setBrush(QPalette::All, label->foregroundRole(), QBrush(colour, Qt::SolidPattern));
    label->setPalette(palette);
}

} // namespace

StationView::StationView(ServerSession *server, CommissioningJournal *journal, NoticePresenter *notices,
    const Pacing &pacing, QWidget *parent)
    : QWidget(parent)
    , ui(new Ui::StationView)
    , notices(notices)
    , journal(journal)
{
    ui->setupUi(this);
    ui->progressBar->hide();
    layOut();

    commissioning = new CommissioningSession(new SerialNodeLink(pacing), server, journal, pacing, this);
    // A mistyped password is asked for again, with the node read kept.
    commissioning->setAsksAgainAfterRefusal(true);
    connect(commissioning, &CommissioningSession::stateChanged, this, &StationView::renderState);
    connect(commissioning, &CommissioningSession::actionsChanged, this, &StationView::renderActions);
    connect(commissioning, &CommissioningSession::formRequested, this, &StationView::showForm);
    connect(commissioning, &CommissioningSession::formDismissed, this, &StationView::removeForm);
    connect(commissioning, &CommissioningSession::notice, this, [this](const CommissioningSession::Notice &notice) {
        // A run by the profile says its steps in the node area; a box that needs a click would stop the
        // hands-free station. Failures are still boxed.
        if (runOnShow && shownRun.outcome == CommissioningSession::AutoRun::Outcome::Running
            && notice.level == CommissioningSession::Notice::Level::Information) {
            qInfo().noquote() << "MainWindow: " + notice.title + ": " + notice.text;
            return;
        }
        this->notices->present(notice);
    });
    connect(commissioning, &CommissioningSession::autoRunChanged, this, &StationView::renderAutoRun);
    connect(commissioning, &CommissioningSession::noteChanged, this, &StationView::renderNote);
    connect(commissioning, &CommissioningSession::labelChecked, this, &StationView::renderLabelResult);
    connect(commissioning, &CommissioningSession::questionAsked, this, &StationView::askQuestion);
    connect(commissioning, &CommissioningSession::applyRequested, this, [this] {
        if (currentForm)
            currentForm->applyUpdates();
    });
    connect(commissioning, &CommissioningSession::identityRequested, this, &StationView::configureID);
    // Before the first port is chosen, so that its outcome is not missed.
    connect(commissioning, &CommissioningSession::portOpened, this, &StationView::noteSerialPortOpened);
    connect(commissioning, &CommissioningSession::portFailed, this, &StationView::reportSerialPortFailure);
    connect(ui->labelEdit, &QLineEdit::returnPressed, this, [this] {
        commissioning->checkLabel(ui->labelEdit->text());
        // A scanner cannot clear the field: the next scan replaces what was scanned instead of adding to it.
        ui->labelEdit->selectAll();
    });
    connect(ui->labelEdit, &QLineEdit::textChanged, this, [this](const QString &text) {
        if (text.isEmpty())
            commissioning->checkLabel(QString());
    });

    connect(ui->portRefreshButton, &QPushButton::clicked, this, &StationView::refreshPorts);
    connect(ui->disconnectButton, &QPushButton::clicked, commissioning, &CommissioningSession::disconnectNode);
    connect(ui->registerButton, &QPushButton::clicked, this, &StationView::registerNode);
    connect(ui->sleepButton, &QPushButton::clicked, this, [this] {
        commissioning->setUnappliedEdits(currentForm && currentForm->hasUnappliedEdits());
        commissioning->activate();
    });

    portList = new PortList(ui->serialCombo, this);
    connect(portList, &PortList::portChosen, this, &StationView::portPicked);
    renderState(commissioning->state());
}

StationView::~StationView()
{
    // The session goes first: it stops the link thread, which must not deliver anything to widgets that are
    // already gone.
    delete commissioning;
    commissioning = nullptr;
    delete progress.data();
    delete ui;
}

QString StationView::portName() const
{
    return portList->currentPort();
}

StationView::Mood StationView::mood() const
{
    if (runOnShow) {
        switch (shownRun.outcome) {
        case CommissioningSession::AutoRun::Outcome::Running:
            return Mood::Busy;
        case CommissioningSession::AutoRun::Outcome::Passed:
            return Mood::Good;
        case CommissioningSession::AutoRun::Outcome::Failed:
            return Mood::Bad;
        case CommissioningSession::AutoRun::Outcome::Off:
            break;
        }
    }
    return StationOutcome::of(commissioning->state()).mood;
}

bool StationView::awaitsLabel() const
{
    const auto profile = commissioning->profile();
    return runOnShow && shownRun.outcome == CommissioningSession::AutoRun::Outcome::Running && profile
        && profile->requireLabel() && shownRun.verified && !shownRun.labelled && commissioning->isNodeShown();
}

void StationView::focusLabelField()
{
    ui->labelEdit->setFocus();
}

void StationView::layOut()
{
    // The label row keeps its place while no node is shown, so the node area below it does not move.
    for (QWidget *kept : {static_cast<QWidget *>(ui->labelCaption), static_cast<QWidget *>(ui->labelEdit)}) {
        QSizePolicy policy = kept->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        kept->setSizePolicy(policy);
    }
    ui->noteLabel->hide();
    ui->autoRunPanel->hide();
    setLabelBandVisible(false);
    // The node area shows through the scroll area's viewport in the window's own colours.
    ui->nodeScroll->viewport()->setAutoFillBackground(false);
    ui->verticalLayoutWidget->setAutoFillBackground(false);
    placeNodeArea();
}

void StationView::placeNodeArea()
{
    // A form stands at the top of the area with its notes right under it; a message or the busy bar without a
    // form stands in the middle.
    const int above = ui->nodeAreaLayout->indexOf(ui->aboveStateSpacer);
    ui->nodeAreaLayout->setStretch(above, currentForm || runOnShow ? 0 : 1);
    ui->nodeAreaLayout->setStretch(ui->nodeAreaLayout->indexOf(ui->belowNodeSpacer), 1);
}

void StationView::fillPorts(const QString &remembered)
{
    rememberedPort = remembered;
    const QString port = portList->fill(remembered);
    if (!port.isEmpty())
        commissioning->choosePort(port);
    emit appearanceChanged();
}

void StationView::setHeldPorts(const QMap<QString, QString> &held)
{
    portList->setHeldPorts(held);
}

void StationView::portPicked(const QString &path)
{
    if (path.isEmpty())
        return;
    const QString previous = commissioning->openPort().isEmpty() ? rememberedPort : commissioning->openPort();
    if (!(currentForm && currentForm->hasUnappliedEdits())) {
        switchPort(path);
        return;
    }
    // The node on show goes with its port: its edits are written first, dropped, or the port stays.
    portList->select(previous);
    auto *box = new QMessageBox(this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->setIcon(QMessageBox::Question);
    box->setWindowTitle(tr("Serial Connection"));
    box->setText(tr("Apply the changes first?"));
    box->setInformativeText(tr("Some fields were changed but not written to the node. Apply writes them to "
                               "the node and keeps this port; Discard drops them and changes to %1.")
                                .arg(path));
    QAbstractButton *apply = box->addButton(QMessageBox::Apply);
    QAbstractButton *discard = box->addButton(QMessageBox::Discard);
    box->addButton(QMessageBox::Cancel);
    box->setDefaultButton(QMessageBox::Apply);
    connect(box, &QMessageBox::buttonClicked, this, [this, path, apply, discard](QAbstractButton *button) {
        if (button == apply && currentForm)
            currentForm->applyUpdates();
        else if (button == discard)
            switchPort(path);
    });
    box->open();
}

void StationView::switchPort(const QString &path)
{
    portList->select(path);
    rememberedPort = path;
    commissioning->choosePort(path);
    emit portChosen(path);
    emit appearanceChanged();
}

void StationView::setProfile(std::shared_ptr<const CommissioningProfile> profile)
{
    commissioning->setProfile(std::move(profile));
}

void StationView::refreshPorts()
{
    fillPorts(rememberedPort);
    commissioning->resetNode();
    emit resetNode();
}

namespace {
// The node's identifier as the journal and the shared database group it.
QString journalIdentifier(const Node &node)
{
    return JournalHistory::identifierOf(
        QJsonObject{{node.isSigfox() ? QStringLiteral("sigfoxId") : QStringLiteral("devEui"), node.identity()}});
}
} // namespace

void StationView::setSharedDatabase(JournalForwarder *forwarder)
{
    if (sharedDatabase)
        disconnect(sharedDatabase, nullptr, this, nullptr);
    sharedDatabase = forwarder;
    checkedIdentifier.clear();
    runCheckedIdentifier.clear();
    runCheckAnswer = nullptr;
    if (!forwarder) {
        commissioning->setRegistrationCheck(nullptr);
        return;
    }
    connect(forwarder, &JournalForwarder::registrationChecked, this, &StationView::registrationChecked);
    // A station run by its profile asks the same question before it registers; with no one to answer it, a node
    // another bench registered ends the run instead.
    commissioning->setRegistrationCheck([this](const Node &node, std::function<void(const QString &refusal)> answer) {
        if (!sharedDatabase) {
            answer(QString());
            return;
        }
        runCheckedIdentifier = journalIdentifier(node);
        runCheckAnswer = std::move(answer);
        emit duplicateCheckAsked(true);
        sharedDatabase->checkRegistration(runCheckedIdentifier);
    });
}

void StationView::registerNode()
{
    const std::optional<Node> node = commissioning->nodeOnShow();
    if (!sharedDatabase || !node) {
        registerShownNode();
        return;
    }
    const QString identifier = journalIdentifier(*node);
    if (checkedIdentifier == identifier)
        return; // the question is out already
    // An answer still due for a node that has gone is dropped when it comes.
    checkedIdentifier = identifier;
    emit duplicateCheckAsked(true);
    sharedDatabase->checkRegistration(checkedIdentifier);
}

void StationView::registerShownNode()
{
    commissioning->setUnappliedEdits(currentForm && currentForm->hasUnappliedEdits());
    commissioning->registerNode(currentForm ? currentForm->lockDescriptionText : QString());
}

void StationView::registrationChecked(
    const QString &identifier, bool asked, const QString &otherBench, qint64 registeredMsecs, const QString &problem)
{
    // The answer is for a run by the profile, or for the operator's Register.
    std::function<void(const QString &refusal)> runAnswer;
    if (runCheckAnswer && identifier == runCheckedIdentifier) {
        runAnswer = std::exchange(runCheckAnswer, nullptr);
        runCheckedIdentifier.clear();
    } else if (!checkedIdentifier.isEmpty() && identifier == checkedIdentifier) {
        checkedIdentifier.clear();
    } else {
        return;
    }
    emit duplicateCheckAsked(false);
    // The node may have gone while the database was asked.
    const std::optional<Node> node = commissioning->nodeOnShow();
    if (!node || journalIdentifier(*node) != identifier)
        return;
    const auto goOn = [this, &runAnswer] {
        if (runAnswer)
            runAnswer(QString());
        else
            registerShownNode();
    };
    if (!asked) {
        // The bench goes on without the check; the journal says it was skipped and why.
        journal->recordDuplicateCheck(*node, QStringLiteral("skipped"), QString(), QString(), problem);
        emit duplicateCheckSkipped(problem);
        goOn();
        return;
    }
    if (otherBench.isEmpty()) {
        journal->recordDuplicateCheck(*node, QStringLiteral("clear"));
        goOn();
        return;
    }
    const QDateTime registered = QDateTime::fromMSecsSinceEpoch(registeredMsecs, Qt::UTC);
    journal->recordDuplicateCheck(
        *node, QStringLiteral("registeredElsewhere"), otherBench, registered.toString(Qt::ISODate));
    const QString when = QLocale().toString(registered.toLocalTime(), QStringLiteral("yyyy-MM-dd HH:mm t"));
    if (runAnswer) {
        // A run has no one to ask: it stops with the answer.
        runAnswer(tr("Already registered at bench %1 on %2").arg(otherBench, when));
        return;
    }
    auto *box = new QMessageBox(QMessageBox::Question, tr("Register"),
        tr("Already registered at bench %1 on %2 — register again?").arg(otherBench, when),
        QMessageBox::Yes | QMessageBox::No, this);
    box->setObjectName(QStringLiteral("alreadyRegisteredBox"));
    // The bench's name is what another bench typed: shown as it is, never as markup.
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setDefaultButton(QMessageBox::No);
    const QString asked_for = identifier;
    connect(box, &QMessageBox::finished, this, [this, asked_for](int answer) {
        const std::optional<Node> shown = commissioning->nodeOnShow();
        if (answer == QMessageBox::Yes && shown && journalIdentifier(*shown) == asked_for)
            registerShownNode();
    });
    box->open();
}

void StationView::configureID(Node::eFirmwareType type)
{
    if (!Node::isKnownType(type)) {
        notices->present(
            {CommissioningSession::Notice::Level::Critical, tr("Unknown Device"), tr("Please retry"), QString()});
        return;
    }
    const bool sigfox = Node::isSigfoxType(type);
    const IdentityEntry &entry = sigfox ? kSigfoxIdentity : kDeviceIdIdentity;
    const QString title = tr(entry.title);
    TextPrompt::open(this, title, tr(entry.label), QString(), [this, entry, title, sigfox](const QString &text) {
        // The whole text must match; the digits go to the node exactly as typed.
        const QRegularExpression pattern(QRegularExpression::anchoredPattern(QString::fromLatin1(entry.pattern)),
            QRegularExpression::CaseInsensitiveOption);
        if (!pattern.match(text).hasMatch()) {
            notices->present({CommissioningSession::Notice::Level::Critical, title, tr(entry.error), QString()});
            return;
        }
        if (sigfox)
            commissioning->setSigfoxData(text);
        else
            commissioning->setDeviceId(text);
    });
}

void StationView::noteSerialPortOpened()
{
    clearPortFailure();
}

void StationView::reportSerialPortFailure(const QString &name, const QString &reason)
{
    // With no port listed the link is given no name; the empty port list already says all there is.
    if (name.isEmpty()) {
        clearPortFailure();
        return;
    }
    const QString shownReason = reason == QLatin1String(kDeviceGoneReason) ? tr(kDeviceGoneReason) : reason;
    portFailureMessage = tr(kPortFailurePrefix) + name + QStringLiteral(": ") + shownReason;
    // The link's own log line names only the port; this one gives the cause as well.
    qInfo().noquote() << QStringLiteral("MainWindow: ") + QString::fromLatin1(kPortFailurePrefix) + name
            + QStringLiteral(": ") + reason;
    emit appearanceChanged();
}

void StationView::clearPortFailure()
{
    if (portFailureMessage.isEmpty())
        return;
    portFailureMessage.clear();
    emit appearanceChanged();
}

void StationView::setLabelBandVisible(bool visible)
{
    ui->labelCaption->setVisible(visible);
    ui->labelEdit->setVisible(visible);
    if (!visible) {
        ui->labelEdit->clear();
        ui->labelResultLabel->clear();
        ui->labelResultLabel->hide();
    }
}

void StationView::renderNote(const CommissioningSession::NodeNote &note)
{
    ui->noteLabel->setText(note.text);
    arrangeNodeArea();
    QColor colour = Qt::black;
    if (note.tone == CommissioningSession::NodeNote::Tone::Good)
        colour = Qt::darkGreen;
    else if (note.tone == CommissioningSession::NodeNote::Tone::Bad)
        colour = Qt::red;
    paint(ui->noteLabel, colour);
}

void StationView::askQuestion(CommissioningSession::Question question, CommissioningSession::Action action)
{
    using Answer = CommissioningSession::Answer;
    auto *box = new QMessageBox(this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->setIcon(QMessageBox::Question);
    QMap<QAbstractButton *, Answer> answers;
    if (question == CommissioningSession::Question::ApplyChangesFirst) {
        box->setWindowTitle(action == CommissioningSession::Action::Register ? tr("Register") : tr("Activate"));
        box->setText(tr("Apply the changes first?"));
        box->setInformativeText(tr("Some fields were changed but not written to the node. Apply "
                                   "writes them and reads the node again; Discard goes on with the "
                                   "node as it was read."));
        answers.insert(box->addButton(QMessageBox::Apply), Answer::Apply);
        answers.insert(box->addButton(QMessageBox::Discard), Answer::Discard);
        answers.insert(box->addButton(QMessageBox::Cancel), Answer::Cancel);
        box->setDefaultButton(QMessageBox::Apply);
    } else {
        box->setWindowTitle(tr("Activate"));
        box->setText(tr("This node has not been registered. Put it to sleep anyway?"));
        box->setInformativeText(tr("A sleeping node cannot be reached until it is reset."));
        QAbstractButton *sleep = box->addButton(tr("Put to sleep"), QMessageBox::AcceptRole);
        answers.insert(sleep, Answer::Proceed);
        answers.insert(box->addButton(QMessageBox::Cancel), Answer::Cancel);
        box->setDefaultButton(QMessageBox::Cancel);
    }
    connect(box, &QMessageBox::buttonClicked, this, [this, question, action, answers](QAbstractButton *button) {
        commissioning->answerQuestion(question, action, answers.value(button, Answer::Cancel));
    });
    box->open();
}

void StationView::renderLabelResult(const CommissioningSession::LabelResult &result)
{
    using Outcome = CommissioningSession::LabelResult::Outcome;
    // One line under the field; a text too long for it is cut in the middle and given whole in its tooltip.
    ui->labelResultLabel->setText(result.text);
    ui->labelResultLabel->setVisible(!result.text.isEmpty());
    QColor colour = Qt::black;
    if (result.outcome == Outcome::Matches)
        colour = Qt::darkGreen;
    else if (result.outcome == Outcome::Mismatch || result.outcome == Outcome::Unreadable)
        colour = Qt::red;
    paint(ui->labelResultLabel, colour);
    // After a match the scanner goes on with the lock description, which is often scanned too.
    if (result.outcome == Outcome::Matches && currentForm) {
        if (auto *description = currentForm->findChild<QLineEdit *>(QStringLiteral("lockDescriptionEdit")))
            description->setFocus();
    }
}

// ---- rendering --------------------------------------------------------------------------------------------

void StationView::renderState(CommissioningSession::State state)
{
    const bool reading = state == State::Reading;
    ui->progressBar->setVisible(reading);

    // A new node read ends the show of the last one's run; the read back after the run's own write goes on.
    if (reading && shownRun.outcome != CommissioningSession::AutoRun::Outcome::Running)
        runOnShow = false;

    if (state == State::LoggingIn)
        showProgress(tr("Logging in..."));
    else if (state == State::Registering
        && !(runOnShow && shownRun.outcome == CommissioningSession::AutoRun::Outcome::Running))
        showProgress(tr("Registering..."));
    else
        hideProgress();

    // A port that could not be opened is reported only while the station says so; once it has moved on (the
    // port list was refreshed, another port chosen), the status bar no longer holds the old failure.
    if (state != State::PortUnavailable)
        clearPortFailure();

    const StateLook &look = lookOf(state);
    if (look.text) {
        QString text = tr(look.text);
        if (state == State::PortUnavailable)
            text += commissioning->portProblem();
        else if (state == State::PortReturnAwaited)
            text += commissioning->awaitedPort().section(QLatin1Char('/'), -1);
        showStateMessage(look.colour, text);
    }
    if (state == State::UpdateSucceeded) {
        if (runOnShow && shownRun.outcome == CommissioningSession::AutoRun::Outcome::Running) {
            runWriteTaken = true;
            ui->autoStepsLabel->setText(stepsText());
        }
        emit resetNode();
    }
    arrangeNodeArea();
    renderActions();
    emit appearanceChanged();
    if (state == State::LoginNeeded)
        emit loginNeeded();
}

void StationView::renderActions()
{
    const bool shown = commissioning->isNodeShown();
    // While the profile runs the node, its steps are the run's: Register and Activate wait for its end.
    ui->registerButton->setEnabled(commissioning->canRegister() && !commissioning->runsByItself());
    ui->sleepButton->setEnabled(commissioning->canActivate() && !commissioning->runsByItself());
    // While a port that went away is awaited, Disconnect ends the wait and lets the port go.
    ui->disconnectButton->setEnabled(shown || commissioning->state() == State::PortReturnAwaited);
    ui->portRefreshButton->setEnabled(!shown);
}

void StationView::showForm(const Node &node)
{
    removeForm();
    NodeForm *form = NodeForm::create(node, nullptr);
    if (!form)
        return;
    const CommissioningSession::FormPreset preset = commissioning->preset();
    form->preset(preset.flags, preset.lockedFlags, preset.tooltips);
    connect(form, &NodeForm::updateNode, commissioning, &CommissioningSession::applySettings);
    if (auto *sigfox5d = qobject_cast<FormSigFox5d *>(form)) {
        connect(sigfox5d, &FormSigFox5d::enableRegisterActivateButton, commissioning,
            &CommissioningSession::allowRegisterAndActivate);
    }
    currentForm = form;
    // Right below the state label, at its own size and centred; the note on the node stays under the form.
    ui->mainLayout->insertWidget(ui->mainLayout->indexOf(ui->noteLabel), form, 0, Qt::AlignHCenter);
    arrangeNodeArea();
    clearPortFailure();
    // First the node's own "Communication:" text, which names its type in a profile: the form's title does not
    // tell every type apart.
    versions = Node::communicationText(node.firmwareType) + tr("  |   ") + tr("Node: ") + node.nodeVersion
        + tr("  |   Ormix: ") + node.moduleVersion + tr("  |   Semtech: ") + node.loraVersion;
    // A scanner types into whatever has the focus: the label field, so no click is needed first. A station in a
    // tab behind another does not take the focus from the one the operator sees.
    setLabelBandVisible(true);
    if (isVisible())
        ui->labelEdit->setFocus();
    emit appearanceChanged();
}

void StationView::removeForm()
{
    // While the node restarts after its run's write, the label field stays: a scan then is checked once the node
    // is read back.
    const auto profile = commissioning->profile();
    const CommissioningSession::AutoRun run = commissioning->autoRun();
    if (!(commissioning->runsByItself() && run.writeAsked && !run.verified && profile && profile->requireLabel()))
        setLabelBandVisible(false);
    if (currentForm) {
        ui->mainLayout->removeWidget(currentForm);
        currentForm->hide();
        currentForm->deleteLater();
        currentForm = nullptr;
        arrangeNodeArea();
    }
    versions.clear();
    emit appearanceChanged();
}

void StationView::showProgress(const QString &label)
{
    if (!progress) {
        progress = new QProgressDialog(label, QString(), 0, 0);
        progress->setCancelButton(nullptr);
        progress->setWindowModality(Qt::WindowModal);
        progress->setAttribute(Qt::WA_DeleteOnClose);
    }
    progress->setLabelText(label);
    progress->show();
}

void StationView::hideProgress()
{
    if (progress)
        progress->close();
}

void StationView::showStateMessage(const QColor &colour, const QString &text)
{
    paint(ui->stateLabel, colour);
    ui->stateLabel->setText(text);
}

// ---- a station run by its profile --------------------------------------------------------------------------

void StationView::renderAutoRun(const CommissioningSession::AutoRun &run)
{
    using Outcome = CommissioningSession::AutoRun::Outcome;
    const bool wasRunning = shownRun.outcome == Outcome::Running;
    const bool awaitedLabel = awaitsLabel();
    shownRun = run;
    if (run.outcome == Outcome::Off)
        runOnShow = false;
    else if (run.outcome == Outcome::Running && !wasRunning) {
        runOnShow = true;
        runWriteTaken = false;
    }
    if (runOnShow) {
        ui->autoStepsLabel->setText(stepsText());
        const bool passed = run.outcome == Outcome::Passed;
        const bool failed = run.outcome == Outcome::Failed;
        ui->autoVerdictBand->setVisible(passed || failed);
        if (passed || failed) {
            // White on a full-width band of green or red: told apart from across the room by colour alone.
            QPalette band = ui->autoVerdictBand->palette();
            band.setColor(QPalette::Window, passed ? QColor(0x1b, 0x7a, 0x2e) : QColor(0xc6, 0x28, 0x28));
            ui->autoVerdictBand->setPalette(band);
            paint(ui->autoVerdictLabel, Qt::white);
            paint(ui->autoReasonLabel, Qt::white);
            ui->autoVerdictLabel->setText(passed ? tr("PASS") : tr("FAIL"));
            ui->autoReasonLabel->setText(run.reason);
            ui->autoReasonLabel->setVisible(failed && !run.reason.isEmpty());
        }
    }
    arrangeNodeArea();
    renderActions(); // Register and Activate are the operator's again once the run has ended
    // The run now waits for the scan: the scanner's text goes into the label field.
    if (!awaitedLabel && awaitsLabel() && isVisible())
        focusLabelField();
    if (wasRunning && (run.outcome == Outcome::Passed || run.outcome == Outcome::Failed)) {
        // The node put to sleep is no longer on show: the one read last is the one that ran.
        const Node node = commissioning->nodeOnShow().value_or(commissioning->lastNodeRead().value_or(Node()));
        emit autoRunEnded(run.outcome == Outcome::Passed, node, run.reason);
    }
    emit appearanceChanged();
}

QString StationView::stepsText() const
{
    using Outcome = CommissioningSession::AutoRun::Outcome;
    const auto profile = commissioning->profile();
    const CommissioningProfile::Automation automation
        = profile ? profile->automation() : CommissioningProfile::Automation();
    struct Step
    {
        QString name;
        bool done;
    };
    // The steps the profile takes, in their order; a node that already matched needs no write.
    QList<Step> steps;
    steps.append({tr("Read"), true});
    const bool nothingWritten = shownRun.verified && !shownRun.writeAsked;
    steps.append(
        {nothingWritten ? tr("Nothing to write") : tr("Written"), shownRun.written || runWriteTaken || nothingWritten});
    steps.append({tr("Verified"), shownRun.verified});
    if (profile && profile->requireLabel())
        steps.append({tr("Label scanned"), shownRun.labelled});
    if (automation.registerNode)
        steps.append({tr("Registered"), shownRun.registered});
    if (automation.activate)
        steps.append({tr("Asleep"), shownRun.asleep});

    // Done steps are ticked; the first one not done is the one under way, or the one that failed.
    QStringList lines;
    bool current = true;
    for (const Step &step : qAsConst(steps)) {
        QString mark;
        QString colour;
        if (step.done) {
            mark = QStringLiteral("\u2714");
            colour = QStringLiteral("#1b7a2e");
        } else if (current && shownRun.outcome == Outcome::Failed) {
            mark = QStringLiteral("\u2718");
            colour = QStringLiteral("#c62828");
            current = false;
        } else if (current && shownRun.outcome == Outcome::Running) {
            mark = QStringLiteral("\u25B6");
            colour = QStringLiteral("#000000");
            current = false;
        } else {
            mark = QStringLiteral("\u25CB");
            colour = QStringLiteral("#8a8a8a");
        }
        lines << QStringLiteral("<span style=\"color:%1\">%2&nbsp;&nbsp;%3</span>")
                     .arg(colour, mark, step.name.toHtmlEscaped());
    }
    return lines.join(QStringLiteral("<br>"));
}

void StationView::arrangeNodeArea()
{
    using Outcome = CommissioningSession::AutoRun::Outcome;
    const State state = commissioning->state();
    const bool reading = state == State::Reading;
    ui->autoRunPanel->setVisible(runOnShow);
    // While the run goes on and once it passed, its steps take the form's place; after a failure the form is
    // back under the verdict, so that the operator may go on by hand.
    const bool formShown = currentForm && (!runOnShow || shownRun.outcome == Outcome::Failed);
    if (currentForm)
        currentForm->setVisible(formShown);
    // The state text gives way to the busy bar while a node is read, to the form while one is shown, and to
    // the steps while a run goes on.
    ui->stateLabel->setVisible(!reading && !(currentForm && state != State::NotConfigured)
        && !(runOnShow && shownRun.outcome == Outcome::Running));
    ui->noteLabel->setVisible(!ui->noteLabel->text().isEmpty() && (!runOnShow || shownRun.outcome == Outcome::Failed));
    placeNodeArea();
}
