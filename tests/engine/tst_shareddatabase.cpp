#include "databaseaddress.h"
#include "postgresserver.h"
#include "prerequisite.h"
#include "shareddatabase.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>

// Opening the shared database, and its schema: made on first use, upgraded in order, a newer one left alone.
class tst_SharedDatabase : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void parsesAddress_data();
    void parsesAddress();
    void benchNamesFromOtherBenchesAreShownSafely_data();
    void benchNamesFromOtherBenchesAreShownSafely();
    void connectionProblemsAreSaidClearly_data();
    void connectionProblemsAreSaidClearly();
    void createsSchemaOnFirstUse();
    void upgradesOlderSchemaKeepingItsRows();
    void refusesNewerSchemaWithoutChangingIt();

private:
    QSqlDatabase freshDatabase(const QString &name);
    QStringList tables(QSqlDatabase &database);

    PostgresServer server;
    QStringList opened;
};

void tst_SharedDatabase::initTestCase()
{
    if (PostgresServer::programDirectory().isEmpty() || !QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")))
        SKIP_OR_FAIL_UNDER_CI("PostgreSQL server or Qt's PostgreSQL driver not installed");
    QVERIFY2(server.start(), qPrintable(server.errorString()));
}

QSqlDatabase tst_SharedDatabase::freshDatabase(const QString &name)
{
    if (!server.createDatabase(name))
        qWarning() << server.errorString();
    QString problem;
    QSqlDatabase database = SharedDatabase::open(
        name, DatabaseAddress::parse(server.url(name), nullptr), QLatin1String(PostgresServer::kPassword), &problem);
    if (!database.isValid())
        qWarning() << problem;
    return database;
}

QStringList tst_SharedDatabase::tables(QSqlDatabase &database)
{
    QSqlQuery query(database);
    query.exec(QStringLiteral("SELECT tablename FROM pg_tables WHERE schemaname = 'public' ORDER BY tablename"));
    QStringList names;
    while (query.next())
        names << query.value(0).toString();
    return names;
}

void tst_SharedDatabase::parsesAddress_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("expected"); // user|host|port|db|sslmode, or the start of the problem
    QTest::newRow("full") << "postgresql://anna@db.example:6543/benches?sslmode=verify-full"
                          << "anna|db.example|6543|benches|verify-full";
    QTest::newRow("default port") << "postgresql://anna@db/benches"
                                  << "anna|db|5432|benches|";
    QTest::newRow("short scheme, no user") << "postgres://10.0.0.5/b"
                                           << "|10.0.0.5|5432|b|";
    QTest::newRow("password refused") << "postgresql://anna:secret@db/benches"
                                      << "the address holds a password";
    QTest::newRow("other scheme") << "mysql://anna@db/benches"
                                  << "not a PostgreSQL address";
    QTest::newRow("no database") << "postgresql://anna@db/"
                                 << "the address names no database";
    QTest::newRow("no host") << "postgresql:///benches"
                             << "the address names no host";
    QTest::newRow("unknown sslmode") << "postgresql://db/b?sslmode=always"
                                     << "sslmode must be one of";
    QTest::newRow("other option") << "postgresql://db/b?password=x"
                                  << "unknown option password";
}

void tst_SharedDatabase::parsesAddress()
{
    QFETCH(QString, url);
    QFETCH(QString, expected);
    QString problem = QStringLiteral("untouched");
    const DatabaseAddress address = DatabaseAddress::parse(url, &problem);
    if (!address.isValid()) {
        QVERIFY2(problem.startsWith(expected), qPrintable(problem));
        return;
    }
    QVERIFY(problem.isEmpty());
    QCOMPARE(
        QStringList({address.user, address.host, QString::number(address.port), address.databaseName, address.sslMode})
            .join(QLatin1Char('|')),
        expected);
    // What the settings keep reads back as the same address.
    QCOMPARE(DatabaseAddress::parse(address.toUrl(), nullptr).toUrl(), address.toUrl());
}

void tst_SharedDatabase::connectionProblemsAreSaidClearly_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<QString>("expected");
    QTest::newRow("wrong password") << "password"
                                    << "refused the password of user bench";
    QTest::newRow("nobody listening") << "port"
                                      << "cannot be reached";
    QTest::newRow("no such database") << "database"
                                      << "does not exist";
}

void tst_SharedDatabase::connectionProblemsAreSaidClearly()
{
    QFETCH(QString, what);
    QFETCH(QString, expected);
    DatabaseAddress address = DatabaseAddress::parse(server.url(QStringLiteral("postgres")), nullptr);
    QString password = QLatin1String(PostgresServer::kPassword);
    if (what == QLatin1String("password"))
        password = QStringLiteral("not-the-password");
    else if (what == QLatin1String("port"))
        address.port = 1; // nothing listens on port 1 of the loopback
    else
        address.databaseName = QStringLiteral("no_such_database");
    QString problem;
    const QSqlDatabase database = SharedDatabase::open(QStringLiteral("problem"), address, password, &problem);
    QVERIFY(!database.isValid());
    QVERIFY2(problem.contains(expected), qPrintable(problem));
    QVERIFY2(problem.contains(address.displayName()), qPrintable(problem));
    QVERIFY(!QSqlDatabase::contains(QStringLiteral("problem")));
}

