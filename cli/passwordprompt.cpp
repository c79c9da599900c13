#include "passwordprompt.h"

#include <QByteArray>

#include <csignal>
#include <cstddef>
#include <cstdio>
#include <iterator>
#include <termios.h>
#include <unistd.h>

namespace {
// The terminal's settings before the prompt turned its echo off, for the signal handler below.
termios terminalBeforePrompt{};
volatile sig_atomic_t echoTurnedOff = 0;

// The signals that end the program while it waits for the password (Ctrl-C, Ctrl-\, a closed terminal, kill).
constexpr int kEndingSignals[] = {SIGINT, SIGQUIT, SIGHUP, SIGTERM};

// Gives the terminal its echo back, then ends the program as the signal would have without the prompt.
void restoreTerminalAndEnd(int signalNumber)
{
    if (echoTurnedOff)
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &terminalBeforePrompt);
    [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, "\n", 1);
    ::signal(signalNumber, SIG_DFL);
    ::raise(signalNumber);
}
} // namespace

bool PasswordPrompt::obtain(QString *password, QString *error)
{
    if (qEnvironmentVariableIsSet(kPasswordVariable)) {
        *password = qEnvironmentVariable(kPasswordVariable);
        return true;
    }
    if (!ask("Password: ", password)) {
        *error = QStringLiteral("no password: set %1 or run on a terminal").arg(QLatin1String(kPasswordVariable));
        return false;
    }
    return true;
}

bool PasswordPrompt::ask(const char *prompt, QString *password)
{
    if (!::isatty(STDIN_FILENO))
        return false;
    // While the echo is off, a signal that ends the program must not leave the terminal without it.
    struct sigaction previous[std::size(kEndingSignals)] = {};
    struct sigaction restoring = {};
    restoring.sa_handler = restoreTerminalAndEnd;
    sigemptyset(&restoring.sa_mask);
    for (size_t i = 0; i < std::size(kEndingSignals); ++i)
        ::sigaction(kEndingSignals[i], &restoring, &previous[i]);

    const bool echoOff = ::tcgetattr(STDIN_FILENO, &terminalBeforePrompt) == 0;
    if (echoOff) {
        termios quiet = terminalBeforePrompt;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        echoTurnedOff = 1;
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    std::fputs(prompt, stderr);
    std::fflush(stderr);
    QByteArray line;
    int c = 0;
    while ((c = std::fgetc(stdin)) != EOF && c != '\n')
        line.append(char(c));
    if (echoOff)
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &terminalBeforePrompt);
    echoTurnedOff = 0;
    for (size_t i = 0; i < std::size(kEndingSignals); ++i)
        ::sigaction(kEndingSignals[i], &previous[i], nullptr);
    std::fputs("\n", stderr);
    *password = QString::fromUtf8(line);
    return true;
}
