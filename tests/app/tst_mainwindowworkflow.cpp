#include "apptestsupport.h"
#include "datatable.h"
#include "dialogdriver.h"
#include "mainwindow.h"
#include "nodeform.h"
#include "nodesimulator.h"
#include "testserverprocess.h"
#include "windowtest.h"
#include "windowwaits.h"

#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSerialPort>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>
#include <QVBoxLayout>

#include <memory>

namespace {

// Short enough that the connect time-out tests do not wait the real 30 s (checked once end to end).
const int kShortConnectTimeoutMs = 300;

Pacing shortConnectTimeout()
{
    Pacing pacing = testPacing();
    pacing.connectTimeoutMs = kShortConnectTimeoutMs;
    return pacing;
}

const char kIdle[] = "Reset Node while connected";

QColor textColour(QLabel *label, QPalette::ColorGroup group = QPalette::Active)
{
    return label->palette().color(group, label->foregroundRole());
}

} // namespace

class MainWindowWorkflowTest : public WindowTest
{
    Q_OBJECT

private slots:
    void bootShowsTheBusyBarInsteadOfTheStateLabel();
    void bootWithoutAnnouncementTimesOut();
    void announcementStopsTheConnectTimer();
    void nodeOfEachTypeGetsItsForm_data();
    void nodeOfEachTypeGetsItsForm();
    void nodeWithoutReportRateCannotBeRegisteredOrActivated();
    void nodeOfUnknownTypeIsNotConfigured_data();
    void nodeOfUnknownTypeIsNotConfigured();
    void secondAnnouncementReplacesTheForm();
    void applyResultShowsItsMessageAndResetsOnlyOnSuccess_data();
    void applyResultShowsItsMessageAndResetsOnlyOnSuccess();
    void disconnectButtonReturnsToIdle();
    void disconnectLetsThePortGoAndRefreshOpensItAgain();
    void sleepingNodeReturnsToIdleWithItsMessage();
    void bootWhileNodeShownRemovesTheForm();
    void sigfox5dFormDrivesRegisterAndActivate();
    void otherFormsDoNotDriveRegisterAndActivate();
    void configureForUnknownTypeAsksToRetry();
    void configureIdentityIsCheckedBeforeSending_data();
    void configureIdentityIsCheckedBeforeSending();
    void appliedSettingsReachTheNodeWhichIsResetAndReadAgain();
    void nodeConnectsWhenTheWindowSeesItsBootLate();

private:
    // Announces the node to the window, logging in through the dialog when the window holds no login yet.
    bool announce(MainWindow &window, DialogDriver &driver, const Node &node, bool login);
    // Announces the node, logging in through the dialog; the form shown for it, or null.
    NodeForm *announceAndShow(MainWindow &window, DialogDriver &driver, const Node &node);
    // Idle: state label visible with the idle text in black, no busy bar, no form, only refresh enabled.
    void verifyIdle(MainWindow &window, const QString &text, const QColor &colour);
};

bool MainWindowWorkflowTest::announce(MainWindow &window, DialogDriver &driver, const Node &node, bool login)
{
    if (login)
        driver.login(QLatin1String(TestServerProcess::kUser), QLatin1String(TestServerProcess::kPassword));
    const bool invoked = QMetaObject::invokeMethod(&window, "connectNode", Q_ARG(Node, node));
    return invoked && windowSettles(window, driver) && driver.unexpectedCount() == 0;
}

NodeForm *MainWindowWorkflowTest::announceAndShow(MainWindow &window, DialogDriver &driver, const Node &node)
{
    return announce(window, driver, node, true) ? window.findChild<NodeForm *>() : nullptr;
}

void MainWindowWorkflowTest::verifyIdle(MainWindow &window, const QString &text, const QColor &colour)
{
    auto *label = namedChild<QLabel>(&window, "stateLabel");
    QVERIFY(label->isVisible());
    QCOMPARE(label->text(), text);
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        QCOMPARE(textColour(label, group), colour);
    QVERIFY(!namedChild<QProgressBar>(&window, "progressBar")->isVisible());
    QVERIFY(!window.findChild<NodeForm *>() || !window.findChild<NodeForm *>()->isVisible());
    QCOMPARE(namedChild<QVBoxLayout>(&window, "mainLayout")->count(), 2); // the state label and the note line
    QVERIFY(namedChild<QPushButton>(&window, "portRefreshButton")->isEnabled());
    QVERIFY(!namedChild<QPushButton>(&window, "disconnectButton")->isEnabled());
    QVERIFY(!namedChild<QPushButton>(&window, "registerButton")->isEnabled());
    QVERIFY(!namedChild<QPushButton>(&window, "sleepButton")->isEnabled());
}

