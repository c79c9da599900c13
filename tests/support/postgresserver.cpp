#include "postgresserver.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTcpServer>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char *const kUnprivilegedUser = "nobody";
const int kProgramTimeoutMs = 120000;

bool runningAsRoot()
{
    return ::geteuid() == 0;
}

int freeLoopbackPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

// Hands a path to the unprivileged user the server runs as.
bool giveToServerUser(const QString &path)
{
    if (!runningAsRoot())
        return true;
    const struct passwd *user = ::getpwnam(kUnprivilegedUser);
    return user && ::chown(QFile::encodeName(path).constData(), user->pw_uid, user->pw_gid) == 0;
}

} // namespace

QString PostgresServer::programDirectory()
{
    QDir versions(QStringLiteral("/usr/lib/postgresql"));
    QStringList found = versions.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::Reversed);
    for (const QString &version : found) {
        const QString bin = versions.filePath(version + QStringLiteral("/bin"));
        if (QFile::exists(bin + QStringLiteral("/initdb")) && QFile::exists(bin + QStringLiteral("/pg_ctl")))
            return bin;
    }
    return QString();
}

PostgresServer::PostgresServer(const QStringList &settings)
    : settings(settings)
{
}

PostgresServer::~PostgresServer()
{
    if (running)
        stop();
}

bool PostgresServer::run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    const QString path = programDirectory() + QLatin1Char('/') + program;
    if (runningAsRoot())
        process.start(QStringLiteral("runuser"),
            QStringList{QStringLiteral("-u"), QLatin1String(kUnprivilegedUser), QStringLiteral("--"), path}
                + arguments);
    else
        process.start(path, arguments);
    if (!process.waitForFinished(kProgramTimeoutMs) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0) {
        error = QStringLiteral("%1 failed: %2").arg(program, QString::fromLocal8Bit(process.readAll()).trimmed());
        return false;
    }
    return true;
}

bool PostgresServer::initialise()
{
    if (programDirectory().isEmpty()) {
        error = QStringLiteral("no PostgreSQL server programs under /usr/lib/postgresql");
        return false;
    }
    if (!directory.isValid()) {
        error = QStringLiteral("no temporary directory");
        return false;
    }
    // The server user must get through the temporary directory to its own one inside it.
    ::chmod(QFile::encodeName(directory.path()).constData(), 0711);
    const QString home = directory.filePath(QStringLiteral("pg"));
    const QString passwordFile = home + QStringLiteral("/password");
    QDir().mkpath(home);
    QFile password(passwordFile);
    if (!password.open(QIODevice::WriteOnly) || password.write(kPassword) < 0) {
        error = QStringLiteral("cannot write %1").arg(passwordFile);
        return false;
    }
    password.close();
    if (!giveToServerUser(home) || !giveToServerUser(passwordFile)) {
        error = QStringLiteral("cannot hand %1 to %2").arg(home, QLatin1String(kUnprivilegedUser));
        return false;
    }
    dataDirectory = home + QStringLiteral("/data");
    if (!run(QStringLiteral("initdb"),
            {QStringLiteral("-D"), dataDirectory, QStringLiteral("-U"), QLatin1String(kUser),
                QStringLiteral("--pwfile=") + passwordFile, QStringLiteral("--auth=scram-sha-256"),
                QStringLiteral("--encoding=UTF8"), QStringLiteral("--no-sync")}))
        return false;
    serverPort = freeLoopbackPort();
    if (serverPort == 0) {
        error = QStringLiteral("no free loopback port");
        return false;
    }
    initialised = true;
    return true;
}

bool PostgresServer::start()
{
    if (running)
        return true;
    if (!initialised && !initialise())
        return false;
    QString options = QStringLiteral("-p %1 -k %2 -c listen_addresses=127.0.0.1")
                          .arg(serverPort)
                          .arg(directory.filePath(QStringLiteral("pg")));
    for (const QString &setting : settings)
        options += QStringLiteral(" -c ") + setting;
    if (!run(QStringLiteral("pg_ctl"),
            {QStringLiteral("-D"), dataDirectory, QStringLiteral("-l"),
                directory.filePath(QStringLiteral("pg/server.log")), QStringLiteral("-o"), options,
                QStringLiteral("-w"), QStringLiteral("-t"), QStringLiteral("60"), QStringLiteral("start")}))
        return false;
    running = true;
    return true;
}

bool PostgresServer::stop()
{
    if (!running)
        return true;
    if (!run(QStringLiteral("pg_ctl"),
            {QStringLiteral("-D"), dataDirectory, QStringLiteral("-m"), QStringLiteral("fast"), QStringLiteral("-w"),
                QStringLiteral("-t"), QStringLiteral("60"), QStringLiteral("stop")}))
        return false;
    running = false;
    return true;
}

bool PostgresServer::createDatabase(const QString &name)
{
    const QString connection = QStringLiteral("postgresserver-admin");
    bool created = false;
    {
        QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection);
        database.setHostName(QStringLiteral("127.0.0.1"));
        database.setPort(serverPort);
        database.setDatabaseName(QStringLiteral("postgres"));
        database.setUserName(QLatin1String(kUser));
        database.setPassword(QLatin1String(kPassword));
        if (!database.open()) {
            error = database.lastError().text();
        } else {
            QSqlQuery query(database);
            created = query.exec(QStringLiteral("CREATE DATABASE \"%1\"").arg(name));
            if (!created)
                error = query.lastError().text();
        }
    }
    QSqlDatabase::removeDatabase(connection);
    return created;
}

QString PostgresServer::url(const QString &databaseName) const
{
    return QStringLiteral("postgresql://%1@127.0.0.1:%2/%3")
        .arg(QLatin1String(kUser))
        .arg(serverPort)
        .arg(databaseName);
}
