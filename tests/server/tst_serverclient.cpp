#include "jsondeviceregister.h"
#include "loginrequest.h"
#include "replywaiter.h"
#include "serverclienttestsupport.h"
#include "testserverprocess.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpServer>
#include <QtTest>

// Login and registration against the real local server, including its faults.
class TestServerClient : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void loginGrantedWithTheHeaderTokenBytes_data();
    void loginGrantedWithTheHeaderTokenBytes();
    void badLoginRepliesAreRefusals_data();
    void badLoginRepliesAreRefusals();
    void unreachableServerGivesNoStatus();
    void userNamesWithFormSeparatorsLogIn_data();
    void userNamesWithFormSeparatorsLogIn();
    void registrationAddsThenUpdatesAndStoresTheDocument();
    void failedRegistrationsReturnTheirCode_data();
    void failedRegistrationsReturnTheirCode();
    void unfinishedReplyIsDiscardedAtTimeOut_data();
    void unfinishedReplyIsDiscardedAtTimeOut();
    void untrustedCertificateFailsWithLoggedReason();
    void trustedCertificateCarriesLoginAndRegistration();

private:
    QByteArray loginToken();

    TestServerProcess server;
    QNetworkAccessManager manager;
};

static const int kShortTimeoutMs = 1000;

void TestServerClient::initTestCase()
{
    captureMessages();
    QVERIFY2(server.start(), qPrintable(server.errorString()));
}

void TestServerClient::init()
{
    QVERIFY(server.clearFaults());
    clearLoggedMessages();
}

void TestServerClient::cleanupTestCase()
{
    QVERIFY(server.stop());
}

QByteArray TestServerClient::loginToken()
{
    return logIn(
        &manager, server.baseUrl(), TestServerProcess::kUser, TestServerProcess::kPassword, ReplyWaiter::kTimeoutMs)
        .token;
}

void TestServerClient::loginGrantedWithTheHeaderTokenBytes_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("status");
    QTest::newRow("200") << "none" << 200;
    QTest::newRow("301") << "status" << 301;
    QTest::newRow("302") << "status" << 302;
    QTest::newRow("odd token bytes") << "oddtoken" << 200;
}

void TestServerClient::loginGrantedWithTheHeaderTokenBytes()
{
    QFETCH(QString, kind);
    QFETCH(int, status);
    QVERIFY(server.setFault("login", kind, {{"status", status}}));
    const LoginOutcome login = logIn(
        &manager, server.baseUrl(), TestServerProcess::kUser, TestServerProcess::kPassword, ReplyWaiter::kTimeoutMs);
    QCOMPARE(login.status, status);
    QVERIFY(login.granted);
    QVERIFY(!login.token.isEmpty());
    QCOMPARE(login.token, login.tokenHeader);
    if (kind == "oddtoken")
        QCOMPARE(login.token,
            QByteArray("\xFF\xFE"
                       "odd \"token\", with;bytes=\x80\xC3\xA9 end"));
    // The server accepts the token only when every byte comes back unchanged.
    Node node = pellimarNode();
    node.euid = QStringLiteral("AA:%1").arg(QTest::currentDataTag());
    QCOMPARE(JSONdeviceRegister(&manager, server.baseUrl(), login.token).registerDevice(node), 200);
}

void TestServerClient::badLoginRepliesAreRefusals_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QJsonObject>("arguments");
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("status");
    const QString good = TestServerProcess::kPassword;
    QTest::newRow("wrong password") << "none" << QJsonObject() << "tesaline" << 200;
    QTest::newRow("403 with rc 200") << "status" << QJsonObject{{"status", 403}} << good << 403;
    QTest::newRow("500") << "status" << QJsonObject{{"status", 500}} << good << 500;
    QTest::newRow("not JSON") << "malformed" << QJsonObject{{"body", "<html>rc 200</html>"}} << good << 200;
    QTest::newRow("JSON array") << "malformed" << QJsonObject{{"body", "[{\"rc\":200}]"}} << good << 200;
    QTest::newRow("rc as string") << "malformed" << QJsonObject{{"body", "{\"rc\":\"200\"}"}} << good << 200;
    QTest::newRow("empty body") << "malformed" << QJsonObject{{"body", ""}} << good << 200;
    QTest::newRow("JSON cut short") << "malformed" << QJsonObject() << good << 200;
    QTest::newRow("closed mid-reply") << "truncate" << QJsonObject() << good << 200;
    QTest::newRow("50 MB body") << "huge" << QJsonObject{{"megabytes", 50}} << good << 200;
    QTest::newRow("connection dropped") << "drop" << QJsonObject() << good << 0;
}