void MainWindowWorkflowTest::bootShowsTheBusyBarInsteadOfTheStateLabel()
{
    auto window = newWindow();
    QVERIFY(QMetaObject::invokeMethod(window.get(), "setBusy", Q_ARG(bool, true)));
    QVERIFY(namedChild<QProgressBar>(window.get(), "progressBar")->isVisible());
    QVERIFY(!namedChild<QLabel>(window.get(), "stateLabel")->isVisible());
    QVERIFY(namedChild<QPushButton>(window.get(), "portRefreshButton")->isEnabled());
    QVERIFY(!namedChild<QPushButton>(window.get(), "registerButton")->isEnabled());

    QVERIFY(QMetaObject::invokeMethod(window.get(), "setBusy", Q_ARG(bool, false)));
    QVERIFY(!namedChild<QProgressBar>(window.get(), "progressBar")->isVisible());
    QVERIFY(namedChild<QLabel>(window.get(), "stateLabel")->isVisible());
}

void MainWindowWorkflowTest::bootWithoutAnnouncementTimesOut()
{
    auto window = newWindow(shortConnectTimeout());
    auto *label = namedChild<QLabel>(window.get(), "stateLabel");
    QVERIFY(QMetaObject::invokeMethod(window.get(), "setBusy", Q_ARG(bool, true)));
    // The link giving up on a read does not stop the connect timer.
    QVERIFY(QMetaObject::invokeMethod(window.get(), "setBusy", Q_ARG(bool, false)));
    QCOMPARE(label->text(), QString::fromLatin1(kIdle));
    QTRY_COMPARE_WITH_TIMEOUT(label->text(), QStringLiteral("Connect Timed out\nReset Node"), kLinkWaitMs);
    QVERIFY(label->isVisible());
    QCOMPARE(textColour(label), QColor(Qt::red));
    QVERIFY(!namedChild<QProgressBar>(window.get(), "progressBar")->isVisible());
}

void MainWindowWorkflowTest::announcementStopsTheConnectTimer()
{
    auto window = newWindow(shortConnectTimeout());
    DialogDriver driver;
    QVERIFY(QMetaObject::invokeMethod(window.get(), "setBusy", Q_ARG(bool, true)));
    QVERIFY(announce(*window, driver, sampleNode(Node::LoRaOTAA), true));
    QVERIFY(window->findChild<NodeForm *>());
    // Several time-out periods later the form is still shown and no time-out message came.
    QTest::qWait(kShortConnectTimeoutMs * 4);
    QVERIFY(!namedChild<QLabel>(window.get(), "stateLabel")->isVisible());
    QCOMPARE(namedChild<QLabel>(window.get(), "stateLabel")->text(), QString::fromLatin1(kIdle));
    QVERIFY(window->findChild<NodeForm *>()->isVisible());
}

void MainWindowWorkflowTest::nodeOfEachTypeGetsItsForm_data()
{
    addDataTable<int, QString>({"type", "formClass"},
        {{"1 Pellimar", 1, "FormPellimar"}, {"2 LoRa OTAA", 2, "FormLoRaOTAA"}, {"3 SigFox", 3, "FormSigFox"},
            {"4 Pellimar 5D", 4, "FormPellimar5d"}, {"5 LoRa OTAA 5D", 5, "FormLoRaOTAA5d"},
            {"6 SigFox 5D", 6, "FormSigFox5d"}});
}

