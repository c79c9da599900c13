// The road of one node through the tool, as the operator walks it: the node boots, the operator logs in,
// the node's form shows what the node holds, Register puts the node's document on the server, Activate puts
// the node to sleep; an apply reaches the node, which is reset and read back with the new values.
#include "apptestsupport.h"
#include "datatable.h"
#include "mainwindow.h"
#include "nodeform.h"
#include "testserverprocess.h"
#include "workbenchtest.h"

#include <QAction>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace {

bool isSigFox(int type)
{
    return type == Node::SigFox || type == Node::SigFox5D;
}

// Identifiers are compared as the digits they carry, whatever separators the widgets or the document use.
QString digits(QString text)
{
    return text.remove(QLatin1Char(':')).remove(QLatin1Char('-')).remove(QLatin1Char(' ')).toUpper();
}

// A SigFox ID is a number; leading zeros may or may not be written.
bool sameSigFoxId(const QString &shown, const QString &held)
{
    bool ok = false;
    return shown.toUInt(&ok, 16) == held.toUInt(nullptr, 16) && ok;
}

QString formText(NodeForm *form, const char *name)
{
    if (auto *edit = form->findChild<QLineEdit *>(QLatin1String(name)))
        return edit->text();
    if (auto *label = form->findChild<QLabel *>(QLatin1String(name)))
        return label->text();
    return QString();
}

bool hasWidget(NodeForm *form, const char *name)
{
    return form->findChild<QWidget *>(QLatin1String(name)) != nullptr;
}

// Pressure and acceleration are shown in bar and G with three significant digits.
bool showsHundredths(NodeForm *form, const char *name, int hundredths)
{
    return qAbs(formText(form, name).toDouble() * 100 - hundredths) <= qMax(1.0, qAbs(hundredths) * 0.005);
}

} // namespace

class CommissioningRoadTest : public WorkbenchTest
{
    Q_OBJECT

private slots:
    void eachNodeTypeIsShownRegisteredAndPutToSleep_data();
    void eachNodeTypeIsShownRegisteredAndPutToSleep();
    void appliedThresholdsAndReportRateComeBackAfterTheReset();
    void configureRefusesAMalformedDeviceIdAndSendsAGoodOne();
};

void CommissioningRoadTest::eachNodeTypeIsShownRegisteredAndPutToSleep_data()
{
    addDataTable<int, QString, int, int>({"type", "formClass", "deviceType", "communication"},
        {{"Pellimar", Node::Pellimar, "FormPellimar", 1, 1}, {"LoRa OTAA", Node::LoRaOTAA, "FormLoRaOTAA", 1, 2},
            {"SigFox", Node::SigFox, "FormSigFox", 1, 3}, {"Pellimar 5D", Node::Pellimar5D, "FormPellimar5d", 3, 1},
            {"LoRa OTAA 5D", Node::LoRaOTAA5D, "FormLoRaOTAA5d", 3, 2},
            {"SigFox 5D", Node::SigFox5D, "FormSigFox5d", 3, 3}});
}

