#include "workbench.h"

#include "apptestsupport.h"
#include "mainwindow.h"
#include "nodeform.h"
#include "nodeinterface.h"
#include "testserverprocess.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QVBoxLayout>

namespace {

struct StateMessage
{
    const char *state;
    const char *text;
    Qt::GlobalColor colour;
    bool prefixOnly = false; // the message goes on with a detail (the port and why it cannot be opened)
};

// The messages the state label shows when it is visible, and the state each one belongs to.
const StateMessage kMessages[] = {
    {Workbench::kIdle, "Reset Node while connected", Qt::black},
    {Workbench::kApplyFailed, "Apply FAILED\nReset Node", Qt::red},
    {Workbench::kUpdateSuccess, "Update Success\nPlease Wait...", Qt::darkGreen},
    {Workbench::kApplyTimedOut, "Apply Timed out\nReset Node", Qt::red},
    {Workbench::kNodeSleeping, "Node Sleeping\nConnect another and reset.", Qt::darkGreen},
    {Workbench::kConnectTimedOut, "Connect Timed out\nReset Node", Qt::red},
    {Workbench::kNotConfigured, "Node not configured\nTry another Node", Qt::darkYellow},
    {Workbench::kLoginFailed, "Not logged in\nLog in again", Qt::red},
    {Workbench::kPortUnavailable, "Port unavailable\n", Qt::red, true},
    {Workbench::kFirmwareTooOld, "Firmware too old\nSet node aside", Qt::darkYellow},
    {Workbench::kKeyMismatch, "Node key does not match\nCheck the tool's node key", Qt::red},
};

const int kPollMs = 10;

} // namespace

Workbench::Workbench(const QString &serverUrl, const Pacing &pacing)
    : server(serverUrl)
    , pacing(pacing)
{
    trailTimer.setInterval(kPollMs);
    QObject::connect(&trailTimer, &QTimer::timeout, [this] { recordState(); });
}

Workbench::~Workbench()
{
    trailTimer.stop();
    // The window (and with it the link) goes before the node whose line it holds open.
    mainWindow.reset();
    qunsetenv(MainWindow::kExtraPortsVariable);
}

bool Workbench::plugIn(const SimNodeProfile &profile)
{
    if (!portDir.isValid()) {
        problem = QStringLiteral("no temporary directory");
        return false;
    }
    simulator = std::make_unique<NodeSimulator>(profile);
    const QString path = portDir.filePath(QStringLiteral("ttyNODE"));
    if (!simulator->start(path, &problem))
        return false;

    // Pseudo-terminals are not among the system's ports; the tool lists the node's as an extra port, and the
    // operator chose it at an earlier run.
    qputenv(MainWindow::kExtraPortsVariable, path.toLocal8Bit());
    QSettings settings(
        QString::fromLatin1(MainWindow::kOrganisationName), QString::fromLatin1(MainWindow::kApplicationName));
    settings.clear();
    settings.setValue(QStringLiteral("JSONregister/server"), server);
    settings.setValue(QStringLiteral("serial/port"), path);
    settings.sync();

    mainWindow = std::make_unique<MainWindow>(pacing);
    mainWindow->show();
    states.clear();
    recordState();
    trailTimer.start();
    return true;
}

NodeInterface *Workbench::link() const
{
    return mainWindow ? mainWindow->findChild<NodeInterface *>() : nullptr;
}

bool Workbench::bootAndShow(bool login)
{
    if (login)
        driver.login(QLatin1String(TestServerProcess::kUser), QLatin1String(TestServerProcess::kPassword));
    const QPointer<NodeForm> previous = form();
    simulator->boot();
    // What the node printed before the window opened its port waits in the line, so the boot is never missed.
    return waitForState(QLatin1String(kNodeShown)) && form() != previous
        && QTest::qWaitFor([this] { return form() && form()->isVisible(); }, kNodeReadWaitMs);
}

NodeForm *Workbench::form() const
{
    if (!mainWindow)
        return nullptr;
    auto *layout = namedChild<QVBoxLayout>(mainWindow.get(), "mainLayout");
    return layout->count() > 1 ? qobject_cast<NodeForm *>(layout->itemAt(1)->widget()) : nullptr;
}

QPushButton *Workbench::button(const char *objectName) const
{
    return namedChild<QPushButton>(mainWindow.get(), objectName);
}

QLabel *Workbench::stateLabel() const
{
    return namedChild<QLabel>(mainWindow.get(), "stateLabel");
}

QString Workbench::versionText() const
{
    // The status bar's only label without an object name is the one the window added for the versions.
    for (QLabel *label : namedChild<QStatusBar>(mainWindow.get(), "statusBar")->findChildren<QLabel *>()) {
        if (label->objectName().isEmpty())
            return label->text();
    }
    return QString();
}

