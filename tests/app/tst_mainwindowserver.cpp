#include "apptestsupport.h"
#include "datatable.h"
#include "dialogdriver.h"
#include "jsondeviceregister.h"
#include "mainwindow.h"
#include "nodeform.h"
#include "nodesimulator.h"
#include "registrationoutbox.h"
#include "testserverprocess.h"
#include "windowtest.h"
#include "windowwaits.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMutex>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QSettings>
#include <QStatusBar>
#include <QVBoxLayout>

#include <memory>

namespace {

const QString kUser = QString::fromLatin1(TestServerProcess::kUser);
const QString kPassword = QString::fromLatin1(TestServerProcess::kPassword);

int countLines(const QString &log, const QString &start)
{
    int count = 0;
    for (const QString &line : log.split(QLatin1Char('\n'))) {
        if (line.startsWith(start))
            ++count;
    }
    return count;
}

// Every message the process logs while it lives, for checks on what must never be logged.
class LogCapture
{
public:
    LogCapture() { previous = qInstallMessageHandler(&LogCapture::handler); }
    ~LogCapture() { qInstallMessageHandler(previous); }
    QStringList lines() const
    {
        QMutexLocker locker(&mutex);
        return captured;
    }

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        {
            QMutexLocker locker(&mutex);
            captured << message;
        }
        if (previous)
            previous(type, context, message);
    }
    static QMutex mutex;
    static QStringList captured;
    static QtMessageHandler previous;
};
QMutex LogCapture::mutex;
QStringList LogCapture::captured;
QtMessageHandler LogCapture::previous = nullptr;

} // namespace

class MainWindowServerTest : public WindowTest
{
    Q_OBJECT

private slots:
    void connectionWithoutServerAsksToConfigureIt();
    void registrationWithoutServerAsksToConfigureIt();
    void serverAddressMustBeLongerThanTheScheme_data();
    void serverAddressMustBeLongerThanTheScheme();
    void editServerPutsHttpInFrontOfOtherSchemes_data();
    void editServerPutsHttpInFrontOfOtherSchemes();
    void cancelledServerEditChangesNothing();
    void changingTheServerEndsTheLogin();
    void loginDialogNamesTheServerAndLoginShowsProgress();
    void dismissedLoginDuringConnectionLeavesTheWindowIdle_data();
    void dismissedLoginDuringConnectionLeavesTheWindowIdle();
    void dismissedLoginDuringRegistrationReenablesRegister();
    void loginStatusDecidesTheGrant_data();
    void loginStatusDecidesTheGrant();
    void refusedLoginAsksForCredentialsAgain();
    void unreachableServerKeepsTheNodeAndForgetsTheCredentials();
    void heldLoginNeverContactsTheServerAgain();
    void passwordIsNeverStoredOrLogged();
    void registrationAddsThenUpdatesTheNode();
    void failedRegistrationIsKeptAndSentAgain_data();
    void failedRegistrationIsKeptAndSentAgain();
    void registrationsLeftWaitingAskForALoginAndAreSent();
    void unreadableOutboxIsKeptAsideAndReportedOnce();
    void nodeAnnouncedWhileLoginDialogIsOpenIsShownAfterTheLogin();
    void bootDuringTheLoginKeepsWaitingForTheNewNode();

private:
    // Announces the node and waits until the window has settled (the dialogs answered, the login done).
    bool announce(MainWindow &window, DialogDriver &driver, const Node &node);
    void loginAndShow(MainWindow &window, DialogDriver &driver, const Node &node);
    // Boots a simulated node on the window's port and answers the login; returns once its form is shown.
    bool bootAndShow(MainWindow &window, NodeSimulator &simulator, DialogDriver &driver, bool login);
};

bool MainWindowServerTest::announce(MainWindow &window, DialogDriver &driver, const Node &node)
{
    if (!QMetaObject::invokeMethod(&window, "connectNode", Q_ARG(Node, node)))
        return false;
    if (windowSettles(window, driver))
        return true;
    qWarning("the window did not settle: %s", qPrintable(whatTheWindowAwaits(window, driver)));
    return false;
}

void MainWindowServerTest::loginAndShow(MainWindow &window, DialogDriver &driver, const Node &node)
{
    driver.login(kUser, kPassword);
    QVERIFY(announce(window, driver, node));
    QVERIFY(window.findChild<NodeForm *>());
}

