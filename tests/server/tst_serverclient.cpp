#include "datatable.h"
#include "jsondeviceregister.h"
#include "loginrequest.h"
#include "prerequisite.h"
#include "serverclient.h"
#include "serverclienttestsupport.h"
#include "testserverprocess.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QSslSocket>
#include <QTcpServer>
#include <QTest>

#include <sys/stat.h>

using Failure = ServerReply::Failure;
Q_DECLARE_METATYPE(ServerReply::Failure)

// Login and registration through ServerClient against the real local server, including its faults.
class TestServerClient : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void loginGrantedWithTheHeaderTokenBytes_data();
    void loginGrantedWithTheHeaderTokenBytes();
    void tokenHeaderMustBeOneVisibleAsciiValue_data();
    void tokenHeaderMustBeOneVisibleAsciiValue();
    void badLoginRepliesAreClassified_data();
    void badLoginRepliesAreClassified();
    void unreachableServerIsNamedInTheError();
    void userNamesWithFormSeparatorsLogIn_data();
    void userNamesWithFormSeparatorsLogIn();
    void registrationAddsThenUpdatesAndStoresTheDocument();
    void failedRegistrationsAreClassified_data();
    void failedRegistrationsAreClassified();
    void unfinishedReplyTimesOutAndIsAborted_data();
    void unfinishedReplyTimesOutAndIsAborted();
    void abortedRequestsFinishLaterAndOnce();
    void untrustedCertificateFailsWithLoggedReason();
    void privateAuthorityIsTrustedOnlyFromTheCaFile();
    void unusableCaFilesAreRefused_data();
    void unusableCaFilesAreRefused();
    void retryAfterIsReadAsSecondsOrDate_data();
    void retryAfterIsReadAsSecondsOrDate();

private:
    QByteArray loginToken();

    TestServerProcess server;
    ServerClient client;
};

namespace {
constexpr int kShortTimeoutMs = 1000;
const QString kUser = QLatin1String(TestServerProcess::kUser);
const QString kPassword = QLatin1String(TestServerProcess::kPassword);
} // namespace

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
    return logIn(client, server.baseUrl(), kUser, kPassword).token;
}

void TestServerClient::loginGrantedWithTheHeaderTokenBytes_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("status");
    QTest::newRow("200") << "none" << 200;
    QTest::newRow("301") << "status" << 301;
    QTest::newRow("302") << "status" << 302;
}

void TestServerClient::loginGrantedWithTheHeaderTokenBytes()
{
    QFETCH(QString, kind);
    QFETCH(int, status);
    QVERIFY(server.setFault("login", kind, {{"status", status}}));
    const LoginResult login = logIn(client, server.baseUrl(), kUser, kPassword);
    QVERIFY2(login.granted, qPrintable(login.reason));
    QCOMPARE(login.reply.status, status);
    QVERIFY(!login.credentialsRefused);
    QVERIFY(LoginRequest::isUsableToken(login.token));
    // The server accepts the token only when every byte comes back unchanged.
    Node node = pellimarNode();
    node.euid = QStringLiteral("AA:%1").arg(QTest::currentDataTag());
    QCOMPARE(registerNode(client, server.baseUrl(), login.token, node).status, 200);
}

void TestServerClient::tokenHeaderMustBeOneVisibleAsciiValue_data()
{
    // Token bytes percent-encoded, as the server's fault takes them.
    QTest::addColumn<QString>("token");
    QTest::addColumn<int>("copies");
    QTest::addColumn<bool>("granted");
    QTest::newRow("plain") << "abc123-_.~!*" << 1 << true;
    QTest::newRow("4096 bytes") << QString(4096, 'k') << 1 << true;
    QTest::newRow("4097 bytes") << QString(4097, 'k') << 1 << false;
    QTest::newRow("carriage return") << "abc%0Ddef" << 1 << false;
    // A line feed inside a value can only travel as a folded header line, which arrives with a blank.
    QTest::newRow("line feed, folded") << "abc%0D%0A%09def" << 1 << false;
    QTest::newRow("NUL") << "abc%00def" << 1 << false;
    QTest::newRow("non-ASCII") << "abc%C3%A9" << 1 << false;
    QTest::newRow("blank") << "abc%20def" << 1 << false;
    QTest::newRow("empty") << "" << 1 << false;
    QTest::newRow("issued token twice") << QString() << 2 << false;
    QTest::newRow("issued token once") << QString() << 1 << true;
}

