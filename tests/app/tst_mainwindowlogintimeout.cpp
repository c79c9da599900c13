#include "apptestsupport.h"
#include "dialogdriver.h"
#include "mainwindow.h"
#include "nodeform.h"
#include "testserverprocess.h"

#include <QSettings>
#include <QTimer>

namespace {
const char kNoPort[] = "/nonexistent/iot-app-test/ttyNONE";
// The server holds the login longer than the tool's 30 s reply window.
const int kServerSilenceS = 40;
} // namespace

// The one test that waits the real 30 s login reply window.
class MainWindowLoginTimeoutTest : public QObject
{
    Q_OBJECT

private slots:
    void silentServerTimesOutAndKeepsTheCredentials();
};

void MainWindowLoginTimeoutTest::silentServerTimesOutAndKeepsTheCredentials()
{
    TestServerProcess server;
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    QSettings settings(QStringLiteral("DARV"), QStringLiteral("iot_commission"));
    settings.setValue(QStringLiteral("JSONregister/server"), server.baseUrl());
    settings.setValue(QStringLiteral("serial/port"), QString::fromLatin1(kNoPort));
    qputenv("IOT_COMMISSION_EXTRA_PORTS", kNoPort);
    QVERIFY(server.setFault(QStringLiteral("login"), QStringLiteral("silence"), {{"seconds", kServerSilenceS}}));

    MainWindow window;
    window.show();
    DialogDriver driver;
    driver.login(QLatin1String(TestServerProcess::kUser), QLatin1String(TestServerProcess::kPassword));
    driver.clickOk();

    // The window keeps handling events while it waits for the server.
    bool handledWhileWaiting = false;
    QTimer::singleShot(
        2000, &window, [&] { handledWhileWaiting = driver.recordsOf(QStringLiteral("login")).size() == 1; });

    QTest::ignoreMessage(QtDebugMsg, "JSON timed out");
    QVERIFY(QMetaObject::invokeMethod(&window, "connectNode", Q_ARG(Node, sampleNode(Node::LoRaOTAA))));
    QCOMPARE(driver.pendingSteps(), 0);
    QVERIFY(handledWhileWaiting);
    QCOMPARE(driver.messageTexts(), QStringList({"You need to log in"}));
    QVERIFY(!window.findChild<NodeForm *>());
    const auto progress = driver.recordsOf(QStringLiteral("progress"));
    QCOMPARE(progress.size(), 1);
    QCOMPARE(progress[0].text, QStringLiteral("Logging in..."));

    // No answer is not a refusal: the next node logs in with the same credentials, without asking.
    QVERIFY(server.clearFaults());
    QVERIFY(QMetaObject::invokeMethod(&window, "connectNode", Q_ARG(Node, sampleNode(Node::LoRaOTAA))));
    QVERIFY(window.findChild<NodeForm *>());
    QCOMPARE(driver.recordsOf(QStringLiteral("login")).size(), 1);
    QCOMPARE(driver.unexpectedCount(), 0);
    qunsetenv("IOT_COMMISSION_EXTRA_PORTS");
}

IOT_APP_TEST_MAIN(MainWindowLoginTimeoutTest)
#include "tst_mainwindowlogintimeout.moc"