bool MainWindowServerTest::bootAndShow(MainWindow &window, NodeSimulator &node, DialogDriver &driver, bool login)
{
    if (login)
        driver.login(kUser, kPassword);
    // The form waited for below must be the new node's, not one still shown from before.
    const QPointer<NodeForm> previous = window.findChild<NodeForm *>();
    if (!previous && !linkHoldsPort(window, node.linkPath(), kLinkWaitMs))
        return false;
    node.boot();
    QDeadlineTimer deadline(kLinkWaitMs);
    while (!deadline.hasExpired()) {
        for (NodeForm *form : window.findChildren<NodeForm *>()) {
            if (form != previous && form->isVisible())
                return driver.pendingSteps() == 0 && driver.unexpectedCount() == 0;
        }
        QTest::qWait(20);
    }
    return false;
}

void MainWindowServerTest::connectionWithoutServerAsksToConfigureIt()
{
    userSettings().remove(QStringLiteral("JSONregister/server"));
    auto window = newWindow();
    // Said from the start, before any node asks for a login.
    QCOMPARE(namedChild<QStatusBar>(window.get(), "statusBar")->currentMessage(),
        QStringLiteral("No ORVA server is configured: Settings → ORVA server"));
    DialogDriver driver;
    driver.clickOk();
    QVERIFY(announce(*window, driver, sampleNode(Node::LoRaOTAA)));
    IOT_WAIT_UNTIL_SETTLED(*window, driver);
    const QString title = QStringLiteral("ORVA login");
    // Nothing was sent, so no box may speak of refused credentials: the one box says what to do.
    QCOMPARE(driver.messageSummaries(),
        QStringList(
            {DialogDriver::boxSummary(title, "Please configure the ORVA server", QMessageBox::Critical, false)}));
    QCOMPARE(driver.unexpectedCount(), 0);

    QVERIFY(!window->findChild<NodeForm *>());
    auto *label = namedChild<QLabel>(window.get(), "stateLabel");
    QVERIFY(label->isVisible());
    QCOMPARE(label->text(), QStringLiteral("Reset Node while connected"));
    QVERIFY(!namedChild<QPushButton>(window.get(), "registerButton")->isEnabled());
}

void MainWindowServerTest::registrationWithoutServerAsksToConfigureIt()
{
    auto window = newWindow();
    DialogDriver driver;
    loginAndShow(*window, driver, sampleNode(Node::Pellimar));
    // An empty entry leaves only "http://", which does not count as a server.
    driver.enterText(QString());
    QVERIFY(QMetaObject::invokeMethod(window.get(), "editServer"));
    IOT_WAIT_UNTIL_SETTLED(*window, driver);
    QCOMPARE(userSettings().value(QStringLiteral("JSONregister/server")).toString(), QStringLiteral("http://"));

    driver.clear();
    driver.clickOk();
    auto *registerButton = namedChild<QPushButton>(window.get(), "registerButton");
    QVERIFY(registerButton->isEnabled());
    registerButton->click();
    IOT_WAIT_UNTIL_SETTLED(*window, driver);
    QCOMPARE(driver.messageTexts(), QStringList({"Please configure the ORVA server"}));
    QCOMPARE(driver.recordsOf(QStringLiteral("message"))[0].title, QStringLiteral("ORVA login"));
    QCOMPARE(driver.recordsOf(QStringLiteral("message"))[0].icon, int(QMessageBox::Critical));
    QCOMPARE(driver.unexpectedCount(), 0);
    QVERIFY(registerButton->isEnabled());
}

void MainWindowServerTest::serverAddressMustBeLongerThanTheScheme_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("configured");
    QTest::newRow("empty") << "" << false;
    QTest::newRow("7 characters") << "http://" << false;
    QTest::newRow("8 characters") << "http://x" << true;
}

void MainWindowServerTest::serverAddressMustBeLongerThanTheScheme()
{
    QFETCH(QString, address);
    QFETCH(bool, configured);
    userSettings().setValue(QStringLiteral("JSONregister/server"), address);
    auto window = newWindow();
    DialogDriver driver;
    if (configured) {
        driver.cancelLogin();
        driver.clickOk(); // "You need to log in"
    } else {
        driver.clickOk(); // "Please configure the ORVA server"
    }
    QVERIFY(announce(*window, driver, sampleNode(Node::LoRaOTAA)));
    IOT_WAIT_UNTIL_SETTLED(*window, driver);
    QCOMPARE(driver.unexpectedCount(), 0);
    QCOMPARE(driver.recordsOf(QStringLiteral("login")).size(), configured ? 1 : 0);
    if (configured)
        QCOMPARE(driver.recordsOf(QStringLiteral("login"))[0].text, address);
}

