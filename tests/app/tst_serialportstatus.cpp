#include "apptestsupport.h"
#include "dialogdriver.h"
#include "mainwindow.h"
#include "nodeform.h"
#include "nodeinterface.h"
#include "nodesimulator.h"
#include "testpacing.h"
#include "testserverprocess.h"
#include "windowwaits.h"

#include <QComboBox>
#include <QLabel>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>
#include <QStatusTipEvent>

#include <memory>

namespace {

const int kLinkWaitMs = 15000;
const char kPrefix[] = "Could not open serial port ";

QSettings userSettings()
{
    return QSettings(QStringLiteral("DARV"), QStringLiteral("iot_commission"));
}

QString statusMessage(MainWindow &window)
{
    return namedChild<QStatusBar>(&window, "statusBar")->currentMessage();
}

} // namespace

// A port the link cannot open is reported in the status bar until a port opens or a node connects, and
// changes nothing else in the window.
class SerialPortStatusTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void unopenablePortIsNamedWithItsReason();
    void messageGoesWhenAnotherPortOpens();
    void messageGoesWhenANodeConnects();
    void messageGoesWhenTheStationIsIdleAgain();
    void menuStatusTipsDoNotWipeTheMessage();
    void portThatDisappearsIsReported();
    void noPortAtAllShowsNoMessage();

private:
    // A window whose remembered port is `first` among the given extra ports.
    std::unique_ptr<MainWindow> openWindow(const QStringList &ports);
    QString missingPort() const { return dir->filePath(QStringLiteral("ttyGONE")); }
    // Starts a simulated node; the path of its port, or empty when it did not start.
    QString startSimulator();

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<NodeSimulator> simulator;
};

void SerialPortStatusTest::init()
{
    userSettings().clear();
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
}

void SerialPortStatusTest::cleanup()
{
    simulator.reset();
    dir.reset();
    qunsetenv(MainWindow::kExtraPortsVariable);
}

std::unique_ptr<MainWindow> SerialPortStatusTest::openWindow(const QStringList &ports)
{
    qputenv(MainWindow::kExtraPortsVariable, ports.join(QLatin1Char(':')).toLocal8Bit());
    userSettings().setValue(QStringLiteral("serial/port"), ports.first());
    return std::make_unique<MainWindow>(testPacing());
}

void SerialPortStatusTest::unopenablePortIsNamedWithItsReason()
{
    // The log names the cause too.
    QTest::ignoreMessage(QtInfoMsg,
        QRegularExpression(QStringLiteral("^MainWindow: ")
            + QRegularExpression::escape(QString::fromLatin1(kPrefix) + missingPort() + QStringLiteral(": "))
            + QStringLiteral(".+")));
    auto window = openWindow({missingPort()});
    const QString start = QString::fromLatin1(kPrefix) + missingPort() + QStringLiteral(": ");
    QTRY_VERIFY_WITH_TIMEOUT(statusMessage(*window).startsWith(start), kLinkWaitMs);
    QVERIFY2(statusMessage(*window).size() > start.size(), qPrintable(statusMessage(*window))); // the reason

    // The state label says it too, in red, as the main message.
    auto *stateLabel = namedChild<QLabel>(window.get(), "stateLabel");
    QCOMPARE(window->session()->state(), CommissioningSession::State::PortUnavailable);
    QCOMPARE(
        stateLabel->text(), QStringLiteral("Port unavailable\n") + statusMessage(*window).mid(int(qstrlen(kPrefix))));
    QCOMPARE(stateLabel->palette().color(QPalette::Active, stateLabel->foregroundRole()), QColor(Qt::red));
    QVERIFY(!stateLabel->isHidden());
    const auto labels = namedChild<QStatusBar>(window.get(), "statusBar")->findChildren<QLabel *>();
    QVERIFY(!labels.isEmpty());
}

QString SerialPortStatusTest::startSimulator()
{
    simulator = std::make_unique<NodeSimulator>();
    const QString path = dir->filePath(QStringLiteral("ttyNODE"));
    return simulator->start(path) ? path : QString();
}