void TestServerClient::tokenHeaderMustBeOneVisibleAsciiValue()
{
    QFETCH(QString, token);
    QFETCH(int, copies);
    QFETCH(bool, granted);
    QJsonObject arguments{{"copies", copies}};
    if (!token.isNull())
        arguments.insert("token", token);
    QVERIFY(server.setFault("login", "token", arguments));
    const LoginResult login = logIn(client, server.baseUrl(), kUser, kPassword);
    QCOMPARE(login.reply.failure, Failure::None);
    QCOMPARE(login.reply.status, 200);
    QCOMPARE(login.granted, granted);
    QCOMPARE(login.credentialsRefused, !granted);
    const QByteArray bytes = QByteArray::fromPercentEncoding(token.toLatin1());
    if (granted && !token.isNull())
        QCOMPARE(login.token, bytes);
    if (!granted) {
        QVERIFY(login.token.isEmpty());
        QVERIFY(!loggedMessages().filter("ServerClient: login refused:").isEmpty());
        // Neither the result nor the log shows the token it refused.
        if (bytes.size() >= 6) {
            QVERIFY(!login.reason.toLatin1().contains(bytes.left(6)));
            for (const QString &message : loggedMessages())
                QVERIFY2(!message.toLatin1().contains(bytes.left(6)), qPrintable(message));
        }
    }
}

void TestServerClient::badLoginRepliesAreClassified_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QJsonObject>("arguments");
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("status");
    QTest::addColumn<Failure>("failure");
    const QString good = kPassword;
    QTest::newRow("wrong password") << "none" << QJsonObject() << "tesaline" << 200 << Failure::None;
    QTest::newRow("403 with rc 200") << "status" << QJsonObject{{"status", 403}} << good << 403 << Failure::None;
    QTest::newRow("500") << "status" << QJsonObject{{"status", 500}} << good << 500 << Failure::None;
    // Qt reports these statuses as protocol errors; they are answers all the same.
    QTest::newRow("400") << "status" << QJsonObject{{"status", 400}} << good << 400 << Failure::None;
    QTest::newRow("303") << "status" << QJsonObject{{"status", 303}} << good << 303 << Failure::None;
    QTest::newRow("not JSON") << "malformed" << QJsonObject{{"body", "<html>rc 200</html>"}} << good << 200
                              << Failure::None;
    QTest::newRow("JSON array") << "malformed" << QJsonObject{{"body", "[{\"rc\":200}]"}} << good << 200
                                << Failure::None;
    QTest::newRow("rc as string") << "malformed" << QJsonObject{{"body", "{\"rc\":\"200\"}"}} << good << 200
                                  << Failure::None;
    QTest::newRow("empty body") << "malformed" << QJsonObject{{"body", ""}} << good << 200 << Failure::None;
    QTest::newRow("JSON cut short") << "malformed" << QJsonObject() << good << 200 << Failure::None;
    // {"rc":200} and a token arrive whole, but under a Content-Length of 1000: the answer was never complete.
    QTest::newRow("cut off after a whole body")
        << "cutoff" << QJsonObject{{"bytes", 1000}} << good << 0 << Failure::CutOff;
    QTest::newRow("closed mid-reply") << "truncate" << QJsonObject() << good << 0 << Failure::CutOff;
    QTest::newRow("connection dropped") << "drop" << QJsonObject() << good << 0 << Failure::CutOff;
    QTest::newRow("50 MB body") << "huge" << QJsonObject{{"megabytes", 50}} << good << 0 << Failure::Oversized;
}

void TestServerClient::badLoginRepliesAreClassified()
{
    QFETCH(QString, kind);
    QFETCH(QJsonObject, arguments);
    QFETCH(QString, password);
    QFETCH(int, status);
    QFETCH(Failure, failure);
    QVERIFY(server.setFault("login", kind, arguments));
    const LoginResult login = logIn(client, server.baseUrl(), kUser, password);
    QVERIFY(!login.granted);
    QVERIFY(login.token.isEmpty());
    QCOMPARE(login.reply.failure, failure);
    QCOMPARE(login.reply.status, status);
    // Only an answer refuses the credentials; a failed request leaves them to be tried again.
    QCOMPARE(login.credentialsRefused, failure == Failure::None);
    QVERIFY(!login.reason.isEmpty());
    if (failure != Failure::None)
        QVERIFY(!login.reply.errorText.isEmpty());
    if (status == 403)
        QVERIFY(loggedMessages().contains("Forbidden"));
}

