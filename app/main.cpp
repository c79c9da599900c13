#include "commandline.h"
#include "commissioningjournal.h"
#include "journalexportcommand.h"
#include "lotreportcommand.h"
#include "mainwindow.h"
#include "startoptions.h"
#include "translationloader.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QLocale>

#include <cstdio>
#include <memory>

namespace {

void nameApplication()
{
    // The same names as the settings: they place the commissioning journal in the tool's data directory.
    QCoreApplication::setOrganizationName(QString::fromLatin1(MainWindow::kOrganisationName));
    QCoreApplication::setApplicationName(QString::fromLatin1(MainWindow::kApplicationName));
    QCoreApplication::setApplicationVersion(QStringLiteral(IOT_VERSION));
}

// --help, --version, --export-journal and --report are answered before any window exists, so they work without a
// display. Returns -1 when the window is to be started, with what the command line asks of it in options.
int answerWithoutWindow(int argc, char *argv[], StartOptions *options)
{
    QStringList rawArguments;
    for (int index = 0; index < argc; ++index)
        rawArguments << QString::fromLocal8Bit(argv[index]);
    // The report draws its charts, which takes a QApplication; without a display it draws offscreen.
    const bool drawing = LotReportCommand::isRequested(rawArguments);
    if (drawing && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    std::unique_ptr<QCoreApplication> application(
        drawing ? new QApplication(argc, argv) : new QCoreApplication(argc, argv));
    nameApplication();
    TranslationLoader::install(QLocale::system());
    QCommandLineParser parser;
    parser.setApplicationDescription(QCoreApplication::translate("main",
        "Tessaline IoT Commission Tool: reads, configures and "
        "registers lock sensor nodes on a serial port."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption profileOption = CommandLine::profileOption(QCoreApplication::translate(
        "main", "Commission with the profile in <file> instead of the one chosen in the window."));
    parser.addOption(profileOption);
    JournalExportCommand::addOptions(parser);
    LotReportCommand::addOptions(parser);
    // Options the parser does not know (Qt's -platform, -style …) are not an error here; a missing value is.
    if (!parser.parse(QCoreApplication::arguments()) && parser.unknownOptionNames().isEmpty()) {
        return CommandLine::fail("iot_commission", parser.errorText(), JournalExportCommand::kExitBadArgument);
    }
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        std::printf("%s %s\n", qPrintable(QCoreApplication::applicationName()),
            qPrintable(QCoreApplication::applicationVersion()));
        return 0;
    }
    // --lot and --journal belong to the report as well as to the export.
    if (LotReportCommand::isRequested(parser))
        return LotReportCommand::run(parser, CommissioningJournal::defaultFilePath());
    if (JournalExportCommand::isRequested(parser))
        return JournalExportCommand::run(parser, CommissioningJournal::defaultFilePath());
    options->profilePath = parser.value(profileOption);
    return -1;
}

} // namespace

int main(int argc, char *argv[])
{
    StartOptions startOptions;
    const int answered = answerWithoutWindow(argc, argv, &startOptions);
    if (answered >= 0)
        return answered;

    QApplication application(argc, argv);
    nameApplication();
    // Before any widget exists: the window's texts are set when it is built.
    TranslationLoader::install(QLocale::system());
    // Lets the desktop match the window to its menu entry, and so to its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(IOT_DESKTOP_ENTRY));
    int exitCode = 0;
    {
        // The window, and with it the link thread, goes before the application object.
        MainWindow window;
        window.setProfileOverride(startOptions.profilePath);
        window.show();
        exitCode = application.exec();
    }
    return exitCode;
}