void MainWindowServerTest::editServerPutsHttpInFrontOfOtherSchemes_data()
{
    // The "unencrypted" note in the status bar shows exactly for a configured plain http server.
    addDataTable<QString, QString, bool>({"typed", "stored", "unencrypted"},
        {{"bare host", "orva.example:8080", "http://orva.example:8080", true},
            {"http kept", "http://orva.example", "http://orva.example", true},
            {"https kept", "https://orva.example", "https://orva.example", false},
            {"capital https scheme kept", "HTTPS://orva.example", "https://orva.example", false},
            {"capital http scheme kept", "HTTP://orva.example", "http://orva.example", true},
            {"host starting with http", "httpserver", "http://httpserver", true},
            {"blanks around", " https://orva.example ", "https://orva.example", false},
            {"empty", "", "http://", false}});
}

void MainWindowServerTest::editServerPutsHttpInFrontOfOtherSchemes()
{
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    auto window = newWindow();
    DialogDriver driver;
    driver.enterText(typed);
    namedChild<QAction>(window.get(), "actionORVA_server")->trigger();
    IOT_WAIT_UNTIL_SETTLED(*window, driver);
    const auto inputs = driver.recordsOf(QStringLiteral("input"));
    QCOMPARE(inputs.size(), 1);
    QCOMPARE(inputs[0].title, QStringLiteral("Set ORVA server"));
    QCOMPARE(inputs[0].text, QStringLiteral("Server:"));
    QVERIFY(inputs[0].hasParent);
    QCOMPARE(userSettings().value(QStringLiteral("JSONregister/server")).toString(), stored);
    QFETCH(bool, unencrypted);
    QCOMPARE(namedChild<QLabel>(window.get(), "unencryptedServerLabel")->isVisibleTo(window.get()), unencrypted);

    // The dialog offers the current address next time.
    QString offered;
    driver.custom(QStringLiteral("input"), [&](QWidget *dialog) {
        offered = dialog->findChild<QLineEdit *>()->text();
        static_cast<QDialog *>(dialog)->reject();
    });
    QVERIFY(QMetaObject::invokeMethod(window.get(), "editServer"));
    IOT_WAIT_UNTIL_SETTLED(*window, driver);
    QCOMPARE(offered, stored);
}

void MainWindowServerTest::cancelledServerEditChangesNothing()
{
    auto window = newWindow();
    DialogDriver driver;
    loginAndShow(*window, driver, sampleNode(Node::LoRaOTAA));
    driver.cancelInput();
    QVERIFY(QMetaObject::invokeMethod(window.get(), "editServer"));
    IOT_WAIT_UNTIL_SETTLED(*window, driver);
    QCOMPARE(userSettings().value(QStringLiteral("JSONregister/server")).toString(), server.baseUrl());
    // Still logged in: the next node needs no dialog.
    QVERIFY(announce(*window, driver, sampleNode(Node::SigFox)));
    QCOMPARE(driver.recordsOf(QStringLiteral("login")).size(), 1);
    QCOMPARE(driver.unexpectedCount(), 0);
}

void MainWindowServerTest::changingTheServerEndsTheLogin()
{
    auto window = newWindow();
    DialogDriver driver;
    loginAndShow(*window, driver, sampleNode(Node::LoRaOTAA));
    driver.enterText(server.baseUrl());
    QVERIFY(QMetaObject::invokeMethod(window.get(), "editServer"));
    IOT_WAIT_UNTIL_SETTLED(*window, driver);
    driver.login(kUser, kPassword);
    QVERIFY(announce(*window, driver, sampleNode(Node::LoRaOTAA)));
    IOT_WAIT_UNTIL_SETTLED(*window, driver);
    QCOMPARE(driver.recordsOf(QStringLiteral("login")).size(), 2);
    QVERIFY(window->findChild<NodeForm *>());
}

void MainWindowServerTest::loginDialogNamesTheServerAndLoginShowsProgress()
{
    const QString before = server.output();
    auto window = newWindow();
    DialogDriver driver;
    loginAndShow(*window, driver, sampleNode(Node::LoRaOTAA));
    const auto logins = driver.recordsOf(QStringLiteral("login"));
    QCOMPARE(logins.size(), 1);
    QCOMPARE(logins[0].title, QStringLiteral("ORVA server"));
    QCOMPARE(logins[0].text, server.baseUrl());
    QVERIFY(!logins[0].hasParent);
    // The progress dialog may close before the driver sees it on a fast machine; when seen it is the login's.
    for (const auto &progress : driver.recordsOf(QStringLiteral("progress")))
        QCOMPARE(progress.text, QStringLiteral("Logging in..."));
    QCOMPARE(countLines(server.output().mid(before.size()), QStringLiteral("POST /orvaservice/login/ 200")), 1);
}