void TestServerClient::unreachableServerIsNamedInTheError()
{
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost));
    const QString address = QStringLiteral("http://127.0.0.1:%1").arg(probe.serverPort());
    probe.close();
    const LoginResult login = logIn(client, address, kUser, kPassword);
    QCOMPARE(login.reply.failure, Failure::Unreachable);
    QCOMPARE(login.reply.status, 0);
    QVERIFY(!login.granted);
    QVERIFY(!login.credentialsRefused);
    QVERIFY2(login.reply.errorText.contains(address), qPrintable(login.reply.errorText));
    const ServerReply registration = registerNode(client, address, "token", pellimarNode());
    QCOMPARE(registration.failure, Failure::Unreachable);
    QCOMPARE(registration.status, 0);
    QVERIFY(!registration.answered());
    QVERIFY(registration.errorText.contains(address));
}

void TestServerClient::userNamesWithFormSeparatorsLogIn_data()
{
    addDataTable<QString>({"user"},
        {{"letters and digits", "Operator7"}, {"ampersand and equals", "a&b=c"}, {"plus and space", "p+q r"},
            {"injected field", "bob&password=X"}, {"non-ASCII", QString::fromUtf8("J\xC3\xBCrg %41")}});
}

void TestServerClient::userNamesWithFormSeparatorsLogIn()
{
    QFETCH(QString, user);
    TestServerProcess own({"--user", user});
    QVERIFY2(own.start(), qPrintable(own.errorString()));
    const QString digest = LoginRequest::passwordDigest(kPassword);
    QVERIFY(logIn(client, own.baseUrl(), user, kPassword).granted);
    QCOMPARE(own.lastBody("login"), LoginRequest::body(user, digest));
    // A name that merely shares a prefix with the configured one must not pass.
    const LoginResult prefix = logIn(client, own.baseUrl(), user.left(1), kPassword);
    QVERIFY(!prefix.granted);
    QVERIFY(prefix.credentialsRefused);
    QVERIFY(own.stop());
}

void TestServerClient::registrationAddsThenUpdatesAndStoresTheDocument()
{
    const QByteArray token = loginToken();
    QVERIFY(!token.isEmpty());
    Node node = pellimarNode();
    node.euid = QStringLiteral("70:B3:D5:7E:D0:00:00:01");
    QTest::ignoreMessage(QtDebugMsg, "JSONdeviceRegister: reply status code: 200");
    const ServerReply added = registerNode(client, server.baseUrl(), token, node);
    QVERIFY(added.answered());
    QCOMPARE(added.status, 200);
    QCOMPARE(server.lastBody("device"), JSONdeviceRegister::documentBytes(node));
    QCOMPARE(JSONdeviceRegister::documentBytes(node),
        QJsonDocument(JSONdeviceRegister::deviceDocument(node)).toJson(QJsonDocument::Compact));

    node.deviceCommunication = 3;
    node.lockDescription = QStringLiteral("Gate");
    QCOMPARE(registerNode(client, server.baseUrl(), token, node).status, 201);

    QJsonObject stored;
    for (const QJsonValue &record : QJsonDocument::fromJson(server.devices()).array()) {
        if (record.toObject().value("euid") == "70B3D57ED0000001")
            stored = record.toObject();
    }
    QCOMPARE(stored.value("registrations").toInt(), 2);
    QCOMPARE(stored.value("document").toObject(), JSONdeviceRegister::deviceDocument(node));
    // The log names the key but never shows it, nor the token.
    QVERIFY(!loggedMessages().filter("JSONdeviceRegister: device {").isEmpty());
    QVERIFY(!loggedMessages().filter("(hidden)").isEmpty());
    for (const QString &message : loggedMessages()) {
        QVERIFY2(!message.contains(node.appKey), qPrintable(message));
        QVERIFY2(!message.contains(QString::fromLatin1(token)), qPrintable(message));
    }
}

void TestServerClient::failedRegistrationsAreClassified_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("argument");
    QTest::addColumn<QByteArray>("token");
    QTest::addColumn<int>("status");
    QTest::addColumn<Failure>("failure");
    QTest::newRow("500") << "status" << 500 << QByteArray() << 500 << Failure::None;
    QTest::newRow("418") << "status" << 418 << QByteArray() << 418 << Failure::None;
    QTest::newRow("stale token") << "none" << 0 << QByteArray("0123456789abcdef") << 401 << Failure::None;
    QTest::newRow("empty token") << "none" << 0 << QByteArray("-") << 401 << Failure::None;
    QTest::newRow("connection dropped") << "drop" << 0 << QByteArray() << 0 << Failure::CutOff;
    QTest::newRow("closed mid-reply") << "truncate" << 0 << QByteArray() << 0 << Failure::CutOff;
    QTest::newRow("cut off after a whole 200") << "cutoff" << 1000 << QByteArray() << 0 << Failure::CutOff;
    QTest::newRow("50 MB body") << "huge" << 50 << QByteArray() << 0 << Failure::Oversized;
}

