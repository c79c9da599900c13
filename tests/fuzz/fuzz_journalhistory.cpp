// A journal file as the history window and the exports read it: possibly cut off, edited by hand or written by
// another version. Whatever its lines hold, every complete entry with an identity lands in exactly one row, the
// CSV export reads back as a header and one record per row with no cell a spreadsheet would take for a formula,
// and neither export carries a control or a bidirectional formatting character.

#include "csvreader.h"
#include "fuzzsupport.h"
#include "historyexport.h"
#include "journalhistory.h"
#include "operatortext.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {
bool isClean(const QString &text)
{
    for (const QChar c : text) {
        if (OperatorText::needsCleaning(c.unicode()))
            return false;
    }
    return true;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    JournalHistory history;
    int lines = 0;
    for (const QByteArray &line : FuzzSupport::bytes(data, size).split('\n')) {
        if (line.trimmed().isEmpty())
            continue;
        ++lines;
        history.addLine(line);
    }
    FUZZ_CHECK(history.entries().size() + history.skippedLines() == lines);

    const QVector<HistoryRow> rows = history.rows();
    int withIdentity = 0;
    for (const JournalEntry &entry : history.entries())
        withIdentity += entry.identifier.isEmpty() ? 0 : 1;
    int inRows = 0;
    for (const HistoryRow &row : rows) {
        FUZZ_CHECK(!row.events.isEmpty());
        inRows += row.events.size();
        for (int index : row.events)
            FUZZ_CHECK(history.entries().at(index).identifier == row.identifier);
        FUZZ_CHECK(row.writeResults.isEmpty() == row.writes.isEmpty());
    }
    FUZZ_CHECK(inRows == withIdentity);

    // One lot picked: only rows of that lot, each also among all rows.
    for (const QString &lot : history.lots()) {
        HistoryFilter filter;
        filter.allLots = false;
        filter.lot = lot;
        for (const HistoryRow &row : history.rows(filter))
            FUZZ_CHECK(row.lot == lot);
    }

    const QByteArray csv = HistoryExport::csv(rows);
    FUZZ_CHECK(csv.endsWith("\r\n"));
    const QList<QStringList> records = readCsv(csv);
    FUZZ_CHECK(records.size() == rows.size() + 1);
    FUZZ_CHECK(records.first() == HistoryExport::columns());
    const int statusColumn = HistoryExport::columns().indexOf(QStringLiteral("registrationStatus"));
    const int eventsColumn = HistoryExport::columns().indexOf(QStringLiteral("events"));
    for (const QStringList &record : records) {
        FUZZ_CHECK(record.size() == HistoryExport::columns().size());
        for (int column = 0; column < record.size(); ++column) {
            const QString &cell = record.at(column);
            FUZZ_CHECK(isClean(cell));
            // The number columns hold numbers (a hand-edited status may be negative); every text is guarded.
            if (cell.isEmpty() || column == statusColumn || column == eventsColumn)
                continue;
            const QChar first = cell.at(0);
            FUZZ_CHECK(first != QLatin1Char('=') && first != QLatin1Char('+') && first != QLatin1Char('-')
                && first != QLatin1Char('@'));
        }
    }

    const QList<QByteArray> objects = HistoryExport::jsonLines(rows).split('\n');
    FUZZ_CHECK(objects.size() == rows.size() + 1);
    for (int i = 0; i < rows.size(); ++i) {
        const QJsonDocument document = QJsonDocument::fromJson(objects.at(i));
        FUZZ_CHECK(document.isObject());
        const QJsonObject object = document.object();
        for (auto it = object.begin(); it != object.end(); ++it)
            FUZZ_CHECK(!it.value().isString() || isClean(it.value().toString()));
        FUZZ_CHECK(object.value(QLatin1String("events")).toInt() == rows.at(i).events.size());
    }
    return 0;
}
