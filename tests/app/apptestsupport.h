#pragma once

#include <QApplication>
#include <QByteArray>
#include <QTemporaryDir>
#include <QTest>

// Window tests must never read or write the operator's own settings or commissioning journal. QSettings fixes
// its location at the first use in a process, so the private directories are set up before the application
// object exists.
#define IOT_APP_TEST_MAIN(TestObject)                                                                                  \
    int main(int argc, char *argv[])                                                                                   \
    {                                                                                                                  \
        QTemporaryDir configHome;                                                                                      \
        if (!configHome.isValid())                                                                                     \
            return 2;                                                                                                  \
        qputenv("XDG_CONFIG_HOME", configHome.path().toLocal8Bit());                                                   \
        QTemporaryDir dataHome;                                                                                        \
        if (!dataHome.isValid())                                                                                       \
            return 2;                                                                                                  \
        qputenv("XDG_DATA_HOME", dataHome.path().toLocal8Bit());                                                       \
        qunsetenv("IOT_COMMISSION_EXTRA_PORTS");                                                                       \
        QApplication application(argc, argv);                                                                          \
        application.setAttribute(Qt::AA_Use96Dpi, true);                                                               \
        TestObject testObject;                                                                                         \
        QTEST_SET_MAIN_SOURCE_PATH                                                                                     \
        return QTest::qExec(&testObject, argc, argv);                                                                  \
    }

// The window's widget with the given object name, or null.
template <class T> T *namedChild(QObject *root, const char *name)
{
    return root->findChild<T *>(QString::fromLatin1(name));
}

#include "node.h"

// A node as the link announces it after reading a healthy node of the given type.
inline Node sampleNode(int firmwareType, int reportRate = 15)
{
    Node node;
    node.firmwareType = static_cast<Node::eFirmwareType>(firmwareType);
    node.deviceType = 1;
    node.nodeVersion = QStringLiteral("v2.4.1");
    node.moduleVersion = QStringLiteral("1.4");
    node.loraVersion = QStringLiteral("4.2.1");
    const bool sigfox = firmwareType == Node::SigFox || firmwareType == Node::SigFox5D;
    node.deviceCommunication
        = sigfox ? 3 : (firmwareType == Node::Pellimar || firmwareType == Node::Pellimar5D ? 1 : 2);
    if (sigfox) {
        node.euid = QStringLiteral("00C0FFEE");
        node.pac = QStringLiteral("0123456789ABCDEF");
    } else {
        node.euid = QStringLiteral("70:B3:D5:7E:D0:00:0A:01");
        node.appId = QStringLiteral("0004A30B001C0A00");
        node.appKey = QStringLiteral("2B7E151628AED2A6ABF7158809CF4F3C");
        node.netId = QStringLiteral("00000013");
    }
    node.thresholds.temperatureLow = -10;
    node.thresholds.temperatureHigh = 50;
    node.thresholds.humidityLow = 10;
    node.thresholds.humidityHigh = 90;
    node.thresholds.pressureLow = 250;
    node.thresholds.pressureHigh = 1234;
    node.thresholds.accelX = 150;
    node.thresholds.accelY = 0;
    node.thresholds.accelZ = 0;
    node.thresholds.accelD = 128;
    node.reportRate = reportRate;
    return node;
}

#include "nodeinterface.h"

#include <QDeadlineTimer>
#include <QObject>

// Waits until the window's link holds the port at `path` open. The window asks for its port while it is
// built, before a test could listen; asking again here makes the notice impossible to miss.
inline bool linkHoldsPort(QWidget &window, const QString &path, int timeoutMs)
{
    auto *link = window.findChild<NodeInterface *>();
    if (!link)
        return false;
    // Delivered to this thread: the link emits from its own, and a spy recording there could be written to
    // while it is read here or after it is gone.
    QObject receiver;
    bool held = false;
    QObject::connect(
        link, &NodeInterface::serialPortOpened, &receiver,
        [&held, path](const QString &name) { held = held || name == path; }, Qt::QueuedConnection);
    link->connectSerialPort(path);
    QDeadlineTimer deadline(timeoutMs);
    while (!held && !deadline.hasExpired())
        QTest::qWait(10);
    return held;
}
