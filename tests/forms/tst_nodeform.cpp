// The forms' shared way of working, checked on each of the six forms: what a freshly built form shows, which
// update flags each edit sets, what Apply emits and refuses, and the state a form is left in.

#include "formundertest.h"
#include "messageboxcloser.h"
#include "samefloat.h"

#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <cmath>
#include <memory>

Q_DECLARE_METATYPE(Node::eFirmwareType)

namespace {

std::unique_ptr<NodeForm> buildForm(const Node &node)
{
    return std::unique_ptr<NodeForm>(NodeForm::create(node));
}

// A keystroke sequence that changes the edit to a value the form accepts for it.
QString acceptedInputFor(const QString &editName)
{
    if (editName == QLatin1String("appIDEdit"))
        return QStringLiteral("70b3d57ed0001234");
    if (editName == QLatin1String("appKeyEdit"))
        return QStringLiteral("000102030405060708090a0b0c0d0e0f");
    if (editName == QLatin1String("netIDEdit"))
        return QStringLiteral("0000abcd");
    if (editName == QLatin1String("lockDescriptionEdit"))
        return QStringLiteral("Back door");
    if (editName == QLatin1String("reportRateEdit"))
        return QStringLiteral("30");
    return QStringLiteral("12");
}

int flagOfEdit(const QString &editName)
{
    static const QHash<QString, int> flags = {
        {"appIDEdit", Node::FlagAppId},
        {"appKeyEdit", Node::FlagAppKey},
        {"netIDEdit", Node::FlagNetId},
        {"tempHighEdit", Node::FlagTemperature},
        {"tempLowEdit", Node::FlagTemperature},
        {"humidityHighEdit", Node::FlagHumidity},
        {"humidityLowEdit", Node::FlagHumidity},
        {"pressureHighEdit", Node::FlagPressure},
        {"pressureLowEdit", Node::FlagPressure},
        {"accHighEdit", Node::FlagAccelerometer},
        {"reportRateEdit", Node::FlagReportRate},
    };
    return flags.value(editName, 0);
}

bool isBlue(const QLineEdit *edit)
{
    return edit->palette().color(QPalette::Active, QPalette::Text) == QColor(Qt::blue);
}

// The hundredths a pressure or acceleration value in operator units stands for: the form emits the float
// nearest to the decimal it shows, and the write scales that decimal.
int asNodeHundredths(float operatorValue)
{
    return qRound(double(operatorValue) * 100.0);
}

// The healthy node of the current row's form type, for the tests that build their form from it.
Node healthyNodeOfRow()
{
    QFETCH(int, type);
    return healthyNode(Node::eFirmwareType(type));
}

} // namespace

class TestNodeForm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void createBuildsTheFormOfEachTypeAndNoneForOthers_data();
    void createBuildsTheFormOfEachTypeAndNoneForOthers();

    void builtFormMarksNothingAndWaitsForAnEdit_data();
    void builtFormMarksNothingAndWaitsForAnEdit();
    void builtFormShowsTheNodeIdentity_data();
    void builtFormShowsTheNodeIdentity();
    void builtFormShowsThresholdsInOperatorUnitsAndReportRate_data();
    void builtFormShowsThresholdsInOperatorUnitsAndReportRate();
    void everyPressureValueSurvivesARoundTripThroughTheForm();
    void thresholdNeverReadIsShownAsNanAndEmittedUnchanged();

    void editingAListedEditSetsExactlyItsFlag_data();
    void editingAListedEditSetsExactlyItsFlag();
    void editingEveryListedEditSetsOnlyTheFormsFlags_data();
    void editingEveryListedEditSetsOnlyTheFormsFlags();
    void editingBothEditsOfAPairSetsItsFlagOnce();
    void editedFieldTurnsBlueAndOthersStayAsTheyWere();

    void lockDescriptionAloneEnablesApplyButAClickEmitsNothing_data();
    void lockDescriptionAloneEnablesApplyButAClickEmitsNothing();
    void lockDescriptionIsCarriedByTheNextApply_data();
    void lockDescriptionIsCarriedByTheNextApply();
    void sigFox5dLockDescriptionIsRecordedWithoutMarkingOrEnablingApply();
    void sigFox5dDisablesRegisterAndActivateOnEveryThresholdKeystroke();

    void applyEmitsTheEditedNodeOnceAndEntersApplying_data();
    void applyEmitsTheEditedNodeOnceAndEntersApplying();
    void enterAppliesFromAThresholdButNeverFromTheLockDescription_data();
    void enterAppliesFromAThresholdButNeverFromTheLockDescription();
    void applyKeepsWhatTheFormDoesNotEdit_data();
    void applyKeepsWhatTheFormDoesNotEdit();

    void shortNetworkIdIsRefusedAndLaterApplyCarriesAllFlags_data();
    void shortNetworkIdIsRefusedAndLaterApplyCarriesAllFlags();
    void incompleteApplicationIdOrKeyIsRefused_data();
    void incompleteApplicationIdOrKeyIsRefused();
    void unreadApplicationIdDoesNotBlockAThresholdWrite();
    void unconvertibleThresholdTextIsSentAsZero();
};

