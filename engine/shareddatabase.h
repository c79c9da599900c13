#pragma once

#include "databaseaddress.h"

#include <QSqlDatabase>
#include <QString>

class QSqlError;

// The shared PostgreSQL database of the benches: opening a connection with messages an operator can act on, and
// its schema, created on first use and brought up to date with the numbered migrations the tool carries
// (engine/migrations/NNN_*.sql, compiled in). A database whose schema is newer than the tool's is refused and
// left exactly as it is.
namespace SharedDatabase {

// How long a connection attempt may take before the database counts as unreachable.
constexpr int kConnectTimeoutSeconds = 5;
// How long one statement may wait (for a lock, a busy server) before it fails like a lost connection.
constexpr int kStatementTimeoutSeconds = 15;

// A bench name as another bench stored it, made safe to show: without controls and bidirectional formatting
// characters, and at most 64 characters long.
QString shownBenchName(const QString &stored);

// The schema version this tool brings a database to: the number of its migrations.
int latestSchemaVersion();

// Opens a connection named `connectionName` in the calling thread. `password` empty: libpq takes it from
// PGPASSWORD or ~/.pgpass. On failure the connection is removed again, and `*problem` says why in words
// (unreachable host, wrong password, no such database, no PostgreSQL driver). A statement on the connection
// that waits longer than `statementTimeoutMs` fails.
QSqlDatabase open(const QString &connectionName, const DatabaseAddress &address, const QString &password,
    QString *problem, int statementTimeoutMs = kStatementTimeoutSeconds * 1000);
// True when libpq finds a password without the tool: PGPASSWORD is set, or a password file (PGPASSFILE or
// ~/.pgpass) exists. Otherwise the operator is asked once per run.
bool passwordFromEnvironment();
// Closes and forgets the connection of that name (call in the thread that opened it).
void close(const QString &connectionName);

// Creates the tables or upgrades them up to `targetVersion` (the latest unless given), all in one transaction
// that other benches wait for. Returns false with `*problem` when the database cannot be used: its schema is
// newer than the tool's (nothing is changed then) or a statement failed (everything is rolled back).
bool ensureSchema(QSqlDatabase &database, QString *problem, int targetVersion = -1);
// The database's schema version: 0 for a database the tool has not touched, -1 when it cannot be read.
int schemaVersion(QSqlDatabase &database);

// The error of a connection attempt or a statement, said for the operator.
QString describe(const QSqlError &error, const DatabaseAddress &address);

} // namespace SharedDatabase
