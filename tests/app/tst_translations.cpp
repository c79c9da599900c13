#include "apptestsupport.h"
#include "dialogdriver.h"
#include "historytablemodel.h"
#include "mainwindow.h"
#include "nodeform.h"
#include "nodeinterface.h"
#include "translationloader.h"
#include "windowwaits.h"
#include "writeverification.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QRegularExpression>
#include <QStatusBar>
#include <QXmlStreamReader>

#include <memory>

namespace {

// One message of a Qt Linguist file as the translator left it.
struct TsMessage
{
    QString context;
    QString source;
    QString comment;
    bool numerus = false;
    QString translationType; // "unfinished", "vanished", "obsolete" or empty for a finished one
    QStringList forms; // the translation, or its plural forms
};

QVector<TsMessage> readTs(const QString &path, QString *error)
{
    QVector<TsMessage> messages;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return messages;
    }
    QXmlStreamReader xml(&file);
    QString context;
    TsMessage message;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement()) {
            if (xml.isEndElement() && xml.name() == QLatin1String("message"))
                messages.append(message);
            continue;
        }
        const QStringRef name = xml.name();
        if (name == QLatin1String("name")) {
            context = xml.readElementText();
        } else if (name == QLatin1String("message")) {
            message = TsMessage();
            message.context = context;
            message.numerus = xml.attributes().value(QLatin1String("numerus")) == QLatin1String("yes");
        } else if (name == QLatin1String("source")) {
            message.source = xml.readElementText();
        } else if (name == QLatin1String("comment")) {
            message.comment = xml.readElementText();
        } else if (name == QLatin1String("translation")) {
            message.translationType = xml.attributes().value(QLatin1String("type")).toString();
            if (!message.numerus)
                message.forms << xml.readElementText();
        } else if (name == QLatin1String("numerusform")) {
            message.forms << xml.readElementText();
        }
    }
    if (xml.hasError())
        *error = xml.errorString();
    return messages;
}

// The placeholders a text fills in (%1, %2, %n), each once, sorted.
QStringList placeholders(const QString &text)
{
    static const QRegularExpression placeholder(QStringLiteral("%(?:\\d+|n)"));
    QStringList found;
    auto it = placeholder.globalMatch(text);
    while (it.hasNext())
        found << it.next().captured();
    found.removeDuplicates();
    found.sort();
    return found;
}

QString withoutMnemonic(QString title)
{
    return title.remove(QLatin1Char('&'));
}

const char kGermanTs[] = IOT_TRANSLATIONS_DIR "/iot_commission_de.ts";

} // namespace

class TranslationsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void windowSpeaksGermanUnderGermanLocale();
    void stateMessagesFitTheWindow_data();
    void stateMessagesFitTheWindow();
    void germanTranslationIsCompleteAndKeepsPlaceholders();
    void builtInTranslationMatchesTheTsFile();
    void historyCellsSpeakGerman_data();
    void historyCellsSpeakGerman();
    void englishLocaleKeepsTheSourceTexts();
    void germanFormsAndAboutBoxSpeakGerman();
};

void TranslationsTest::initTestCase()
{
    // The way the program starts, with the locale a German desktop reports.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QVERIFY(TranslationLoader::install(QLocale()));
}

