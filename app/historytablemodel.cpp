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
    return QStringLiteral("%1 (%2)").arg(row.registration).arg(row.registrationStatus);
}

QString verificationText(const HistoryRow &row)
{
    return row.mismatches.isEmpty() ? row.verification : QStringLiteral("%1: %2").arg(row.verification, row.mismatches);
}

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
    const HistoryRow &row = historyRows.at(index.row());
    switch (index.column()) {
    case TimeColumn:
        return row.lastTime();
    case IdentifierColumn:
        return row.identifier;
    case LotColumn:
        return row.lot;
    case TypeColumn:
        return row.type;
    case FirmwareColumn:
        return firmwareText(row);
    case WritesColumn:
        return row.writes;
    case VerificationColumn:
        return verificationText(row);
    case LabelColumn:
        return row.labelCheck;
    case RegistrationColumn:
        return registrationText(row);
    case SleepingColumn:
        return row.sleeping ? tr("yes") : tr("no");
    default:
        return QVariant();
    }
}

QVariant HistoryTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case TimeColumn:
        return tr("Last event (UTC)");
    case IdentifierColumn:
        return tr("Identifier");
    case LotColumn:
        return tr("Lot");
    case TypeColumn:
        return tr("Type");
    case FirmwareColumn:
        return tr("Firmware");
    case WritesColumn:
        return tr("Written");
    case VerificationColumn:
        return tr("Verification");
    case LabelColumn:
        return tr("Label");
    case RegistrationColumn:
        return tr("Registration");
    case SleepingColumn:
        return tr("Sleeping");
    default:
        return QVariant();
    }
}