void TestNodeForm::initTestCase()
{
    qRegisterMetaType<Node>("Node");
}

void TestNodeForm::createBuildsTheFormOfEachTypeAndNoneForOthers_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("className");
    for (const FormCase &form : allFormCases())
        QTest::newRow(form.className) << int(form.type) << QString::fromLatin1(form.className);
    QTest::newRow("unknown") << int(Node::Unknown) << QString();
    QTest::newRow("type 7") << 7 << QString();
    QTest::newRow("type 9 (main board v9.1)") << 9 << QString();
    QTest::newRow("negative") << -1 << QString();
}

void TestNodeForm::createBuildsTheFormOfEachTypeAndNoneForOthers()
{
    QFETCH(int, type);
    QFETCH(QString, className);
    Node node = healthyNode(Node::Pellimar);
    node.firmwareType = Node::eFirmwareType(type);
    const auto form = buildForm(node);
    if (className.isEmpty()) {
        QVERIFY(!form);
        return;
    }
    QVERIFY(form);
    QCOMPARE(QString::fromLatin1(form->metaObject()->className()), className);
    QCOMPARE(form->objectName(), className);
    QCOMPARE(form->windowTitle(), QStringLiteral("Form"));
    QCOMPARE(form->size(), QSize(520, 550));
    // The window connects by signature; both signals must be found that way.
    QVERIFY(form->metaObject()->indexOfSignal("updateNode(Node,int)") >= 0);
    const bool hasRegisterSignal = form->metaObject()->indexOfSignal("enableRegisterActivateButton(bool)") >= 0;
    QCOMPARE(hasRegisterSignal, type == Node::SigFox5D);
}

void TestNodeForm::builtFormMarksNothingAndWaitsForAnEdit_data()
{
    addOneRowPerForm();
}

void TestNodeForm::builtFormMarksNothingAndWaitsForAnEdit()
{
    QFETCH(int, type);
    const FormUnderTest form(type);
    form->show();

    QVERIFY(!form.applyButton()->isEnabled());
    QVERIFY(form.child<QGroupBox>("nodeBox")->isEnabled());
    QVERIFY(form.child<QGroupBox>("thersholdBox")->isVisible());
    QVERIFY(!form.child<QProgressBar>("progressBar")->isVisible());
    for (QLineEdit *edit : form->findChildren<QLineEdit *>())
        QVERIFY2(!isBlue(edit), qPrintable(edit->objectName()));
    QVERIFY(form->lockDescriptionText.isEmpty());

    // Nothing was collected while filling: a click on the (disabled) button is impossible, and even a forced
    // apply through the button emits nothing.
    form.apply();
    QCOMPARE(form.updateCount(), 0);
}

void TestNodeForm::builtFormShowsTheNodeIdentity_data()
{
    addOneRowPerForm();
}

