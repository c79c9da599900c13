// The server side of the fault matrix: what a faulty registration server leaves behind. The outcome of each
// fault itself is tested elsewhere and not repeated here:
//   server down                tst_serverclient unreachableServerGivesNoStatus
//   silent for 30 s            tst_registrationtimeout silentServerGives404AfterTheReplyWindow (the one real
//                              30 s wait), tst_serverclient unfinishedReplyIsDiscardedAtTimeOut (login)
//   500, malformed JSON,       tst_serverclient badLoginRepliesAreRefusals, failedRegistrationsReturnTheirCode
//   50 MB body, closed mid-reply
// Here: after each fault the same network manager logs in and registers again, and the server holds exactly
// the document that was sent; a 50 MB answer does not grow the tool's memory by anything near its size.

#include "jsondeviceregister.h"
#include "replywaiter.h"
#include "serverclienttestsupport.h"
#include "testserverprocess.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QUrl>
#include <QtTest>

namespace {
// Long enough for any answer of the local server, short enough that a silent one does not hold the test.
constexpr int kReplyWindowMs = 3000;
constexpr qint64 kMemoryGrowthLimitKiB = 20 * 1024;

qint64 statusKiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

// Starts a new high-water mark of the resident size (VmHWM) at the current size.
bool resetPeakResident()
{
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    return clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1;
}

QJsonObject storedDocument(TestServerProcess &server, const QString &euid)
{
    for (const QJsonValue &record : QJsonDocument::fromJson(server.devices()).array()) {
        if (record.toObject().value(QLatin1String("euid")).toString() == euid)
            return record.toObject().value(QLatin1String("document")).toObject();
    }
    return QJsonObject();
}
} // namespace

class TestServerFaults : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();

    void nextLoginAndRegistrationAreIntactAfterAFault_data();
    void nextLoginAndRegistrationAreIntactAfterAFault();
    void serverBackAfterBeingDownServesTheSameManager();
    void fiftyMegabyteAnswersKeepMemoryBounded();

private:
    TestServerProcess m_server;
    QNetworkAccessManager m_manager;
};

void TestServerFaults::initTestCase()
{
    captureMessages();
    QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
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
}

void TestServerFaults::nextLoginAndRegistrationAreIntactAfterAFault()
{
    QFETCH(QString, kind);
    QFETCH(QJsonObject, arguments);
    QFETCH(bool, registerDuringFault);
    const QString user = QLatin1String(TestServerProcess::kUser);
    const QString password = QLatin1String(TestServerProcess::kPassword);
    const QByteArray token = logIn(&m_manager, m_server.baseUrl(), user, password, kReplyWindowMs).token;
    QVERIFY(!token.isEmpty());

    // One login and one registration against the faulty server; their outcomes are judged elsewhere.
    QVERIFY(m_server.setFault(QStringLiteral("both"), kind, arguments));
    const QByteArray devicesBefore = m_server.devices();
    QVERIFY(!logIn(&m_manager, m_server.baseUrl(), user, password, kReplyWindowMs).granted);
    if (registerDuringFault) {
        Node faulted = pellimarNode();
        faulted.euid = QStringLiteral("FA:01:%1").arg(QTest::currentDataTag());
        (void)JSONdeviceRegister(&m_manager, m_server.baseUrl(), token).registerDevice(faulted);
        QCOMPARE(m_server.devices(), devicesBefore);
    }

    // The server mends: the same manager logs in and registers, and the server holds what was sent.
    QVERIFY(m_server.clearFaults());
    const LoginOutcome login = logIn(&m_manager, m_server.baseUrl(), user, password, ReplyWaiter::kTimeoutMs);
    QVERIFY(login.granted);
    Node node = pellimarNode();
    node.euid = QStringLiteral("0A:%1").arg(QString::number(qHash(QString::fromLatin1(QTest::currentDataTag())), 16));
    node.lockDescription = QStringLiteral("Gate after %1").arg(QTest::currentDataTag());
    QCOMPARE(JSONdeviceRegister(&m_manager, m_server.baseUrl(), login.token).registerDevice(node), 200);
    QString stored = node.euid;
    stored.remove(QLatin1Char(':'));
    QCOMPARE(storedDocument(m_server, stored), JSONdeviceRegister::deviceDocument(node));
}

void TestServerFaults::serverBackAfterBeingDownServesTheSameManager()
{
    QNetworkAccessManager manager;
    TestServerProcess server;
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    const QString address = server.baseUrl();
    const QString user = QLatin1String(TestServerProcess::kUser);
    const QString password = QLatin1String(TestServerProcess::kPassword);
    QVERIFY(logIn(&manager, address, user, password, kReplyWindowMs).granted);

    // Down: no status at all, a refusal for the login and 404 for the registration.
    QVERIFY(server.stop());
    const LoginOutcome down = logIn(&manager, address, user, password, kReplyWindowMs);
    QVERIFY(down.replied);
    QCOMPARE(down.status, 0);
    QVERIFY(!down.granted);
    QCOMPARE(JSONdeviceRegister(&manager, address, "token").registerDevice(pellimarNode()), 404);

    // Back on the same address: the manager's dead connections are not reused.
    TestServerProcess back({"--port", QString::number(QUrl(address).port())});
    QVERIFY2(back.start(), qPrintable(back.errorString()));
    QCOMPARE(back.baseUrl(), address);
    const LoginOutcome again = logIn(&manager, address, user, password, kReplyWindowMs);
    QVERIFY(again.granted);
    QCOMPARE(JSONdeviceRegister(&manager, address, again.token).registerDevice(pellimarNode()), 200);
    QVERIFY(back.stop());
}

void TestServerFaults::fiftyMegabyteAnswersKeepMemoryBounded()
{
    const QString user = QLatin1String(TestServerProcess::kUser);
    const QString password = QLatin1String(TestServerProcess::kPassword);
    const QByteArray token = logIn(&m_manager, m_server.baseUrl(), user, password, kReplyWindowMs).token;
    QVERIFY(!token.isEmpty());
    QVERIFY(m_server.setFault(QStringLiteral("both"), QStringLiteral("huge"), {{"megabytes", 50}}));

    const qint64 residentBefore = statusKiB("VmRSS:");
    QVERIFY(residentBefore > 0);
    QVERIFY(resetPeakResident());
    const LoginOutcome login = logIn(&m_manager, m_server.baseUrl(), user, password, ReplyWaiter::kTimeoutMs);
    const int registered = JSONdeviceRegister(&m_manager, m_server.baseUrl(), token).registerDevice(pellimarNode());
    const qint64 peakGrowthKiB = statusKiB("VmHWM:") - residentBefore;
    QVERIFY(m_server.clearFaults());

    QVERIFY(login.replied);
    QVERIFY(!login.granted);
    QCOMPARE(registered, 200); // the status came before the body; the body of a registration is never read
    QVERIFY2(peakGrowthKiB < kMemoryGrowthLimitKiB,
        qPrintable(QStringLiteral("resident size grew by %1 KiB at its peak").arg(peakGrowthKiB)));
}

QTEST_GUILESS_MAIN(TestServerFaults)
#include "tst_serverfaults.moc"
