#include "mainwindow.h"

#include "applicationicon.h"
#include "jsondeviceregister.h"
#include "loginrequest.h"
#include "nodeform.h"
#include "nodeinterface.h"
#include "passworddialog.h"
#include "replywaiter.h"
#include "ui_mainwindow.h"

#include <QApplication>
#include <QColor>
#include <QDebug>
#include <QGuiApplication>
#include <QIcon>
#include <QInputDialog>
#include <QLabel>
#include <QNetworkReply>
#include <QPalette>
#include <QPointer>
#include <QProgressDialog>
#include <QRegularExpression>
#include <QScreen>
#include <QSerialPortInfo>
#include <QStatusBar>
#include <QVariant>

namespace {

const char kVersion[] = "0.0.8";
const char kWindowTitle[] = "Tessaline IoT Commission Tool";
const char kAboutTitle[] = "About Tessaline IoT Commission Tool";

const char *const kOrganisation = MainWindow::kOrganisationName;
const char *const kApplication = MainWindow::kApplicationName;
const char kServerKey[] = "JSONregister/server";
const char kPortKey[] = "serial/port";

const char kIdleText[] = "Reset Node while connected";
const char kApplyFailedText[] = "Apply FAILED\nReset Node";
const char kApplySucceededText[] = "Update Success\nPlease Wait...";
const char kApplyTimedOutText[] = "Apply Timed out\nReset Node";
const char kNodeSleepingText[] = "Node Sleeping\nConnect another and reset.";
const char kConnectTimedOutText[] = "Connect Timed out\nReset Node";
const char kNotConfiguredText[] = "Node not configured\nTry another Node";

// Result codes of the link's write commands, and the window's own code for "back to idle".
const int kResultFailed = 1;
const int kResultDone = 2;
const int kResultTimedOut = 3;
const int kResultIdle = -1;

// "http://" is 7 characters, so an address must be longer than the bare scheme to count as configured.
const int kMinServerAddressLength = 8;
const char kServerPrefix[] = "http://";
const char kTokenHeader[] = "DARV-Token";
const char kLoginTimeoutLog[] = "JSON timed out";

const char kLoginBoxTitle[] = "ORVA login";
const char kPortFailurePrefix[] = "Could not open serial port ";
const char kRegistrationTitle[] = "ORVA Node registration";

// The identity a node of a given type can be given through the configure path.
struct IdentityEntry
{
    const char *title;
    const char *label;
    const char *pattern;
    const char *error;
};
const IdentityEntry kSigfoxIdentity
    = {"Set SigFox Data", "SigFox Data:", "[0-9A-F]{96}", "Sigfox Data must be 48 HEX bytes long"};
const IdentityEntry kDeviceIdIdentity
    = {"Set Device ID", "Device ID:", "[0-9A-F]{16}", "Device ID must be 8 HEX bytes long"};

bool isSigfoxType(int type)
{
    return type == Node::SigFox || type == Node::SigFox5D;
}

bool isLoginStatusJudged(int status)
{
    return status == 200 || status == 301 || status == 302;
}

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , currentForm(nullptr)
    , settings(QString::fromLatin1(kOrganisation), QString::fromLatin1(kApplication))
    , loggedIn(false)
    , loginDialog(nullptr)
    , versionLabel(nullptr)
    , nodeInterface(nullptr)
    , ui(new Ui::MainWindow)
{
    ui->setupUi(this);
    ui->menuConfigure->menuAction()->setVisible(false);

    serverAddress = settings.value(QString::fromLatin1(kServerKey)).toString();

    ui->progressBar->hide();

    versionLabel = new QLabel(this);
    versionLabel->setAlignment(Qt::AlignCenter);
    ui->statusBar->addWidget(versionLabel, 1);

    qRegisterMetaType<Node>("Node");
    qRegisterMetaType<NodeThresholds>("NodeThresholds");
    qRegisterMetaType<Node::eFirmwareType>("Node::eFirmwareType");

    connect(ui->actionAbout, &QAction::triggered, this, &MainWindow::showAbout);
    connect(ui->portRefreshButton, &QPushButton::clicked, this, &MainWindow::refreshSerialPortInfo);
    connect(ui->disconnectButton, &QPushButton::clicked, this, &MainWindow::disconnectNode);
    connect(ui->registerButton, &QPushButton::clicked, this, &MainWindow::registerNode);
    connect(ui->actionORVA_server, &QAction::triggered, this, &MainWindow::editServer);
    connect(ui->actionConfigure_Node, &QAction::triggered, this, &MainWindow::showConfigure);

    nodeInterface = new NodeInterface(this);

    connect(nodeInterface, &NodeInterface::nodeConnected, this, &MainWindow::connectNode);
    connect(nodeInterface, &NodeInterface::nodeCommandResult, this, &MainWindow::applyResult);
    connect(nodeInterface, &NodeInterface::busy, this, &MainWindow::setBusy);
    connect(nodeInterface, &NodeInterface::configureID, this, &MainWindow::configureID);
    connect(this, &MainWindow::resetNode, nodeInterface, &NodeInterface::resetNode);
    connect(nodeInterface, &NodeInterface::nodeSleeping, this, &MainWindow::nodeSleeping);
    connect(ui->sleepButton, &QPushButton::clicked, nodeInterface, &NodeInterface::sleepNode);

    // Before the first port is chosen below, so that its outcome is not missed.
    connect(nodeInterface, &NodeInterface::serialPortOpened, this, &MainWindow::noteSerialPortOpened);
    connect(nodeInterface, &NodeInterface::serialPortFailed, this, &MainWindow::reportSerialPortFailure);
    // A menu's status tip replaces the port failure while it is hovered and clears it afterwards.
    connect(ui->statusBar, &QStatusBar::messageChanged, this, [this](const QString &message) {
        if (message.isEmpty() && !portFailureMessage.isEmpty())
            ui->statusBar->showMessage(portFailureMessage);
    });
    connect(nodeInterface, &NodeInterface::nodeConnected, this,
        [this](const Node &node) { journal.recordNodeRead(openPortName, node); });
    connect(nodeInterface, &NodeInterface::nodeCommandResult, this, &MainWindow::journalWriteResult);
    connect(nodeInterface, &NodeInterface::nodeSleeping, this,
        [this] { journal.recordNodeSleeping(nodeInterface->nodeRecord()); });

    fillSerialPortList();

    // A coarse timer may fire up to 5 % early, which would give up on a node that is still within its 30 s.
    connectTimer.setTimerType(Qt::PreciseTimer);
    connect(&connectTimer, &QTimer::timeout, this, &MainWindow::timedOut);

    centreOnScreen();
    setWindowTitle(QString::fromLatin1(kWindowTitle));

    // The working directory's IoT.png when there is one; a tool started from the desktop menu has none there
    // and shows its installed icon.
    const QIcon icon = ApplicationIcon::find();
    if (!icon.isNull())
        QApplication::setWindowIcon(icon);
}

MainWindow::~MainWindow()
{
    // The link goes first: its destructor waits for the pass in progress (a write may take seconds), and it
    // must not deliver anything to widgets that are already gone.
    delete nodeInterface;
    nodeInterface = nullptr;
    delete ui;
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
    const QString text = QStringLiteral("Version: ") + QLatin1String(kVersion) + QStringLiteral("\nBuild date: ")
        + QLatin1String(__DATE__) + QLatin1Char(' ') + QLatin1String(__TIME__);
    showMessageBox(QMessageBox::Information, QString::fromLatin1(kAboutTitle), text);
}

void MainWindow::showMessageBox(QMessageBox::Icon icon, const QString &title, const QString &text)
{
    QMessageBox box(icon, title, text, QMessageBox::Ok);
    box.exec();
}

QStringList MainWindow::extraPortNames()
{
    const QString value = QString::fromLocal8Bit(qgetenv(kExtraPortsVariable));
    return value.split(QLatin1Char(':'), Qt::SkipEmptyParts);
}

void MainWindow::fillSerialPortList()
{
    // Refilling the list must not pick ports one by one as items come and go.
    disconnect(ui->serialCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &MainWindow::setSerialPort);
    ui->serialCombo->clear();

    const QString remembered = settings.value(QString::fromLatin1(kPortKey)).toString();

    QStringList names;
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &port : ports)
        names << port.portName();
    names << extraPortNames();

