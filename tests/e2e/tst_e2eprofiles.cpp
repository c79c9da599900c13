// A commissioning profile and the node checks, as the operator meets them at the window: the profile's
// differences filled in and written in one Apply and verified after the node's read-back, and the nodes that
// are set aside (old firmware, another node key) without anything written or registered.
#include "apptestsupport.h"
#include "datatable.h"
#include "e2estation.h"
#include "mainwindow.h"
#include "nodeform.h"
#include "testfiles.h"
#include "testserverprocess.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>

namespace {

const char kProfileName[] = "E2E batch";
const char kProfile[] = R"({"format": 1, "name": "E2E batch", "types": {"LoRa OTAA":
    {"temperature": [-5, 45], "humidity": [10, 90], "reportRate": 20, "minNodeVersion": "v2.1.0"}}})";
// What the profile's differences from the simulator's LoRa OTAA node (-10..50 °C, 15 min) put on the line.
const QStringList kProfileWrites{QStringLiteral("tht -5 45"), QStringLiteral("rr 1200000")};
// Another node key than the tool's (the tool's is the published development key in this build).
const char kOtherKey[] = "000102030405060708090A0B0C0D0E0F";

} // namespace

class E2eProfilesTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void profileDifferencesAreWrittenInOneApplyAndVerified_data();
    void profileDifferencesAreWrittenInOneApplyAndVerified();
    void nodeSetAsideIsNeitherWrittenNorRegistered_data();
    void nodeSetAsideIsNeitherWrittenNorRegistered();
    void malformedProfileIsRefusedAndThePreviousStays();
    void profileChosenWhileANodeIsShownChecksIt();

private:
    void openStation(const SimNodeProfile &node);

    TestServerProcess server;
    QTemporaryDir profileDir;
    QString profilePath;
    std::unique_ptr<E2eStation> station;
};

void E2eProfilesTest::initTestCase()
{
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    QVERIFY(profileDir.isValid());
    profilePath = profileDir.filePath(QStringLiteral("batch.json"));
    QVERIFY(writeTestFile(profilePath, kProfile));
}

void E2eProfilesTest::cleanup()
{
    if (station)
        QCOMPARE(station->dialogs().unexpectedCount(), 0);
    station.reset();
}

void E2eProfilesTest::openStation(const SimNodeProfile &node)
{
    station = std::make_unique<E2eStation>();
    QVERIFY2(!station->addNode(node).isEmpty(), qPrintable(station->error()));
    station->openWindow(server.baseUrl(), {{QStringLiteral("profile/path"), profilePath}});
}

void E2eProfilesTest::profileDifferencesAreWrittenInOneApplyAndVerified_data()
{
    addDataTable<bool>(
        {"nodeKeepsTemperature"}, {{"node takes the settings", false}, {"node ignores the temperature", true}});
}

