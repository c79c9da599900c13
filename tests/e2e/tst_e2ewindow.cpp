// The window never misleads the operator: a scanned label that is not the node's holds the node back, a node
// leaves only after the operator has answered for its edits and its registration, a server that cannot be
// reached costs no reset, and the port box says what it holds.
#include "apptestsupport.h"
#include "booldata.h"
#include "e2estation.h"
#include "mainwindow.h"
#include "nodeform.h"
#include "testserverprocess.h"

#include <QAction>
#include <QComboBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSerialPort>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTcpServer>

namespace {

using State = CommissioningSession::State;

const char kOtherDevEui[] = "70B3D57ED0000FFF";
const char kProfileId[] = "00000001";

// The port the tool remembers, as its settings file holds it; null when none.
QVariant rememberedPort()
{
    QSettings settings(
        QString::fromLatin1(MainWindow::kOrganisationName), QString::fromLatin1(MainWindow::kApplicationName));
    return settings.value(QStringLiteral("serial/port"));
}

// The next message box is handed over: its text and informative text are kept and the button of the given
// role (or, for a role the box does not have, the one with the given text) is clicked.
void answerBox(DialogDriver &driver, QString *text, QString *detail, QMessageBox::StandardButton button,
    const QString &buttonText = QString())
{
    // The window's questions carry the question icon, which the driver tells apart from its message boxes.
    const QString kind = button == QMessageBox::Ok ? QStringLiteral("message") : QStringLiteral("question");
    driver.custom(kind, [=](QWidget *widget) {
        auto *box = qobject_cast<QMessageBox *>(widget);
        *text = box->text();
        if (detail)
            *detail = box->informativeText();
        QAbstractButton *chosen = box->button(button);
        for (QAbstractButton *candidate : box->buttons()) {
            if (!chosen && candidate->text() == buttonText)
                chosen = candidate;
        }
        QVERIFY2(chosen, qPrintable(*text));
        chosen->click();
    });
}

// The temperature thresholds of the device document the server stored for `euid`, as "low high".
QString storedTemperature(TestServerProcess &server, const QString &euid)
{
    for (const QJsonValue &record : QJsonDocument::fromJson(server.devices()).array()) {
        const QJsonObject document = record.toObject().value(QLatin1String("document")).toObject();
        if (document.value(QLatin1String("euid")).toString() != euid)
            continue;
        for (const QJsonValue &threshold : document.value(QLatin1String("thresholds")).toArray()) {
            const QJsonObject object = threshold.toObject();
            if (object.value(QLatin1String("label")).toString() == QLatin1String("temperature"))
                return QStringLiteral("%1 %2")
                    .arg(object.value(QLatin1String("low")).toDouble())
                    .arg(object.value(QLatin1String("high")).toDouble());
        }
    }
    return QString();
}

} // namespace

class E2eWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void labelThatIsNotTheNodesHoldsItBack();
    void nodeLeavesOnlyAfterTheOperatorAnswered();
    void unreachableServerCostsNoReset();
    void anotherPortClearsTheShownNode();
    void anotherPortAsksFirstWhenEditsWereNotApplied();
    void portHeldByAnotherProgramIsSaid();
    void firstStartOpensNoPort();
    void mistypedPasswordIsAskedAgainForTheSameNode();
    void quittingWithANodeShownAsksFirst();
    void replugOnTheSamePathIsReadWithoutAClick_data();
    void replugOnTheSamePathIsReadWithoutAClick();

private:
    void openStation(const SimNodeProfile &node, const QString &serverUrl);
    int devicePosts() { return server.requestCount(QStringLiteral("device")); }

    TestServerProcess server;
    std::unique_ptr<E2eStation> station;
};

void E2eWindowTest::initTestCase()
{
    QVERIFY2(server.start(), qPrintable(server.errorString()));
}

void E2eWindowTest::cleanup()
{
    if (station)
        QCOMPARE(station->dialogs().unexpectedCount(), 0);
    station.reset();
}

void E2eWindowTest::openStation(const SimNodeProfile &node, const QString &serverUrl)
{
    station = std::make_unique<E2eStation>();
    QVERIFY2(!station->addNode(node).isEmpty(), qPrintable(station->error()));
    station->openWindow(serverUrl);
}

