#include "node.h"
// The server side of the fault matrix: what a faulty registration server leaves behind. The outcome of each
// fault itself is tested elsewhere and not repeated here:
//   server down                tst_serverclient unreachableServerIsNamedInTheError
//   silent for 30 s            tst_registrationtimeout silentServerTimesOutAfterTheReplyWindow (the one real
//                              30 s wait), tst_serverclient unfinishedReplyTimesOutAndIsAborted
//   500, malformed JSON,       tst_serverclient badLoginRepliesAreClassified, failedRegistrationsAreClassified
//   50 MB body, closed mid-reply, cut off, bad token headers
// Here: after each fault the same client logs in and registers again, and the server holds exactly the
// document that was sent; a 50 MB answer does not grow the tool's memory by anything near its size.

#include "jsondeviceregister.h"
#include "memoryprobe.h"
#include "serverclient.h"
#include "serverclienttestsupport.h"
#include "testserverprocess.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>
#include <QUrl>

namespace {
// Long enough for any answer of the local server, short enough that a silent one does not hold the test.
constexpr int kReplyWindowMs = 3000;
constexpr qint64 kMemoryGrowthLimitKiB = 20 * 1024;

} // namespace

class TestServerFaults : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void nextLoginAndRegistrationAreIntactAfterAFault_data();
    void nextLoginAndRegistrationAreIntactAfterAFault();
    void serverBackAfterBeingDownServesTheSameManager();
    void fiftyMegabyteAnswersKeepMemoryBounded();

private:
    TestServerProcess m_server;
    ServerClient m_client{kReplyWindowMs};
};

void TestServerFaults::initTestCase()
{
    captureMessages();
    QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
}

void TestServerFaults::init()
{
    QVERIFY(m_server.clearFaults());
}

void TestServerFaults::cleanupTestCase()
{
    QVERIFY(m_server.stop());
}

void TestServerFaults::nextLoginAndRegistrationAreIntactAfterAFault_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QJsonObject>("arguments");
    // A registration waits its full 30 s for a silent server (tst_registrationtimeout); here only the login
    // meets the silence, with a short window.
    QTest::addColumn<bool>("registerDuringFault");
    QTest::newRow("500") << "status" << QJsonObject{{"status", 500}} << true;
    QTest::newRow("malformed JSON") << "malformed" << QJsonObject() << true;
    QTest::newRow("50 MB body") << "huge" << QJsonObject{{"megabytes", 50}} << true;
    QTest::newRow("closed mid-reply") << "truncate" << QJsonObject() << true;
    QTest::newRow("connection dropped") << "drop" << QJsonObject() << true;
    QTest::newRow("silent") << "silence" << QJsonObject{{"seconds", 5}} << false;
    QTest::newRow("reply that never ends") << "stall" << QJsonObject{{"seconds", 2}} << true;
    QTest::newRow("cut off after a whole body") << "cutoff" << QJsonObject{{"bytes", 1000}} << true;
    // Token faults concern the login only; the registration meanwhile is served normally.
    QTest::newRow("token twice") << "token" << QJsonObject{{"copies", 2}} << false;
    QTest::newRow("token with a carriage return") << "token" << QJsonObject{{"token", "a%0Db"}} << false;
}

