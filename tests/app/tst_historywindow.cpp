#include "historytablemodel.h"
#include "historywindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

const int kLoadTimeoutMs = 10000;

template <class T> T *namedChild(QObject *root, const char *name)
{
    return root->findChild<T *>(QString::fromLatin1(name));
}

const char kJournal[]
    = "{\"devEui\":\"70B3D57ED0000A01\",\"event\":\"nodeRead\",\"lot\":\"L1\",\"time\":\"2026-12-08T17:07:21.488Z\","
      "\"type\":2,\"typeName\":\"LoRa OTAA\",\"nodeVersion\":\"v2.4.1\",\"moduleVersion\":\"1.4\","
      "\"loraVersion\":\"4.2.1\"}\n"
      "{\"devEui\":\"70B3D57ED0000A01\",\"event\":\"settingsWritten\",\"flags\":[\"reportRate\"],\"lot\":\"L1\","
      "\"result\":2,\"time\":\"2026-12-08T17:07:30.102Z\"}\n"
      "{\"devEui\":\"70B3D57ED0000A01\",\"event\":\"registration\",\"lot\":\"L1\",\"status\":200,"
      "\"time\":\"2026-12-08T17:07:40.000Z\"}\n"
      "{\"event\":\"nodeRead\",\"sigfoxId\":\"C0FFEE\",\"time\":\"2026-12-09T09:00:00.000Z\",\"type\":3,"
      "\"typeName\":\"SigFox\"}\n"
      "{\"devEui\":\"0004A30B001C0A00\",\"event\":\"nodeRead\",\"lot\":\"L2\",\"time\":\"2026-12-10T10:00:00.000Z\","
      "\"type\":1,\"typeName\":\"Pellimar\"}\n"
      "{\"devEui\":\"0004A30B001C0A00\",\"event\":\"registration\",\"lot\":\"L2\",\"status\":503,\"time\":\"2026-1";

QStringList identifiers(const HistoryTableModel *model)
{
    QStringList result;
    for (int row = 0; row < model->rowCount(); ++row)
        result << model->index(row, HistoryTableModel::IdentifierColumn).data().toString();
    return result;
}

} // namespace

class HistoryWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void showsLoadingThenTheRowsNewestFirst();
    void filtersByTextLotAndDates();
    void enterOnARowShowsItsEventsInOrder();
    void exportsTheRowsShownThroughTheFileDialog();
    void exportFileGetsTheChosenFiltersExtension_data();
    void exportFileGetsTheChosenFiltersExtension();
    void failedExportIsShownWithoutBlocking();
    void missingJournalIsSaid();
    void reloadReadsWhatWasWrittenSinceAndKeepsTheLot();

private:
    HistoryWindow *loadedWindow();

    QTemporaryDir directory;
    QString journalPath;
    std::unique_ptr<HistoryWindow> window;
};

void HistoryWindowTest::init()
{
    window.reset();
    QVERIFY(directory.isValid());
    journalPath = directory.filePath(QStringLiteral("journal.jsonl"));
    QFile file(journalPath);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(kJournal);
}

HistoryWindow *HistoryWindowTest::loadedWindow()
{
    window = std::make_unique<HistoryWindow>(journalPath);
    window->show();
    if (!QTest::qWaitFor([this] { return window->isLoaded(); }, kLoadTimeoutMs))
        return nullptr;
    return window.get();
}

void HistoryWindowTest::showsLoadingThenTheRowsNewestFirst()
{
    window = std::make_unique<HistoryWindow>(journalPath);
    QSignalSpy loaded(window.get(), &HistoryWindow::historyLoaded);
    auto *status = namedChild<QLabel>(window.get(), "statusLabel");
    QVERIFY(status);
    // The result reaches the window through its event loop, so right after construction it is still loading.
    QCOMPARE(status->text(), QStringLiteral("Loading…"));
    QVERIFY(!namedChild<QPushButton>(window.get(), "exportButton")->isEnabled());
    QVERIFY(loaded.wait(kLoadTimeoutMs));

    QCOMPARE(identifiers(window->model()),
        (QStringList{
            QStringLiteral("0004A30B001C0A00"), QStringLiteral("C0FFEE"), QStringLiteral("70B3D57ED0000A01")}));
    QCOMPARE(status->text(), QStringLiteral("3 node(s) shown, 5 journal entries, 1 incomplete line(s) skipped"));
    QVERIFY(namedChild<QPushButton>(window.get(), "exportButton")->isEnabled());
    const HistoryTableModel *model = window->model();
    QCOMPARE(model->index(2, HistoryTableModel::RegistrationColumn).data().toString(), QStringLiteral("added (200)"));
    QCOMPARE(
        model->index(2, HistoryTableModel::FirmwareColumn).data().toString(), QStringLiteral("n:v2.4.1 c:1.4 s:4.2.1"));
    QCOMPARE(model->index(2, HistoryTableModel::WritesColumn).data().toString(), QStringLiteral("reportRate: done"));

    auto *lots = namedChild<QComboBox>(window.get(), "lotCombo");
    QStringList lotTexts;
    for (int i = 0; i < lots->count(); ++i)
        lotTexts << lots->itemText(i);
    QCOMPARE(lotTexts,
        (QStringList{
            QStringLiteral("All lots"), QStringLiteral("No lot"), QStringLiteral("L1"), QStringLiteral("L2")}));
}

