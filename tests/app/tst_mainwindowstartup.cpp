#include "apptestsupport.h"
#include "commissioningjournal.h"
#include "datatable.h"
#include "dialogdriver.h"
#include "journalforwarder.h"
#include "mainwindow.h"
#include "nodesimulator.h"
#include "prerequisite.h"
#include "protectedfieldcipher.h"
#include "windowwaits.h"

#include <QAction>
#include <QComboBox>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMetaMethod>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScreen>
#include <QSerialPort>
#include <QSerialPortInfo>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>
#include <QVBoxLayout>

#include <memory>
#include <vector>

namespace {

const char kExtraPorts[] = "IOT_COMMISSION_EXTRA_PORTS";
// Tests that are not about the port choice keep the link on this path, away from the machine's real ports.
const char kNoPort[] = "/nonexistent/iot-app-test/ttyNONE";
const int kLinkWaitMs = 15000;

QSettings userSettings()
{
    return QSettings(QStringLiteral("DARV"), QStringLiteral("iot_commission"));
}

// The system's ports as the box lists them: by their whole device path.
QStringList systemPortNames()
{
    QStringList names;
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &port : ports)
        names << port.systemLocation();
    return names;
}

// The bench slots the box lists after the system's ports.
QStringList benchSlotPaths()
{
    QStringList paths;
    const QFileInfoList entries
        = QDir(QStringLiteral("/dev")).entryInfoList({QStringLiteral("iot-slot*")}, QDir::System);
    for (const QFileInfo &entry : entries)
        paths << entry.absoluteFilePath();
    return paths;
}

// Everything listed before the ports named in IOT_COMMISSION_EXTRA_PORTS.
QStringList listedPorts()
{
    return systemPortNames() + benchSlotPaths();
}

QStringList comboItems(MainWindow &window)
{
    auto *combo = namedChild<QComboBox>(&window, "serialCombo");
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    return items;
}

} // namespace

class MainWindowStartupTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void widgetTreeMatchesDesign_data();
    void widgetTreeMatchesDesign();
    void windowIsResizableTitledAndCentred();
    void stateLabelIsBigCentredTextInTheMainLayout();
    void refreshButtonShowsTheCompiledInIcon();
    void menusAreOrderedAndConfigureIsHidden();
    void statusBarHoldsAnEmptyCentredVersionLabel();
    void statusBarHoldsTheNamedPermanentWidgets();
    void metaObjectDeclaresSignalAndSlotsInOrder();
    void aboutShowsVersionAndBuildDateOnTwoLines();
    void windowIconIsReadFromTheWorkingDirectory();

    void firstStartListsWholePathsAndOpensNothing();
    void rememberedPortListedThirdIsChosenAndOpened();
    void missingRememberedPortChoosesNothingAndIsKept();
    void noListedPortOpensNothingAndKeepsTheRememberedName();
    void extraPortsAreAppendedInOrder_data();
    void extraPortsAreAppendedInOrder();
    void pickingAPortRemembersItAndOpensIt();
    void refreshListsPortsAgainAndResetsTheNode();
    void hiddenConfigureActionStillReadsTheNodeVersion();
    void onlyTheTwoSettingsKeysAreWritten();
    void garbledSettingsFileStartsLikeAFirstStart();
    void unreadableSettingsFileIsReportedAndTheToolWorks();
    void sharedDatabaseOnlyWhenConfiguredAndItsOutageIsShown();

private:
    // Starts a simulated node on a pseudo-terminal in the test's private directory.
    NodeSimulator *startSimulator(const QString &fileName);
    // A simulator the window lists as an extra port and remembers as the operator's choice; null on failure.
    NodeSimulator *simulatorOnRememberedPort();
    // True when the window, just built, asked its link to open no port. To be called before the event loop
    // runs, so that no report of the link can have been missed.
    bool openedNothing(MainWindow &window);

    std::unique_ptr<QTemporaryDir> portDir;
    std::vector<std::unique_ptr<NodeSimulator>> simulators;
};

void MainWindowStartupTest::initTestCase()
{
    const QString configHome = QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME"));
    QVERIFY(!configHome.isEmpty());
    QVERIFY2(userSettings().fileName().startsWith(configHome), qPrintable(userSettings().fileName()));
}

void MainWindowStartupTest::init()
{
    userSettings().clear();
    userSettings().setValue(QStringLiteral("serial/port"), QString::fromLatin1(kNoPort));
    qputenv(kExtraPorts, kNoPort);
    portDir = std::make_unique<QTemporaryDir>();
    QVERIFY(portDir->isValid());
}

void MainWindowStartupTest::cleanup()
{
    simulators.clear();
    portDir.reset();
    qunsetenv(kExtraPorts);
}

NodeSimulator *MainWindowStartupTest::startSimulator(const QString &fileName)
{
    auto simulator = std::make_unique<NodeSimulator>();
    QString error;
    if (!simulator->start(portDir->filePath(fileName), &error)) {
        qWarning("simulator did not start: %s", qPrintable(error));
        return nullptr;
    }
    simulators.push_back(std::move(simulator));
    return simulators.back().get();
}