void TestNodeForm::builtFormShowsTheNodeIdentity()
{
    QFETCH(int, type);
    const FormUnderTest form(type);

    if (Node::isSigfoxType(type)) {
        QCOMPARE(form.child<QLabel>("IDResultLabel")->text(), QStringLiteral("C0FFEE"));
        QCOMPARE(form.child<QLabel>("PACResultLabel")->text(), QStringLiteral("0123456789ABCDEF"));
        QVERIFY(!form.edit("appIDEdit"));
        QVERIFY(!form.edit("appKeyEdit"));
        QVERIFY(!form.edit("netIDEdit"));
    } else {
        auto *deviceId = form.child<QLabel>("deviceIDLabel");
        QCOMPARE(deviceId->text(), QStringLiteral("70B3D57ED0000A01"));
        QCOMPARE(deviceId->palette().color(deviceId->foregroundRole()), QColor(Qt::black));
        QCOMPARE(form.edit("appIDEdit")->text(), QStringLiteral("00-04-A3-0B-00-1C-0A-00"));
        QCOMPARE(form.edit("appKeyEdit")->text(), QStringLiteral("2B 7E 15 16 28 AE D2 A6 AB F7 15 88 09 CF 4F 3C"));
        QLineEdit *netId = form.edit("netIDEdit");
        const bool pellimar = type == Node::Pellimar || type == Node::Pellimar5D;
        QCOMPARE(netId != nullptr, pellimar);
        if (netId)
            QCOMPARE(netId->text(), QStringLiteral("00000013"));
    }
    QVERIFY(form.edit("lockDescriptionEdit")->text().isEmpty());
}

void TestNodeForm::builtFormShowsThresholdsInOperatorUnitsAndReportRate_data()
{
    addEditColumns<QString>("shown");
    for (const FormCase &form : allFormCases()) {
        const auto row = [&](const char *edit, const char *text) { addEditRow(form, edit) << text; };
        row("tempHighEdit", "50");
        row("tempLowEdit", "-10");
        row("humidityHighEdit", "90");
        row("humidityLowEdit", "10");
        if (form.listedEdits.contains("pressureHighEdit")) {
            row("pressureHighEdit", "12.34");
            row("pressureLowEdit", "2.5");
            row("accHighEdit", "1.5");
            row("accLowEdit", "");
        }
        row("reportRateEdit", "15");
    }
}

void TestNodeForm::builtFormShowsThresholdsInOperatorUnitsAndReportRate()
{
    QFETCH(int, type);
    QFETCH(QString, editName);
    QFETCH(QString, shown);
    const FormUnderTest form(type);
    QLineEdit *edit = form.edit(editName);
    QVERIFY(edit);
    QCOMPARE(edit->text(), shown);
}

void TestNodeForm::everyPressureValueSurvivesARoundTripThroughTheForm()
{
    // Hundredths as the node prints them; the temperature edit is changed so that Apply copies the thresholds.
    QList<int> values = {
        0, 1, -1, 7, 29, 99, 100, 101, 250, 999, 1234, -1234, 4567, 9999, -9999, 10000, -10000, 12345, 65000, -65000};
    for (int v = -10000; v <= 10000; v += 97)
        values << v;

    for (int value : qAsConst(values)) {
        Node node = healthyNode(Node::Pellimar);
        node.thresholds.pressureHigh = float(value);
        node.thresholds.accelX = float(-value);
        const FormUnderTest form(node);
        form.retype("pressureLowEdit", QStringLiteral("1"));
        form.apply();
        QCOMPARE(form.updateCount(), 1);
        const Node sent = form.sent();
        QCOMPARE(asNodeHundredths(sent.thresholds.pressureHigh), value);
        QCOMPARE(asNodeHundredths(sent.thresholds.accelX), -value);
    }
}

void TestNodeForm::thresholdNeverReadIsShownAsNanAndEmittedUnchanged()
{
    Node node = healthyNode(Node::LoRaOTAA);
    node.thresholds = NodeThresholds();
    const FormUnderTest form(node);
    QCOMPARE(form.edit("pressureHighEdit")->text(), QStringLiteral("nan"));
    QCOMPARE(form.edit("tempHighEdit")->text(), QStringLiteral("nan"));

    form.retype("reportRateEdit", QStringLiteral("60"));
    form.apply();
    QCOMPARE(form.updateCount(), 1);
    const Node sent = form.sent();
    QVERIFY(std::isnan(sent.thresholds.pressureHigh));
    QVERIFY(std::isnan(sent.thresholds.temperatureLow));
    QCOMPARE(sent.reportRate, 60);
}

