#include "flowshooter.h"

#include "historytablemodel.h"
#include "historywindow.h"
#include "mainwindow.h"
#include "nodeform.h"
#include "nodeinterface.h"
#include "nodesimulator.h"
#include "passworddialog.h"
#include "stationview.h"
#include "translationloader.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTranslator>

namespace {

const char kDemoUser[] = "operator";
const char kDemoPassword[] = "tessaline";
// The lot of the batch in the pictures of the profile and the history.
const char kLot[] = "L2026-48 harbour north";
// Long enough for the picture of the success message before the node is back.
const int kRebootDelayMs = 3000;

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
    portPath = port;
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
    // Read back after its restart, the node has what was written.
    if (!waitForNote(QStringLiteral("Verified")) || !shoot(QStringLiteral("flow-verified.png")))
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

    // A node that never finishes its start-up read: the window waits its real connect time-out.
    node->setProfile(SimNodeProfile::forType(kFormPictures[0].type));
    node->setFault(QStringLiteral("cfg"), SimFault::Silent);
    node->boot();
    if (!waitForMessage(QStringLiteral("Connect Timed out\nReset Node"))
        || !shoot(QStringLiteral("flow-connect-timed-out.png")))
        return false;
    node->setFault(QStringLiteral("cfg"), SimFault::None);
    return shootProfileStationsAndHistory() && shootGerman();
}

bool FlowShooter::reopenWindow(const QMap<QString, QVariant> &values)
{
    dialogAnswerer.stop();
    window.reset();
    QSettings settings(
        QString::fromLatin1(MainWindow::kOrganisationName), QString::fromLatin1(MainWindow::kApplicationName));
    for (auto value = values.cbegin(); value != values.cend(); ++value)
        settings.setValue(value.key(), value.value());
    settings.sync();
    window = std::make_unique<MainWindow>();
    window->show();
    dialogAnswerer.start();
    auto *link = window->findChild<NodeInterface *>();
    return waitFor(
        QStringLiteral("the port opened again"), [&] { return link && window->session()->openPort() == portPath; });
}

bool FlowShooter::waitForNote(const QString &text)
{
    auto *note = child<QLabel>(window.get(), "noteLabel");
    return waitFor(QStringLiteral("the note \"%1\"").arg(text),
        [&] { return note->isVisible() && note->text().startsWith(text); });
}

bool FlowShooter::shootProfileStationsAndHistory()
{
    // A profile for the LoRa OTAA nodes of a site, whose values differ from the node's; a lot for the batch.
    const QString profilePath = scratch.filePath(QStringLiteral("harbour.json"));
    QFile profile(profilePath);
    if (!profile.open(QIODevice::WriteOnly)
        || profile.write(R"({ "format": 1, "name": "Harbour site test", "types": { "LoRa OTAA":
               { "temperature": [-20, 60], "humidity": [5, 95], "reportRate": 30 } } })")
            < 0)
        return false;
    profile.close();
    if (!reopenWindow({{QStringLiteral("profile/path"), profilePath}, {QStringLiteral("journal/lot"), kLot}}))
        return false;

    // The node is shown with the profile's values filled in and marked.
    SimNodeProfile lora = SimNodeProfile::forType(kFormPictures[0].type);
    lora.rebootDelayMs = kRebootDelayMs;
    node->setProfile(lora);
    NodeForm *previous = shownForm();
    node->boot();
    if (!waitFor(QStringLiteral("the profile's form"), [&] { return shownForm() && shownForm() != previous; })
        || !waitForNote(QStringLiteral("Profile ")) || !shoot(QStringLiteral("flow-profile-differences.png")))
        return false;

    // A label scanned from another node.
    auto *labelEdit = child<QLineEdit>(window.get(), "labelEdit");
    labelEdit->setText(QStringLiteral("70B3D57ED00000FF"));
    QMetaObject::invokeMethod(labelEdit, "returnPressed");
    auto *labelResult = child<QLabel>(window.get(), "labelResultLabel");
    if (!waitFor(QStringLiteral("the label's result"), [&] { return labelResult->isVisible(); })
        || !shoot(QStringLiteral("flow-label-mismatch.png")))
        return false;
    labelEdit->clear();

    // Apply writes exactly the differences; read back after the restart, the node is verified.
    NodeForm *form = shownForm();
    child<QPushButton>(form, "applyButton")->click();
    if (!waitFor(QStringLiteral("the node read again"), [&] { return shownForm() && shownForm() != form; })
        || !waitForNote(QStringLiteral("Verified")) || !shoot(QStringLiteral("flow-profile-verified.png")))
        return false;

    // Two stations: each port in a tab of its own, with a dot for how it is doing.
    if (!reopenWindow({{QStringLiteral("stations/count"), 2}}))
        return false;
    previous = shownForm();
    node->boot();
    if (!waitFor(QStringLiteral("the form in the first tab"), [&] { return shownForm() && shownForm() != previous; })
        || !shoot(QStringLiteral("flow-station-tabs.png")))
        return false;
    return shootHistory();
}

