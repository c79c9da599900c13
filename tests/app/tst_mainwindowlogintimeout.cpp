#include "apptestsupport.h"
#include "dialogdriver.h"
#include "mainwindow.h"
#include "nodeform.h"
#include "testpacing.h"
#include "testserverprocess.h"
#include "windowwaits.h"

#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTimer>

#include <memory>

namespace {
// The server holds the login longer than the tool's 30 s reply window.
const int kServerSilenceS = 40;
// The tests' reply window and then some, for the test that waits it out.
const int kReplyWindowWaitMs = testPacing().serverTimeoutMs + 30000;
// A reply window short enough not to wait even the tests' one where only the outcome matters.
const int kShortReplyWindowMs = 500;
} // namespace

// A login the server does not answer in time: the node read is held, and the credentials too.
class MainWindowLoginTimeoutTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void silentServerTimesOutAndKeepsTheCredentials();
    void logInAgainShowsTheHeldNodeWithoutAReset();

private:
    std::unique_ptr<TestServerProcess> server;
};

void MainWindowLoginTimeoutTest::init()
{
    server = std::make_unique<TestServerProcess>();
    QVERIFY2(server->start(), qPrintable(server->errorString()));
    QSettings settings(QStringLiteral("DARV"), QStringLiteral("iot_commission"));
    settings.clear();
    settings.setValue(QStringLiteral("JSONregister/server"), server->baseUrl());
    QVERIFY(server->setFault(QStringLiteral("login"), QStringLiteral("silence"), {{"seconds", kServerSilenceS}}));
}

void MainWindowLoginTimeoutTest::cleanup()
{
    server.reset();
}

// Waits out the reply window the window was given (the tests' shortened one; the operator's message names the
// protocol's 30 s, which is the window the program runs on).
void MainWindowLoginTimeoutTest::silentServerTimesOutAndKeepsTheCredentials()
{
    MainWindow window(testPacing());
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
    QVERIFY2(windowSettles(window, driver, kReplyWindowWaitMs), qPrintable(whatTheWindowAwaits(window, driver)));
    QVERIFY(handledWhileWaiting);
    QCOMPARE(driver.messageTexts(), QStringList({"You need to log in"}));
    QCOMPARE(driver.recordsOf(QStringLiteral("message"))[0].informativeText,
        QStringLiteral("The server did not answer within 30 s."));
    QVERIFY(!window.findChild<NodeForm *>());
    const auto progress = driver.recordsOf(QStringLiteral("progress"));
    QCOMPARE(progress.size(), 1);
    QCOMPARE(progress[0].text, QStringLiteral("Logging in..."));
    QCOMPARE(window.session()->state(), CommissioningSession::State::LoginFailed);

    // No answer is not a refusal: the next node logs in with the same credentials, without asking.
    QVERIFY(server->clearFaults());
    QVERIFY(QMetaObject::invokeMethod(&window, "connectNode", Q_ARG(Node, sampleNode(Node::LoRaOTAA))));
    IOT_WAIT_UNTIL_SETTLED(window, driver);
    QVERIFY(window.findChild<NodeForm *>());
    QCOMPARE(driver.recordsOf(QStringLiteral("login")).size(), 1);
    QCOMPARE(driver.unexpectedCount(), 0);
}

void MainWindowLoginTimeoutTest::logInAgainShowsTheHeldNodeWithoutAReset()
{
    Pacing shortReplyWindow = testPacing();
    shortReplyWindow.serverTimeoutMs = kShortReplyWindowMs;
    MainWindow window(shortReplyWindow);
    window.show();
    DialogDriver driver;
    driver.login(QLatin1String(TestServerProcess::kUser), QLatin1String(TestServerProcess::kPassword));
    driver.clickOk();
    QVERIFY(QMetaObject::invokeMethod(&window, "connectNode", Q_ARG(Node, sampleNode(Node::SigFox5D))));
    IOT_WAIT_UNTIL_SETTLED(window, driver);
    QCOMPARE(driver.messageTexts(), QStringList({"You need to log in"}));

    // The node read is held, the window says why nothing is shown and offers the retry.
    QCOMPARE(window.session()->state(), CommissioningSession::State::LoginFailed);
    auto *stateLabel = namedChild<QLabel>(&window, "stateLabel");
    QVERIFY(stateLabel->isVisible());
    QCOMPARE(stateLabel->text(), QStringLiteral("Not logged in\nLog in again"));
    QCOMPARE(stateLabel->palette().color(QPalette::Active, stateLabel->foregroundRole()), QColor(Qt::red));
    auto *again = namedChild<QPushButton>(&window, "loginAgainButton");
    QVERIFY(again->isVisible());
    QVERIFY(!window.findChild<NodeForm *>());

    // Once the server answers, the retry shows the node read before, with the credentials held: no dialog, no
    // new read of the node.
    QVERIFY(server->clearFaults());
    again->click();
    QTRY_COMPARE_WITH_TIMEOUT(window.session()->state(), CommissioningSession::State::NodeShown, kSettleWaitMs);
    QTRY_VERIFY(window.findChild<NodeForm *>() && window.findChild<NodeForm *>()->isVisible());
    QCOMPARE(
        QString::fromLatin1(window.findChild<NodeForm *>()->metaObject()->className()), QStringLiteral("FormSigFox5d"));
    QVERIFY(!again->isVisible());
    QCOMPARE(driver.recordsOf(QStringLiteral("login")).size(), 1);
    QCOMPARE(driver.unexpectedCount(), 0);
}

IOT_APP_TEST_MAIN(MainWindowLoginTimeoutTest)
#include "tst_mainwindowlogintimeout.moc"
