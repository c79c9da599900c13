#include "datatable.h"
#include "journalexportcommand.h"
#include "prerequisite.h"
#include "testfiles.h"
#include "unitrecord.h"

#include <QCommandLineParser>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

const char kJournal[]
    = "{\"devEui\":\"70B3D57ED0000A01\",\"event\":\"nodeRead\",\"lot\":\"L1\",\"time\":\"2026-12-08T17:07:21.488Z\","
      "\"type\":2,\"typeName\":\"LoRa OTAA\"}\n"
      "{\"event\":\"nodeRead\",\"sigfoxId\":\"C0FFEE\",\"time\":\"2026-12-09T09:00:00.000Z\",\"type\":3,"
      "\"typeName\":\"SigFox\"}\n"
      "{\"devEui\":\"0004A30B001C0A00\",\"event\":\"nodeRead\",\"lot\":\"L2\",\"time\":\"2026-12-10T10:00:00.000Z\","
      "\"type\":1,\"typeName\":\"Pellimar\"}\n";

const int kExitSuccess = JournalExportCommand::kExitSuccess;
const int kExitBadArgument = JournalExportCommand::kExitBadArgument;
const int kExitNothingMatched = JournalExportCommand::kExitNothingMatched;

} // namespace

class JournalExportCommandTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void exitCodeAndRows_data();
    void exitCodeAndRows();
    void toolExportsWithoutADisplay_data();
    void toolExportsWithoutADisplay();
    void toolAnswersVersionAndHelpWithoutADisplay_data();
    void toolAnswersVersionAndHelpWithoutADisplay();

private:
    void addCases();
    QStringList expand(QStringList arguments) const;
    static QStringList identifiersIn(const QString &csvPath);
    static QString installedProgram();
    // Runs the installed program to its end with no display to find and no platform plugin named, as on a
    // server, its journal kept in the test's directory.
    void runHeadless(QProcess &tool, const QStringList &arguments);

    QTemporaryDir directory;
    QString journalPath;
};

void JournalExportCommandTest::initTestCase()
{
    QVERIFY(directory.isValid());
    journalPath = directory.filePath(QStringLiteral("journal.jsonl"));
    QVERIFY(writeTestFile(journalPath, kJournal));
}

// JOURNAL and OUT stand for the test's journal and a fresh output file in the test's directory.
void JournalExportCommandTest::addCases()
{
    const QString lora = QStringLiteral("70B3D57ED0000A01");
    const QString sigfox = QStringLiteral("C0FFEE");
    const QString pellimar = QStringLiteral("0004A30B001C0A00");
    const QString journal = QStringLiteral("--journal=JOURNAL");
    const QStringList csv{QStringLiteral("--export-journal"), QStringLiteral("OUT.csv"), journal};
    const auto csvWith = [&csv](std::initializer_list<const char *> options) {
        QStringList arguments = csv;
        for (const char *option : options)
            arguments << QString::fromLatin1(option);
        return arguments;
    };
    const auto exportTo = [&journal](const char *out) {
        return QStringList{QStringLiteral("--export-journal"), QString::fromLatin1(out), journal};
    };
    addDataTable<QStringList, int, QStringList>({"arguments", "exitCode", "identifiers"},
        {{"everything", csv, kExitSuccess, {pellimar, sigfox, lora}},
            {"one lot", csvWith({"--lot", "L1"}), kExitSuccess, {lora}},
            {"lot without nodes", csvWith({"--lot", "L9"}), kExitNothingMatched, {}},
            {"days without nodes", csvWith({"--since", "2027-01-01"}), kExitNothingMatched, {}},
            {"dates inclusive", csvWith({"--since", "2026-12-09", "--until", "2026-12-10"}), kExitSuccess,
                {pellimar, sigfox}},
            {"json lines", exportTo("OUT.jsonl"), kExitSuccess, {}},
            {"unit records", exportTo("OUT.jsonl") << QStringLiteral("--records"), kExitSuccess,
                {lora, sigfox, pellimar}},
            {"unit records of one lot",
                exportTo("OUT.json") << QStringLiteral("--records") << QStringLiteral("--lot=L2"), kExitSuccess,
                {pellimar}},
            {"unit records of days without nodes",
                exportTo("OUT.jsonl") << QStringLiteral("--records") << QStringLiteral("--since=2027-01-01"),
                kExitNothingMatched, {}},
            {"unit records as CSV", csvWith({"--records"}), kExitBadArgument, {}},
            {"records without export", {QStringLiteral("--records"), journal}, kExitBadArgument, {}},
            {"date in another form", csvWith({"--since", "9.12.2026"}), kExitBadArgument, {}},
            {"date that does not exist", csvWith({"--until", "2026-02-30"}), kExitBadArgument, {}},
            {"since after until", csvWith({"--since", "2026-12-10", "--until", "2026-12-09"}), kExitBadArgument, {}},
            {"unknown extension", exportTo("OUT.txt"), kExitBadArgument, {}},
            {"file that cannot be written", exportTo("OUT/missing/out.csv"), kExitBadArgument, {}},
            {"journal that does not exist",
                {QStringLiteral("--export-journal"), QStringLiteral("OUT.csv"), QStringLiteral("--journal=OUT.none")},
                kExitBadArgument, {}},
            {"lot without export", {QStringLiteral("--lot"), QStringLiteral("L1"), journal}, kExitBadArgument, {}}});
}

