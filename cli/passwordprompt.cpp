#include "passwordprompt.h"

#include <QByteArray>

#include <cstdio>
#include <termios.h>
#include <unistd.h>

bool PasswordPrompt::obtain(QString *password, QString *error)
{
    if (qEnvironmentVariableIsSet(kPasswordVariable)) {
        *password = qEnvironmentVariable(kPasswordVariable);
        return true;
    }
    if (!::isatty(STDIN_FILENO)) {
        *error = QStringLiteral("no password: set %1 or run on a terminal").arg(QLatin1String(kPasswordVariable));
        return false;
    }
    termios saved{};
    const bool echoOff = ::tcgetattr(STDIN_FILENO, &saved) == 0;
    if (echoOff) {
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    std::fputs("Password: ", stderr);
    std::fflush(stderr);
    QByteArray line;
    int c = 0;
    while ((c = std::fgetc(stdin)) != EOF && c != '\n')
        line.append(char(c));
    if (echoOff)
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    std::fputs("\n", stderr);
    *password = QString::fromUtf8(line);
    return true;
}