    int chosen = 0;
    for (const QString &name : qAsConst(names)) {
        ui->serialCombo->addItem(name);
        if (name == remembered)
            chosen = ui->serialCombo->count() - 1;
    }
    ui->serialCombo->setCurrentIndex(chosen);

    const QString port = names.isEmpty() ? QString() : names.at(chosen);
    nodeInterface->connectSerialPort(port);
    settings.setValue(QString::fromLatin1(kPortKey), port);

    connect(ui->serialCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &MainWindow::setSerialPort);
}

void MainWindow::setSerialPort(int idx)
{
    const QString port = ui->serialCombo->itemText(idx);
    nodeInterface->connectSerialPort(port);
    settings.setValue(QString::fromLatin1(kPortKey), port);
}

void MainWindow::refreshSerialPortInfo()
{
    nodeInterface->disconnectNode();
    fillSerialPortList();
    emit resetNode();
}

void MainWindow::noteSerialPortOpened(const QString &name)
{
    openPortName = name;
    clearPortFailure();
}

void MainWindow::reportSerialPortFailure(const QString &name, const QString &reason)
{
    openPortName.clear();
    // With no port listed the link is given no name; the empty port list already says all there is.
    if (name.isEmpty()) {
        clearPortFailure();
        return;
    }
    portFailureMessage = QString::fromLatin1(kPortFailurePrefix) + name + QStringLiteral(": ") + reason;
    // The link's own log line names only the port; this one gives the cause as well.
    qInfo().noquote() << QStringLiteral("MainWindow: ") + portFailureMessage;
    ui->statusBar->showMessage(portFailureMessage);
}

