#pragma once

#include <QString>

// Where the shared database of the benches is: a PostgreSQL address as the operator writes it,
// postgresql://user@host:port/dbname?sslmode=require. The password is never part of it: libpq takes it from
// PGPASSWORD or ~/.pgpass, or the operator types it once per run, and the tool stores the address only.
struct DatabaseAddress
{
    static constexpr int kDefaultPort = 5432;

    QString user;
    QString host;
    int port = kDefaultPort;
    QString databaseName;
    QString sslMode; // as libpq's sslmode ("disable", "prefer", "require", ...); empty for libpq's default

    bool isValid() const { return !host.isEmpty() && !databaseName.isEmpty(); }
    // The address again, in the form parse() reads; never with a password.
    QString toUrl() const;
    // host:port/dbname, for messages and for telling one database from another.
    QString displayName() const;

    // Reads `url`; an empty address with `*problem` saying why when it cannot be used. A password in the address
    // is refused: the address is stored in the settings, the password must not be.
    static DatabaseAddress parse(const QString &url, QString *problem);
};