NodeSimulator *MainWindowStartupTest::simulatorOnRememberedPort()
{
    NodeSimulator *simulator = startSimulator(QStringLiteral("node"));
    if (!simulator)
        return nullptr;
    qputenv(kExtraPorts, simulator->linkPath().toLocal8Bit());
    userSettings().setValue(QStringLiteral("serial/port"), simulator->linkPath());
    return simulator;
}

bool MainWindowStartupTest::openedNothing(MainWindow &window)
{
    QSignalSpy opened(window.session(), &CommissioningSession::portOpened);
    QSignalSpy failed(window.session(), &CommissioningSession::portFailed);
    // The link handles what it is asked in order: once this probe is answered, an open asked for while the
    // window was built would have been answered too.
    const QString probe = portDir->filePath(QStringLiteral("probe"));
    window.findChild<NodeInterface *>()->connectSerialPort(probe);
    if (!QTest::qWaitFor([&] { return !failed.isEmpty(); }, kLinkWaitMs))
        return false;
    return opened.isEmpty() && failed.size() == 1 && failed.first().at(0).toString() == probe;
}

void MainWindowStartupTest::widgetTreeMatchesDesign_data()
{
    // Each row is named after its widget. Geometry null: placed by a layout or the window. Height -1: laid out,
    // down to the parent's bottom once shown. Where the laid-out widgets stand is checked by their own tests.
    addDataTable<QString, QString, QRect, QString, bool, bool>(
        {"className", "parentName", "geometry", "text", "enabled", "hidden"},
        {{"centralWidget", "StationView", "MainWindow", QRect(), "", true, false},
            {"serialBox", "QGroupBox", "centralWidget", QRect(), "Serial Connection", true, false},
            {"serialCombo", "QComboBox", "serialBox", QRect(), "", true, false},
            {"portRefreshButton", "QPushButton", "serialBox", QRect(), "", true, false},
            {"disconnectButton", "QPushButton", "serialBox", QRect(), "Disconnect", false, false},
            {"nodeScroll", "QScrollArea", "centralWidget", QRect(), "", true, false},
            {"verticalLayoutWidget", "QWidget", "qt_scrollarea_viewport", QRect(0, 0, 520, -1), "", true, false},
            {"stateLabel", "QLabel", "verticalLayoutWidget", QRect(), "Reset Node while connected", true, false},
            {"registerButton", "QPushButton", "centralWidget", QRect(), "Register", false, false},
            {"progressBar", "QProgressBar", "verticalLayoutWidget", QRect(), "", true, true},
            {"sleepButton", "QPushButton", "centralWidget", QRect(), "Activate", false, false},
            {"menuBar", "QMenuBar", "MainWindow", QRect(0, 0, 520, 21), "", true, false},
            {"menuSettings", "QMenu", "menuBar", QRect(), "Settings", true, true},
            {"menuConfigure", "QMenu", "menuBar", QRect(), "Configure", true, true},
            {"menuHelp", "QMenu", "menuBar", QRect(), "Help", true, true},
            {"statusBar", "QStatusBar", "MainWindow", QRect(), "", true, false}});
}

void MainWindowStartupTest::widgetTreeMatchesDesign()
{
    const QString name = QString::fromLatin1(QTest::currentDataTag());
    QFETCH(QString, className);
    QFETCH(QString, parentName);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);
    QFETCH(bool, enabled);
    QFETCH(bool, hidden);

    MainWindow window;
    QCOMPARE(window.objectName(), QStringLiteral("MainWindow"));
    // A laid-out widget's place is known once the window is shown at its initial size; the others keep their
    // designed places, which the platform's menu and status bar heights would shift once shown.
    if (geometry.height() < 0) {
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
    }
    auto *widget = window.findChild<QWidget *>(name);
    QVERIFY2(widget, qPrintable(name));
    QCOMPARE(QString::fromLatin1(widget->metaObject()->className()), className);
    QVERIFY(widget->parentWidget());
    QCOMPARE(widget->parentWidget()->objectName(), parentName);
    if (geometry.height() < 0) {
        QCOMPARE(widget->pos(), geometry.topLeft());
        QCOMPARE(widget->width(), geometry.width());
        QCOMPARE(widget->geometry().bottom(), widget->parentWidget()->rect().bottom());
    } else if (!geometry.isNull()) {
        QCOMPARE(widget->geometry(), geometry);
    }
    QCOMPARE(widget->isEnabled(), enabled);
    QCOMPARE(widget->isHidden(), hidden); // menus are popups, hidden until opened

    QString shown;
    if (auto *button = qobject_cast<QPushButton *>(widget))
        shown = button->text();
    else if (auto *box = qobject_cast<QGroupBox *>(widget))
        shown = box->title();
    else if (auto *label = qobject_cast<QLabel *>(widget))
        shown = label->text();
    else if (auto *menu = qobject_cast<QMenu *>(widget))
        shown = menu->title().remove(QLatin1Char('&')); // the mnemonic marker is not part of the title
    QCOMPARE(shown, text);
}

