#pragma once

#include "commandexit.h"
#include "unitrecord.h"

#include <QString>
#include <QStringList>
#include <QVector>

class QCommandLineParser;

// iot_commission --report FILE.pdf --lot NAME [--journal FILE]: writes the lot's one-page report without any
// window. It shares --lot and --journal with the journal export.
class LotReportCommand
{
public:
    static constexpr int kExitSuccess = CommandExit::kSuccess;
    static constexpr int kExitNoUnits = CommandExit::kFailed;
    static constexpr int kExitBadArgument = CommandExit::kUsage;

    static void addOptions(QCommandLineParser &parser);
    static bool isRequested(const QCommandLineParser &parser);
    // Whether the raw arguments ask for a report: the report draws, so the program starts a QApplication for it.
    static bool isRequested(const QStringList &arguments);
    // Reads the journal and writes the report; reports on standard error and returns the exit code.
    static int run(const QCommandLineParser &parser, const QString &defaultJournalPath);
    // Writes the report of lot from records to target; never over the journal at journalPath, a device or a pipe.
    static int write(const QString &target, const QString &lot, const QVector<UnitRecord> &records,
        const QString &journalPath = QString());
};