bool FlowShooter::shootHistory()
{
    auto *history = window->findChild<QAction *>(QStringLiteral("actionHistory"));
    if (!history)
        return false;
    history->trigger();
    HistoryWindow *shown = window->findChild<HistoryWindow *>();
    if (!shown || !waitFor(QStringLiteral("the history"), [&] { return shown->isLoaded(); }))
        return false;
    shown->resize(900, 560);
    QCoreApplication::processEvents();
    if (!shown->grab().save(out.filePath(QStringLiteral("history.png"))))
        return false;

    // One lot, with the events of its first node.
    auto *lots = child<QComboBox>(shown, "lotCombo");
    const int lot = lots ? lots->findData(QString::fromLatin1(kLot)) : -1;
    if (lot < 0) {
        err << "flow: the lot is not offered in the history\n";
        return false;
    }
    lots->setCurrentIndex(lot);
    const auto *model = shown->model();
    if (!waitFor(QStringLiteral("the lot's rows"), [&] { return model->rowCount() > 0; }))
        return false;
    shown->showEvents(model->index(0, 0));
    QCoreApplication::processEvents();
    const bool saved = shown->grab().save(out.filePath(QStringLiteral("history-lot.png")));
    shown->close();
    return saved;
}

bool FlowShooter::shootGerman()
{
    // The window in German, with a node shown under the profile.
    const QLocale german(QLocale::German, QLocale::Germany);
    QLocale::setDefault(german);
    if (!TranslationLoader::install(german)) {
        err << "the German translation is not built in\n";
        return false;
    }
    bool ok = reopenWindow({{QStringLiteral("stations/count"), 1}});
    NodeForm *previous = shownForm();
    if (ok) {
        node->boot();
        ok = waitFor(QStringLiteral("the German form"), [&] { return shownForm() && shownForm() != previous; })
            && shoot(QStringLiteral("flow-form-de.png"));
    }
    window.reset();
    for (QTranslator *translator : QCoreApplication::instance()->findChildren<QTranslator *>()) {
        QCoreApplication::removeTranslator(translator);
        delete translator;
    }
    QLocale::setDefault(QLocale::system());
    return ok;
}

bool FlowShooter::runHandsFree()
{
    if (!scratch.isValid() || !startServer() || !plugIn())
        return false;
    // The station writes, registers and puts the node to sleep by itself; its sound stays off.
    const QString profilePath = scratch.filePath(QStringLiteral("hands-free.json"));
    QFile profile(profilePath);
    if (!profile.open(QIODevice::WriteOnly)
        || profile.write(R"({ "format": 1, "name": "Harbour hands-free",
               "auto": { "apply": true, "register": true, "activate": true },
               "types": { "LoRa OTAA": { "temperature": [-20, 60], "humidity": [5, 95], "reportRate": 30 } } })")
            < 0)
        return false;
    profile.close();
    node->setProfile(SimNodeProfile::forType(kFormPictures[0].type));
    if (!reopenWindow({{QStringLiteral("profile/path"), profilePath}, {QStringLiteral("journal/lot"), kLot}})
        || !shootHandsFree(QString()))
        return false;

    const QLocale german(QLocale::German, QLocale::Germany);
    QLocale::setDefault(german);
    if (!TranslationLoader::install(german)) {
        err << "the German translation is not built in\n";
        return false;
    }
    const bool ok = reopenWindow({}) && shootHandsFree(QStringLiteral("-de"));
    window.reset();
    for (QTranslator *translator : QCoreApplication::instance()->findChildren<QTranslator *>()) {
        QCoreApplication::removeTranslator(translator);
        delete translator;
    }
    QLocale::setDefault(QLocale::system());
    return ok;
}

bool FlowShooter::shootHandsFree(const QString &suffix)
{
    using Outcome = CommissioningSession::AutoRun::Outcome;
    window->resize(520, 700);
    CommissioningSession *session = window->session();
    // A fresh node: its settings differ from the profile's.
    node->clearFaults();
    node->setProfile(SimNodeProfile::forType(kFormPictures[0].type));
    node->boot();
    // Under way: read, written, verified and registered, waiting for the node to confirm its sleep.
    if (!waitFor(QStringLiteral("the run's steps"),
            [&] {
                const CommissioningSession::AutoRun run = session->autoRun();
                return run.outcome == Outcome::Running && run.registered && !run.asleep;
            })
        || !shoot(QStringLiteral("handsfree-running%1.png").arg(suffix)))
        return false;
    if (!waitFor(QStringLiteral("PASS"), [&] { return session->autoRun().outcome == Outcome::Passed; })
        || !shoot(QStringLiteral("handsfree-pass%1.png").arg(suffix)))
        return false;

    // A node that answers its write but keeps its old temperature range and report rate.
    node->setProfile(SimNodeProfile::forType(kFormPictures[0].type));
    node->setFault(QStringLiteral("set:tht"), SimFault::Ignored);
    node->setFault(QStringLiteral("set:rr"), SimFault::Ignored);
    node->boot();
    const bool failed = waitFor(QStringLiteral("FAIL"), [&] { return session->autoRun().outcome == Outcome::Failed; })
        && shoot(QStringLiteral("handsfree-fail%1.png").arg(suffix));
    node->clearFaults();
    return failed;
}