void MainWindowServerTest::dismissedLoginDuringConnectionLeavesTheWindowIdle_data()
{
    addDataTable<bool>({"byCloseControl"}, {{"cancel", false}, {"close", true}});
}

void MainWindowServerTest::dismissedLoginDuringConnectionLeavesTheWindowIdle()
{
    QFETCH(bool, byCloseControl);
    const int loginsBefore = countLines(server.output(), QStringLiteral("POST /orvaservice/login/"));
    auto window = newWindow();
    DialogDriver driver;
    if (byCloseControl)
        driver.closeLogin();
    else
        driver.cancelLogin();
    driver.clickOk();
    QVERIFY(QMetaObject::invokeMethod(window.get(), "setBusy", Q_ARG(bool, true)));
    QVERIFY(announce(*window, driver, sampleNode(Node::LoRaOTAA)));
    IOT_WAIT_UNTIL_SETTLED(*window, driver);
    QCOMPARE(driver.unexpectedCount(), 0);
    QCOMPARE(driver.messageTexts(), QStringList({"You need to log in"}));
    QVERIFY(!window->findChild<NodeForm *>());
    auto *label = namedChild<QLabel>(window.get(), "stateLabel");
    QVERIFY(label->isVisible());
    QCOMPARE(label->text(), QStringLiteral("Reset Node while connected"));
    QVERIFY(!namedChild<QProgressBar>(window.get(), "progressBar")->isVisible());
    QVERIFY(namedChild<QPushButton>(window.get(), "portRefreshButton")->isEnabled());
    QCOMPARE(countLines(server.output(), QStringLiteral("POST /orvaservice/login/")), loginsBefore);
}

void MainWindowServerTest::dismissedLoginDuringRegistrationReenablesRegister()
{
    auto window = newWindow();
    DialogDriver driver;
    loginAndShow(*window, driver, sampleNode(Node::LoRaOTAA));
    driver.enterText(server.baseUrl()); // same server, but the login ends
    QVERIFY(QMetaObject::invokeMethod(window.get(), "editServer"));
    IOT_WAIT_UNTIL_SETTLED(*window, driver);

    driver.clear();
    driver.cancelLogin();
    auto *registerButton = namedChild<QPushButton>(window.get(), "registerButton");
    registerButton->click();
    IOT_WAIT_UNTIL_SETTLED(*window, driver);
    QCOMPARE(driver.unexpectedCount(), 0);
    QCOMPARE(driver.recordsOf(QStringLiteral("message")).size(), 0);
    QVERIFY(registerButton->isEnabled());
    QVERIFY(window->findChild<NodeForm *>());
}

void MainWindowServerTest::loginStatusDecidesTheGrant_data()
{
    addDataTable<int, bool>({"status", "granted"},
        {{"200", 200, true}, {"301 with rc 200", 301, true}, {"302 with rc 200", 302, true},
            {"403 with rc 200", 403, false}, {"500", 500, false}});
}

void MainWindowServerTest::loginStatusDecidesTheGrant()
{
    QFETCH(int, status);
    QFETCH(bool, granted);
    QVERIFY(server.setFault(QStringLiteral("login"), QStringLiteral("status"), {{"status", status}}));
    auto window = newWindow();
    DialogDriver driver;
    driver.login(kUser, kPassword);
    if (!granted) {
        driver.clickOk(); // "Incorrect Credentials"
        driver.cancelLogin(); // asked again; the operator gives up
        driver.clickOk(); // "You need to log in"
    }
    QVERIFY(announce(*window, driver, sampleNode(Node::SigFox)));
    IOT_WAIT_UNTIL_SETTLED(*window, driver);
    QCOMPARE(driver.unexpectedCount(), 0);
    QCOMPARE(bool(window->findChild<NodeForm *>()), granted);
    QCOMPARE(
        driver.messageTexts(), granted ? QStringList() : QStringList({"Incorrect Credentials", "You need to log in"}));
    // An answer that refuses the login puts the credentials at fault: once the operator cancels the second
    // prompt, the node is dropped, not held.
    QCOMPARE(window->session()->state(),
        granted ? CommissioningSession::State::NodeShown : CommissioningSession::State::WaitingForNode);
}

