#include "mainwindow.h"

#include "applicationicon.h"
#include "benchsetup.h"
#include "commandresult.h"
#include "commissioningprofile.h"
#include "elidedlabel.h"
#include "historywindow.h"
#include "journalforwarder.h"
#include "labelprinter.h"
#include "labelsettingsdialog.h"
#include "nodelabel.h"
#include "noticepresenter.h"
#include "passworddialog.h"
#include "protectedfieldcipher.h"
#include "registrationoutbox.h"
#include "shareddatabase.h"
#include "stationview.h"
#include "textprompt.h"
#include "ui_mainwindow.h"
#include "verdictsound.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDate>
#include <QFileDialog>
#include <QGuiApplication>
#include <QIcon>
#include <QInputDialog>
#include <QLabel>
#include <QLocale>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>

#include <utility>

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
// The bench's name in the journal's entries; the host name while it is not set.
const char kBenchKey[] = "journal/bench";
// The shared database's address, postgresql://user@host:port/dbname; never its password.
const char kSharedDatabaseKey[] = "sharedDatabase/url";
const char kPortKey[] = "serial/port";
const char kStationCountKey[] = "stations/count";
const char kLabelWidthKey[] = "label/widthMm";
const char kLabelHeightKey[] = "label/heightMm";
// Empty: the system's default printer.
const char kLabelPrinterKey[] = "label/printer";
// A station run by its profile plays a sound on PASS and FAIL; off unless chosen.
const char kVerdictSoundKey[] = "sound/verdict";

// The first station keeps the port setting the tool has always had; the others are numbered from 2.
QString portKeyOf(int station)
{
    return station == 0 ? QString::fromLatin1(kPortKey) : QString::fromLatin1(kPortKey) + QString::number(station + 1);
}

QIcon moodDot(StationView::Mood mood)
{
    QColor colour = Qt::gray;
    if (mood == StationView::Mood::Busy)
        colour = QColor(0xe0, 0xa0, 0x00);
    else if (mood == StationView::Mood::Good)
        colour = Qt::darkGreen;
    else if (mood == StationView::Mood::Bad)
        colour = Qt::red;
    QPixmap dot(12, 12);
    dot.fill(Qt::transparent);
    QPainter painter(&dot);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawEllipse(1, 1, 10, 10);
    return QIcon(dot);
}

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : MainWindow(Pacing(), parent)
{
}

