#include "mainwindow.h"

#include "applicationicon.h"
#include "commandresult.h"
#include "formsigfox5d.h"
#include "historywindow.h"
#include "nodeform.h"
#include "noticepresenter.h"
#include "passworddialog.h"
#include "portlist.h"
#include "protectedfieldcipher.h"
#include "registrationoutbox.h"
#include "ui_mainwindow.h"

#include <QApplication>
#include <QColor>
#include <QGuiApplication>
#include <QIcon>
#include <QInputDialog>
#include <QEvent>
#include <QFileDialog>
#include <QMessageBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>
#include <QLoggingCategory>
#include <QPalette>
#include <QProgressDialog>
#include <QRegularExpression>
#include <QScreen>
#include <QPushButton>
#include <QStatusBar>

Q_LOGGING_CATEGORY(lcApp, "iot.app")

namespace {

const char kVersion[] = "0.0.8";
const char kWindowTitle[] = "Tessaline IoT Commission Tool";
const char kAboutTitle[] = QT_TRANSLATE_NOOP("MainWindow", "About Tessaline IoT Commission Tool");

const char *const kOrganisation = MainWindow::kOrganisationName;
const char *const kApplication = MainWindow::kApplicationName;
const char kServerKey[] = "JSONregister/server";
const char kCaFileKey[] = "JSONregister/caFile";
const char kProfileKey[] = "profile/path";
const char kLotKey[] = "journal/lot";
const char kPortKey[] = "serial/port";

const char kIdleText[] = QT_TRANSLATE_NOOP("MainWindow", "Reset Node while connected");
const char kApplyFailedText[] = QT_TRANSLATE_NOOP("MainWindow", "Apply FAILED\nReset Node");
const char kApplySucceededText[] = QT_TRANSLATE_NOOP("MainWindow", "Update Success\nPlease Wait...");
const char kApplyTimedOutText[] = QT_TRANSLATE_NOOP("MainWindow", "Apply Timed out\nReset Node");
const char kNodeSleepingText[] = QT_TRANSLATE_NOOP("MainWindow", "Node Sleeping\nConnect another and reset.");
const char kConnectTimedOutText[] = QT_TRANSLATE_NOOP("MainWindow", "Connect Timed out\nReset Node");
const char kNotConfiguredText[] = QT_TRANSLATE_NOOP("MainWindow", "Node not configured\nTry another Node");
const char kFirmwareTooOldText[] = QT_TRANSLATE_NOOP("MainWindow", "Firmware too old\nSet node aside");
const char kKeyMismatchText[] = QT_TRANSLATE_NOOP("MainWindow", "Node key does not match\nCheck the tool's node key");
const char kLoginFailedText[] = QT_TRANSLATE_NOOP("MainWindow", "Not logged in\nLog in again");

const char kServerPrefix[] = "http://";

// The designed layout at 520 x 700: the band for the label between the top row and the node area, which
// starts at 110 and is 541 high, with the busy bar 260 down in it.
constexpr int kBandTop = 76;
constexpr int kBandHeight = 28;
constexpr int kBandBottom = 6;
constexpr int kBandMargin = 10;
constexpr int kProgressInArea = 260;
constexpr int kDesignedAreaHeight = 541;
const char kPortFailurePrefix[] = QT_TRANSLATE_NOOP("MainWindow", "Could not open serial port ");

// The identity a node of a given type can be given through the configure path.
struct IdentityEntry
{
    const char *title;
    const char *label;
    const char *pattern;
    const char *error;
};
const IdentityEntry kSigfoxIdentity
    = {QT_TRANSLATE_NOOP("MainWindow", "Set SigFox Data"), QT_TRANSLATE_NOOP("MainWindow", "SigFox Data:"),
        "[0-9A-F]{96}", QT_TRANSLATE_NOOP("MainWindow", "Sigfox Data must be 48 HEX bytes long")};
const IdentityEntry kDeviceIdIdentity
    = {QT_TRANSLATE_NOOP("MainWindow", "Set Device ID"), QT_TRANSLATE_NOOP("MainWindow", "Device ID:"), "[0-9A-F]{16}",
        QT_TRANSLATE_NOOP("MainWindow", "Device ID must be 8 HEX bytes long")};

// A text input dialog run without a loop of its own: `accepted` gets the text when the operator presses OK.
void askForText(QWidget *parent, const QString &title, const QString &label, const QString &initial,
    std::function<void(const QString &)> accepted)
{
    auto *dialog = new QInputDialog(parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(title);
    dialog->setLabelText(label);
    dialog->setTextEchoMode(QLineEdit::Normal);
    dialog->setTextValue(initial);
    QObject::connect(dialog, &QInputDialog::textValueSelected, parent, std::move(accepted));
    dialog->open();
}

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
    , settings(QString::fromLatin1(kOrganisation), QString::fromLatin1(kApplication))
{
    ui->setupUi(this);
    ui->menuConfigure->menuAction()->setVisible(false);
    ui->progressBar->hide();
    layOutCentralWidget();

    versionLabel = new QLabel(this);
    versionLabel->setAlignment(Qt::AlignCenter);
    ui->statusBar->addWidget(versionLabel, 1);

    qRegisterMetaType<Node>("Node");
    qRegisterMetaType<NodeThresholds>("NodeThresholds");

    notices = new NoticePresenter(this);
    storageProblem = new QLabel(this);
    storageProblem->setObjectName(QStringLiteral("storageProblemLabel"));
    QPalette warning = storageProblem->palette();
    warning.setBrush(QPalette::All, storageProblem->foregroundRole(), QBrush(Qt::red));
    storageProblem->setPalette(warning);
    storageProblem->hide();
    ui->statusBar->addPermanentWidget(storageProblem);
    waitingLabel = new QLabel(this);
    waitingLabel->setObjectName(QStringLiteral("waitingRegistrationsLabel"));
    ui->statusBar->addPermanentWidget(waitingLabel);
    outbox = new RegistrationOutbox(RegistrationOutbox::defaultFilePath(), this);
    if (!outbox->isOpen()) {
        // Registrations are then posted directly; one the server does not accept is not kept.
        reportStorageProblem(
            tr("The registration outbox cannot be used (%1): %2").arg(outbox->filePath(), outbox->errorText()));
    }
    journal.setKeyFingerprint(ProtectedFieldCipher::keyFingerprint());
    serverSession = new ServerSession(&journal, outbox->isOpen() ? outbox : nullptr, this);
    connect(serverSession, &ServerSession::waitingChanged, this, &MainWindow::showWaitingRegistrations);
    serverSession->setServerAddress(settings.value(QString::fromLatin1(kServerKey)).toString());
    commissioning = new CommissioningSession(serverSession, &journal, this);

    connect(commissioning, &CommissioningSession::stateChanged, this, &MainWindow::renderState);
    connect(commissioning, &CommissioningSession::actionsChanged, this, &MainWindow::renderActions);
    connect(commissioning, &CommissioningSession::formRequested, this, &MainWindow::showForm);
    connect(commissioning, &CommissioningSession::formDismissed, this, &MainWindow::removeForm);
    connect(commissioning, &CommissioningSession::notice, notices, &NoticePresenter::present);
    connect(commissioning, &CommissioningSession::noteChanged, this, &MainWindow::renderNote);
    connect(commissioning, &CommissioningSession::labelChecked, this, &MainWindow::renderLabelResult);
    connect(commissioning, &CommissioningSession::questionAsked, this, &MainWindow::askQuestion);
    connect(commissioning, &CommissioningSession::recordingFailed, this, &MainWindow::reportStorageProblem);
    connect(commissioning, &CommissioningSession::applyRequested, this, [this] {
        if (currentForm)
            currentForm->applyUpdates();
    });
    connect(labelEdit, &QLineEdit::returnPressed, this, [this] { commissioning->checkLabel(labelEdit->text()); });
    connect(labelEdit, &QLineEdit::textChanged, this, [this](const QString &text) {
        if (text.isEmpty())
            commissioning->checkLabel(QString());
    });
    connect(commissioning, &CommissioningSession::identityRequested, this, &MainWindow::configureID);
    // Before the first port is chosen below, so that its outcome is not missed.
    connect(commissioning, &CommissioningSession::portOpened, this, &MainWindow::noteSerialPortOpened);
    connect(commissioning, &CommissioningSession::portFailed, this, &MainWindow::reportSerialPortFailure);

    connect(ui->actionAbout, &QAction::triggered, this, &MainWindow::showAbout);
    connect(ui->portRefreshButton, &QPushButton::clicked, this, &MainWindow::refreshSerialPortInfo);
    connect(ui->disconnectButton, &QPushButton::clicked, this, &MainWindow::disconnectNode);
    connect(ui->registerButton, &QPushButton::clicked, this, &MainWindow::registerNode);
    connect(ui->sleepButton, &QPushButton::clicked, this, [this] {
        commissioning->setUnappliedEdits(currentForm && currentForm->hasUnappliedEdits());
        commissioning->activate();
    });
    connect(ui->actionORVA_server, &QAction::triggered, this, &MainWindow::editServer);
    connect(ui->actionConfigure_Node, &QAction::triggered, this, &MainWindow::showConfigure);
    connect(ui->actionTrustedCa, &QAction::triggered, this, &MainWindow::chooseCaFile);
    connect(ui->actionLogInAgain, &QAction::triggered, commissioning, &CommissioningSession::retryLogin);
    connect(ui->actionProfile, &QAction::triggered, this, &MainWindow::chooseProfile);
    connect(ui->actionNoProfile, &QAction::triggered, this, [this] { useProfile(QString(), true); });
    connect(ui->actionLot, &QAction::triggered, this, &MainWindow::editLot);
    connect(ui->actionQuit, &QAction::triggered, this, &QWidget::close);
    connect(ui->actionHistory, &QAction::triggered, this, &MainWindow::showHistory);
    // Several stations in one window are not offered yet; the command line serves several ports at once.
    ui->actionStations->setVisible(false);
    // A menu's status tip replaces the port failure while it is hovered and clears it afterwards.
    connect(ui->statusBar, &QStatusBar::messageChanged, this, [this](const QString &message) {
        if (message.isEmpty() && !portFailureMessage.isEmpty())
            ui->statusBar->showMessage(portFailureMessage);
    });

    const QString caFile = settings.value(QString::fromLatin1(kCaFileKey)).toString();
    if (!caFile.isEmpty() && !serverSession->setCaCertificateFile(caFile))
        qCWarning(lcApp).noquote() << "MainWindow: the trusted CA certificate file cannot be used:" << caFile;
    profileLabel = new QLabel(this);
    profileLabel->setObjectName(QStringLiteral("profileLabel"));
    ui->statusBar->addPermanentWidget(profileLabel);
    lotLabel = new QLabel(this);
    lotLabel->setObjectName(QStringLiteral("lotLabel"));
    ui->statusBar->addPermanentWidget(lotLabel);
    journal.setLot(settings.value(QString::fromLatin1(kLotKey)).toString());
    showLot();
    useProfile(settings.value(QString::fromLatin1(kProfileKey)).toString(), false);

    loginAgainButton = new QPushButton(tr("Log in again"), this);
    loginAgainButton->setObjectName(QStringLiteral("loginAgainButton"));
    loginAgainButton->hide();
    ui->statusBar->addPermanentWidget(loginAgainButton);
    connect(loginAgainButton, &QPushButton::clicked, commissioning, &CommissioningSession::retryLogin);
    if (settings.status() != QSettings::NoError)
        reportStorageProblem(
            tr("The settings file %1 cannot be read; the tool starts as on a first start.").arg(settings.fileName()));
    if (!serverSession->isConfigured())
        ui->statusBar->showMessage(tr("No ORVA server is configured: Settings → ORVA server"));

    portList = new PortList(ui->serialCombo, this);
    connect(portList, &PortList::portChosen, this, [this] { setSerialPort(ui->serialCombo->currentIndex()); });
    fillSerialPortList();
    renderState(commissioning->state());
    showWaitingRegistrations();

    centreOnScreen();
    // A build with the published development key reads production nodes as garbage: it must never pass
    // unnoticed.
    if (ProtectedFieldCipher::isDevelopmentKey()) {
        setWindowTitle(QString::fromLatin1(kWindowTitle) + tr(" [development key]"));
        qCWarning(lcApp).noquote() << "MainWindow: this build uses the published development node key (fingerprint"
                                   << ProtectedFieldCipher::keyFingerprint() + QStringLiteral("); it cannot read "
                                                                                          "production nodes");
    } else {
        setWindowTitle(QString::fromLatin1(kWindowTitle));
    }

    // The working directory's IoT.png when there is one; a tool started from the desktop menu has none there
    // and shows its installed icon.
    const QIcon icon = ApplicationIcon::find();
    if (!icon.isNull())
        QApplication::setWindowIcon(icon);
}

MainWindow::~MainWindow()
{
    // The session goes first: it stops the link thread, which must not deliver anything to widgets that are
    // already gone.
    delete commissioning;
    commissioning = nullptr;
    delete serverSession;
    serverSession = nullptr;
    delete outbox;
    outbox = nullptr;
    delete loginDialog.data();
    delete progress.data();
    delete ui;
}

void MainWindow::layOutCentralWidget()
{
    // The top row keeps its designed place; below it, the label band and the node area take what the window
    // gives them, so the window may grow while at its first size everything stays where it was designed.
    auto *column = new QVBoxLayout(ui->centralWidget);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addSpacing(kBandTop);

    // The band keeps its height whether or not a label can be scanned, so the node area never moves.
    auto *bandWidget = new QWidget(ui->centralWidget);
    bandWidget->setFixedHeight(kBandHeight);
    auto *band = new QHBoxLayout(bandWidget);
    band->setContentsMargins(kBandMargin, 0, kBandMargin, 0);
    labelCaption = new QLabel(tr("Label"), bandWidget);
    labelEdit = new QLineEdit(bandWidget);
    labelEdit->setObjectName(QStringLiteral("labelEdit"));
    labelEdit->setPlaceholderText(tr("scan the node's label"));
    labelEdit->setClearButtonEnabled(true);
    labelCaption->setBuddy(labelEdit);
    labelResult = new QLabel(bandWidget);
    labelResult->setObjectName(QStringLiteral("labelResultLabel"));
    band->addWidget(labelCaption);
    band->addWidget(labelEdit, 2);
    band->addWidget(labelResult, 3);
    column->addWidget(bandWidget);
    column->addSpacing(kBandBottom);
    column->addWidget(ui->verticalLayoutWidget, 1);

    noteLabel = new QLabel(ui->verticalLayoutWidget);
    noteLabel->setObjectName(QStringLiteral("noteLabel"));
    noteLabel->setAlignment(Qt::AlignCenter);
    noteLabel->setWordWrap(true);
    noteLabel->hide();
    ui->mainLayout->addWidget(noteLabel);
    setLabelBandVisible(false);

    // The busy bar floats over the node area, centred across it and at its designed height in it.
    ui->verticalLayoutWidget->installEventFilter(this);
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->verticalLayoutWidget && (event->type() == QEvent::Resize || event->type() == QEvent::Move)) {
        const QRect area = ui->verticalLayoutWidget->geometry();
        ui->progressBar->move((ui->centralWidget->width() - ui->progressBar->width()) / 2,
            area.y() + kProgressInArea + (area.height() - kDesignedAreaHeight) / 2);
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::setLabelBandVisible(bool visible)
{
    labelCaption->setVisible(visible);
    labelEdit->setVisible(visible);
    labelResult->setVisible(visible);
    if (!visible) {
        labelEdit->clear();
        labelResult->clear();
    }
}

void MainWindow::renderNote(const CommissioningSession::NodeNote &note)
{
    noteLabel->setVisible(!note.text.isEmpty());
    noteLabel->setText(note.text);
    QPalette palette = noteLabel->palette();
    QColor colour = Qt::black;
    if (note.tone == CommissioningSession::NodeNote::Tone::Good)
        colour = Qt::darkGreen;
    else if (note.tone == CommissioningSession::NodeNote::Tone::Bad)
        colour = Qt::red;
    palette.setBrush(QPalette::All, noteLabel->foregroundRole(), QBrush(colour, Qt::SolidPattern));
    noteLabel->setPalette(palette);
}

void MainWindow::centreOnScreen()
{
    QScreen *screen = QGuiApplication::screenAt(frameGeometry().center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const double left = area.x() + area.width() / 2.0 - width() / 2.0;
    const double top = area.y() + area.height() / 2.0 - height() / 2.0;
    move(static_cast<int>(left), static_cast<int>(top));
}

void MainWindow::showAbout()
{
    const QString text = tr("Version: ") + QLatin1String(kVersion) + tr("\nBuild date: ") + QLatin1String(__DATE__)
        + QLatin1Char(' ') + QLatin1String(__TIME__);
    QString key = tr("Node key fingerprint: ") + ProtectedFieldCipher::keyFingerprint();
    if (ProtectedFieldCipher::isDevelopmentKey())
        key += tr(" (the published development key)");
    notices->present({CommissioningSession::Notice::Level::Information, tr(kAboutTitle), text, key});
}

void MainWindow::fillSerialPortList()
{
    const QString port = portList->fill(settings.value(QString::fromLatin1(kPortKey)).toString());
    if (!port.isEmpty())
        commissioning->choosePort(port);
}

void MainWindow::setSerialPort(int idx)
{
    const QString port = ui->serialCombo->itemData(idx, Qt::UserRole).toString();
    if (port.isEmpty())
        return;
    commissioning->choosePort(port);
    storeSetting(kPortKey, port);
}

void MainWindow::refreshSerialPortInfo()
{
    fillSerialPortList();
    commissioning->resetNode();
    emit resetNode();
}

void MainWindow::timedOut()
{
    commissioning->connectTimedOut();
}

void MainWindow::noteSerialPortOpened(const QString &name)
{
    Q_UNUSED(name)
    clearPortFailure();
}

void MainWindow::reportSerialPortFailure(const QString &name, const QString &reason)
{
    // With no port listed the link is given no name; the empty port list already says all there is.
    if (name.isEmpty()) {
        clearPortFailure();
        return;
    }
    portFailureMessage = tr(kPortFailurePrefix) + name + QStringLiteral(": ") + reason;
    // The link's own log line names only the port; this one gives the cause as well.
    qInfo().noquote() << QStringLiteral("MainWindow: ") + QString::fromLatin1(kPortFailurePrefix) + name
            + QStringLiteral(": ") + reason;
    ui->statusBar->showMessage(portFailureMessage);
}

void MainWindow::clearPortFailure()
{
    if (portFailureMessage.isEmpty())
        return;
    portFailureMessage.clear();
    ui->statusBar->clearMessage();
}

// ---- operator actions forwarded to the session ------------------------------------------------------------

void MainWindow::setBusy(bool busy)
{
    commissioning->linkBusy(busy);
}

void MainWindow::connectNode(Node node)
{
    commissioning->nodeConnected(node);
}

void MainWindow::applyResult(int result)
{
    commissioning->commandResult(static_cast<CommandResult>(result), CommandFailure::None);
}

void MainWindow::disconnectNode()
{
    commissioning->disconnectNode();
}

void MainWindow::nodeSleeping()
{
    commissioning->nodeSleeping();
}

void MainWindow::enableRegActivateButton(bool enabled)
{
    commissioning->allowRegisterAndActivate(enabled);
}

void MainWindow::registerNode()
{
    commissioning->setUnappliedEdits(currentForm && currentForm->hasUnappliedEdits());
    commissioning->registerNode(currentForm ? currentForm->lockDescriptionText : QString());
}

void MainWindow::askQuestion(CommissioningSession::Question question, CommissioningSession::Action action)
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

void MainWindow::renderLabelResult(const CommissioningSession::LabelResult &result)
{
    using Outcome = CommissioningSession::LabelResult::Outcome;
    labelResult->setText(result.text);
    labelResult->setToolTip(result.text);
    QColor colour = Qt::black;
    if (result.outcome == Outcome::Matches)
        colour = Qt::darkGreen;
    else if (result.outcome == Outcome::Mismatch || result.outcome == Outcome::Unreadable)
        colour = Qt::red;
    QPalette palette = labelResult->palette();
    palette.setBrush(QPalette::All, labelResult->foregroundRole(), QBrush(colour, Qt::SolidPattern));
    labelResult->setPalette(palette);
    // After a match the scanner goes on with the lock description, which is often scanned too.
    if (result.outcome == Outcome::Matches && currentForm) {
        if (auto *description = currentForm->findChild<QLineEdit *>(QStringLiteral("lockDescriptionEdit")))
            description->setFocus();
    }
}

void MainWindow::showConfigure()
{
    commissioning->readVersion();
}

void MainWindow::configureID(Node::eFirmwareType type)
{
    if (!Node::isKnownType(type)) {
        notices->present({CommissioningSession::Notice::Level::Critical, tr("Unknown Device"), tr("Please retry")});
        return;
    }
    const bool sigfox = Node::isSigfoxType(type);
    const IdentityEntry &entry = sigfox ? kSigfoxIdentity : kDeviceIdIdentity;
    const QString title = tr(entry.title);
    askForText(this, title, tr(entry.label), QString(), [this, entry, title, sigfox](const QString &text) {
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

void MainWindow::editServer()
{
    askForText(this, tr("Set ORVA server"), tr("Server:"), commissioning->serverAddress(), [this](QString address) {
        if (!address.startsWith(QLatin1String("http")))
            address.prepend(QLatin1String(kServerPrefix));
        storeSetting(kServerKey, address);
        serverSession->setServerAddress(address);
    });
}

void MainWindow::reportStorageProblem(const QString &problem)
{
    qCWarning(lcApp).noquote() << "MainWindow:" << problem;
    storageProblem->setText(problem);
    storageProblem->setToolTip(problem);
    storageProblem->show();
    // The box comes once a run for each kind of problem; the status bar keeps saying it.
    if (storageProblemsShown.contains(problem.section(QLatin1Char(':'), 0, 0)))
        return;
    storageProblemsShown.insert(problem.section(QLatin1Char(':'), 0, 0));
    notices->present({CommissioningSession::Notice::Level::Warning, tr("Commissioning records"), problem,
        tr("Commissioning goes on, but what is not recorded cannot be looked up later.")});
}

void MainWindow::storeSetting(const char *key, const QVariant &value)
{
    settings.setValue(QString::fromLatin1(key), value);
    settings.sync();
    if (settings.status() != QSettings::NoError)
        reportStorageProblem(tr("The settings file %1 cannot be written: the choice holds until the tool "
                                "is closed.")
                                 .arg(settings.fileName()));
}

void MainWindow::chooseCaFile()
{
    auto *dialog = new QFileDialog(
        this, tr("Trusted CA certificate"), QString(), tr("PEM certificates (*.pem *.crt);;All files (*)"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::ExistingFile);
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString &path) {
        if (!serverSession->setCaCertificateFile(path)) {
            notices->present({CommissioningSession::Notice::Level::Critical, tr("Trusted CA certificate"),
                tr("%1 holds no certificate that can be used.").arg(path)});
            return;
        }
        storeSetting(kCaFileKey, path);
    });
    dialog->open();
}

void MainWindow::chooseProfile()
{
    auto *dialog = new QFileDialog(this, tr("Profile"), QString(), tr("Profiles (*.json);;All files (*)"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::ExistingFile);
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString &path) { useProfile(path, true); });
    dialog->open();
}

void MainWindow::setProfileOverride(const QString &path)
{
    profileOverridden = !path.isEmpty();
    if (profileOverridden)
        useProfile(path, false);
}

bool MainWindow::useProfile(const QString &path, bool remember)
{
    if (path.isEmpty()) {
        commissioning->setProfile(nullptr);
        if (remember)
            storeSetting(kProfileKey, QString());
        profileLabel->setText(tr("No profile"));
        return true;
    }
    QString error;
    std::optional<CommissioningProfile> loaded = CommissioningProfile::load(path, &error);
    if (!loaded) {
        // The previous profile stays in force.
        qCWarning(lcApp).noquote() << "MainWindow: profile refused:" << error;
        notices->present({CommissioningSession::Notice::Level::Critical, tr("Profile"), error, QString()});
        return false;
    }
    auto profile = std::make_shared<const CommissioningProfile>(std::move(*loaded));
    profileLabel->setText(tr("Profile: ") + profile->name());
    profileLabel->setToolTip(path);
    commissioning->setProfile(profile);
    if (remember)
        storeSetting(kProfileKey, path);
    return true;
}

void MainWindow::showHistory()
{
    if (!history) {
        history = new HistoryWindow(journal.filePath(), this);
        history->setAttribute(Qt::WA_DeleteOnClose);
        history->setWindowFlag(Qt::Window);
    }
    history->show();
    history->raise();
    history->activateWindow();
}

void MainWindow::editLot()
{
    askForText(this, tr("Lot"), tr("Lot:"), journal.lot(), [this](const QString &text) {
        const QString lot = text.trimmed();
        journal.setLot(lot);
        storeSetting(kLotKey, lot);
        showLot();
    });
}

void MainWindow::showLot()
{
    lotLabel->setVisible(!journal.lot().isEmpty());
    lotLabel->setText(tr("Lot: ") + journal.lot());
}

// ---- rendering --------------------------------------------------------------------------------------------

void MainWindow::renderState(CommissioningSession::State state)
{
    using State = CommissioningSession::State;
    const bool reading = state == State::Reading;
    ui->progressBar->setVisible(reading);

    if (state == State::LoggingIn)
        showProgress(tr("Logging in..."));
    else if (state == State::Registering)
        showProgress(tr("Registering..."));
    else
        hideProgress();
    if (state == State::LoginNeeded)
        openLoginDialog();

    switch (state) {
    case State::WaitingForNode:
    case State::LoginNeeded:
    case State::LoggingIn:
        showStateMessage(Qt::black, tr(kIdleText));
        break;
    case State::ConnectTimedOut:
        showStateMessage(Qt::red, tr(kConnectTimedOutText));
        break;
    case State::NotConfigured:
        showStateMessage(Qt::darkYellow, tr(kNotConfiguredText));
        break;
    case State::ApplyFailed:
        showStateMessage(Qt::red, tr(kApplyFailedText));
        break;
    case State::ApplyTimedOut:
        showStateMessage(Qt::red, tr(kApplyTimedOutText));
        break;
    case State::UpdateSucceeded:
        showStateMessage(Qt::darkGreen, tr(kApplySucceededText));
        emit resetNode();
        break;
    case State::NodeSleeping:
        showStateMessage(Qt::darkGreen, tr(kNodeSleepingText));
        break;
    case State::FirmwareTooOld:
        showStateMessage(Qt::darkYellow, tr(kFirmwareTooOldText));
        break;
    case State::KeyMismatch:
        showStateMessage(Qt::red, tr(kKeyMismatchText));
        break;
    case State::LoginFailed:
        showStateMessage(Qt::red, tr(kLoginFailedText));
        break;
    case State::PortUnavailable:
        showStateMessage(Qt::red, tr("Port unavailable\n") + commissioning->portProblem());
        break;
    case State::Reading:
    case State::NodeShown:
    case State::Writing:
    case State::Registering:
        break;
    }
    loginAgainButton->setVisible(state == State::LoginFailed);
    // The label gives way to the busy bar while a node is read, and to the form while one is shown.
    ui->stateLabel->setVisible(!reading && !(currentForm && state != State::NotConfigured));
    renderActions();
}

void MainWindow::renderActions()
{
    const bool shown = commissioning->isNodeShown();
    ui->registerButton->setEnabled(commissioning->canRegister());
    ui->sleepButton->setEnabled(commissioning->canActivate());
    ui->disconnectButton->setEnabled(shown);
    ui->portRefreshButton->setEnabled(!shown);
}

void MainWindow::showWaitingRegistrations()
{
    const int count = serverSession->waitingCount();
    waitingLabel->setVisible(count > 0);
    if (count == 0)
        return;
    waitingLabel->setText(count == 1 ? tr("1 registration waiting for the server")
                                     : tr("%1 registrations waiting for the server").arg(count));
    QStringList lines;
    for (const RegistrationOutbox::Entry &entry : outbox->pending()) {
        lines << tr("%1  %2  attempts: %3  last status: %4")
                     .arg(entry.identifier, entry.created.toLocalTime().toString(Qt::ISODate))
                     .arg(entry.attempts)
                     .arg(entry.lastStatus == 0 ? tr("no answer") : QString::number(entry.lastStatus));
    }
    waitingLabel->setToolTip(lines.join(QLatin1Char('\n')));
}

void MainWindow::showForm(const Node &node)
{
    removeForm();
    NodeForm *form = NodeForm::create(node, nullptr);
    if (!form)
        return;
    const CommissioningSession::FormPreset preset = commissioning->preset();
    form->preset(preset.flags, preset.lockedFlags, preset.tooltips);
    connect(form, &NodeForm::updateNode, commissioning, &CommissioningSession::applySettings);
    if (auto *sigfox5d = qobject_cast<FormSigFox5d *>(form))
        connect(sigfox5d, &FormSigFox5d::enableRegisterActivateButton, this, &MainWindow::enableRegActivateButton);
    currentForm = form;
    // Right below the state label; the note on the node stays under the form.
    ui->mainLayout->insertWidget(ui->mainLayout->indexOf(noteLabel), form);
    ui->stateLabel->hide();
    clearPortFailure();
    showNodeVersions(node.nodeVersion, node.moduleVersion, node.loraVersion);
    // A scanner types into whatever has the focus: the label field, so no click is needed first.
    setLabelBandVisible(true);
    labelEdit->setFocus();
}

void MainWindow::removeForm()
{
    setLabelBandVisible(false);
    if (currentForm) {
        ui->mainLayout->removeWidget(currentForm);
        currentForm->hide();
        currentForm->deleteLater();
        currentForm = nullptr;
    }
    versionLabel->setText(QString());
}

void MainWindow::openLoginDialog()
{
    if (loginDialog)
        return;
    auto *dialog = new PasswordDialog(tr("ORVA server"), commissioning->serverAddress());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // Modal for the whole application, without a loop of its own: the answer comes back through its signals
    // while the session goes on holding whatever node arrives meanwhile.
    dialog->setWindowModality(Qt::ApplicationModal);
    connect(dialog, &QDialog::accepted, this,
        [this, dialog] { commissioning->submitCredentials(dialog->username(), dialog->password()); });
    connect(dialog, &QDialog::rejected, commissioning, &CommissioningSession::cancelLogin);
    loginDialog = dialog;
    dialog->open();
}

void MainWindow::showProgress(const QString &label)
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

void MainWindow::hideProgress()
{
    if (progress)
        progress->close();
}

void MainWindow::showStateMessage(const QColor &colour, const QString &text)
{
    QPalette palette = ui->stateLabel->palette();
    palette.setBrush(QPalette::All, ui->stateLabel->foregroundRole(), QBrush(colour, Qt::SolidPattern));
    ui->stateLabel->setPalette(palette);
    ui->stateLabel->setText(text);
}

void MainWindow::showNodeVersions(QString nodeVersion, QString moduleVersion, QString loraVersion)
{
    versionLabel->setText(
        tr("Node: ") + nodeVersion + tr("  |   Ormix: ") + moduleVersion + tr("  |   Semtech: ") + loraVersion);
}

