#include "e2estation.h"

#include "apptestsupport.h"
#include "commissioningjournal.h"
#include "mainwindow.h"
#include "nodeform.h"
#include "registrationoutbox.h"
#include "testpacing.h"
#include "testserverprocess.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>

E2eStation::E2eStation() = default;

E2eStation::~E2eStation()
{
    // The window (and with it the link) goes before the nodes whose lines it holds open.
    mainWindow.reset();
    qunsetenv(MainWindow::kExtraPortsVariable);
}

QString E2eStation::addNode(const SimNodeProfile &profile)
{
    if (!portDir.isValid()) {
        problem = QStringLiteral("no temporary directory");
        return QString();
    }
    auto simulator = std::make_unique<NodeSimulator>(profile);
    const QString path = portDir.filePath(QStringLiteral("ttyNODE%1").arg(nodes.size()));
    if (!simulator->start(path, &problem))
        return QString();
    nodes.push_back(std::move(simulator));
    paths << path;
    return path;
}

void E2eStation::openWindow(const QString &serverUrl, const QVariantMap &extra, bool rememberPort)
{
    // Pseudo-terminals are not among the system's ports; the tool offers them as extra ports.
    qputenv(MainWindow::kExtraPortsVariable, paths.join(QLatin1Char(':')).toLocal8Bit());
    QSettings settings(
        QString::fromLatin1(MainWindow::kOrganisationName), QString::fromLatin1(MainWindow::kApplicationName));
    settings.clear();
    if (!serverUrl.isEmpty())
        settings.setValue(QStringLiteral("JSONregister/server"), serverUrl);
    if (rememberPort && !paths.isEmpty())
        settings.setValue(QStringLiteral("serial/port"), paths.first());
    for (auto it = extra.cbegin(); it != extra.cend(); ++it)
        settings.setValue(it.key(), it.value());
    settings.sync();

    // Every case starts with no history: a registration left waiting by an earlier case must not be sent here.
    for (const QString &file :
        {journalPath(), outboxPath(), outboxPath() + QStringLiteral("-wal"), outboxPath() + QStringLiteral("-shm")})
        QFile::remove(file);

    mainWindow = std::make_unique<MainWindow>(testPacing());
    mainWindow->show();
    mainWindow->activateWindow();
}

CommissioningSession *E2eStation::session() const
{
    return mainWindow ? mainWindow->session() : nullptr;
}

bool E2eStation::waitForState(CommissioningSession::State state, int timeoutMs) const
{
    return QTest::qWaitFor([&] { return session() && session()->state() == state; }, timeoutMs);
}

bool E2eStation::bootAndShow(bool login)
{
    if (login)
        driver.login(QLatin1String(TestServerProcess::kUser), QLatin1String(TestServerProcess::kPassword));
    node().boot();
    return waitForState(CommissioningSession::State::NodeShown)
        && QTest::qWaitFor([this] { return form() != nullptr; }, kReadWaitMs);
}

NodeForm *E2eStation::form() const
{
    if (!mainWindow)
        return nullptr;
    // A form that was taken away is hidden at once and deleted later.
    for (NodeForm *candidate : mainWindow->findChildren<NodeForm *>()) {
        if (candidate->isVisible())
            return candidate;
    }
    return nullptr;
}

QPushButton *E2eStation::button(const char *objectName) const
{
    return namedChild<QPushButton>(mainWindow.get(), objectName);
}

QLabel *E2eStation::label(const char *objectName) const
{
    return namedChild<QLabel>(mainWindow.get(), objectName);
}

QColor E2eStation::textColour(const QLabel *label)
{
    return label->palette().color(QPalette::Active, label->foregroundRole());
}

void E2eStation::typeInto(NodeForm *form, const char *editName, const QString &text)
{
    auto *edit = form->findChild<QLineEdit *>(QLatin1String(editName));
    QVERIFY2(edit, editName);
    edit->selectAll();
    QTest::keyClicks(edit, text);
}

QString E2eStation::journalPath()
{
    return CommissioningJournal::defaultFilePath();
}

QString E2eStation::outboxPath()
{
    return RegistrationOutbox::defaultFilePath();
}

QStringList E2eStation::journalEvents()
{
    QFile file(journalPath());
    QStringList events;
    if (!file.open(QIODevice::ReadOnly))
        return events;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (!line.trimmed().isEmpty())
            events << QJsonDocument::fromJson(line).object().value(QLatin1String("event")).toString();
    }
    return events;
}