void TranslationsTest::germanFormsAndAboutBoxSpeakGerman()
{
    // The LoRa forms' identity labels, generated from the form files.
    std::unique_ptr<NodeForm> form(NodeForm::create(sampleNode(Node::LoRaOTAA5D), nullptr));
    QVERIFY(form);
    QStringList labels;
    for (QLabel *label : form->findChildren<QLabel *>())
        labels << label->text();
    QVERIFY2(labels.contains(QStringLiteral("Anwendungs-ID:")), qPrintable(labels.join(QLatin1String(" | "))));
    QVERIFY2(labels.contains(QStringLiteral("Anw.-Schlüssel:")), qPrintable(labels.join(QLatin1String(" | "))));

    // A write that did not come back as written names the settings as the form does, in German.
    const QList<WriteVerification::Mismatch> mismatches = {
        {Node::FlagTemperature, QStringLiteral("temperature"), QStringLiteral("-10 to 50"), QStringLiteral("0 to 30")}};
    QCOMPARE(WriteVerification::describeForOperator(mismatches),
        QStringLiteral("Temperatur geschrieben -10 to 50, gelesen 0 to 30"));

    // The About box gives the build date as German dates are written: day, month and the whole year.
    MainWindow window;
    DialogDriver driver;
    IOT_OPEN_ABOUT_BOX(window, driver);
    const auto boxes = driver.recordsOf(QStringLiteral("message"));
    QCOMPARE(boxes.size(), 1);
    const QRegularExpression german(QStringLiteral("\\nErstellt am: [0-3][0-9]\\.[01][0-9]\\.20[0-9]{2} [0-2][0-9]:"));
    QVERIFY2(german.match(boxes[0].text).hasMatch(), qPrintable(boxes[0].text));

    // The link's reason for a device that went away is said in German too.
    auto *link = window.findChild<NodeInterface *>();
    QVERIFY(link);
    emit link->serialPortFailed(QStringLiteral("/dev/ttyACM7"), QStringLiteral("The device is no longer connected"));
    QTRY_COMPARE(namedChild<QStatusBar>(&window, "statusBar")->currentMessage(),
        QStringLiteral("Serielle Schnittstelle konnte nicht geöffnet werden: /dev/ttyACM7: Das Gerät ist nicht mehr "
                       "angeschlossen"));
}

void TranslationsTest::windowSpeaksGermanUnderGermanLocale()
{
    MainWindow window;
    auto *settingsMenu = namedChild<QMenu>(&window, "menuSettings");
    auto *helpMenu = namedChild<QMenu>(&window, "menuHelp");
    QVERIFY(settingsMenu && helpMenu);
    QCOMPARE(withoutMnemonic(settingsMenu->title()), QStringLiteral("Einstellungen"));
    QCOMPARE(withoutMnemonic(helpMenu->title()), QStringLiteral("Hilfe"));

    QStringList entries;
    for (QAction *action : settingsMenu->actions()) {
        if (!action->isSeparator())
            entries << withoutMnemonic(action->text());
    }
    QVERIFY2(entries.contains(QStringLiteral("ORVA-Server")), qPrintable(entries.join(QLatin1String(" | "))));
    QVERIFY2(entries.contains(QStringLiteral("Erneut anmelden")), qPrintable(entries.join(QLatin1String(" | "))));
    QVERIFY2(entries.contains(QStringLiteral("Beenden")), qPrintable(entries.join(QLatin1String(" | "))));

    // The idle state label is set by the code, not by the form file.
    auto *stateLabel = namedChild<QLabel>(&window, "stateLabel");
    QVERIFY(stateLabel);
    QCOMPARE(stateLabel->text(), QStringLiteral("Verbundenen Knoten zurücksetzen"));
    auto *profileLabel = namedChild<QLabel>(&window, "profileLabel");
    QVERIFY(profileLabel);
    QCOMPARE(profileLabel->text(), QStringLiteral("Kein Profil"));
}

void TranslationsTest::stateMessagesFitTheWindow_data()
{
    QTest::addColumn<QString>("source");
    for (const char *text : {"Reset Node while connected", "Apply FAILED\nReset Node", "Update Success\nPlease Wait...",
             "Apply Timed out\nReset Node", "Node Sleeping\nConnect another and reset.",
             "Connect Timed out\nReset Node", "Node not configured\nTry another Node",
             "Firmware too old\nSet node aside", "Node key does not match\nCheck the tool's node key",
             "Not logged in\nLog in again", "Port unavailable\n", "Waiting for the node's port\nto come back\n"})
        QTest::newRow(text) << QString::fromLatin1(text);
}

void TranslationsTest::stateMessagesFitTheWindow()
{
    // Each line of a state message fits the window at its first size; a longer one would break mid-message.
    QFETCH(QString, source);
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *stateLabel = namedChild<QLabel>(&window, "stateLabel");
    QVERIFY(stateLabel);
    const QByteArray sourceText = source.toUtf8();
    const QString shown = QCoreApplication::translate("StationView", sourceText.constData());
    QVERIFY(shown != source);
    const int room = stateLabel->contentsRect().width();
    for (const QString &line : shown.split(QLatin1Char('\n'))) {
        const int needed = stateLabel->fontMetrics().horizontalAdvance(line);
        QVERIFY2(
            needed <= room, qPrintable(QStringLiteral("\"%1\" needs %2 px of %3").arg(line).arg(needed).arg(room)));
    }
}