void HistoryWindowTest::filtersByTextLotAndDates()
{
    HistoryWindow *history = loadedWindow();
    QVERIFY(history);
    auto *filterEdit = namedChild<QLineEdit>(history, "filterEdit");
    auto *lots = namedChild<QComboBox>(history, "lotCombo");
    auto *allDates = namedChild<QCheckBox>(history, "allDatesCheck");
    auto *since = namedChild<QDateEdit>(history, "sinceEdit");
    auto *until = namedChild<QDateEdit>(history, "untilEdit");
    QVERIFY(filterEdit && lots && allDates && since && until);

    QTest::keyClicks(filterEdit, QStringLiteral("c0ff"));
    QTRY_COMPARE(identifiers(history->model()), QStringList{QStringLiteral("C0FFEE")});
    filterEdit->clear();
    QTRY_COMPARE(history->model()->rowCount(), 3);

    lots->setCurrentIndex(lots->findText(QStringLiteral("L2")));
    QCOMPARE(identifiers(history->model()), QStringList{QStringLiteral("0004A30B001C0A00")});
    lots->setCurrentIndex(lots->findText(QStringLiteral("No lot")));
    QCOMPARE(identifiers(history->model()), QStringList{QStringLiteral("C0FFEE")});
    lots->setCurrentIndex(0);

    QVERIFY(!since->isEnabled());
    since->setDate(QDate(2026, 12, 8));
    until->setDate(QDate(2026, 12, 9));
    QCOMPARE(history->model()->rowCount(), 3);
    allDates->setChecked(false);
    QVERIFY(since->isEnabled() && until->isEnabled());
    QCOMPARE(
        identifiers(history->model()), (QStringList{QStringLiteral("C0FFEE"), QStringLiteral("70B3D57ED0000A01")}));
    until->setDate(QDate(2026, 12, 8));
    QCOMPARE(identifiers(history->model()), QStringList{QStringLiteral("70B3D57ED0000A01")});
}

void HistoryWindowTest::enterOnARowShowsItsEventsInOrder()
{
    HistoryWindow *history = loadedWindow();
    QVERIFY(history);
    auto *table = namedChild<QTableView>(history, "historyTable");
    auto *events = namedChild<QPlainTextEdit>(history, "eventsView");
    QVERIFY(table && events);
    table->setFocus();
    table->setCurrentIndex(table->model()->index(2, 0));
    QTest::keyClick(table, Qt::Key_Return);
    const QStringList lines = events->toPlainText().split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 3);
    QVERIFY2(lines.at(0).startsWith(QStringLiteral("2026-12-08T17:07:21.488Z  nodeRead  ")), qPrintable(lines.at(0)));
    QVERIFY(lines.at(0).contains(QStringLiteral("typeName=LoRa OTAA")));
    QCOMPARE(lines.at(1), QStringLiteral("2026-12-08T17:07:30.102Z  settingsWritten  flags=reportRate, result=2"));
    QCOMPARE(lines.at(2), QStringLiteral("2026-12-08T17:07:40.000Z  registration  status=200"));

    table->setCurrentIndex(table->model()->index(1, 0));
    QTest::keyClick(table, Qt::Key_Enter);
    QVERIFY(events->toPlainText().startsWith(QStringLiteral("2026-12-09T09:00:00.000Z  nodeRead")));
}

void HistoryWindowTest::exportsTheRowsShownThroughTheFileDialog()
{
    HistoryWindow *history = loadedWindow();
    QVERIFY(history);
    namedChild<QComboBox>(history, "lotCombo")->setCurrentIndex(2); // L1
    QCOMPARE(history->model()->rowCount(), 1);

    QTest::mouseClick(namedChild<QPushButton>(history, "exportButton"), Qt::LeftButton);
    QFileDialog *dialog = nullptr;
    QTRY_VERIFY((dialog = namedChild<QFileDialog>(history, "exportDialog")) && dialog->isVisible());
    const QString target = directory.filePath(QStringLiteral("l1.csv"));
    dialog->selectFile(target);
    QVERIFY(QMetaObject::invokeMethod(dialog, "accept"));

    QFile file(target);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    QCOMPARE(lines.size(), 3);
    QVERIFY(lines.at(0).startsWith("time,identifier,lot,"));
    QVERIFY(lines.at(1).startsWith("2026-12-08T17:07:40.000Z,70B3D57ED0000A01,L1,LoRa OTAA,v2.4.1,1.4,4.2.1,"));
    QVERIFY(lines.at(1).endsWith("\r"));
}

