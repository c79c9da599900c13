#pragma once

#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// Runs build/bin/iot-commission-cli (found through IOT_BIN_DIR) as a script would: the password in the
// environment, the journal and the outbox in a private temporary directory, standard output and standard error
// kept apart. Used by the tests and the stations benchmark.
class CliRun
{
public:
    static constexpr const char *kPasswordVariable = "IOT_COMMISSION_PASSWORD";

    explicit CliRun(const QString &password = QString());
    ~CliRun(); // kills a program still running
    CliRun(const CliRun &) = delete;
    CliRun &operator=(const CliRun &) = delete;

    static QString executablePath();
    // `commission` on the given ports against the server as `user`, with the profile, reporting in JSON.
    static QStringList commissionArguments(
        const QStringList &ports, const QString &serverUrl, const QString &user, const QString &profilePath);
    // Sets a variable of the program's environment; before start().
    void setEnvironmentVariable(const QString &name, const QString &value);

    // Another directory for the journal and the outbox (another run's, so that two runs share them). Before
    // start().
    void useDirectory(const QString &path) { dataDirectory = path; }
    void shareDirectoryOf(const CliRun &other) { useDirectory(other.directory()); }
    // Starts the program with `arguments` plus "--journal <private journal>". False when it did not start.
    bool start(const QStringList &arguments);
    // SIGTERM, as a service manager or `kill` ends it.
    void terminate() { process.terminate(); }
    bool isRunning() const { return process.state() != QProcess::NotRunning; }
    // Polls (with an event loop) until every port has said "<port>: waiting for a node" on standard error, that
    // is until each port is open and a node booted now is read from its first line.
    bool waitForPortsOpen(const QStringList &ports, int timeoutMs);
    // Waits for the program to end by itself. False when it did not within the time.
    bool waitForExit(int timeoutMs);

    int exitCode() const { return process.exitCode(); }
    bool exitedNormally() const { return process.exitStatus() == QProcess::NormalExit; }
    QString journalPath() const { return directory() + QStringLiteral("/journal.jsonl"); }
    QString outboxPath() const { return directory() + QStringLiteral("/outbox.sqlite"); }
    QString directory() const { return dataDirectory.isEmpty() ? dir.path() : dataDirectory; }

    QString standardError();
    QStringList standardOutputLines();
    // Each standard output line parsed as a JSON object (an unparsable line gives an empty object).
    QList<QJsonObject> reports();
    // The journal's entries whose "event" is `event`.
    QList<QJsonObject> journalEvents(const QString &event) const;

private:
    QTemporaryDir dir;
    QString dataDirectory;
    QProcess process;
    QByteArray out;
    QByteArray err;
};