void TestNodeForm::editingAListedEditSetsExactlyItsFlag_data()
{
    addEditColumns<int>("flag");
    for (const FormCase &form : allFormCases()) {
        for (const QString &edit : form.listedEdits) {
            if (edit != QLatin1String("lockDescriptionEdit"))
                addEditRow(form, edit) << flagOfEdit(edit);
        }
    }
}

void TestNodeForm::editingAListedEditSetsExactlyItsFlag()
{
    QFETCH(int, type);
    QFETCH(QString, editName);
    QFETCH(int, flag);
    const FormUnderTest form(type);

    form.retype(editName, acceptedInputFor(editName));
    QVERIFY(form.applyButton()->isEnabled());
    form.apply();

    QCOMPARE(form.updateCount(), 1);
    QCOMPARE(form.sentFlags(), flag);
}

void TestNodeForm::editingEveryListedEditSetsOnlyTheFormsFlags_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("expectedFlags");
    const int thresholds = Node::FlagTemperature | Node::FlagHumidity | Node::FlagReportRate;
    const int motion = Node::FlagPressure | Node::FlagAccelerometer;
    const int loraIds = Node::FlagAppId | Node::FlagAppKey;
    QTest::newRow("FormPellimar") << int(Node::Pellimar) << (loraIds | Node::FlagNetId | thresholds | motion);
    QTest::newRow("FormLoRaOTAA never network id") << int(Node::LoRaOTAA) << (loraIds | thresholds | motion);
    QTest::newRow("FormSigFox never identifiers") << int(Node::SigFox) << (thresholds | motion);
    QTest::newRow("FormPellimar5d never motion") << int(Node::Pellimar5D) << (loraIds | Node::FlagNetId | thresholds);
    QTest::newRow("FormLoRaOTAA5d") << int(Node::LoRaOTAA5D) << (loraIds | thresholds);
    QTest::newRow("FormSigFox5d") << int(Node::SigFox5D) << thresholds;
}

void TestNodeForm::editingEveryListedEditSetsOnlyTheFormsFlags()
{
    QFETCH(int, type);
    QFETCH(int, expectedFlags);
    const FormUnderTest form(type);

    // Every line edit that takes input, listed or not.
    for (QLineEdit *edit : form->findChildren<QLineEdit *>()) {
        if (edit->isEnabled())
            retype(edit, acceptedInputFor(edit->objectName()));
    }
    form.apply();

    QCOMPARE(form.updateCount(), 1);
    QCOMPARE(form.sentFlags(), expectedFlags);
}

void TestNodeForm::editingBothEditsOfAPairSetsItsFlagOnce()
{
    const FormUnderTest form(Node::SigFox);
    form.retype("tempHighEdit", QStringLiteral("40"));
    form.retype("tempLowEdit", QStringLiteral("-5"));
    form.retype("pressureLowEdit", QStringLiteral("3"));
    form.apply();
    QCOMPARE(form.updateCount(), 1);
    QCOMPARE(form.sentFlags(), Node::FlagTemperature | Node::FlagPressure);
}

void TestNodeForm::editedFieldTurnsBlueAndOthersStayAsTheyWere()
{
    const FormUnderTest form(Node::Pellimar);
    QLineEdit *humidity = form.edit("humidityLowEdit");
    QTest::keyClicks(humidity, "5");
    QVERIFY(isBlue(humidity));
    QVERIFY(!isBlue(form.edit("humidityHighEdit")));
    QVERIFY(!isBlue(form.edit("appIDEdit")));
    // Only the text colour is taken over; the rest of the edit's palette stays the application's.
    QCOMPARE(humidity->palette().color(QPalette::Base), QApplication::palette().color(QPalette::Base));
}

void TestNodeForm::lockDescriptionAloneEnablesApplyButAClickEmitsNothing_data()
{
    QTest::addColumn<int>("type");
    for (const FormCase &form : allFormCases()) {
        if (form.type != Node::SigFox5D)
            QTest::newRow(form.className) << int(form.type);
    }
}

