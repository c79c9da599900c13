// Several stations in one window: two nodes on two ports are read side by side under one login and each
// registered from its own tab; going back to one station keeps the first station as it was.
#include "apptestsupport.h"
#include "e2estation.h"
#include "mainwindow.h"
#include "stationview.h"
#include "testserverprocess.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QInputDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>
#include <QSettings>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTemporaryDir>

namespace {

using State = CommissioningSession::State;

QStringList registeredEuids(TestServerProcess &server)
{
    QStringList euids;
    for (const QJsonValue &record : QJsonDocument::fromJson(server.devices()).array())
        euids << record.toObject().value(QLatin1String("document")).toObject().value(QLatin1String("euid")).toString();
    euids.sort();
    return euids;
}

bool waitForStationState(StationView *station, State state)
{
    return QTest::qWaitFor([=] { return station->session()->state() == state; }, E2eStation::kReadWaitMs);
}

} // namespace

class E2eStationsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void twoStationsCommissionTwoNodesAtOnce();
    void stationsAreChosenInTheSettingsMenuAndRemembered();
    void portHeldByAnotherStationIsNamedAndNotTakenTwice();

private:
    TestServerProcess server;
};

void E2eStationsTest::initTestCase()
{
    QVERIFY2(server.start(), qPrintable(server.errorString()));
}

void E2eStationsTest::twoStationsCommissionTwoNodesAtOnce()
{
    E2eStation bench;
    SimNodeProfile first = SimNodeProfile::forType(Node::LoRaOTAA);
    first.devEui = QStringLiteral("70B3D57ED0000D01");
    SimNodeProfile second = SimNodeProfile::forType(Node::Pellimar);
    second.devEui = QStringLiteral("70B3D57ED0000D02");
    QVERIFY2(!bench.addNode(first).isEmpty(), qPrintable(bench.error()));
    QVERIFY2(!bench.addNode(second).isEmpty(), qPrintable(bench.error()));
    bench.openWindow(
        server.baseUrl(), {{QStringLiteral("stations/count"), 2}, {QStringLiteral("serial/port2"), bench.nodePath(1)}});
    MainWindow *window = bench.window();
    QCOMPARE(window->stationCount(), 2);
    auto *tabs = qobject_cast<QTabWidget *>(window->centralWidget());
    QVERIFY(tabs);
    QCOMPARE(tabs->count(), 2);
    StationView *one = window->station(0);
    StationView *two = window->station(1);
    QVERIFY(linkHoldsPort(*one, bench.nodePath(0), E2eStation::kReadWaitMs));
    QVERIFY(linkHoldsPort(*two, bench.nodePath(1), E2eStation::kReadWaitMs));
    // Each tab is titled with its port and carries the dot of its state.
    QCOMPARE(tabs->tabText(0), QStringLiteral("ttyNODE0"));
    QCOMPARE(tabs->tabText(1), QStringLiteral("ttyNODE1"));
    QCOMPARE(tabs->tabToolTip(1), bench.nodePath(1));
    QVERIFY(!tabs->tabIcon(0).isNull());

    // What the two sessions go through, in the order it happens.
    QStringList steps;
    for (StationView *station : {one, two}) {
        const QString name = station == one ? QStringLiteral("one") : QStringLiteral("two");
        connect(station->session(), &CommissioningSession::stateChanged, this, [&steps, name](State state) {
            if (state == State::Reading || state == State::NodeShown)
                steps << name + (state == State::Reading ? QStringLiteral(" reading") : QStringLiteral(" shown"));
        });
    }
    const int loginsBefore = server.requestCount(QStringLiteral("login"));
    bench.dialogs().login(QLatin1String(TestServerProcess::kUser), QLatin1String(TestServerProcess::kPassword));
    bench.node(0).boot();
    bench.node(1).boot();
    QVERIFY(waitForStationState(one, State::NodeShown));
    QVERIFY(waitForStationState(two, State::NodeShown));
    // Side by side: both nodes were being read before either was shown.
    QCOMPARE(steps.size(), 4);
    QCOMPARE(QSet<QString>(steps.cbegin(), steps.cbegin() + 2),
        QSet<QString>({QStringLiteral("one reading"), QStringLiteral("two reading")}));
    // One login dialog and one login served both stations.
    QCOMPARE(bench.dialogs().recordsOf(QStringLiteral("login")).size(), 1);
    QCOMPARE(server.requestCount(QStringLiteral("login")), loginsBefore + 1);
    QCOMPARE(one->session()->nodeOnShow()->identity(), first.devEui);
    QCOMPARE(two->session()->nodeOnShow()->identity(), second.devEui);

    // Each tab registers its own node.
    bench.dialogs().clickOk();
    bench.dialogs().clickOk();
    namedChild<QPushButton>(two, "registerButton")->click();
    namedChild<QPushButton>(one, "registerButton")->click();
    QTRY_COMPARE_WITH_TIMEOUT(bench.dialogs().pendingSteps(), 0, E2eStation::kReadWaitMs);
    QCOMPARE(bench.dialogs().messageTexts(),
        QStringList({QStringLiteral("Node added successfully"), QStringLiteral("Node added successfully")}));
    QCOMPARE(registeredEuids(server), QStringList({first.devEui, second.devEui}));

    // Back to one station: the first keeps its port and its node, and is the whole window again.
    window->setStationCount(1);
    QCOMPARE(window->stationCount(), 1);
    QCOMPARE(window->centralWidget(), static_cast<QWidget *>(one));
    QCOMPARE(one->session()->state(), State::NodeShown);
    QVERIFY(namedChild<QPushButton>(window, "registerButton")->isVisible());
    QCOMPARE(bench.dialogs().unexpectedCount(), 0);
}

