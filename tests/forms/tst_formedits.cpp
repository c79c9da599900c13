// What the operator can put into each form's edits: which edits take input at all, the validator and mask
// each one has, and what typed or pasted input of the wrong kind turns into.

#include "formundertest.h"
#include "reportratevalidator.h"

#include <QDoubleValidator>
#include <QIntValidator>
#include <QTest>

#include <limits>
#include <memory>

namespace {

int formType(const char *className)
{
    for (const FormCase &form : allFormCases()) {
        if (qstrcmp(form.className, className) == 0)
            return int(form.type);
    }
    return -1;
}

// How the operator puts text into an edit, and where: over the whole text or at a cursor position.
enum Entry { Typed, Pasted };
const int kWholeText = -1;

} // namespace

class TestFormEdits : public QObject
{
    Q_OBJECT

private slots:
    void onlyListedEditsTakeInput_data();
    void onlyListedEditsTakeInput();
    void lowAccelerometerEditStaysDisabledAndEmpty_data();
    void lowAccelerometerEditStaysDisabledAndEmpty();

    void eachEditHasTheValidatorOfItsMeaning_data();
    void eachEditHasTheValidatorOfItsMeaning();
    void identifierAndReportRateEditsKeepTheirMasks_data();
    void identifierAndReportRateEditsKeepTheirMasks();

    void enteredInputIsRefusedOrConverted_data();
    void enteredInputIsRefusedOrConverted();

    void reportRateValidatorJudgesTheTextTheEditReports_data();
    void reportRateValidatorJudgesTheTextTheEditReports();
};

void TestFormEdits::onlyListedEditsTakeInput_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QStringList>("enabledEdits");
    for (const FormCase &form : allFormCases()) {
        QStringList enabled = form.listedEdits;
        // The SigFox 5D form enables its lock description on its own, outside the list.
        if (form.type == Node::SigFox5D)
            enabled << QStringLiteral("lockDescriptionEdit");
        QTest::newRow(form.className) << int(form.type) << enabled;
    }
}

void TestFormEdits::onlyListedEditsTakeInput()
{
    QFETCH(int, type);
    QFETCH(QStringList, enabledEdits);
    const FormUnderTest form(type);
    QStringList enabled;
    for (QLineEdit *edit : form->findChildren<QLineEdit *>()) {
        if (edit->isEnabled())
            enabled << edit->objectName();
    }
    enabled.sort();
    enabledEdits.sort();
    QCOMPARE(enabled, enabledEdits);
}

void TestFormEdits::lowAccelerometerEditStaysDisabledAndEmpty_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("hasAccelerometerRow");
    for (const FormCase &form : allFormCases())
        QTest::newRow(form.className) << int(form.type) << form.listedEdits.contains("accHighEdit");
}

void TestFormEdits::lowAccelerometerEditStaysDisabledAndEmpty()
{
    QFETCH(int, type);
    QFETCH(bool, hasAccelerometerRow);
    const FormUnderTest form(type);
    QLineEdit *accLow = form.edit("accLowEdit");
    QCOMPARE(accLow != nullptr, hasAccelerometerRow);
    if (accLow) {
        QVERIFY(!accLow->isEnabled());
        QVERIFY(accLow->text().isEmpty());
    }
}