void TestServerClient::failedRegistrationsAreClassified()
{
    QFETCH(QString, kind);
    QFETCH(int, argument);
    QFETCH(QByteArray, token);
    QFETCH(int, status);
    QFETCH(Failure, failure);
    if (token.isEmpty())
        token = loginToken();
    else if (token == "-")
        token.clear();
    QVERIFY(server.setFault("device", kind, {{"status", argument}, {"megabytes", argument}, {"bytes", argument}}));
    const QByteArray before = server.devices();
    Node node = pellimarNode();
    node.euid = QStringLiteral("FA:%1").arg(QTest::currentDataTag());
    const ServerReply reply = registerNode(client, server.baseUrl(), token, node);
    QCOMPARE(reply.failure, failure);
    QCOMPARE(reply.status, status);
    QCOMPARE(reply.answered(), failure == Failure::None);
    QCOMPARE(loggedMessages().filter("JSONdeviceRegister: reply status code:").size(), reply.answered() ? 1 : 0);
    QCOMPARE(server.devices(), before);
}

void TestServerClient::unfinishedReplyTimesOutAndIsAborted_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("silent server") << "silence";
    QTest::newRow("reply that never ends") << "stall";
}

void TestServerClient::unfinishedReplyTimesOutAndIsAborted()
{
    QFETCH(QString, kind);
    QVERIFY(server.setFault("both", kind, {{"seconds", 5}}));
    ServerClient brief(kShortTimeoutMs);
    const LoginResult login = logIn(brief, server.baseUrl(), kUser, kPassword);
    QCOMPARE(login.reply.failure, Failure::TimedOut);
    QVERIFY(!login.credentialsRefused);
    QVERIFY(loggedMessages().contains("JSON timed out"));
    const ServerReply registration = registerNode(brief, server.baseUrl(), "token", pellimarNode());
    QCOMPARE(registration.failure, Failure::TimedOut);
    QCOMPARE(registration.status, 0);
    QVERIFY(loggedMessages().contains("JSONdeviceRegister: JSON timed out"));
    QVERIFY(server.clearFaults());
    QVERIFY(!loginToken().isEmpty());
}

