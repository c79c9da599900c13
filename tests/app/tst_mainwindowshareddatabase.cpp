// The window with a shared database: before Register it asks whether another bench registered the node, and
// the operator decides whether to register it again.
#include "apptestsupport.h"
#include "commissioningjournal.h"
#include "dialogdriver.h"
#include "mainwindow.h"
#include "postgresserver.h"
#include "prerequisite.h"
#include "shareddatabase.h"
#include "testserverprocess.h"
#include "windowtest.h"
#include "windowwaits.h"

#include <QPushButton>
#include <QScopeGuard>
#include <QSqlQuery>

#include <memory>

namespace {
const char kIdentity[] = "70B3D57ED0000A01";
constexpr int kAnswerMs = 20000;
} // namespace

class MainWindowSharedDatabaseTest : public WindowTest
{
    Q_OBJECT
private slots:
    void nodeRegisteredAtAnotherBenchIsRegisteredOnlyWhenTheOperatorSaysSo();

private:
    QList<QJsonObject> duplicateChecks() const;
};

QList<QJsonObject> MainWindowSharedDatabaseTest::duplicateChecks() const
{
    QList<QJsonObject> checks;
    for (const QJsonObject &entry : CommissioningJournal().entries()) {
        if (entry.value(QLatin1String("event")).toString() == QLatin1String("duplicateCheck"))
            checks << entry;
    }
    return checks;
}

void MainWindowSharedDatabaseTest::nodeRegisteredAtAnotherBenchIsRegisteredOnlyWhenTheOperatorSaysSo()
{
    if (PostgresServer::programDirectory().isEmpty() || !QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")))
        SKIP_OR_FAIL_UNDER_CI("PostgreSQL server or Qt's PostgreSQL driver not installed");
    PostgresServer database;
    QVERIFY2(database.start(), qPrintable(database.errorString()));
    QVERIFY2(database.createDatabase(QStringLiteral("window")), qPrintable(database.errorString()));
    {
        // Another bench registered the node a week ago.
        QString problem;
        QSqlDatabase connection = SharedDatabase::open(QStringLiteral("setup"),
            DatabaseAddress::parse(database.url(QStringLiteral("window")), nullptr),
            QLatin1String(PostgresServer::kPassword), &problem);
        QVERIFY2(connection.isValid(), qPrintable(problem));
        QVERIFY2(SharedDatabase::ensureSchema(connection, &problem), qPrintable(problem));
        QSqlQuery query(connection);
        QVERIFY(query.exec(QStringLiteral("INSERT INTO benches (id, name) VALUES ('north', 'bench-north')")));
        QVERIFY(query.exec(QStringLiteral("INSERT INTO entries (bench_id, seq, time, event, identity, body) VALUES "
                                          "('north', 0, '2026-12-01T09:30:00Z', 'registration', '%1', "
                                          "'{\"status\": 201}')")
                               .arg(QLatin1String(kIdentity))));
    }
    SharedDatabase::close(QStringLiteral("setup"));
    qputenv("PGPASSWORD", PostgresServer::kPassword);
    const auto restore = qScopeGuard([] { qunsetenv("PGPASSWORD"); });
    userSettings().setValue(QStringLiteral("sharedDatabase/url"), database.url(QStringLiteral("window")));

    auto window = newWindow();
    DialogDriver driver;
    driver.login(QLatin1String(TestServerProcess::kUser), QLatin1String(TestServerProcess::kPassword));
    QVERIFY(QMetaObject::invokeMethod(window.get(), "connectNode", Q_ARG(Node, sampleNode(Node::LoRaOTAA))));
    IOT_WAIT_UNTIL_SETTLED(*window, driver);
    auto *registerButton = namedChild<QPushButton>(window.get(), "registerButton");
    QVERIFY(registerButton->isEnabled());

    driver.clear();
    driver.answer(QStringLiteral("No"));
    registerButton->click();
    QTRY_COMPARE_WITH_TIMEOUT(driver.recordsOf(QStringLiteral("question")).size(), 1, kAnswerMs);
    const DialogDriver::Record question = driver.recordsOf(QStringLiteral("question")).first();
    QVERIFY2(question.text.startsWith(QStringLiteral("Already registered at bench bench-north on ")),
        qPrintable(question.text));
    QVERIFY2(question.text.endsWith(QStringLiteral(" — register again?")), qPrintable(question.text));
    IOT_WAIT_UNTIL_SETTLED(*window, driver);
    QCOMPARE(server.registrationsOf(QLatin1String(kIdentity)), 0);
    QCOMPARE(duplicateChecks().size(), 1);
    QCOMPARE(duplicateChecks().first().value(QLatin1String("otherBench")).toString(), QStringLiteral("bench-north"));
    QCOMPARE(duplicateChecks().first().value(QLatin1String("registeredAt")).toString(),
        QStringLiteral("2026-12-01T09:30:00Z"));

    driver.clear();
    driver.answer(QStringLiteral("Yes"));
    driver.clickOk(); // the server's answer
    registerButton->click();
    QTRY_COMPARE_WITH_TIMEOUT(server.registrationsOf(QLatin1String(kIdentity)), 1, kAnswerMs);
    IOT_WAIT_UNTIL_SETTLED(*window, driver);
    QCOMPARE(driver.recordsOf(QStringLiteral("question")).size(), 1);
    QVERIFY2(driver.unexpectedCount() == 0, qPrintable(driver.messageSummaries().join(QLatin1Char('\n'))));
}

IOT_APP_TEST_MAIN(MainWindowSharedDatabaseTest)
#include "tst_mainwindowshareddatabase.moc"
