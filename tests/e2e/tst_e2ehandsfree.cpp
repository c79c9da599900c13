// Stations run by their profile: the window takes a node from its boot to PASS without a click, stops with FAIL
// and the reason at the first step that fails (nothing registered after it), counts the shift's units in the
// status bar, prints the label of a unit that passed, and runs four stations side by side with only label scans
// as the operator's input.
#include "apptestsupport.h"
#include "datatable.h"
#include "e2estation.h"
#include "labelcode.h"
#include "mainwindow.h"
#include "postgresserver.h"
#include "prerequisite.h"
#include "shareddatabase.h"
#include "stationview.h"
#include "testfiles.h"
#include "testserverprocess.h"
#include "verdictsound.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>

namespace {

using State = CommissioningSession::State;
using Outcome = CommissioningSession::AutoRun::Outcome;

const char kMissingPrinter[] = "no-such-printer-here";
// A profile whose differences from the simulator's LoRa OTAA node (-10..50 °C, 15 min) are two settings.
QByteArray handsFreeProfile(bool requireLabel)
{
    return QByteArray(R"({"format": 1, "name": "Hands-free", "requireLabel": )") + (requireLabel ? "true" : "false")
        + R"(, "auto": {"apply": true, "register": true, "activate": true, "printLabel": "onPass"},
            "types": {"LoRa OTAA": {"temperature": [-5, 45], "reportRate": 20, "labelProfileId": "01230456"}}})";
}

SimNodeProfile loraNode(int number)
{
    SimNodeProfile node = SimNodeProfile::forType(Node::LoRaOTAA);
    node.devEui = QStringLiteral("70B3D57ED00A0B0%1").arg(number);
    return node;
}

// The text a scanner reads from the node's label.
QString labelOf(const SimNodeProfile &profile)
{
    Node node;
    node.firmwareType = Node::LoRaOTAA;
    node.euid = profile.devEui;
    node.appId = profile.appEui;
    return LabelCode::labelTextFor(node, QStringLiteral("01230456"));
}

QColor dotColour(const QIcon &icon)
{
    return icon.pixmap(12, 12).toImage().pixelColor(6, 6);
}

QString verdictOf(StationView *station)
{
    auto *verdict = namedChild<QLabel>(station, "autoVerdictLabel");
    return verdict->isVisibleTo(station) ? verdict->text() : QString();
}

QStringList journalLines()
{
    QFile file(E2eStation::journalPath());
    QStringList lines;
    if (file.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : file.readAll().split('\n')) {
            if (!line.trimmed().isEmpty())
                lines << QString::fromUtf8(line);
        }
    }
    return lines;
}

} // namespace

class E2eHandsFreeTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void nodeIsCommissionedToPassWithoutAClick();
    void failedStepStopsTheRunBeforeRegistering_data();
    void failedStepStopsTheRunBeforeRegistering();
    void fourStationsPassWithOnlyLabelScans();
    void nodeAnotherBenchRegisteredStopsTheRun();

private:
    TestServerProcess server;
    QTemporaryDir profileDir;
    QString plainProfile;
    QString labelledProfile;
};

void E2eHandsFreeTest::initTestCase()
{
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    QVERIFY(profileDir.isValid());
    plainProfile = profileDir.filePath(QStringLiteral("hands-free.json"));
    labelledProfile = profileDir.filePath(QStringLiteral("hands-free-labelled.json"));
    QVERIFY(writeTestFile(plainProfile, handsFreeProfile(false)));
    QVERIFY(writeTestFile(labelledProfile, handsFreeProfile(true)));
}