void TranslationsTest::germanTranslationIsCompleteAndKeepsPlaceholders()
{
    QString error;
    const QVector<TsMessage> messages = readTs(QString::fromLatin1(kGermanTs), &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QVERIFY(!messages.isEmpty());
    QStringList faults;
    for (const TsMessage &message : messages) {
        const QString where = message.context + QStringLiteral(" / \"") + message.source + QLatin1Char('"');
        if (!message.translationType.isEmpty())
            faults << where + QStringLiteral(": ") + message.translationType;
        // German has a singular and a plural.
        if (message.forms.size() != (message.numerus ? 2 : 1))
            faults << where + QStringLiteral(": %1 forms").arg(message.forms.size());
        for (const QString &form : message.forms) {
            if (form.isEmpty())
                faults << where + QStringLiteral(": empty translation");
            // A lost %1 would drop what the operator needs to see (a port, a status, a file name).
            const QStringList expected = placeholders(message.source);
            if (placeholders(form) != expected)
                faults << where
                        + QStringLiteral(": placeholders %1 in \"%2\"").arg(expected.join(QLatin1Char(',')), form);
        }
    }
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
}

void TranslationsTest::builtInTranslationMatchesTheTsFile()
{
    // The program carries what lrelease made of the .ts: every finished text is found under its context.
    QString error;
    const QVector<TsMessage> messages = readTs(QString::fromLatin1(kGermanTs), &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QStringList stale;
    for (const TsMessage &message : messages) {
        if (message.numerus || message.forms.isEmpty())
            continue;
        const QByteArray context = message.context.toUtf8();
        const QByteArray source = message.source.toUtf8();
        const QByteArray comment = message.comment.toUtf8();
        const QString shown = QCoreApplication::translate(
            context.constData(), source.constData(), comment.isEmpty() ? nullptr : comment.constData());
        if (shown != message.forms.constFirst())
            stale << message.context + QStringLiteral(" / ") + message.source;
    }
    QVERIFY2(stale.isEmpty(), qPrintable(stale.join(QLatin1Char('\n'))));
    QCOMPARE(QCoreApplication::translate("HistoryWindow", "%n node(s) shown", nullptr, 3),
        QStringLiteral("3 Knoten angezeigt"));
    QCOMPARE(QCoreApplication::translate("JournalExportCommand", "exported %n row(s) to %1", nullptr, 1),
        QStringLiteral("1 Zeile nach %1 exportiert"));
}

void TranslationsTest::englishLocaleKeepsTheSourceTexts()
{
    // English is the language the texts are written in: there is nothing to load for it.
    QVERIFY(!TranslationLoader::install(QLocale(QLocale::English, QLocale::UnitedStates)));
}

void TranslationsTest::historyCellsSpeakGerman_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("german");

    QTest::newRow("no verification") << int(HistoryTableModel::VerificationColumn) << QStringLiteral("keine");
    QTest::newRow("label of another node")
        << int(HistoryTableModel::LabelColumn) << QStringLiteral("stimmt nicht überein");
    QTest::newRow("write that timed out")
        << int(HistoryTableModel::WritesColumn) << QStringLiteral("reportRate: Zeitüberschreitung");
    QTest::newRow("registration waiting")
        << int(HistoryTableModel::RegistrationColumn) << QStringLiteral("wartet (503)");
}

void TranslationsTest::historyCellsSpeakGerman()
{
    QFETCH(int, column);
    HistoryRow row;
    row.identifier = QStringLiteral("70B3D57ED0000A01");
    row.verification = QStringLiteral("none");
    row.labelCheck = QStringLiteral("does not match");
    row.writes = QStringLiteral("reportRate: timed out");
    row.writeResults = {{QStringLiteral("reportRate"), 3}};
    row.registration = QStringLiteral("waiting");
    row.registrationStatus = 503;
    HistoryTableModel model;
    model.setRows({row});
    QTEST(model.data(model.index(0, column)).toString(), "german");
}

IOT_APP_TEST_MAIN(TranslationsTest)
#include "tst_translations.moc"