void TestServerClient::badLoginRepliesAreRefusals()
{
    QFETCH(QString, kind);
    QFETCH(QJsonObject, arguments);
    QFETCH(QString, password);
    QFETCH(int, status);
    QVERIFY(server.setFault("login", kind, arguments));
    const LoginOutcome login
        = logIn(&manager, server.baseUrl(), TestServerProcess::kUser, password, ReplyWaiter::kTimeoutMs);
    QVERIFY(login.replied);
    QCOMPARE(login.status, status);
    QVERIFY(!login.granted);
    QVERIFY(login.token.isEmpty());
}

void TestServerClient::unreachableServerGivesNoStatus()
{
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost));
    const QString address = QStringLiteral("http://127.0.0.1:%1").arg(probe.serverPort());
    probe.close();
    const LoginOutcome login = logIn(&manager, address, "operator", "tessaline", ReplyWaiter::kTimeoutMs);
    QVERIFY(login.replied);
    QCOMPARE(login.status, 0);
    QVERIFY(!login.granted);
    QCOMPARE(JSONdeviceRegister(&manager, address, "token").registerDevice(pellimarNode()), 404);
}

void TestServerClient::userNamesWithFormSeparatorsLogIn_data()
{
    QTest::addColumn<QString>("user");
    QTest::newRow("letters and digits") << "Operator7";
    QTest::newRow("ampersand and equals") << "a&b=c";
    QTest::newRow("plus and space") << "p+q r";
    QTest::newRow("injected field") << "bob&password=X";
    QTest::newRow("non-ASCII") << QString::fromUtf8("J\xC3\xBCrg %41");
}

void TestServerClient::userNamesWithFormSeparatorsLogIn()
{
    QFETCH(QString, user);
    TestServerProcess own({"--user", user});
    QVERIFY2(own.start(), qPrintable(own.errorString()));
    const QString digest = LoginRequest::passwordDigest(TestServerProcess::kPassword);
    QVERIFY(logIn(&manager, own.baseUrl(), user, TestServerProcess::kPassword, ReplyWaiter::kTimeoutMs).granted);
    QCOMPARE(own.lastBody("login"), LoginRequest::body(user, digest));
    if (user == "Operator7")
        QCOMPARE(own.lastBody("login"), QByteArray("username=Operator7&password=") + digest.toLatin1());
    // A name that merely shares a prefix with the configured one must not pass.
    QVERIFY(
        !logIn(&manager, own.baseUrl(), user.left(1), TestServerProcess::kPassword, ReplyWaiter::kTimeoutMs).granted);
    QVERIFY(own.stop());
}

void TestServerClient::registrationAddsThenUpdatesAndStoresTheDocument()
{
    const QByteArray token = loginToken();
    QVERIFY(!token.isEmpty());
    Node node = pellimarNode();
    node.euid = QStringLiteral("70:B3:D5:7E:D0:00:00:01");
    QTest::ignoreMessage(QtDebugMsg, "JSONdeviceRegister: reply status code: 200");
    QCOMPARE(JSONdeviceRegister(&manager, server.baseUrl(), token).registerDevice(node), 200);
    const QJsonObject document = JSONdeviceRegister::deviceDocument(node);
    QCOMPARE(server.lastBody("device"), QJsonDocument(document).toJson(QJsonDocument::Compact));

    node.deviceCommunication = 3;
    node.lockDescription = QStringLiteral("Gate");
    QCOMPARE(JSONdeviceRegister(&manager, server.baseUrl(), token).registerDevice(node), 201);

    QJsonObject stored;
    for (const QJsonValue &record : QJsonDocument::fromJson(server.devices()).array()) {
        if (record.toObject().value("euid") == "70B3D57ED0000001")
            stored = record.toObject();
    }
    QCOMPARE(stored.value("registrations").toInt(), 2);
    QCOMPARE(stored.value("document").toObject(), JSONdeviceRegister::deviceDocument(node));
    QVERIFY(stored.value("document").toObject().contains("pac"));
    QVERIFY(!stored.value("document").toObject().contains("appkey"));
    // The log names the key but never shows it.
    for (const QString &message : loggedMessages())
        QVERIFY2(!message.contains(node.appKey), qPrintable(message));
}

