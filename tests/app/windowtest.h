#pragma once

#include "dialogdriver.h"
#include "mainwindow.h"
#include "nodesimulator.h"
#include "testpacing.h"
#include "testserverprocess.h"

#include <QObject>
#include <QSettings>
#include <QTemporaryDir>

#include <memory>

// The frame of a window test: one local registration server for the whole run; before each test the settings
// are cleared and point at that server, and no port is remembered, so the window opens none and the link stays
// away from this machine's ports (tests that do not boot a simulated node announce their nodes themselves).
class WindowTest : public QObject
{
    Q_OBJECT

public:
    static constexpr const char *kNoPort = "/nonexistent/iot-app-test/ttyNONE";
    static constexpr int kLinkWaitMs = 20000;

    static QSettings userSettings();

protected:
    // A shown window on the tests' shortened pacing unless another is given.
    std::unique_ptr<MainWindow> newWindow(const Pacing &pacing = testPacing());
    // Starts `simulator` on a pseudo-terminal that the window lists and remembers as its port; null on failure.
    NodeSimulator *simulatorOnPort(const SimNodeProfile &profile);
    // A simulated node on the remembered port and a shown window whose link holds that port; null on failure.
    std::unique_ptr<MainWindow> windowOnSimulatedPort(const SimNodeProfile &profile);
    // Has the driver answer the login with the server's credentials, then boots the simulated node.
    void loginAndBoot(DialogDriver &driver);

    TestServerProcess server;
    std::unique_ptr<QTemporaryDir> portDir;
    std::unique_ptr<NodeSimulator> simulator;

private slots:
    void initTestCase();
    void init();
    void cleanup();
};