void MainWindowStartupTest::windowIsResizableTitledAndCentred()
{
    MainWindow window;
    QCOMPARE(window.minimumSize(), QSize(520, 700));
    QVERIFY(window.maximumSize().width() > 520 && window.maximumSize().height() > 700);
    QCOMPARE(window.size(), QSize(520, 700));
    // A build with the published development key says so in its title; the tests are built with it.
    QCOMPARE(window.windowTitle(),
        ProtectedFieldCipher::isDevelopmentKey() ? QStringLiteral("Tessaline IoT Commission Tool [development key]")
                                                 : QStringLiteral("Tessaline IoT Commission Tool"));

    QScreen *screen = QGuiApplication::primaryScreen();
    QVERIFY(screen);
    const QRect area = screen->availableGeometry();
    const QPoint expected(
        int(area.x() + area.width() / 2.0 - 520 / 2.0), int(area.y() + area.height() / 2.0 - 700 / 2.0));
    QCOMPARE(window.pos(), expected);

    const auto actions = window.findChildren<QAction *>();
    QStringList texts;
    for (const char *name : {"actionAbout", "actionORVA_server", "actionConfigure_Node"}) {
        auto *action = namedChild<QAction>(&window, name);
        QVERIFY2(action, name);
        QCOMPARE(action->parent(), &window);
        texts << action->text();
    }
    QCOMPARE(texts, QStringList({"About", "ORVA server", "Configure Node"}));
}

void MainWindowStartupTest::stateLabelIsBigCentredTextInTheMainLayout()
{
    MainWindow window;
    auto *label = namedChild<QLabel>(&window, "stateLabel");
    auto *layoutWidget = namedChild<QWidget>(&window, "verticalLayoutWidget");
    auto *layout = namedChild<QVBoxLayout>(&window, "mainLayout");
    QVERIFY(label && layoutWidget && layout);
    // The node area's own layout holds the main layout between the room above and below it.
    QCOMPARE(layout->parent(), layoutWidget->layout());
    QCOMPARE(layout->spacing(), 6);
    QCOMPARE(layout->contentsMargins(), QMargins(0, 0, 0, 0));
    // The state label, then the note on the node, which stays hidden while there is none.
    QCOMPARE(layout->count(), 2);
    QCOMPARE(layout->itemAt(0)->widget(), label);
    QCOMPARE(layout->itemAt(1)->widget(), namedChild<QLabel>(&window, "noteLabel"));

    // A message longer than the window is wide wraps instead of being cut off at both ends.
    QVERIFY(label->wordWrap());
    QCOMPARE(label->font().pointSize(), 17);
    QVERIFY(label->font().bold());
    QCOMPARE(label->font().weight(), 75);
    QCOMPARE(label->alignment(), Qt::AlignCenter);
    // The idle text starts in the default colour; only state messages colour it.
    QCOMPARE(label->palette().color(QPalette::WindowText), QApplication::palette(label).color(QPalette::WindowText));

    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(label->isVisible());
    QVERIFY(!namedChild<QLabel>(&window, "noteLabel")->isVisible());
    QVERIFY(!namedChild<QProgressBar>(&window, "progressBar")->isVisible());
    auto *progress = namedChild<QProgressBar>(&window, "progressBar");
    QCOMPARE(progress->minimum(), 0);
    QCOMPARE(progress->maximum(), 0);
}

void MainWindowStartupTest::refreshButtonShowsTheCompiledInIcon()
{
    MainWindow window;
    auto *button = namedChild<QPushButton>(&window, "portRefreshButton");
    QCOMPARE(button->iconSize(), QSize(20, 20));
    QVERIFY(!button->icon().isNull());
    if (QIcon::hasThemeIcon(QStringLiteral("a")))
        QSKIP("this desktop's icon theme has an icon named \"a\", which the button prefers");
    const QIcon resource(QStringLiteral(":/refresh_icon"));
    QVERIFY2(!resource.isNull(), "the refresh icon resource is not compiled in");
    QCOMPARE(button->icon().pixmap(20, 20).toImage(), resource.pixmap(20, 20).toImage());
}

