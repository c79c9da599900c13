#include "journalexportcommand.h"

#include "commandline.h"
#include "historyexport.h"
#include "journalhistory.h"
#include "operatortext.h"
#include "sharedhistory.h"
#include "unitrecords.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDate>
#include <QDateTime>
#include <QRegularExpression>

#include <limits>

namespace {

// The export's options, in the order --help lists them.
enum OptionIndex { ExportOption, JournalOption, LotOption, SinceOption, UntilOption, RecordsOption, DatabaseOption };
struct OptionRow
{
    const char *name;
    const char *help;
    const char *valueName;
};
const OptionRow kOptions[] = {
    {"export-journal",
        QT_TRANSLATE_NOOP(
            "JournalExportCommand", "Write the commissioning history to <file> (.csv, .jsonl or .json) and exit."),
        "file"},
    {"journal",
        QT_TRANSLATE_NOOP("JournalExportCommand", "Read the journal from <file> instead of the user's journal."),
        "file"},
    {"lot", QT_TRANSLATE_NOOP("JournalExportCommand", "Export only the lot <name>."), "name"},
    {"since", QT_TRANSLATE_NOOP("JournalExportCommand", "Export only events on or after <date> (YYYY-MM-DD, UTC)."),
        "date"},
    {"until", QT_TRANSLATE_NOOP("JournalExportCommand", "Export only events on or before <date> (YYYY-MM-DD, UTC)."),
        "date"},
    {"records",
        QT_TRANSLATE_NOOP(
            "JournalExportCommand", "Write one unit record per line (.jsonl or .json) instead of the history's rows."),
        nullptr},
    {"database",
        QT_TRANSLATE_NOOP("JournalExportCommand",
            "Read every bench's entries from the shared database <url> (postgresql://user@host:port/dbname; the "
            "password from PGPASSWORD or ~/.pgpass) instead of the journal."),
        "url"},
};

QString optionName(OptionIndex option)
{
    return QString::fromLatin1(kOptions[option].name);
}

const char kProgramName[] = "iot_commission";

int fail(const QString &message)
{
    return CommandLine::fail(kProgramName, message, JournalExportCommand::kExitBadArgument);
}

// The journal and the lot are taken as the command line's commission command takes them.
QCommandLineOption optionOf(OptionIndex option)
{
    const QString help = QCoreApplication::translate("JournalExportCommand", kOptions[option].help);
    switch (option) {
    case JournalOption:
        return CommandLine::journalOption(help);
    case LotOption:
        return CommandLine::lotOption(help);
    case DatabaseOption:
        return CommandLine::databaseOption(help);
    default:
        if (!kOptions[option].valueName)
            return QCommandLineOption(optionName(option), help);
        return QCommandLineOption(optionName(option), help, QString::fromLatin1(kOptions[option].valueName));
    }
}

// YYYY-MM-DD only: Qt's ISO reader would also take other forms a script should not rely on.
bool parseDate(const QString &text, QDate *date)
{
    static const QRegularExpression form(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
    if (!form.match(text).hasMatch())
        return false;
    *date = QDate::fromString(text, Qt::ISODate);
    return date->isValid();
}

void reportSkipped(const JournalHistory &history)
{
    if (history.skippedLines() > 0)
        CommandLine::say(kProgramName,
            QCoreApplication::translate(
                "JournalExportCommand", "skipped %n incomplete journal line(s)", nullptr, history.skippedLines()));
}

// The records of the units whose read falls in the filter's days and lot; each is derived from the whole
// journal, so that a unit read on the last day keeps a registration delivered on the next.
int writeRecords(
    const JournalHistory &history, const HistoryFilter &filter, const QString &target, const QString &journalPath)
{
    const qint64 from = filter.since.isValid() ? QDateTime(filter.since, QTime(0, 0), Qt::UTC).toMSecsSinceEpoch()
                                               : std::numeric_limits<qint64>::min();
    const qint64 to = filter.until.isValid()
        ? QDateTime(filter.until.addDays(1), QTime(0, 0), Qt::UTC).toMSecsSinceEpoch()
        : std::numeric_limits<qint64>::max();
    QVector<UnitRecord> records;
    for (const UnitRecord &record : UnitRecords::fromEntries(history.entries())) {
        if (record.startMsecs >= from && record.startMsecs < to && (filter.allLots || record.lot == filter.lot))
            records.append(record);
    }
    if (records.isEmpty()) {
        CommandLine::say(kProgramName,
            QCoreApplication::translate("JournalExportCommand", "no entries matched; %1 not written").arg(target));
        return JournalExportCommand::kExitNothingMatched;
    }
    QString error;
    if (!HistoryExport::writeFile(target, HistoryExport::recordLines(records), &error, journalPath))
        return fail(QCoreApplication::translate("JournalExportCommand", "cannot write %1").arg(error));
    reportSkipped(history);
    CommandLine::say(kProgramName,
        QCoreApplication::translate("JournalExportCommand", "exported %n unit record(s) to %1", nullptr, records.size())
            .arg(target));
    return JournalExportCommand::kExitSuccess;
}

} // namespace

int JournalExportCommand::readSharedHistory(const QCommandLineParser &parser, JournalHistory *history)
{
    const QString name = optionName(DatabaseOption);
    if (!parser.isSet(name))
        return kExitSuccess;
    if (parser.isSet(optionName(JournalOption)))
        return fail(QCoreApplication::translate("JournalExportCommand", "--journal does not go with --database"));
    QString problem;
    const DatabaseAddress address = DatabaseAddress::parse(parser.value(name), &problem);
    if (!address.isValid())
        return fail(QStringLiteral("--database: ") + problem);
    if (!SharedHistory::read(address, QString(), history, &problem))
        return fail(
            QCoreApplication::translate("JournalExportCommand", "cannot read the shared database: %1").arg(problem));
    return kExitSuccess;
}

void JournalExportCommand::addOptions(QCommandLineParser &parser)
{
    for (int option = ExportOption; option <= DatabaseOption; ++option)
        parser.addOption(optionOf(OptionIndex(option)));
}

bool JournalExportCommand::isRequested(const QCommandLineParser &parser)
{
    for (const OptionRow &option : kOptions) {
        if (parser.isSet(QString::fromLatin1(option.name)))
            return true;
    }
    return false;
}

int JournalExportCommand::run(const QCommandLineParser &parser, const QString &defaultJournalPath)
{
    if (!parser.isSet(optionName(ExportOption)))
        return fail(QCoreApplication::translate("JournalExportCommand",
            "--journal, --lot, --since, --until, --records and --database only go with --export-journal FILE"));
    const QString target = parser.value(optionName(ExportOption));
    const bool records = parser.isSet(optionName(RecordsOption));
    if (records && HistoryExport::formatFor(target) != HistoryExport::JsonLines)
        return fail(
            QCoreApplication::translate("JournalExportCommand", "%1: unit records are written as .jsonl or .json")
                .arg(target));
    if (HistoryExport::formatFor(target) == HistoryExport::Unknown)
        return fail(
            QCoreApplication::translate("JournalExportCommand", "%1: the file name must end in .csv, .jsonl or .json")
                .arg(target));

    HistoryFilter filter;
    if (parser.isSet(optionName(LotOption))) {
        filter.allLots = false;
        // Lots are read from the journal without controls or direction marks; the name given is taken the same way.
        filter.lot = OperatorText::cleaned(parser.value(optionName(LotOption)));
    }
    for (const auto &[option, date] : {std::pair<OptionIndex, QDate *>{SinceOption, &filter.since},
             std::pair<OptionIndex, QDate *>{UntilOption, &filter.until}}) {
        const QString name = optionName(option);
        if (parser.isSet(name) && !parseDate(parser.value(name), date))
            return fail(QCoreApplication::translate("JournalExportCommand", "--%1 %2: expected a date as YYYY-MM-DD")
                            .arg(name, parser.value(name)));
    }
    if (filter.since.isValid() && filter.until.isValid() && filter.since > filter.until)
        return fail(QCoreApplication::translate("JournalExportCommand", "--since is after --until"));

    const QString journalPath
        = parser.isSet(optionName(JournalOption)) ? parser.value(optionName(JournalOption)) : defaultJournalPath;
    JournalHistory history;
    QString error;
    if (parser.isSet(optionName(DatabaseOption))) {
        const int read = readSharedHistory(parser, &history);
        if (read != kExitSuccess)
            return read;
    } else if (journalPath.isEmpty() || !history.readFile(journalPath, &error)) {
        return fail(
            QCoreApplication::translate("JournalExportCommand", "cannot read the journal %1: %2")
                .arg(journalPath,
                    journalPath.isEmpty() ? QCoreApplication::translate("JournalExportCommand", "no data directory")
                                          : error));
    }
    if (records)
        return writeRecords(history, filter, target, journalPath);
    const QVector<HistoryRow> rows = history.rows(filter);
    if (rows.isEmpty()) {
        // An empty export is most likely a mistyped lot or date; an earlier file of the same name is kept.
        CommandLine::say(kProgramName,
            QCoreApplication::translate("JournalExportCommand", "no entries matched; %1 not written").arg(target));
        return kExitNothingMatched;
    }
    if (!HistoryExport::write(target, rows, &error, journalPath))
        return fail(QCoreApplication::translate("JournalExportCommand", "cannot write %1").arg(error));
    reportSkipped(history);
    CommandLine::say(kProgramName,
        QCoreApplication::translate("JournalExportCommand", "exported %n row(s) to %1", nullptr, rows.size())
            .arg(target));
    return kExitSuccess;
}
