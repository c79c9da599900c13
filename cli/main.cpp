#include "commissioner.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {
// Ctrl-C is turned into an event of the loop through a socket pair, so that it is handled where it is safe.
int interruptPipe[2] = {-1, -1};

void onInterrupt(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(interruptPipe[1], &byte, 1);
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("DARV"));
    QCoreApplication::setApplicationName(QStringLiteral("iot_commission"));
    QCoreApplication::setApplicationVersion(QStringLiteral(IOT_VERSION));

    Commissioner commissioner;
    const int configured = commissioner.configure(QCoreApplication::arguments());
    if (configured >= 0)
        return configured;

    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, interruptPipe) == 0) {
        auto *notifier = new QSocketNotifier(interruptPipe[0], QSocketNotifier::Read, &application);
        QObject::connect(notifier, &QSocketNotifier::activated, &commissioner, [&commissioner] {
            char byte = 0;
            [[maybe_unused]] const ssize_t read = ::read(interruptPipe[0], &byte, 1);
            commissioner.interrupt();
        });
        struct sigaction action = {};
        action.sa_handler = onInterrupt;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(SIGINT, &action, nullptr);
        ::sigaction(SIGTERM, &action, nullptr);
    }

    int exitCode = 0;
    QObject::connect(&commissioner, &Commissioner::finished, &application, [&exitCode](int code) {
        exitCode = code;
        QCoreApplication::exit(code);
    });
    commissioner.start();
    application.exec();
    return exitCode;
}
