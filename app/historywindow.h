#pragma once

#include "journalhistory.h"

#include <QString>
#include <QTimer>
#include <QWidget>

class HistoryTableModel;
class QThread;
class QModelIndex;

namespace Ui {
class HistoryWindow;
}

// The bench's history: one row per node and lot from the commissioning journal, filtered by text, lot and
// dates, with each node's events and an export of the rows shown. The journal is read on a thread of its own so
// that a large one does not stop the window.
class HistoryWindow : public QWidget
{
    Q_OBJECT
public:
    explicit HistoryWindow(const QString &journalPath, QWidget *parent = nullptr);
    ~HistoryWindow() override;

    bool isLoaded() const { return loaded; }
    const HistoryTableModel *model() const { return tableModel; }

public slots:
    // Writes the rows shown to filePath (.csv, .jsonl or .json); a failure is shown in a message box.
    bool exportTo(const QString &filePath);
    void showEvents(const QModelIndex &index);

signals:
    // The journal has been read and the table filled.
    void historyLoaded();

private slots:
    void applyFilter();
    void chooseExportFile();

private:
    void takeHistory(JournalHistory history, bool read, const QString &error);
    HistoryFilter currentFilter() const;
    void fillLots();

    Ui::HistoryWindow *ui;
    HistoryTableModel *tableModel;
    QString path;
    JournalHistory history;
    QThread *loader = nullptr;
    QTimer filterDelay;
    bool loaded = false;
    QString loadError;
};