void TestNodeForm::lockDescriptionAloneEnablesApplyButAClickEmitsNothing()
{
    QFETCH(int, type);
    const FormUnderTest form(type);
    form->show();

    QLineEdit *description = form.edit("lockDescriptionEdit");
    QTest::keyClicks(description, "Front gate");
    QVERIFY(isBlue(description));
    QCOMPARE(form->lockDescriptionText, QStringLiteral("Front gate"));
    QVERIFY(form.applyButton()->isEnabled());

    form.apply();
    QCOMPARE(form.updateCount(), 0);
    // Still editable: nothing moved on to the busy state.
    QVERIFY(form.applyButton()->isEnabled());
    QVERIFY(form.child<QGroupBox>("thersholdBox")->isVisible());
    QVERIFY(!form.child<QProgressBar>("progressBar")->isVisible());
}

void TestNodeForm::lockDescriptionIsCarriedByTheNextApply_data()
{
    addOneRowPerForm();
}

void TestNodeForm::lockDescriptionIsCarriedByTheNextApply()
{
    QFETCH(int, type);
    const FormUnderTest form(type);

    QTest::keyClicks(form.edit("lockDescriptionEdit"), "Cellar, door 2");
    form.retype("humidityHighEdit", QStringLiteral("80"));
    form.apply();

    QCOMPARE(form.updateCount(), 1);
    QCOMPARE(form.sent().lockDescription, QStringLiteral("Cellar, door 2"));
    QCOMPARE(form.sentFlags(), int(Node::FlagHumidity));
    QCOMPARE(form->lockDescriptionText, QStringLiteral("Cellar, door 2"));
}

void TestNodeForm::sigFox5dLockDescriptionIsRecordedWithoutMarkingOrEnablingApply()
{
    const FormUnderTest form(Node::SigFox5D);
    QSignalSpy registerButtons(form.get(), SIGNAL(enableRegisterActivateButton(bool)));
    QLineEdit *description = form.edit("lockDescriptionEdit");
    QVERIFY(description->isEnabled());

    QTest::keyClicks(description, "Gate 7");
    QCOMPARE(form->lockDescriptionText, QStringLiteral("Gate 7"));
    QVERIFY(!isBlue(description));
    QVERIFY(!form.applyButton()->isEnabled());
    QCOMPARE(registerButtons.count(), 0);

    // Each change is recorded, so the registration takes the text as it stands.
    QTest::keyClick(description, Qt::Key_Backspace);
    QCOMPARE(form->lockDescriptionText, QStringLiteral("Gate "));
}

void TestNodeForm::sigFox5dDisablesRegisterAndActivateOnEveryThresholdKeystroke()
{
    const FormUnderTest form(Node::SigFox5D);
    QSignalSpy registerButtons(form.get(), SIGNAL(enableRegisterActivateButton(bool)));

    QLineEdit *rate = form.edit("reportRateEdit");
    rate->setCursorPosition(rate->text().size());
    QTest::keyClicks(rate, "0");
    QTest::keyClicks(form.edit("tempLowEdit"), "12");
    QCOMPARE(registerButtons.count(), 3);
    for (const QList<QVariant> &emission : qAsConst(registerButtons))
        QCOMPARE(emission.at(0).toBool(), false);
    QVERIFY(form.applyButton()->isEnabled());
}

void TestNodeForm::enterAppliesFromAThresholdButNeverFromTheLockDescription_data()
{
    addOneRowPerForm();
}

// A label scanner ends each scan with Enter, and the focus sits in the lock description after a matching label:
// Enter there must not write the node, while Enter in a threshold still applies what was typed.
void TestNodeForm::enterAppliesFromAThresholdButNeverFromTheLockDescription()
{
    const FormUnderTest form(healthyNodeOfRow());
    form->show();

    form.retype("tempHighEdit", QStringLiteral("45"));
    QLineEdit *description = form.edit("lockDescriptionEdit");
    QVERIFY(description);
    QTest::keyClicks(description, QStringLiteral("LW:D0:scan"));
    QTest::keyClick(description, Qt::Key_Return);
    QCOMPARE(form.updateCount(), 0);

    QTest::keyClick(form.edit("tempHighEdit"), Qt::Key_Return);
    QCOMPARE(form.updateCount(), 1);
}

