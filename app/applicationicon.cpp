#include "applicationicon.h"

#include <QCoreApplication>
#include <QDir>
#include <QImage>

// IOT_ICON_NAME and IOT_INSTALLED_ICON_FROM_BIN come from the build, which also installs the icon there.

namespace {
const char kBuildTreeIconFile[] = "IoT.png";
}

QIcon ApplicationIcon::find()
{
    return find(QString::fromLatin1(kWorkingDirectoryFile), themeIconName(), installedFiles());
}

QIcon ApplicationIcon::find(
    const QString &workingDirectoryFile, const QString &themeIconName, const QStringList &installedFiles)
{
    QIcon icon = readableFile(workingDirectoryFile);
    if (!icon.isNull())
        return icon;
    if (!themeIconName.isEmpty() && QIcon::hasThemeIcon(themeIconName))
        return QIcon::fromTheme(themeIconName);
    for (const QString &file : installedFiles) {
        icon = readableFile(file);
        if (!icon.isNull())
            return icon;
    }
    return QIcon();
}

QStringList ApplicationIcon::installedFiles()
{
    const QDir programDir(QCoreApplication::applicationDirPath());
    return {QDir::cleanPath(programDir.filePath(QStringLiteral(IOT_INSTALLED_ICON_FROM_BIN))),
        programDir.filePath(QString::fromLatin1(kBuildTreeIconFile))};
}

QString ApplicationIcon::themeIconName()
{
    return QStringLiteral(IOT_ICON_NAME);
}

QIcon ApplicationIcon::readableFile(const QString &path)
{
    // QIcon accepts any path and only finds out when it paints; a missing or broken file must fall through.
    if (path.isEmpty() || QImage(path).isNull())
        return QIcon();
    return QIcon(path);
}