void MainWindowServerTest::refusedLoginAsksForCredentialsAgain()
{
    auto window = newWindow();
    DialogDriver driver;
    driver.login(kUser, QStringLiteral("wrong password"));
    driver.clickOk(); // "Incorrect Credentials"
    driver.login(kUser, kPassword);
    QVERIFY(announce(*window, driver, sampleNode(Node::LoRaOTAA)));
    IOT_WAIT_UNTIL_SETTLED(*window, driver);
    QCOMPARE(driver.unexpectedCount(), 0);
    const QVector<DialogDriver::Record> boxes = driver.recordsOf(QStringLiteral("message"));
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].text, QStringLiteral("Incorrect Credentials"));
    QCOMPARE(boxes[0].informativeText, QStringLiteral("The server refused the user name or password."));
    QCOMPARE(driver.recordsOf(QStringLiteral("login")).size(), 2);
    // The same node, announced once, is shown after the second try.
    QVERIFY(window->findChild<NodeForm *>());
}

void MainWindowServerTest::unreachableServerKeepsTheNodeAndForgetsTheCredentials()
{
    TestServerProcess gone;
    QVERIFY2(gone.start(), qPrintable(gone.errorString()));
    const QString address = gone.baseUrl();
    QVERIFY(gone.stop());
    userSettings().setValue(QStringLiteral("JSONregister/server"), address);

    auto window = newWindow();
    DialogDriver driver;
    driver.login(kUser, kPassword);
    driver.clickOk();
    QVERIFY(announce(*window, driver, sampleNode(Node::LoRaOTAA)));
    QCOMPARE(driver.messageTexts(), QStringList({"You need to log in"}));
    QVERIFY2(driver.recordsOf(QStringLiteral("message"))[0].informativeText.startsWith(
                 QLatin1String("The server cannot be reached")),
        qPrintable(driver.recordsOf(QStringLiteral("message"))[0].informativeText));
    // The server, not the operator, is at fault: the node read is held for a later login.
    QCOMPARE(window->session()->state(), CommissioningSession::State::LoginFailed);
    QCOMPARE(namedChild<QLabel>(window.get(), "stateLabel")->text(), QStringLiteral("Not logged in\nLog in again"));
    QVERIFY(namedChild<QPushButton>(window.get(), "loginAgainButton")->isVisible());
    QVERIFY(!window->findChild<NodeForm *>());

    // The credentials were not kept: the next node asks for them again.
    driver.cancelLogin();
    driver.clickOk();
    QVERIFY(announce(*window, driver, sampleNode(Node::LoRaOTAA)));
    QCOMPARE(driver.unexpectedCount(), 0);
    QCOMPARE(driver.recordsOf(QStringLiteral("login")).size(), 2);
    // Cancelled by the operator: the node is dropped.
    QCOMPARE(window->session()->state(), CommissioningSession::State::WaitingForNode);
    QVERIFY(!namedChild<QPushButton>(window.get(), "loginAgainButton")->isVisible());
}

void MainWindowServerTest::heldLoginNeverContactsTheServerAgain()
{
    const QString before = server.output();
    auto window = newWindow();
    DialogDriver driver;
    loginAndShow(*window, driver, sampleNode(Node::LoRaOTAA));
    for (int type : {Node::SigFox, Node::Pellimar5D, Node::LoRaOTAA}) {
        QVERIFY(QMetaObject::invokeMethod(window.get(), "setBusy", Q_ARG(bool, true)));
        QVERIFY(announce(*window, driver, sampleNode(type)));
        QVERIFY(window->findChild<NodeForm *>());
    }
    QCOMPARE(driver.recordsOf(QStringLiteral("login")).size(), 1);
    QCOMPARE(driver.unexpectedCount(), 0);
    const QString during = server.output().mid(before.size());
    QCOMPARE(countLines(during, QStringLiteral("POST /orvaservice/login/")), 1);
    QCOMPARE(countLines(during, QStringLiteral("POST")), 1);
}

void MainWindowServerTest::passwordIsNeverStoredOrLogged()
{
    const QString password = QStringLiteral("Very-Secret-Pa55");
    TestServerProcess own(
        {QStringLiteral("--user"), QStringLiteral("someone"), QStringLiteral("--password"), password});
    QVERIFY2(own.start(), qPrintable(own.errorString()));
    userSettings().setValue(QStringLiteral("JSONregister/server"), own.baseUrl());
    LogCapture log;
    {
        auto window = newWindow();
        DialogDriver driver;
        driver.login(QStringLiteral("someone"), password);
        QVERIFY(announce(*window, driver, sampleNode(Node::LoRaOTAA)));
        IOT_WAIT_UNTIL_SETTLED(*window, driver);
        QVERIFY(window->findChild<NodeForm *>());
    }
    const QString digest
        = QString::fromLatin1(QCryptographicHash::hash(password.toUtf8(), QCryptographicHash::Md5).toHex().toUpper());
    for (const QString &line : log.lines()) {
        QVERIFY2(!line.contains(password), qPrintable(line));
        QVERIFY2(!line.contains(digest, Qt::CaseInsensitive), qPrintable(line));
    }
    QSettings settings = userSettings();
    settings.sync();
    QFile file(settings.fileName());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray stored = file.readAll();
    QVERIFY(!stored.contains(password.toUtf8()));
    QVERIFY(!stored.contains(digest.toLatin1()));
    QVERIFY(!stored.contains("someone"));
}

