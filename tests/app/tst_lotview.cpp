#include "commissioningjournal.h"
#include "historywindow.h"
#include "lotreportcommand.h"
#include "lotview.h"
#include "prerequisite.h"
#include "testfiles.h"
#include "unitrecordbuilders.h"
#include "unitrecorddialog.h"
#include "unitrecordtext.h"

#include <QApplication>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace QtCharts;
using UnitRecordBuilders::parsed;

namespace {

// A lot of eight records: a unit that passed at its second attempt, failures at three steps, an abandoned and an
// open one; and one unit of another lot.
const QStringList kLot = {
    "70B3D57E00000001 passed 1 0 60",
    "70B3D57E00000002 failed 1 3 30 write/refused",
    "70B3D57E00000002 passed 2 6 50",
    "70B3D57E00000003 failed 1 9 40 verification/mismatch",
    "70B3D57E00000004 failed 1 70 20 write/refused",
    "70B3D57E00000005 failed 1 75 25 firmwareGate/firmwareTooOld",
    "70B3D57E00000006 abandoned 1 80 10",
    "70B3D57E00000007 open 1 85 0",
    "70B3D57E00000008 passed 1 90 45 - L8",
};

QString labelText(QWidget *root, const char *name)
{
    auto *label = root->findChild<QLabel *>(QString::fromLatin1(name));
    return label ? label->text() : QStringLiteral("<no %1>").arg(QString::fromLatin1(name));
}

QStringList column(const QTableWidget *table, int column)
{
    QStringList texts;
    for (int row = 0; row < table->rowCount(); ++row)
        texts << (table->item(row, column) ? table->item(row, column)->text() : QString());
    return texts;
}

QBarSet *paretoBars(const LotView &view)
{
    const auto *series = qobject_cast<QBarSeries *>(view.paretoChart()->series().value(0));
    return series && !series->barSets().isEmpty() ? series->barSets().first() : nullptr;
}

} // namespace

class LotViewTest : public QObject
{
    Q_OBJECT

private slots:
    void figuresShown_data();
    void figuresShown();
    void barListsItsUnits_data();
    void barListsItsUnits();
    void unitOpensItsRecord();
    void rareReasonsShareTheLastBar();
    void historyWindowCountsTheLotChosen_data();
    void historyWindowCountsTheLotChosen();
    void reportWritten();
    void reportRefused_data();
    void reportRefused();
    void reportCommandErrors_data();
    void reportCommandErrors();
    void everyReasonHasOperatorWords_data();
    void everyReasonHasOperatorWords();

private:
    QTemporaryDir directory;
};

void LotViewTest::figuresShown_data()
{
    QTest::addColumn<QString>("lot");
    QTest::addColumn<QStringList>("figures"); // units passed failed abandoned open yield median p95
    QTest::addColumn<int>("bars");

    QTest::newRow("lot L7") << "L7" << QStringList{"8", "2", "4", "1", "1", "14.3 % (1 of 7)", "30 s", "1 min 00 s"}
                            << 3;
    QTest::newRow("lot L8") << "L8" << QStringList{"1", "1", "0", "0", "0", "100.0 % (1 of 1)", "45 s", "45 s"} << 0;
    QTest::newRow("a lot without units") << "L9" << QStringList{"0", "0", "0", "0", "0", "none", "none", "none"} << 0;
}

void LotViewTest::figuresShown()
{
    QFETCH(QString, lot);
    QFETCH(int, bars);
    LotView view;
    LotFilter filter;
    filter.lot = lot;
    view.setRecords(parsed(kLot), filter);
    const QStringList shown = {labelText(&view, "unitsValue"), labelText(&view, "passedValue"),
        labelText(&view, "failedValue"), labelText(&view, "abandonedValue"), labelText(&view, "openValue"),
        labelText(&view, "yieldValue"), labelText(&view, "medianValue"), labelText(&view, "p95Value")};
    QTEST(shown, "figures");
    QBarSet *set = paretoBars(view);
    QVERIFY(set);
    QCOMPARE(set->count(), bars);
}

void LotViewTest::barListsItsUnits_data()
{
    QTest::addColumn<int>("bar");
    QTest::addColumn<QStringList>("units");

    QTest::newRow("refused writes") << 0 << QStringList{"70B3D57E00000002", "70B3D57E00000004"};
    QTest::newRow("firmware too old") << 1 << QStringList{"70B3D57E00000005"};
    QTest::newRow("verification mismatch") << 2 << QStringList{"70B3D57E00000003"};
}