void E2eWindowTest::labelThatIsNotTheNodesHoldsItBack()
{
    const SimNodeProfile profile = SimNodeProfile::forType(Node::LoRaOTAA);
    openStation(profile, server.baseUrl());
    QVERIFY(station->bootAndShow(true));
    auto *labelEdit = namedChild<QLineEdit>(station->window(), "labelEdit");
    QLabel *result = station->label("labelResultLabel");
    QPushButton *registerButton = station->button("registerButton");
    QVERIFY(registerButton->isEnabled());
    const int postsBefore = devicePosts();

    // The scanner types into whatever has the focus and ends with Enter. The window is in front again once
    // the login dialog has gone, as the window system puts it back.
    station->window()->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(station->window()));
    QTRY_COMPARE(QApplication::focusWidget(), labelEdit);
    QTest::keyClicks(QApplication::focusWidget(), QLatin1String(kOtherDevEui));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QTRY_VERIFY(result->text().contains(QLatin1String("does not match")));
    QCOMPARE(E2eStation::textColour(result), QColor(Qt::red));
    QVERIFY(!registerButton->isEnabled());
    registerButton->click();
    station->session()->registerNode(QString());
    QCOMPARE(station->session()->state(), State::NodeShown);
    QCOMPARE(devicePosts(), postsBefore);

    // The node's own QR code, scanned over the wrong label: the scanner only types, it cannot clear the field.
    const QString qrCode
        = QStringLiteral("LW:D0:%1:%2:%3").arg(profile.appEui, profile.devEui, QLatin1String(kProfileId));
    QTest::keyClicks(QApplication::focusWidget(), qrCode);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QTRY_COMPARE(result->text(), QStringLiteral("Label matches"));
    QCOMPARE(E2eStation::textColour(result), QColor(Qt::darkGreen));
    QVERIFY(registerButton->isEnabled());
    QTRY_COMPARE(QApplication::focusWidget(),
        static_cast<QWidget *>(station->form()->findChild<QLineEdit *>(QStringLiteral("lockDescriptionEdit"))));

    station->dialogs().clickOk();
    registerButton->click();
    QTRY_COMPARE_WITH_TIMEOUT(station->dialogs().messageTexts(), QStringList{QStringLiteral("Node added successfully")},
        E2eStation::kReadWaitMs);
    QCOMPARE(devicePosts(), postsBefore + 1);
    QVERIFY(E2eStation::journalEvents().contains(QStringLiteral("labelChecked")));
}

void E2eWindowTest::nodeLeavesOnlyAfterTheOperatorAnswered()
{
    SimNodeProfile profile = SimNodeProfile::forType(Node::Pellimar);
    profile.devEui = QStringLiteral("70B3D57ED0000C03");
    openStation(profile, server.baseUrl());
    QVERIFY(station->bootAndShow(true));
    const int postsBefore = devicePosts();

    // Register with an edit that was not applied: nothing goes out before the answer; Cancel keeps it so.
    E2eStation::typeInto(station->form(), "tempHighEdit", QStringLiteral("44"));
    QString text;
    answerBox(station->dialogs(), &text, nullptr, QMessageBox::Cancel);
    station->button("registerButton")->click();
    QTRY_COMPARE(station->dialogs().pendingSteps(), 0);
    QCOMPARE(text, QStringLiteral("Apply the changes first?"));
    QCOMPARE(station->session()->state(), State::NodeShown);
    QCOMPARE(devicePosts(), postsBefore);

    // Discard: the node is registered as it was read, and nothing is written to it.
    answerBox(station->dialogs(), &text, nullptr, QMessageBox::Discard);
    station->dialogs().clickOk();
    station->button("registerButton")->click();
    QTRY_COMPARE_WITH_TIMEOUT(station->dialogs().pendingSteps(), 0, E2eStation::kReadWaitMs);
    QCOMPARE(station->dialogs().messageTexts().last(), QStringLiteral("Node added successfully"));
    QCOMPARE(devicePosts(), postsBefore + 1);
    QCOMPARE(storedTemperature(server, profile.devEui), QStringLiteral("-10 50"));
    QVERIFY(!station->node().receivedLines().contains(QStringLiteral("tht -10 44")));

    // The node is reset and shown afresh. Activate before it is registered asks first; Cancel keeps it awake.
    QPointer<NodeForm> before = station->form();
    station->node().boot();
    QVERIFY(QTest::qWaitFor([&] { return !before && station->form(); }, E2eStation::kReadWaitMs));
    QVERIFY(station->waitForState(State::NodeShown));
    answerBox(station->dialogs(), &text, nullptr, QMessageBox::Cancel);
    station->button("sleepButton")->click();
    QTRY_COMPARE(station->dialogs().pendingSteps(), 0);
    QCOMPARE(text, QStringLiteral("This node has not been registered. Put it to sleep anyway?"));
    QVERIFY(!station->node().receivedLines().contains(QStringLiteral("s")));

    // Registered (again: the server updates it), Activate is one click.
    station->dialogs().clickOk();
    station->button("registerButton")->click();
    QTRY_COMPARE_WITH_TIMEOUT(station->dialogs().pendingSteps(), 0, E2eStation::kReadWaitMs);
    QCOMPARE(station->dialogs().messageTexts().last(), QStringLiteral("Node Updated"));
    QTRY_VERIFY(station->button("sleepButton")->isEnabled());
    station->button("sleepButton")->click();
    QVERIFY(station->waitForState(State::NodeSleeping));
    QVERIFY(station->node().isSleeping());
}

