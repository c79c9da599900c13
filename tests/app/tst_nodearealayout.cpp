#include "apptestsupport.h"
#include "layoutgeometry.h"
#include "nodeform.h"
#include "stationview.h"
#include "testfiles.h"
#include "translationloader.h"
#include "windowtest.h"
#include "windowwaits.h"
#include "writeverification.h"

#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTranslator>

#include <functional>

class NodeAreaLayoutTest;

namespace {

using State = CommissioningSession::State;

// A profile for LoRa OTAA nodes: one whose settings differ from the sample node's, one that matches it, and
// one that asks for newer firmware than the sample node's.
enum class Profile { None, Differs, Matches, NeedsNewerFirmware };

QByteArray profileJson(Profile profile)
{
    QByteArray entry;
    switch (profile) {
    case Profile::None:
        return QByteArray();
    case Profile::Differs:
        entry = R"({ "temperature": [-20, 60], "humidity": [5, 95], "pressure": [3.5, 11.5],
                     "accelerometer": 2.25, "reportRate": 30 })";
        break;
    case Profile::Matches:
        entry = R"({ "temperature": [-10, 50], "humidity": [10, 90], "reportRate": 15 })";
        break;
    case Profile::NeedsNewerFirmware:
        entry = R"({ "temperature": [-10, 50], "minNodeVersion": "v9.0.0" })";
        break;
    }
    return R"({ "format": 1, "name": "Harbour site test, batch 2026-12", "types": { "LoRa OTAA": )" + entry
        + R"(, "Pellimar": )" + entry + "} }";
}

// How a row brings the window into its state, once the window is shown.
struct Walk
{
    Profile profile = Profile::None;
    bool opensMissingPort = false;
    std::function<bool(NodeAreaLayoutTest &, MainWindow &, DialogDriver &)> drive;
    State expectedState;
    bool formShown;
    bool noteShown;
};

} // namespace

Q_DECLARE_METATYPE(Walk)

namespace {

// Puts the texts into German for as long as it lives.
class GermanTexts
{
public:
    bool install()
    {
        const QLocale locale(QLocale::German, QLocale::Germany);
        QLocale::setDefault(locale);
        return TranslationLoader::install(locale);
    }
    ~GermanTexts()
    {
        for (QTranslator *translator : QCoreApplication::instance()->findChildren<QTranslator *>()) {
            QCoreApplication::removeTranslator(translator);
            delete translator;
        }
        QLocale::setDefault(QLocale::c());
    }
};

} // namespace

// The station's node area lays itself out: at the window's first size, in every state the node area can be in,
// with one station or two in tabs, in English and in German, every widget the operator is shown (the form's
// fields, its notes, Apply, the label band, the top row, the status bar) lies wholly inside the window and
// overlaps none of its neighbours. The states are reached through the window's own inputs from the link and
// the session, without a node, so no row waits for one.
class NodeAreaLayoutTest : public WindowTest
{
    Q_OBJECT

public:
    bool announce(MainWindow &window, DialogDriver &driver, int firmwareType);
    bool scanLabel(MainWindow &window, DialogDriver &driver, const QString &label, int firmwareType = Node::LoRaOTAA);
    bool noteWrite(MainWindow &window, DialogDriver &driver, bool asWritten);

private slots:
    void nothingIsCutOffOrOverlaps_data();
    void nothingIsCutOffOrOverlaps();
    void largerWindowKeepsTheFormAtItsSizeTopCentre();
    void smallerWindowScrollsTheNodeArea();

private:
    void driveWindow(Walk walk, int stations, std::unique_ptr<MainWindow> &window, DialogDriver &driver);
    QTemporaryDir profileDir;
};

