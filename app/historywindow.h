#pragma once

#include "databaseaddress.h"
#include "node.h"

#include "journalhistory.h"
#include "lotstatistics.h"
#include "unitrecord.h"

#include <QString>
#include <QTimer>
#include <QWidget>

class HistoryTableModel;
class LotView;
class QThread;
class QModelIndex;

namespace Ui {
class HistoryWindow;
}

// The bench's history: one row per node and lot from the commissioning journal, filtered by text, lot and
// dates, with each node's events and an export of the rows shown, and the lot view: the unit records of the lot
// and dates chosen, counted and charted. The journal is read on a thread of its own so
// that a large one does not stop the window. With a shared database the window shows either this bench's journal
// or every bench's entries from the database, with a bench column and a bench filter.
class HistoryWindow : public QWidget
{
    Q_OBJECT
public:
    explicit HistoryWindow(const QString &journalPath, QWidget *parent = nullptr);
    ~HistoryWindow() override;

    bool isLoaded() const { return loaded; }
    const HistoryTableModel *model() const { return tableModel; }
    LotView *lots() const { return lotView; }
    // The lot view's records: those of the lot and dates chosen above are counted.
    void setUnitRecords(const QVector<UnitRecord> &records);
    // The lot and dates chosen, for the lot view.
    LotFilter currentLotFilter() const;

    enum class Source { ThisBench, AllBenches };
    // The shared database "All benches" reads; an invalid address leaves only this bench's journal, as without one.
    // The password is kept in memory only; empty, libpq finds one itself.
    void setSharedDatabase(const DatabaseAddress &address, const QString &password);
    Source source() const { return shownSource; }
    void setSource(Source source);

public slots:
    // Reads the journal again, for entries written since the window opened; the filters and the tab stay.
    void reload();
    // Writes the rows shown to filePath (.csv, .jsonl or .json); a failure is shown in a message box.
    bool exportTo(const QString &filePath);
    void showEvents(const QModelIndex &index);
    // Asks for the label of the node in row `row` of the table, made from what the journal holds of it: a
    // LoRaWAN node's JoinEUI and DevEUI. A SigFox node's PAC is never journalled, so its label is printed while
    // the node is on the bench; that, or a node read before the journal kept its JoinEUI, is said in the status.
    bool printLabelOf(int row);
    // A text for the status line below the filter (how a label's printing went).
    void showStatus(const QString &text);

signals:
    // The journal has been read and the table filled.
    void historyLoaded();
    // The label of this node is to be printed.
    void labelRequested(const Node &node);

private slots:
    void applyFilter();
    void chooseExportFile();

private:
    void startLoading();
    void takeHistory(JournalHistory history, QVector<UnitRecord> records, bool read, const QString &error);
    void refreshLotView();
    HistoryFilter currentFilter() const;
    void fillLots();
    void fillBenches();

    Ui::HistoryWindow *ui;
    HistoryTableModel *tableModel;
    QString path;
    JournalHistory history;
    QVector<UnitRecord> unitRecords;
    LotView *lotView;
    bool lotViewStale = true;
    QThread *loader = nullptr;
    QTimer filterDelay;
    bool loaded = false;
    bool reloadWanted = false;
    QString loadError;
    DatabaseAddress sharedAddress;
    QString sharedPassword;
    Source shownSource = Source::ThisBench;
};