void TestServerClient::failedRegistrationsReturnTheirCode_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("argument");
    QTest::addColumn<QByteArray>("token");
    QTest::addColumn<int>("result");
    QTest::newRow("500") << "status" << 500 << QByteArray() << 500;
    QTest::newRow("stale token") << "none" << 0 << QByteArray("0123456789abcdef") << 401;
    QTest::newRow("empty token") << "none" << 0 << QByteArray("-") << 401;
    QTest::newRow("connection dropped") << "drop" << 0 << QByteArray() << 404;
    QTest::newRow("closed mid-reply") << "truncate" << 0 << QByteArray() << 200;
    QTest::newRow("50 MB body") << "huge" << 50 << QByteArray() << 200;
}

void TestServerClient::failedRegistrationsReturnTheirCode()
{
    QFETCH(QString, kind);
    QFETCH(int, argument);
    QFETCH(QByteArray, token);
    QFETCH(int, result);
    if (token.isEmpty())
        token = loginToken();
    else if (token == "-")
        token.clear();
    QVERIFY(server.setFault("device", kind, {{"status", argument}, {"megabytes", argument}}));
    const QByteArray before = server.devices();
    Node node = pellimarNode();
    node.euid = QStringLiteral("FA:%1").arg(QTest::currentDataTag());
    QCOMPARE(JSONdeviceRegister(&manager, server.baseUrl(), token).registerDevice(node), result);
    QCOMPARE(server.devices(), before);
}

void TestServerClient::unfinishedReplyIsDiscardedAtTimeOut_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("silent server") << "silence";
    QTest::newRow("reply that never ends") << "stall";
}

void TestServerClient::unfinishedReplyIsDiscardedAtTimeOut()
{
    QFETCH(QString, kind);
    QVERIFY(server.setFault("login", kind, {{"seconds", 5}}));
    const LoginOutcome login
        = logIn(&manager, server.baseUrl(), TestServerProcess::kUser, TestServerProcess::kPassword, kShortTimeoutMs);
    QVERIFY(!login.replied);
    QVERIFY(loggedMessages().contains("JSON timed out"));
    QVERIFY(server.clearFaults());
    QVERIFY(!loginToken().isEmpty());
}

void TestServerClient::untrustedCertificateFailsWithLoggedReason()
{
    if (!QSslSocket::supportsSsl())
        QSKIP("Qt has no TLS backend here");
    TestServerProcess tls({"--tls"});
    QVERIFY2(tls.start(), qPrintable(tls.errorString()));
    QVERIFY(tls.baseUrl().startsWith("https://"));
    const LoginOutcome login = logIn(
        &manager, tls.baseUrl(), TestServerProcess::kUser, TestServerProcess::kPassword, ReplyWaiter::kTimeoutMs);
    QCOMPARE(login.status, 0);
    QVERIFY(!login.granted);
    QCOMPARE(JSONdeviceRegister(&manager, tls.baseUrl(), "token").registerDevice(pellimarNode()), 404);
    const QStringList tlsErrors = loggedMessages().filter("ReplyWaiter: TLS error:");
    QCOMPARE(tlsErrors.size(), 2);
    QVERIFY2(tlsErrors.first().contains("self-signed", Qt::CaseInsensitive), qPrintable(tlsErrors.first()));
    QVERIFY(!tls.output().contains("/orvaservice/"));
    QVERIFY(tls.stop());
}

void TestServerClient::trustedCertificateCarriesLoginAndRegistration()
{
    if (!QSslSocket::supportsSsl())
        QSKIP("Qt has no TLS backend here");
    QTemporaryDir dir;
    const QString certificateFile = dir.filePath("server.pem");
    TestServerProcess tls({"--tls", "--certificate-out", certificateFile});
    QVERIFY2(tls.start(), qPrintable(tls.errorString()));
    const QList<QSslCertificate> certificates = QSslCertificate::fromPath(certificateFile);
    QCOMPARE(certificates.size(), 1);
    // As if the server's certificate were signed by a trusted authority.
    const QSslConfiguration original = QSslConfiguration::defaultConfiguration();
    QSslConfiguration trusting = original;
    trusting.addCaCertificates(certificates);
    QSslConfiguration::setDefaultConfiguration(trusting);
    QNetworkAccessManager tlsManager;
    const LoginOutcome login = logIn(
        &tlsManager, tls.baseUrl(), TestServerProcess::kUser, TestServerProcess::kPassword, ReplyWaiter::kTimeoutMs);
    const int registered = JSONdeviceRegister(&tlsManager, tls.baseUrl(), login.token).registerDevice(pellimarNode());
    QSslConfiguration::setDefaultConfiguration(original);
    QVERIFY(login.granted);
    QCOMPARE(registered, 200);
    QVERIFY(tls.stop());
}

QTEST_GUILESS_MAIN(TestServerClient)
#include "tst_serverclient.moc"
