#include "commissioningjournal.h"
#include "historytablemodel.h"
#include "historywindow.h"
#include "journalexportcommand.h"
#include "journalforwarder.h"
#include "lotreportcommand.h"
#include "lotview.h"
#include "nodebuilders.h"
#include "postgresserver.h"
#include "prerequisite.h"

#include <QComboBox>
#include <QCommandLineParser>
#include <QDateTime>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QSqlDatabase>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <memory>

namespace {

const int kLoadTimeoutMs = 20000;

template <class T> T *namedChild(QObject *root, const char *name)
{
    return root->findChild<T *>(QString::fromLatin1(name));
}

// Read, registered with `status` and, when it was accepted, put to sleep; a millisecond after the last unit, so
// that the benches' entries have one order.
void commission(CommissioningJournal &journal, const QString &euid, int status = 201)
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    while (QDateTime::currentMSecsSinceEpoch() <= now)
        QThread::yieldCurrentThread();
    NodeOptions options;
    options.euid = euid;
    const Node node = healthyNode(Node::LoRaOTAA, options);
    QVERIFY(journal.recordNodeRead(QStringLiteral("/dev/ttyUSB0"), node));
    QVERIFY(journal.recordRegistration(node, status));
    if (status == 201)
        QVERIFY(journal.recordNodeSleeping(node));
}

// "bench identifier" for each row shown, sorted.
QStringList shownRows(const HistoryTableModel *model)
{
    QStringList rows;
    for (int row = 0; row < model->rowCount(); ++row)
        rows << model->index(row, HistoryTableModel::BenchColumn).data().toString() + QLatin1Char(' ')
                + model->index(row, HistoryTableModel::IdentifierColumn).data().toString();
    rows.sort();
    return rows;
}

} // namespace

// The history window over this bench's journal or over every bench in the shared database.
class HistoryWindowSharedTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void withoutDatabaseOnlyThisBenchIsOffered();
    void allBenchesShowsEveryBenchWithItsColumnAndFilter();
    void unreachableDatabaseIsSaidAndThisBenchStaysAtHand();
    void commandsReadEveryBench_data();
    void commandsReadEveryBench();

private:
    std::unique_ptr<HistoryWindow> loadedWindow();

    PostgresServer server;
    QTemporaryDir first, second;
    QString url;
};