void E2eWindowTest::unreachableServerCostsNoReset()
{
    // A port on which nobody listens.
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const QString nowhere = QStringLiteral("http://127.0.0.1:%1").arg(closed.serverPort());
    closed.close();

    openStation(SimNodeProfile::forType(Node::LoRaOTAA), nowhere);
    station->dialogs().login(QLatin1String(TestServerProcess::kUser), QLatin1String(TestServerProcess::kPassword));
    QString text, detail;
    answerBox(station->dialogs(), &text, &detail, QMessageBox::Ok);
    station->node().boot();
    QVERIFY(station->waitForState(State::LoginFailed));
    QTRY_COMPARE(station->dialogs().pendingSteps(), 0);
    QCOMPARE(text, QStringLiteral("You need to log in"));
    QVERIFY2(detail.contains(QLatin1String("cannot be reached")), qPrintable(detail));
    QLabel *stateLabel = station->label("stateLabel");
    QCOMPARE(stateLabel->text(), QStringLiteral("Not logged in\nLog in again"));
    QCOMPARE(E2eStation::textColour(stateLabel), QColor(Qt::red));
    QPushButton *again = station->button("loginAgainButton");
    QVERIFY(again->isVisible());

    // The operator points the tool at the right server and logs in again: the node read is shown as it is.
    station->dialogs().enterText(server.baseUrl());
    station->window()->findChild<QAction *>(QStringLiteral("actionORVA_server"))->trigger();
    QTRY_COMPARE(station->dialogs().pendingSteps(), 0);
    station->dialogs().login(QLatin1String(TestServerProcess::kUser), QLatin1String(TestServerProcess::kPassword));
    again->click();
    QVERIFY(station->waitForState(State::NodeShown));
    QTRY_VERIFY(station->form());
    QVERIFY(!again->isVisible());
    const QStringList received = station->node().receivedLines();
    QCOMPARE(received.count(QStringLiteral("reset")), 0);
    QCOMPARE(received.count(QStringLiteral("cfg")), 1);
}

void E2eWindowTest::anotherPortClearsTheShownNode()
{
    // Both ports are listed from the window's start.
    station = std::make_unique<E2eStation>();
    QVERIFY2(!station->addNode(SimNodeProfile::forType(Node::SigFox)).isEmpty(), qPrintable(station->error()));
    const QString otherPort = station->addNode(SimNodeProfile::forType(Node::LoRaOTAA));
    QVERIFY2(!otherPort.isEmpty(), qPrintable(station->error()));
    station->openWindow(server.baseUrl());
    QVERIFY(station->bootAndShow(true));
    QVERIFY(station->button("registerButton")->isEnabled());

    auto *combo = namedChild<QComboBox>(station->window(), "serialCombo");
    combo->setCurrentIndex(combo->findText(otherPort));
    QTRY_VERIFY(!station->form());
    QCOMPARE(station->session()->state(), State::WaitingForNode);
    QVERIFY(!station->button("registerButton")->isEnabled());
    QVERIFY(!station->button("sleepButton")->isEnabled());
    QTRY_COMPARE(station->session()->openPort(), otherPort);
    QCOMPARE(rememberedPort().toString(), otherPort);
}

