#pragma once

#include "commandexit.h"

#include <QCommandLineOption>
#include <QString>

// What the tool's programs (the command line's `iot-commission-cli`, the window program's commands) share on
// their command lines: the options both take, named and valued alike, and how they say a problem on standard
// error: "program: text".
namespace CommandLine {
// The journal to work on instead of the tool's own: --journal FILE.
QCommandLineOption journalOption(const QString &help);
// A production lot: --lot NAME.
QCommandLineOption lotOption(const QString &help);
// A commissioning profile: --profile FILE.
QCommandLineOption profileOption(const QString &help);

// The shared database the journal is forwarded to: --database postgresql://user@host:port/dbname.
QCommandLineOption databaseOption(const QString &help);

// Writes "program: text" and a line break on standard error at once.
void say(const char *program, const QString &text);
// Says `text` and returns exitCode, for `return CommandLine::fail(...)`.
int fail(const char *program, const QString &text, int exitCode = CommandExit::kUsage);
} // namespace CommandLine