void TestServerClient::abortedRequestsFinishLaterAndOnce()
{
    QVERIFY(server.setFault("both", "silence", {{"seconds", 5}}));
    ServerClient brief(kShortTimeoutMs);
    QSignalSpy logins(&brief, &ServerClient::loginFinished);
    QSignalSpy registrations(&brief, &ServerClient::registrationFinished);
    const quint64 first = brief.login(server.baseUrl(), kUser, LoginRequest::passwordDigest(kPassword));
    const quint64 second = brief.registerDocument(server.baseUrl(), "token", "{}");
    QVERIFY(first != second);
    brief.abortAll();
    QCOMPARE(logins.count(), 0);
    QCOMPARE(registrations.count(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(logins.count() + registrations.count(), 2, 10000);
    QCoreApplication::processEvents();
    QCOMPARE(logins.count(), 1);
    QCOMPARE(registrations.count(), 1);
    QCOMPARE(logins.first().at(0).value<quint64>(), first);
    QCOMPARE(logins.first().at(1).value<LoginResult>().reply.failure, Failure::Other);
    QCOMPARE(registrations.first().at(0).value<quint64>(), second);
    QCOMPARE(registrations.first().at(1).value<ServerReply>().failure, Failure::Other);
    // No time-out follows an aborted request.
    QTest::qWait(0);
    QVERIFY(!logins.wait(2 * kShortTimeoutMs));
    QCOMPARE(registrations.count(), 1);
}

void TestServerClient::untrustedCertificateFailsWithLoggedReason()
{
    if (!QSslSocket::supportsSsl())
        SKIP_OR_FAIL_UNDER_CI("Qt has no TLS backend here");
    TestServerProcess tls({"--tls"});
    QVERIFY2(tls.start(), qPrintable(tls.errorString()));
    QVERIFY(tls.baseUrl().startsWith("https://"));
    const LoginResult login = logIn(client, tls.baseUrl(), kUser, kPassword);
    QCOMPARE(login.reply.failure, Failure::Untrusted);
    QCOMPARE(login.reply.status, 0);
    QVERIFY(!login.credentialsRefused);
    QVERIFY2(login.reply.errorText.contains("self-signed", Qt::CaseInsensitive), qPrintable(login.reply.errorText));
    QCOMPARE(registerNode(client, tls.baseUrl(), "token", pellimarNode()).failure, Failure::Untrusted);
    QCOMPARE(loggedMessages().filter("ServerClient: TLS error:").size(), 2);
    QVERIFY(!tls.output().contains("/orvaservice/"));
    QVERIFY(tls.stop());
}

void TestServerClient::privateAuthorityIsTrustedOnlyFromTheCaFile()
{
    if (!QSslSocket::supportsSsl())
        SKIP_OR_FAIL_UNDER_CI("Qt has no TLS backend here");
    QTemporaryDir dir;
    const QString authorityFile = dir.filePath("authority.pem");
    TestServerProcess tls({"--tls", "--ca-out", authorityFile});
    QVERIFY2(tls.start(), qPrintable(tls.errorString()));

    ServerClient systemOnly;
    const LoginResult refused = logIn(systemOnly, tls.baseUrl(), kUser, kPassword);
    QCOMPARE(refused.reply.failure, Failure::Untrusted);

    ServerClient trusting;
    QVERIFY(trusting.setCaCertificateFile(authorityFile));
    const LoginResult login = logIn(trusting, tls.baseUrl(), kUser, kPassword);
    QVERIFY2(login.granted, qPrintable(login.reason));
    QCOMPARE(registerNode(trusting, tls.baseUrl(), login.token, pellimarNode()).status, 200);

    // Back to the system's authorities only: refused again.
    QVERIFY(trusting.setCaCertificateFile(QString()));
    QCOMPARE(logIn(trusting, tls.baseUrl(), kUser, kPassword).reply.failure, Failure::Untrusted);
    QVERIFY(tls.stop());
}

void TestServerClient::unusableCaFilesAreRefused_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("reason");

    // Kept for the whole test: the rows name files in it.
    static QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QFile noCertificate(dir.filePath("empty.pem"));
    QVERIFY(noCertificate.open(QIODevice::WriteOnly));
    noCertificate.write("-----BEGIN NOTHING-----\nabc\n-----END NOTHING-----\n");
    noCertificate.close();
    QFile huge(dir.filePath("huge.pem"));
    QVERIFY(huge.open(QIODevice::WriteOnly));
    QVERIFY(huge.resize(ServerClient::kMaxCaFileBytes + 1));
    huge.close();
    const QString fifo = dir.filePath("fifo.pem");
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);

    QTest::newRow("missing") << dir.filePath("missing.pem") << QStringLiteral("No such file or directory");
    QTest::newRow("no certificate in it") << noCertificate.fileName() << QStringLiteral("no PEM certificate in it");
    // A FIFO nobody writes to would hold the tool; /dev/zero would be read for ever.
    QTest::newRow("fifo") << fifo << QStringLiteral("not a regular file");
    QTest::newRow("endless device") << QStringLiteral("/dev/zero") << QStringLiteral("not a regular file");
    QTest::newRow("larger than a megabyte") << huge.fileName() << QStringLiteral("larger than 1048576 bytes");
}

void TestServerClient::unusableCaFilesAreRefused()
{
    QFETCH(QString, path);
    ServerClient own;
    QString reason;
    QVERIFY(!own.setCaCertificateFile(path, &reason));
    QTEST(reason, "reason");
    QCOMPARE(loggedMessages().filter("CA file").size(), 1);
}

void TestServerClient::retryAfterIsReadAsSecondsOrDate_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<int>("seconds");
    QTest::newRow("delay") << QByteArray("120") << 120;
    QTest::newRow("zero") << QByteArray("0") << 0;
    QTest::newRow("blanks around") << QByteArray(" 7 ") << 7;
    QTest::newRow("beyond int") << QByteArray("99999999999999999999") << std::numeric_limits<int>::max();
    QTest::newRow("date ahead") << QByteArray("Wed, 21 Oct 2015 07:30:00 GMT") << 1800;
    QTest::newRow("date passed") << QByteArray("Wed, 21 Oct 2015 06:00:00 GMT") << 0;
    QTest::newRow("negative") << QByteArray("-5") << -1;
    QTest::newRow("fraction") << QByteArray("1.5") << -1;
    QTest::newRow("words") << QByteArray("soon") << -1;
    QTest::newRow("empty") << QByteArray() << -1;
}

void TestServerClient::retryAfterIsReadAsSecondsOrDate()
{
    QFETCH(QByteArray, value);
    QFETCH(int, seconds);
    const QDateTime now(QDate(2015, 10, 21), QTime(7, 0), Qt::UTC);
    QCOMPARE(ServerClient::retryAfterSeconds(value, now), seconds);
}

QTEST_GUILESS_MAIN(TestServerClient)
#include "tst_serverclient.moc"