void TestServerFaults::nextLoginAndRegistrationAreIntactAfterAFault()
{
    QFETCH(QString, kind);
    QFETCH(QJsonObject, arguments);
    QFETCH(bool, registerDuringFault);
    const QString user = QLatin1String(TestServerProcess::kUser);
    const QString password = QLatin1String(TestServerProcess::kPassword);
    const QByteArray token = logIn(m_client, m_server.baseUrl(), user, password).token;
    QVERIFY(!token.isEmpty());

    // One login and one registration against the faulty server; their outcomes are judged elsewhere.
    QVERIFY(m_server.setFault(QStringLiteral("both"), kind, arguments));
    const QByteArray devicesBefore = m_server.devices();
    QVERIFY(!logIn(m_client, m_server.baseUrl(), user, password).granted);
    if (registerDuringFault) {
        Node faulted = pellimarNode();
        faulted.euid = QStringLiteral("FA:01:%1").arg(QTest::currentDataTag());
        (void)registerNode(m_client, m_server.baseUrl(), token, faulted);
        QCOMPARE(m_server.devices(), devicesBefore);
    }

    // The server mends: the same manager logs in and registers, and the server holds what was sent.
    QVERIFY(m_server.clearFaults());
    const LoginResult login = logIn(m_client, m_server.baseUrl(), user, password);
    QVERIFY2(login.granted, qPrintable(login.reason));
    Node node = pellimarNode();
    node.euid = QStringLiteral("0A:%1").arg(QString::number(qHash(QString::fromLatin1(QTest::currentDataTag())), 16));
    node.lockDescription = QStringLiteral("Gate after %1").arg(QTest::currentDataTag());
    QCOMPARE(registerNode(m_client, m_server.baseUrl(), login.token, node).status, 200);
    QString stored = node.euid;
    stored.remove(QLatin1Char(':'));
    QCOMPARE(m_server.storedDocument([&stored](const QString &euid) { return euid == stored; }),
        JSONdeviceRegister::deviceDocument(node));
}

void TestServerFaults::serverBackAfterBeingDownServesTheSameManager()
{
    ServerClient client(kReplyWindowMs);
    TestServerProcess server;
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    const QString address = server.baseUrl();
    const QString user = QLatin1String(TestServerProcess::kUser);
    const QString password = QLatin1String(TestServerProcess::kPassword);
    QVERIFY(logIn(client, address, user, password).granted);

    // Down: unreachable, neither a refusal of the credentials nor a registration answer.
    QVERIFY(server.stop());
    const LoginResult down = logIn(client, address, user, password);
    QCOMPARE(down.reply.failure, ServerReply::Failure::Unreachable);
    QVERIFY(!down.credentialsRefused);
    QCOMPARE(registerNode(client, address, "token", pellimarNode()).failure, ServerReply::Failure::Unreachable);

    // Back on the same address: the client's dead connections are not reused.
    TestServerProcess back({"--port", QString::number(QUrl(address).port())});
    QVERIFY2(back.start(), qPrintable(back.errorString()));
    QCOMPARE(back.baseUrl(), address);
    const LoginResult again = logIn(client, address, user, password);
    QVERIFY(again.granted);
    QCOMPARE(registerNode(client, address, again.token, pellimarNode()).status, 200);
    QVERIFY(back.stop());
}

void TestServerFaults::fiftyMegabyteAnswersKeepMemoryBounded()
{
    const QString user = QLatin1String(TestServerProcess::kUser);
    const QString password = QLatin1String(TestServerProcess::kPassword);
    const QByteArray token = logIn(m_client, m_server.baseUrl(), user, password).token;
    QVERIFY(!token.isEmpty());
    QVERIFY(m_server.setFault(QStringLiteral("both"), QStringLiteral("huge"), {{"megabytes", 50}}));

    const qint64 residentBefore = MemoryProbe::residentKiB();
    QVERIFY(residentBefore > 0);
    QVERIFY(MemoryProbe::resetPeakResident());
    const LoginResult login = logIn(m_client, m_server.baseUrl(), user, password);
    const ServerReply registered = registerNode(m_client, m_server.baseUrl(), token, pellimarNode());
    const qint64 peakGrowthKiB = MemoryProbe::peakResidentKiB() - residentBefore;
    QVERIFY(m_server.clearFaults());

    QVERIFY(!login.granted);
    QCOMPARE(login.reply.failure, ServerReply::Failure::Oversized);
    QCOMPARE(registered.failure, ServerReply::Failure::Oversized);
    QVERIFY2(peakGrowthKiB < kMemoryGrowthLimitKiB,
        qPrintable(QStringLiteral("resident size grew by %1 KiB at its peak").arg(peakGrowthKiB)));
}

QTEST_GUILESS_MAIN(TestServerFaults)
#include "tst_serverfaults.moc"
