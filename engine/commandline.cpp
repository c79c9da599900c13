#include "commandline.h"

#include <cstdio>

QCommandLineOption CommandLine::journalOption(const QString &help)
{
    return QCommandLineOption(QStringLiteral("journal"), help, QStringLiteral("file"));
}

QCommandLineOption CommandLine::lotOption(const QString &help)
{
    return QCommandLineOption(QStringLiteral("lot"), help, QStringLiteral("name"));
}

QCommandLineOption CommandLine::profileOption(const QString &help)
{
    return QCommandLineOption(QStringLiteral("profile"), help, QStringLiteral("file"));
}

QCommandLineOption CommandLine::databaseOption(const QString &help)
{
    return QCommandLineOption(QStringLiteral("database"), help, QStringLiteral("url"));
}

void CommandLine::say(const char *program, const QString &text)
{
    std::fprintf(stderr, "%s: %s\n", program, qPrintable(text));
    std::fflush(stderr);
}

int CommandLine::fail(const char *program, const QString &text, int exitCode)
{
    say(program, text);
    return exitCode;
}