void HistoryWindowSharedTest::initTestCase()
{
    if (PostgresServer::programDirectory().isEmpty() || !QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")))
        SKIP_OR_FAIL_UNDER_CI("PostgreSQL server or Qt's PostgreSQL driver not installed");
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    QVERIFY2(server.createDatabase(QStringLiteral("benches")), qPrintable(server.errorString()));
    url = server.url(QStringLiteral("benches"));
    // Bench A worked on lot L-7 only; bench B on L-7 and L-8; one DevEUI on both, refused at A and set aside there
    // for the next unit.
    CommissioningJournal journalA(first.filePath(QStringLiteral("journal.jsonl")));
    CommissioningJournal journalB(second.filePath(QStringLiteral("journal.jsonl")));
    journalA.setLot(QStringLiteral("L-7"));
    journalB.setLot(QStringLiteral("L-7"));
    commission(journalA, QStringLiteral("70B3D57ED00000A1"));
    commission(journalB, QStringLiteral("70B3D57ED00000B1"));
    commission(journalA, QStringLiteral("70B3D57ED0000001"), 409);
    commission(journalB, QStringLiteral("70B3D57ED0000001"));
    commission(journalA, QStringLiteral("70B3D57ED00000A2"));
    journalB.setLot(QStringLiteral("L-8"));
    commission(journalB, QStringLiteral("70B3D57ED00000B2"));
    const DatabaseAddress address = DatabaseAddress::parse(url, nullptr);
    const QString password = QLatin1String(PostgresServer::kPassword);
    QVERIFY(JournalForwarder(journalA.filePath(), address, password, QStringLiteral("bench-a")).sendNow());
    QVERIFY(JournalForwarder(journalB.filePath(), address, password, QStringLiteral("bench-b")).sendNow());
}

std::unique_ptr<HistoryWindow> HistoryWindowSharedTest::loadedWindow()
{
    auto window = std::make_unique<HistoryWindow>(first.filePath(QStringLiteral("journal.jsonl")));
    window->show();
    if (!QTest::qWaitFor([&window] { return window->isLoaded(); }, kLoadTimeoutMs))
        return nullptr;
    return window;
}

void HistoryWindowSharedTest::withoutDatabaseOnlyThisBenchIsOffered()
{
    auto window = loadedWindow();
    QVERIFY(window);
    QVERIFY(!namedChild<QComboBox>(window.get(), "sourceCombo")->isVisible());
    QVERIFY(!namedChild<QComboBox>(window.get(), "benchCombo")->isVisible());
    QVERIFY(namedChild<QTableView>(window.get(), "historyTable")->isColumnHidden(HistoryTableModel::BenchColumn));
    window->setSource(HistoryWindow::Source::AllBenches);
    QCOMPARE(window->source(), HistoryWindow::Source::ThisBench);
    QCOMPARE(window->model()->rowCount(), 3);
}

void HistoryWindowSharedTest::allBenchesShowsEveryBenchWithItsColumnAndFilter()
{
    auto window = loadedWindow();
    QVERIFY(window);
    auto *source = namedChild<QComboBox>(window.get(), "sourceCombo");
    auto *benchCombo = namedChild<QComboBox>(window.get(), "benchCombo");
    auto *table = namedChild<QTableView>(window.get(), "historyTable");
    window->setSharedDatabase(DatabaseAddress::parse(url, nullptr), QLatin1String(PostgresServer::kPassword));
    QVERIFY(source->isVisible());
    QCOMPARE(window->model()->rowCount(), 3); // still this bench until the operator chooses

    source->setCurrentIndex(1);
    emit source->activated(1);
    QCOMPARE(window->source(), HistoryWindow::Source::AllBenches);
    QTRY_VERIFY_WITH_TIMEOUT(window->isLoaded(), kLoadTimeoutMs);
    QVERIFY(benchCombo->isVisible());
    QVERIFY(!table->isColumnHidden(HistoryTableModel::BenchColumn));
    QCOMPARE(table->horizontalHeader()->visualIndex(HistoryTableModel::BenchColumn), 1);
    QCOMPARE(shownRows(window->model()),
        (QStringList{QStringLiteral("bench-a 70B3D57ED0000001"), QStringLiteral("bench-a 70B3D57ED00000A1"),
            QStringLiteral("bench-a 70B3D57ED00000A2"), QStringLiteral("bench-b 70B3D57ED0000001"),
            QStringLiteral("bench-b 70B3D57ED00000B1"), QStringLiteral("bench-b 70B3D57ED00000B2")}));
    QVERIFY2(namedChild<QLabel>(window.get(), "statusLabel")->text().contains(QLatin1String("from 2 bench")),
        qPrintable(namedChild<QLabel>(window.get(), "statusLabel")->text()));

    // The lot over both benches: every unit once, the unit refused at A a first-pass failure.
    auto *lotCombo = namedChild<QComboBox>(window.get(), "lotCombo");
    lotCombo->setCurrentIndex(lotCombo->findData(QStringLiteral("L-7")));
    QCOMPARE(window->model()->rowCount(), 5);
    auto *tabs = namedChild<QTabWidget>(window.get(), "viewTabs");
    tabs->setCurrentWidget(namedChild<QWidget>(window.get(), "lotTab"));
    LotFilter lot = window->currentLotFilter();
    QCOMPARE(lot.lot, QStringLiteral("L-7"));
    QVERIFY(lot.bench.isEmpty());
    QCOMPARE(window->lots()->statistics().units, 5);
    QCOMPARE(window->lots()->statistics().distinctUnits, 4);
    QCOMPARE(window->lots()->statistics().passedFirstTime, 3);

    // One bench: the rows and the lot narrowed to it.
    benchCombo->setCurrentIndex(benchCombo->findData(QStringLiteral("bench-b")));
    QCOMPARE(shownRows(window->model()),
        (QStringList{QStringLiteral("bench-b 70B3D57ED0000001"), QStringLiteral("bench-b 70B3D57ED00000B1")}));
    QCOMPARE(window->currentLotFilter().bench, QStringLiteral("bench-b"));
    QCOMPARE(window->lots()->statistics().units, 2);
    QCOMPARE(window->lots()->statistics().passedFirstTime, 2);
    auto *units = namedChild<QTableWidget>(window->lots(), "unitsTable");
    QVERIFY(!units->isColumnHidden(LotView::BenchColumn));
    QCOMPARE(units->rowCount(), 0); // bench B failed no unit of L-7
    namedChild<QComboBox>(window.get(), "benchCombo")->setCurrentIndex(0);
    QCOMPARE(units->rowCount(), 1);
    QCOMPARE(units->item(0, LotView::BenchColumn)->text(), QStringLiteral("bench-a"));
    QCOMPARE(units->item(0, LotView::UnitColumn)->text(), QStringLiteral("70B3D57ED0000001"));
    benchCombo->setCurrentIndex(benchCombo->findData(QStringLiteral("bench-b")));

    // The export of the rows shown names their bench.
    QTemporaryDir out;
    const QString exported = out.filePath(QStringLiteral("rows.csv"));
    QVERIFY(window->exportTo(exported));
    QFile file(exported);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    QVERIFY2(lines.first().trimmed().endsWith(",bench"), lines.first().constData());
    QVERIFY2(lines.at(1).trimmed().endsWith(",bench-b"), lines.at(1).constData());

    // Back to this bench: its own rows, no bench column, no bench filter.
    source->setCurrentIndex(0);
    emit source->activated(0);
    QTRY_VERIFY_WITH_TIMEOUT(window->isLoaded(), kLoadTimeoutMs);
    QVERIFY(!benchCombo->isVisible());
    QVERIFY(table->isColumnHidden(HistoryTableModel::BenchColumn));
    QVERIFY(units->isColumnHidden(LotView::BenchColumn));
    QCOMPARE(window->model()->rowCount(), 3);
    QVERIFY(window->currentLotFilter().bench.isEmpty());
}

void HistoryWindowSharedTest::unreachableDatabaseIsSaidAndThisBenchStaysAtHand()
{
    auto window = loadedWindow();
    QVERIFY(window);
    window->setSharedDatabase(DatabaseAddress::parse(server.url(QStringLiteral("no_such_database")), nullptr),
        QLatin1String(PostgresServer::kPassword));
    window->setSource(HistoryWindow::Source::AllBenches);
    QTRY_VERIFY_WITH_TIMEOUT(window->isLoaded(), kLoadTimeoutMs);
    QCOMPARE(window->model()->rowCount(), 0);
    const QString status = namedChild<QLabel>(window.get(), "statusLabel")->text();
    QVERIFY2(status.contains(QLatin1String("shared database")) && status.contains(QLatin1String("does not exist")),
        qPrintable(status));
    window->setSource(HistoryWindow::Source::ThisBench);
    QTRY_VERIFY_WITH_TIMEOUT(window->isLoaded(), kLoadTimeoutMs);
    QCOMPARE(window->model()->rowCount(), 3);
}

void HistoryWindowSharedTest::commandsReadEveryBench_data()
{
    QTest::addColumn<QStringList>("arguments"); // FILE stands for the file written, URL for the database
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("lines"); // what the file's lines start with, or hold for a record
    const int usage = JournalExportCommand::kExitBadArgument;
    QTest::newRow("rows of every bench") << QStringList{"--export-journal", "FILE.csv", "--database", "URL"} << 0
                                         << QStringList{"time,", "2026", "2026", "2026", "2026", "2026", "2026"};
    QTest::newRow("records of one lot") << QStringList{"--export-journal", "FILE.jsonl", "--records", "--lot", "L-7",
        "--database", "URL"} << 0 << QStringList{"bench-a", "bench-b", "bench-a", "bench-b", "bench-a"};
    QTest::newRow("report of one lot") << QStringList{"--report", "FILE.pdf", "--lot", "L-7", "--database", "URL"} << 0
                                       << QStringList{"%PDF"};
    QTest::newRow("report of a lot elsewhere")
        << QStringList{"--report", "FILE.pdf", "--lot", "L-9", "--database", "URL"}
        << int(LotReportCommand::kExitNoUnits) << QStringList();
    QTest::newRow("journal and database") << QStringList{"--export-journal", "FILE.csv", "--journal", "x.jsonl",
        "--database", "URL"} << usage << QStringList();
    QTest::newRow("bad address") << QStringList{"--export-journal", "FILE.csv", "--database", "mysql://x/y"} << usage
                                 << QStringList();
    QTest::newRow("no such database") << QStringList{"--report", "FILE.pdf", "--lot", "L-7", "--database",
        "URL_missing"} << usage << QStringList();
    QTest::newRow("database alone") << QStringList{"--database", "URL"} << usage << QStringList();
}

void HistoryWindowSharedTest::commandsReadEveryBench()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QStringList, lines);
    qputenv("PGPASSWORD", PostgresServer::kPassword);
    QTemporaryDir out;
    QString target;
    for (QString &argument : arguments) {
        if (argument.startsWith(QLatin1String("FILE")))
            argument = target = out.filePath(argument);
        else if (argument == QLatin1String("URL"))
            argument = url;
        else if (argument == QLatin1String("URL_missing"))
            argument = server.url(QStringLiteral("missing"));
    }
    QCommandLineParser parser;
    JournalExportCommand::addOptions(parser);
    LotReportCommand::addOptions(parser);
    QVERIFY2(parser.parse(QStringList{QStringLiteral("iot_commission")} + arguments), qPrintable(parser.errorText()));
    const QString journal = first.filePath(QStringLiteral("journal.jsonl"));
    const int exit = LotReportCommand::isRequested(parser) ? LotReportCommand::run(parser, journal)
                                                           : JournalExportCommand::run(parser, journal);
    qunsetenv("PGPASSWORD");
    QCOMPARE(exit, exitCode);
    if (lines.isEmpty()) {
        QVERIFY(target.isEmpty() || !QFile::exists(target));
        return;
    }
    QFile file(target);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray content = file.readAll();
    if (target.endsWith(QLatin1String(".pdf"))) {
        QVERIFY(content.startsWith("%PDF"));
        return;
    }
    QList<QByteArray> written = content.split('\n');
    while (!written.isEmpty() && written.last().trimmed().isEmpty())
        written.removeLast();
    QCOMPARE(written.size(), lines.size());
    if (target.endsWith(QLatin1String(".csv"))) {
        for (int i = 0; i < lines.size(); ++i)
            QVERIFY2(written.at(i).startsWith(lines.at(i).toUtf8()), written.at(i).constData());
        QVERIFY(written.first().trimmed().endsWith(",bench"));
        QCOMPARE(content.count(",bench-a\r\n"), 3);
        QCOMPARE(content.count(",bench-b\r\n"), 3);
        return;
    }
    QStringList benches, expected = lines;
    for (const QByteArray &line : written)
        benches << QJsonDocument::fromJson(line).object().value(QLatin1String("bench")).toString();
    benches.sort();
    expected.sort();
    QCOMPARE(benches, expected);
}

QTEST_MAIN(HistoryWindowSharedTest)
#include "tst_historywindowshared.moc"