void MainWindowWorkflowTest::nodeOfEachTypeGetsItsForm()
{
    QFETCH(int, type);
    QFETCH(QString, formClass);
    auto window = newWindow();
    DialogDriver driver;
    QVERIFY(QMetaObject::invokeMethod(window.get(), "setBusy", Q_ARG(bool, true)));
    Node node = sampleNode(type);
    node.nodeVersion = QStringLiteral("v9.8.7");
    node.moduleVersion = QStringLiteral("m2");
    node.loraVersion = QStringLiteral("s3");
    QVERIFY(announce(*window, driver, node, true));

    auto *layout = namedChild<QVBoxLayout>(window.get(), "mainLayout");
    QCOMPARE(layout->count(), 3); // the state label, the form, the note line
    QWidget *form = layout->itemAt(1)->widget();
    QVERIFY(form);
    QCOMPARE(QString::fromLatin1(form->metaObject()->className()), formClass);
    QTRY_VERIFY(form->isVisible()); // a widget added to a shown layout appears on the next event loop pass
    QVERIFY(!namedChild<QLabel>(window.get(), "stateLabel")->isVisible());
    QVERIFY(!namedChild<QProgressBar>(window.get(), "progressBar")->isVisible());
    QVERIFY(!namedChild<QPushButton>(window.get(), "portRefreshButton")->isEnabled());
    QVERIFY(namedChild<QPushButton>(window.get(), "disconnectButton")->isEnabled());
    QVERIFY(namedChild<QPushButton>(window.get(), "registerButton")->isEnabled());
    QVERIFY(namedChild<QPushButton>(window.get(), "sleepButton")->isEnabled());

    QLabel *version = nullptr;
    for (QLabel *label : namedChild<QStatusBar>(window.get(), "statusBar")->findChildren<QLabel *>()) {
        if (label->objectName().isEmpty())
            version = label;
    }
    QVERIFY(version);
    // The row's name after its number is the node's "Communication:" text, which a profile names the type by.
    QCOMPARE(version->text(),
        QStringLiteral("%1  |   Node: v9.8.7  |   Ormix: m2  |   Semtech: s3")
            .arg(QString::fromLatin1(QTest::currentDataTag()).section(QLatin1Char(' '), 1)));
}

void MainWindowWorkflowTest::nodeWithoutReportRateCannotBeRegisteredOrActivated()
{
    auto window = newWindow();
    DialogDriver driver;
    QVERIFY(announce(*window, driver, sampleNode(Node::Pellimar, 0), true));
    QVERIFY(window->findChild<NodeForm *>());
    QVERIFY(namedChild<QPushButton>(window.get(), "disconnectButton")->isEnabled());
    QVERIFY(!namedChild<QPushButton>(window.get(), "registerButton")->isEnabled());
    QVERIFY(!namedChild<QPushButton>(window.get(), "sleepButton")->isEnabled());
}

void MainWindowWorkflowTest::nodeOfUnknownTypeIsNotConfigured_data()
{
    QTest::addColumn<int>("type");
    QTest::newRow("0 unknown") << 0;
    QTest::newRow("7 beyond the forms") << 7;
    QTest::newRow("-1 negative") << -1;
}

void MainWindowWorkflowTest::nodeOfUnknownTypeIsNotConfigured()
{
    QFETCH(int, type);
    auto window = newWindow();
    DialogDriver driver;
    QVERIFY(QMetaObject::invokeMethod(window.get(), "setBusy", Q_ARG(bool, true)));
    QVERIFY(announce(*window, driver, sampleNode(type), true));
    auto *label = namedChild<QLabel>(window.get(), "stateLabel");
    QVERIFY(label->isVisible());
    QCOMPARE(label->text(), QStringLiteral("Node not configured\nTry another Node"));
    QCOMPARE(textColour(label), QColor(Qt::darkYellow));
    QVERIFY(!window->findChild<NodeForm *>());
    QVERIFY(!namedChild<QProgressBar>(window.get(), "progressBar")->isVisible());
    QVERIFY(namedChild<QPushButton>(window.get(), "portRefreshButton")->isEnabled());
    QVERIFY(!namedChild<QPushButton>(window.get(), "registerButton")->isEnabled());
}

void MainWindowWorkflowTest::secondAnnouncementReplacesTheForm()
{
    auto window = newWindow();
    DialogDriver driver;
    QVERIFY(announce(*window, driver, sampleNode(Node::LoRaOTAA), true));
    QPointer<NodeForm> first = window->findChild<NodeForm *>();
    QVERIFY(first);
    // The login is held now: no dialog for the second node.
    QVERIFY(announce(*window, driver, sampleNode(Node::SigFox), false));
    QTRY_VERIFY(first.isNull());
    auto *layout = namedChild<QVBoxLayout>(window.get(), "mainLayout");
    QCOMPARE(layout->count(), 3);
    QCOMPARE(QString::fromLatin1(layout->itemAt(1)->widget()->metaObject()->className()), QStringLiteral("FormSigFox"));
    QCOMPARE(window->findChildren<NodeForm *>().size(), 1);
}