void TestFormEdits::eachEditHasTheValidatorOfItsMeaning_data()
{
    addEditColumns<QString>("kind");
    QTest::addColumn<int>("bottom");
    QTest::addColumn<int>("top");

    const int intMin = std::numeric_limits<int>::min();
    const int intMax = std::numeric_limits<int>::max();
    const int maxMinutes = 35791; // the largest rate whose milliseconds fit a 32-bit int
    // One letter per listed edit, in the form's order: '-' no validator, 'I' any int, 'i' an int from -100 to
    // 100, 'd' two decimals from -100 to 100, 'r' whole minutes of report rate. Identifiers take no validator
    // (their masks take hex), the report rate whole minutes, pressure and acceleration two decimals; the other
    // thresholds follow their place in the form's list.
    const QHash<QString, QString> kinds = {
        {"FormPellimar", "----IIdddddr"},
        {"FormLoRaOTAA", "---iiiddddr"},
        {"FormPellimar5d", "----IIddr"},
        {"FormLoRaOTAA5d", "---iiidr"},
        {"FormSigFox", "--iiidddr"},
        {"FormSigFox5d", "--iir"},
    };
    for (const FormCase &form : allFormCases()) {
        const QString formKinds = kinds.value(QLatin1String(form.className));
        QCOMPARE(formKinds.size(), form.listedEdits.size());
        for (int i = 0; i < formKinds.size(); ++i) {
            const QString &edit = form.listedEdits.at(i);
            const auto row
                = [&](const char *kind, int bottom, int top) { addEditRow(form, edit) << kind << bottom << top; };
            switch (formKinds.at(i).toLatin1()) {
            case 'I':
                row("int", intMin, intMax);
                break;
            case 'i':
                row("int", -100, 100);
                break;
            case 'd':
                row("double", -100, 100);
                break;
            case 'r':
                row("int", 0, maxMinutes);
                break;
            default:
                row("none", 0, 0);
            }
        }
    }
    // Outside the list: the SigFox 5D form's lock description takes any text.
    QTest::newRow("FormSigFox5d lockDescriptionEdit")
        << int(Node::SigFox5D) << QStringLiteral("lockDescriptionEdit") << "none" << 0 << 0;
}

void TestFormEdits::eachEditHasTheValidatorOfItsMeaning()
{
    QFETCH(int, type);
    QFETCH(QString, editName);
    QFETCH(QString, kind);
    QFETCH(int, bottom);
    QFETCH(int, top);
    const FormUnderTest form(type);
    QLineEdit *edit = form.edit(editName);
    QVERIFY(edit);
    const QValidator *validator = edit->validator();

    if (kind == QLatin1String("none")) {
        QVERIFY(!validator);
    } else if (kind == QLatin1String("int")) {
        const auto *intValidator = qobject_cast<const QIntValidator *>(validator);
        QVERIFY(intValidator);
        QCOMPARE(intValidator->bottom(), bottom);
        QCOMPARE(intValidator->top(), top);
    } else {
        const auto *doubleValidator = qobject_cast<const QDoubleValidator *>(validator);
        QVERIFY(doubleValidator);
        QCOMPARE(doubleValidator->bottom(), double(bottom));
        QCOMPARE(doubleValidator->top(), double(top));
        QCOMPARE(doubleValidator->decimals(), 2);
        QCOMPARE(doubleValidator->locale().language(), QLocale::C);
        QVERIFY(doubleValidator->locale().numberOptions() & QLocale::RejectGroupSeparator);
    }
    // Each validator belongs to its edit, so it goes with it.
    if (validator)
        QCOMPARE(validator->parent(), edit);
}

void TestFormEdits::identifierAndReportRateEditsKeepTheirMasks_data()
{
    addEditColumns<QString>("mask");
    for (const FormCase &form : allFormCases()) {
        const auto row = [&](const char *edit, const char *mask) { addEditRow(form, edit) << mask; };
        if (!Node::isSigfoxType(form.type)) {
            row("appIDEdit", ">HH-HH-HH-HH-HH-HH-HH-HH");
            row("appKeyEdit", ">HH HH HH HH HH HH HH HH HH HH HH HH HH HH HH HH");
        }
        if (form.listedEdits.contains("netIDEdit"))
            row("netIDEdit", ">HHHHHHHH");
        row("reportRateEdit", ">HHHHHHHH");
        row("lockDescriptionEdit", "");
        row("tempHighEdit", "");
    }
}

void TestFormEdits::identifierAndReportRateEditsKeepTheirMasks()
{
    QFETCH(int, type);
    QFETCH(QString, editName);
    QFETCH(QString, mask);
    const FormUnderTest form(type);
    QCOMPARE(form.edit(editName)->inputMask(), mask);
}

