#include "journalhistory.h"

#include "commandresult.h"
#include "jsontext.h"
#include "node.h"
#include "operatortext.h"
#include "regularfile.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <limits>

namespace {

const int kStatusAdded = 200;
const int kStatusUpdated = 201;

// Fields that must never be shown or exported, should a journal ever hold one.
const char *const kSecretFields[] = {"appKey", "pac", "sigfoxData", "password", "passwordDigest", "token"};

// Days since 1970-01-01 of a proleptic Gregorian date.
qint64 daysFromCivil(int year, int month, int day)
{
    year -= month <= 2 ? 1 : 0;
    const qint64 era = (year >= 0 ? year : year - 399) / 400;
    const int yearOfEra = static_cast<int>(year - era * 400);
    const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

bool digitsAt(const QString &text, int at, int count, int *value)
{
    int result = 0;
    for (int i = at; i < at + count; ++i) {
        const QChar c = text.at(i);
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
        result = result * 10 + (c.unicode() - '0');
    }
    *value = result;
    return true;
}

// The journal writes "2026-12-08T17:07:21.488Z"; that form is read directly because Qt's parser would take most
// of the time of reading a large journal. Anything else goes through Qt.
bool parseTime(const QString &text, qint64 *msecs)
{
    int year, month, day, hour, minute, second, milli;
    if (text.size() == 24 && text.at(4) == QLatin1Char('-') && text.at(7) == QLatin1Char('-')
        && text.at(10) == QLatin1Char('T') && text.at(13) == QLatin1Char(':') && text.at(16) == QLatin1Char(':')
        && text.at(19) == QLatin1Char('.') && text.at(23) == QLatin1Char('Z') && digitsAt(text, 0, 4, &year)
        && digitsAt(text, 5, 2, &month) && digitsAt(text, 8, 2, &day) && digitsAt(text, 11, 2, &hour)
        && digitsAt(text, 14, 2, &minute) && digitsAt(text, 17, 2, &second) && digitsAt(text, 20, 3, &milli)
        && month >= 1 && month <= 12 && day >= 1 && day <= 31 && hour < 24 && minute < 60 && second < 61) {
        *msecs = ((daysFromCivil(year, month, day) * 24 + hour) * 60 + minute) * 60000LL + second * 1000LL + milli;
        return true;
    }
    const QDateTime parsed = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!parsed.isValid())
        return false;
    *msecs = parsed.toMSecsSinceEpoch();
    return true;
}

QString normalisedIdentifier(const QJsonObject &entry)
{
    const QString devEui = entry.value(QLatin1String("devEui")).toString();
    if (!devEui.isEmpty())
        return devEui.toUpper().remove(QLatin1Char(':'));
    QString sigfoxId = entry.value(QLatin1String("sigfoxId")).toString().toUpper();
    int zeros = 0;
    while (zeros < sigfoxId.size() - 1 && sigfoxId.at(zeros) == QLatin1Char('0'))
        ++zeros;
    return sigfoxId.mid(zeros);
}

qint64 startOfDay(const QDate &date)
{
    return daysFromCivil(date.year(), date.month(), date.day()) * 86400000LL;
}

QString valueText(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::Bool:
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QJsonValue::Double:
        return QString::number(value.toDouble());
    case QJsonValue::String:
        return value.toString();
    case QJsonValue::Array: {
        QStringList parts;
        for (const QJsonValue &item : value.toArray())
            parts << valueText(item);
        return parts.join(QLatin1Char('+'));
    }
    case QJsonValue::Object:
        return QString::fromUtf8(QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact));
    default:
        return QString();
    }
}

QString typeText(const QJsonObject &entry)
{
    const QString name = entry.value(QLatin1String("typeName")).toString();
    if (!name.isEmpty())
        return name;
    const int type = entry.value(QLatin1String("type")).toInt(Node::Unknown);
    const QString known = Node::communicationText(type);
    return known.isEmpty() ? QStringLiteral("Unknown (%1)").arg(type) : known;
}

// The names of the settings that differed: each mismatch is {field, written, read} (or, in a hand-made
// journal, just the name).
QString mismatchText(const QJsonValue &mismatches)
{
    if (!mismatches.isArray())
        return mismatches.isString() ? mismatches.toString() : QString();
    QStringList names;
    for (const QJsonValue &item : mismatches.toArray()) {
        const QString name
            = item.isObject() ? item.toObject().value(QLatin1String("field")).toString() : item.toString();
        if (!name.isEmpty())
            names << name;
    }
    return names.join(QStringLiteral(", "));
}

bool isWrite(const QString &event)
{
    return event == QLatin1String("settingsWritten") || event == QLatin1String("deviceIdWritten")
        || event == QLatin1String("sigfoxDataWritten");
}

