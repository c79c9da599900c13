#include "historytablemodel.h"

namespace {

QString firmwareText(const HistoryRow &row)
{
    if (row.nodeVersion.isEmpty() && row.moduleVersion.isEmpty() && row.loraVersion.isEmpty())
        return QString();
    return QStringLiteral("n:%1 c:%2 s:%3").arg(row.nodeVersion, row.moduleVersion, row.loraVersion);
}

QString registrationText(const HistoryRow &row)
{
    if (row.registrationStatus == HistoryRow::kNoStatus || row.registration.isEmpty())
        return row.registration;
    if (row.registrationStatus == 0 && !row.registrationFailure.isEmpty())
        return QStringLiteral("%1 (%2)").arg(row.registration, row.registrationFailure);
    return QStringLiteral("%1 (%2)").arg(row.registration).arg(row.registrationStatus);
}

QString verificationText(const HistoryRow &row)
{
    return row.mismatches.isEmpty() ? row.verification : QStringLiteral("%1: %2").arg(row.verification, row.mismatches);
}

// One entry per column, in the order of HistoryTableModel::Column: its header and what a row shows in it.
struct ColumnSpec
{
    const char *header;
    QVariant (*value)(const HistoryRow &row);
};

const ColumnSpec kColumns[HistoryTableModel::ColumnCount] = {
    {QT_TRANSLATE_NOOP("HistoryTableModel", "Last event (UTC)"),
        [](const HistoryRow &row) -> QVariant { return row.lastTime(); }},
    {QT_TRANSLATE_NOOP("HistoryTableModel", "Identifier"),
        [](const HistoryRow &row) -> QVariant { return row.identifier; }},
    {QT_TRANSLATE_NOOP("HistoryTableModel", "Lot"), [](const HistoryRow &row) -> QVariant { return row.lot; }},
    {QT_TRANSLATE_NOOP("HistoryTableModel", "Type"), [](const HistoryRow &row) -> QVariant { return row.type; }},
    {QT_TRANSLATE_NOOP("HistoryTableModel", "Firmware"),
        [](const HistoryRow &row) -> QVariant { return firmwareText(row); }},
    {QT_TRANSLATE_NOOP("HistoryTableModel", "Written"), [](const HistoryRow &row) -> QVariant { return row.writes; }},
    {QT_TRANSLATE_NOOP("HistoryTableModel", "Verification"),
        [](const HistoryRow &row) -> QVariant { return verificationText(row); }},
    {QT_TRANSLATE_NOOP("HistoryTableModel", "Label"), [](const HistoryRow &row) -> QVariant { return row.labelCheck; }},
    {QT_TRANSLATE_NOOP("HistoryTableModel", "Registration"),
        [](const HistoryRow &row) -> QVariant { return registrationText(row); }},
    {QT_TRANSLATE_NOOP("HistoryTableModel", "Sleeping"),
        [](const HistoryRow &row) -> QVariant {
            return row.sleeping ? HistoryTableModel::tr("yes") : HistoryTableModel::tr("no");
        }},
};

} // namespace

HistoryTableModel::HistoryTableModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

void HistoryTableModel::setRows(QVector<HistoryRow> rows)
{
    beginResetModel();
    historyRows = std::move(rows);
    endResetModel();
}

int HistoryTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : historyRows.size();
}

int HistoryTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant HistoryTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= historyRows.size() || role != Qt::DisplayRole)
        return QVariant();
    if (index.column() < 0 || index.column() >= ColumnCount)
        return QVariant();
    return kColumns[index.column()].value(historyRows.at(index.row()));
}

QVariant HistoryTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (section < 0 || section >= ColumnCount)
        return QVariant();
    return tr(kColumns[section].header);
}