void MainWindowStartupTest::menusAreOrderedAndConfigureIsHidden()
{
    MainWindow window;
    auto *bar = namedChild<QMenuBar>(&window, "menuBar");
    auto *settingsMenu = namedChild<QMenu>(&window, "menuSettings");
    auto *configureMenu = namedChild<QMenu>(&window, "menuConfigure");
    auto *helpMenu = namedChild<QMenu>(&window, "menuHelp");
    QCOMPARE(window.menuBar(), bar);
    QCOMPARE(bar->actions(),
        QList<QAction *>({settingsMenu->menuAction(), configureMenu->menuAction(), helpMenu->menuAction()}));
    QStringList settingsEntries;
    for (QAction *action : settingsMenu->actions()) {
        if (!action->isSeparator())
            settingsEntries << action->text();
    }
    QCOMPARE(settingsEntries,
        QStringList({"ORVA server", "Trusted CA certificate…", "Shared database…", "Log in again", "Profile…",
            "No profile", "Lot…", "Stations…", "Label…", "Sound on PASS and FAIL", "History…", "Print Label", "Quit"}));
    QCOMPARE(settingsMenu->actions().first(), namedChild<QAction>(&window, "actionORVA_server"));
    QCOMPARE(settingsMenu->actions().last()->shortcut(), QKeySequence(QStringLiteral("Ctrl+Q")));
    QCOMPARE(configureMenu->actions(), QList<QAction *>({namedChild<QAction>(&window, "actionConfigure_Node")}));
    QCOMPARE(helpMenu->actions(), QList<QAction *>({namedChild<QAction>(&window, "actionAbout")}));

    QVERIFY(settingsMenu->menuAction()->isVisible());
    QVERIFY(!configureMenu->menuAction()->isVisible());
    QVERIFY(helpMenu->menuAction()->isVisible());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(bar->actionGeometry(configureMenu->menuAction()).isEmpty());
    QVERIFY(!bar->actionGeometry(helpMenu->menuAction()).isEmpty());
}

void MainWindowStartupTest::statusBarHoldsAnEmptyCentredVersionLabel()
{
    MainWindow window;
    auto *bar = namedChild<QStatusBar>(&window, "statusBar");
    QCOMPARE(window.statusBar(), bar);
    QVERIFY(!bar->isSizeGripEnabled());
    QList<QLabel *> labels;
    for (QLabel *label : bar->findChildren<QLabel *>()) {
        if (label->objectName().isEmpty())
            labels << label;
    }
    QCOMPARE(labels.size(), 1);
    QCOMPARE(labels.first()->text(), QString());
    QCOMPARE(labels.first()->alignment(), Qt::AlignCenter);
}

void MainWindowStartupTest::statusBarHoldsTheNamedPermanentWidgets()
{
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *bar = namedChild<QStatusBar>(&window, "statusBar");
    for (const char *name :
        {"storageProblemLabel", "waitingRegistrationsLabel", "profileLabel", "lotLabel", "loginAgainButton"}) {
        auto *widget = namedChild<QWidget>(bar, name);
        QVERIFY2(widget, name);
        QCOMPARE(widget->parentWidget(), bar);
    }
    QCOMPARE(namedChild<QLabel>(bar, "profileLabel")->text(), QStringLiteral("No profile"));
    QVERIFY(namedChild<QLabel>(bar, "profileLabel")->isVisible());
    // Only what applies is on show: no storage problem, nothing waiting, no lot, a login that did not fail.
    for (const char *name : {"storageProblemLabel", "waitingRegistrationsLabel", "lotLabel", "loginAgainButton"})
        QVERIFY2(!namedChild<QWidget>(bar, name)->isVisible(), name);
    QCOMPARE(namedChild<QPushButton>(bar, "loginAgainButton")->text(), QStringLiteral("Log in again"));
}

void MainWindowStartupTest::metaObjectDeclaresSignalAndSlotsInOrder()
{
    const QStringList expected = {
        "resetNode()",
        "setBusy(bool)",
        "enableRegActivateButton(bool)",
        "setSerialPort(int)",
        "connectNode(Node)",
        "applyResult(int)",
        "disconnectNode()",
        "showAbout()",
        "editServer()",
        "registerNode()",
        "refreshSerialPortInfo()",
        "timedOut()",
        "showConfigure()",
        "configureID(Node::eFirmwareType)",
        "nodeSleeping()",
    };
    const QMetaObject &meta = MainWindow::staticMetaObject;
    QStringList actual;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i)
        actual << QString::fromLatin1(meta.method(i).methodSignature());
    QCOMPARE(actual, expected);

    QCOMPARE(meta.method(meta.indexOfSignal("resetNode()")).methodType(), QMetaMethod::Signal);
    QCOMPARE(meta.method(meta.indexOfSlot("setBusy(bool)")).access(), QMetaMethod::Public);
    QCOMPARE(meta.method(meta.indexOfSlot("enableRegActivateButton(bool)")).access(), QMetaMethod::Public);
    QCOMPARE(meta.method(meta.indexOfSlot("connectNode(Node)")).access(), QMetaMethod::Private);
    QCOMPARE(meta.method(meta.indexOfSlot("nodeSleeping()")).access(), QMetaMethod::Private);
}