void TestNodeForm::applyEmitsTheEditedNodeOnceAndEntersApplying_data()
{
    addOneRowPerForm();
}

void TestNodeForm::applyEmitsTheEditedNodeOnceAndEntersApplying()
{
    const Node original = healthyNodeOfRow();
    const FormUnderTest form(original);
    form->show();

    const auto set = [&](const char *name, const char *keys) {
        if (QLineEdit *edit = form.edit(name))
            retype(edit, QString::fromLatin1(keys));
    };
    set("lockDescriptionEdit", "Hall");
    set("appIDEdit", "a1b2c3d4e5f60708");
    set("appKeyEdit", "ffeeddccbbaa99887766554433221100");
    set("netIDEdit", "1234abcd");
    set("tempHighEdit", "45");
    set("tempLowEdit", "-20");
    set("humidityHighEdit", "85");
    set("humidityLowEdit", "12");
    set("pressureHighEdit", "3.75");
    set("pressureLowEdit", "-0.5");
    set("accHighEdit", "2.25");
    set("reportRateEdit", "240");
    form.apply();

    QCOMPARE(form.updateCount(), 1);
    const Node sent = form.sent();
    const Node::eFirmwareType type = original.firmwareType;
    const bool lora = !Node::isSigfoxType(type);
    const bool pellimar = type == Node::Pellimar || type == Node::Pellimar5D;
    const bool motion = type == Node::Pellimar || type == Node::LoRaOTAA || type == Node::SigFox;
    QCOMPARE(sent.lockDescription, QStringLiteral("Hall"));
    QCOMPARE(sent.appId, lora ? QStringLiteral("A1B2C3D4E5F60708") : original.appId);
    QCOMPARE(sent.appKey, lora ? QStringLiteral("FFEEDDCCBBAA99887766554433221100") : original.appKey);
    QCOMPARE(sent.netId, pellimar ? QStringLiteral("1234ABCD") : original.netId);
    QCOMPARE(sent.thresholds.temperatureHigh, 45.0f);
    QCOMPARE(sent.thresholds.temperatureLow, -20.0f);
    QCOMPARE(sent.thresholds.humidityHigh, 85.0f);
    QCOMPARE(sent.thresholds.humidityLow, 12.0f);
    if (motion) {
        QCOMPARE(sent.thresholds.pressureHigh, 3.75f);
        QCOMPARE(sent.thresholds.pressureLow, -0.5f);
        QCOMPARE(sent.thresholds.accelX, 2.25f);
    } else {
        QCOMPARE(sent.thresholds.pressureHigh, original.thresholds.pressureHigh);
        QCOMPARE(sent.thresholds.accelX, original.thresholds.accelX);
    }
    QCOMPARE(sent.reportRate, 240);

    int expectedFlags = Node::FlagTemperature | Node::FlagHumidity | Node::FlagReportRate;
    if (lora)
        expectedFlags |= Node::FlagAppId | Node::FlagAppKey;
    if (pellimar)
        expectedFlags |= Node::FlagNetId;
    if (motion)
        expectedFlags |= Node::FlagPressure | Node::FlagAccelerometer;
    QCOMPARE(form.sentFlags(), expectedFlags);

    // Applying: busy bar instead of the thresholds and the report rate, nothing left to click.
    QVERIFY(!form.child<QGroupBox>("nodeBox")->isEnabled());
    QVERIFY(!form.child<QGroupBox>("thersholdBox")->isVisible());
    QVERIFY(!form.child<QWidget>("reportID")->isVisible());
    QVERIFY(!form.edit("reportRateEdit")->isVisible());
    if (QWidget *unit = form.child<QWidget>("reportUnit"))
        QVERIFY(!unit->isVisible());
    QVERIFY(form.child<QProgressBar>("progressBar")->isVisible());
    QVERIFY(!form.applyButton()->isEnabled());
    QTest::mouseClick(form.applyButton(), Qt::LeftButton);
    form.apply();
    QCOMPARE(form.updateCount(), 1);
}

