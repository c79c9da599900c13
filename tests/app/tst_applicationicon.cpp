#include "applicationicon.h"
#include "apptestsupport.h"
#include "mainwindow.h"

#include <QDir>
#include <QFile>
#include <QIcon>
#include <QImage>

#include <memory>

namespace {

const QColor kWorkingDirectoryColour(Qt::red);
const QColor kThemeColour(Qt::green);
const QColor kInstalledColour(Qt::blue);

bool writeIcon(const QString &path, const QColor &colour)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QImage image(64, 64, QImage::Format_ARGB32);
    image.fill(colour);
    return image.save(path, "PNG");
}

// The colour an icon shows, or an invalid colour for a null icon.
QColor colourOf(const QIcon &icon)
{
    if (icon.isNull())
        return QColor();
    const QImage image = icon.pixmap(16, 16).toImage();
    return image.isNull() ? QColor() : image.pixelColor(8, 8);
}

} // namespace

class ApplicationIconTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void firstReadableSourceGivesTheIcon_data();
    void firstReadableSourceGivesTheIcon();
    void windowTakesTheWorkingDirectoryIcon();
    void windowStartedElsewhereShowsTheInstalledIcon();

private:
    // An icon theme in the test's directory that holds the tool's icon in the given colour, or no icon at all.
    void installTheme(bool withIcon);

    std::unique_ptr<QTemporaryDir> dir;
    QString previousDirectory;
    QStringList previousSearchPaths;
    QString previousTheme;
};

void ApplicationIconTest::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    previousDirectory = QDir::currentPath();
    previousSearchPaths = QIcon::themeSearchPaths();
    previousTheme = QIcon::themeName();
    QApplication::setWindowIcon(QIcon());
}

void ApplicationIconTest::cleanup()
{
    QDir::setCurrent(previousDirectory);
    QIcon::setThemeSearchPaths(previousSearchPaths);
    QIcon::setThemeName(previousTheme);
    QApplication::setWindowIcon(QIcon());
    dir.reset();
}

void ApplicationIconTest::installTheme(bool withIcon)
{
    const QString themeDir = dir->filePath(QStringLiteral("icons/hicolor"));
    QVERIFY(QDir().mkpath(themeDir));
    QFile index(themeDir + QStringLiteral("/index.theme"));
    QVERIFY(index.open(QIODevice::WriteOnly));
    index.write("[Icon Theme]\nName=Hicolor\nDirectories=256x256/apps\n\n"
                "[256x256/apps]\nSize=256\nContext=Applications\nType=Threshold\n");
    index.close();
    if (withIcon) {
        QVERIFY(writeIcon(
            themeDir + QStringLiteral("/256x256/apps/") + ApplicationIcon::themeIconName() + QStringLiteral(".png"),
            kThemeColour));
    }
    QIcon::setThemeSearchPaths({dir->filePath(QStringLiteral("icons"))});
    QIcon::setThemeName(QStringLiteral("hicolor"));
}

void ApplicationIconTest::firstReadableSourceGivesTheIcon_data()
{
    QTest::addColumn<QString>("workingDirectoryFile"); // "valid", "broken" or "none"
    QTest::addColumn<bool>("themeHasIcon");
    QTest::addColumn<QStringList>("installedFiles"); // "valid" or "missing", in order
    QTest::addColumn<QColor>("expected"); // invalid: no icon

    QTest::newRow("working directory file before all others")
        << "valid" << true << QStringList{"valid"} << kWorkingDirectoryColour;
    QTest::newRow("theme icon when the working directory has none")
        << "none" << true << QStringList{"valid"} << kThemeColour;
    QTest::newRow("installed file when the theme lacks the icon")
        << "none" << false << QStringList{"missing", "valid"} << kInstalledColour;
    QTest::newRow("broken working directory file is passed over")
        << "broken" << false << QStringList{"valid"} << kInstalledColour;
    QTest::newRow("no readable source leaves no icon") << "broken" << false << QStringList{"missing"} << QColor();
}

void ApplicationIconTest::firstReadableSourceGivesTheIcon()
{
    QFETCH(QString, workingDirectoryFile);
    QFETCH(bool, themeHasIcon);
    QFETCH(QStringList, installedFiles);
    QFETCH(QColor, expected);

    const QString workingPath = dir->filePath(QStringLiteral("work/IoT.png"));
    if (workingDirectoryFile == QLatin1String("valid")) {
        QVERIFY(writeIcon(workingPath, kWorkingDirectoryColour));
    } else if (workingDirectoryFile == QLatin1String("broken")) {
        QVERIFY(QDir().mkpath(QFileInfo(workingPath).absolutePath()));
        QFile broken(workingPath);
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("\x89PNG\r\n\x1a\n but cut off here");
        broken.close();
    }
    installTheme(themeHasIcon);
    QStringList installed;
    for (int i = 0; i < installedFiles.size(); ++i) {
        const QString path = dir->filePath(QStringLiteral("share/%1/iot-commission.png").arg(i));
        if (installedFiles.at(i) == QLatin1String("valid"))
            QVERIFY(writeIcon(path, kInstalledColour));
        installed << path;
    }

    const QIcon icon = ApplicationIcon::find(workingPath, ApplicationIcon::themeIconName(), installed);
    QCOMPARE(colourOf(icon), expected);
}

void ApplicationIconTest::windowTakesTheWorkingDirectoryIcon()
{
    installTheme(true);
    QVERIFY(writeIcon(dir->filePath(QStringLiteral("IoT.png")), kWorkingDirectoryColour));
    QVERIFY(QDir::setCurrent(dir->path()));

    MainWindow window;
    QCOMPARE(colourOf(QApplication::windowIcon()), kWorkingDirectoryColour);
}

void ApplicationIconTest::windowStartedElsewhereShowsTheInstalledIcon()
{
    // As from the desktop menu: the working directory holds no IoT.png, the icon theme has the tool's icon.
    installTheme(true);
    QVERIFY(QDir::setCurrent(dir->path()));
    QVERIFY(!QFile::exists(QString::fromLatin1(ApplicationIcon::kWorkingDirectoryFile)));

    MainWindow window;
    QCOMPARE(colourOf(QApplication::windowIcon()), kThemeColour);
    QCOMPARE(colourOf(window.windowIcon()), kThemeColour);
}

IOT_APP_TEST_MAIN(ApplicationIconTest)
#include "tst_applicationicon.moc"
