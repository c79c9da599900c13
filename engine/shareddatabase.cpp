#include "shareddatabase.h"
#include "operatortext.h"

#include <QDir>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>

namespace {

// Serialises schema changes of benches that start at the same time.
const qint64 kSchemaLockKey = 0x10c03317;

QStringList migrationFiles()
{
    QStringList names = QDir(QStringLiteral(":/migrations")).entryList({QStringLiteral("*.sql")}, QDir::Files);
    std::sort(names.begin(), names.end());
    return names;
}

// The statements of one migration file: separated by a semicolon at the end of a line; comments go.
QStringList statementsOf(const QString &resource)
{
    QFile file(resource);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList statements;
    QString current;
    for (const QString &line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        const QString trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(QLatin1String("--")))
            continue;
        current += line + QLatin1Char('\n');
        if (trimmed.endsWith(QLatin1Char(';'))) {
            statements << current.trimmed();
            current.clear();
        }
    }
    if (!current.trimmed().isEmpty())
        statements << current.trimmed();
    return statements;
}

} // namespace

// Q_INIT_RESOURCE must be used outside any namespace: the engine is a static library.
static void initResources()
{
    Q_INIT_RESOURCE(migrations);
}

int SharedDatabase::latestSchemaVersion()
{
    initResources();
    return migrationFiles().size();
}

QSqlDatabase SharedDatabase::open(const QString &connectionName, const DatabaseAddress &address,
    const QString &password, QString *problem, int statementTimeoutMs)
{
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL"))) {
        if (problem)
            *problem = QStringLiteral("the PostgreSQL driver of Qt SQL is not installed (libqt5sql5-psql)");
        return QSqlDatabase();
    }
    QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connectionName);
    database.setHostName(address.host);
    database.setPort(address.port);
    database.setDatabaseName(address.databaseName);
    database.setUserName(address.user);
    if (!password.isEmpty())
        database.setPassword(password);
    // A statement that waits longer than this (a table locked by someone else, a server that stopped answering)
    // fails like a lost connection, so the forwarder retries later and a question before Register is answered as
    // not asked instead of never; keepalives notice a peer that went away without closing the connection.
    QStringList options{QStringLiteral("connect_timeout=%1").arg(kConnectTimeoutSeconds),
        QStringLiteral("application_name=iot_commission"),
        QStringLiteral("options='-c statement_timeout=%1'").arg(statementTimeoutMs), QStringLiteral("keepalives=1"),
        QStringLiteral("keepalives_idle=10"), QStringLiteral("keepalives_interval=5"),
        QStringLiteral("keepalives_count=3")};
    if (!address.sslMode.isEmpty())
        options << QStringLiteral("sslmode=") + address.sslMode;
    database.setConnectOptions(options.join(QLatin1Char(';')));
    if (database.open()) {
        if (problem)
            problem->clear();
        return database;
    }
    if (problem)
        *problem = describe(database.lastError(), address);
    database = QSqlDatabase();
    QSqlDatabase::removeDatabase(connectionName);
    return QSqlDatabase();
}

bool SharedDatabase::passwordFromEnvironment()
{
    if (qEnvironmentVariableIsSet("PGPASSWORD"))
        return true;
    const QString file = qEnvironmentVariableIsSet("PGPASSFILE") ? qEnvironmentVariable("PGPASSFILE")
                                                                 : QDir::home().filePath(QStringLiteral(".pgpass"));
    return QFile::exists(file);
}

void SharedDatabase::close(const QString &connectionName)
{
    {
        QSqlDatabase database = QSqlDatabase::database(connectionName, false);
        if (database.isValid())
            database.close();
    }
    QSqlDatabase::removeDatabase(connectionName);
}

