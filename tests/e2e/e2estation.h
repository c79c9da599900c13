#pragma once

#include "commissioningsession.h"
#include "dialogdriver.h"
#include "nodesimulator.h"

#include <QColor>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantMap>

#include <memory>

class MainWindow;
class NodeForm;
class QLabel;
class QPushButton;

// One commissioning bench as an operator finds it at the start of a shift: a simulated node on a
// pseudo-terminal offered as an extra port, the tool's settings as a case needs them (a profile, a server
// address, a remembered port or none), an empty journal and outbox, and then the tool's window. The window's
// dialogs are answered by the dialog driver; the case waits on the session's state, which the window renders.
class E2eStation
{
public:
    // A node's whole start-up read with its fixed pauses, on a machine busy with other tests.
    static constexpr int kReadWaitMs = 45000;

    E2eStation();
    ~E2eStation();

    // Starts a simulated node on a pseudo-terminal of its own (the first is the one the window remembers).
    // Returns the node's port path, empty (with the reason in error()) on failure.
    QString addNode(const SimNodeProfile &profile);
    NodeSimulator &node(int index = 0) { return *nodes.at(index); }
    QString nodePath(int index = 0) const { return paths.at(index); }

    // Writes the settings (the server address when not empty, the first node's port when `rememberPort`, and
    // `extra`), removes any journal and outbox, and opens the window.
    void openWindow(const QString &serverUrl, const QVariantMap &extra = {}, bool rememberPort = true);
    MainWindow *window() const { return mainWindow.get(); }
    CommissioningSession *session() const;
    DialogDriver &dialogs() { return driver; }
    QString error() const { return problem; }

    bool waitForState(CommissioningSession::State state, int timeoutMs = kReadWaitMs) const;
    // Queues the demo login when `login`, boots the first node and waits until its form is on show.
    bool bootAndShow(bool login);
    // The form on show, or null.
    NodeForm *form() const;
    QPushButton *button(const char *objectName) const;
    QLabel *label(const char *objectName) const;
    // The colour the label's text is drawn in.
    static QColor textColour(const QLabel *label);
    // Sets a line edit of the form as the operator would: select all, type.
    static void typeInto(NodeForm *form, const char *editName, const QString &text);

    static QString journalPath();
    static QString outboxPath();
    // The journal's events ("event" of each line), in order.
    static QStringList journalEvents();

private:
    QTemporaryDir portDir;
    std::vector<std::unique_ptr<NodeSimulator>> nodes;
    QStringList paths;
    std::unique_ptr<MainWindow> mainWindow;
    DialogDriver driver;
    QString problem;
};
