#include "mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    int exitCode = 0;
    {
        // The window, and with it the link thread, goes before the application object.
        MainWindow window;
        window.show();
        exitCode = application.exec();
    }
    return exitCode;
}