void TestNodeForm::applyKeepsWhatTheFormDoesNotEdit_data()
{
    addOneRowPerForm();
}

void TestNodeForm::applyKeepsWhatTheFormDoesNotEdit()
{
    const Node original = healthyNodeOfRow();
    const FormUnderTest form(original);
    form.retype("tempHighEdit", QStringLiteral("33"));
    form.apply();
    QCOMPARE(form.updateCount(), 1);
    const Node sent = form.sent();

    QCOMPARE(sent.firmwareType, original.firmwareType);
    QCOMPARE(sent.deviceType, original.deviceType);
    QCOMPARE(sent.deviceCommunication, original.deviceCommunication);
    QCOMPARE(sent.nodeVersion, original.nodeVersion);
    QCOMPARE(sent.euid, original.euid);
    QCOMPARE(sent.pac, original.pac);
    QCOMPARE(sent.appId, original.appId);
    QCOMPARE(sent.appKey, original.appKey);
    QCOMPARE(sent.netId, original.netId);
    QCOMPARE(sent.thresholds.accelY, original.thresholds.accelY);
    QCOMPARE(sent.thresholds.accelZ, original.thresholds.accelZ);
    QCOMPARE(sent.thresholds.accelD, original.thresholds.accelD);
    // Unedited shown thresholds go back as shown: pressure and acceleration in operator units.
    QCOMPARE(sent.thresholds.temperatureLow, -10.0f);
    QCOMPARE(sent.thresholds.humidityHigh, 90.0f);
    QCOMPARE(sent.reportRate, 15);
    const Node::eFirmwareType type = original.firmwareType;
    const bool motion = type == Node::Pellimar || type == Node::LoRaOTAA || type == Node::SigFox;
    QVERIFY(sameFloat(sent.thresholds.pressureLow, motion ? 2.5f : original.thresholds.pressureLow));
    QVERIFY(sameFloat(sent.thresholds.pressureHigh, motion ? 12.34f : original.thresholds.pressureHigh));
    QVERIFY(sameFloat(sent.thresholds.accelX, motion ? 1.5f : original.thresholds.accelX));
    QCOMPARE(form.sentFlags(), int(Node::FlagTemperature));
}

void TestNodeForm::shortNetworkIdIsRefusedAndLaterApplyCarriesAllFlags_data()
{
    QTest::addColumn<int>("type");
    QTest::newRow("FormPellimar") << int(Node::Pellimar);
    QTest::newRow("FormPellimar5d") << int(Node::Pellimar5D);
}

void TestNodeForm::shortNetworkIdIsRefusedAndLaterApplyCarriesAllFlags()
{
    QFETCH(int, type);
    const FormUnderTest form(type);
    QLineEdit *netId = form.edit("netIDEdit");

    form.retype("humidityHighEdit", QStringLiteral("70"));
    retype(netId, QStringLiteral("1234567"));
    QCOMPARE(netId->text(), QStringLiteral("1234567"));
    {
        MessageBoxCloser closer;
        form.apply();
        QTRY_COMPARE(closer.seen.size(), 1);
        QCOMPARE(closer.seen.at(0).title, QStringLiteral("Network ID too short"));
        QCOMPARE(closer.seen.at(0).text, QStringLiteral("Network ID must be 8 characters"));
        QCOMPARE(closer.seen.at(0).icon, QMessageBox::Information);
        QVERIFY(!closer.seen.at(0).hadParent);
    }
    QCOMPARE(form.updateCount(), 0);
    QVERIFY(!form.applyButton()->isEnabled());
    QVERIFY(form.child<QGroupBox>("nodeBox")->isEnabled());
    QVERIFY(form.child<QGroupBox>("thersholdBox")->isVisibleTo(form.get()));

    form.retype("tempLowEdit", QStringLiteral("-3"));
    QVERIFY(form.applyButton()->isEnabled());
    netId->setCursorPosition(7);
    QTest::keyClicks(netId, "8");
    form.apply();

    QCOMPARE(form.updateCount(), 1);
    QCOMPARE(form.sent().netId, QStringLiteral("12345678"));
    QCOMPARE(form.sentFlags(), Node::FlagNetId | Node::FlagHumidity | Node::FlagTemperature);
}