void E2eProfilesTest::profileDifferencesAreWrittenInOneApplyAndVerified()
{
    QFETCH(bool, nodeKeepsTemperature);
    const SimNodeProfile profile = SimNodeProfile::forType(Node::LoRaOTAA);
    openStation(profile);
    if (nodeKeepsTemperature)
        station->node().setFault(QStringLiteral("set:tht"), SimFault::Ignored);
    QVERIFY(station->bootAndShow(true));

    // The differing fields carry the profile's values, marked with both values; the matching ones are as read.
    NodeForm *form = station->form();
    auto edit = [&](const char *name) { return station->form()->findChild<QLineEdit *>(QLatin1String(name)); };
    QCOMPARE(edit("tempLowEdit")->text(), QStringLiteral("-5"));
    QCOMPARE(edit("tempHighEdit")->text(), QStringLiteral("45"));
    QCOMPARE(edit("reportRateEdit")->text(), QStringLiteral("20"));
    const QRegularExpression temperatureTip(QStringLiteral("^profile: .*-5.*45.*, node: .*-10.*50"));
    QVERIFY2(
        temperatureTip.match(edit("tempHighEdit")->toolTip()).hasMatch(), qPrintable(edit("tempHighEdit")->toolTip()));
    QVERIFY2(QRegularExpression(QStringLiteral("^profile: 20.*, node: 15"))
                 .match(edit("reportRateEdit")->toolTip())
                 .hasMatch(),
        qPrintable(edit("reportRateEdit")->toolTip()));
    QVERIFY(!edit("tempHighEdit")->styleSheet().isEmpty());
    QVERIFY(edit("humidityHighEdit")->toolTip().isEmpty());
    QVERIFY(edit("humidityHighEdit")->styleSheet().isEmpty());

    station->node().clearReceived();
    form->findChild<QPushButton *>(QStringLiteral("applyButton"))->click();
    QTRY_VERIFY_WITH_TIMEOUT(
        station->node().receivedLines().contains(QStringLiteral("reset")), E2eStation::kReadWaitMs);
    QVERIFY(QTest::qWaitFor([&] { return station->form() && station->form() != form; }, E2eStation::kReadWaitMs));
    QVERIFY(station->waitForState(CommissioningSession::State::NodeShown));
    const QStringList received = station->node().receivedLines();
    QCOMPARE(received.mid(0, received.indexOf(QStringLiteral("reset"))), kProfileWrites);

    QLabel *note = station->label("noteLabel");
    QVERIFY(note->isVisible());
    QPushButton *registerButton = station->button("registerButton");
    if (!nodeKeepsTemperature) {
        QCOMPARE(note->text(), QStringLiteral("Verified"));
        QCOMPARE(E2eStation::textColour(note), QColor(Qt::darkGreen));
        QVERIFY(registerButton->isEnabled());
        return;
    }
    QVERIFY2(note->text().startsWith(QLatin1String("Not as written")), qPrintable(note->text()));
    QCOMPARE(E2eStation::textColour(note), QColor(Qt::red));
    QVERIFY(!registerButton->isEnabled());
    QVERIFY(!station->button("sleepButton")->isEnabled());
    // Even a Register that reached the session goes nowhere.
    registerButton->click();
    station->session()->registerNode(QString());
    QCOMPARE(station->session()->state(), CommissioningSession::State::NodeShown);
    QCOMPARE(server.requestCount(QStringLiteral("device")), 0);
}

void E2eProfilesTest::profileChosenWhileANodeIsShownChecksIt()
{
    station = std::make_unique<E2eStation>();
    QVERIFY2(!station->addNode(SimNodeProfile::forType(Node::LoRaOTAA)).isEmpty(), qPrintable(station->error()));
    station->openWindow(server.baseUrl());
    QVERIFY(station->bootAndShow(true));
    QCOMPARE(station->session()->preset().flags, 0);

    // The profile is chosen after the node came: the node on show is checked against it at once.
    station->window()->setProfileOverride(profilePath);
    QTRY_VERIFY(station->session()->preset().flags != 0);
    QTRY_VERIFY(station->form());
    QLabel *note = station->label("noteLabel");
    QTRY_VERIFY(note->isVisible());
    QVERIFY2(note->text().startsWith(QStringLiteral("Profile %1").arg(QLatin1String(kProfileName))),
        qPrintable(note->text()));
    auto *high = station->form()->findChild<QLineEdit *>(QStringLiteral("tempHighEdit"));
    QVERIFY(high);
    QCOMPARE(high->text(), QStringLiteral("45"));
    // Only checked: nothing was written.
    QVERIFY(!station->node().receivedLines().contains(QStringLiteral("tht -5 45")));
}

void E2eProfilesTest::nodeSetAsideIsNeitherWrittenNorRegistered_data()
{
    QTest::addColumn<QString>("nodeVersion");
    QTest::addColumn<QString>("nodeKey");
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("event");
    QTest::addColumn<QString>("lastLine");
    // The firmware is judged after the whole read, which ends with the report rate; identifiers that do not
    // decipher end the read at the configuration.
    QTest::newRow("firmware older than the profile allows")
        << QStringLiteral("v2.0.9") << QString() << int(CommissioningSession::State::FirmwareTooOld)
        << QStringLiteral("Firmware too old\nSet node aside") << QStringLiteral("firmwareTooOld")
        << QStringLiteral("rr");
    QTest::newRow("node keyed differently")
        << QStringLiteral("v2.4.1") << QString::fromLatin1(kOtherKey) << int(CommissioningSession::State::KeyMismatch)
        << QStringLiteral("Node key does not match\nCheck the tool's node key") << QStringLiteral("keyMismatch")
        << QStringLiteral("cfg");
}