void LotViewTest::barListsItsUnits()
{
    QFETCH(int, bar);
    LotView view;
    LotFilter filter;
    filter.lot = QStringLiteral("L7");
    view.setRecords(parsed(kLot), filter);
    auto *table = view.findChild<QTableWidget *>(QStringLiteral("unitsTable"));
    QVERIFY(table);
    // Before any bar is clicked the list holds every failed unit.
    QCOMPARE(table->rowCount(), 4);
    QBarSet *set = paretoBars(view);
    QVERIFY(set);
    emit set->clicked(bar);
    QTEST(column(table, LotView::UnitColumn), "units");
}

void LotViewTest::unitOpensItsRecord()
{
    LotView view;
    LotFilter filter;
    filter.lot = QStringLiteral("L7");
    view.setRecords(parsed(kLot), filter);
    emit paretoBars(view)->clicked(2); // the verification mismatch
    auto *table = view.findChild<QTableWidget *>(QStringLiteral("unitsTable"));
    QVERIFY(table);
    emit table->cellActivated(0, LotView::UnitColumn);
    UnitRecordDialog *dialog = nullptr;
    QTRY_VERIFY((dialog = view.findChild<UnitRecordDialog *>()) && dialog->isVisible());
    QVERIFY(dialog->windowTitle().contains(QStringLiteral("70B3D57E00000003")));
    auto *steps = dialog->findChild<QTableWidget *>(QStringLiteral("stepsTable"));
    QVERIFY(steps);
    QCOMPARE(steps->rowCount(), 8);
    const QStringList outcomes = column(steps, UnitRecordDialog::OutcomeColumn);
    QCOMPARE(outcomes,
        (QStringList{"passed", "passed", "passed", "passed", "failed", "not reached", "not reached", "not reached"}));
    QCOMPARE(column(steps, UnitRecordDialog::ReasonColumn).at(4), QStringLiteral("read back differs"));
    QCOMPARE(column(steps, UnitRecordDialog::MeasurementsColumn).at(2),
        QStringLiteral("reportRate 600 (60 to 3600, expected 600)"));
    // A step not reached has no time.
    QCOMPARE(column(steps, UnitRecordDialog::DurationColumn).at(5), QString());
    dialog->close();
}

void LotViewTest::rareReasonsShareTheLastBar()
{
    // Eight reasons, the first one twice: five bars of their own, the last three reasons on the sixth.
    QStringList lot = {"U0 failed 1 0 30 read/r0"};
    for (int reason = 0; reason < 8; ++reason)
        lot << QStringLiteral("U%1 failed 1 %1 30 read/r%2").arg(reason + 1).arg(reason);
    LotView view;
    LotFilter filter;
    filter.lot = QStringLiteral("L7");
    view.setRecords(parsed(lot), filter);
    QBarSet *set = paretoBars(view);
    QVERIFY(set);
    QCOMPARE(set->count(), 6);
    QCOMPARE(set->at(0), 2.0);
    QCOMPARE(set->at(5), 3.0);
    emit set->clicked(5);
    auto *table = view.findChild<QTableWidget *>(QStringLiteral("unitsTable"));
    QCOMPARE(column(table, LotView::UnitColumn), (QStringList{"U6", "U7", "U8"}));
}

void LotViewTest::historyWindowCountsTheLotChosen_data()
{
    QTest::addColumn<QString>("lot");
    QTest::addColumn<QString>("units");

    QTest::newRow("all lots") << QString() << "9";
    QTest::newRow("L7") << "L7"
                        << "8";
    QTest::newRow("L8") << "L8"
                        << "1";
}

void LotViewTest::historyWindowCountsTheLotChosen()
{
    QFETCH(QString, lot);
    // The journal gives the window its lots to choose from; the records are handed in.
    const QString journal = directory.filePath(QStringLiteral("journal.jsonl"));
    QVERIFY(writeTestFile(journal,
        "{\"devEui\":\"70B3D57E00000001\",\"event\":\"nodeRead\",\"lot\":\"L7\",\"time\":\"2026-12-08T08:00:00.000Z\"}"
        "\n"
        "{\"devEui\":\"70B3D57E00000008\",\"event\":\"nodeRead\",\"lot\":\"L8\",\"time\":\"2026-12-08T09:30:00.000Z\"}"
        "\n"));
    HistoryWindow window(journal);
    window.resize(1024, 700);
    QTRY_VERIFY(window.isLoaded());
    window.setUnitRecords(parsed(kLot));
    auto *tabs = window.findChild<QTabWidget *>(QStringLiteral("viewTabs"));
    auto *lots = window.findChild<QComboBox *>(QStringLiteral("lotCombo"));
    QVERIFY(tabs && lots);
    tabs->setCurrentIndex(1);
    lots->setCurrentIndex(lot.isEmpty() ? 0 : lots->findData(lot));
    QFETCH(QString, units);
    QTRY_COMPARE(labelText(window.lots(), "unitsValue"), units);
}