void MainWindow::clearPortFailure()
{
    if (portFailureMessage.isEmpty())
        return;
    portFailureMessage.clear();
    ui->statusBar->clearMessage();
}

void MainWindow::journalWriteResult(int result)
{
    if (pendingWrites.isEmpty())
        return;
    const PendingWrite write = pendingWrites.dequeue();
    switch (write.kind) {
    case PendingWrite::Settings:
        journal.recordSettingsWritten(write.node, write.flags, result);
        break;
    case PendingWrite::DeviceId:
        journal.recordDeviceIdWritten(write.node, result);
        break;
    case PendingWrite::SigfoxData:
        journal.recordSigfoxDataWritten(write.node, result);
        break;
    }
}

void MainWindow::showStateMessage(const QColor &colour, const QString &text)
{
    QPalette palette = ui->stateLabel->palette();
    palette.setBrush(QPalette::All, ui->stateLabel->foregroundRole(), QBrush(colour, Qt::SolidPattern));
    ui->stateLabel->setPalette(palette);
    ui->stateLabel->setText(text);
}

void MainWindow::setBusy(bool busy)
{
    if (busy) {
        ++nodeEpoch;
        connectTimer.setInterval(connectTimeoutMs);
        connectTimer.setSingleShot(true);
        connectTimer.start();
        // Only the window forgets the previous node. The link has begun reading the booting node by the time
        // this arrives; dropping its command here would drop that read and the node would never connect.
        clearNodeView();
    }
    ui->progressBar->setVisible(busy);
    ui->stateLabel->setVisible(!busy);
}

