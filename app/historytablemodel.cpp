#include "historytablemodel.h"

namespace {

QString firmwareText(const HistoryRow &row)
{
    if (row.nodeVersion.isEmpty() && row.moduleVersion.isEmpty() && row.loraVersion.isEmpty())
        return QString();
    return QStringLiteral("n:%1 c:%2 s:%3").arg(row.nodeVersion, row.moduleVersion, row.loraVersion);
}

// The history's words ("ok", "does not match", "timed out") in the operator's language; the exports keep them
// as the journal reader gives them.
const char *const kWords[] = {
    QT_TRANSLATE_NOOP("HistoryTableModel", "ok"),
    QT_TRANSLATE_NOOP("HistoryTableModel", "mismatches"),
    QT_TRANSLATE_NOOP("HistoryTableModel", "none"),
    QT_TRANSLATE_NOOP("HistoryTableModel", "matches"),
    QT_TRANSLATE_NOOP("HistoryTableModel", "does not match"),
    QT_TRANSLATE_NOOP("HistoryTableModel", "added"),
    QT_TRANSLATE_NOOP("HistoryTableModel", "updated"),
    QT_TRANSLATE_NOOP("HistoryTableModel", "waiting"),
    QT_TRANSLATE_NOOP("HistoryTableModel", "refused"),
    QT_TRANSLATE_NOOP("HistoryTableModel", "pending"),
    QT_TRANSLATE_NOOP("HistoryTableModel", "failed"),
    QT_TRANSLATE_NOOP("HistoryTableModel", "done"),
    QT_TRANSLATE_NOOP("HistoryTableModel", "timed out"),
};

QString word(const QString &text)
{
    for (const char *known : kWords) {
        if (text == QLatin1String(known))
            return HistoryTableModel::tr(known);
    }
    return text;
}

QString writesText(const HistoryRow &row)
{
    QStringList parts;
    for (const auto &write : row.writeResults)
        parts << write.first + QStringLiteral(": ") + word(JournalHistory::resultText(write.second));
    return parts.join(QStringLiteral("; "));
}

QString registrationText(const HistoryRow &row)
{
    if (row.registrationStatus == HistoryRow::kNoStatus || row.registration.isEmpty())
        return word(row.registration);
    if (row.registrationStatus == 0 && !row.registrationFailure.isEmpty())
        return QStringLiteral("%1 (%2)").arg(word(row.registration), row.registrationFailure);
    return QStringLiteral("%1 (%2)").arg(word(row.registration)).arg(row.registrationStatus);
}

QString verificationText(const HistoryRow &row)
{
    return row.mismatches.isEmpty() ? word(row.verification)
                                    : QStringLiteral("%1: %2").arg(word(row.verification), row.mismatches);
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
    {QT_TRANSLATE_NOOP("HistoryTableModel", "Written"),
        [](const HistoryRow &row) -> QVariant { return writesText(row); }},
    {QT_TRANSLATE_NOOP("HistoryTableModel", "Verification"),
        [](const HistoryRow &row) -> QVariant { return verificationText(row); }},
    {QT_TRANSLATE_NOOP("HistoryTableModel", "Label"),
        [](const HistoryRow &row) -> QVariant { return word(row.labelCheck); }},
    {QT_TRANSLATE_NOOP("HistoryTableModel", "Registration"),
        [](const HistoryRow &row) -> QVariant { return registrationText(row); }},
    {QT_TRANSLATE_NOOP("HistoryTableModel", "Sleeping"),
        [](const HistoryRow &row) -> QVariant {
            return row.sleeping ? HistoryTableModel::tr("yes") : HistoryTableModel::tr("no");
        }},
    {QT_TRANSLATE_NOOP("HistoryTableModel", "Bench"), [](const HistoryRow &row) -> QVariant { return row.bench; }},
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