void MainWindowStartupTest::aboutShowsVersionAndBuildDateOnTwoLines()
{
    MainWindow window;
    DialogDriver driver;
    IOT_OPEN_ABOUT_BOX(window, driver);
    const auto boxes = driver.recordsOf(QStringLiteral("message"));
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].title, QStringLiteral("About Tessaline IoT Commission Tool"));
    QCOMPARE(boxes[0].icon, int(QMessageBox::Information));
    QVERIFY(!boxes[0].hasParent);
    QCOMPARE(boxes[0].text.count(QLatin1Char('\n')), 1);
    const QRegularExpression format(
        QStringLiteral("\\AVersion: 0\\.0\\.8\\nBuild date: (.+) [0-2][0-9]:[0-5][0-9]:[0-5][0-9]\\z"));
    const QRegularExpressionMatch match = format.match(boxes[0].text);
    QVERIFY2(match.hasMatch(), qPrintable(boxes[0].text));
    // The date is written the way the operator's locale writes dates, with the whole year.
    const QDate built = QLocale().toDate(match.captured(1),
        QLocale()
            .dateFormat(QLocale::ShortFormat)
            .replace(QStringLiteral("yyyy"), QStringLiteral("yy"))
            .replace(QStringLiteral("yy"), QStringLiteral("yyyy")));
    QVERIFY2(built.isValid() && built.year() >= 2020, qPrintable(match.captured(1)));
    QString key = QStringLiteral("Node key fingerprint: ") + ProtectedFieldCipher::keyFingerprint();
    if (ProtectedFieldCipher::isDevelopmentKey())
        key += QStringLiteral(" (the published development key)");
    QCOMPARE(boxes[0].informativeText, key);
    QVERIFY(QRegularExpression(QStringLiteral("\\A[0-9A-F]{8}\\z"))
                .match(ProtectedFieldCipher::keyFingerprint())
                .hasMatch());
}

void MainWindowStartupTest::windowIconIsReadFromTheWorkingDirectory()
{
    const QString binDir = QString::fromLocal8Bit(qgetenv("IOT_BIN_DIR"));
    if (binDir.isEmpty() || !QFile::exists(binDir + QStringLiteral("/IoT.png")))
        SKIP_OR_FAIL_UNDER_CI("IOT_BIN_DIR does not hold the shipped IoT.png");
    const QString previous = QDir::currentPath();

    QApplication::setWindowIcon(QIcon());
    QVERIFY(QDir::setCurrent(portDir->path()));
    {
        MainWindow window; // no IoT.png here: quietly no icon
        QVERIFY(QApplication::windowIcon().isNull());
    }
    QVERIFY(QDir::setCurrent(binDir));
    {
        MainWindow window;
        QVERIFY(!QApplication::windowIcon().isNull());
        QCOMPARE(QApplication::windowIcon().pixmap(32, 32).toImage(),
            QIcon(binDir + QStringLiteral("/IoT.png")).pixmap(32, 32).toImage());
    }
    QVERIFY(QDir::setCurrent(previous));
    QApplication::setWindowIcon(QIcon());
}

void MainWindowStartupTest::firstStartListsWholePathsAndOpensNothing()
{
    userSettings().clear();
    NodeSimulator *simulator = startSimulator(QStringLiteral("node"));
    QVERIFY(simulator);
    qputenv(kExtraPorts, simulator->linkPath().toLocal8Bit());
    const QStringList expected = listedPorts() << simulator->linkPath();
    MainWindow window;
    QVERIFY(openedNothing(window));
    QCOMPARE(comboItems(window), expected);
    auto *combo = namedChild<QComboBox>(&window, "serialCombo");
    for (int i = 0; i < combo->count(); ++i)
        QCOMPARE(combo->itemData(i, Qt::UserRole).toString(), expected.at(i));
    // Nothing is chosen behind the operator's back, and nothing is remembered before the operator chooses.
    QCOMPARE(combo->currentIndex(), -1);
    QVERIFY(!userSettings().contains(QStringLiteral("serial/port")));
    QVERIFY(!userSettings().contains(QStringLiteral("JSONregister/server")));

    QSignalSpy opened(window.session(), &CommissioningSession::portOpened);
    combo->setCurrentIndex(expected.size() - 1);
    QTRY_VERIFY_WITH_TIMEOUT(!opened.isEmpty(), kLinkWaitMs);
    QCOMPARE(opened.last().at(0).toString(), simulator->linkPath());
    QCOMPARE(userSettings().value(QStringLiteral("serial/port")).toString(), simulator->linkPath());
}

void MainWindowStartupTest::rememberedPortListedThirdIsChosenAndOpened()
{
    QStringList extras;
    for (const char *name : {"nodeA", "nodeB", "nodeC"}) {
        NodeSimulator *simulator = startSimulator(QString::fromLatin1(name));
        QVERIFY(simulator);
        extras << simulator->linkPath();
    }
    qputenv(kExtraPorts, extras.join(QLatin1Char(':')).toLocal8Bit());
    const QStringList expected = listedPorts() + extras;
    const QString third = expected.at(2);
    userSettings().setValue(QStringLiteral("serial/port"), third);

    MainWindow window;
    QCOMPARE(comboItems(window), expected);
    QCOMPARE(namedChild<QComboBox>(&window, "serialCombo")->currentIndex(), 2);
    QCOMPARE(namedChild<QComboBox>(&window, "serialCombo")->currentText(), third);
    QCOMPARE(userSettings().value(QStringLiteral("serial/port")).toString(), third);

    if (!extras.contains(third))
        QSKIP("the third port is a real one here; the simulator cannot show that the link opened it");
    // The link opened the third port exactly when a node booting on it makes the window busy. The port opens
    // on the link thread a moment after the window is built, so the node boots until the window notices.
    window.show();
    NodeSimulator *chosen = nullptr;
    for (const auto &simulator : simulators) {
        if (simulator->linkPath() == third)
            chosen = simulator.get();
    }
    auto *progress = namedChild<QProgressBar>(&window, "progressBar");
    QDeadlineTimer deadline(kLinkWaitMs);
    while (!progress->isVisible() && !deadline.hasExpired()) {
        chosen->boot();
        if (QTest::qWaitFor([&] { return progress->isVisible(); }, 1000))
            break;
    }
    QVERIFY(progress->isVisible());
}