void E2eHandsFreeTest::nodeIsCommissionedToPassWithoutAClick()
{
    E2eStation bench;
    const SimNodeProfile profile = loraNode(1);
    QVERIFY2(!bench.addNode(profile).isEmpty(), qPrintable(bench.error()));
    // With the sound on: a computer without audio (as here) holds nothing up.
    bench.openWindow(server.baseUrl(),
        {{QStringLiteral("profile/path"), plainProfile}, {QStringLiteral("label/printer"), kMissingPrinter},
            {QStringLiteral("sound/verdict"), true}});
    MainWindow *window = bench.window();
    StationView *station = window->station(0);
    QVERIFY(namedChild<QAction>(window, "actionSound")->isChecked());
    auto *sound = window->findChild<VerdictSound *>();
    QVERIFY(sound);
    auto *shift = namedChild<QLabel>(window, "shiftCountLabel");
    QVERIFY(shift->isVisible());
    QCOMPARE(shift->text(), QStringLiteral("Shift: 0 passed, 0 failed"));
    QSignalSpy resets(window, SIGNAL(resetNode()));

    // The login of the shift is the only thing typed; the node is written, read back, registered and put to
    // sleep by itself.
    bench.dialogs().login(QLatin1String(TestServerProcess::kUser), QLatin1String(TestServerProcess::kPassword));
    bench.node().boot();
    QVERIFY(QTest::qWaitFor([&] { return station->showsAutoRun(); }, E2eStation::kReadWaitMs));
    QVERIFY(namedChild<QWidget>(station, "autoRunPanel")->isVisible());
    QTRY_COMPARE_WITH_TIMEOUT(bench.session()->autoRun().outcome, Outcome::Passed, E2eStation::kReadWaitMs);
    QCOMPARE(verdictOf(station), QStringLiteral("PASS"));
    QCOMPARE(bench.session()->state(), State::NodeSleeping);
    QVERIFY(bench.node().isSleeping());
    QCOMPARE(server.registrationsOf(profile.devEui), 1);
    // Written (two settings), verified after one reset, registered and asleep: every step ticked.
    const QStringList received = bench.node().receivedLines();
    QVERIFY2(received.contains(QStringLiteral("tht -5 45")) && received.contains(QStringLiteral("rr 1200000")),
        qPrintable(received.join(QLatin1Char(','))));
    QCOMPARE(received.count(QStringLiteral("reset")), 1);
    QCOMPARE(resets.count(), 1);
    const QString steps = namedChild<QLabel>(station, "autoStepsLabel")->text();
    QCOMPARE(steps.count(QChar(0x2714)), 5);
    QVERIFY2(
        steps.contains(QLatin1String("Written")) && !steps.contains(QLatin1String("Label scanned")), qPrintable(steps));
    // No form and no state text crowd the verdict; no box asked for a click.
    QVERIFY(!bench.form());
    QCOMPARE(shift->text(), QStringLiteral("Shift: 1 passed, 0 failed"));
    QCOMPARE(sound->playCount(), 1);
    QCOMPARE(bench.dialogs().unexpectedCount(), 0);
    QCOMPARE(bench.dialogs().messageTexts(), QStringList());

    // The label of the unit that passed went to the printer, which is missing: said and journalled, and the
    // unit stays passed.
    auto *problem = namedChild<QLabel>(window, "labelProblemLabel");
    QTRY_VERIFY2(problem->isVisible()
            && problem->text().startsWith(QStringLiteral("Label not printed for %1: ").arg(profile.devEui)),
        qPrintable(problem->text()));
    QTRY_VERIFY(journalLines().filter(QStringLiteral("labelPrinted")).size() == 1);
    const QJsonObject printed
        = QJsonDocument::fromJson(journalLines().filter(QStringLiteral("labelPrinted")).first().toUtf8()).object();
    QVERIFY2(!printed.value(QLatin1String("failure")).toString().isEmpty(),
        qPrintable(journalLines().filter(QStringLiteral("labelPrinted")).first()));
    QCOMPARE(bench.session()->autoRun().outcome, Outcome::Passed);
    QCOMPARE(verdictOf(station), QStringLiteral("PASS"));

    // The next node read clears the verdict and runs afresh; it already matches, so nothing is written.
    bench.node().boot();
    QTRY_COMPARE_WITH_TIMEOUT(verdictOf(station), QString(), E2eStation::kReadWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(shift->text(), QStringLiteral("Shift: 2 passed, 0 failed"), E2eStation::kReadWaitMs);
    QCOMPARE(verdictOf(station), QStringLiteral("PASS"));
    QVERIFY2(namedChild<QLabel>(station, "autoStepsLabel")->text().contains(QLatin1String("Nothing to write")),
        qPrintable(namedChild<QLabel>(station, "autoStepsLabel")->text()));
    QCOMPARE(resets.count(), 1);
}

void E2eHandsFreeTest::failedStepStopsTheRunBeforeRegistering_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("scansWrongLabel");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QString>("failedStep");
    QTest::newRow("refused write") << QStringLiteral("failed") << false << QStringLiteral("The node refused a setting")
                                   << QStringLiteral("Written");
    QTest::newRow("not as written") << QStringLiteral("ignored") << false << QStringLiteral("Not as written: ")
                                    << QStringLiteral("Verified");
    QTest::newRow("another node's label")
        << QString() << true << QStringLiteral("The label is not this node's: ") << QStringLiteral("Label scanned");
}