void HistoryWindowTest::exportFileGetsTheChosenFiltersExtension_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("jsonFilter");
    QTest::addColumn<QString>("written");
    QTest::addColumn<QByteArray>("start");
    QTest::newRow("no extension, CSV") << QStringLiteral("week") << false << QStringLiteral("week.csv")
                                       << QByteArray("time,identifier,");
    QTest::newRow("no extension, JSON lines")
        << QStringLiteral("week") << true << QStringLiteral("week.jsonl") << QByteArray("{\"");
    QTest::newRow("another extension, CSV")
        << QStringLiteral("week.49") << false << QStringLiteral("week.49.csv") << QByteArray("time,identifier,");
    QTest::newRow("json typed, JSON lines")
        << QStringLiteral("week.json") << true << QStringLiteral("week.json") << QByteArray("{\"");
}

// The operator picks the filter in the dialog's file type box (by keyboard) and types a name.
void HistoryWindowTest::exportFileGetsTheChosenFiltersExtension()
{
    QFETCH(QString, typed);
    QFETCH(bool, jsonFilter);
    QTemporaryDir target;
    QVERIFY(target.isValid());
    HistoryWindow *history = loadedWindow();
    QVERIFY(history);

    QTest::mouseClick(namedChild<QPushButton>(history, "exportButton"), Qt::LeftButton);
    QFileDialog *dialog = nullptr;
    QTRY_VERIFY((dialog = namedChild<QFileDialog>(history, "exportDialog")) && dialog->isVisible());
    auto *typeBox = namedChild<QComboBox>(dialog, "fileTypeCombo");
    QVERIFY(typeBox);
    if (jsonFilter) {
        QTest::keyClick(typeBox, Qt::Key_Down);
        QCOMPARE(typeBox->currentIndex(), 1);
    }
    dialog->selectFile(target.filePath(typed));
    QVERIFY(QMetaObject::invokeMethod(dialog, "accept"));

    QFETCH(QString, written);
    QFile file(target.filePath(written));
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(QDir(target.path()).entryList(QDir::Files).join(' ')));
    QFETCH(QByteArray, start);
    const QByteArray content = file.readAll();
    QVERIFY2(content.startsWith(start), content.left(40).constData());
    QCOMPARE(QDir(target.path()).entryList(QDir::Files).size(), 1);
}

void HistoryWindowTest::failedExportIsShownWithoutBlocking()
{
    HistoryWindow *history = loadedWindow();
    QVERIFY(history);
    QVERIFY(!history->exportTo(directory.filePath(QStringLiteral("no/such/dir/out.csv"))));
    auto *box = namedChild<QMessageBox>(history, "exportFailedBox");
    QVERIFY(box);
    QTRY_VERIFY(box->isVisible());
    QVERIFY(box->text().contains(QStringLiteral("no/such/dir/out.csv")));
    box->accept();
}

void HistoryWindowTest::missingJournalIsSaid()
{
    journalPath = directory.filePath(QStringLiteral("absent.jsonl"));
    HistoryWindow *history = loadedWindow();
    QVERIFY(history);
    QCOMPARE(history->model()->rowCount(), 0);
    QVERIFY(namedChild<QLabel>(history, "statusLabel")->text().startsWith(QStringLiteral("No journal could be read")));
}

void HistoryWindowTest::reloadReadsWhatWasWrittenSinceAndKeepsTheLot()
{
    HistoryWindow *history = loadedWindow();
    QVERIFY(history);
    auto *lots = namedChild<QComboBox>(history, "lotCombo");
    lots->setCurrentIndex(lots->findData(QStringLiteral("L2")));
    const int rowsBefore = history->model()->rowCount();

    // The bench goes on: a node of a new lot and one more of the lot chosen (after the torn line the journal
    // ends with).
    QFile file(journalPath);
    QVERIFY(file.open(QIODevice::Append));
    file.write("\n{\"devEui\":\"70B3D57ED0000B07\",\"event\":\"nodeRead\",\"lot\":\"L3\","
               "\"time\":\"2026-12-08T11:00:00.000Z\"}\n"
               "{\"devEui\":\"70B3D57ED0000B08\",\"event\":\"nodeRead\",\"lot\":\"L2\","
               "\"time\":\"2026-12-08T11:05:00.000Z\"}\n");
    file.close();
    QSignalSpy loaded(history, &HistoryWindow::historyLoaded);
    history->reload();
    // Asked again while the reading is under way, it reads once more after it.
    history->reload();
    QVERIFY(loaded.wait(kLoadTimeoutMs));
    QTRY_COMPARE_WITH_TIMEOUT(loaded.count(), 2, kLoadTimeoutMs);
    QCOMPARE(lots->currentData().toString(), QStringLiteral("L2"));
    QVERIFY(lots->findData(QStringLiteral("L3")) >= 0);
    QCOMPARE(history->model()->rowCount(), rowsBefore + 1);
    QVERIFY(identifiers(history->model()).contains(QStringLiteral("70B3D57ED0000B08")));
}

QTEST_MAIN(HistoryWindowTest)
#include "tst_historywindow.moc"