void E2eProfilesTest::nodeSetAsideIsNeitherWrittenNorRegistered()
{
    QFETCH(QString, nodeVersion);
    QFETCH(QString, nodeKey);
    QFETCH(int, state);
    QFETCH(QString, message);
    QFETCH(QString, event);
    QFETCH(QString, lastLine);
    SimNodeProfile profile = SimNodeProfile::forType(Node::LoRaOTAA);
    profile.nodeVersion = nodeVersion;
    profile.key = nodeKey;
    openStation(profile);
    // A node whose identifiers cannot be read is not worth a login.
    if (nodeKey.isEmpty())
        station->dialogs().login(QLatin1String(TestServerProcess::kUser), QLatin1String(TestServerProcess::kPassword));
    const int postsBefore = server.requestCount(QStringLiteral("device"));
    station->node().boot();

    QVERIFY(station->waitForState(CommissioningSession::State(state)));
    QLabel *stateLabel = station->label("stateLabel");
    QTRY_VERIFY(stateLabel->isVisible());
    QCOMPARE(stateLabel->text(), message);
    if (nodeKey.isEmpty()) {
        // The operator sees which versions were compared, and under which profile.
        QLabel *note = station->label("noteLabel");
        QTRY_VERIFY(note->isVisible());
        QCOMPARE(note->text(),
            QStringLiteral("Firmware v2.0.9 is older than v2.1.0, the oldest profile %1 accepts")
                .arg(QLatin1String(kProfileName)));
    }
    QVERIFY(!station->form());
    QVERIFY(!station->button("registerButton")->isEnabled());
    QVERIFY(!station->button("sleepButton")->isEnabled());
    QVERIFY2(E2eStation::journalEvents().contains(event), qPrintable(E2eStation::journalEvents().join(' ')));
    // Nothing went to the node after its read (the journal entry was written after the read's last answer).
    const QStringList received = station->node().receivedLines();
    QVERIFY2(!received.isEmpty() && received.last() == lastLine, qPrintable(received.join(' ')));
    QCOMPARE(server.requestCount(QStringLiteral("device")), postsBefore);
}

void E2eProfilesTest::malformedProfileIsRefusedAndThePreviousStays()
{
    station = std::make_unique<E2eStation>();
    station->openWindow(server.baseUrl(), {{QStringLiteral("profile/path"), profilePath}});
    QLabel *profileLabel = station->label("profileLabel");
    QCOMPARE(profileLabel->text(), QStringLiteral("Profile: ") + QLatin1String(kProfileName));

    const QString broken = profileDir.filePath(QStringLiteral("broken.json"));
    QFile file(broken);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(R"({"format": 1, "name": "Broken", "types": {"LoRa OTAA": {"temperature": [50, -20]}}})");
    file.close();

    station->dialogs().custom(QStringLiteral("QFileDialog"), [&](QWidget *widget) {
        auto *dialog = qobject_cast<QFileDialog *>(widget);
        dialog->selectFile(broken);
        dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Open)->click();
    });
    QString refusal;
    station->dialogs().custom(QStringLiteral("message"), [&](QWidget *widget) {
        auto *box = qobject_cast<QMessageBox *>(widget);
        refusal = box->text();
        box->button(QMessageBox::Ok)->click();
    });
    station->window()->findChild<QAction *>(QStringLiteral("actionProfile"))->trigger();
    QTRY_COMPARE(station->dialogs().pendingSteps(), 0);

    QVERIFY2(refusal.contains(QLatin1String("broken.json")) && refusal.contains(QLatin1String("temperature")),
        qPrintable(refusal));
    QCOMPARE(profileLabel->text(), QStringLiteral("Profile: ") + QLatin1String(kProfileName));
    QSettings settings(
        QString::fromLatin1(MainWindow::kOrganisationName), QString::fromLatin1(MainWindow::kApplicationName));
    QCOMPARE(settings.value(QStringLiteral("profile/path")).toString(), profilePath);
}

IOT_APP_TEST_MAIN(E2eProfilesTest)
#include "tst_e2eprofiles.moc"