void MainWindow::timedOut()
{
    ui->progressBar->hide();
    showStateMessage(Qt::red, QString::fromLatin1(kConnectTimedOutText));
    ui->stateLabel->setVisible(true);
}

void MainWindow::connectNode(Node node)
{
    ui->progressBar->hide();
    connectTimer.stop();
    clearPortFailure();
    qDebug("Node connected %d", static_cast<int>(node.firmwareType));

    const quint64 epoch = ++nodeEpoch;
    bool aborted = false;
    const bool loginHeld = loginToServer(aborted);
    const bool refused = !loginHeld || aborted;
    if (refused && loginDialog) {
        // Another call's prompt is still open; the newest node waits for it instead of being lost.
        deferredNode = node;
        hasDeferredNode = true;
        return;
    }
    redeliverDeferredNode();
    if (epoch != nodeEpoch) {
        // The node booted again or another one was announced while the login ran: this record is stale and
        // the newer event leads the window on.
        return;
    }
    if (refused) {
        showMessageBox(
            QMessageBox::Critical, QString::fromLatin1(kLoginBoxTitle), QStringLiteral("You need to log in"));
        applyResult(kResultIdle);
        return;
    }

    if (!Node::isKnownType(node.firmwareType)) {
        showStateMessage(Qt::darkYellow, QString::fromLatin1(kNotConfiguredText));
        ui->stateLabel->setVisible(true);
        return;
    }

    NodeForm *form = NodeForm::create(node, nullptr);
    if (!form) {
        showStateMessage(Qt::darkYellow, QString::fromLatin1(kNotConfiguredText));
        ui->stateLabel->setVisible(true);
        return;
    }
    if (currentForm) {
        ui->mainLayout->removeWidget(currentForm);
        currentForm->hide();
        currentForm->deleteLater();
    }
    connect(form, &NodeForm::updateNode, nodeInterface, &NodeInterface::updateNode);
    connect(form, &NodeForm::updateNode, this, [this](const Node &edited, int flags) {
        // The link writes only when one of the eight settings is selected, and answers only then.
        if (flags & Node::FlagsWritable)
            pendingWrites.enqueue({PendingWrite::Settings, edited, flags});
    });
    if (qstrcmp(form->metaObject()->className(), "FormSigFox5d") == 0)
        connect(form, SIGNAL(enableRegisterActivateButton(bool)), this, SLOT(enableRegActivateButton(bool)));
    currentForm = form;
    ui->mainLayout->addWidget(form);

    const bool reporting = node.reportRate != 0;
    ui->registerButton->setEnabled(reporting);
    ui->sleepButton->setEnabled(reporting);
    ui->stateLabel->hide();
    ui->disconnectButton->setEnabled(true);
    ui->portRefreshButton->setEnabled(false);
    showNodeVersions(node.nodeVersion, node.moduleVersion, node.loraVersion);
}

void MainWindow::redeliverDeferredNode()
{
    if (!hasDeferredNode)
        return;
    hasDeferredNode = false;
    // Queued, so that the caller finishes its own step first and the deferred node then takes the normal road.
    QMetaObject::invokeMethod(this, "connectNode", Qt::QueuedConnection, Q_ARG(Node, deferredNode));
}

void MainWindow::showNodeVersions(QString nodeVersion, QString moduleVersion, QString loraVersion)
{
    versionLabel->setText(QStringLiteral("Node: ") + nodeVersion + QStringLiteral("  |   Ormix: ") + moduleVersion
        + QStringLiteral("  |   Semtech: ") + loraVersion);
}

void MainWindow::applyResult(int result)
{
    disconnectNode();
    switch (result) {
    case kResultFailed:
        showStateMessage(Qt::red, QString::fromLatin1(kApplyFailedText));
        break;
    case kResultDone:
        showStateMessage(Qt::darkGreen, QString::fromLatin1(kApplySucceededText));
        // The node takes its new settings only after a restart, which also reads it back.
        emit resetNode();
        break;
    case kResultTimedOut:
        showStateMessage(Qt::red, QString::fromLatin1(kApplyTimedOutText));
        break;
    default:
        showStateMessage(Qt::black, QString::fromLatin1(kIdleText));
        break;
    }
}