QString Workbench::state() const
{
    if (!mainWindow)
        return QStringLiteral("No window");
    QLabel *label = stateLabel();
    const bool labelShown = label->isVisible();
    const bool barShown = namedChild<QProgressBar>(mainWindow.get(), "progressBar")->isVisible();
    const bool refresh = button("portRefreshButton")->isEnabled();
    const bool disconnect = button("disconnectButton")->isEnabled();
    const bool registering = button("registerButton")->isEnabled();
    const bool activate = button("sleepButton")->isEnabled();
    const bool idleButtons = refresh && !disconnect && !registering && !activate;
    const bool hasForm = form() != nullptr;
    const QString widgets = QStringLiteral("Inconsistent: label %1 \"%2\", bar %3, form %4, buttons %5%6%7%8")
                                .arg(labelShown)
                                .arg(label->text())
                                .arg(barShown)
                                .arg(hasForm)
                                .arg(refresh)
                                .arg(disconnect)
                                .arg(registering)
                                .arg(activate);

    if (barShown)
        return !labelShown && !hasForm && idleButtons ? QString::fromLatin1(kReading) : widgets;
    if (hasForm)
        // Register goes off after a registration; both go off while a SigFox 5D form is being edited.
        return !labelShown && !refresh && disconnect ? QString::fromLatin1(kNodeShown) : widgets;
    if (!labelShown)
        return widgets;
    const QColor colour = label->palette().color(QPalette::Active, label->foregroundRole());
    const bool loginAgainShown = button("loginAgainButton")->isVisible();
    for (const StateMessage &message : kMessages) {
        const bool matches = message.prefixOnly ? label->text().startsWith(QLatin1String(message.text))
                                                : label->text() == QLatin1String(message.text);
        if (!matches)
            continue;
        if (colour != QColor(message.colour))
            return widgets + QStringLiteral(", colour ") + colour.name();
        // A node of unknown type leaves the buttons as they were; every other message comes with idle buttons.
        if (!idleButtons && qstrcmp(message.state, kNotConfigured) != 0)
            return widgets;
        // Only a failed login that kept the node offers to log in again.
        if (loginAgainShown != (qstrcmp(message.state, kLoginFailed) == 0))
            return widgets + QStringLiteral(", log in again %1").arg(loginAgainShown);
        return QString::fromLatin1(message.state);
    }
    return widgets;
}

void Workbench::recordState()
{
    // A dialog over the window (the login, a box to acknowledge, the progress of a login or registration) is a
    // step on the way between two states, not a state of its own. A dialog just closed and not yet deleted
    // still counts, so that the moment between answering it and the state it leads to is not taken for one.
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (qobject_cast<QDialog *>(widget))
            return;
    }
    const QString now = state();
    if (states.isEmpty() || states.last() != now)
        states.append(now);
}

bool Workbench::waitForState(const QString &wanted, int timeoutMs)
{
    return QTest::qWaitFor(
        [&] {
            recordState();
            return state() == wanted;
        },
        timeoutMs);
}

bool Workbench::waitForDialogs(int timeoutMs)
{
    return QTest::qWaitFor(
        [&] {
            recordState();
            if (driver.pendingSteps() > 0)
                return false;
            for (QWidget *widget : QApplication::topLevelWidgets()) {
                if (qobject_cast<QDialog *>(widget) && widget->isVisible())
                    return false;
            }
            return true;
        },
        timeoutMs);
}

void Workbench::answerQuestion(const QString &buttonText)
{
    driver.custom(QStringLiteral("question"), [buttonText](QWidget *widget) {
        auto *box = qobject_cast<QMessageBox *>(widget);
        for (QAbstractButton *choice : box->buttons()) {
            if (choice->text() == buttonText) {
                choice->click();
                return;
            }
        }
        // Not the question expected: the box is closed without an answer, which leaves the action undone.
        QWARN(qPrintable(QStringLiteral("no button \"%1\" on the box \"%2\"").arg(buttonText, box->text())));
        box->reject();
    });
}

bool Workbench::clickAndAnswer(const char *objectName, int timeoutMs)
{
    button(objectName)->click();
    return waitForDialogs(timeoutMs);
}

void Workbench::clearTrail()
{
    states.clear();
    recordState();
}

void Workbench::closeWindow()
{
    trailTimer.stop();
    mainWindow->close();
    mainWindow.reset();
}

void Workbench::typeInto(NodeForm *form, const char *editName, const QString &text)
{
    auto *edit = form->findChild<QLineEdit *>(QLatin1String(editName));
    QVERIFY2(edit, editName);
    edit->selectAll();
    QTest::keyClicks(edit, text);
}