void applyEvent(HistoryRow &row, const JournalEntry &entry)
{
    const QJsonObject &fields = entry.fields;
    const QString &event = entry.event;
    const auto appendWrite = [&row, &fields](const QString &what) {
        const int result = fields.value(QLatin1String("result")).toInt(int(CommandResult::Pending));
        if (!row.writes.isEmpty())
            row.writes += QStringLiteral("; ");
        row.writes += what + QStringLiteral(": ") + JournalHistory::resultText(result);
        row.writeResults.append({what, result});
    };
    if (event == QLatin1String("nodeRead")) {
        row.type = typeText(fields);
        row.nodeVersion = fields.value(QLatin1String("nodeVersion")).toString();
        row.moduleVersion = fields.value(QLatin1String("moduleVersion")).toString();
        row.loraVersion = fields.value(QLatin1String("loraVersion")).toString();
        // A node read after it went to sleep has been woken up again.
        row.sleeping = false;
    } else if (event == QLatin1String("settingsWritten")) {
        appendWrite(valueText(fields.value(QLatin1String("flags"))));
    } else if (event == QLatin1String("deviceIdWritten")) {
        appendWrite(QStringLiteral("deviceId"));
    } else if (event == QLatin1String("sigfoxDataWritten")) {
        appendWrite(QStringLiteral("sigfoxData"));
    } else if (event == QLatin1String("registrationQueued")) {
        row.registration = JournalHistory::registrationState(0);
    } else if (event == QLatin1String("registration")) {
        row.registrationStatus = fields.value(QLatin1String("status")).toInt(0);
        row.registrationFailure = fields.value(QLatin1String("failure")).toString();
        row.registration = JournalHistory::registrationState(row.registrationStatus);
    } else if (event == QLatin1String("verified")) {
        const bool ok = fields.value(QLatin1String("ok")).toBool(false);
        row.verification = ok ? QStringLiteral("ok") : QStringLiteral("mismatches");
        row.mismatches = ok ? QString() : mismatchText(fields.value(QLatin1String("mismatches")));
    } else if (event == QLatin1String("labelChecked")) {
        // The journal writes "match"; "ok" and "matches" are read as well.
        QJsonValue ok = fields.value(QLatin1String("match"));
        if (ok.isUndefined())
            ok = fields.contains(QLatin1String("ok")) ? fields.value(QLatin1String("ok"))
                                                      : fields.value(QLatin1String("matches"));
        row.labelCheck = ok.toBool(false) ? QStringLiteral("matches") : QStringLiteral("does not match");
    } else if (event == QLatin1String("nodeSleeping")) {
        row.sleeping = true;
    } else if (event == QLatin1String("notConfigured")) {
        // The node was read but set aside: its row must not look like an ordinary node of its type.
        const QString type = row.type.isEmpty() ? typeText(fields) : row.type;
        row.type = QStringLiteral("%1 (not configured)").arg(type);
    }
}

} // namespace

QString HistoryRow::lastTime() const
{
    return QDateTime::fromMSecsSinceEpoch(lastMsecs, Qt::UTC).toString(Qt::ISODateWithMs);
}

bool HistoryRow::contains(const QString &text) const
{
    if (text.isEmpty())
        return true;
    for (const QString *field : {&identifier, &bench, &lot, &type, &nodeVersion, &moduleVersion, &loraVersion, &writes,
             &verification, &mismatches, &labelCheck, &registration}) {
        if (field->contains(text, Qt::CaseInsensitive))
            return true;
    }
    return registrationStatus != kNoStatus && QString::number(registrationStatus) == text;
}

QString JournalHistory::identifierOf(const QJsonObject &entry)
{
    return normalisedIdentifier(entry);
}

QString JournalHistory::registrationState(int status)
{
    if (status == kStatusAdded)
        return QStringLiteral("added");
    if (status == kStatusUpdated)
        return QStringLiteral("updated");
    // No answer, a server that is busy or down, or a login that has run out: the registration is tried again.
    if (status == 0 || status == 401 || status == 403 || status == 408 || status == 429
        || (status >= 500 && status <= 599))
        return QStringLiteral("waiting");
    return QStringLiteral("refused");
}

QString JournalHistory::resultText(int result)
{
    switch (CommandResult(result)) {
    case CommandResult::Pending:
        return QStringLiteral("pending");
    case CommandResult::Failed:
        return QStringLiteral("failed");
    case CommandResult::Done:
        return QStringLiteral("done");
    case CommandResult::TimedOut:
        return QStringLiteral("timed out");
    default:
        return QStringLiteral("result %1").arg(result);
    }
}

bool JournalHistory::readFile(const QString &path, QString *error)
{
    QFile file;
    if (!RegularFile::open(file, path, error))
        return false;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine();
        if (!line.trimmed().isEmpty())
            addLine(line);
    }
    return true;
}