bool NodeAreaLayoutTest::announce(MainWindow &window, DialogDriver &driver, int firmwareType)
{
    if (!window.session()->isLoggedIn())
        driver.login(QLatin1String(TestServerProcess::kUser), QLatin1String(TestServerProcess::kPassword));
    const bool invoked = QMetaObject::invokeMethod(&window, "connectNode", Q_ARG(Node, sampleNode(firmwareType)));
    return invoked && windowSettles(window, driver) && driver.unexpectedCount() == 0;
}

bool NodeAreaLayoutTest::scanLabel(MainWindow &window, DialogDriver &driver, const QString &label, int firmwareType)
{
    if (!announce(window, driver, firmwareType))
        return false;
    auto *station = qobject_cast<StationView *>(window.session()->parent());
    auto *edit = station ? namedChild<QLineEdit>(station, "labelEdit") : nullptr;
    if (!edit)
        return false;
    edit->setText(label);
    QTest::keyClick(edit, Qt::Key_Return);
    return window.session()->labelResult().outcome != CommissioningSession::LabelResult::Outcome::None;
}

// The verdict on a write read back, as the session gives it to the view once the node is read again: the view
// is handed the note directly, as a node written and reset would make the session hand it over.
bool NodeAreaLayoutTest::noteWrite(MainWindow &window, DialogDriver &driver, bool asWritten)
{
    if (!announce(window, driver, Node::LoRaOTAA))
        return false;
    CommissioningSession::NodeNote note;
    if (asWritten) {
        note = {CommissioningSession::NodeNote::Tone::Good,
            QCoreApplication::translate("CommissioningSession", "Verified")};
    } else {
        const QList<WriteVerification::Mismatch> mismatches
            = {{Node::FlagTemperature, QStringLiteral("temperature"), QStringLiteral("-20 to 60"),
                   QStringLiteral("-10 to 50")},
                {Node::FlagReportRate, QStringLiteral("reportRate"), QStringLiteral("30"), QStringLiteral("15")}};
        note = {CommissioningSession::NodeNote::Tone::Bad,
            QCoreApplication::translate("CommissioningSession", "Not as written: ")
                + WriteVerification::describeForOperator(mismatches)};
    }
    emit window.session()->noteChanged(note);
    return true;
}