void E2eWindowTest::anotherPortAsksFirstWhenEditsWereNotApplied()
{
    station = std::make_unique<E2eStation>();
    QVERIFY2(!station->addNode(SimNodeProfile::forType(Node::LoRaOTAA)).isEmpty(), qPrintable(station->error()));
    const QString firstPort = station->nodePath(0);
    const QString otherPort = station->addNode(SimNodeProfile::forType(Node::SigFox));
    QVERIFY2(!otherPort.isEmpty(), qPrintable(station->error()));
    station->openWindow(server.baseUrl());
    QVERIFY(station->bootAndShow(true));
    E2eStation::typeInto(station->form(), "tempHighEdit", QStringLiteral("44"));
    auto *combo = namedChild<QComboBox>(station->window(), "serialCombo");

    // Cancel: the port, the node and its edit stay.
    QString text;
    answerBox(station->dialogs(), &text, nullptr, QMessageBox::Cancel);
    combo->setCurrentIndex(combo->findText(otherPort));
    QTRY_COMPARE(station->dialogs().pendingSteps(), 0);
    QCOMPARE(text, QStringLiteral("Apply the changes first?"));
    QCOMPARE(combo->currentText(), firstPort);
    QVERIFY(station->form());
    QCOMPARE(station->session()->openPort(), firstPort);
    QCOMPARE(station->session()->state(), State::NodeShown);

    // Discard: the node goes with its edit and the other port is opened.
    answerBox(station->dialogs(), &text, nullptr, QMessageBox::Discard);
    combo->setCurrentIndex(combo->findText(otherPort));
    QTRY_COMPARE(station->dialogs().pendingSteps(), 0);
    QTRY_VERIFY(!station->form());
    QTRY_COMPARE(station->session()->openPort(), otherPort);
    QCOMPARE(combo->currentText(), otherPort);
    QCOMPARE(rememberedPort().toString(), otherPort);
    QCOMPARE(station->node(0).profile().temperatureHigh, SimNodeProfile::forType(Node::LoRaOTAA).temperatureHigh);
}

void E2eWindowTest::portHeldByAnotherProgramIsSaid()
{
    station = std::make_unique<E2eStation>();
    const QString path = station->addNode(SimNodeProfile::forType(Node::LoRaOTAA));
    QVERIFY2(!path.isEmpty(), qPrintable(station->error()));
    QSerialPort holder(path);
    QVERIFY2(holder.open(QIODevice::ReadWrite), qPrintable(holder.errorString()));

    station->openWindow(server.baseUrl());
    QVERIFY(station->waitForState(State::PortUnavailable, 10000));
    QLabel *stateLabel = station->label("stateLabel");
    QTRY_VERIFY(stateLabel->isVisible());
    QCOMPARE(stateLabel->text(), QStringLiteral("Port unavailable\n%1: port in use by another program").arg(path));
    QCOMPARE(E2eStation::textColour(stateLabel), QColor(Qt::red));
}

void E2eWindowTest::replugOnTheSamePathIsReadWithoutAClick_data()
{
    // The simulator keeps what a node prints before the port is open; a USB adapter loses it, and the tool
    // then resets the node itself.
    addBoolRows("bootHeard", "boot lost before the port was open", "boot kept in the line");
}

void E2eWindowTest::replugOnTheSamePathIsReadWithoutAClick()
{
    QFETCH(bool, bootHeard);
    openStation(SimNodeProfile::forType(Node::LoRaOTAA), server.baseUrl());
    QVERIFY(station->bootAndShow(true));

    station->node().hangUp(); // the node is unplugged, its device with it
    QVERIFY(station->waitForState(State::PortReturnAwaited, 10000));
    QLabel *stateLabel = station->label("stateLabel");
    QTRY_VERIFY(stateLabel->isVisible());
    QVERIFY2(stateLabel->text().startsWith(QStringLiteral("Waiting for the node's port\nto come back\n")),
        qPrintable(stateLabel->text()));
    QVERIFY(!station->form());

    // The next node on the same path boots as it is plugged in, before the tool can have its port open.
    SimNodeProfile next = SimNodeProfile::forType(Node::LoRaOTAA);
    next.devEui = QLatin1String(kOtherDevEui);
    station->node().setProfile(next);
    QVERIFY(station->node().start(station->nodePath()));
    if (bootHeard)
        station->node().boot();
    QVERIFY(station->waitForState(State::NodeShown));
    QTRY_VERIFY(station->form());
    // Read once: no reset of the tool's own cut into a boot it heard.
    QCOMPARE(station->node().receivedLines().count(QStringLiteral("reset")), bootHeard ? 0 : 1);
    QCOMPARE(station->session()->nodeOnShow()->identity(), QLatin1String(kOtherDevEui));

    // Disconnect, while the port is awaited, lets it go for good.
    station->node().hangUp();
    QVERIFY(station->waitForState(State::PortReturnAwaited, 10000));
    QPushButton *disconnect = station->button("disconnectButton");
    QTRY_VERIFY(disconnect->isEnabled());
    QTest::mouseClick(disconnect, Qt::LeftButton);
    QCOMPARE(station->session()->state(), State::WaitingForNode);
    QVERIFY(station->session()->awaitedPort().isEmpty());
    QCOMPARE(stateLabel->text(), QStringLiteral("Reset Node while connected"));
}

