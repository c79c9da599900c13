#pragma once

#include "commandexit.h"

#include <QString>

class QCommandLineParser;

// iot_commission --export-journal FILE [--records] [--lot NAME] [--since DATE] [--until DATE] [--journal FILE]: writes
// the journal's history without any window, for a supervisor's spreadsheet or script.
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
};
