#pragma once

#include "dialogdriver.h"
#include "guiwatchdog.h"
#include "nodesimulator.h"
#include "testpacing.h"

#include <QPointer>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>

class MainWindow;
class NodeForm;
class NodeInterface;
class QLabel;
class QPushButton;

// One operator's workbench: a simulated node on a pseudo-terminal, the tool's window pointed at it and at the
// registration server through the private settings (the port offered as an extra port and remembered), the
// dialog driver that answers the window's dialogs through their widgets, and a watchdog on the GUI thread.
//
// The window's state is read from its widgets and named after the rows of the window's state table; the
// workbench keeps the trail of states the window went through.
class Workbench
{
public:
    // A node's whole start-up read with its fixed pauses, on a machine busy with other tests.
    static constexpr int kNodeReadWaitMs = 45000;

    // State names. The idle row of the table is named by the message it shows.
    static constexpr const char *kIdle = "Idle";
    static constexpr const char *kApplyFailed = "Apply failed";
    static constexpr const char *kUpdateSuccess = "Update success";
    static constexpr const char *kApplyTimedOut = "Apply timed out";
    static constexpr const char *kNodeSleeping = "Node sleeping";
    static constexpr const char *kReading = "Reading";
    static constexpr const char *kConnectTimedOut = "Connect timed out";
    static constexpr const char *kNodeShown = "Node shown";
    static constexpr const char *kNotConfigured = "Not configured";
    static constexpr const char *kLoginFailed = "Login failed";
    static constexpr const char *kPortUnavailable = "Port unavailable";
    static constexpr const char *kFirmwareTooOld = "Firmware too old";
    static constexpr const char *kKeyMismatch = "Key mismatch";

    // The window runs on the given pacing: the tests' shortened one unless a benchmark measures the real flow.
    explicit Workbench(const QString &serverUrl, const Pacing &pacing = testPacing());
    ~Workbench();

    // Starts the simulated node and opens the window on its port. False, with the reason in error(), on failure.
    bool plugIn(const SimNodeProfile &profile);
    QString error() const { return problem; }

    MainWindow *window() const { return mainWindow.get(); }
    NodeInterface *link() const;
    NodeSimulator &node() { return *simulator; }
    DialogDriver &dialogs() { return driver; }
    GuiWatchdog &watchdog() { return guiWatchdog; }

    // Boots the node (answering the login with the demo credentials when `login` is set) and waits until the
    // window shows a new node form.
    bool bootAndShow(bool login);
    // The node form on show, or null.
    NodeForm *form() const;
    QPushButton *button(const char *objectName) const;
    QLabel *stateLabel() const;
    QString versionText() const;

    // The window's state, or a text starting with "Inconsistent" that says which widgets disagree.
    QString state() const;
    // Waits for the state, keeping the trail.
    bool waitForState(const QString &wanted, int timeoutMs = kNodeReadWaitMs);
    // The window's dialogs open after the click that caused them and are answered later: waits until every
    // answer queued on the dialog driver was given and no dialog is left on screen (a progress dialog included).
    bool waitForDialogs(int timeoutMs = kNodeReadWaitMs);
    // Queues the answer to the next question box (Register or Activate asking first): the button with this text.
    void answerQuestion(const QString &buttonText);
    // Clicks one of the window's buttons and waits for the dialogs it brings to be answered (see waitForDialogs).
    bool clickAndAnswer(const char *objectName, int timeoutMs = kNodeReadWaitMs);

    // The window states seen so far, each change once; moments with a dialog open are not states of their own.
    QStringList trail() const { return states; }
    // The trail on one line, for the message of a failed check.
    QString trailText() const { return states.join(QStringLiteral(" > ")); }
    void clearTrail();

    // What the program does when the operator closes the window: the window is closed and deleted.
    void closeWindow();

    // Sets a line edit of the form as the operator would: select all, type.
    static void typeInto(NodeForm *form, const char *editName, const QString &text);

private:
    void recordState();

    QString server;
    const Pacing pacing;
    QTemporaryDir portDir;
    std::unique_ptr<NodeSimulator> simulator;
    std::unique_ptr<MainWindow> mainWindow;
    DialogDriver driver;
    GuiWatchdog guiWatchdog;
    QTimer trailTimer;
    QStringList states;
    QString problem;
};
