#pragma once

#include "journalhistory.h"

#include <QAbstractTableModel>
#include <QVector>

// The history's rows for a table view, newest first.
class HistoryTableModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column {
        TimeColumn,
        IdentifierColumn,
        LotColumn,
        TypeColumn,
        FirmwareColumn,
        WritesColumn,
        VerificationColumn,
        LabelColumn,
        RegistrationColumn,
        SleepingColumn,
        BenchColumn, // shown for the entries of several benches only
        ColumnCount
    };

    explicit HistoryTableModel(QObject *parent = nullptr);

    void setRows(QVector<HistoryRow> rows);
    const QVector<HistoryRow> &rows() const { return historyRows; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    QVector<HistoryRow> historyRows;
};
