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

#include <QAction>
#include <QApplication>
#include <QInputDialog>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QSqlQuery>
#include <QStatusBar>

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
    void mistypedPasswordIsPutRightBySettingTheDatabaseAgain();

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
        QVERIFY(query.exec(QStringLiteral("INSERT INTO benches (id, name) VALUES ('north', '<b>bench-north</b>')")));
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
    // Another bench's name is shown as typed there, never as markup.
    QVERIFY2(question.text.startsWith(QStringLiteral("Already registered at bench <b>bench-north</b> on 2026-12-01 ")),
        qPrintable(question.text));
    QVERIFY(question.plainText);
    QVERIFY2(question.text.endsWith(QStringLiteral(" — register again?")), qPrintable(question.text));
    IOT_WAIT_UNTIL_SETTLED(*window, driver);
    QCOMPARE(server.registrationsOf(QLatin1String(kIdentity)), 0);
    QCOMPARE(duplicateChecks().size(), 1);
    QCOMPARE(
        duplicateChecks().first().value(QLatin1String("otherBench")).toString(), QStringLiteral("<b>bench-north</b>"));
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

    // With the database gone the node is registered unasked, and the operator is told it was not checked.
    QVERIFY2(database.stop(), qPrintable(database.errorString()));
    QVERIFY(QMetaObject::invokeMethod(window.get(), "connectNode", Q_ARG(Node, sampleNode(Node::LoRaOTAA))));
    IOT_WAIT_UNTIL_SETTLED(*window, driver);
    QTRY_VERIFY_WITH_TIMEOUT(registerButton->isEnabled(), kAnswerMs);
    driver.clear();
    driver.clickOk();
    registerButton->click();
    QTRY_COMPARE_WITH_TIMEOUT(server.registrationsOf(QLatin1String(kIdentity)), 2, kAnswerMs);
    QVERIFY2(window->statusBar()->currentMessage().startsWith(
                 QStringLiteral("Not checked for a registration at another bench: the shared database ")),
        qPrintable(window->statusBar()->currentMessage()));
    QCOMPARE(duplicateChecks().last().value(QLatin1String("result")).toString(), QStringLiteral("skipped"));
    QCOMPARE(driver.recordsOf(QStringLiteral("question")).size(), 0);
}

namespace {
// The text prompt on screen whose label starts with `label`, or null.
QInputDialog *promptShowing(const QString &label)
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        auto *prompt = qobject_cast<QInputDialog *>(widget);
        if (prompt && prompt->isVisible() && prompt->labelText().startsWith(label))
            return prompt;
    }
    return nullptr;
}
} // namespace

void MainWindowSharedDatabaseTest::mistypedPasswordIsPutRightBySettingTheDatabaseAgain()
{
    if (PostgresServer::programDirectory().isEmpty() || !QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")))
        SKIP_OR_FAIL_UNDER_CI("PostgreSQL server or Qt's PostgreSQL driver not installed");
    PostgresServer database;
    QVERIFY2(database.start(), qPrintable(database.errorString()));
    QVERIFY2(database.createDatabase(QStringLiteral("typed")), qPrintable(database.errorString()));
    // No password in the environment or a password file: the window asks for it.
    qunsetenv("PGPASSWORD");
    qputenv("PGPASSFILE", "/nonexistent/iot-app-test/pgpass");
    const auto restore = qScopeGuard([] { qunsetenv("PGPASSFILE"); });
    const QString url = database.url(QStringLiteral("typed"));
    userSettings().setValue(QStringLiteral("sharedDatabase/url"), url);

    auto window = newWindow();
    auto *label = namedChild<QLabel>(window.get(), "sharedDatabaseLabel");
    QInputDialog *prompt = nullptr;
    QTRY_VERIFY_WITH_TIMEOUT((prompt = promptShowing(QStringLiteral("Password of "))) != nullptr, kAnswerMs);
    prompt->setTextValue(QStringLiteral("mistyped"));
    prompt->accept();
    QTRY_VERIFY_WITH_TIMEOUT(label->isVisible(), kAnswerMs);
    QVERIFY2(label->toolTip().contains(QStringLiteral("refused the password")), qPrintable(label->toolTip()));

    // Settings → Shared database… again, the same address: the password is asked again, not the mistyped one
    // used for the rest of the run.
    namedChild<QAction>(window.get(), "actionSharedDatabase")->trigger();
    QTRY_VERIFY_WITH_TIMEOUT((prompt = promptShowing(QStringLiteral("PostgreSQL address"))) != nullptr, kAnswerMs);
    QCOMPARE(prompt->textValue(), url);
    prompt->accept();
    QTRY_VERIFY_WITH_TIMEOUT((prompt = promptShowing(QStringLiteral("Password of "))) != nullptr, kAnswerMs);
    prompt->setTextValue(QLatin1String(PostgresServer::kPassword));
    prompt->accept();
    QTRY_VERIFY_WITH_TIMEOUT(!label->isVisible(), kAnswerMs);
    QCOMPARE(userSettings().value(QStringLiteral("sharedDatabase/url")).toString(), url);
}

IOT_APP_TEST_MAIN(MainWindowSharedDatabaseTest)
#include "tst_mainwindowshareddatabase.moc"