void E2eWindowTest::mistypedPasswordIsAskedAgainForTheSameNode()
{
    openStation(SimNodeProfile::forType(Node::LoRaOTAA), server.baseUrl());
    const int loginsBefore = server.requestCount(QStringLiteral("login"));
    DialogDriver &dialogs = station->dialogs();
    const QString user = QLatin1String(TestServerProcess::kUser);
    dialogs.login(user, QStringLiteral("mistyped"));
    dialogs.clickOk(); // "Incorrect Credentials"
    // The dialog comes back with the user name kept and the password empty; only the password is typed.
    QString userShown;
    QString passwordShown;
    dialogs.custom(QStringLiteral("login"), [&](QWidget *dialog) {
        userShown = dialog->findChild<QLineEdit *>(QStringLiteral("usernameLineEdit"))->text();
        passwordShown = dialog->findChild<QLineEdit *>(QStringLiteral("passwordLineEdit"))->text();
        DialogDriver::submitLogin(dialog, user, QLatin1String(TestServerProcess::kPassword));
    });
    station->node().boot();
    QVERIFY(station->waitForState(State::NodeShown));
    QTRY_VERIFY(station->form());
    QCOMPARE(userShown, user);
    QVERIFY(passwordShown.isEmpty());
    QCOMPARE(dialogs.messageTexts(), QStringList{QStringLiteral("Incorrect Credentials")});
    QCOMPARE(dialogs.recordsOf(QStringLiteral("message")).first().icon, int(QMessageBox::Critical));
    QCOMPARE(dialogs.pendingSteps(), 0);
    // Read once, from the one boot: no reset was needed.
    QVERIFY(!station->node().receivedLines().contains(QStringLiteral("reset")));
    QCOMPARE(server.requestCount(QStringLiteral("login")), loginsBefore + 2);
}

void E2eWindowTest::quittingWithANodeShownAsksFirst()
{
    openStation(SimNodeProfile::forType(Node::LoRaOTAA), server.baseUrl());
    QVERIFY(station->bootAndShow(true));
    MainWindow *window = station->window();
    QVERIFY(window->isVisible());

    QString text, detail;
    answerBox(station->dialogs(), &text, &detail, QMessageBox::Cancel);
    QVERIFY(!window->close());
    QTRY_COMPARE(station->dialogs().pendingSteps(), 0);
    QCOMPARE(text, QStringLiteral("Quit the commission tool?"));
    QCOMPARE(detail, QStringLiteral("A node is on show and has not been put to sleep."));
    QVERIFY(window->isVisible());
    QCOMPARE(station->session()->state(), State::NodeShown);

    answerBox(station->dialogs(), &text, nullptr, QMessageBox::NoButton, QStringLiteral("Quit"));
    window->close();
    QTRY_COMPARE(station->dialogs().pendingSteps(), 0);
    QTRY_VERIFY(!window->isVisible());
}

void E2eWindowTest::firstStartOpensNoPort()
{
    station = std::make_unique<E2eStation>();
    const QString path = station->addNode(SimNodeProfile::forType(Node::LoRaOTAA));
    QVERIFY2(!path.isEmpty(), qPrintable(station->error()));
    station->openWindow(QString(), {}, false);
    QSignalSpy opened(station->session(), &CommissioningSession::portOpened);

    auto *combo = namedChild<QComboBox>(station->window(), "serialCombo");
    QVERIFY(combo->findText(path) >= 0);
    QCOMPARE(combo->currentIndex(), -1);
    QVERIFY(station->session()->openPort().isEmpty());
    QCOMPARE(station->label("stateLabel")->text(), QStringLiteral("Reset Node while connected"));
    QVERIFY(namedChild<QStatusBar>(station->window(), "statusBar")
                ->currentMessage()
                .contains(QLatin1String("No ORVA server is configured")));
    QVERIFY(rememberedPort().isNull());

    // The operator's choice opens the port, once, and is remembered.
    combo->setCurrentIndex(combo->findText(path));
    QTRY_COMPARE(opened.size(), 1);
    QCOMPARE(opened.first().first().toString(), path);
    QCOMPARE(rememberedPort().toString(), path);
}

IOT_APP_TEST_MAIN(E2eWindowTest)
#include "tst_e2ewindow.moc"