void CommissioningRoadTest::eachNodeTypeIsShownRegisteredAndPutToSleep()
{
    QFETCH(int, type);
    QFETCH(QString, formClass);
    QFETCH(int, deviceType);
    QFETCH(int, communication);
    const SimNodeProfile profile = SimNodeProfile::forType(type);
    QVERIFY2(plugIn(profile), qPrintable(bench->error()));

    // Boot, login, form.
    QVERIFY(bench->bootAndShow(true));
    QCOMPARE(bench->dialogs().recordsOf(QStringLiteral("login")).size(), 1);
    NodeForm *form = bench->form();
    QCOMPARE(QString::fromLatin1(form->metaObject()->className()), formClass);
    QCOMPARE(bench->versionText(),
        QStringLiteral("%1  |   Node: %2  |   Ormix: %3  |   Semtech: %4")
            .arg(QString::fromLatin1(QTest::currentDataTag()), profile.nodeVersion, profile.moduleVersion,
                profile.loraVersion));

    // The form shows what the node holds.
    if (isSigFox(type)) {
        QVERIFY(sameSigFoxId(formText(form, "IDResultLabel"), profile.sigfoxId));
        QCOMPARE(formText(form, "PACResultLabel"), profile.sigfoxPac);
    } else {
        QCOMPARE(digits(formText(form, "deviceIDLabel")), profile.devEui);
        QCOMPARE(digits(formText(form, "appIDEdit")), profile.appEui);
        QCOMPARE(digits(formText(form, "appKeyEdit")), profile.appKey);
    }
    if (hasWidget(form, "netIDEdit"))
        QCOMPARE(formText(form, "netIDEdit"), profile.netId);
    QCOMPARE(formText(form, "tempLowEdit"), QString::number(profile.temperatureLow));
    QCOMPARE(formText(form, "tempHighEdit"), QString::number(profile.temperatureHigh));
    QCOMPARE(formText(form, "humidityLowEdit"), QString::number(profile.humidityLow));
    QCOMPARE(formText(form, "humidityHighEdit"), QString::number(profile.humidityHigh));
    if (hasWidget(form, "pressureHighEdit")) {
        QVERIFY(showsHundredths(form, "pressureLowEdit", profile.pressureLow));
        QVERIFY(showsHundredths(form, "pressureHighEdit", profile.pressureHigh));
    }
    if (hasWidget(form, "accHighEdit"))
        QVERIFY(showsHundredths(form, "accHighEdit", profile.accelX));
    QCOMPARE(formText(form, "reportRateEdit"), QString::number(profile.reportRateMs / 60000));

    // Register, with a lock description where the form takes one.
    QString description;
    auto *descriptionEdit = form->findChild<QLineEdit *>(QStringLiteral("lockDescriptionEdit"));
    if (descriptionEdit->isEnabled()) {
        description = QStringLiteral("Door %1 east").arg(type);
        QTest::keyClicks(descriptionEdit, description);
    }
    bench->dialogs().clickOk();
    QVERIFY(bench->clickAndAnswer("registerButton"));
    QCOMPARE(bench->dialogs().messageTexts(), QStringList{"Node added successfully"});
    QCOMPARE(bench->dialogs().recordsOf(QStringLiteral("message")).last().icon, int(QMessageBox::Information));
    QVERIFY(bench->waitForState(QLatin1String(Workbench::kNodeShown)));

    const QJsonObject document = server.storedDocument([&](const QString &euid) {
        return isSigFox(type) ? sameSigFoxId(euid, profile.sigfoxId) : digits(euid) == profile.devEui;
    });
    QVERIFY2(!document.isEmpty(), server.devices().constData());
    QCOMPARE(document.value(QStringLiteral("DeviceType")).toInt(), deviceType);
    QCOMPARE(document.value(QStringLiteral("DeviceCommunication")).toInt(), communication);
    QCOMPARE(document.value(QStringLiteral("DeviceName")).toString(), description);
    QCOMPARE(document.value(QStringLiteral("version")).toString(),
        QStringLiteral("n:%1 c:%2 s:%3").arg(profile.nodeVersion, profile.moduleVersion, profile.loraVersion));
    if (isSigFox(type)) {
        QCOMPARE(document.value(QStringLiteral("pac")).toString(), profile.sigfoxPac);
        QVERIFY(!document.contains(QStringLiteral("appkey")));
    } else {
        QCOMPARE(digits(document.value(QStringLiteral("appid")).toString()), profile.appEui);
        QCOMPARE(digits(document.value(QStringLiteral("appkey")).toString()), profile.appKey);
        QCOMPARE(document.contains(QStringLiteral("netid")), communication == 1);
        QVERIFY(!document.contains(QStringLiteral("pac")));
    }
    const QJsonArray thresholds = document.value(QStringLiteral("thresholds")).toArray();
    QCOMPARE(thresholds.size(), 4);
    const QJsonObject pressure = thresholds.at(1).toObject();
    const QJsonObject temperature = thresholds.at(3).toObject();
    QCOMPARE(pressure.value(QStringLiteral("high")).toDouble(), double(profile.pressureHigh));
    QCOMPARE(temperature.value(QStringLiteral("low")).toDouble(), double(profile.temperatureLow));
    QCOMPARE(temperature.value(QStringLiteral("high")).toDouble(), double(profile.temperatureHigh));

    // Activate: the node was registered, so it goes to sleep without a question.
    QVERIFY(bench->clickAndAnswer("sleepButton"));
    QVERIFY(bench->waitForState(QLatin1String(Workbench::kNodeSleeping)));
    QVERIFY(bench->node().isSleeping());
    const QStringList road{Workbench::kIdle, Workbench::kReading, Workbench::kNodeShown, Workbench::kNodeSleeping};
    QVERIFY2(bench->trail() == road, qPrintable(bench->trailText()));
}