void E2eHandsFreeTest::failedStepStopsTheRunBeforeRegistering()
{
    QFETCH(QString, fault);
    QFETCH(bool, scansWrongLabel);
    QFETCH(QString, reason);
    QFETCH(QString, failedStep);
    E2eStation bench;
    const SimNodeProfile profile = loraNode(2);
    QVERIFY2(!bench.addNode(profile).isEmpty(), qPrintable(bench.error()));
    if (fault == QLatin1String("failed"))
        bench.node().setFault(QStringLiteral("set:tht"), SimFault::Failed);
    else if (fault == QLatin1String("ignored"))
        bench.node().setFault(QStringLiteral("set:tht"), SimFault::Ignored);
    bench.openWindow(server.baseUrl(),
        {{QStringLiteral("profile/path"), scansWrongLabel ? labelledProfile : plainProfile},
            {QStringLiteral("stations/count"), 2}, {QStringLiteral("label/printer"), kMissingPrinter}});
    MainWindow *window = bench.window();
    StationView *station = window->station(0);
    auto *tabs = qobject_cast<QTabWidget *>(window->centralWidget());
    QVERIFY(tabs);
    const int devicePosts = server.requestCount(QStringLiteral("device"));

    bench.dialogs().login(QLatin1String(TestServerProcess::kUser), QLatin1String(TestServerProcess::kPassword));
    bench.node().boot();
    QVERIFY(QTest::qWaitFor([&] { return station->showsAutoRun(); }, E2eStation::kReadWaitMs));
    // Under way: the tab's dot is the busy one.
    QCOMPARE(dotColour(tabs->tabIcon(0)), QColor(0xe0, 0xa0, 0x00));
    if (scansWrongLabel) {
        QVERIFY(QTest::qWaitFor([&] { return station->awaitsLabel(); }, E2eStation::kReadWaitMs));
        Node other;
        other.firmwareType = Node::LoRaOTAA;
        other.euid = QStringLiteral("70B3D57ED00A0BFF");
        other.appId = profile.appEui;
        auto *edit = namedChild<QLineEdit>(station, "labelEdit");
        edit->setText(LabelCode::labelTextFor(other, QStringLiteral("01230456")));
        QTest::keyClick(edit, Qt::Key_Return);
    }
    QTRY_COMPARE_WITH_TIMEOUT(bench.session()->autoRun().outcome, Outcome::Failed, E2eStation::kReadWaitMs);
    QVERIFY2(bench.session()->autoRun().reason.startsWith(reason), qPrintable(bench.session()->autoRun().reason));
    QCOMPARE(verdictOf(station), QStringLiteral("FAIL"));
    QCOMPARE(namedChild<QLabel>(station, "autoReasonLabel")->text(), bench.session()->autoRun().reason);
    QTRY_COMPARE(dotColour(tabs->tabIcon(0)), QColor(Qt::red));
    auto *shift = namedChild<QLabel>(window, "shiftCountLabel");
    QCOMPARE(shift->text(), QStringLiteral("Shift: 0 passed, 1 failed"));
    // The sound is off unless chosen.
    QVERIFY(!namedChild<QAction>(window, "actionSound")->isChecked());
    QCOMPARE(window->findChild<VerdictSound *>()->playCount(), 0);
    // The failed step is crossed out; nothing after it was done: not registered, not asleep, no label.
    const QString steps = namedChild<QLabel>(station, "autoStepsLabel")->text();
    QCOMPARE(steps.count(QChar(0x2718)), 1);
    QVERIFY2(steps.contains(QString(QChar(0x2718)) + QStringLiteral("&nbsp;&nbsp;") + failedStep), qPrintable(steps));
    QVERIFY(!bench.node().isSleeping());
    QVERIFY(!bench.node().receivedLines().contains(QStringLiteral("s")));
    QCOMPARE(server.requestCount(QStringLiteral("device")), devicePosts);
    QCOMPARE(server.registrationsOf(profile.devEui), 0);
    QVERIFY(journalLines().filter(QStringLiteral("labelPrinted")).isEmpty());
    // The node stays for the operator to go on by hand: its form is back under the verdict when it is shown.
    if (bench.session()->isNodeShown())
        QVERIFY(bench.form());
    QCOMPARE(bench.dialogs().unexpectedCount(), 0);
}