void LotViewTest::reportWritten()
{
    const QString target = directory.filePath(QStringLiteral("lot L7.pdf"));
    QCOMPARE(LotReportCommand::write(target, QStringLiteral("L7"), parsed(kLot)), LotReportCommand::kExitSuccess);
    QFile file(target);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.read(5) == "%PDF-");
    file.close();
    if (!qEnvironmentVariableIsEmpty("LOT_REPORT_SAMPLE"))
        QFile::copy(target, qEnvironmentVariable("LOT_REPORT_SAMPLE"));
    const QString pdfinfo = QStandardPaths::findExecutable(QStringLiteral("pdfinfo"));
    const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (pdfinfo.isEmpty() || pdftotext.isEmpty())
        SKIP_OR_FAIL_UNDER_CI("pdfinfo and pdftotext (poppler-utils) are not installed");
    QProcess info;
    info.start(pdfinfo, {target});
    QVERIFY(info.waitForFinished(30000));
    const QByteArray pages = info.readAllStandardOutput();
    QVERIFY2(QRegularExpression(QStringLiteral("\\nPages: +1\\n")).match(QString::fromLatin1(pages)).hasMatch(),
        pages.constData());
    QProcess text;
    text.start(pdftotext, {QStringLiteral("-layout"), target, QStringLiteral("-")});
    QVERIFY(text.waitForFinished(30000));
    // pdftotext gives the typesetter's ligatures ("ﬁ") as they are drawn.
    const QString content
        = QString::fromUtf8(text.readAllStandardOutput()).normalized(QString::NormalizationForm_KC).simplified();
    for (const char *expected :
        {"Lot report: L7", "Units: 8 (7 distinct) Passed: 2 Failed: 4 Abandoned: 1 Still open: 1",
            "First-pass yield: 14.3 % (1 of 7", "median 30 s, 95th percentile 1 min 00 s", "Failed units: 4",
            "70B3D57E00000005", "Firmware check: firmware too old"})
        QVERIFY2(content.contains(QLatin1String(expected)), expected);
}

void LotViewTest::reportRefused_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("lot");
    QTest::addColumn<QString>("pointsTo"); // what the target is made a link to, if anything
    QTest::addColumn<int>("exitCode");

    const int bad = LotReportCommand::kExitBadArgument;
    QTest::newRow("a lot without units") << "empty.pdf"
                                         << "L9" << QString() << int(LotReportCommand::kExitNoUnits);
    QTest::newRow("a directory that does not exist") << "missing/report.pdf"
                                                     << "L7" << QString() << bad;
    // Written beside and renamed over its target, a report must not replace what a link points to.
    QTest::newRow("a link to a pipe") << "pipe.pdf"
                                      << "L7"
                                      << "fifo" << bad;
    QTest::newRow("a link to the journal") << "journal.pdf"
                                           << "L7"
                                           << "journal.jsonl" << bad;
}

void LotViewTest::reportRefused()
{
    QFETCH(QString, target);
    QFETCH(QString, lot);
    QFETCH(QString, pointsTo);
    target = directory.filePath(target);
    const QString journal = directory.filePath(QStringLiteral("journal.jsonl"));
    QVERIFY(writeTestFile(journal, "{}\n"));
    QString linked;
    if (!pointsTo.isEmpty()) {
        linked = directory.filePath(pointsTo);
        if (pointsTo == QLatin1String("fifo"))
            QVERIFY(QFile::exists(linked) || mkfifo(QFile::encodeName(linked).constData(), 0600) == 0);
        QFile::remove(target);
        QVERIFY(QFile::link(linked, target));
    }
    QTEST(LotReportCommand::write(target, lot, parsed(kLot), journal), "exitCode");
    if (linked.isEmpty()) {
        QVERIFY(!QFile::exists(target));
    } else {
        // The link and what it points to are as they were.
        QCOMPARE(QFileInfo(target).symLinkTarget(), linked);
        QVERIFY(!QFileInfo(linked).isFile() || QFileInfo(linked).size() == 3);
    }
}