void MainWindowStartupTest::missingRememberedPortChoosesNothingAndIsKept()
{
    NodeSimulator *simulator = startSimulator(QStringLiteral("node"));
    QVERIFY(simulator);
    qputenv(kExtraPorts, simulator->linkPath().toLocal8Bit());
    userSettings().setValue(QStringLiteral("serial/port"), QStringLiteral("ttyGONE42"));
    const QStringList expected = listedPorts() << simulator->linkPath();

    MainWindow window;
    QVERIFY(openedNothing(window));
    QCOMPARE(comboItems(window), expected);
    QCOMPARE(namedChild<QComboBox>(&window, "serialCombo")->currentIndex(), -1);
    // The remembered port may be plugged in again; it is kept until the operator picks another.
    QCOMPARE(userSettings().value(QStringLiteral("serial/port")).toString(), QStringLiteral("ttyGONE42"));
}

void MainWindowStartupTest::noListedPortOpensNothingAndKeepsTheRememberedName()
{
    if (!listedPorts().isEmpty())
        QSKIP("this machine lists serial ports, so the list cannot be empty");
    qunsetenv(kExtraPorts);
    userSettings().setValue(QStringLiteral("serial/port"), QStringLiteral("ttyUSB0"));
    MainWindow window;
    QVERIFY(openedNothing(window));
    QCOMPARE(namedChild<QComboBox>(&window, "serialCombo")->count(), 0);
    QCOMPARE(userSettings().value(QStringLiteral("serial/port")).toString(), QStringLiteral("ttyUSB0"));
}

void MainWindowStartupTest::extraPortsAreAppendedInOrder_data()
{
    QTest::addColumn<bool>("set");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QStringList>("extras");
    QTest::addColumn<QString>("remembered");
    QTest::addColumn<int>("chosenAmongExtras"); // -1: nothing chosen

    QTest::newRow("unset") << false << "" << QStringList() << "" << -1;
    QTest::newRow("empty") << true << "" << QStringList() << "" << -1;
    QTest::newRow("only separators") << true << ":::" << QStringList() << "" << -1;
    QTest::newRow("two paths in order") << true << "/tmp/b-node:/tmp/a-node"
                                        << QStringList({"/tmp/b-node", "/tmp/a-node"}) << "" << -1;
    QTest::newRow("empty entries skipped")
        << true << "::/tmp/x::/tmp/y:" << QStringList({"/tmp/x", "/tmp/y"}) << "" << -1;
    QTest::newRow("non-existent path listed")
        << true << "/nonexistent/dir/ttyNODE" << QStringList({"/nonexistent/dir/ttyNODE"}) << "" << -1;
    QTest::newRow("remembered extra is chosen")
        << true << "/tmp/one:/tmp/two" << QStringList({"/tmp/one", "/tmp/two"}) << "/tmp/two" << 1;
    QTest::newRow("later duplicate wins") << true << "/tmp/dup:/tmp/other:/tmp/dup"
                                          << QStringList({"/tmp/dup", "/tmp/other", "/tmp/dup"}) << "/tmp/dup" << 2;
}

void MainWindowStartupTest::extraPortsAreAppendedInOrder()
{
    QFETCH(bool, set);
    QFETCH(QString, value);
    QFETCH(QStringList, extras);
    QFETCH(QString, remembered);
    QFETCH(int, chosenAmongExtras);

    if (set)
        qputenv(kExtraPorts, value.toLocal8Bit());
    else
        qunsetenv(kExtraPorts);
    userSettings().setValue(QStringLiteral("serial/port"), remembered);
    const QStringList system = listedPorts();

    MainWindow window;
    QCOMPARE(comboItems(window), system + extras);
    auto *combo = namedChild<QComboBox>(&window, "serialCombo");
    for (int i = 0; i < combo->count(); ++i)
        QCOMPARE(combo->itemData(i, Qt::UserRole).toString(), combo->itemText(i));
    const int expectedIndex = chosenAmongExtras >= 0 ? system.size() + chosenAmongExtras : -1;
    QCOMPARE(combo->currentIndex(), expectedIndex);
    // Filling the list writes nothing.
    QCOMPARE(userSettings().value(QStringLiteral("serial/port")).toString(), remembered);
}