void MainWindowWorkflowTest::applyResultShowsItsMessageAndResetsOnlyOnSuccess_data()
{
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QColor>("colour");
    QTest::addColumn<int>("resets");
    QTest::newRow("1 failed") << 1 << "Apply FAILED\nReset Node" << QColor(Qt::red) << 0;
    QTest::newRow("2 done") << 2 << "Update Success\nPlease Wait..." << QColor(Qt::darkGreen) << 1;
    QTest::newRow("3 timed out") << 3 << "Apply Timed out\nReset Node" << QColor(Qt::red) << 0;
    QTest::newRow("-1 login refused") << -1 << kIdle << QColor(Qt::black) << 0;
    QTest::newRow("0 pending") << 0 << kIdle << QColor(Qt::black) << 0;
    QTest::newRow("99 unknown") << 99 << kIdle << QColor(Qt::black) << 0;
}

void MainWindowWorkflowTest::applyResultShowsItsMessageAndResetsOnlyOnSuccess()
{
    QFETCH(int, result);
    QFETCH(QString, text);
    QFETCH(QColor, colour);
    QFETCH(int, resets);
    auto window = newWindow();
    DialogDriver driver;
    QVERIFY(announce(*window, driver, sampleNode(Node::Pellimar), true));
    QVERIFY(window->findChild<NodeForm *>());

    QSignalSpy resetSpy(window.get(), SIGNAL(resetNode()));
    QVERIFY(QMetaObject::invokeMethod(window.get(), "applyResult", Q_ARG(int, result)));
    QCOMPARE(resetSpy.count(), resets);
    verifyIdle(*window, text, colour);
    QTRY_VERIFY(!window->findChild<NodeForm *>());
}

void MainWindowWorkflowTest::disconnectButtonReturnsToIdle()
{
    auto window = newWindow();
    DialogDriver driver;
    QVERIFY(announce(*window, driver, sampleNode(Node::LoRaOTAA5D), true));
    auto *combo = namedChild<QComboBox>(window.get(), "serialCombo");
    const int portsListed = combo->count();
    const int portChosen = combo->currentIndex();
    namedChild<QPushButton>(window.get(), "disconnectButton")->click();
    verifyIdle(*window, QString::fromLatin1(kIdle), Qt::black);
    for (QLabel *label : namedChild<QStatusBar>(window.get(), "statusBar")->findChildren<QLabel *>()) {
        if (label->objectName().isEmpty())
            QCOMPARE(label->text(), QString());
    }
    // The port choice stays as it was and the list is not refilled.
    QCOMPARE(combo->count(), portsListed);
    QCOMPARE(combo->currentIndex(), portChosen);
    QCOMPARE(combo->itemText(portsListed - 1), QString::fromLatin1(kNoPort));
}

void MainWindowWorkflowTest::disconnectLetsThePortGoAndRefreshOpensItAgain()
{
    auto window = windowOnSimulatedPort(SimNodeProfile::forType(Node::LoRaOTAA));
    QVERIFY(window);
    DialogDriver driver;
    loginAndBoot(driver);
    QTRY_COMPARE_WITH_TIMEOUT(window->session()->state(), CommissioningSession::State::NodeShown, kLinkWaitMs);

    // While the link holds the port, no other program can open it; Disconnect lets it go.
    const auto portIsFree = [&] {
        QSerialPort other(simulator->linkPath());
        return other.open(QIODevice::ReadWrite);
    };
    QVERIFY(!portIsFree());
    namedChild<QPushButton>(window.get(), "disconnectButton")->click();
    QCOMPARE(window->session()->state(), CommissioningSession::State::WaitingForNode);
    QTRY_VERIFY_WITH_TIMEOUT(portIsFree(), kLinkWaitMs);

    // The refresh opens the remembered port again and resets the node, which is read and shown again.
    QSignalSpy opened(window->session(), &CommissioningSession::portOpened);
    simulator->clearReceived();
    namedChild<QPushButton>(window.get(), "portRefreshButton")->click();
    QTRY_VERIFY_WITH_TIMEOUT(!opened.isEmpty(), kLinkWaitMs);
    QCOMPARE(opened.last().at(0).toString(), simulator->linkPath());
    QVERIFY(simulator->waitForLine(QStringLiteral("reset"), kLinkWaitMs));
    QTRY_COMPARE_WITH_TIMEOUT(window->session()->state(), CommissioningSession::State::NodeShown, kLinkWaitMs);
    QVERIFY(!portIsFree());
    QCOMPARE(driver.recordsOf(QStringLiteral("login")).size(), 1);
    QCOMPARE(driver.unexpectedCount(), 0);
}