QStringList JournalExportCommandTest::expand(QStringList arguments) const
{
    const QString out = directory.filePath(QString::fromLatin1(QTest::currentDataTag()).replace(' ', '_'));
    for (QString &argument : arguments)
        argument.replace(QLatin1String("JOURNAL"), journalPath).replace(QLatin1String("OUT"), out);
    return arguments;
}

QStringList JournalExportCommandTest::identifiersIn(const QString &csvPath)
{
    QFile file(csvPath);
    if (!file.open(QIODevice::ReadOnly))
        return {QStringLiteral("<no file>")};
    QStringList result;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (int i = 1; i < lines.size(); ++i) {
        if (!lines.at(i).isEmpty())
            result << QString::fromUtf8(lines.at(i).split(',').value(1));
    }
    return result;
}

QString JournalExportCommandTest::installedProgram()
{
    return qEnvironmentVariable("IOT_BIN_DIR") + QStringLiteral("/iot_commission");
}

void JournalExportCommandTest::runHeadless(QProcess &tool, const QStringList &arguments)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *variable : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        environment.remove(QString::fromLatin1(variable));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), directory.filePath(QStringLiteral("data")));
    tool.setProcessEnvironment(environment);
    tool.start(installedProgram(), arguments);
    QVERIFY(tool.waitForFinished(30000));
    QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
}

void JournalExportCommandTest::exitCodeAndRows_data()
{
    addCases();
}

void JournalExportCommandTest::exitCodeAndRows()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QStringList, identifiers);
    arguments = expand(arguments);
    QCommandLineParser parser;
    JournalExportCommand::addOptions(parser);
    QVERIFY2(parser.parse(QStringList{QStringLiteral("iot_commission")} + arguments), qPrintable(parser.errorText()));
    QVERIFY(JournalExportCommand::isRequested(parser));
    QCOMPARE(JournalExportCommand::run(parser, journalPath + QStringLiteral(".default")), exitCode);
    const QString out = arguments.value(arguments.indexOf(QStringLiteral("--export-journal")) + 1);
    if (exitCode != kExitSuccess) {
        QVERIFY(out.isEmpty() || !QFile::exists(out));
    } else if (out.endsWith(QLatin1String(".csv"))) {
        QCOMPARE(identifiersIn(out), identifiers);
    } else {
        QFile file(out);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        QCOMPARE(text.count('\n'), arguments.contains(QStringLiteral("--records")) ? identifiers.size() : 3);
        if (!arguments.contains(QStringLiteral("--records")))
            return;
        // One unit record per line, each naming the format it is written in.
        QStringList identities;
        for (const QByteArray &line : text.split('\n')) {
            if (line.isEmpty())
                continue;
            const QJsonObject record = QJsonDocument::fromJson(line).object();
            QCOMPARE(record.value(QStringLiteral("format")).toInt(), UnitRecord::kFormat);
            identities << record.value(QStringLiteral("identity")).toString();
        }
        QCOMPARE(identities, identifiers);
    }
}

void JournalExportCommandTest::toolExportsWithoutADisplay_data()
{
    addCases();
}

// The installed program: no display, no platform plugin named, only a QCoreApplication.
void JournalExportCommandTest::toolExportsWithoutADisplay()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    if (!QFile::exists(installedProgram()))
        SKIP_OR_FAIL_UNDER_CI("iot_commission is not built");
    QProcess tool;
    runHeadless(tool, expand(arguments));
    if (QTest::currentTestFailed())
        return;
    const QByteArray errors = tool.readAllStandardError();
    QVERIFY2(tool.exitCode() == exitCode, errors.constData());
    if (exitCode == kExitNothingMatched)
        QVERIFY2(errors.contains("no entries matched"), errors.constData());
    if (exitCode == kExitSuccess && arguments.contains(QStringLiteral("OUT.csv")))
        QTEST(identifiersIn(expand({QStringLiteral("OUT.csv")}).first()), "identifiers");
}

void JournalExportCommandTest::toolAnswersVersionAndHelpWithoutADisplay_data()
{
    // The printed column is a pattern for the whole output.
    addDataTable<QString, QString>({"option", "printed"},
        {{"version", "--version", "\\Aiot_commission [0-9]+\\.[0-9]+\\.[0-9]+\\n\\z"},
            {"help", "--help", "\\AUsage: .*iot_commission.*--help.*--version.*--export-journal"}});
}

void JournalExportCommandTest::toolAnswersVersionAndHelpWithoutADisplay()
{
    QFETCH(QString, option);
    QFETCH(QString, printed);
    if (!QFile::exists(installedProgram()))
        SKIP_OR_FAIL_UNDER_CI("iot_commission is not built");
    QProcess tool;
    runHeadless(tool, {option});
    if (QTest::currentTestFailed())
        return;
    const QString error = QString::fromLocal8Bit(tool.readAllStandardError());
    QVERIFY2(tool.exitCode() == 0, qPrintable(error));
    const QString output = QString::fromLocal8Bit(tool.readAllStandardOutput());
    const QRegularExpression pattern(printed, QRegularExpression::DotMatchesEverythingOption);
    QVERIFY2(pattern.match(output).hasMatch(), qPrintable(output));
}

QTEST_GUILESS_MAIN(JournalExportCommandTest)
#include "tst_journalexportcommand.moc"