void E2eHandsFreeTest::fourStationsPassWithOnlyLabelScans()
{
    E2eStation bench;
    QList<SimNodeProfile> profiles;
    QVariantMap settings{{QStringLiteral("profile/path"), labelledProfile},
        {QStringLiteral("stations/count"), MainWindow::kMaxStations},
        {QStringLiteral("label/printer"), kMissingPrinter}};
    for (int number = 0; number < MainWindow::kMaxStations; ++number) {
        profiles << loraNode(3 + number);
        QVERIFY2(!bench.addNode(profiles.last()).isEmpty(), qPrintable(bench.error()));
        if (number > 0)
            settings.insert(QStringLiteral("serial/port%1").arg(number + 1), bench.nodePath(number));
    }
    bench.openWindow(server.baseUrl(), settings);
    MainWindow *window = bench.window();
    QApplication::setActiveWindow(window);
    QVERIFY(QTest::qWaitForWindowActive(window));
    QCOMPARE(window->stationCount(), MainWindow::kMaxStations);
    auto *tabs = qobject_cast<QTabWidget *>(window->centralWidget());
    QVERIFY(tabs);
    for (int index = 0; index < MainWindow::kMaxStations; ++index)
        QVERIFY(linkHoldsPort(*window->station(index), bench.nodePath(index), E2eStation::kReadWaitMs));

    bench.dialogs().login(QLatin1String(TestServerProcess::kUser), QLatin1String(TestServerProcess::kPassword));
    for (int index = 0; index < MainWindow::kMaxStations; ++index)
        bench.node(index).boot();

    // The operator scans whatever node the window puts forward: the scanner types into the focused field.
    auto allPassed = [&] {
        for (int index = 0; index < MainWindow::kMaxStations; ++index) {
            if (window->station(index)->session()->autoRun().outcome != Outcome::Passed)
                return false;
        }
        return true;
    };
    int scans = 0;
    QElapsedTimer waited;
    waited.start();
    while (!allPassed() && waited.elapsed() < 4 * E2eStation::kReadWaitMs) {
        auto *station = qobject_cast<StationView *>(tabs->currentWidget());
        QVERIFY(station);
        if (!station->awaitsLabel()) {
            QTest::qWait(20);
            continue;
        }
        // A window manager gives the window back its activation once the login dialog closed; the offscreen
        // platform has none.
        if (QApplication::activeWindow() != window)
            QApplication::setActiveWindow(window);
        auto *focused = qobject_cast<QLineEdit *>(QApplication::focusWidget());
        QVERIFY2(focused && focused == namedChild<QLineEdit>(station, "labelEdit"),
            focused ? qPrintable(focused->objectName()) : "nothing has the focus");
        const int index = tabs->currentIndex();
        QTest::keyClicks(focused, labelOf(profiles.at(index)));
        QTest::keyClick(focused, Qt::Key_Return);
        ++scans;
        QVERIFY(QTest::qWaitFor([&] { return !station->awaitsLabel(); }, E2eStation::kReadWaitMs));
    }
    QVERIFY(allPassed());
    QCOMPARE(scans, MainWindow::kMaxStations);
    for (int index = 0; index < MainWindow::kMaxStations; ++index) {
        QCOMPARE(server.registrationsOf(profiles.at(index).devEui), 1);
        QVERIFY(bench.node(index).isSleeping());
        QCOMPARE(verdictOf(window->station(index)), QStringLiteral("PASS"));
        QCOMPARE(dotColour(tabs->tabIcon(index)), QColor(Qt::darkGreen));
    }
    QCOMPARE(namedChild<QLabel>(window, "shiftCountLabel")->text(), QStringLiteral("Shift: 4 passed, 0 failed"));
    QCOMPARE(bench.dialogs().unexpectedCount(), 0);
    QCOMPARE(bench.dialogs().messageTexts(), QStringList());
}

