#include "historywindow.h"

#include "historyexport.h"
#include "historytablemodel.h"
#include "lotview.h"
#include "sharedhistory.h"
#include "ui_historywindow.h"
#include "unitrecords.h"

#include <QDateTime>
#include <QFileDialog>
#include <QHeaderView>
#include <QMessageBox>
#include <QThread>

#include <memory>
#include <utility>

namespace {

// Typing in the filter waits this long for the next key before the rows are built again.
const int kFilterDelayMs = 200;
const int kRowsSizedBy = 200;

struct LoadResult
{
    JournalHistory history;
    QVector<UnitRecord> records;
    bool read = false;
    QString error;
};

} // namespace

HistoryWindow::HistoryWindow(const QString &journalPath, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , ui(new Ui::HistoryWindow)
    , tableModel(new HistoryTableModel(this))
    , path(journalPath)
{
    ui->setupUi(this);
    lotView = new LotView(ui->lotTab);
    ui->lotTabLayout->addWidget(lotView);
    connect(ui->viewTabs, &QTabWidget::currentChanged, this, [this] {
        if (lotViewStale)
            refreshLotView();
    });
    ui->historyTable->setModel(tableModel);
    ui->historyTable->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    // Sizing the columns by every row of a large journal would take longer than reading it.
    ui->historyTable->horizontalHeader()->setResizeContentsPrecision(kRowsSizedBy);
    ui->historyTable->horizontalHeader()->setStretchLastSection(true);
    ui->historyTable->verticalHeader()->hide();
    // The bench comes right after the time, and only for several benches.
    ui->historyTable->horizontalHeader()->moveSection(
        HistoryTableModel::BenchColumn, HistoryTableModel::TimeColumn + 1);
    ui->historyTable->setColumnHidden(HistoryTableModel::BenchColumn, true);
    ui->sourceCombo->hide();
    ui->benchCombo->hide();
    const QDate today = QDateTime::currentDateTimeUtc().date();
    ui->sinceEdit->setDate(today.addDays(-7));
    ui->untilEdit->setDate(today);
    fillLots();

    filterDelay.setSingleShot(true);
    filterDelay.setInterval(kFilterDelayMs);
    connect(&filterDelay, &QTimer::timeout, this, &HistoryWindow::applyFilter);
    connect(ui->filterEdit, &QLineEdit::textChanged, &filterDelay, qOverload<>(&QTimer::start));
    connect(ui->lotCombo, qOverload<int>(&QComboBox::currentIndexChanged), this, &HistoryWindow::applyFilter);
    connect(ui->benchCombo, qOverload<int>(&QComboBox::currentIndexChanged), this, &HistoryWindow::applyFilter);
    connect(ui->sourceCombo, qOverload<int>(&QComboBox::activated), this,
        [this](int index) { setSource(index == 1 ? Source::AllBenches : Source::ThisBench); });
    connect(ui->allDatesCheck, &QCheckBox::toggled, this, [this](bool all) {
        ui->sinceEdit->setEnabled(!all);
        ui->untilEdit->setEnabled(!all);
        applyFilter();
    });
    connect(ui->sinceEdit, &QDateEdit::dateChanged, this, &HistoryWindow::applyFilter);
    connect(ui->untilEdit, &QDateEdit::dateChanged, this, &HistoryWindow::applyFilter);
    connect(ui->historyTable, &QTableView::activated, this, &HistoryWindow::showEvents);
    connect(ui->exportButton, &QPushButton::clicked, this, &HistoryWindow::chooseExportFile);
    connect(ui->printLabelButton, &QPushButton::clicked, this,
        [this] { printLabelOf(ui->historyTable->currentIndex().row()); });

    startLoading();
}

void HistoryWindow::startLoading()
{
    delete loader;
    auto result = std::make_shared<LoadResult>();
    const QString journalPath = path;
    const bool shared = shownSource == Source::AllBenches;
    const DatabaseAddress address = sharedAddress;
    const QString password = sharedPassword;
    loader = QThread::create([result, journalPath, shared, address, password] {
        if (shared)
            result->read = SharedHistory::read(address, password, &result->history, &result->error);
        else
            result->read = result->history.readFile(journalPath, &result->error);
        result->records = UnitRecords::fromEntries(result->history.entries());
    });
    // finished is emitted on the loader's thread and reaches the window queued, in the GUI thread.
    connect(loader, &QThread::finished, this, [this, result, shared] {
        // Read for the source shown before the operator chose the other one: the other is read next.
        if (shared == (shownSource == Source::AllBenches))
            takeHistory(std::move(result->history), std::move(result->records), result->read, result->error);
        if (std::exchange(reloadWanted, false))
            startLoading();
    });
    loader->start();
}

void HistoryWindow::setSharedDatabase(const DatabaseAddress &address, const QString &password)
{
    sharedAddress = address;
    sharedPassword = password;
    ui->sourceCombo->setVisible(address.isValid());
    if (!address.isValid() && shownSource == Source::AllBenches)
        setSource(Source::ThisBench);
    else if (shownSource == Source::AllBenches)
        reload();
}

void HistoryWindow::setSource(Source source)
{
    if (source == Source::AllBenches && !sharedAddress.isValid())
        source = Source::ThisBench;
    ui->sourceCombo->setCurrentIndex(source == Source::AllBenches ? 1 : 0);
    if (source == shownSource)
        return;
    shownSource = source;
    const bool shared = source == Source::AllBenches;
    ui->benchCombo->setVisible(shared);
    ui->historyTable->setColumnHidden(HistoryTableModel::BenchColumn, !shared);
    lotView->setBenchShown(shared);
    // The rows of the other source go at once: nothing shown may be taken for the wrong source's.
    loaded = false;
    history = JournalHistory();
    unitRecords.clear();
    tableModel->setRows({});
    ui->eventsView->clear();
    ui->exportButton->setEnabled(false);
    ui->statusLabel->setText(shared ? tr("Reading the shared database…") : tr("Loading…"));
    reload();
}

void HistoryWindow::reload()
{
    // A reading under way may have passed the entries written since it began: read again after it.
    if (loader && loader->isRunning()) {
        reloadWanted = true;
        return;
    }
    startLoading();
}

HistoryWindow::~HistoryWindow()
{
    // Reading ends by itself within a second or so; the thread must not outlive the window.
    loader->wait();
    delete loader;
    delete ui;
}

void HistoryWindow::takeHistory(JournalHistory journal, QVector<UnitRecord> records, bool read, const QString &error)
{
    history = std::move(journal);
    unitRecords = std::move(records);
    loaded = true;
    loadError = read ? QString() : error;
    fillLots();
    fillBenches();
    applyFilter();
    ui->exportButton->setEnabled(true);
    ui->printLabelButton->setEnabled(true);
    emit historyLoaded();
}

void HistoryWindow::fillLots()
{
    const QSignalBlocker blocker(ui->lotCombo);
    const QVariant chosen = ui->lotCombo->currentData();
    ui->lotCombo->clear();
    // No data: every lot; an empty text: the entries made outside a lot.
    ui->lotCombo->addItem(tr("All lots"));
    ui->lotCombo->addItem(tr("No lot"), QString());
    for (const QString &lot : history.lots())
        ui->lotCombo->addItem(lot, lot);
    const int index = chosen.isValid() ? ui->lotCombo->findData(chosen) : 0;
    ui->lotCombo->setCurrentIndex(index < 0 ? 0 : index);
}

void HistoryWindow::fillBenches()
{
    const QSignalBlocker blocker(ui->benchCombo);
    const QString chosen = ui->benchCombo->currentData().toString();
    ui->benchCombo->clear();
    // An empty text: every bench.
    ui->benchCombo->addItem(tr("Every bench"), QString());
    for (const QString &bench : history.benches())
        ui->benchCombo->addItem(bench, bench);
    const int index = ui->benchCombo->findData(chosen);
    ui->benchCombo->setCurrentIndex(index < 0 ? 0 : index);
}

HistoryFilter HistoryWindow::currentFilter() const
{
    HistoryFilter filter;
    if (shownSource == Source::AllBenches)
        filter.bench = ui->benchCombo->currentData().toString();
    filter.text = ui->filterEdit->text().trimmed();
    const QVariant lot = ui->lotCombo->currentData();
    if (lot.isValid()) {
        filter.allLots = false;
        filter.lot = lot.toString();
    }
    if (!ui->allDatesCheck->isChecked()) {
        filter.since = ui->sinceEdit->date();
        filter.until = ui->untilEdit->date();
    }
    return filter;
}

LotFilter HistoryWindow::currentLotFilter() const
{
    const HistoryFilter shown = currentFilter();
    LotFilter filter;
    filter.allLots = shown.allLots;
    filter.lot = shown.lot;
    filter.bench = shown.bench;
    if (shown.since.isValid())
        filter.sinceMsecs = QDateTime(shown.since, QTime(0, 0), Qt::UTC).toMSecsSinceEpoch();
    if (shown.until.isValid())
        filter.untilMsecs = QDateTime(shown.until.addDays(1), QTime(0, 0), Qt::UTC).toMSecsSinceEpoch() - 1;
    return filter;
}

void HistoryWindow::setUnitRecords(const QVector<UnitRecord> &records)
{
    unitRecords = records;
    refreshLotView();
}

void HistoryWindow::refreshLotView()
{
    lotView->setRecords(unitRecords, currentLotFilter());
    lotViewStale = false;
}

void HistoryWindow::applyFilter()
{
    filterDelay.stop();
    if (!loaded)
        return;
    tableModel->setRows(history.rows(currentFilter()));
    ui->eventsView->clear();
    lotViewStale = true;
    if (ui->viewTabs->currentWidget() == ui->lotTab)
        refreshLotView();
    if (!loadError.isEmpty()) {
        if (shownSource == Source::AllBenches)
            ui->statusLabel->setText(tr("The shared database could not be read: %1").arg(loadError));
        else
            ui->statusLabel->setText(tr("No journal could be read at %1: %2").arg(path, loadError));
        return;
    }
    QString status = tr("%n node(s) shown", nullptr, tableModel->rowCount());
    if (shownSource == Source::AllBenches)
        status += tr(" from %n bench(es)", nullptr, history.benches().size());
    status += tr(", %n journal entries", nullptr, history.entries().size());
    if (history.skippedLines() > 0)
        status += tr(", %n incomplete line(s) skipped", nullptr, history.skippedLines());
    ui->statusLabel->setText(status);
}

void HistoryWindow::showEvents(const QModelIndex &index)
{
    if (!index.isValid() || index.row() >= tableModel->rows().size())
        return;
    const HistoryRow &row = tableModel->rows().at(index.row());
    QStringList lines;
    for (int entryIndex : row.events) {
        const JournalEntry &entry = history.entries().at(entryIndex);
        lines << QStringLiteral("%1  %2  %3")
                     .arg(QDateTime::fromMSecsSinceEpoch(entry.msecs, Qt::UTC).toString(Qt::ISODateWithMs), entry.event,
                         JournalHistory::eventDetails(entry));
    }
    ui->eventsView->setPlainText(lines.join(QLatin1Char('\n')));
}

bool HistoryWindow::printLabelOf(int rowIndex)
{
    if (rowIndex < 0 || rowIndex >= tableModel->rows().size()) {
        ui->statusLabel->setText(tr("Choose the node to print a label for"));
        return false;
    }
    const HistoryRow &row = tableModel->rows().at(rowIndex);
    // The node as it was read last: its type and JoinEUI.
    for (auto it = row.events.crbegin(); it != row.events.crend(); ++it) {
        const JournalEntry &entry = history.entries().at(*it);
        if (entry.event != QLatin1String("nodeRead"))
            continue;
        Node node;
        node.firmwareType = Node::eFirmwareType(entry.fields.value(QLatin1String("type")).toInt(-1));
        node.euid = row.identifier;
        if (node.isSigfox()) {
            ui->statusLabel->setText(
                tr("The journal keeps no PAC: print the label of SigFox node %1 while it is on the bench")
                    .arg(row.identifier));
            return false;
        }
        node.appId = entry.fields.value(QLatin1String("joinEui")).toString();
        if (node.appId.isEmpty())
            break;
        emit labelRequested(node);
        return true;
    }
    ui->statusLabel->setText(
        tr("The journal holds no JoinEUI of %1: print its label while the node is on the bench").arg(row.identifier));
    return false;
}

void HistoryWindow::showStatus(const QString &text)
{
    ui->statusLabel->setText(text);
}

void HistoryWindow::chooseExportFile()
{
    const QString filters = tr("CSV (*.csv);;JSON lines (*.jsonl *.json)");
    const QString csvFilter = filters.section(QStringLiteral(";;"), 0, 0);
    auto *dialog = new QFileDialog(this, tr("Export history"), QString(), filters);
    dialog->setObjectName(QStringLiteral("exportDialog"));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setDefaultSuffix(QStringLiteral("csv"));
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    const auto chosenFormat = [dialog, csvFilter] {
        return dialog->selectedNameFilter() == csvFilter ? HistoryExport::Csv : HistoryExport::JsonLines;
    };
    // A name typed without an extension gets the one of the format chosen in the filter box; the dialog adds
    // it itself (and asks before overwriting), a name with another extension gets it added here.
    connect(dialog, &QFileDialog::filterSelected, dialog, [dialog, csvFilter](const QString &filter) {
        dialog->setDefaultSuffix(filter == csvFilter ? QStringLiteral("csv") : QStringLiteral("jsonl"));
    });
    connect(dialog, &QFileDialog::fileSelected, this,
        [this, chosenFormat](const QString &path) { exportTo(HistoryExport::withExtension(path, chosenFormat())); });
    dialog->open();
}

bool HistoryWindow::exportTo(const QString &filePath)
{
    QString error;
    if (HistoryExport::write(filePath, tableModel->rows(), &error, path)) {
        ui->statusLabel->setText(tr("%n node(s) exported to %1", nullptr, tableModel->rowCount()).arg(filePath));
        return true;
    }
    auto *box = new QMessageBox(
        QMessageBox::Warning, tr("Export failed"), tr("Could not export: %1").arg(error), QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("exportFailedBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
    return false;
}
