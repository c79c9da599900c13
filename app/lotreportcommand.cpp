#include "lotreportcommand.h"

#include "commandline.h"
#include "historyexport.h"
#include "journalhistory.h"
#include "lotreport.h"
#include "lotstatistics.h"
#include "operatortext.h"
#include "unitrecords.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace {

const char kProgramName[] = "iot_commission";
const char kReportOption[] = "report";

QString translated(const char *text)
{
    return QCoreApplication::translate("LotReportCommand", text);
}

int fail(const QString &message)
{
    return CommandLine::fail(kProgramName, message, LotReportCommand::kExitBadArgument);
}

} // namespace

void LotReportCommand::addOptions(QCommandLineParser &parser)
{
    parser.addOption(QCommandLineOption(QString::fromLatin1(kReportOption),
        translated(QT_TRANSLATE_NOOP("LotReportCommand",
            "Write the one-page report of the lot --lot names to <file> "
            "(.pdf) and exit.")),
        QStringLiteral("file")));
}

bool LotReportCommand::isRequested(const QCommandLineParser &parser)
{
    return parser.isSet(QString::fromLatin1(kReportOption));
}

bool LotReportCommand::isRequested(const QStringList &arguments)
{
    for (const QString &argument : arguments.mid(1)) {
        if (argument == QLatin1String("--"))
            return false;
        if (argument == QLatin1String("--report") || argument.startsWith(QLatin1String("--report=")))
            return true;
    }
    return false;
}

int LotReportCommand::run(const QCommandLineParser &parser, const QString &defaultJournalPath)
{
    for (const char *other : {"export-journal", "records", "since", "until"}) {
        if (parser.isSet(QString::fromLatin1(other)))
            return fail(translated(QT_TRANSLATE_NOOP("LotReportCommand", "--%1 does not go with --report"))
                            .arg(QString::fromLatin1(other)));
    }
    const QString target = parser.value(QString::fromLatin1(kReportOption));
    if (!target.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive))
        return fail(
            translated(QT_TRANSLATE_NOOP("LotReportCommand", "%1: the file name must end in .pdf")).arg(target));
    if (!parser.isSet(QStringLiteral("lot")))
        return fail(translated(QT_TRANSLATE_NOOP("LotReportCommand", "--report needs the lot: --lot NAME")));
    // Lots are read from the journal without controls or direction marks; the name given is taken the same way.
    const QString lot = OperatorText::cleaned(parser.value(QStringLiteral("lot")));

    const QString journalPath
        = parser.isSet(QStringLiteral("journal")) ? parser.value(QStringLiteral("journal")) : defaultJournalPath;
    JournalHistory history;
    QString error;
    if (journalPath.isEmpty() || !history.readFile(journalPath, &error))
        return fail(
            translated(QT_TRANSLATE_NOOP("LotReportCommand", "cannot read the journal %1: %2"))
                .arg(journalPath,
                    journalPath.isEmpty() ? translated(QT_TRANSLATE_NOOP("LotReportCommand", "no data directory"))
                                          : error));
    if (history.skippedLines() > 0)
        CommandLine::say(kProgramName,
            QCoreApplication::translate(
                "LotReportCommand", "skipped %n incomplete journal line(s)", nullptr, history.skippedLines()));
    return write(target, lot, UnitRecords::fromEntries(history.entries()), journalPath);
}

int LotReportCommand::write(
    const QString &target, const QString &lot, const QVector<UnitRecord> &records, const QString &journalPath)
{
    QString error;
    // The report is written beside its target and renamed over it: a link to a device, a pipe or the journal
    // itself would replace what it points to.
    if (!HistoryExport::checkTarget(target, journalPath, &error))
        return fail(translated(QT_TRANSLATE_NOOP("LotReportCommand", "cannot write %1: %2")).arg(target, error));
    LotFilter filter;
    filter.lot = lot;
    const LotStatistics statistics = LotStatistics::compute(records, filter);
    if (statistics.units == 0) {
        // Most likely a mistyped lot; an earlier report of the same name is kept.
        CommandLine::say(kProgramName,
            translated(QT_TRANSLATE_NOOP("LotReportCommand", "no units in lot %1; %2 not written")).arg(lot, target));
        return kExitNoUnits;
    }
    if (!LotReport::write(target, lot, records, statistics, &error))
        return fail(translated(QT_TRANSLATE_NOOP("LotReportCommand", "cannot write %1: %2")).arg(target, error));
    CommandLine::say(kProgramName,
        QCoreApplication::translate(
            "LotReportCommand", "wrote the report of lot %1 (%n unit(s)) to %2", nullptr, statistics.units)
            .arg(lot, target));
    return kExitSuccess;
}
