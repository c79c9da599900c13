#pragma once

#include <QString>

// Where the command line's password comes from: the environment, or a prompt on the terminal without echo.
// Never from the command line, where every user of the machine could read it.
class PasswordPrompt
{
public:
    static constexpr const char *kPasswordVariable = "IOT_COMMISSION_PASSWORD";

    // The password from the environment; else, when standard input is a terminal, asked for on standard error
    // with echo off. False (and *error set) when neither is possible.
    static bool obtain(QString *password, QString *error);
    // Asks on the terminal with echo off, `prompt` first; false when standard input is no terminal.
    static bool ask(const char *prompt, QString *password);
};
