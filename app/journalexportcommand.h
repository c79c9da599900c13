#pragma once

#include "commandexit.h"

#include <QString>

class JournalHistory;
class QCommandLineParser;

// iot_commission --export-journal FILE [--records] [--lot NAME] [--since DATE] [--until DATE]
// [--journal FILE | --database URL]: writes the journal's history, or every bench's from the shared database,
// without any window, for a supervisor's spreadsheet or script.
class JournalExportCommand
{
public:
    static constexpr int kExitSuccess = CommandExit::kSuccess;
    static constexpr int kExitNothingMatched = CommandExit::kFailed;
    static constexpr int kExitBadArgument = CommandExit::kUsage;

    static void addOptions(QCommandLineParser &parser);
    // True when the command line asks for an export (or for one of its options, which is then an error).
    static bool isRequested(const QCommandLineParser &parser);
    // Runs the export; reports on standard error and returns the exit code.
    static int run(const QCommandLineParser &parser, const QString &defaultJournalPath);
    // With --database, reads every bench's entries from the shared database into `history` (the password from
    // PGPASSWORD or ~/.pgpass). kExitSuccess, also without --database; otherwise says why and returns the exit code.
    static int readSharedHistory(const QCommandLineParser &parser, JournalHistory *history);
};
