#pragma once

#include <QIcon>
#include <QString>
#include <QStringList>

// The icon of the tool's windows. An "./IoT.png" in the working directory comes first, so a workbench can
// brand its tool; a tool started from the desktop menu has none there and shows its installed icon instead,
// so the window never goes without one.
class ApplicationIcon
{
public:
    static constexpr const char *kWorkingDirectoryFile = "./IoT.png";

    // The first readable icon of: the working directory's file, the installed theme icon, installedFiles().
    // Null only when none of them can be read.
    static QIcon find();
    // The same search over given sources; an empty source is skipped.
    static QIcon find(
        const QString &workingDirectoryFile, const QString &themeIconName, const QStringList &installedFiles);

    // Files tried after the theme: the icon installed with the program, found relative to the executable
    // (the icon theme may be missing on a bare system), then the copy a build tree keeps beside it.
    static QStringList installedFiles();
    static QString themeIconName();

private:
    static QIcon readableFile(const QString &path);
};