void MainWindowWorkflowTest::sleepingNodeReturnsToIdleWithItsMessage()
{
    auto window = newWindow();
    DialogDriver driver;
    QVERIFY(announce(*window, driver, sampleNode(Node::SigFox), true));
    QVERIFY(QMetaObject::invokeMethod(window.get(), "nodeSleeping"));
    verifyIdle(*window, QStringLiteral("Node Sleeping\nConnect another and reset."), Qt::darkGreen);
}

void MainWindowWorkflowTest::bootWhileNodeShownRemovesTheForm()
{
    auto window = newWindow();
    DialogDriver driver;
    QVERIFY(announce(*window, driver, sampleNode(Node::LoRaOTAA), true));
    QVERIFY(QMetaObject::invokeMethod(window.get(), "setBusy", Q_ARG(bool, true)));
    QVERIFY(namedChild<QProgressBar>(window.get(), "progressBar")->isVisible());
    QVERIFY(!namedChild<QLabel>(window.get(), "stateLabel")->isVisible());
    QCOMPARE(namedChild<QVBoxLayout>(window.get(), "mainLayout")->count(), 2);
    QTRY_VERIFY(!window->findChild<NodeForm *>());
    QVERIFY(namedChild<QPushButton>(window.get(), "portRefreshButton")->isEnabled());
    QVERIFY(!namedChild<QPushButton>(window.get(), "disconnectButton")->isEnabled());
    QVERIFY(!namedChild<QPushButton>(window.get(), "registerButton")->isEnabled());
    QVERIFY(!namedChild<QPushButton>(window.get(), "sleepButton")->isEnabled());
}

void MainWindowWorkflowTest::sigfox5dFormDrivesRegisterAndActivate()
{
    auto window = newWindow();
    DialogDriver driver;
    NodeForm *form = announceAndShow(*window, driver, sampleNode(Node::SigFox5D));
    QVERIFY(form);
    auto *registerButton = namedChild<QPushButton>(window.get(), "registerButton");
    auto *sleepButton = namedChild<QPushButton>(window.get(), "sleepButton");
    QVERIFY(QMetaObject::invokeMethod(form, "enableRegisterActivateButton", Q_ARG(bool, false)));
    QVERIFY(!registerButton->isEnabled());
    QVERIFY(!sleepButton->isEnabled());
    QVERIFY(QMetaObject::invokeMethod(form, "enableRegisterActivateButton", Q_ARG(bool, true)));
    QVERIFY(registerButton->isEnabled());
    QVERIFY(sleepButton->isEnabled());
}

void MainWindowWorkflowTest::otherFormsDoNotDriveRegisterAndActivate()
{
    auto window = newWindow();
    DialogDriver driver;
    NodeForm *form = announceAndShow(*window, driver, sampleNode(Node::SigFox));
    QVERIFY(form);
    QCOMPARE(form->metaObject()->indexOfSignal("enableRegisterActivateButton(bool)"), -1);
    // The window's own slot still sets both buttons together.
    QVERIFY(QMetaObject::invokeMethod(window.get(), "enableRegActivateButton", Q_ARG(bool, false)));
    QVERIFY(!namedChild<QPushButton>(window.get(), "registerButton")->isEnabled());
    QVERIFY(!namedChild<QPushButton>(window.get(), "sleepButton")->isEnabled());
}