void NodeAreaLayoutTest::nothingIsCutOffOrOverlaps_data()
{
    QTest::addColumn<Walk>("walk");
    QTest::addColumn<int>("stations");
    QTest::addColumn<bool>("german");

    using T = NodeAreaLayoutTest;
    const auto form = [](int type) {
        return
            [type](T &test, MainWindow &window, DialogDriver &driver) { return test.announce(window, driver, type); };
    };
    const auto loraForm = form(Node::LoRaOTAA);
    const QList<QPair<const char *, Walk>> walks = {
        {"idle",
            {Profile::None, false, [](T &, MainWindow &, DialogDriver &) { return true; }, State::WaitingForNode, false,
                false}},
        {"busy",
            {Profile::None, false,
                [](T &, MainWindow &window, DialogDriver &) {
                    return QMetaObject::invokeMethod(&window, "setBusy", Q_ARG(bool, true));
                },
                State::Reading, false, false}},
        {"Pellimar", {Profile::None, false, form(Node::Pellimar), State::NodeShown, true, false}},
        {"LoRa OTAA", {Profile::None, false, loraForm, State::NodeShown, true, false}},
        {"SigFox", {Profile::None, false, form(Node::SigFox), State::NodeShown, true, false}},
        {"Pellimar 5D", {Profile::None, false, form(Node::Pellimar5D), State::NodeShown, true, false}},
        {"LoRa OTAA 5D", {Profile::None, false, form(Node::LoRaOTAA5D), State::NodeShown, true, false}},
        {"SigFox 5D", {Profile::None, false, form(Node::SigFox5D), State::NodeShown, true, false}},
        {"profile differences", {Profile::Differs, false, loraForm, State::NodeShown, true, true}},
        {"matches profile", {Profile::Matches, false, loraForm, State::NodeShown, true, true}},
        {"verified",
            {Profile::Differs, false,
                [](T &test, MainWindow &window, DialogDriver &driver) { return test.noteWrite(window, driver, true); },
                State::NodeShown, true, true}},
        {"not as written",
            {Profile::Differs, false,
                [](T &test, MainWindow &window, DialogDriver &driver) { return test.noteWrite(window, driver, false); },
                State::NodeShown, true, true}},
        {"label matches",
            {Profile::Differs, false,
                [](T &test, MainWindow &window, DialogDriver &driver) {
                    return test.scanLabel(window, driver, QStringLiteral("70B3D57ED0000A01"));
                },
                State::NodeShown, true, true}},
        {"label mismatch",
            {Profile::Differs, false,
                [](T &test, MainWindow &window, DialogDriver &driver) {
                    return test.scanLabel(window, driver, QStringLiteral("70B3D57ED0000A02"));
                },
                State::NodeShown, true, true}},
        {"label unreadable",
            {Profile::Matches, false,
                [](T &test, MainWindow &window, DialogDriver &driver) {
                    return test.scanLabel(window, driver, QStringLiteral("not a label at all"));
                },
                State::NodeShown, true, true}},
        // The tallest form with every line under it at once.
        {"Pellimar, profile differences, label mismatch",
            {Profile::Differs, false,
                [](T &test, MainWindow &window, DialogDriver &driver) {
                    return test.scanLabel(window, driver, QStringLiteral("70B3D57ED0000A02"), Node::Pellimar);
                },
                State::NodeShown, true, true}},
        // The note names the versions compared.
        {"firmware too old", {Profile::NeedsNewerFirmware, false, loraForm, State::FirmwareTooOld, false, true}},
        {"key mismatch",
            {Profile::None, false,
                [](T &, MainWindow &window, DialogDriver &) {
                    window.session()->nodeKeyMismatch();
                    return true;
                },
                State::KeyMismatch, false, false}},
        {"port unavailable",
            {Profile::None, true,
                [](T &, MainWindow &window, DialogDriver &) {
                    return QTest::qWaitFor(
                        [&] { return window.session()->state() == State::PortUnavailable; }, kLinkWaitMs);
                },
                State::PortUnavailable, false, false}},
    };
    for (bool german : {false, true}) {
        for (int stations : {1, 2}) {
            for (const auto &walk : walks) {
                QTest::addRow("%s, %d station(s): %s", german ? "de" : "en", stations, walk.first)
                    << walk.second << stations << german;
            }
        }
    }
}

void NodeAreaLayoutTest::driveWindow(Walk walk, int stations, std::unique_ptr<MainWindow> &window, DialogDriver &driver)
{
    QVERIFY(profileDir.isValid());
    QSettings settings = userSettings();
    settings.setValue(QStringLiteral("stations/count"), stations);
    // The status bar carries the lot beside the profile.
    settings.setValue(QStringLiteral("journal/lot"), QStringLiteral("L2026-48 harbour north"));
    if (walk.profile != Profile::None) {
        const QString path = profileDir.filePath(QStringLiteral("profile.json"));
        QVERIFY(writeTestFile(path, profileJson(walk.profile)));
        settings.setValue(QStringLiteral("profile/path"), path);
    }
    if (walk.opensMissingPort) {
        const QString missing = portDir->filePath(QStringLiteral("ttyGONE"));
        qputenv("IOT_COMMISSION_EXTRA_PORTS", missing.toLocal8Bit());
        settings.setValue(QStringLiteral("serial/port"), missing);
    }
    settings.sync();

    window = newWindow();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QCOMPARE(window->size(), QSize(520, 700));
    QVERIFY(walk.drive(*this, *window, driver));
    IOT_WAIT_UNTIL_SETTLED(*window, driver);
    QCOMPARE(window->session()->state(), walk.expectedState);
}