void TestNodeForm::incompleteApplicationIdOrKeyIsRefused_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("editName");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("completion");
    const QString idTitle = QStringLiteral("Application ID too short");
    const QString idText = QStringLiteral("Application ID must be 16 characters");
    const QString keyTitle = QStringLiteral("Application Key too short");
    const QString keyText = QStringLiteral("Application Key must be 32 characters");
    for (const FormCase &form : allFormCases()) {
        if (Node::isSigfoxType(form.type))
            continue;
        const int type = int(form.type);
        QTest::addRow("%s app id of 15 digits", form.className) << type << "appIDEdit"
                                                                << "0004A30B001C0A0" << idTitle << idText << "1";
        QTest::addRow("%s app id cleared", form.className) << type << "appIDEdit"
                                                           << "" << idTitle << idText << "0004A30B001C0A01";
        QTest::addRow("%s app key of 31 digits", form.className)
            << type << "appKeyEdit"
            << "2B7E151628AED2A6ABF7158809CF4F3" << keyTitle << keyText << "D";
        QTest::addRow("%s app key of one digit", form.className)
            << type << "appKeyEdit"
            << "2" << keyTitle << keyText << "B7E151628AED2A6ABF7158809CF4F3C";
    }
}

void TestNodeForm::incompleteApplicationIdOrKeyIsRefused()
{
    QFETCH(int, type);
    QFETCH(QString, editName);
    QFETCH(QString, keys);
    QFETCH(QString, title);
    QFETCH(QString, text);
    QFETCH(QString, completion);
    const FormUnderTest form(type);
    QLineEdit *edit = form.edit(editName);

    retype(edit, keys);
    {
        MessageBoxCloser closer;
        form.apply();
        QTRY_COMPARE(closer.seen.size(), 1);
        QCOMPARE(closer.seen.at(0).title, title);
        QCOMPARE(closer.seen.at(0).text, text);
        QCOMPARE(closer.seen.at(0).icon, QMessageBox::Information);
    }
    QCOMPARE(form.updateCount(), 0);
    QVERIFY(!form.applyButton()->isEnabled());

    // Completing the identifier lets the same flags through.
    QTest::keyClicks(edit, completion);
    form.apply();
    QCOMPARE(form.updateCount(), 1);
    const Node sent = form.sent();
    const QString value = editName == QLatin1String("appIDEdit") ? sent.appId : sent.appKey;
    QCOMPARE(value, (keys + completion).toUpper());
    QCOMPARE(form.sentFlags(), flagOfEdit(editName));
}

void TestNodeForm::unreadApplicationIdDoesNotBlockAThresholdWrite()
{
    // A node whose AppEui field failed its check keeps an empty application id; it is not written unless edited.
    Node node = healthyNode(Node::LoRaOTAA);
    node.appId.clear();
    const FormUnderTest form(node);
    MessageBoxCloser closer;
    form.retype("tempHighEdit", QStringLiteral("30"));
    form.apply();
    QCOMPARE(closer.seen.size(), 0);
    QCOMPARE(form.updateCount(), 1);
    QCOMPARE(form.sentFlags(), int(Node::FlagTemperature));
}

void TestNodeForm::unconvertibleThresholdTextIsSentAsZero()
{
    // The SigFox forms leave the high temperature without a validator; what does not read as a number goes out
    // as 0, with a decimal point being the only separator understood.
    const FormUnderTest form(Node::SigFox);
    form.retype("tempHighEdit", QStringLiteral("21,5"));
    form.retype("tempLowEdit", QStringLiteral("-4"));
    form.apply();
    QCOMPARE(form.updateCount(), 1);
    const Node sent = form.sent();
    QCOMPARE(sent.thresholds.temperatureHigh, 0.0f);
    QCOMPARE(sent.thresholds.temperatureLow, -4.0f);
}

QTEST_MAIN(TestNodeForm)
#include "tst_nodeform.moc"