MainWindow::MainWindow(const Pacing &pacing, QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
    , settings(QString::fromLatin1(kOrganisation), QString::fromLatin1(kApplication))
    , bench(std::make_unique<BenchSetup>(QString(), pacing))
    , journal(bench->journal())
{
    ui->setupUi(this);
    ui->menuConfigure->menuAction()->setVisible(false);

    // The status bar's labels give way to each other at the window's first size: each is cut in the middle, with
    // its whole text in its tooltip, rather than pushing the others together or out of the window.
    versionLabel = new ElidedLabel(this);
    versionLabel->setAlignment(Qt::AlignCenter);
    // The node's type keeps room to be read beside a profile and a lot, which give way first.
    versionLabel->setMinimumWidth(versionLabel->fontMetrics().horizontalAdvance(QStringLiteral("LoRa OTAA 5D")));
    ui->statusBar->addWidget(versionLabel, 1);

    qRegisterMetaType<Node>("Node");
    qRegisterMetaType<NodeThresholds>("NodeThresholds");

    notices = new NoticePresenter(this);
    // A login dialog asked for while a box was on screen opens once the boxes are read.
    connect(notices, &NoticePresenter::idle, this, [this] {
        if (!std::exchange(loginDialogDeferred, false))
            return;
        for (StationView *station : qAsConst(stations)) {
            if (station->session()->state() == CommissioningSession::State::LoginNeeded) {
                openLoginDialog();
                return;
            }
        }
    });
    storageProblem = new ElidedLabel(this);
    storageProblem->setObjectName(QStringLiteral("storageProblemLabel"));
    QPalette warning = storageProblem->palette();
    warning.setBrush(QPalette::All, storageProblem->foregroundRole(), QBrush(Qt::red));
    storageProblem->setPalette(warning);
    storageProblem->hide();
    ui->statusBar->addPermanentWidget(storageProblem);
    waitingLabel = new ElidedLabel(this);
    waitingLabel->setObjectName(QStringLiteral("waitingRegistrationsLabel"));
    ui->statusBar->addPermanentWidget(waitingLabel);
    outbox = &bench->outbox();
    if (!outbox->keptFilePath().isEmpty()) {
        // Its registrations are not lost: the file is kept for recovery, and new ones go into a fresh outbox.
        reportStorageProblem(tr("The registration outbox could not be read: it was kept as %1 and a fresh outbox "
                                "was started (see the README on recovering its registrations).")
                                 .arg(outbox->keptFilePath()));
    }
    if (!outbox->isOpen()) {
        // Registrations are then posted directly; one the server does not accept is not kept.
        reportStorageProblem(
            tr("The registration outbox cannot be used (%1): %2").arg(outbox->filePath(), outbox->errorText()));
    }
    if (!outbox->permissionProblem().isEmpty())
        reportStorageProblem(tr("The registration outbox is readable by others: %1").arg(outbox->permissionProblem()));
    const QString journalPermissions = bench->journalPermissionProblem();
    if (!journalPermissions.isEmpty())
        reportStorageProblem(tr("The commissioning journal is readable by others: %1").arg(journalPermissions));
    serverSession = &bench->server();
    connect(serverSession, &ServerSession::waitingChanged, this, &MainWindow::showWaitingRegistrations);
    connect(serverSession, &ServerSession::storageProblem, this, &MainWindow::reportStorageProblem);
    connect(serverSession, &ServerSession::loginFinished, this, &MainWindow::showWaitingRegistrations);
    serverSession->setServerAddress(settings.value(QString::fromLatin1(kServerKey)).toString());
    // A small note beside the other status items while the server is reached over plain http; in a narrow window
    // it gives way like the others (its tooltip says it in full).
    unencryptedLabel = new ElidedLabel(this);
    unencryptedLabel->setText(tr("unencrypted"));
    unencryptedLabel->setObjectName(QStringLiteral("unencryptedServerLabel"));
    unencryptedLabel->setToolTip(tr("The ORVA server is reached over plain http: the password digest and the "
                                    "nodes' application keys travel unencrypted. Use an https:// address."));
    QPalette caution = unencryptedLabel->palette();
    caution.setBrush(QPalette::All, unencryptedLabel->foregroundRole(), QBrush(Qt::darkYellow));
    unencryptedLabel->setPalette(caution);
    ui->statusBar->addPermanentWidget(unencryptedLabel);
    showServerSecurity();

    // A single station is the central widget itself, as the window has always been laid out; several share
    // it as tabs. The designed central widget is only a place holder for it.
    delete takeCentralWidget();
    ui->centralWidget = nullptr;
    addStation();

    connect(ui->actionAbout, &QAction::triggered, this, &MainWindow::showAbout);
    connect(ui->actionORVA_server, &QAction::triggered, this, &MainWindow::editServer);
    connect(ui->actionConfigure_Node, &QAction::triggered, this, &MainWindow::showConfigure);
    connect(ui->actionTrustedCa, &QAction::triggered, this, &MainWindow::chooseCaFile);
    connect(ui->actionSharedDatabase, &QAction::triggered, this, &MainWindow::editSharedDatabase);
    connect(ui->actionLogInAgain, &QAction::triggered, this, [this] { currentStation()->session()->retryLogin(); });
    connect(ui->actionProfile, &QAction::triggered, this, &MainWindow::chooseProfile);
    connect(ui->actionNoProfile, &QAction::triggered, this, [this] { useProfile(QString(), true); });
    connect(ui->actionLot, &QAction::triggered, this, &MainWindow::editLot);
    connect(ui->actionStations, &QAction::triggered, this, &MainWindow::chooseStationCount);
    connect(ui->actionQuit, &QAction::triggered, this, &QWidget::close);
    connect(ui->actionHistory, &QAction::triggered, this, &MainWindow::showHistory);
    connect(ui->actionLabel, &QAction::triggered, this, &MainWindow::chooseLabelSettings);
    connect(ui->actionPrintLabel, &QAction::triggered, this, &MainWindow::printLabel);
    verdictSound = new VerdictSound(this);
    ui->actionSound->setChecked(settings.value(QString::fromLatin1(kVerdictSoundKey), false).toBool());
    verdictSound->setEnabled(ui->actionSound->isChecked());
    connect(ui->actionSound, &QAction::toggled, this, [this](bool on) {
        verdictSound->setEnabled(on);
        storeSetting(QString::fromLatin1(kVerdictSoundKey), on);
    });
    // A menu's status tip replaces the port failure while it is hovered and clears it afterwards.
    connect(ui->statusBar, &QStatusBar::messageChanged, this, [this](const QString &message) {
        if (message.isEmpty() && !portFailureMessage.isEmpty())
            ui->statusBar->showMessage(portFailureMessage);
    });

    const QString caFile = settings.value(QString::fromLatin1(kCaFileKey)).toString();
    QString caProblem;
    if (!caFile.isEmpty() && !serverSession->setCaCertificateFile(caFile, &caProblem)) {
        qCWarning(lcApp).noquote() << "MainWindow: the trusted CA certificate file cannot be used:" << caFile << "-"
                                   << caProblem;
        notices->present({CommissioningSession::Notice::Level::Warning, tr("Trusted CA certificate"),
            tr("%1 cannot be used as trusted CA certificates: %2").arg(caFile, caProblem),
            tr("Only the system's certificate authorities are trusted.")});
    }
    profileLabel = new ElidedLabel(this);
    profileLabel->setObjectName(QStringLiteral("profileLabel"));
    ui->statusBar->addPermanentWidget(profileLabel);
    lotLabel = new ElidedLabel(this);
    lotLabel->setObjectName(QStringLiteral("lotLabel"));
    ui->statusBar->addPermanentWidget(lotLabel);
    shiftLabel = new QLabel(this);
    shiftLabel->setObjectName(QStringLiteral("shiftCountLabel"));
    shiftLabel->hide();
    ui->statusBar->addPermanentWidget(shiftLabel);
    journal.setLot(settings.value(QString::fromLatin1(kLotKey)).toString());
    journal.setBench(settings.value(QString::fromLatin1(kBenchKey)).toString());
    sharedDatabaseLabel = new ElidedLabel(this);
    sharedDatabaseLabel->setObjectName(QStringLiteral("sharedDatabaseLabel"));
    sharedDatabaseLabel->setPalette(storageProblem->palette());
    // Its first words say what is wrong; the count after them gives way first.
    sharedDatabaseLabel->setElideMode(Qt::ElideRight);
    sharedDatabaseLabel->setShortestShown(tr("Shared database unreachable"));
    sharedDatabaseLabel->hide();
    ui->statusBar->addPermanentWidget(sharedDatabaseLabel);
    labelProblemLabel = new ElidedLabel(this);
    labelProblemLabel->setObjectName(QStringLiteral("labelProblemLabel"));
    labelProblemLabel->setPalette(storageProblem->palette());
    // A passing message at the left would be squeezed to nothing beside the permanent labels; this one keeps
    // its first words, and the whole text is in its tooltip.
    labelProblemLabel->setElideMode(Qt::ElideRight);
    labelProblemLabel->setShortestShown(tr("Label not printed"));
    labelProblemLabel->hide();
    ui->statusBar->addPermanentWidget(labelProblemLabel);
    // After the window is up: a password may have to be asked for.
    QTimer::singleShot(
        0, this, [this] { useSharedDatabase(settings.value(QString::fromLatin1(kSharedDatabaseKey)).toString()); });
    showLot();
    useProfile(settings.value(QString::fromLatin1(kProfileKey)).toString(), false);

    loginAgainButton = new QPushButton(tr("Log in again"), this);
    loginAgainButton->setObjectName(QStringLiteral("loginAgainButton"));
    loginAgainButton->hide();
    ui->statusBar->addPermanentWidget(loginAgainButton);
    // The stations whose node waits for a login try again; they share the one login that follows. Without
    // such a station, the login is for the registrations waiting in the outbox.
    connect(loginAgainButton, &QPushButton::clicked, this, [this] {
        bool retried = false;
        for (StationView *station : qAsConst(stations)) {
            if (station->session()->state() == CommissioningSession::State::LoginFailed) {
                station->session()->retryLogin();
                retried = true;
            }
        }
        if (!retried)
            currentStation()->session()->retryLogin();
    });
    if (settings.status() != QSettings::NoError)
        reportStorageProblem(
            tr("The settings file %1 cannot be read; the tool starts as on a first start.").arg(settings.fileName()));
    if (!serverSession->isConfigured())
        ui->statusBar->showMessage(tr("No ORVA server is configured: Settings → ORVA server"));

    stations.first()->fillPorts(settings.value(portKeyOf(0)).toString());
    setStationCount(settings.value(QString::fromLatin1(kStationCountKey), 1).toInt());
    showWaitingRegistrations();

    centreOnScreen();
    // A build with the published development key reads production nodes as garbage: it must never pass
    // unnoticed.
    if (ProtectedFieldCipher::isDevelopmentKey()) {
        setWindowTitle(QString::fromLatin1(kWindowTitle) + tr(" [development key]"));
        qCWarning(lcApp).noquote() << "MainWindow: this build uses the published development node key (fingerprint"
                                   << ProtectedFieldCipher::keyFingerprint()
                + QStringLiteral("); it cannot read "
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
    // The stations go first: each stops its link thread, which must not deliver anything to widgets that are
    // already gone; the server session they share goes after them.
    // Nothing a station says while it goes is rendered any more: a tab that goes makes another current.
    if (tabs)
        tabs->disconnect(this);
    const QList<StationView *> going = std::exchange(stations, {});
    for (StationView *station : going) {
        station->disconnect(this);
        station->session()->disconnect(this);
    }
    qDeleteAll(going);
    serverSession = nullptr;
    outbox = nullptr;
    bench.reset();
    delete loginDialog.data();
    delete ui;
}

// ---- stations ---------------------------------------------------------------------------------------------

CommissioningSession *MainWindow::session() const
{
    return stations.first()->session();
}

StationView *MainWindow::currentStation() const
{
    if (tabs)
        return stations.value(tabs->currentIndex(), stations.first());
    return stations.first();
}

StationView *MainWindow::addStation()
{
    auto *station = new StationView(serverSession, &journal, notices, bench->pacing(), this);
    station->setSharedDatabase(bench->forwarder());
    stations.append(station);
    station->setProfile(activeProfile);
    CommissioningSession *session = station->session();
    connect(session, &CommissioningSession::recordingFailed, this, &MainWindow::reportStorageProblem);
    connect(session, &CommissioningSession::stateChanged, this, &MainWindow::updateLoginAgainButton);
    connect(station, &StationView::resetNode, this, &MainWindow::resetNode);
    connect(station, &StationView::loginNeeded, this, &MainWindow::openLoginDialog);
    connect(station, &StationView::duplicateCheckAsked, this, [this](bool asking) {
        const QString text = tr("Asking the shared database whether another bench registered the node…");
        if (asking)
            ui->statusBar->showMessage(text);
        else if (ui->statusBar->currentMessage() == text)
            ui->statusBar->clearMessage();
    });
    connect(station, &StationView::duplicateCheckSkipped, this, [this](const QString &problem) {
        // Said, not asked: the registration goes on, and the journal keeps that it was not checked.
        ui->statusBar->showMessage(tr("Not checked for a registration at another bench: %1").arg(problem), 15000);
    });
    connect(station, &StationView::portChosen, this,
        [this, station](const QString &path) { storeSetting(portKeyOf(stations.indexOf(station)), path); });
    connect(station, &StationView::appearanceChanged, this, [this, station] {
        updateStationPorts();
        if (station == currentStation())
            showStationAppearance();
        bringForwardForScan();
    });
    connect(station, &StationView::autoRunEnded, this,
        [this, station](bool passed, const Node &node) { countAutoRun(station, passed, node); });
    if (tabs) {
        station->setObjectName(QStringLiteral("station%1").arg(stations.size()));
        tabs->addTab(station, QString());
    } else {
        station->setObjectName(QStringLiteral("centralWidget"));
        setCentralWidget(station);
    }
    return station;
}

void MainWindow::setStationCount(int count)
{
    count = qBound(1, count, kMaxStations);
    if (count == stations.size())
        return;
    if (count > 1 && !tabs) {
        // The single station moves into the first tab; it keeps its port and whatever it shows.
        StationView *first = stations.first();
        takeCentralWidget();
        tabs = new QTabWidget(this);
        tabs->setObjectName(QStringLiteral("stationTabs"));
        tabs->setDocumentMode(true);
        first->setObjectName(QStringLiteral("station1"));
        tabs->addTab(first, QString());
        setCentralWidget(tabs);
        connect(tabs, &QTabWidget::currentChanged, this, &MainWindow::showStationAppearance);
    }
    while (stations.size() > count)
        delete stations.takeLast();
    while (stations.size() < count) {
        StationView *added = addStation();
        // Told first which ports the others hold, so that a remembered port one of them has is not opened twice.
        updateStationPorts();
        added->fillPorts(settings.value(portKeyOf(stations.size() - 1)).toString());
    }
    if (count == 1 && tabs) {
        StationView *only = stations.first();
        tabs->removeTab(0);
        // Out of the tabs before they go: a removed page is still their child.
        only->setParent(this);
        delete takeCentralWidget();
        tabs = nullptr;
        only->setObjectName(QStringLiteral("centralWidget"));
        setCentralWidget(only);
        only->show();
    }
    updateStationPorts();
    showStationAppearance();
}

void MainWindow::updateStationPorts()
{
    for (StationView *station : qAsConst(stations)) {
        QMap<QString, QString> held;
        for (int other = 0; other < stations.size(); ++other) {
            const QString port = stations.at(other)->portName();
            if (stations.at(other) != station && !port.isEmpty())
                held.insert(port, tr("held by station %1").arg(other + 1));
        }
        station->setHeldPorts(held);
    }
    for (StationView *station : qAsConst(stations))
        updateStationTab(station);
}

QString MainWindow::stationTitle(StationView *station) const
{
    // The port's device name (a bench slot's name, ttyUSB0 …); where two stations' ports share it, as many
    // directories in front of it as tell them apart.
    const QString port = station->portName();
    if (port.isEmpty())
        return tr("Station %1").arg(stations.indexOf(station) + 1);
    const QStringList parts = port.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (int count = 1; count <= parts.size(); ++count) {
        const QString title = parts.mid(parts.size() - count).join(QLatin1Char('/'));
        bool shared = false;
        for (StationView *other : qAsConst(stations)) {
            if (other == station || other->portName().isEmpty() || other->portName() == port)
                continue;
            const QStringList otherParts = other->portName().split(QLatin1Char('/'), Qt::SkipEmptyParts);
            shared = shared || otherParts.mid(qMax(0, otherParts.size() - count)).join(QLatin1Char('/')) == title;
        }
        if (!shared)
            return title;
    }
    return port;
}

void MainWindow::chooseStationCount()
{
    auto *dialog = new QInputDialog(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(tr("Stations"));
    dialog->setLabelText(tr("Ports watched at once (one tab each):"));
    dialog->setInputMode(QInputDialog::IntInput);
    dialog->setIntRange(1, kMaxStations);
    dialog->setIntValue(stations.size());
    connect(dialog, &QInputDialog::intValueSelected, this, [this](int count) {
        setStationCount(count);
        storeSetting(QString::fromLatin1(kStationCountKey), stations.size());
    });
    dialog->open();
}

void MainWindow::updateStationTab(StationView *station)
{
    if (!tabs)
        return;
    const int index = tabs->indexOf(station);
    if (index < 0)
        return;
    const QString port = station->portName();
    tabs->setTabText(index, stationTitle(station));
    tabs->setTabToolTip(index, port);
    tabs->setTabIcon(index, moodDot(station->mood()));
}

void MainWindow::showStationAppearance()
{
    StationView *station = currentStation();
    versionLabel->setText(station->versionText());
    if (station->portFailure() == portFailureMessage)
        return;
    portFailureMessage = station->portFailure();
    if (portFailureMessage.isEmpty())
        ui->statusBar->clearMessage();
    else
        ui->statusBar->showMessage(portFailureMessage);
}

void MainWindow::openLoginDialog()
{
    if (loginDialog)
        return;
    bool askingAgain = false;
    for (StationView *station : qAsConst(stations))
        askingAgain = askingAgain || station->session()->credentialsWereRefused();
    if (askingAgain && notices->isBusy()) {
        // The box that says the server refused the credentials is read first; the dialog follows it.
        loginDialogDeferred = true;
        return;
    }
    auto *dialog = new PasswordDialog(tr("ORVA server"), serverSession->serverAddress());
    // Asked again after a refusal: the user name stays, only the password is typed anew.
    if (askingAgain)
        dialog->setUsername(lastUserName);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // Modal for the whole application, without a loop of its own: the answer comes back through its signals
    // while the sessions go on holding whatever node arrives meanwhile. One login serves every station.
    dialog->setWindowModality(Qt::ApplicationModal);
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        lastUserName = dialog->username();
        for (StationView *station : qAsConst(stations))
            station->session()->submitCredentials(dialog->username(), dialog->password());
    });
    connect(dialog, &QDialog::rejected, this, [this] {
        for (StationView *station : qAsConst(stations))
            station->session()->cancelLogin();
    });
    loginDialog = dialog;
    dialog->open();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    int shown = 0;
    for (StationView *station : qAsConst(stations))
        shown += station->session()->isNodeShown() ? 1 : 0;
    const int waiting = serverSession->waitingCount();
    if (quitConfirmed || (shown == 0 && waiting == 0)) {
        QMainWindow::closeEvent(event);
        return;
    }
    event->ignore();
    if (quitQuestion)
        return;
    QStringList reasons;
    if (shown == 1)
        reasons << tr("A node is on show and has not been put to sleep.");
    else if (shown > 1)
        reasons << tr("%1 nodes are on show and have not been put to sleep.").arg(shown);
    if (waiting == 1)
        reasons << tr("1 registration waits for the server; it is sent when the tool runs again.");
    else if (waiting > 1)
        reasons << tr("%1 registrations wait for the server; they are sent when the tool runs again.").arg(waiting);
    auto *box = new QMessageBox(this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->setIcon(QMessageBox::Question);
    box->setWindowTitle(tr("Quit"));
    box->setText(tr("Quit the commission tool?"));
    box->setInformativeText(reasons.join(QLatin1Char('\n')));
    QAbstractButton *quit = box->addButton(tr("Quit"), QMessageBox::AcceptRole);
    box->addButton(QMessageBox::Cancel);
    box->setDefaultButton(QMessageBox::Cancel);
    connect(box, &QMessageBox::buttonClicked, this, [this, quit](QAbstractButton *button) {
        if (button != quit)
            return;
        quitConfirmed = true;
        // After the box has gone, not from inside its own signal.
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    });
    quitQuestion = box;
    box->open();
}

// ---- the window's slots, for the current station ----------------------------------------------------------

void MainWindow::setSerialPort(int idx)
{
    auto *combo = currentStation()->findChild<QComboBox *>(QStringLiteral("serialCombo"));
    if (combo && idx >= 0 && idx < combo->count())
        combo->setCurrentIndex(idx);
}

void MainWindow::refreshSerialPortInfo()
{
    currentStation()->refreshPorts();
}

void MainWindow::timedOut()
{
    currentStation()->session()->connectTimedOut();
}

void MainWindow::setBusy(bool busy)
{
    currentStation()->session()->linkBusy(busy);
}

void MainWindow::connectNode(Node node)
{
    currentStation()->session()->nodeConnected(node);
}

void MainWindow::applyResult(int result)
{
    currentStation()->session()->commandResult(static_cast<CommandResult>(result), CommandFailure::None);
}

void MainWindow::disconnectNode()
{
    currentStation()->session()->disconnectNode();
}

void MainWindow::nodeSleeping()
{
    currentStation()->session()->nodeSleeping();
}

void MainWindow::enableRegActivateButton(bool enabled)
{
    currentStation()->session()->allowRegisterAndActivate(enabled);
}

void MainWindow::registerNode()
{
    currentStation()->registerNode();
}

void MainWindow::showConfigure()
{
    currentStation()->session()->readVersion();
}

void MainWindow::configureID(Node::eFirmwareType type)
{
    currentStation()->configureID(type);
}

// ---- what the stations share ------------------------------------------------------------------------------

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
    // The build's date in the operator's own date format, with the whole year.
    const QLocale locale;
    const QDate built = QLocale::c().toDate(QString::fromLatin1(__DATE__).simplified(), QStringLiteral("MMM d yyyy"));
    QString dateFormat = locale.dateFormat(QLocale::ShortFormat);
    if (!dateFormat.contains(QLatin1String("yyyy")))
        dateFormat.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    const QString date = built.isValid() ? locale.toString(built, dateFormat) : QString::fromLatin1(__DATE__);
    const QString text = tr("Version: ") + QLatin1String(kVersion) + tr("\nBuild date: ") + date + QLatin1Char(' ')
        + QLatin1String(__TIME__);
    QString key = tr("Node key fingerprint: ") + ProtectedFieldCipher::keyFingerprint();
    if (ProtectedFieldCipher::isDevelopmentKey())
        key += tr(" (the published development key)");
    notices->present({CommissioningSession::Notice::Level::Information, tr(kAboutTitle), text, key});
}

void MainWindow::editServer()
{
    TextPrompt::open(
        this, tr("Set ORVA server"), tr("Server:"), serverSession->serverAddress(), [this](QString address) {
            QString problem;
            address = BenchSetup::checkedAddress(address, &problem);
            if (!problem.isEmpty()) {
                // The address in use stays; the operator is told why the new one was not taken.
                notices->present({CommissioningSession::Notice::Level::Warning, tr("Set ORVA server"), problem,
                    tr("The server address was not changed.")});
                return;
            }
            storeSetting(QString::fromLatin1(kServerKey), address);
            serverSession->setServerAddress(address);
            showServerSecurity();
        });
}

void MainWindow::editSharedDatabase()
{
    const QString current
        = bench->forwarder() ? settings.value(QString::fromLatin1(kSharedDatabaseKey)).toString() : QString();
    TextPrompt::open(this, tr("Shared database"),
        tr("PostgreSQL address, postgresql://user@host:port/dbname (empty for none):"), current,
        [this](const QString &typed) {
            const QString url = typed.trimmed();
            QString problem;
            if (!url.isEmpty() && !DatabaseAddress::parse(url, &problem).isValid()) {
                notices->present({CommissioningSession::Notice::Level::Warning, tr("Shared database"),
                    // Not repeated back: the address may hold the password it is refused for.
                    tr("The address cannot be used: %1").arg(problem), tr("The shared database was not changed.")});
                return;
            }
            storeSetting(QString::fromLatin1(kSharedDatabaseKey), url);
            // Set again, the database's password is asked again: a mistyped one is put right here, not by a
            // restart of the tool.
            sharedDatabasePasswordAsked = false;
            sharedDatabasePassword.clear();
            useSharedDatabase(url);
        });
}

void MainWindow::useSharedDatabase(const QString &url)
{
    if (url.isEmpty()) {
        bench->stopForwarding();
        for (StationView *station : qAsConst(stations))
            station->setSharedDatabase(nullptr);
        if (history)
            history->setSharedDatabase(DatabaseAddress(), QString());
        sharedDatabaseLabel->hide();
        return;
    }
    QString problem;
    const DatabaseAddress address = DatabaseAddress::parse(url, &problem);
    if (!address.isValid()) {
        reportStorageProblem(tr("The shared database address %1 cannot be used: %2").arg(url, problem));
        return;
    }
    const auto start = [this, address] {
        JournalForwarder &forwarder = bench->startForwarding(address, sharedDatabasePassword);
        connect(&forwarder, &JournalForwarder::statusChanged, this, &MainWindow::showSharedDatabase);
        for (StationView *station : qAsConst(stations))
            station->setSharedDatabase(&forwarder);
        sharedDatabaseLabel->hide();
        if (history)
            history->setSharedDatabase(address, sharedDatabasePassword);
    };
    if (sharedDatabasePasswordAsked || SharedDatabase::passwordFromEnvironment()) {
        start();
        return;
    }
    // Asked once in a run and kept in memory only. Cancelled, nothing is forwarded in this run: the entries wait in
    // the journal for the next one.
    sharedDatabasePasswordAsked = true;
    TextPrompt::open(
        this, tr("Shared database"), tr("Password of %1 for %2:").arg(address.user, address.displayName()), QString(),
        [this, start](const QString &password) {
            sharedDatabasePassword = password;
            start();
        },
        QLineEdit::Password);
}

void MainWindow::showSharedDatabase(int waiting, bool reachable, const QString &problem)
{
    if (reachable || problem.isEmpty()) {
        sharedDatabaseLabel->hide();
        return;
    }
    sharedDatabaseLabel->setText(tr("Shared database unreachable — %n entries waiting", nullptr, waiting));
    sharedDatabaseLabel->setToolTip(problem);
    sharedDatabaseLabel->show();
}

void MainWindow::showServerSecurity()
{
    const QString address = serverSession->serverAddress();
    unencryptedLabel->setVisible(serverSession->isConfigured() && ServerSession::isUnencrypted(address));
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

void MainWindow::storeSetting(const QString &key, const QVariant &value)
{
    settings.setValue(key, value);
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
        QString problem;
        if (!serverSession->setCaCertificateFile(path, &problem)) {
            notices->present({CommissioningSession::Notice::Level::Critical, tr("Trusted CA certificate"),
                tr("%1 cannot be used as trusted CA certificates: %2").arg(path, problem), QString()});
            return;
        }
        storeSetting(QString::fromLatin1(kCaFileKey), path);
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
        activeProfile.reset();
        for (StationView *station : qAsConst(stations))
            station->setProfile(nullptr);
        if (remember)
            storeSetting(QString::fromLatin1(kProfileKey), QString());
        profileLabel->setText(tr("No profile"));
        showShiftCount();
        return true;
    }
    QString error;
    std::shared_ptr<const CommissioningProfile> profile = BenchSetup::loadProfile(path, &error);
    if (!profile) {
        // The previous profile stays in force.
        qCWarning(lcApp).noquote() << "MainWindow: profile refused:" << error;
        notices->present({CommissioningSession::Notice::Level::Critical, tr("Profile"), error, QString()});
        return false;
    }
    profileLabel->setText(tr("Profile: ") + profile->name());
    profileLabel->setToolTip(path);
    activeProfile = profile;
    for (StationView *station : qAsConst(stations))
        station->setProfile(profile);
    if (remember)
        storeSetting(QString::fromLatin1(kProfileKey), path);
    showShiftCount();
    return true;
}

void MainWindow::showHistory()
{
    if (!history) {
        history = new HistoryWindow(journal.filePath(), this);
        history->setAttribute(Qt::WA_DeleteOnClose);
        history->setWindowFlag(Qt::Window);
        if (bench->forwarder())
            history->setSharedDatabase(
                DatabaseAddress::parse(settings.value(QString::fromLatin1(kSharedDatabaseKey)).toString(), nullptr),
                sharedDatabasePassword);
        connect(history, &HistoryWindow::labelRequested, this, &MainWindow::printLabelFor);
    } else {
        // Open already: what was commissioned since it opened is read in.
        history->reload();
    }
    history->show();
    history->raise();
    history->activateWindow();
}

void MainWindow::chooseLabelSettings()
{
    // The preview shows the node on show, or else a sample LoRaWAN node.
    Node sample = currentStation()->session()->nodeOnShow().value_or(Node());
    if (!sample.isSigfox() && sample.euid.isEmpty()) {
        sample.firmwareType = Node::LoRaOTAA;
        sample.euid = QStringLiteral("70B3D57ED0000001");
        sample.appId = QStringLiteral("70B3D57ED0000000");
    }
    const ProfileEntry *entry = activeProfile ? activeProfile->entryFor(sample) : nullptr;
    const LabelSettingsDialog::Choice current{
        settings.value(QString::fromLatin1(kLabelWidthKey), NodeLabel::kDefaultWidthMm).toDouble(),
        settings.value(QString::fromLatin1(kLabelHeightKey), NodeLabel::kDefaultHeightMm).toDouble(),
        settings.value(QString::fromLatin1(kLabelPrinterKey)).toString()};
    auto *dialog
        = new LabelSettingsDialog(current, sample, entry ? entry->labelProfileId : QString(), journal.lot(), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        const LabelSettingsDialog::Choice chosen = dialog->choice();
        storeSetting(QString::fromLatin1(kLabelWidthKey), chosen.widthMm);
        storeSetting(QString::fromLatin1(kLabelHeightKey), chosen.heightMm);
        storeSetting(QString::fromLatin1(kLabelPrinterKey), chosen.printer);
    });
    dialog->open();
}

void MainWindow::printLabel()
{
    const std::optional<Node> node = currentStation()->session()->nodeOnShow();
    if (!node) {
        ui->statusBar->showMessage(tr("No node is on show to print a label for"));
        return;
    }
    printLabelFor(*node);
}

void MainWindow::printLabelFor(const Node &node)
{
    const ProfileEntry *entry = activeProfile ? activeProfile->entryFor(node) : nullptr;
    QString failure;
    const std::optional<NodeLabel> label = NodeLabel::forNode(
        node, entry ? entry->labelProfileId : QString(), journal.lot(), QDate::currentDate(), &failure);
    const QString printer = settings.value(QString::fromLatin1(kLabelPrinterKey)).toString();
    if (label) {
        const NodeLabel::Layout layout
            = label->layout(settings.value(QString::fromLatin1(kLabelWidthKey), NodeLabel::kDefaultWidthMm).toDouble(),
                settings.value(QString::fromLatin1(kLabelHeightKey), NodeLabel::kDefaultHeightMm).toDouble());
        failure = LabelPrinter::print(layout, printer, label->fileBaseName());
    }
    const QString target = printer.isEmpty() ? QStringLiteral("default printer") : printer;
    if (!journal.recordLabelPrinted(node.identity(), node.isSigfox(), target, failure)) {
        // The stations say the same when they cannot write the journal.
        reportStorageProblem(
            QCoreApplication::translate("CommissioningSession", "The commissioning journal cannot be written: ")
            + journal.lastError());
    }
    QString said;
    if (failure.isEmpty()) {
        qCInfo(lcApp).noquote() << "MainWindow: label of" << node.identity() << "printed on" << target;
        said = tr("Label of %1 printed").arg(node.identity());
        labelProblemLabel->hide();
        ui->statusBar->showMessage(said);
    } else {
        qCWarning(lcApp).noquote() << "MainWindow: label of" << node.identity() << "not printed:" << failure;
        said = tr("Label not printed for %1: %2").arg(node.identity(), failure);
        labelProblemLabel->setText(said);
        labelProblemLabel->show();
    }
    if (history)
        history->showStatus(said);
}

void MainWindow::editLot()
{
    TextPrompt::open(this, tr("Lot"), tr("Lot:"), journal.lot(), [this](const QString &text) {
        // The journal keeps the lot without controls or bidirectional formatting; the setting keeps the same.
        journal.setLot(text);
        storeSetting(QString::fromLatin1(kLotKey), journal.lot());
        showLot();
    });
}

void MainWindow::showLot()
{
    lotLabel->setVisible(!journal.lot().isEmpty());
    lotLabel->setText(tr("Lot: ") + journal.lot());
}

void MainWindow::updateLoginAgainButton()
{
    if (!loginAgainButton)
        return;
    bool loginFailed = false;
    for (StationView *each : qAsConst(stations))
        loginFailed = loginFailed || each->session()->state() == CommissioningSession::State::LoginFailed;
    loginAgainButton->setVisible(loginFailed
        || (serverSession->waitsForLogin() && !serverSession->isLoggingIn() && serverSession->isConfigured()));
}

void MainWindow::showWaitingRegistrations()
{
    const int count = serverSession->waitingCount();
    waitingLabel->setVisible(count > 0);
    updateLoginAgainButton();
    if (count == 0)
        return;
    if (serverSession->waitsForLogin()) {
        waitingLabel->setText(count == 1 ? tr("1 registration waiting — log in to send it")
                                         : tr("%1 registrations waiting — log in to send them").arg(count));
    } else {
        waitingLabel->setText(count == 1 ? tr("1 registration waiting for the server")
                                         : tr("%1 registrations waiting for the server").arg(count));
    }
    QStringList lines;
    for (const RegistrationOutbox::Entry &entry : outbox->pending()) {
        lines << tr("%1  %2  attempts: %3  last status: %4")
                     .arg(entry.identifier, entry.created.toLocalTime().toString(Qt::ISODate))
                     .arg(entry.attempts)
                     .arg(entry.lastStatus != 0            ? QString::number(entry.lastStatus)
                             : entry.lastFailure.isEmpty() ? tr("no answer")
                                                           : entry.lastFailure);
    }
    waitingLabel->setToolTip(lines.join(QLatin1Char('\n')));
}

// ---- stations run by the profile ---------------------------------------------------------------------------

void MainWindow::countAutoRun(StationView *station, bool passed, const Node &node)
{
    Q_UNUSED(station)
    if (passed)
        ++shiftPassed;
    else
        ++shiftFailed;
    showShiftCount();
    verdictSound->play(passed);
    // The label never changes the unit's outcome: a printer that fails is said and journalled, and the unit
    // stays passed.
    if (passed && activeProfile
        && activeProfile->automation().printLabel == CommissioningProfile::Automation::Print::OnPass)
        printLabelFor(node);
}

void MainWindow::showShiftCount()
{
    if (!shiftLabel)
        return;
    shiftLabel->setVisible(activeProfile && activeProfile->automation().apply);
    shiftLabel->setText(tr("Shift: %1 passed, %2 failed").arg(shiftPassed).arg(shiftFailed));
}

void MainWindow::bringForwardForScan()
{
    if (!tabs)
        return;
    // Not away from a station the operator works by hand, nor from one that waits for a scan itself.
    StationView *shown = currentStation();
    if (shown->awaitsLabel() || (shown->session()->isNodeShown() && !shown->showsAutoRun()))
        return;
    for (StationView *station : qAsConst(stations)) {
        if (station->awaitsLabel()) {
            tabs->setCurrentWidget(station);
            station->focusLabelField();
            return;
        }
    }
}