void E2eStationsTest::stationsAreChosenInTheSettingsMenuAndRemembered()
{
    E2eStation bench;
    QVERIFY2(!bench.addNode(SimNodeProfile::forType(Node::LoRaOTAA)).isEmpty(), qPrintable(bench.error()));
    QVERIFY2(!bench.addNode(SimNodeProfile::forType(Node::SigFox)).isEmpty(), qPrintable(bench.error()));
    bench.openWindow(server.baseUrl());
    MainWindow *window = bench.window();
    QCOMPARE(window->stationCount(), 1);
    auto *action = namedChild<QAction>(window, "actionStations");
    QVERIFY(action->isVisible());

    // More stations than there can be are held to the most there can be.
    bench.dialogs().custom(QStringLiteral("input"), [](QWidget *widget) {
        auto *dialog = qobject_cast<QInputDialog *>(widget);
        QVERIFY(dialog);
        QCOMPARE(dialog->intMaximum(), MainWindow::kMaxStations);
        dialog->setIntValue(9);
        dialog->accept();
    });
    action->trigger();
    QTRY_COMPARE(window->stationCount(), MainWindow::kMaxStations);
    QSettings settings(
        QString::fromLatin1(MainWindow::kOrganisationName), QString::fromLatin1(MainWindow::kApplicationName));
    QCOMPARE(settings.value(QStringLiteral("stations/count")).toInt(), MainWindow::kMaxStations);
    // The first station keeps the port it had; the new ones open none until the operator picks one, and a
    // port picked in a tab is remembered for that tab.
    QVERIFY(linkHoldsPort(*window->station(0), bench.nodePath(0), E2eStation::kReadWaitMs));
    auto *combo = namedChild<QComboBox>(window->station(2), "serialCombo");
    QCOMPARE(combo->currentIndex(), -1);
    const int index = combo->findData(bench.nodePath(1), Qt::UserRole);
    QVERIFY(index >= 0);
    combo->setCurrentIndex(index);
    QTRY_COMPARE(settings.value(QStringLiteral("serial/port3")).toString(), bench.nodePath(1));
    auto *tabs = qobject_cast<QTabWidget *>(window->centralWidget());
    QVERIFY(tabs);
    QTRY_COMPARE(tabs->tabText(2), QStringLiteral("ttyNODE1"));
    QCOMPARE(tabs->tabText(3), QStringLiteral("Station 4"));
    QCOMPARE(bench.dialogs().unexpectedCount(), 0);
}