QString SharedDatabase::describe(const QSqlError &error, const DatabaseAddress &address)
{
    const QString text = (error.databaseText() + QLatin1Char(' ') + error.driverText()).trimmed();
    const QString where = address.displayName();
    if (text.isEmpty())
        return QStringLiteral("the shared database %1 cannot be reached: the connection was lost").arg(where);
    const auto has = [&text](const char *part) { return text.contains(QLatin1String(part), Qt::CaseInsensitive); };
    if (has("password authentication failed") || has("no password supplied") || has("authentication failed"))
        return QStringLiteral("the shared database %1 refused the password of user %2")
            .arg(where, address.user.isEmpty() ? QStringLiteral("(default)") : address.user);
    if (has("does not exist") && has("database"))
        return QStringLiteral("the shared database %1 does not exist on its server").arg(where);
    if (has("statement timeout"))
        return QStringLiteral("the shared database %1 did not answer in time (a table locked, or the server too busy)")
            .arg(where);
    if (has("could not connect") || has("connection refused") || has("timeout expired") || has("could not translate")
        || has("no route") || has("server closed the connection") || has("network is unreachable"))
        return QStringLiteral("the shared database %1 cannot be reached: %2").arg(where, text.simplified());
    return QStringLiteral("the shared database %1: %2").arg(where, text.simplified());
}

QString SharedDatabase::shownBenchName(const QString &stored)
{
    constexpr int kLongest = 64;
    const QString name = OperatorText::cleaned(stored);
    return name.size() > kLongest ? name.left(kLongest - 1) + QStringLiteral("…") : name;
}

int SharedDatabase::schemaVersion(QSqlDatabase &database)
{
    QSqlQuery query(database);
    if (!query.exec(QStringLiteral("SELECT to_regclass('schema_migrations') IS NOT NULL")) || !query.next())
        return -1;
    if (!query.value(0).toBool())
        return 0;
    if (!query.exec(QStringLiteral("SELECT coalesce(max(version), 0) FROM schema_migrations")) || !query.next())
        return -1;
    return query.value(0).toInt();
}

bool SharedDatabase::ensureSchema(QSqlDatabase &database, QString *problem, int targetVersion)
{
    initResources();
    const QStringList files = migrationFiles();
    const int latest = files.size();
    if (targetVersion < 0 || targetVersion > latest)
        targetVersion = latest;
    QSqlQuery query(database);
    const auto fail = [&](const QString &what) {
        if (problem)
            *problem = what;
        database.rollback();
        return false;
    };
    const auto failed = [&](const QString &doing) {
        return fail(QStringLiteral("%1 failed: %2").arg(doing, query.lastError().text().simplified()));
    };
    if (!database.transaction())
        return fail(QStringLiteral("no transaction: %1").arg(database.lastError().text().simplified()));
    if (!query.exec(QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(kSchemaLockKey)))
        return failed(QStringLiteral("locking the schema"));
    const int current = schemaVersion(database);
    if (current < 0)
        return fail(QStringLiteral("the schema version of the shared database cannot be read"));
    if (current > latest)
        return fail(QStringLiteral("the shared database has schema version %1, newer than this tool knows (%2); "
                                   "update the tool. The database was not changed.")
                        .arg(current)
                        .arg(latest));
    if (current == 0
        && !query.exec(QStringLiteral("CREATE TABLE schema_migrations (version integer PRIMARY KEY, "
                                      "applied timestamptz NOT NULL DEFAULT now())")))
        return failed(QStringLiteral("creating the schema table"));
    // A migration over a large table may take longer than any query the benches make; it is waited for.
    if (current < targetVersion && !query.exec(QStringLiteral("SET LOCAL statement_timeout = 0")))
        return failed(QStringLiteral("lifting the statement time limit"));
    for (int version = current + 1; version <= targetVersion; ++version) {
        const QString file = files.at(version - 1);
        for (const QString &statement : statementsOf(QStringLiteral(":/migrations/") + file)) {
            if (!query.exec(statement))
                return failed(QStringLiteral("migration %1").arg(file));
        }
        query.prepare(QStringLiteral("INSERT INTO schema_migrations (version) VALUES (?)"));
        query.addBindValue(version);
        if (!query.exec())
            return failed(QStringLiteral("recording migration %1").arg(file));
    }
    if (!database.commit())
        return fail(QStringLiteral("the schema could not be committed: %1").arg(database.lastError().text()));
    if (problem)
        problem->clear();
    return true;
}
