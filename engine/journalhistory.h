#pragma once

#include <QDate>
#include <QHash>
#include <QJsonObject>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>

class QIODevice;

// One complete journal entry, with what the history groups and orders by taken out of it.
struct JournalEntry
{
    qint64 msecs = 0; // UTC, milliseconds since the epoch
    QString event;
    QString identifier; // DevEUI, or SigFox ID without leading zeros; empty when the node was not known
    QString lot; // empty outside a lot
    QJsonObject fields; // the whole entry as written
    QString bench; // the bench that wrote it, in a history of several benches; empty in a bench's own journal
};

// Which rows of the history to show or export. Dates are UTC days, both ends included; an invalid date leaves
// that end open.
struct HistoryFilter
{
    QString text; // part of the identifier or of any text of the row, in any case
    bool allLots = true;
    QString lot; // the only lot shown unless allLots; empty selects the entries made outside a lot
    QDate since;
    QDate until;
    QString bench; // the only bench shown; empty for every bench
};

// What the journal says about one node in one lot.
struct HistoryRow
{
    static constexpr int kNoStatus = -1;

    qint64 lastMsecs = 0;
    QString bench; // empty in a bench's own journal
    QString identifier;
    QString lot;
    QString type; // the communication text, "LoRa OTAA 5D"
    QString nodeVersion;
    QString moduleVersion;
    QString loraVersion;
    QString writes; // each write in order: "temperature+reportRate: done; deviceId: timed out"
    // The same writes one by one: what was written ("temperature+reportRate") and its result code.
    QVector<QPair<QString, int>> writeResults;
    QString verification; // "ok", "mismatches" or "none"
    QString mismatches; // the names of the settings that differed, "temperature, reportRate"
    QString labelCheck; // "matches", "does not match" or "none"
    QString registration; // "added", "updated", "waiting", "refused" or empty
    int registrationStatus = kNoStatus; // HTTP status of the last answer, kNoStatus before any
    QString registrationFailure; // why the last attempt got no HTTP status ("connectionRefused", ...)
    bool sleeping = false;
    QVector<int> events; // indices into JournalHistory::entries(), in the order written

    QString lastTime() const; // ISO 8601 UTC with milliseconds
    // The row's texts, for the text filter.
    bool contains(const QString &text) const;
};

// The journal read back as one row per unit: a node's entries from its read until it is read afresh in another
// lot. A lot set while a node is worked on applies to that node's later entries and becomes its row's lot
// without splitting the row; the node read back after a write continues its row as well. Each column holds the
// last value its event gave. Reading streams the file line by line; a line that is not a complete entry (one
// cut off by a crash) is skipped and counted. Only a regular file is read.
class JournalHistory
{
public:
    // Reads the whole journal. Returns false with the reason when the file cannot be opened.
    bool readFile(const QString &path, QString *error = nullptr);
    // Adds one journal line; false (and counted) when it is no complete entry or holds a key twice.
    bool addLine(const QByteArray &line);
    // `bench` names the bench that wrote the entry when the history holds several benches' entries: a node's rows
    // are then kept apart per bench.
    void addEntry(const QJsonObject &entry, const QString &bench = QString());

    const QVector<JournalEntry> &entries() const { return journalEntries; }
    int skippedLines() const { return skipped; }
    // The lots named in the journal, sorted.
    QStringList lots() const;
    // The benches named by addEntry(), sorted; empty for a bench's own journal.
    QStringList benches() const;

    // Newest first: the row whose last event is the most recent comes first.
    QVector<HistoryRow> rows(const HistoryFilter &filter = HistoryFilter()) const;

    // One event's fields other than time, event, identity and lot, as "key=value, …"; never a key or a PAC.
    static QString eventDetails(const JournalEntry &entry);
    // The identifier an entry is grouped by: its DevEUI without colons in capitals, or its SigFox ID without
    // leading zeros.
    static QString identifierOf(const QJsonObject &entry);
    // What a registration status means for the node: added, updated, waiting (tried again later) or refused.
    static QString registrationState(int status);
    static QString resultText(int result);

private:
    QVector<JournalEntry> journalEntries;
    QHash<QString, int> lotCounts;
    QHash<QString, int> benchCounts;
    int skipped = 0;
};