void TestFormEdits::enteredInputIsRefusedOrConverted_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("editName");
    QTest::addColumn<int>("entry");
    QTest::addColumn<int>("cursor");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("text");
    const auto row = [](Entry entry, int cursor, const char *name, const char *form, const char *edit, const char *keys,
                         const char *text) {
        const char *how = entry == Pasted ? "pasted" : cursor == kWholeText ? "typed" : "typed into the shown value";
        QTest::addRow("%s, %s: %s", how, form, name) << formType(form) << edit << int(entry) << cursor << keys << text;
    };
    // Identifiers: hex digits in either case, upper-cased by the mask, cut at their length.
    row(Typed, kWholeText, "hex letters in the network id", "FormPellimar", "netIDEdit", "00ab12cd", "00AB12CD");
    row(Typed, kWholeText, "hex letters in the network id", "FormPellimar5d", "netIDEdit", "FFFFFFFF", "FFFFFFFF");
    row(Typed, kWholeText, "over-long network id", "FormPellimar", "netIDEdit", "1234567890", "12345678");
    row(Typed, kWholeText, "non-hex in the network id", "FormPellimar", "netIDEdit", "12g4z", "124");
    row(Typed, kWholeText, "lower-case app id", "FormLoRaOTAA", "appIDEdit", "a1b2c3d4e5f60708",
        "A1-B2-C3-D4-E5-F6-07-08");
    // An unfilled masked edit reports its remaining separators; apply removes them.
    row(Typed, kWholeText, "typed blanks in the app id", "FormPellimar", "appIDEdit", "a1 b2 c3", "A1-B2-C3-----");
    row(Typed, kWholeText, "over-long app id", "FormLoRaOTAA5d", "appIDEdit", "00112233445566778899",
        "00-11-22-33-44-55-66-77");
    row(Typed, kWholeText, "hex letters in the app key", "FormLoRaOTAA", "appKeyEdit", "abcdef",
        "AB CD EF             ");
    row(Typed, kWholeText, "hex letters in the app key", "FormPellimar", "appKeyEdit",
        "ffffffffffffffffffffffffffffffff", "FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF");
    // Report rate: whole minutes, far beyond 100, nothing the node cannot take as milliseconds.
    row(Typed, kWholeText, "rate above 100 minutes", "FormPellimar", "reportRateEdit", "1440", "1440");
    row(Typed, kWholeText, "rate above 100 minutes", "FormSigFox5d", "reportRateEdit", "720", "720");
    row(Typed, kWholeText, "largest rate", "FormLoRaOTAA", "reportRateEdit", "35791", "35791");
    row(Typed, kWholeText, "rate whose milliseconds overflow", "FormLoRaOTAA", "reportRateEdit", "35792", "3579");
    row(Typed, kWholeText, "hex letter in the rate", "FormSigFox", "reportRateEdit", "1a5", "15");
    row(Typed, kWholeText, "sign in the rate", "FormPellimar5d", "reportRateEdit", "-5", "5");
    row(Typed, kWholeText, "decimal point in the rate", "FormLoRaOTAA5d", "reportRateEdit", "2.5", "25");
    // Decimal thresholds: a point only, two decimals at most.
    row(Typed, kWholeText, "decimal comma in pressure", "FormPellimar", "pressureHighEdit", "2,5", "25");
    row(Typed, kWholeText, "third decimal in pressure", "FormLoRaOTAA", "pressureLowEdit", "1.234", "1.23");
    row(Typed, kWholeText, "decimals in pressure", "FormSigFox", "pressureHighEdit", "2.57", "2.57");
    row(Typed, kWholeText, "group separator in humidity", "FormPellimar5d", "humidityLowEdit", "1,000", "1000");
    row(Typed, kWholeText, "letters in acceleration", "FormSigFox", "accHighEdit", "1x.5", "1.5");
    // Whole-number thresholds.
    row(Typed, kWholeText, "decimal point in temperature", "FormLoRaOTAA", "tempHighEdit", "2.5", "25");
    row(Typed, kWholeText, "letters in temperature", "FormPellimar", "tempLowEdit", "-1o5", "-15");
    row(Typed, kWholeText, "large temperature where any int goes", "FormPellimar", "tempHighEdit", "100000", "100000");
    // The lock description takes any text.
    row(Typed, kWholeText, "free text description", "FormLoRaOTAA", "lockDescriptionEdit", "Door 3, east wing",
        "Door 3, east wing");

    // A complete network id of digits is where a number validator would start refusing letters.
    row(Typed, 6, "letters over the digits of the network id", "FormPellimar", "netIDEdit", "ab", "000000AB");
    row(Typed, 0, "letters over the digits of the network id", "FormPellimar5d", "netIDEdit", "c", "C0000013");
    row(Typed, 0, "letters over the digits of the app key", "FormLoRaOTAA", "appKeyEdit", "ff",
        "FF 7E 15 16 28 AE D2 A6 AB F7 15 88 09 CF 4F 3C");
    row(Typed, 2, "rate grown beyond 100 minutes", "FormLoRaOTAA", "reportRateEdit", "00", "1500");
    row(Typed, 2, "rate grown beyond the largest", "FormSigFox", "reportRateEdit", "000", "15000");
    row(Typed, 2, "letter after the rate", "FormPellimar", "reportRateEdit", "e", "15");
    row(Typed, 3, "decimals after the pressure", "FormPellimar", "pressureLowEdit", "55", "2.55");

    // A validated edit takes a paste whole or not at all; the rest as typed.
    row(Pasted, kWholeText, "app id with blanks", "FormLoRaOTAA", "appIDEdit", "00 04 a3 0b 00 1c 0a 00",
        "00-04-A3-0B-00-1C-0A-00");
    row(Pasted, kWholeText, "app id with colons", "FormPellimar", "appIDEdit", "00:04:A3:0B:00:1C:0A:00",
        "00-04-A3-0B-00-1C-0A-00");
    row(Pasted, kWholeText, "app key without blanks", "FormLoRaOTAA5d", "appKeyEdit",
        "2b7e151628aed2a6abf7158809cf4f3c", "2B 7E 15 16 28 AE D2 A6 AB F7 15 88 09 CF 4F 3C");
    row(Pasted, kWholeText, "network id with a blank", "FormPellimar", "netIDEdit", "0000 0013", "00000013");
    row(Pasted, kWholeText, "rate with blanks", "FormSigFox", "reportRateEdit", " 60 ", "60");
    row(Pasted, kWholeText, "temperature with a blank", "FormLoRaOTAA", "tempHighEdit", "1 5", "");
    row(Pasted, kWholeText, "pressure with a decimal comma", "FormLoRaOTAA", "pressureHighEdit", "2,5", "");
    row(Pasted, kWholeText, "pressure in scientific notation", "FormPellimar", "pressureLowEdit", "2.5e1", "2.5e1");
}

