#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A PostgreSQL server of the test's own: a new cluster in a temporary directory, listening on a free loopback
// port, stopped and removed when the object goes. PostgreSQL refuses to run as root, so under root (as in CI) the
// cluster belongs to the unprivileged user `nobody` and its programs run through runuser. The superuser kUser
// logs in with kPassword (SCRAM), so tests can also try a wrong one.
class PostgresServer
{
public:
    static constexpr const char *kUser = "bench";
    static constexpr const char *kPassword = "bench-secret";

    // The directory of Debian's PostgreSQL programs (initdb, pg_ctl), or empty when none is installed.
    static QString programDirectory();

    // `settings`: extra server settings ("fsync=off") given to every start.
    explicit PostgresServer(const QStringList &settings = {QStringLiteral("fsync=off")});
    ~PostgresServer();
    PostgresServer(const PostgresServer &) = delete;
    PostgresServer &operator=(const PostgresServer &) = delete;

    // Makes the cluster on first use and starts the server, waiting until it accepts connections. Starting it
    // again after stop() uses the same port and data.
    bool start();
    // Stops the server (fast shutdown: open connections are cut), waiting until it is down.
    bool stop();
    bool isRunning() const { return running; }
    // Creates a database owned by kUser.
    bool createDatabase(const QString &name);

    int port() const { return serverPort; }
    // postgresql://bench@127.0.0.1:PORT/name
    QString url(const QString &databaseName) const;
    QString errorString() const { return error; }

private:
    bool run(const QString &program, const QStringList &arguments);
    bool initialise();

    QStringList settings;
    QTemporaryDir directory;
    QString dataDirectory;
    int serverPort = 0;
    bool initialised = false;
    bool running = false;
    QString error;
};
