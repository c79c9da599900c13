// Renders parts of the user interface into PNG files, for the documentation and for checking layouts by eye.
//
//   iot_screenshots --out <directory> [--what forms]
//
// "forms" writes form-<type>.png for each of the six node forms, filled from a node like the simulator's.
// "main" writes main-idle.png (the window as it starts, before any node) and login-dialog.png.
// "main-de" writes main-window-de.png: the window in German with its Settings menu open.
// "lots" writes lot-view.png, lot-view-de.png and unit-record.png: the history window's lot view at 1024 × 700,
// fed with a hand-built shift of unit records, in English and German, and one unit's record.
// "labels" writes label-settings.png and label-settings-de.png (Settings → Label… with its preview, in English
// and German) and label-lora.png and label-sigfox.png: a LoRaWAN and a SigFox node's label, 50 × 30 mm at 300 dpi.
// "flow" walks simulated nodes through the window and writes flow-*.png, history.png and history-lot.png (see
// flowshooter.h).
// "handsfree" writes handsfree-running.png, handsfree-pass.png and handsfree-fail.png and their -de twins: a
// station run by its profile at 520 × 700, its steps under way, PASS, and FAIL with a long reason.

#include "flowshooter.h"
#include "historywindow.h"
#include "labelprinter.h"
#include "labelsettingsdialog.h"
#include "mainwindow.h"
#include "nodebuilders.h"
#include "nodeform.h"
#include "passworddialog.h"
#include "translationloader.h"
#include "unitrecordbuilders.h"
#include "unitrecorddialog.h"

#include <QApplication>
#include <QComboBox>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QSettings>
#include <QTabWidget>
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

// Settings → Label… in the given language, and (in English) two labels as printed.
bool shootLabels(const QDir &dir, QTextStream &err)
{
    Node lora;
    lora.firmwareType = Node::LoRaOTAA;
    lora.euid = QStringLiteral("70:B3:D5:7E:D0:00:0A:01");
    lora.appId = QStringLiteral("0004A30B001C0A00");
    Node sigfox;
    sigfox.firmwareType = Node::SigFox5D;
    sigfox.euid = QStringLiteral("00C0FFEE");
    sigfox.pac = QStringLiteral("0123456789ABCDEF");
    const QString lot = QStringLiteral("2026-W50");
    const QString profileId = QStringLiteral("01230456");
    bool ok = true;
    const auto settingsShot = [&](const QString &fileName) {
        LabelSettingsDialog dialog({50.0, 30.0, QString()}, lora, profileId, lot);
        dialog.show();
        QApplication::processEvents();
        ok = saveGrab(&dialog, dir, fileName, err) && ok;
    };
    settingsShot(QStringLiteral("label-settings.png"));
    const QLocale german(QLocale::German, QLocale::Germany);
    QLocale::setDefault(german);
    if (TranslationLoader::install(german)) {
        settingsShot(QStringLiteral("label-settings-de.png"));
    } else {
        err << "the German translation is not built in\n";
        ok = false;
    }
    for (QTranslator *translator : QCoreApplication::instance()->findChildren<QTranslator *>()) {
        QCoreApplication::removeTranslator(translator);
        delete translator;
    }
    QLocale::setDefault(QLocale::system());

    const double dotsPerMm = 300 / 25.4;
    for (const auto &[node, fileName] : {std::pair<Node, QString>{lora, QStringLiteral("label-lora.png")},
             {sigfox, QStringLiteral("label-sigfox.png")}}) {
        const std::optional<NodeLabel> label = NodeLabel::forNode(node, profileId, lot, QDate(2026, 12, 9));
        const QString path = dir.filePath(fileName);
        if (!label || !LabelPrinter::image(label->layout(), dotsPerMm).save(path)) {
            err << "cannot write " << path << "\n";
            ok = false;
        }
    }
    return ok;
}