void CommissioningRoadTest::appliedThresholdsAndReportRateComeBackAfterTheReset()
{
    SimNodeProfile profile = SimNodeProfile::forType(Node::LoRaOTAA);
    // A node takes its time to restart, long enough for the operator to read the success message.
    profile.rebootDelayMs = 1000;
    QVERIFY2(plugIn(profile), qPrintable(bench->error()));
    QVERIFY(bench->bootAndShow(true));

    NodeForm *form = bench->form();
    Workbench::typeInto(form, "tempHighEdit", QStringLiteral("45"));
    Workbench::typeInto(form, "tempLowEdit", QStringLiteral("-5"));
    Workbench::typeInto(form, "pressureHighEdit", QStringLiteral("11.5"));
    Workbench::typeInto(form, "accHighEdit", QStringLiteral("2.25"));
    Workbench::typeInto(form, "reportRateEdit", QStringLiteral("30"));
    bench->node().clearReceived();
    bench->clearTrail();
    form->findChild<QPushButton *>(QStringLiteral("applyButton"))->click();

    QVERIFY(QTest::qWaitFor(
        [&] {
            return bench->form() && bench->form() != form && bench->state() == QLatin1String(Workbench::kNodeShown);
        },
        Workbench::kNodeReadWaitMs));
    const QStringList road{
        Workbench::kNodeShown, Workbench::kUpdateSuccess, Workbench::kReading, Workbench::kNodeShown};
    QVERIFY2(bench->trail() == road, qPrintable(bench->trailText()));

    // One line per changed setting, in the node's order, and the reset after them.
    const QStringList received = bench->node().receivedLines();
    QStringList writes;
    for (const QString &line : received) {
        if (line.contains(QLatin1Char(' ')))
            writes << line;
    }
    QCOMPARE(writes, (QStringList{"tht -5 45", "thp 250 1150", "tha 225 128", "rr 1800000"}));
    QVERIFY(received.indexOf(QStringLiteral("reset")) > received.indexOf(QStringLiteral("rr 1800000")));

    // The node was read again: its new form shows the new values, without a second login.
    form = bench->form();
    QCOMPARE(formText(form, "tempHighEdit"), QStringLiteral("45"));
    QCOMPARE(formText(form, "tempLowEdit"), QStringLiteral("-5"));
    QCOMPARE(formText(form, "humidityHighEdit"), QString::number(profile.humidityHigh));
    QVERIFY(showsHundredths(form, "pressureHighEdit", 1150));
    QVERIFY(showsHundredths(form, "accHighEdit", 225));
    QCOMPARE(formText(form, "reportRateEdit"), QStringLiteral("30"));
    QCOMPARE(bench->dialogs().recordsOf(QStringLiteral("login")).size(), 1);
}

void CommissioningRoadTest::configureRefusesAMalformedDeviceIdAndSendsAGoodOne()
{
    const QString good = QStringLiteral("00112233aabbccdd");
    QVERIFY2(plugIn(SimNodeProfile::forType(Node::Pellimar)), qPrintable(bench->error()));
    QVERIFY(bench->bootAndShow(true));
    auto *configure = namedChild<QAction>(bench->window(), "actionConfigure_Node");
    DialogDriver &dialogs = bench->dialogs();

    // The configure path reads the node's version first, and asks for the identity its type takes.
    dialogs.enterText(QStringLiteral("00112233AABBCCD"));
    dialogs.clickOk();
    configure->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(dialogs.pendingSteps(), 0, Workbench::kNodeReadWaitMs);
    QCOMPARE(dialogs.recordsOf(QStringLiteral("input")).last().title, QStringLiteral("Set Device ID"));
    QCOMPARE(dialogs.messageTexts(), QStringList{"Device ID must be 8 HEX bytes long"});
    QCOMPARE(bench->state(), QString::fromLatin1(Workbench::kNodeShown));

    NodeForm *form = bench->form();
    dialogs.enterText(good);
    configure->trigger();
    QVERIFY(QTest::qWaitFor(
        [&] {
            return bench->form() && bench->form() != form && bench->state() == QLatin1String(Workbench::kNodeShown);
        },
        Workbench::kNodeReadWaitMs));
    QCOMPARE(bench->node().profile().deviceId, good.toUpper());
    // The malformed id never reached the node: the good one is the only device id it was sent.
    int deviceIdLines = 0;
    for (const QString &line : bench->node().receivedLines())
        deviceIdLines += line.startsWith(QLatin1String("dev ")) ? 1 : 0;
    QCOMPARE(deviceIdLines, 1);
    QCOMPARE(dialogs.recordsOf(QStringLiteral("input")).size(), 2);
}

IOT_APP_TEST_MAIN(CommissioningRoadTest)
#include "tst_commissioningroad.moc"
