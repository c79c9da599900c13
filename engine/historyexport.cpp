#include "historyexport.h"

#include "operatortext.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <algorithm>

namespace {

// The last attempt's HTTP status, or the named failure when it got none.
QString statusText(const HistoryRow &row)
{
    if (row.registrationStatus == HistoryRow::kNoStatus)
        return QString();
    if (row.registrationStatus == 0 && !row.registrationFailure.isEmpty())
        return row.registrationFailure;
    return QString::number(row.registrationStatus);
}

// The columns that hold numbers (the status, or a failure's plain name): never guarded as text.
const int kStatusColumn = 12;
const int kEventsColumn = 14;

// The row's cells; the texts (lot, node texts, labels) without controls or bidirectional formatting.
QStringList rowTexts(const HistoryRow &row)
{
    QStringList texts
        = {row.lastTime(), row.identifier, row.lot, row.type, row.nodeVersion, row.moduleVersion, row.loraVersion,
            row.writes, row.verification, row.mismatches, row.labelCheck, row.registration, statusText(row),
            row.sleeping ? QStringLiteral("yes") : QStringLiteral("no"), QString::number(row.events.size())};
    for (QString &text : texts)
        text = OperatorText::cleaned(text);
    return texts;
}

// Rows of several benches (read from the shared database) get a last column naming each row's bench; a bench's own
// journal keeps the columns it always had.
bool anyBench(const QVector<HistoryRow> &rows)
{
    return std::any_of(rows.begin(), rows.end(), [](const HistoryRow &row) { return !row.bench.isEmpty(); });
}

// A spreadsheet takes a cell starting with =, +, -, @, a tab or a carriage return for a formula: a lot named
// =HYPERLINK(…) would run when the export is opened. Such a text cell gets a single quote in front, which the
// spreadsheet shows as text.
QString guardedText(const QString &text)
{
    if (text.isEmpty())
        return text;
    const QChar first = text.at(0);
    if (first == QLatin1Char('=') || first == QLatin1Char('+') || first == QLatin1Char('-') || first == QLatin1Char('@')
        || first == QLatin1Char('\t') || first == QLatin1Char('\r'))
        return QLatin1Char('\'') + text;
    return text;
}

QByteArray csvField(const QString &text)
{
    QByteArray field = text.toUtf8();
    if (field.contains(',') || field.contains('"') || field.contains('\r') || field.contains('\n')) {
        field.replace('"', "\"\"");
        field.prepend('"');
        field.append('"');
    }
    return field;
}

QByteArray csvLine(const QStringList &texts)
{
    QByteArray line;
    for (int i = 0; i < texts.size(); ++i) {
        if (i > 0)
            line += ',';
        line += csvField(texts.at(i));
    }
    line += "\r\n";
    return line;
}

} // namespace

HistoryExport::Format HistoryExport::formatFor(const QString &filePath)
{
    const QString suffix = QFileInfo(filePath).suffix().toLower();
    if (suffix == QLatin1String("csv"))
        return Csv;
    if (suffix == QLatin1String("jsonl") || suffix == QLatin1String("json"))
        return JsonLines;
    return Unknown;
}

QString HistoryExport::withExtension(const QString &filePath, Format chosen)
{
    if (formatFor(filePath) != Unknown || filePath.isEmpty())
        return filePath;
    return filePath + (chosen == JsonLines ? QStringLiteral(".jsonl") : QStringLiteral(".csv"));
}

QStringList HistoryExport::columns()
{
    return {QStringLiteral("time"), QStringLiteral("identifier"), QStringLiteral("lot"), QStringLiteral("type"),
        QStringLiteral("nodeVersion"), QStringLiteral("moduleVersion"), QStringLiteral("loraVersion"),
        QStringLiteral("writes"), QStringLiteral("verification"), QStringLiteral("mismatches"),
        QStringLiteral("labelCheck"), QStringLiteral("registration"), QStringLiteral("registrationStatus"),
        QStringLiteral("sleeping"), QStringLiteral("events")};
}

