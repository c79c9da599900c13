#pragma once

#include "journalhistory.h"
#include "unitrecord.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

// Writes the history's rows for a spreadsheet (CSV) or a script (JSON lines). The columns are fixed and hold
// identities, versions and results only; keys and PACs are never among them. Controls and bidirectional
// formatting characters are taken out of every text.
class HistoryExport
{
public:
    enum Format { Unknown, Csv, JsonLines };

    // .csv gives CSV, .jsonl and .json JSON lines; the case of the extension does not matter.
    static Format formatFor(const QString &filePath);
    // The file name an export chosen as `chosen` is written to: unchanged when its extension names a format,
    // else with ".csv" or ".jsonl" added (a name typed without an extension, or with another one).
    static QString withExtension(const QString &filePath, Format chosen);
    static QStringList columns();

    // RFC 4180: a header row, CRLF line ends, UTF-8; fields holding a comma, quote, CR or LF are quoted. A text
    // cell starting with =, +, -, @, a tab or a carriage return gets a single quote in front so that no
    // spreadsheet takes it for a formula; the numbers stay numbers.
    static QByteArray csv(const QVector<HistoryRow> &rows);
    // One JSON object per row and line, keys as the columns.
    static QByteArray jsonLines(const QVector<HistoryRow> &rows);

    // Writes the whole file or leaves any earlier one untouched. Returns false with the reason. Only a regular
    // file is replaced (a link to a device or a FIFO is refused, never written through), and never the file
    // `sourcePath` the rows were read from: an export must not take the journal's place.
    static bool write(const QString &filePath, const QVector<HistoryRow> &rows, QString *error = nullptr,
        const QString &sourcePath = QString());

    // One unit record per line (UnitRecord::toJson), for --records.
    static QByteArray recordLines(const QVector<UnitRecord> &records);
    // Whether filePath may be written: nothing there yet, or a regular file (links followed) that is not the
    // journal at sourcePath. A device, a pipe or the journal itself is never replaced.
    static bool checkTarget(const QString &filePath, const QString &sourcePath, QString *error);
    // Writes `data` to filePath under the same rules as write().
    static bool writeFile(
        const QString &filePath, const QByteArray &data, QString *error, const QString &sourcePath = QString());
};