void MainWindowWorkflowTest::configureForUnknownTypeAsksToRetry()
{
    auto window = newWindow();
    DialogDriver driver;
    driver.clickOk();
    QVERIFY(QMetaObject::invokeMethod(window.get(), "configureID", Q_ARG(Node::eFirmwareType, Node::eFirmwareType(0))));
    IOT_WAIT_UNTIL_SETTLED(*window, driver);
    QCOMPARE(driver.messageSummaries(),
        QStringList{DialogDriver::boxSummary("Unknown Device", "Please retry", QMessageBox::Critical, false)});
    QCOMPARE(driver.unexpectedCount(), 0);
}

void MainWindowWorkflowTest::configureIdentityIsCheckedBeforeSending_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("typed"); // empty: the operator cancels
    QTest::addColumn<QString>("error"); // empty: accepted and sent

    const QString deviceIdError = QStringLiteral("Device ID must be 8 HEX bytes long");
    const QString sigfoxError = QStringLiteral("Sigfox Data must be 48 HEX bytes long");
    const QString hex96 = QStringLiteral("0123456789abcdef").repeated(6);
    QTest::newRow("LoRa id, 16 lower-case digits") << 2 << "0123456789abcdef"
                                                   << "";
    QTest::newRow("Pellimar 5D id, 16 mixed-case digits") << 4 << "A1b2C3d4E5f60718"
                                                          << "";
    QTest::newRow("LoRa id, 15 digits") << 2 << "0123456789abcde" << deviceIdError;
    QTest::newRow("LoRa id, 17 digits") << 5 << "0123456789abcdef0" << deviceIdError;
    QTest::newRow("LoRa id, not hex") << 1 << "0123456789abcdeg" << deviceIdError;
    QTest::newRow("LoRa id, inner blank") << 1 << "01234567 9abcdef" << deviceIdError;
    QTest::newRow("LoRa id, cancelled") << 2 << ""
                                        << "";
    QTest::newRow("SigFox data, 96 lower-case digits") << 3 << hex96 << "";
    QTest::newRow("SigFox 5D data, 95 digits") << 6 << hex96.left(95) << sigfoxError;
    QTest::newRow("SigFox data, 16 digits") << 3 << "0123456789abcdef" << sigfoxError;
}

void MainWindowWorkflowTest::configureIdentityIsCheckedBeforeSending()
{
    QFETCH(int, type);
    QFETCH(QString, typed);
    QFETCH(QString, error);
    const bool sigfox = type == Node::SigFox || type == Node::SigFox5D;

    auto window = windowOnSimulatedPort(SimNodeProfile::forType(type));
    QVERIFY(window);

    DialogDriver driver;
    if (typed.isEmpty())
        driver.cancelInput();
    else
        driver.enterText(typed);
    if (!error.isEmpty())
        driver.clickOk();
    QVERIFY(
        QMetaObject::invokeMethod(window.get(), "configureID", Q_ARG(Node::eFirmwareType, Node::eFirmwareType(type))));
    IOT_WAIT_UNTIL_SETTLED(*window, driver);
    QCOMPARE(driver.unexpectedCount(), 0);

    const QString title = sigfox ? QStringLiteral("Set SigFox Data") : QStringLiteral("Set Device ID");
    const auto inputs = driver.recordsOf(QStringLiteral("input"));
    QCOMPARE(inputs.size(), 1);
    QCOMPARE(inputs[0].title, title);
    QCOMPARE(inputs[0].text, sigfox ? QStringLiteral("SigFox Data:") : QStringLiteral("Device ID:"));
    const auto boxes = driver.recordsOf(QStringLiteral("message"));
    QCOMPARE(boxes.size(), error.isEmpty() ? 0 : 1);
    if (!error.isEmpty()) {
        QCOMPARE(boxes[0].title, title);
        QCOMPARE(boxes[0].text, error);
        QCOMPARE(boxes[0].icon, int(QMessageBox::Critical));
    }

    const QString writeKey = sigfox ? QStringLiteral("sd ") : QStringLiteral("dev ");
    const auto writes = [&] {
        int count = 0;
        for (const QString &line : simulator->receivedLines())
            count += line.startsWith(writeKey) ? 1 : 0;
        return count;
    };
    if (error.isEmpty() && !typed.isEmpty()) {
        // The value reaches the node as typed: SigFox data digit for digit, the device id (which crosses the
        // line enciphered) as the same number.
        if (sigfox)
            QTRY_COMPARE_WITH_TIMEOUT(simulator->profile().sigfoxData, typed, kLinkWaitMs);
        else
            QTRY_COMPARE_WITH_TIMEOUT(simulator->profile().deviceId, typed.toUpper(), kLinkWaitMs);
        QCOMPARE(writes(), 1);
        return;
    }
    // Nothing was queued: a valid value asked for now is the first and only write the node sees.
    const QString marker = sigfox ? QStringLiteral("fedcba9876543210").repeated(6) : QStringLiteral("FEDCBA9876543210");
    driver.clear();
    driver.enterText(marker);
    QVERIFY(
        QMetaObject::invokeMethod(window.get(), "configureID", Q_ARG(Node::eFirmwareType, Node::eFirmwareType(type))));
    if (sigfox)
        QTRY_COMPARE_WITH_TIMEOUT(simulator->profile().sigfoxData, marker, kLinkWaitMs);
    else
        QTRY_COMPARE_WITH_TIMEOUT(simulator->profile().deviceId, marker, kLinkWaitMs);
    QCOMPARE(writes(), 1);
}