void MainWindowStartupTest::pickingAPortRemembersItAndOpensIt()
{
    NodeSimulator *first = startSimulator(QStringLiteral("first"));
    NodeSimulator *second = startSimulator(QStringLiteral("second"));
    QVERIFY(first && second);
    qputenv(kExtraPorts, (first->linkPath() + QLatin1Char(':') + second->linkPath()).toLocal8Bit());
    userSettings().setValue(QStringLiteral("serial/port"), first->linkPath());

    MainWindow window;
    window.show();
    auto *link = window.findChild<NodeInterface *>();
    QSignalSpy opened(link, &NodeInterface::serialPortOpened);
    auto *combo = namedChild<QComboBox>(&window, "serialCombo");
    QCOMPARE(combo->currentText(), first->linkPath());
    combo->setCurrentIndex(combo->findText(second->linkPath()));
    QCOMPARE(userSettings().value(QStringLiteral("serial/port")).toString(), second->linkPath());

    // The picked port is opened (last), and a node booting on it makes the window busy.
    QTRY_VERIFY_WITH_TIMEOUT(!opened.isEmpty() && opened.last().at(0).toString() == second->linkPath(), kLinkWaitMs);
    second->boot();
    QTRY_VERIFY_WITH_TIMEOUT(namedChild<QProgressBar>(&window, "progressBar")->isVisible(), kLinkWaitMs);
}

void MainWindowStartupTest::refreshListsPortsAgainAndResetsTheNode()
{
    NodeSimulator *simulator = simulatorOnRememberedPort();
    QVERIFY(simulator);

    MainWindow window;
    QCOMPARE(comboItems(window), listedPorts() << simulator->linkPath());

    // A port that appeared since the start is listed after a refresh; the chosen port stays.
    const QString added = portDir->filePath(QStringLiteral("later"));
    qputenv(kExtraPorts, (added + QLatin1Char(':') + simulator->linkPath()).toLocal8Bit());
    namedChild<QPushButton>(&window, "portRefreshButton")->click();
    QCOMPARE(comboItems(window), listedPorts() << added << simulator->linkPath());
    QCOMPARE(namedChild<QComboBox>(&window, "serialCombo")->currentText(), simulator->linkPath());
    QCOMPARE(userSettings().value(QStringLiteral("serial/port")).toString(), simulator->linkPath());

    // The refresh ends by resetting the node on the chosen port.
    QVERIFY(simulator->waitForLine(QStringLiteral("reset"), kLinkWaitMs));
}

void MainWindowStartupTest::hiddenConfigureActionStillReadsTheNodeVersion()
{
    NodeSimulator *simulator = simulatorOnRememberedPort();
    QVERIFY(simulator);

    MainWindow window;
    QVERIFY(linkHoldsPort(window, simulator->linkPath(), kLinkWaitMs));
    DialogDriver driver;
    driver.cancelInput();
    namedChild<QAction>(&window, "actionConfigure_Node")->trigger();
    QVERIFY(simulator->waitForLine(QStringLiteral("ver"), kLinkWaitMs));
    // The version read reports a LoRa OTAA node, so the device id is asked for.
    QTRY_COMPARE_WITH_TIMEOUT(driver.pendingSteps(), 0, kLinkWaitMs);
    const auto inputs = driver.recordsOf(QStringLiteral("input"));
    QCOMPARE(inputs.size(), 1);
    QCOMPARE(inputs[0].title, QStringLiteral("Set Device ID"));
    QCOMPARE(driver.unexpectedCount(), 0);
}

void MainWindowStartupTest::onlyTheTwoSettingsKeysAreWritten()
{
    qputenv(kExtraPorts, "/nonexistent/ttyA:/nonexistent/ttyB");
    userSettings().clear();
    {
        MainWindow window;
        DialogDriver driver;
        driver.enterText(QStringLiteral("127.0.0.1:8080"));
        QVERIFY(QMetaObject::invokeMethod(&window, "editServer"));
        IOT_WAIT_UNTIL_SETTLED(window, driver);
        namedChild<QComboBox>(&window, "serialCombo")->setCurrentText(QStringLiteral("/nonexistent/ttyB"));
    }
    QSettings settings = userSettings();
    QStringList keys = settings.allKeys();
    keys.sort();
    QCOMPARE(keys, QStringList({"JSONregister/server", "serial/port"}));
    QCOMPARE(settings.value(QStringLiteral("JSONregister/server")).toString(), QStringLiteral("http://127.0.0.1:8080"));
    QCOMPARE(settings.value(QStringLiteral("serial/port")).toString(), QStringLiteral("/nonexistent/ttyB"));
}

void MainWindowStartupTest::garbledSettingsFileStartsLikeAFirstStart()
{
    const QString path = userSettings().fileName();
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        static const char garbage[] = "\x00\xff[[[serial\n=port=\x01\x02\n[JSONregister\nserver";
        file.write(garbage, sizeof(garbage) - 1);
    }
    MainWindow window;
    QCOMPARE(comboItems(window), listedPorts() << QString::fromLatin1(kNoPort));
    QCOMPARE(namedChild<QComboBox>(&window, "serialCombo")->currentIndex(), -1);
    // The file that could not be read is reported; no server address could be read, so a connecting node asks
    // for one.
    DialogDriver driver;
    driver.clickOk();
    driver.clickOk();
    QVERIFY(QMetaObject::invokeMethod(&window, "connectNode", Q_ARG(Node, sampleNode(Node::LoRaOTAA))));
    IOT_WAIT_UNTIL_SETTLED(window, driver);
    QCOMPARE(driver.messageTexts(),
        QStringList(
            {QStringLiteral("The settings file %1 cannot be read; the tool starts as on a first start.").arg(path),
                "Please configure the ORVA server"}));
    QCOMPARE(driver.unexpectedCount(), 0);
    QVERIFY(!namedChild<QLabel>(&window, "storageProblemLabel")->isHidden());
    QFile::remove(path);
}