void MainWindowServerTest::registrationAddsThenUpdatesTheNode()
{
    NodeSimulator *node = simulatorOnPort(SimNodeProfile::forType(Node::LoRaOTAA));
    QVERIFY(node);
    auto window = newWindow();
    DialogDriver driver;
    QVERIFY(bootAndShow(*window, *node, driver, true));

    NodeForm *form = window->findChild<NodeForm *>();
    auto *description = form->findChild<QLineEdit *>(QStringLiteral("lockDescriptionEdit"));
    QVERIFY(description);
    description->setEnabled(true);
    QTest::keyClicks(description, QStringLiteral("Gate 7"));

    auto *registerButton = namedChild<QPushButton>(window.get(), "registerButton");
    driver.clickOk();
    registerButton->click();
    IOT_WAIT_UNTIL_SETTLED(*window, driver);
    auto boxes = driver.recordsOf(QStringLiteral("message"));
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].title, QStringLiteral("ORVA Node registration"));
    QCOMPARE(boxes[0].text, QStringLiteral("Node added successfully"));
    QCOMPARE(boxes[0].icon, int(QMessageBox::Information));
    QVERIFY(!boxes[0].hasParent);
    QVERIFY(!registerButton->isEnabled());
    for (const auto &progress : driver.recordsOf(QStringLiteral("progress")))
        QVERIFY(progress.text == QLatin1String("Registering...") || progress.text == QLatin1String("Logging in..."));

    // The server holds the link's record of the node with the description typed into the form.
    const QJsonDocument sent = QJsonDocument::fromJson(server.lastBody(QStringLiteral("device")));
    const QString euid = node->profile().devEui;
    QCOMPARE(sent.object().value(QStringLiteral("euid")).toString().toUpper(), euid.toUpper());
    QCOMPARE(sent.object().value(QStringLiteral("DeviceName")).toString(), QStringLiteral("Gate 7"));
    QVERIFY(server.devices().toUpper().contains(euid.toUpper().toLatin1()));

    // Registering the same node again, once it has been read again, updates it.
    QVERIFY(bootAndShow(*window, *node, driver, false));
    driver.clear();
    driver.clickOk();
    QVERIFY(registerButton->isEnabled());
    registerButton->click();
    IOT_WAIT_UNTIL_SETTLED(*window, driver);
    boxes = driver.recordsOf(QStringLiteral("message"));
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].title, QStringLiteral("ORVA Node registration"));
    QCOMPARE(boxes[0].text, QStringLiteral("Node Updated"));
    QCOMPARE(boxes[0].icon, int(QMessageBox::Information));
    QVERIFY(!registerButton->isEnabled());
    QCOMPARE(driver.unexpectedCount(), 0);
}

void MainWindowServerTest::failedRegistrationIsKeptAndSentAgain_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("loginKept");
    // A server that is away or overloaded: the login stays and the outbox sends the registration again.
    QTest::newRow("500") << 500 << true;
    // The login is not accepted any more: the registration waits for the next login.
    QTest::newRow("403") << 403 << false;
}

