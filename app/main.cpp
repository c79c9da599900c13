#include "mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    // The same names as the settings: they place the commissioning journal in the tool's data directory.
    QCoreApplication::setOrganizationName(QString::fromLatin1(MainWindow::kOrganisationName));
    QCoreApplication::setApplicationName(QString::fromLatin1(MainWindow::kApplicationName));
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