void MainWindow::disconnectNode()
{
    clearNodeView();
    nodeInterface->disconnectNode();
}

void MainWindow::clearNodeView()
{
    ui->disconnectButton->setEnabled(false);
    ui->sleepButton->setEnabled(false);
    ui->portRefreshButton->setEnabled(true);
    ui->registerButton->setEnabled(false);
    ui->stateLabel->setVisible(true);
    if (currentForm) {
        ui->mainLayout->removeWidget(currentForm);
        currentForm->hide();
        currentForm->deleteLater();
        currentForm = nullptr;
    }
    showStateMessage(Qt::black, QString::fromLatin1(kIdleText));
    versionLabel->setText(QString());
}

void MainWindow::nodeSleeping()
{
    disconnectNode();
    showStateMessage(Qt::darkGreen, QString::fromLatin1(kNodeSleepingText));
}

void MainWindow::configureID(Node::eFirmwareType type)
{
    if (!Node::isKnownType(type)) {
        showMessageBox(QMessageBox::Critical, QStringLiteral("Unknown Device"), QStringLiteral("Please retry"));
        return;
    }
    const IdentityEntry &entry = isSigfoxType(type) ? kSigfoxIdentity : kDeviceIdIdentity;
    const QString title = QString::fromLatin1(entry.title);

    bool accepted = false;
    const QString text
        = QInputDialog::getText(this, title, QString::fromLatin1(entry.label), QLineEdit::Normal, QString(), &accepted);
    if (!accepted)
        return;

    // The whole text must match; the digits go to the node exactly as typed.
    const QRegularExpression pattern(QRegularExpression::anchoredPattern(QString::fromLatin1(entry.pattern)),
        QRegularExpression::CaseInsensitiveOption);
    if (!pattern.match(text).hasMatch()) {
        showMessageBox(QMessageBox::Critical, title, QString::fromLatin1(entry.error));
        return;
    }
    const PendingWrite::Kind kind = isSigfoxType(type) ? PendingWrite::SigfoxData : PendingWrite::DeviceId;
    pendingWrites.enqueue({kind, nodeInterface->nodeRecord(), 0});
    if (kind == PendingWrite::SigfoxData)
        nodeInterface->setSigfoxData(text);
    else
        nodeInterface->setDeviceId(text);
}

void MainWindow::enableRegActivateButton(bool enabled)
{
    ui->registerButton->setEnabled(enabled);
    ui->sleepButton->setEnabled(enabled);
}

void MainWindow::showConfigure()
{
    nodeInterface->readVersion();
}

void MainWindow::editServer()
{
    bool accepted = false;
    QString address = QInputDialog::getText(this, QStringLiteral("Set ORVA server"), QStringLiteral("Server:"),
        QLineEdit::Normal, serverAddress, &accepted);
    if (!accepted)
        return;
    if (!address.startsWith(QLatin1String("http")))
        address.prepend(QLatin1String(kServerPrefix));
    serverAddress = address;
    settings.setValue(QString::fromLatin1(kServerKey), serverAddress);
    // Credentials belong to the server they were typed for.
    loggedIn = false;
    passwordDigest.clear();
    userName.clear();
}