void MainWindowServerTest::failedRegistrationIsKeptAndSentAgain()
{
    QFETCH(int, status);
    QFETCH(bool, loginKept);
    NodeSimulator *node = simulatorOnPort(SimNodeProfile::forType(Node::SigFox));
    QVERIFY(node);
    auto window = newWindow();
    DialogDriver driver;
    QVERIFY(bootAndShow(*window, *node, driver, true));

    QVERIFY(server.setFault(QStringLiteral("device"), QStringLiteral("status"), {{"status", status}}));
    driver.clickOk();
    auto *registerButton = namedChild<QPushButton>(window.get(), "registerButton");
    registerButton->click();
    IOT_WAIT_UNTIL_SETTLED(*window, driver);
    const auto boxes = driver.recordsOf(QStringLiteral("message"));
    QCOMPARE(boxes.size(), 1);
    // Kept, so not lost: said as information, with the server's answer.
    QCOMPARE(boxes[0].title, QStringLiteral("ORVA Node registration"));
    QCOMPARE(boxes[0].text, QStringLiteral("The registration will be sent later"));
    QCOMPARE(boxes[0].icon, int(QMessageBox::Information));
    QCOMPARE(boxes[0].informativeText,
        QStringLiteral("The server answered %1. The registration is kept and will be sent again by itself.")
            .arg(status));
    QVERIFY(registerButton->isEnabled());
    auto *waiting = namedChild<QLabel>(window.get(), "waitingRegistrationsLabel");
    QVERIFY(waiting->isVisible());
    // A registration the token no longer sends waits for a login, and the status bar says so.
    QCOMPARE(waiting->text(),
        loginKept ? QStringLiteral("1 registration waiting for the server")
                  : QStringLiteral("1 registration waiting — log in to send it"));
    QCOMPARE(namedChild<QPushButton>(window.get(), "loginAgainButton")->isVisible(), !loginKept);
    QVERIFY(server.clearFaults());

    // The next node is shown without a login when the login was kept, after one when it ended; either way the
    // kept registration reaches the server.
    QVERIFY(bootAndShow(*window, *node, driver, !loginKept));
    QCOMPARE(driver.recordsOf(QStringLiteral("login")).size(), loginKept ? 1 : 2);
    QTRY_VERIFY_WITH_TIMEOUT(!waiting->isVisible(), kLinkWaitMs);
    bool stored = false;
    for (const QJsonValue &record : QJsonDocument::fromJson(server.devices()).array()) {
        const QJsonObject document = record.toObject().value(QStringLiteral("document")).toObject();
        stored = stored || document.value(QStringLiteral("pac")).toString() == node->profile().sigfoxPac;
    }
    QVERIFY2(stored, server.devices().constData());
    QCOMPARE(driver.unexpectedCount(), 0);
}

void MainWindowServerTest::registrationsLeftWaitingAskForALoginAndAreSent()
{
    // What the server stores of a node, by its identity.
    const auto storedOnce = [this](const QString &identity) {
        int found = 0;
        for (const QJsonValue &record : QJsonDocument::fromJson(server.devices()).array()) {
            const QString euid = record.toObject().value(QStringLiteral("euid")).toString();
            found += QString(euid).remove(QLatin1Char(':')).toUpper() == identity ? 1 : 0;
        }
        return found == 1;
    };
    Node left = sampleNode(Node::LoRaOTAA);
    left.euid = QStringLiteral("70B3D57ED0000B01");
    Node later = left;
    later.euid = QStringLiteral("70B3D57ED0000B02");
    const auto removeOutbox = qScopeGuard([] { QFile::remove(RegistrationOutbox::defaultFilePath()); });
    {
        // An earlier run of the tool whose token was refused: the registration waits for the next login.
        RegistrationOutbox earlier;
        const qint64 id = earlier.enqueue(left.identity(), JSONdeviceRegister::documentBytes(left));
        QVERIFY(earlier.recordAnswer(id, 401, QStringLiteral("Unauthorized")));
    }

    auto window = newWindow();
    auto *waiting = namedChild<QLabel>(window.get(), "waitingRegistrationsLabel");
    auto *again = namedChild<QPushButton>(window.get(), "loginAgainButton");
    QVERIFY(waiting->isVisible());
    QCOMPARE(waiting->text(), QStringLiteral("1 registration waiting — log in to send it"));
    QVERIFY(again->isVisible());

    DialogDriver driver;
    driver.login(kUser, kPassword);
    again->click();
    IOT_WAIT_UNTIL_SETTLED(*window, driver);
    QTRY_VERIFY_WITH_TIMEOUT(!waiting->isVisible(), kLinkWaitMs);
    QVERIFY(!again->isVisible());
    QVERIFY2(storedOnce(left.identity()), server.devices().constData());

    // Another run on the same data directory leaves one for the server's back-off: the window notices it and
    // sends it when it is due.
    {
        RegistrationOutbox other;
        const qint64 id = other.enqueue(later.identity(), JSONdeviceRegister::documentBytes(later));
        QVERIFY(other.recordAnswer(id, 503, QStringLiteral("Service Unavailable"), 0));
    }
    QTRY_VERIFY_WITH_TIMEOUT(waiting->isVisible(), kLinkWaitMs);
    QCOMPARE(waiting->text(), QStringLiteral("1 registration waiting for the server"));
    QTRY_VERIFY_WITH_TIMEOUT(!waiting->isVisible(), kLinkWaitMs);
    QVERIFY2(storedOnce(later.identity()), server.devices().constData());
    QCOMPARE(driver.recordsOf(QStringLiteral("login")).size(), 1);
    QCOMPARE(driver.unexpectedCount(), 0);
}