QByteArray HistoryExport::csv(const QVector<HistoryRow> &rows)
{
    const bool benches = anyBench(rows);
    QByteArray out = csvLine(benches ? columns() << QStringLiteral("bench") : columns());
    for (const HistoryRow &row : rows) {
        QStringList texts = rowTexts(row);
        if (benches)
            texts << OperatorText::cleaned(row.bench);
        for (int i = 0; i < texts.size(); ++i) {
            if (i != kStatusColumn && i != kEventsColumn)
                texts[i] = guardedText(texts.at(i));
        }
        out += csvLine(texts);
    }
    return out;
}

QByteArray HistoryExport::jsonLines(const QVector<HistoryRow> &rows)
{
    const QStringList names = columns();
    const bool benches = anyBench(rows);
    QByteArray out;
    for (const HistoryRow &row : rows) {
        const QStringList texts = rowTexts(row);
        QJsonObject object;
        for (int i = 0; i < names.size(); ++i)
            object.insert(names.at(i), texts.at(i));
        // Numbers and the yes/no column keep their JSON types.
        if (row.registrationStatus == HistoryRow::kNoStatus)
            object.insert(QStringLiteral("registrationStatus"), QJsonValue::Null);
        else if (row.registrationStatus == 0 && !row.registrationFailure.isEmpty())
            object.insert(QStringLiteral("registrationStatus"), row.registrationFailure);
        else
            object.insert(QStringLiteral("registrationStatus"), row.registrationStatus);
        object.insert(QStringLiteral("sleeping"), row.sleeping);
        object.insert(QStringLiteral("events"), row.events.size());
        if (benches)
            object.insert(QStringLiteral("bench"), OperatorText::cleaned(row.bench));
        out += QJsonDocument(object).toJson(QJsonDocument::Compact);
        out += '\n';
    }
    return out;
}

bool HistoryExport::write(
    const QString &filePath, const QVector<HistoryRow> &rows, QString *error, const QString &sourcePath)
{
    const Format format = formatFor(filePath);
    if (format == Unknown) {
        if (error)
            *error = QStringLiteral("%1: the file name must end in .csv, .jsonl or .json").arg(filePath);
        return false;
    }
    return writeFile(filePath, format == Csv ? csv(rows) : jsonLines(rows), error, sourcePath);
}

QByteArray HistoryExport::recordLines(const QVector<UnitRecord> &records)
{
    QByteArray out;
    for (const UnitRecord &record : records) {
        out += QJsonDocument(record.toJson()).toJson(QJsonDocument::Compact);
        out += '\n';
    }
    return out;
}

bool HistoryExport::checkTarget(const QString &filePath, const QString &sourcePath, QString *error)
{
    const auto fail = [error](const QString &reason) {
        if (error)
            *error = reason;
        return false;
    };
    // QFileInfo follows links: what would be replaced is the file at the end of them.
    const QFileInfo existing(filePath);
    if (existing.exists() && !existing.isFile())
        return fail(QStringLiteral("%1: not a regular file, it is left as it is").arg(filePath));
    if (existing.exists() && !sourcePath.isEmpty()
        && existing.canonicalFilePath() == QFileInfo(sourcePath).canonicalFilePath())
        return fail(
            QStringLiteral("%1: this is the journal the rows were read from; choose another file").arg(filePath));
    return true;
}

bool HistoryExport::writeFile(
    const QString &filePath, const QByteArray &data, QString *error, const QString &sourcePath)
{
    const auto fail = [error](const QString &reason) {
        if (error)
            *error = reason;
        return false;
    };
    if (!checkTarget(filePath, sourcePath, error))
        return false;
    QSaveFile file(filePath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail(QStringLiteral("%1: %2").arg(filePath, file.errorString()));
    if (file.write(data) != data.size() || !file.commit())
        return fail(QStringLiteral("%1: %2").arg(filePath, file.errorString()));
    return true;
}