void TestFormEdits::enteredInputIsRefusedOrConverted()
{
    QFETCH(int, type);
    QFETCH(QString, editName);
    QFETCH(int, entry);
    QFETCH(int, cursor);
    QFETCH(QString, keys);
    QFETCH(QString, text);
    const FormUnderTest form(type);
    QLineEdit *edit = form.edit(editName);
    if (entry == Pasted) {
        edit->clear();
        // What QLineEdit::paste() does with the clipboard text, without depending on a clipboard.
        edit->insert(keys);
    } else if (cursor == kWholeText) {
        retype(edit, keys);
    } else {
        edit->setCursorPosition(cursor);
        QTest::keyClicks(edit, keys);
    }
    QCOMPARE(edit->text(), text);
}

void TestFormEdits::reportRateValidatorJudgesTheTextTheEditReports_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<int>("state");
    // Masked text arrives padded with blanks.
    QTest::newRow("padded rate") << "15      " << int(QValidator::Acceptable);
    QTest::newRow("nothing typed") << "        " << int(QValidator::Intermediate);
    QTest::newRow("empty") << "" << int(QValidator::Intermediate);
    QTest::newRow("zero") << "0" << int(QValidator::Acceptable);
    QTest::newRow("largest") << "35791   " << int(QValidator::Acceptable);
    QTest::newRow("one more") << "35792   " << int(QValidator::Invalid);
    QTest::newRow("eight digits") << "99999999" << int(QValidator::Invalid);
    QTest::newRow("hex letter") << "1A      " << int(QValidator::Invalid);
    QTest::newRow("minus") << "-1      " << int(QValidator::Invalid);
    QTest::newRow("gap left by the cursor") << "1 5     " << int(QValidator::Acceptable);
}

void TestFormEdits::reportRateValidatorJudgesTheTextTheEditReports()
{
    QFETCH(QString, input);
    QFETCH(int, state);
    ReportRateValidator validator;
    int position = 0;
    QCOMPARE(int(validator.validate(input, position)), state);
}

QTEST_MAIN(TestFormEdits)
#include "tst_formedits.moc"