bool JournalHistory::addLine(const QByteArray &line)
{
    // The tool never writes a key twice; a line that holds one was edited, and which of the two values
    // counts ("match": false, "match": true) is left to chance. It is skipped like a line cut off.
    if (!JsonText::duplicateKey(line).isEmpty()) {
        ++skipped;
        return false;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(line, &parseError);
    const QJsonObject entry = document.object();
    if (parseError.error != QJsonParseError::NoError || !document.isObject()
        || !entry.value(QLatin1String("event")).isString() || !entry.value(QLatin1String("time")).isString()) {
        ++skipped;
        return false;
    }
    const int before = journalEntries.size();
    addEntry(entry);
    if (journalEntries.size() == before) {
        ++skipped;
        return false;
    }
    return true;
}

void JournalHistory::addEntry(const QJsonObject &fields, const QString &bench)
{
    JournalEntry entry;
    if (!parseTime(fields.value(QLatin1String("time")).toString(), &entry.msecs))
        return;
    entry.event = fields.value(QLatin1String("event")).toString();
    entry.identifier = normalisedIdentifier(fields);
    // A lot journalled before lots were cleaned may still carry a control or a direction override.
    entry.lot = OperatorText::cleaned(fields.value(QLatin1String("lot")).toString());
    entry.fields = fields;
    entry.bench = bench;
    if (!entry.lot.isEmpty())
        ++lotCounts[entry.lot];
    if (!bench.isEmpty())
        ++benchCounts[bench];
    journalEntries.append(entry);
}

QStringList JournalHistory::benches() const
{
    QStringList names = benchCounts.keys();
    names.sort();
    return names;
}

QStringList JournalHistory::lots() const
{
    QStringList names = lotCounts.keys();
    names.sort();
    return names;
}

QVector<HistoryRow> JournalHistory::rows(const HistoryFilter &filter) const
{
    const qint64 from = filter.since.isValid() ? startOfDay(filter.since) : std::numeric_limits<qint64>::min();
    const qint64 to = filter.until.isValid() ? startOfDay(filter.until.addDays(1)) : std::numeric_limits<qint64>::max();

    QVector<HistoryRow> result;
    // Per bench and identifier, its current row and whether that row waits for the node to be read back after a write.
    QHash<QString, int> rowOf;
    QVector<bool> readBackPending;
    for (int i = 0; i < journalEntries.size(); ++i) {
        const JournalEntry &entry = journalEntries.at(i);
        if (entry.identifier.isEmpty() || entry.msecs < from || entry.msecs >= to)
            continue;
        if (!filter.bench.isEmpty() && entry.bench != filter.bench)
            continue;
        // The same node on two benches is two units of work: a row each.
        const QString key
            = entry.bench.isEmpty() ? entry.identifier : entry.bench + QLatin1Char('\n') + entry.identifier;
        auto found = rowOf.find(key);
        // An entry in another lot continues the node's row, unless it is a fresh read of the node (not the read
        // back after a write): the node is then commissioned again and gets a row of its own.
        const bool newUnit = found == rowOf.end()
            || (entry.lot != result.at(found.value()).lot && entry.event == QLatin1String("nodeRead")
                && !readBackPending.at(found.value()));
        if (newUnit) {
            HistoryRow row;
            row.identifier = entry.identifier;
            row.bench = entry.bench;
            row.verification = QStringLiteral("none");
            row.labelCheck = QStringLiteral("none");
            found = rowOf.insert(key, result.size());
            result.append(row);
            readBackPending.append(false);
        }
        HistoryRow &row = result[found.value()];
        row.lot = entry.lot;
        row.lastMsecs = std::max(row.lastMsecs, entry.msecs);
        row.events.append(i);
        applyEvent(row, entry);
        // Only the entry right after a successful write can be the node's read back.
        readBackPending[found.value()]
            = isWrite(entry.event) && entry.fields.value(QLatin1String("result")).toInt() == int(CommandResult::Done);
    }
    if (!filter.allLots) {
        result.erase(std::remove_if(result.begin(), result.end(),
                         [&filter](const HistoryRow &row) { return row.lot != filter.lot; }),
            result.end());
    }
    if (!filter.text.isEmpty()) {
        const QString text = filter.text.trimmed();
        result.erase(std::remove_if(
                         result.begin(), result.end(), [&text](const HistoryRow &row) { return !row.contains(text); }),
            result.end());
    }
    std::stable_sort(result.begin(), result.end(), [](const HistoryRow &a, const HistoryRow &b) {
        if (a.lastMsecs != b.lastMsecs)
            return a.lastMsecs > b.lastMsecs;
        return a.identifier != b.identifier ? a.identifier < b.identifier : a.bench < b.bench;
    });
    return result;
}

QString JournalHistory::eventDetails(const JournalEntry &entry)
{
    QStringList parts;
    for (auto it = entry.fields.begin(); it != entry.fields.end(); ++it) {
        const QString &key = it.key();
        if (key == QLatin1String("time") || key == QLatin1String("event") || key == QLatin1String("devEui")
            || key == QLatin1String("sigfoxId") || key == QLatin1String("lot"))
            continue;
        bool secret = false;
        for (const char *name : kSecretFields)
            secret = secret || key == QLatin1String(name);
        if (!secret)
            parts << key + QLatin1Char('=') + valueText(it.value());
    }
    return parts.join(QStringLiteral(", "));
}
