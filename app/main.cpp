#include "mainwindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>

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

// --help and --version are answered on standard output before any GUI exists, so they work without a display.
// Returns -1 when the window is to be started.
int answerWithoutWindow(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    nameApplication();
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Tessaline IoT Commission Tool: reads, configures and "
                                                    "registers lock sensor nodes on a serial port."));
    parser.addHelpOption();
    parser.addVersionOption();
    // Options the parser does not know (Qt's -platform, -style …) are not an error here.
    parser.parse(QCoreApplication::arguments());
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        std::printf("%s %s\n", qPrintable(QCoreApplication::applicationName()),
            qPrintable(QCoreApplication::applicationVersion()));
        return 0;
    }
    return -1;
}

} // namespace

int main(int argc, char *argv[])
{
    const int answered = answerWithoutWindow(argc, argv);
    if (answered >= 0)
        return answered;

    QApplication application(argc, argv);
    nameApplication();
    // Lets the desktop match the window to its menu entry, and so to its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(IOT_DESKTOP_ENTRY));
    int exitCode = 0;
    {
        // The window, and with it the link thread, goes before the application object.
        MainWindow window;
        window.show();
        exitCode = application.exec();
    }
    return exitCode;
}