// A shift of lot 2026-W50: a unit every few minutes from 07:00 to about 12:30, most passing, the rest failing at
// the steps a line sees most, some passing at a second attempt.
QVector<UnitRecord> sampleShift()
{
    using UnitRecordBuilders::at;
    using UnitRecordBuilders::unit;
    const struct
    {
        const char *step;
        const char *reason;
    } failures[] = {{"write", "refused"}, {"verification", "mismatch"}, {"labelCheck", "mismatch"},
        {"firmwareGate", "firmwareTooOld"}, {"write", "refused"}, {"read", "keyMismatch"}, {"write", "refused"},
        {"labelCheck", "mismatch"}};
    QVector<UnitRecord> records;
    const QString lot = QStringLiteral("2026-W50");
    qint64 start = at(7, 0);
    for (int number = 0; number < 90; ++number) {
        const QString identity = QStringLiteral("70B3D57E%1").arg(0x1000 + number, 8, 16, QLatin1Char('0')).toUpper();
        const qint64 seconds = 95 + (number * 37) % 80;
        if (number % 7 == 3) {
            const auto &failure = failures[(number / 7) % 8];
            records << unit(identity, UnitRecord::Outcome::Failed, start, seconds / 2, 1, lot,
                QString::fromLatin1(failure.step), QString::fromLatin1(failure.reason));
            if (number % 2 == 1)
                records << unit(identity, UnitRecord::Outcome::Passed, start + seconds * 500 + 60000, seconds, 2, lot);
        } else if (number % 29 == 11) {
            records << unit(
                identity, UnitRecord::Outcome::Abandoned, start, 20, 1, lot, QString(), QStringLiteral("unplugged"));
        } else {
            records << unit(identity, UnitRecord::Outcome::Passed, start, seconds, 1, lot);
        }
        start += (150 + (number * 53) % 120) * 1000;
    }
    return records;
}

bool shootLotView(const QDir &dir, QTextStream &err)
{
    QTemporaryDir journalDir;
    const QString journal = journalDir.filePath(QStringLiteral("journal.jsonl"));
    QFile file(journal);
    if (!file.open(QIODevice::WriteOnly)
        || file.write("{\"devEui\":\"70B3D57E00001000\",\"event\":\"nodeRead\",\"lot\":\"2026-W50\","
                      "\"time\":\"2026-12-08T07:00:00.000Z\"}\n")
            < 0) {
        err << "cannot write " << journal << "\n";
        return false;
    }
    file.close();
    bool ok = true;
    for (const bool german : {false, true}) {
        if (german) {
            QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
            TranslationLoader::install(QLocale(QLocale::German, QLocale::Germany));
        }
        HistoryWindow window(journal);
        window.resize(1024, 700);
        window.show();
        while (!window.isLoaded())
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        window.setUnitRecords(sampleShift());
        auto *lots = window.findChild<QComboBox *>(QStringLiteral("lotCombo"));
        lots->setCurrentIndex(lots->findData(QStringLiteral("2026-W50")));
        window.findChild<QTabWidget *>(QStringLiteral("viewTabs"))->setCurrentIndex(1);
        QApplication::processEvents();
        ok = saveGrab(&window, dir, german ? QStringLiteral("lot-view-de.png") : QStringLiteral("lot-view.png"), err)
            && ok;
        if (!german) {
            // A unit whose write the node refused, with what a bench's journal gives its record.
            UnitRecord refused = sampleShift().at(3);
            refused.toolVersion = QStringLiteral("1.6.0");
            refused.keyFingerprint = QStringLiteral("D4FFB8B7");
            refused.profileSha256 = QStringLiteral("5e1c0a9b7d3f42e8a61b09c4d2f7e3a1b8c6d5e4f3a2b1c0d9e8f7a6b5c4d3e2");
            const auto measured = [](const char *name, const char *value, const char *expected, bool passed) {
                UnitRecord::Measurement m;
                m.name = QLatin1String(name);
                m.value = QLatin1String(value);
                m.expected = QLatin1String(expected);
                m.passed = passed;
                return m;
            };
            refused.steps[0].measurements
                = {measured("nodeVersion", "v2.4.1", "", true), measured("temperatureLow", "-10", "", true),
                    measured("temperatureHigh", "50", "", true), measured("reportRate", "900", "", true)};
            refused.steps[2].measurements = {measured("temperature", "-10 50", "-5 45", false)};
            refused.steps[3].measurements = {measured("tht", "failed", "", false)};
            UnitRecordDialog dialog(refused);
            dialog.show();
            QApplication::processEvents();
            ok = saveGrab(&dialog, dir, QStringLiteral("unit-record.png"), err) && ok;
        }
    }
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
        {QStringLiteral("lots"), shootLotView},
        {QStringLiteral("labels"), shootLabels},
        {QStringLiteral("flow"), [](const QDir &dir, QTextStream &err) { return FlowShooter(dir, err).run(); }},
        {QStringLiteral("handsfree"),
            [](const QDir &dir, QTextStream &err) { return FlowShooter(dir, err).runHandsFree(); }},
    };

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Renders parts of the user interface into PNG files."));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("out"), QStringLiteral("Directory for the PNG files."), QStringLiteral("dir")});
    parser.addOption({QStringLiteral("what"),
        QStringLiteral("What to render (default: everything): forms, main, main-de, lots, labels, flow, handsfree."),
        QStringLiteral("subject")});
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