void NodeAreaLayoutTest::nothingIsCutOffOrOverlaps()
{
    QFETCH(Walk, walk);
    QFETCH(int, stations);
    QFETCH(bool, german);

    // Declared first, so that the German texts outlive the window.
    std::unique_ptr<GermanTexts> texts;
    if (german) {
        texts = std::make_unique<GermanTexts>();
        QVERIFY(texts->install());
    }
    DialogDriver driver;
    std::unique_ptr<MainWindow> window;
    driveWindow(walk, stations, window, driver);
    if (QTest::currentTestFailed())
        return;
    auto *station = qobject_cast<StationView *>(window->session()->parent());
    QVERIFY(station);
    QVERIFY(station->isVisible());
    QApplication::processEvents();

    // The row reached what it is about: the form and its Apply, and the note, where the state has them.
    auto *form = station->findChild<NodeForm *>();
    QCOMPARE(form && form->isVisible(), walk.formShown);
    if (walk.formShown) {
        QVERIFY(namedChild<QPushButton>(form, "applyButton")->isVisible());
        for (QLineEdit *field : form->findChildren<QLineEdit *>())
            QVERIFY2(field->isVisible(), qPrintable(widgetPath(field)));
    }
    auto *note = namedChild<QLabel>(station, "noteLabel");
    auto *labelResult = namedChild<QLabel>(station, "labelResultLabel");
    QCOMPARE(note->isVisible() || labelResult->isVisible(), walk.noteShown);

    const QStringList faults = layoutFaults(window.get());
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
}

void NodeAreaLayoutTest::largerWindowKeepsTheFormAtItsSizeTopCentre()
{
    QSettings settings = userSettings();
    auto window = newWindow();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    DialogDriver driver;
    QVERIFY(announce(*window, driver, Node::LoRaOTAA));
    auto *form = window->findChild<NodeForm *>();
    QVERIFY(form);
    auto *area = namedChild<QWidget>(window.get(), "verticalLayoutWidget");
    QApplication::processEvents();
    const QRect atFirstSize = form->geometry();
    QCOMPARE(form->size(), form->sizeHint());

    window->resize(1000, 1000);
    QTRY_COMPARE(area->width(), window->width());
    QCOMPARE(form->size(), atFirstSize.size());
    QCOMPARE(form->y(), atFirstSize.y());
    QVERIFY2(qAbs(form->geometry().center().x() - area->width() / 2) <= 1, qPrintable(widgetPath(form)));
    // The state message stands in the middle of a wide window too.
    QVERIFY(QMetaObject::invokeMethod(window.get(), "disconnectNode"));
    auto *stateLabel = namedChild<QLabel>(window.get(), "stateLabel");
    QTRY_VERIFY(stateLabel->isVisible());
    QVERIFY(qAbs(stateLabel->geometry().center().x() - area->width() / 2) <= 1);
    const QStringList faults = layoutFaults(window.get());
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
}

void NodeAreaLayoutTest::smallerWindowScrollsTheNodeArea()
{
    auto window = newWindow();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    DialogDriver driver;
    QVERIFY(announce(*window, driver, Node::Pellimar));
    // The designed first size is also the smallest the window allows; a smaller area comes from the screen or
    // a window manager that does not honour it, so the window's floor is lowered here.
    window->setMinimumSize(200, 200);
    window->resize(520, 450);
    auto *scroll = namedChild<QScrollArea>(window.get(), "nodeScroll");
    QTRY_VERIFY(scroll->verticalScrollBar()->isVisible());
    auto *apply = namedChild<QPushButton>(window.get(), "applyButton");
    scroll->ensureWidgetVisible(apply);
    QApplication::processEvents();
    const QRect applyInViewport(apply->mapTo(scroll->viewport(), QPoint(0, 0)), apply->size());
    QVERIFY(scroll->viewport()->rect().contains(applyInViewport));
}

IOT_APP_TEST_MAIN(NodeAreaLayoutTest)
#include "tst_nodearealayout.moc"