void MainWindowStartupTest::unreadableSettingsFileIsReportedAndTheToolWorks()
{
    NodeSimulator *simulator = startSimulator(QStringLiteral("node"));
    QVERIFY(simulator);
    qputenv(kExtraPorts, simulator->linkPath().toLocal8Bit());
    const QString path = userSettings().fileName();
    QVERIFY(QFile::remove(path));
    QVERIFY(QDir().mkpath(path)); // a directory where the settings file belongs
    MainWindow window;
    window.show();
    DialogDriver driver;
    driver.custom(QStringLiteral("message"), [](QWidget *box) { static_cast<QMessageBox *>(box)->accept(); });
    IOT_WAIT_UNTIL_SETTLED(window, driver);
    QCOMPARE(driver.recordsOf(QStringLiteral("message")).size(), 1);
    QVERIFY2(driver.messageTexts().first().contains(path), qPrintable(driver.messageTexts().first()));
    auto *problem = namedChild<QLabel>(&window, "storageProblemLabel");
    QVERIFY(problem->isVisible());
    QVERIFY2(problem->text().contains(path), qPrintable(problem->text()));

    // The tool goes on: the port picked opens (the choice cannot be kept, which is said once), and a node
    // booting on it is read.
    driver.clear();
    driver.clickOk();
    auto *combo = namedChild<QComboBox>(&window, "serialCombo");
    QSignalSpy opened(window.session(), &CommissioningSession::portOpened);
    combo->setCurrentIndex(combo->findText(simulator->linkPath()));
    QTRY_VERIFY_WITH_TIMEOUT(!opened.isEmpty(), kLinkWaitMs);
    IOT_WAIT_UNTIL_SETTLED(window, driver);
    QCOMPARE(driver.messageTexts(),
        QStringList({QStringLiteral("The settings file %1 cannot be written: the choice holds until the tool is "
                                    "closed.")
                         .arg(path)}));
    simulator->boot();
    QTRY_VERIFY_WITH_TIMEOUT(namedChild<QProgressBar>(&window, "progressBar")->isVisible(), kLinkWaitMs);
    QVERIFY(problem->isVisible());
    QVERIFY(QDir(path).removeRecursively());
}

void MainWindowStartupTest::sharedDatabaseOnlyWhenConfiguredAndItsOutageIsShown()
{
    const QString journalPath = CommissioningJournal().filePath();
    const QDir beside = QFileInfo(journalPath).absoluteDir();
    QVERIFY(beside.mkpath(QStringLiteral(".")));
    QFile journal(journalPath);
    QVERIFY(journal.open(QIODevice::WriteOnly | QIODevice::Truncate));
    for (int i = 1; i <= 3; ++i)
        journal.write(
            QStringLiteral(R"({"event":"nodeRead","devEui":"70B3D57ED000000%1","time":"2026-12-09T10:00:0%1.000Z"})"
                           "\n")
                .arg(i)
                .toLatin1());
    journal.close();
    QFile::remove(beside.filePath(QLatin1String(JournalForwarder::kBenchIdFileName)));
    {
        // Without an address the tool is as it was: nothing is forwarded, nothing kept beside the journal.
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *label = namedChild<QLabel>(&window, "sharedDatabaseLabel");
        QVERIFY(!label->isVisible());
        QVERIFY(!QFile::exists(beside.filePath(QLatin1String(JournalForwarder::kBenchIdFileName))));
    }
    // Nothing listens on port 1; the password comes from the environment, so none is asked.
    qputenv("PGPASSWORD", "unused");
    const auto restore = qScopeGuard([] { qunsetenv("PGPASSWORD"); });
    userSettings().setValue(
        QStringLiteral("sharedDatabase/url"), QStringLiteral("postgresql://bench@127.0.0.1:1/benches"));
    MainWindow window;
    window.show();
    auto *label = namedChild<QLabel>(&window, "sharedDatabaseLabel");
    QTRY_VERIFY_WITH_TIMEOUT(label->isVisible(), 20000);
    QCOMPARE(label->text(), QStringLiteral("Shared database unreachable — 3 entries waiting"));
    QVERIFY2(label->toolTip().contains(QStringLiteral("127.0.0.1:1/benches cannot be reached")),
        qPrintable(label->toolTip()));
    QVERIFY(QFile::exists(beside.filePath(QLatin1String(JournalForwarder::kBenchIdFileName))));
}

IOT_APP_TEST_MAIN(MainWindowStartupTest)
#include "tst_mainwindowstartup.moc"