void SerialPortStatusTest::messageGoesWhenAnotherPortOpens()
{
    const QString good = startSimulator();
    QVERIFY(!good.isEmpty());
    auto window = openWindow({missingPort(), good});
    auto *link = window->findChild<NodeInterface *>();
    QVERIFY(link);
    QTRY_VERIFY_WITH_TIMEOUT(statusMessage(*window).startsWith(QLatin1String(kPrefix)), kLinkWaitMs);

    QSignalSpy opened(link, &NodeInterface::serialPortOpened);
    auto *combo = namedChild<QComboBox>(window.get(), "serialCombo");
    combo->setCurrentIndex(combo->findText(good));
    QTRY_COMPARE_WITH_TIMEOUT(opened.size(), 1, kLinkWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(statusMessage(*window).isEmpty(), kLinkWaitMs);
}

void SerialPortStatusTest::messageGoesWhenTheStationIsIdleAgain()
{
    auto window = openWindow({missingPort()});
    QTRY_VERIFY_WITH_TIMEOUT(statusMessage(*window).startsWith(QLatin1String(kPrefix)), kLinkWaitMs);
    QCOMPARE(window->session()->state(), CommissioningSession::State::PortUnavailable);

    // The station goes back to waiting for a node: the status bar must not go on saying the port failed while
    // the main text asks for a node.
    window->session()->resetNode();
    QTRY_COMPARE_WITH_TIMEOUT(window->session()->state(), CommissioningSession::State::WaitingForNode, kLinkWaitMs);
    QVERIFY2(statusMessage(*window).isEmpty(), qPrintable(statusMessage(*window)));
}

void SerialPortStatusTest::messageGoesWhenANodeConnects()
{
    TestServerProcess server;
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    userSettings().setValue(QStringLiteral("JSONregister/server"), server.baseUrl());
    auto window = openWindow({missingPort()});
    QTRY_VERIFY_WITH_TIMEOUT(statusMessage(*window).startsWith(QLatin1String(kPrefix)), kLinkWaitMs);

    // A node that connects and is shown proves a port works: the message is gone.
    DialogDriver driver;
    driver.login(QLatin1String(TestServerProcess::kUser), QLatin1String(TestServerProcess::kPassword));
    QVERIFY(QMetaObject::invokeMethod(window.get(), "connectNode", Q_ARG(Node, sampleNode(Node::LoRaOTAA))));
    IOT_WAIT_UNTIL_SETTLED(*window, driver);
    QCOMPARE(driver.unexpectedCount(), 0);
    QVERIFY(window->findChild<NodeForm *>());
    QVERIFY(statusMessage(*window).isEmpty());
}

void SerialPortStatusTest::menuStatusTipsDoNotWipeTheMessage()
{
    auto window = openWindow({missingPort()});
    QTRY_VERIFY_WITH_TIMEOUT(statusMessage(*window).startsWith(QLatin1String(kPrefix)), kLinkWaitMs);
    const QString failure = statusMessage(*window);

    // What a menu sends while the pointer moves over its entries and leaves them.
    QStatusTipEvent tip(QStringLiteral("Set the registration server"));
    QCoreApplication::sendEvent(window.get(), &tip);
    QCOMPARE(statusMessage(*window), QStringLiteral("Set the registration server"));
    QStatusTipEvent cleared{QString()};
    QCoreApplication::sendEvent(window.get(), &cleared);
    QCOMPARE(statusMessage(*window), failure);
}

void SerialPortStatusTest::portThatDisappearsIsReported()
{
    const QString good = startSimulator();
    QVERIFY(!good.isEmpty());
    // The window's own open fails, so the open asked for below is the only one.
    auto window = openWindow({missingPort(), good});
    auto *link = window->findChild<NodeInterface *>();
    QSignalSpy opened(link, &NodeInterface::serialPortOpened);
    link->connectSerialPort(good);
    QTRY_COMPARE_WITH_TIMEOUT(opened.size(), 1, kLinkWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(statusMessage(*window).isEmpty(), kLinkWaitMs);

    simulator->hangUp(); // the node is unplugged
    QTRY_VERIFY_WITH_TIMEOUT(
        statusMessage(*window).startsWith(QString::fromLatin1(kPrefix) + good + QStringLiteral(": ")), kLinkWaitMs);
}

void SerialPortStatusTest::noPortAtAllShowsNoMessage()
{
    auto window = openWindow({missingPort()});
    QTRY_VERIFY_WITH_TIMEOUT(statusMessage(*window).startsWith(QLatin1String(kPrefix)), kLinkWaitMs);

    // With no port listed the link is handed an empty name; the empty list speaks for itself, and an earlier
    // port's failure no longer applies.
    auto *link = window->findChild<NodeInterface *>();
    emit link->serialPortFailed(QString(), QStringLiteral("No such file or directory"));
    QTRY_VERIFY_WITH_TIMEOUT(statusMessage(*window).isEmpty(), kLinkWaitMs);
}

IOT_APP_TEST_MAIN(SerialPortStatusTest)
#include "tst_serialportstatus.moc"