void MainWindowWorkflowTest::appliedSettingsReachTheNodeWhichIsResetAndReadAgain()
{
    auto window = windowOnSimulatedPort(SimNodeProfile::forType(Node::LoRaOTAA));
    QVERIFY(window);
    DialogDriver driver;
    loginAndBoot(driver);
    QTRY_VERIFY_WITH_TIMEOUT(window->findChild<NodeForm *>(), kLinkWaitMs);
    QCOMPARE(driver.unexpectedCount(), 0);
    NodeForm *form = window->findChild<NodeForm *>();
    QCOMPARE(QString::fromLatin1(form->metaObject()->className()), QStringLiteral("FormLoRaOTAA"));

    // What the form's Apply emits: the node with a new report rate of 7 minutes.
    Node edited = sampleNode(Node::LoRaOTAA, 7);
    simulator->clearReceived();
    QVERIFY(QMetaObject::invokeMethod(form, "updateNode", Q_ARG(Node, edited), Q_ARG(int, Node::FlagReportRate)));
    QVERIFY(simulator->waitForLine(QStringLiteral("rr 420000"), kLinkWaitMs));
    auto *label = namedChild<QLabel>(window.get(), "stateLabel");
    QTRY_COMPARE_WITH_TIMEOUT(label->text(), QStringLiteral("Update Success\nPlease Wait..."), kLinkWaitMs);
    // Success resets the node, which boots with its new rate and is read and shown again, without a login.
    QVERIFY(simulator->waitForLine(QStringLiteral("reset"), kLinkWaitMs));
    QTRY_VERIFY_WITH_TIMEOUT(
        window->findChild<NodeForm *>() && window->findChild<NodeForm *>()->isVisible(), kLinkWaitMs);
    QCOMPARE(simulator->profile().reportRateMs, qint64(420000));
    QCOMPARE(driver.recordsOf(QStringLiteral("login")).size(), 1);
    QCOMPARE(driver.unexpectedCount(), 0);
}

void MainWindowWorkflowTest::nodeConnectsWhenTheWindowSeesItsBootLate()
{
    auto window = windowOnSimulatedPort(SimNodeProfile::forType(Node::Pellimar));
    QVERIFY(window);
    DialogDriver driver;
    loginAndBoot(driver);
    // The GUI thread is held up (waitForLine runs no event loop) until the link is already reading the node,
    // so the window learns of the boot only afterwards. The read must survive that.
    QVERIFY(simulator->waitForLine(QStringLiteral("cfg"), kLinkWaitMs));
    QTRY_VERIFY_WITH_TIMEOUT(
        window->findChild<NodeForm *>() && window->findChild<NodeForm *>()->isVisible(), kLinkWaitMs);
    QCOMPARE(QString::fromLatin1(window->findChild<NodeForm *>()->metaObject()->className()),
        QStringLiteral("FormPellimar"));
    QCOMPARE(driver.unexpectedCount(), 0);
}

IOT_APP_TEST_MAIN(MainWindowWorkflowTest)
#include "tst_mainwindowworkflow.moc"