void tst_SharedDatabase::createsSchemaOnFirstUse()
{
    QSqlDatabase database = freshDatabase(QStringLiteral("first_use"));
    QVERIFY(database.isOpen());
    QCOMPARE(SharedDatabase::schemaVersion(database), 0);
    QString problem;
    QVERIFY2(SharedDatabase::ensureSchema(database, &problem), qPrintable(problem));
    QCOMPARE(SharedDatabase::schemaVersion(database), SharedDatabase::latestSchemaVersion());
    QCOMPARE(tables(database), QStringList({"benches", "entries", "schema_migrations", "unit_records"}));
    // Once more changes nothing and fails nothing.
    QVERIFY2(SharedDatabase::ensureSchema(database, &problem), qPrintable(problem));
    QSqlQuery query(database);
    QVERIFY(query.exec(QStringLiteral("SELECT count(*) FROM schema_migrations")) && query.next());
    QCOMPARE(query.value(0).toInt(), SharedDatabase::latestSchemaVersion());
    // The same entry of a bench cannot be stored twice.
    QVERIFY(query.exec(QStringLiteral("INSERT INTO benches (id, name) VALUES ('b1', 'one')")));
    const QString entry = QStringLiteral(
        "INSERT INTO entries (bench_id, seq, time, event, body) VALUES ('b1', 0, now(), 'nodeRead', '{}')");
    QVERIFY(query.exec(entry));
    QVERIFY(!query.exec(entry));
}

void tst_SharedDatabase::upgradesOlderSchemaKeepingItsRows()
{
    QVERIFY(SharedDatabase::latestSchemaVersion() >= 2);
    QSqlDatabase database = freshDatabase(QStringLiteral("older"));
    QString problem;
    QVERIFY2(SharedDatabase::ensureSchema(database, &problem, 1), qPrintable(problem));
    QCOMPARE(SharedDatabase::schemaVersion(database), 1);
    QVERIFY(!tables(database).contains(QStringLiteral("unit_records")));
    QSqlQuery query(database);
    QVERIFY(query.exec(QStringLiteral("INSERT INTO benches (id, name) VALUES ('b1', 'one')")));
    QVERIFY(query.exec(QStringLiteral("INSERT INTO entries (bench_id, seq, time, event, identity, body) "
                                      "VALUES ('b1', 0, now(), 'registration', '70B3D5', '{\"status\": 201}')")));

    QVERIFY2(SharedDatabase::ensureSchema(database, &problem), qPrintable(problem));
    QCOMPARE(SharedDatabase::schemaVersion(database), SharedDatabase::latestSchemaVersion());
    QVERIFY(tables(database).contains(QStringLiteral("unit_records")));
    QVERIFY(query.exec(QStringLiteral("SELECT identity, body->>'status' FROM entries WHERE bench_id = 'b1'")));
    QVERIFY(query.next());
    QCOMPARE(query.value(0).toString(), QStringLiteral("70B3D5"));
    QCOMPARE(query.value(1).toInt(), 201);
    QVERIFY(query.exec(QStringLiteral("SELECT version FROM schema_migrations ORDER BY version")));
    QList<int> versions;
    while (query.next())
        versions << query.value(0).toInt();
    QList<int> expected;
    for (int v = 1; v <= SharedDatabase::latestSchemaVersion(); ++v)
        expected << v;
    QCOMPARE(versions, expected);
}

void tst_SharedDatabase::refusesNewerSchemaWithoutChangingIt()
{
    QSqlDatabase database = freshDatabase(QStringLiteral("newer"));
    QString problem;
    // A later tool brought the database to a version this one does not know, after only its first migration.
    QVERIFY2(SharedDatabase::ensureSchema(database, &problem, 1), qPrintable(problem));
    const int newer = SharedDatabase::latestSchemaVersion() + 1;
    QSqlQuery query(database);
    QVERIFY(query.exec(QStringLiteral("INSERT INTO schema_migrations (version) VALUES (%1)").arg(newer)));
    const QStringList before = tables(database);

    QVERIFY(!SharedDatabase::ensureSchema(database, &problem));
    QVERIFY2(problem.contains(QStringLiteral("newer than this tool")), qPrintable(problem));
    QVERIFY2(problem.contains(QString::number(newer)), qPrintable(problem));
    QCOMPARE(tables(database), before);
    QCOMPARE(SharedDatabase::schemaVersion(database), newer);
    // The refusal left no transaction open on the connection.
    QVERIFY(query.exec(QStringLiteral("SELECT count(*) FROM schema_migrations")) && query.next());
    QCOMPARE(query.value(0).toInt(), 2);
}

void tst_SharedDatabase::benchNamesFromOtherBenchesAreShownSafely_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("shown");
    QTest::newRow("plain") << "bench-north"
                           << "bench-north";
    // A line break would split the command line's one line per node.
    QTest::newRow("line break") << "north\nFAILED: 70B3"
                                << "north FAILED: 70B3";
    // A right-to-left override would make the name read as another.
    QTest::newRow("right-to-left override") << QStringLiteral("north\u202Ehtuos") << "northhtuos";
    QTest::newRow("very long") << QString(100000, QLatin1Char('x'))
                               << QString(63, QLatin1Char('x')) + QStringLiteral("…");
}

void tst_SharedDatabase::benchNamesFromOtherBenchesAreShownSafely()
{
    QFETCH(QString, stored);
    QFETCH(QString, shown);
    QCOMPARE(SharedDatabase::shownBenchName(stored), shown);
}

QTEST_GUILESS_MAIN(tst_SharedDatabase)
#include "tst_shareddatabase.moc"