void E2eStationsTest::portHeldByAnotherStationIsNamedAndNotTakenTwice()
{
    E2eStation bench;
    QVERIFY2(!bench.addNode(SimNodeProfile::forType(Node::LoRaOTAA)).isEmpty(), qPrintable(bench.error()));
    QVERIFY2(!bench.addNode(SimNodeProfile::forType(Node::SigFox)).isEmpty(), qPrintable(bench.error()));
    // Station 2 remembers the port station 1 has: it must not open it a second time.
    bench.openWindow(
        server.baseUrl(), {{QStringLiteral("stations/count"), 2}, {QStringLiteral("serial/port2"), bench.nodePath(0)}});
    MainWindow *window = bench.window();
    StationView *one = window->station(0);
    StationView *two = window->station(1);
    QVERIFY(linkHoldsPort(*one, bench.nodePath(0), E2eStation::kReadWaitMs));
    QVERIFY(two->portName().isEmpty());
    QCOMPARE(two->session()->state(), State::WaitingForNode);

    // In station 2's box, the port is listed with its holder and cannot be picked; the other port can.
    auto *combo = namedChild<QComboBox>(two, "serialCombo");
    auto *model = qobject_cast<QStandardItemModel *>(combo->model());
    QVERIFY(model);
    const int held = combo->findData(bench.nodePath(0), Qt::UserRole);
    const int free = combo->findData(bench.nodePath(1), Qt::UserRole);
    QVERIFY(held >= 0 && free >= 0);
    QVERIFY(!model->item(held)->isEnabled());
    QVERIFY(model->item(free)->isEnabled());
    QVERIFY2(combo->itemData(held, Qt::UserRole + 2).toString() == QStringLiteral("held by station 1"),
        qPrintable(combo->itemData(held, Qt::UserRole + 2).toString()));
    combo->setCurrentIndex(free);
    QVERIFY(linkHoldsPort(*two, bench.nodePath(1), E2eStation::kReadWaitMs));
    // Now station 1's box names station 2 as the holder of the port it took.
    auto *comboOne = namedChild<QComboBox>(one, "serialCombo");
    QTRY_COMPARE(comboOne->itemData(comboOne->findData(bench.nodePath(1), Qt::UserRole), Qt::UserRole + 2).toString(),
        QStringLiteral("held by station 2"));

    // Two ports of the same device name in different directories get tabs told apart by their directory.
    QTemporaryDir elsewhere;
    QVERIFY(elsewhere.isValid());
    const QString left = elsewhere.filePath(QStringLiteral("left/ttyUSB0"));
    const QString right = elsewhere.filePath(QStringLiteral("right/ttyUSB0"));
    // Another name for station 1's device, as a bench slot's link is.
    const QString alias = elsewhere.filePath(QStringLiteral("iot-slot1"));
    QVERIFY(QFile::link(QFileInfo(bench.nodePath(0)).symLinkTarget(), alias));
    qputenv(MainWindow::kExtraPortsVariable,
        (QStringList{bench.nodePath(0), bench.nodePath(1), left, right, alias}.join(QLatin1Char(':'))).toLocal8Bit());
    QSettings settings(
        QString::fromLatin1(MainWindow::kOrganisationName), QString::fromLatin1(MainWindow::kApplicationName));
    settings.setValue(QStringLiteral("serial/port3"), left);
    settings.setValue(QStringLiteral("serial/port4"), right);
    window->setStationCount(4);
    auto *tabs = qobject_cast<QTabWidget *>(window->centralWidget());
    QVERIFY(tabs);
    QTRY_COMPARE(tabs->tabText(2), QStringLiteral("left/ttyUSB0"));
    QCOMPARE(tabs->tabText(3), QStringLiteral("right/ttyUSB0"));
    QCOMPARE(tabs->tabText(0), QStringLiteral("ttyNODE0"));
    auto *comboThree = namedChild<QComboBox>(window->station(2), "serialCombo");
    const int aliasIndex = comboThree->findData(alias, Qt::UserRole);
    QVERIFY(aliasIndex >= 0);
    QCOMPARE(comboThree->itemData(aliasIndex, Qt::UserRole + 2).toString(), QStringLiteral("held by station 1"));
    QVERIFY(!qobject_cast<QStandardItemModel *>(comboThree->model())->item(aliasIndex)->isEnabled());
    QCOMPARE(bench.dialogs().unexpectedCount(), 0);
}

QTEST_MAIN(E2eStationsTest)
#include "tst_e2estations.moc"
