#pragma once

#include "node.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QVector>

// The commissioning journal: what happened to which node and when, for a supervisor to look up afterwards.
// One JSON object per line, appended and never rewritten. Each entry is written with a single append and
// flushed to the disk, so a crash can cut off at most the last line; reading skips such a line and the next
// entry starts on a line of its own.
//
// Entries carry identities, versions, flag names and result codes only, never the application key, the PAC,
// the operator's password or its digest, or the server's token; the record methods take nothing else.
class CommissioningJournal
{
public:
    static constexpr const char *kFileName = "journal.jsonl";

    // The journal of the user running the tool, in the application's data directory
    // (~/.local/share/DARV/iot_commission/journal.jsonl once main() has named the application).
    static QString defaultFilePath();

    explicit CommissioningJournal(const QString &filePath = defaultFilePath());

    QString filePath() const { return path; }

    // Each writes one entry stamped with the current time in UTC and returns false (and logs why) when the
    // entry could not be written. The node supplies the identity: its DevEUI, or its SigFox ID for SigFox types.
    bool recordNodeRead(const QString &port, const Node &node);
    bool recordSettingsWritten(const Node &node, int flags, int result);
    bool recordDeviceIdWritten(const Node &node, int result);
    bool recordSigfoxDataWritten(const Node &node, int result);
    bool recordRegistration(const Node &node, int statusCode);
    bool recordNodeSleeping(const Node &node);

    // All complete entries in the order they were written. Lines that are not a JSON object (a line cut off
    // by a crash) are skipped and counted in skippedLines when given.
    QVector<QJsonObject> entries(int *skippedLines = nullptr) const;

    // The names of the settings a write selects, lowest bit first ("temperature", "reportRate").
    static QStringList flagNames(int flags);

private:
    static QJsonObject eventFor(const char *event, const Node &node);
    bool append(QJsonObject entry);
    bool appendResult(const char *event, const Node &node, int result);

    QString path;
};