void MainWindowServerTest::unreadableOutboxIsKeptAsideAndReportedOnce()
{
    const QString path = RegistrationOutbox::defaultFilePath();
    const QByteArray garbage(4096, 'x');
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(garbage);
    }
    QDir directory = QFileInfo(path).dir();
    const auto removeFiles = qScopeGuard([&] {
        for (const QString &name : directory.entryList({QStringLiteral("outbox*")}, QDir::Files))
            directory.remove(name);
    });

    auto window = newWindow();
    DialogDriver driver;
    driver.clickOk();
    IOT_WAIT_UNTIL_SETTLED(*window, driver);
    const QStringList kept = directory.entryList({QStringLiteral("outbox-unreadable-*.sqlite")}, QDir::Files);
    QCOMPARE(kept.size(), 1);
    QFile keptFile(directory.filePath(kept.first()));
    QVERIFY(keptFile.open(QIODevice::ReadOnly));
    QCOMPARE(keptFile.readAll(), garbage);
    // One box, and the status bar keeps saying it.
    QCOMPARE(driver.recordsOf(QStringLiteral("message")).size(), 1);
    QVERIFY2(driver.messageTexts().first().contains(kept.first()), qPrintable(driver.messageTexts().first()));
    auto *problem = namedChild<QLabel>(window.get(), "storageProblemLabel");
    QVERIFY(problem->isVisible());
    QVERIFY2(problem->text().contains(kept.first()), qPrintable(problem->text()));
    // The fresh outbox is in use: nothing waits.
    QVERIFY(!namedChild<QLabel>(window.get(), "waitingRegistrationsLabel")->isVisible());
    QCOMPARE(driver.unexpectedCount(), 0);
}

void MainWindowServerTest::nodeAnnouncedWhileLoginDialogIsOpenIsShownAfterTheLogin()
{
    auto window = newWindow();
    DialogDriver driver;
    int loginDialogs = 0;
    driver.custom(QStringLiteral("login"), [&](QWidget *dialog) {
        ++loginDialogs;
        // Another node boots and is announced while the operator is still typing.
        QMetaObject::invokeMethod(window.get(), "setBusy", Q_ARG(bool, true));
        QMetaObject::invokeMethod(window.get(), "connectNode", Q_ARG(Node, sampleNode(Node::SigFox5D)));
        DialogDriver::submitLogin(dialog, kUser, kPassword);
    });
    QVERIFY(announce(*window, driver, sampleNode(Node::LoRaOTAA)));
    IOT_WAIT_UNTIL_SETTLED(*window, driver);
    // The newer node is the one on the line now; it is shown, without a second prompt.
    QTRY_VERIFY(window->findChild<NodeForm *>() && window->findChild<NodeForm *>()->isVisible());
    QCOMPARE(QString::fromLatin1(window->findChild<NodeForm *>()->metaObject()->className()),
        QStringLiteral("FormSigFox5d"));
    QCOMPARE(window->findChildren<NodeForm *>().size(), 1);
    QCOMPARE(loginDialogs, 1);
    QCOMPARE(driver.unexpectedCount(), 0);
    QVERIFY(!namedChild<QProgressBar>(window.get(), "progressBar")->isVisible());
    QVERIFY(namedChild<QPushButton>(window.get(), "registerButton")->isEnabled());
}

void MainWindowServerTest::bootDuringTheLoginKeepsWaitingForTheNewNode()
{
    auto window = newWindow();
    DialogDriver driver;
    driver.custom(QStringLiteral("login"), [&](QWidget *dialog) {
        QMetaObject::invokeMethod(window.get(), "setBusy", Q_ARG(bool, true));
        DialogDriver::submitLogin(dialog, kUser, kPassword);
    });
    QVERIFY(announce(*window, driver, sampleNode(Node::LoRaOTAA)));
    IOT_WAIT_UNTIL_SETTLED(*window, driver);
    // The announced record belongs to a node that has booted again since: the window keeps reading.
    QVERIFY(!window->findChild<NodeForm *>());
    QVERIFY(namedChild<QProgressBar>(window.get(), "progressBar")->isVisible());
    QVERIFY(!namedChild<QLabel>(window.get(), "stateLabel")->isVisible());
    // The login itself is held for that node.
    QVERIFY(announce(*window, driver, sampleNode(Node::LoRaOTAA)));
    QVERIFY(window->findChild<NodeForm *>());
    QCOMPARE(driver.recordsOf(QStringLiteral("login")).size(), 1);
    QCOMPARE(driver.unexpectedCount(), 0);
}

IOT_APP_TEST_MAIN(MainWindowServerTest)
#include "tst_mainwindowserver.moc"
