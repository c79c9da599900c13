#include "flowshooter.h"

#include "mainwindow.h"
#include "nodeform.h"
#include "nodesimulator.h"
#include "passworddialog.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>

namespace {

const char kDemoUser[] = "operator";
const char kDemoPassword[] = "tessaline";
// Long enough for the picture of the success message before the node is back.
const int kRebootDelayMs = 3000;
// The pictures need the message, not the real wait.
const int kShortConnectTimeoutMs = 1500;

struct FormPicture
{
    int type;
    const char *fileName;
};

// The LoRa OTAA node comes first: its form is also where the write and the sleep are shown.
const FormPicture kFormPictures[] = {
    {2, "flow-form-lora-otaa.png"},
    {1, "flow-form-pellimar.png"},
    {3, "flow-form-sigfox.png"},
    {4, "flow-form-pellimar-5d.png"},
    {5, "flow-form-lora-otaa-5d.png"},
    {6, "flow-form-sigfox-5d.png"},
};

template <class T> T *child(QWidget *root, const char *name)
{
    return root->findChild<T *>(QLatin1String(name));
}

} // namespace

FlowShooter::FlowShooter(const QDir &outDir, QTextStream &errors)
    : out(outDir)
    , err(errors)
{
    dialogAnswerer.setInterval(20);
    QObject::connect(&dialogAnswerer, &QTimer::timeout, [this] { answerDialogs(); });
}

FlowShooter::~FlowShooter()
{
    window.reset();
    node.reset();
    if (server.state() != QProcess::NotRunning) {
        server.terminate();
        server.waitForFinished(5000);
    }
}

bool FlowShooter::startServer()
{
    const QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/orva-testserver");
    server.start(program,
        {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--user"), QLatin1String(kDemoUser),
            QStringLiteral("--password"), QLatin1String(kDemoPassword), QStringLiteral("--devices"),
            scratch.filePath(QStringLiteral("devices.json"))});
    const QRegularExpression ready(QStringLiteral("listening on (http://\\S+)"));
    QByteArray output;
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired() && server.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())))) {
        output += server.readAllStandardOutput();
        const QRegularExpressionMatch match = ready.match(QString::fromUtf8(output));
        if (match.hasMatch()) {
            serverUrl = match.captured(1);
            return true;
        }
    }
    err << "cannot start " << program << ": " << server.errorString() << "\n";
    return false;
}

bool FlowShooter::plugIn()
{
    const QString port = scratch.filePath(QStringLiteral("ttyUSB0"));
    SimNodeProfile profile = SimNodeProfile::forType(kFormPictures[0].type);
    profile.rebootDelayMs = kRebootDelayMs;
    node = std::make_unique<NodeSimulator>(profile);
    QString error;
    if (!node->start(port, &error)) {
        err << "cannot start the node simulator: " << error << "\n";
        return false;
    }
    // As the operator would have set it up: the server, and the node's port chosen at an earlier run.
    qputenv(MainWindow::kExtraPortsVariable, port.toLocal8Bit());
    QSettings settings(
        QString::fromLatin1(MainWindow::kOrganisationName), QString::fromLatin1(MainWindow::kApplicationName));
    settings.setValue(QStringLiteral("JSONregister/server"), serverUrl);
    settings.setValue(QStringLiteral("serial/port"), port);
    settings.sync();
    window = std::make_unique<MainWindow>();
    window->show();
    dialogAnswerer.start();
    return true;
}

void FlowShooter::answerDialogs()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible())
        return;
    // Only the question the flow asked for belongs to it; any other box says what went wrong, and is closed so
    // that the walk goes on to its time-out instead of hanging.
    if (auto *box = qobject_cast<QMessageBox *>(modal)) {
        if (box->icon() == QMessageBox::Question && !expectedAnswer.isEmpty()) {
            for (QAbstractButton *choice : box->buttons()) {
                if (choice->text() == expectedAnswer) {
                    expectedAnswer.clear();
                    choice->click();
                    return;
                }
            }
        }
        err << "flow: unexpected message \"" << box->windowTitle() << "\": " << box->text() << "\n";
        box->button(QMessageBox::Ok) ? box->button(QMessageBox::Ok)->click() : box->reject();
        return;
    }
    auto *dialog = qobject_cast<PasswordDialog *>(modal);
    if (!dialog)
        return;
    child<QLineEdit>(dialog, "usernameLineEdit")->setText(QLatin1String(kDemoUser));
    child<QLineEdit>(dialog, "passwordLineEdit")->setText(QLatin1String(kDemoPassword));
    child<QDialogButtonBox>(dialog, "buttonBox")->button(QDialogButtonBox::Ok)->click();
}

