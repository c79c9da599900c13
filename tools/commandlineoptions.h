#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>

#include <initializer_list>

// One command-line option as a row of a table: its name, its help text, the name of its value (none for a
// switch) and its default. A "%1" in the help text stands for the default, so the two cannot disagree.
struct OptionRow
{
    const char *name;
    const char *help;
    const char *valueName = nullptr;
    QString defaultValue = QString();
};

// Adds the rows' options in the order given, which is the order --help lists them in.
inline void addOptionRows(QCommandLineParser &parser, std::initializer_list<OptionRow> rows)
{
    for (const OptionRow &row : rows) {
        QString help = QString::fromUtf8(row.help);
        if (!row.defaultValue.isEmpty() && help.contains(QLatin1String("%1")))
            help = help.arg(row.defaultValue);
        parser.addOption(QCommandLineOption(QString::fromLatin1(row.name), help,
            row.valueName ? QString::fromLatin1(row.valueName) : QString(), row.defaultValue));
    }
}
