#pragma once

#include <QDir>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <QVariant>

#include <functional>
#include <memory>

class MainWindow;
class NodeForm;
class NodeSimulator;

// Walks simulated nodes through the tool's real window and takes a picture at each step the operator sees:
// the busy bar, the window with each type's form, the write's success and its verification, the sleeping node,
// a node that is not configured and a connect time-out; then, with a profile, a lot and two stations, the
// profile's differences marked, a label that does not match, the verified write, the station tabs, the History
// window (all nodes, and one lot with a node's events), and the window in German. The node is the simulator on a
// pseudo-terminal; the login goes to orva-testserver, started from this program's own directory with the demo
// credentials.
class FlowShooter
{
public:
    FlowShooter(const QDir &out, QTextStream &err);
    ~FlowShooter();

    bool run();
    // A station run by its profile, at 520 × 700 in English and German: its steps under way, PASS, and FAIL with
    // a long reason (handsfree-*.png).
    bool runHandsFree();

private:
    bool startServer();
    bool plugIn();
    // Runs the event loop until the condition holds; false (and a message naming the step) on time-out.
    bool waitFor(const QString &step, const std::function<bool()> &condition, int timeoutMs = 45000);
    bool bootAndShowForm(int firmwareType, const QString &fileName);
    // Closes the window and opens a new one on the same port with these settings, as a restart would.
    bool reopenWindow(const QMap<QString, QVariant> &settings);
    bool waitForNote(const QString &text);
    bool shootProfileStationsAndHistory();
    bool shootHistory();
    bool shootGerman();
    bool shootHandsFree(const QString &suffix);
    bool waitForMessage(const QString &text);
    NodeForm *shownForm() const;
    bool shoot(const QString &fileName);
    // Answers the login with the demo credentials and a question with expectedAnswer; any other box is reported.
    void answerDialogs();

    QDir out;
    QTextStream &err;
    QTemporaryDir scratch;
    QProcess server;
    QString serverUrl;
    QString portPath;
    std::unique_ptr<NodeSimulator> node;
    std::unique_ptr<MainWindow> window;
    QTimer dialogAnswerer;
    QString expectedAnswer; // the button to press on the next question box, once
};