bool MainWindow::loginToServer(bool &aborted)
{
    if (loggedIn)
        return true;

    if (userName.isEmpty() || passwordDigest.isEmpty()) {
        if (serverAddress.size() < kMinServerAddressLength) {
            showMessageBox(QMessageBox::Critical, QString::fromLatin1(kLoginBoxTitle),
                QStringLiteral("Please configure the ORVA server"));
            aborted = true;
            return false;
        }
        // A prompt opened by an earlier call is still on screen; never stack a second one.
        if (loginDialog)
            return false;

        loginDialog = new PasswordDialog(QStringLiteral("ORVA server"), serverAddress);
        const int answer = loginDialog->exec();
        if (answer != QDialog::Accepted) {
            qDebug("login abborted");
            aborted = true;
            delete loginDialog;
            loginDialog = nullptr;
            ui->stateLabel->setText(QString::fromLatin1(kIdleText));
            return true;
        }
        userName = loginDialog->username();
        passwordDigest = LoginRequest::passwordDigest(loginDialog->password());
        delete loginDialog;
        loginDialog = nullptr;
    }

    const QNetworkRequest request = LoginRequest::request(serverAddress);
    const QString body = QString::fromUtf8(LoginRequest::body(userName, passwordDigest));

    QProgressDialog progress(QStringLiteral("Logging in..."), QString(), 0, 0);
    progress.setCancelButton(nullptr);
    progress.setWindowModality(Qt::WindowModal);
    progress.show();

    QNetworkReply *reply = ReplyWaiter::postAndWait(&networkManager, request, body, kLoginTimeoutLog);

    progress.close();

    if (!reply) {
        // No answer at all: keep the credentials so the next attempt sends them again without asking.
        return false;
    }

    bool result = false;
    const QVariant statusAttribute = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (statusAttribute.isValid()) {
        const int status = statusAttribute.toInt();
        if (isLoginStatusJudged(status)) {
            result = LoginRequest::isGranted(status, reply->readAll(), reply->rawHeader(kTokenHeader), &token);
        } else {
            qDebug().noquote() << reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
        }
    }
    if (result) {
        loggedIn = true;
    } else {
        userName.clear();
        passwordDigest.clear();
    }
    reply->deleteLater();
    return result;
}

void MainWindow::registerNode()
{
    ui->registerButton->setEnabled(false);

    Node node = nodeInterface->nodeRecord();
    // The button is only enabled with a form shown, but a form can go away while a login runs below.
    node.lockDescription = currentForm ? currentForm->lockDescriptionText : QString();
    const QPointer<NodeForm> formAtStart = currentForm;
    // After a failure the button comes back only for the form it was pressed on.
    const auto enableRegisterAgain = [this, &formAtStart]() {
        if (currentForm && currentForm == formAtStart)
            ui->registerButton->setEnabled(true);
    };

    bool aborted = false;
    const bool loginHeld = loginToServer(aborted);
    redeliverDeferredNode();
    if (!loginHeld) {
        showMessageBox(
            QMessageBox::Critical, QString::fromLatin1(kLoginBoxTitle), QStringLiteral("Incorrect Credentials"));
        enableRegisterAgain();
        return;
    }
    if (aborted) {
        enableRegisterAgain();
        return;
    }

    QProgressDialog progress(QStringLiteral("Registering..."), QString(), 0, 0);
    progress.setCancelButton(nullptr);
    progress.setWindowModality(Qt::WindowModal);
    progress.show();

    qDebug().noquote() << "MainWindow: register node" << node.deviceType;
    JSONdeviceRegister deviceRegister(&networkManager, serverAddress, token);
    const int code = deviceRegister.registerDevice(node);

    progress.close();
    journal.recordRegistration(node, code);

    const QString title = QString::fromLatin1(kRegistrationTitle);
    if (code == 200) {
        qDebug("MainWindow: Node registered");
        showMessageBox(QMessageBox::Warning, title, QStringLiteral("Node added successfully"));
    } else if (code == 201) {
        qDebug("MainWindow: Node updated");
        showMessageBox(QMessageBox::Information, title, QStringLiteral("Node Updated"));
    } else {
        showMessageBox(QMessageBox::Critical, QStringLiteral("Node Registration"),
            QStringLiteral("Registration failed :") + QString::number(code));
        loggedIn = false;
        userName.clear();
        passwordDigest.clear();
        enableRegisterAgain();
    }
}
