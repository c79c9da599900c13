#include "clirun.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QProcessEnvironment>

CliRun::CliRun(const QString &password)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QLatin1String(kPasswordVariable), password);
    // Nothing of the user's own settings or data is read or written.
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), dir.filePath(QStringLiteral("data")));
    process.setProcessEnvironment(environment);
}

CliRun::~CliRun()
{
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(5000);
    }
}

void CliRun::setEnvironmentVariable(const QString &name, const QString &value)
{
    QProcessEnvironment environment = process.processEnvironment();
    environment.insert(name, value);
    process.setProcessEnvironment(environment);
}

QString CliRun::executablePath()
{
    return qEnvironmentVariable("IOT_BIN_DIR") + QStringLiteral("/iot-commission-cli");
}

bool CliRun::start(const QStringList &arguments)
{
    if (!dir.isValid())
        return false;
    process.start(executablePath(), QStringList(arguments) << QStringLiteral("--journal") << journalPath());
    return process.waitForStarted(10000);
}

bool CliRun::waitForPortsOpen(const QStringList &ports, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        const QString text = standardError();
        bool all = true;
        for (const QString &port : ports)
            all = all && text.contains(port + QStringLiteral(": waiting for a node"));
        if (all)
            return true;
        if (process.state() == QProcess::NotRunning)
            return false;
        process.waitForReadyRead(50);
    }
    return false;
}

bool CliRun::waitForExit(int timeoutMs)
{
    if (process.state() == QProcess::NotRunning)
        return true;
    const bool ended = process.waitForFinished(timeoutMs);
    out += process.readAllStandardOutput();
    err += process.readAllStandardError();
    return ended;
}

QString CliRun::standardError()
{
    err += process.readAllStandardError();
    return QString::fromUtf8(err);
}

QStringList CliRun::standardOutputLines()
{
    out += process.readAllStandardOutput();
    return QString::fromUtf8(out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QList<QJsonObject> CliRun::reports()
{
    QList<QJsonObject> objects;
    for (const QString &line : standardOutputLines())
        objects << QJsonDocument::fromJson(line.toUtf8()).object();
    return objects;
}

QList<QJsonObject> CliRun::journalEvents(const QString &event) const
{
    QList<QJsonObject> entries;
    QFile file(journalPath());
    if (!file.open(QIODevice::ReadOnly))
        return entries;
    while (!file.atEnd()) {
        const QJsonObject entry = QJsonDocument::fromJson(file.readLine()).object();
        if (entry.value(QStringLiteral("event")).toString() == event)
            entries << entry;
    }
    return entries;
}

QStringList CliRun::commissionArguments(
    const QStringList &ports, const QString &serverUrl, const QString &user, const QString &profilePath)
{
    QStringList arguments{QStringLiteral("commission")};
    for (const QString &port : ports)
        arguments << QStringLiteral("--port") << port;
    arguments << QStringLiteral("--server") << serverUrl << QStringLiteral("--user") << user
              << QStringLiteral("--profile") << profilePath << QStringLiteral("--json");
    return arguments;
}