void E2eHandsFreeTest::nodeAnotherBenchRegisteredStopsTheRun()
{
    if (PostgresServer::programDirectory().isEmpty() || !QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")))
        SKIP_OR_FAIL_UNDER_CI("PostgreSQL server or Qt's PostgreSQL driver not installed");
    const SimNodeProfile profile = loraNode(7);
    PostgresServer database;
    QVERIFY2(database.start(), qPrintable(database.errorString()));
    QVERIFY2(database.createDatabase(QStringLiteral("handsfree")), qPrintable(database.errorString()));
    {
        // Another bench registered the node a week ago.
        QString problem;
        QSqlDatabase connection = SharedDatabase::open(QStringLiteral("setup"),
            DatabaseAddress::parse(database.url(QStringLiteral("handsfree")), nullptr),
            QLatin1String(PostgresServer::kPassword), &problem);
        QVERIFY2(connection.isValid(), qPrintable(problem));
        QVERIFY2(SharedDatabase::ensureSchema(connection, &problem), qPrintable(problem));
        QSqlQuery query(connection);
        QVERIFY(query.exec(QStringLiteral("INSERT INTO benches (id, name) VALUES ('north', 'bench-north')")));
        QVERIFY(query.exec(QStringLiteral("INSERT INTO entries (bench_id, seq, time, event, identity, body) VALUES "
                                          "('north', 0, '2026-12-01T09:30:00Z', 'registration', '%1', "
                                          "'{\"status\": 201}')")
                               .arg(profile.devEui)));
    }
    SharedDatabase::close(QStringLiteral("setup"));
    qputenv("PGPASSWORD", PostgresServer::kPassword);
    const auto restore = qScopeGuard([] { qunsetenv("PGPASSWORD"); });

    E2eStation bench;
    QVERIFY2(!bench.addNode(profile).isEmpty(), qPrintable(bench.error()));
    bench.openWindow(server.baseUrl(),
        {{QStringLiteral("profile/path"), plainProfile}, {QStringLiteral("label/printer"), kMissingPrinter},
            {QStringLiteral("sharedDatabase/url"), database.url(QStringLiteral("handsfree"))}});
    StationView *station = bench.window()->station(0);
    bench.dialogs().login(QLatin1String(TestServerProcess::kUser), QLatin1String(TestServerProcess::kPassword));
    bench.node().boot();

    // Written and verified by the run, then stopped before the server: no one is there to say "register again".
    QTRY_COMPARE_WITH_TIMEOUT(bench.session()->autoRun().outcome, Outcome::Failed, E2eStation::kReadWaitMs);
    QVERIFY2(
        bench.session()->autoRun().reason.startsWith(QStringLiteral("Already registered at bench bench-north on ")),
        qPrintable(bench.session()->autoRun().reason));
    QVERIFY(bench.session()->autoRun().verified);
    QCOMPARE(verdictOf(station), QStringLiteral("FAIL"));
    QVERIFY2(namedChild<QLabel>(station, "autoStepsLabel")
                 ->text()
                 .contains(QString(QChar(0x2718)) + QStringLiteral("&nbsp;&nbsp;Registered")),
        qPrintable(namedChild<QLabel>(station, "autoStepsLabel")->text()));
    QCOMPARE(server.registrationsOf(profile.devEui), 0);
    QVERIFY(!bench.node().isSleeping());
    QCOMPARE(journalLines().filter(QStringLiteral("registeredElsewhere")).size(), 1);
    QCOMPARE(bench.dialogs().unexpectedCount(), 0);
}

QTEST_MAIN(E2eHandsFreeTest)
#include "tst_e2ehandsfree.moc"