void LotViewTest::reportCommandErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");

    const int usage = LotReportCommand::kExitBadArgument;
    QTest::newRow("no lot") << QStringList{"--report", "OUT.pdf", "--journal", "JOURNAL"} << usage
                            << "--report needs the lot";
    QTest::newRow("not a PDF") << QStringList{"--report", "OUT.txt", "--lot", "L7", "--journal", "JOURNAL"} << usage
                               << "must end in .pdf";
    QTest::newRow("with a date") << QStringList{"--report", "OUT.pdf", "--lot", "L7", "--since", "2026-12-01"} << usage
                                 << "--since does not go with --report";
    QTest::newRow("no journal") << QStringList{"--report", "OUT.pdf", "--lot", "L7", "--journal", "NOWHERE"} << usage
                                << "cannot read the journal";
    QTest::newRow("no units in the lot") << QStringList{"--report", "OUT.pdf", "--lot", "L9", "--journal", "JOURNAL"}
                                         << int(LotReportCommand::kExitNoUnits) << "no units in lot L9";
}

void LotViewTest::reportCommandErrors()
{
    QFETCH(QStringList, arguments);
    const QString program = qEnvironmentVariable("IOT_BIN_DIR") + QStringLiteral("/iot_commission");
    if (!QFile::exists(program))
        SKIP_OR_FAIL_UNDER_CI("iot_commission is not built");
    const QString journal = directory.filePath(QStringLiteral("journal.jsonl"));
    QVERIFY(writeTestFile(journal,
        "{\"devEui\":\"70B3D57E00000001\",\"event\":\"nodeRead\",\"lot\":\"L7\",\"time\":\"2026-12-08T08:00:00.000Z\"}"
        "\n"));
    for (QString &argument : arguments) {
        if (argument == QLatin1String("JOURNAL"))
            argument = journal;
        else if (argument == QLatin1String("NOWHERE"))
            argument = directory.filePath(QStringLiteral("none/journal.jsonl"));
        else if (argument.startsWith(QLatin1String("OUT.")))
            argument = directory.filePath(argument);
    }
    QProcess tool;
    // As on a server: no display, no platform named; the report draws offscreen by itself.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *variable : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        environment.remove(QString::fromLatin1(variable));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), directory.filePath(QStringLiteral("data")));
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    tool.setProcessEnvironment(environment);
    tool.start(program, arguments);
    QVERIFY(tool.waitForFinished(30000));
    QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
    const QByteArray errors = tool.readAllStandardError();
    QFETCH(int, exitCode);
    QVERIFY2(tool.exitCode() == exitCode, errors.constData());
    QFETCH(QString, message);
    QVERIFY2(QString::fromLocal8Bit(errors).contains(message), errors.constData());
    QVERIFY(!QFile::exists(directory.filePath(QStringLiteral("OUT.pdf"))));
}

void LotViewTest::everyReasonHasOperatorWords_data()
{
    QTest::addColumn<QString>("step");
    QTest::addColumn<QString>("reason");
    // The words a record keeps for a failed step or a unit that left: the journal's and the derivation's own.
    const struct
    {
        const char *step;
        const char *reason;
    } reasons[] = {{"read", "keyMismatch"}, {"read", CommissioningJournal::kReasonUnknownType},
        {"read", CommissioningJournal::kReasonNoIdentity}, {"firmwareGate", "firmwareTooOld"},
        {"write", CommissioningJournal::kReasonRefused}, {"write", CommissioningJournal::kReasonInvalidValue},
        {"write", CommissioningJournal::kReasonNoPort}, {"write", CommissioningJournal::kReasonInterrupted},
        {"write", "timedOut"}, {"write", "unknown"}, {"verification", "mismatch"}, {"verification", "notReadBack"},
        {"labelCheck", "mismatch"}, {"registration", "refused"}, {"", CommissioningJournal::kLeftPortLost},
        {"", CommissioningJournal::kLeftReset}, {"", CommissioningJournal::kLeftDisconnected},
        {"", CommissioningJournal::kLeftSetAside}, {"", "nextNode"}};
    for (const auto &row : reasons)
        QTest::addRow("%s %s", row.step, row.reason)
            << QString::fromLatin1(row.step) << QString::fromLatin1(row.reason);
}

void LotViewTest::everyReasonHasOperatorWords()
{
    QFETCH(QString, step);
    QFETCH(QString, reason);
    const QString words = UnitRecordText::reasonWords(step, reason);
    QVERIFY2(!words.isEmpty() && words != reason, qPrintable(words));
    // A text only the node gave is shown as it came.
    QCOMPARE(
        UnitRecordText::reasonWords(step, QStringLiteral("value out of range")), QStringLiteral("value out of range"));
}

QTEST_MAIN(LotViewTest)
#include "tst_lotview.moc"