bool FlowShooter::waitFor(const QString &step, const std::function<bool()> &condition, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired()) {
            err << "flow: gave up waiting for " << step << "\n";
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    // One more pass, so that what just changed is painted.
    QCoreApplication::processEvents();
    return true;
}

NodeForm *FlowShooter::shownForm() const
{
    for (NodeForm *form : window->findChildren<NodeForm *>()) {
        if (form->isVisible())
            return form;
    }
    return nullptr;
}

bool FlowShooter::waitForMessage(const QString &text)
{
    auto *label = child<QLabel>(window.get(), "stateLabel");
    return waitFor(QStringLiteral("\"%1\"").arg(text), [&] { return label->isVisible() && label->text() == text; });
}

bool FlowShooter::shoot(const QString &fileName)
{
    const QString path = out.filePath(fileName);
    if (!window->grab().save(path)) {
        err << "cannot write " << path << "\n";
        return false;
    }
    return true;
}

bool FlowShooter::bootAndShowForm(int firmwareType, const QString &fileName)
{
    SimNodeProfile profile = SimNodeProfile::forType(firmwareType);
    profile.rebootDelayMs = kRebootDelayMs;
    node->setProfile(profile);
    NodeForm *previous = shownForm();
    node->boot();
    return waitFor(fileName, [&] { return shownForm() && shownForm() != previous; }) && shoot(fileName);
}

bool FlowShooter::run()
{
    if (!scratch.isValid() || !startServer() || !plugIn())
        return false;
    auto *progressBar = child<QProgressBar>(window.get(), "progressBar");

    // The node boots: the busy bar while the tool reads it, then (after the login) its form.
    NodeForm *previous = shownForm();
    node->boot();
    if (!waitFor(QStringLiteral("the busy bar"), [&] { return progressBar->isVisible(); })
        || !shoot(QStringLiteral("flow-busy.png")))
        return false;
    if (!waitFor(QString::fromLatin1(kFormPictures[0].fileName), [&] { return shownForm() && shownForm() != previous; })
        || !shoot(QString::fromLatin1(kFormPictures[0].fileName)))
        return false;

    // A new report rate is written; the node restarts with it.
    NodeForm *form = shownForm();
    child<QLineEdit>(form, "reportRateEdit")->setText(QStringLiteral("30"));
    child<QPushButton>(form, "applyButton")->click();
    if (!waitForMessage(QStringLiteral("Update Success\nPlease Wait..."))
        || !shoot(QStringLiteral("flow-update-success.png")))
        return false;
    if (!waitFor(QStringLiteral("the node read again"), [&] { return shownForm() && shownForm() != form; }))
        return false;

    // Activate puts the node to sleep; the node was not registered, so the window asks first.
    expectedAnswer = QStringLiteral("Put to sleep");
    child<QPushButton>(window.get(), "sleepButton")->click();
    if (!waitForMessage(QStringLiteral("Node Sleeping\nConnect another and reset."))
        || !shoot(QStringLiteral("flow-node-sleeping.png")))
        return false;

    for (const FormPicture &picture : kFormPictures) {
        if (picture.type != kFormPictures[0].type
            && !bootAndShowForm(picture.type, QString::fromLatin1(picture.fileName)))
            return false;
    }

    // A node whose communication the tool does not know.
    node->setProfile(SimNodeProfile::forType(0));
    node->boot();
    if (!waitForMessage(QStringLiteral("Node not configured\nTry another Node"))
        || !shoot(QStringLiteral("flow-not-configured.png")))
        return false;

    // A node that never finishes its start-up read.
    window->setConnectTimeoutForTesting(kShortConnectTimeoutMs);
    node->setProfile(SimNodeProfile::forType(kFormPictures[0].type));
    node->setFault(QStringLiteral("cfg"), SimFault::Silent);
    node->boot();
    return waitForMessage(QStringLiteral("Connect Timed out\nReset Node"))
        && shoot(QStringLiteral("flow-connect-timed-out.png"));
}
