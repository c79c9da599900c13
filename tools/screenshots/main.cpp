// Renders parts of the user interface into PNG files, for the documentation and for checking layouts by eye.
//
//   iot_screenshots --out <directory> [--what forms]
//
// "forms" writes form-<type>.png for each of the six node forms, filled from a node like the simulator's.
// "main" writes main-idle.png (the window as it starts, before any node) and login-dialog.png.
// "main-de" writes main-window-de.png: the window in German with its Settings menu open.
// "flow" walks simulated nodes through the window and writes flow-*.png, history.png and history-lot.png (see
// flowshooter.h).

#include "flowshooter.h"
#include "mainwindow.h"
#include "nodebuilders.h"
#include "nodeform.h"
#include "passworddialog.h"
#include "translationloader.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTranslator>

#include <functional>
#include <map>
#include <memory>

namespace {

struct FormShot
{
    Node::eFirmwareType type;
    const char *fileName;
};

const FormShot kFormShots[] = {
    {Node::Pellimar, "form-pellimar.png"},
    {Node::LoRaOTAA, "form-lora-otaa.png"},
    {Node::SigFox, "form-sigfox.png"},
    {Node::Pellimar5D, "form-pellimar-5d.png"},
    {Node::LoRaOTAA5D, "form-lora-otaa-5d.png"},
    {Node::SigFox5D, "form-sigfox-5d.png"},
};

// A node as the link reads it from the simulator: thresholds as the node prints them, pressure and
// acceleration in hundredths.
Node sampleNode(Node::eFirmwareType type)
{
    NodeOptions options;
    options.nodeVersion = QStringLiteral("v%1.4.1").arg(int(type));
    return healthyNode(type, options);
}

bool saveGrab(QWidget *widget, const QDir &dir, const QString &fileName, QTextStream &err)
{
    widget->show();
    QApplication::processEvents();
    const QString path = dir.filePath(fileName);
    if (!widget->grab().save(path)) {
        err << "cannot write " << path << "\n";
        return false;
    }
    return true;
}

bool shootForms(const QDir &dir, QTextStream &err)
{
    bool ok = true;
    for (const FormShot &shot : kFormShots) {
        std::unique_ptr<NodeForm> form(NodeForm::create(sampleNode(shot.type)));
        ok = saveGrab(form.get(), dir, QString::fromLatin1(shot.fileName), err) && ok;
    }
    return ok;
}

bool shootMainWindow(const QDir &dir, QTextStream &err)
{
    // The window as on a first start: nothing left behind by the flow (its remembered port is gone with its
    // simulator, and would be shown as unavailable).
    QSettings(QString::fromLatin1(MainWindow::kOrganisationName), QString::fromLatin1(MainWindow::kApplicationName))
        .clear();
    qunsetenv(MainWindow::kExtraPortsVariable);
    MainWindow window;
    bool ok = saveGrab(&window, dir, QStringLiteral("main-idle.png"), err);

    PasswordDialog dialog(QStringLiteral("ORVA server"), QStringLiteral("http://127.0.0.1:8080"));
    dialog.findChild<QLineEdit *>(QStringLiteral("usernameLineEdit"))->setText(QStringLiteral("operator"));
    dialog.findChild<QLineEdit *>(QStringLiteral("passwordLineEdit"))->setText(QStringLiteral("tessaline"));
    ok = saveGrab(&dialog, dir, QStringLiteral("login-dialog.png"), err) && ok;
    return ok;
}

// The window as a German operator sees it, with the Settings menu open over it. The menu is a window of its
// own, so it is painted into the window's picture where it opens.
bool shootGermanMainWindow(const QDir &dir, QTextStream &err)
{
    const QLocale german(QLocale::German, QLocale::Germany);
    QLocale::setDefault(german);
    if (!TranslationLoader::install(german)) {
        err << "the German translation is not built in\n";
        return false;
    }
    bool ok = true;
    {
        MainWindow window;
        window.show();
        QApplication::processEvents();
        auto *settingsMenu = window.findChild<QMenu *>(QStringLiteral("menuSettings"));
        auto *menuBar = window.findChild<QMenuBar *>(QStringLiteral("menuBar"));
        QPixmap picture = window.grab();
        if (settingsMenu && menuBar) {
            const QPoint opensAt
                = menuBar->mapTo(&window, menuBar->actionGeometry(settingsMenu->menuAction()).bottomLeft());
            settingsMenu->popup(window.mapToGlobal(opensAt));
            QApplication::processEvents();
            QPainter painter(&picture);
            painter.drawPixmap(opensAt, settingsMenu->grab());
            settingsMenu->hide();
        }
        const QString path = dir.filePath(QStringLiteral("main-window-de.png"));
        if (!picture.save(path)) {
            err << "cannot write " << path << "\n";
            ok = false;
        }
    }
    // The subjects rendered after this one stay in English.
    for (QTranslator *translator : QCoreApplication::instance()->findChildren<QTranslator *>()) {
        QCoreApplication::removeTranslator(translator);
        delete translator;
    }
    QLocale::setDefault(QLocale::system());
    return ok;
}

} // namespace

int main(int argc, char *argv[])
{
    // The main window reads and writes its settings (and may keep a journal); a rendering run must leave the
    // user's own untouched.
    QTemporaryDir privateHome;
    qputenv("XDG_CONFIG_HOME", privateHome.filePath(QStringLiteral("config")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", privateHome.filePath(QStringLiteral("data")).toLocal8Bit());
    QApplication application(argc, argv);
    QTextStream err(stderr);

    // Each subject renders its part of the interface into the output directory.
    const std::map<QString, std::function<bool(const QDir &, QTextStream &)>> subjects = {
        {QStringLiteral("forms"), shootForms},
        {QStringLiteral("main"), shootMainWindow},
        {QStringLiteral("main-de"), shootGermanMainWindow},
        {QStringLiteral("flow"), [](const QDir &dir, QTextStream &err) { return FlowShooter(dir, err).run(); }},
    };

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Renders parts of the user interface into PNG files."));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("out"), QStringLiteral("Directory for the PNG files."), QStringLiteral("dir")});
    parser.addOption({QStringLiteral("what"),
        QStringLiteral("What to render (default: everything): forms, main, main-de, flow."), QStringLiteral("subject")});
    parser.process(application);

    if (!parser.isSet(QStringLiteral("out"))) {
        err << "--out <dir> is required\n";
        return 2;
    }
    QDir dir(parser.value(QStringLiteral("out")));
    if (!dir.mkpath(QStringLiteral("."))) {
        err << "cannot create " << dir.path() << "\n";
        return 1;
    }

    QStringList wanted = parser.values(QStringLiteral("what"));
    if (wanted.isEmpty()) {
        for (const auto &subject : subjects)
            wanted << subject.first;
    }
    bool ok = true;
    for (const QString &subject : wanted) {
        const auto found = subjects.find(subject);
        if (found == subjects.end()) {
            err << "unknown subject " << subject << "\n";
            return 2;
        }
        ok = found->second(dir, err) && ok;
    }
    return ok ? 0 : 1;
}
