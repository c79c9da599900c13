#include "loginrequest.h"

#include <QTest>

// The login request and the judgement of its reply, without a network.
class TestLoginRequest : public QObject
{
    Q_OBJECT
private slots:
    void digestIsUpperCaseHexMd5OfUtf8_data();
    void digestIsUpperCaseHexMd5OfUtf8();
    void requestPostsFormToLoginPath();
    void bodyPercentEncodesEachValue_data();
    void bodyPercentEncodesEachValue();
    void grantsOnlyRc200UnderAcceptedStatuses_data();
    void grantsOnlyRc200UnderAcceptedStatuses();
    void refusalLeavesTokenUntouched();
    void tokenMustBeOneHeaderOfVisibleAscii_data();
    void tokenMustBeOneHeaderOfVisibleAscii();
    void tokenHeadersAreFoundWhateverTheCase();
};

void TestLoginRequest::digestIsUpperCaseHexMd5OfUtf8_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("digest");
    QTest::newRow("empty") << QString() << "D41D8CD98F00B204E9800998ECF8427E";
    QTest::newRow("abc") << "abc"
                         << "900150983CD24FB0D6963F7D28E17F72";
    QTest::newRow("demo password") << "tessaline"
                                   << "D15DE612E487CFD47905AA8882BEA278";
    QTest::newRow("umlaut as UTF-8") << QString::fromUtf8("p\xC3\xA4sswort") << "82C81E1208EF287416F23E0F15E7E2ED";
}

void TestLoginRequest::digestIsUpperCaseHexMd5OfUtf8()
{
    QFETCH(QString, password);
    QFETCH(QString, digest);
    QCOMPARE(LoginRequest::passwordDigest(password), digest);
}

void TestLoginRequest::requestPostsFormToLoginPath()
{
    const QNetworkRequest request = LoginRequest::request(QStringLiteral("https://orva.example:8443"));
    QCOMPARE(request.url().toString(), QStringLiteral("https://orva.example:8443/orvaservice/login/"));
    QCOMPARE(request.rawHeader("Content-Type"), QByteArray("application/x-www-form-urlencoded"));
}

void TestLoginRequest::bodyPercentEncodesEachValue_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QByteArray>("body");
    const QString digest = QStringLiteral("D15DE612E487CFD47905AA8882BEA278");
    // Letters and digits go out exactly as in an unencoded form.
    QTest::newRow("letters and digits") << "Operator7"
                                        << QByteArray("username=Operator7&password=") + digest.toLatin1();
    QTest::newRow("ampersand") << "a&b" << QByteArray("username=a%26b&password=") + digest.toLatin1();
    QTest::newRow("equals") << "x=y" << QByteArray("username=x%3Dy&password=") + digest.toLatin1();
    QTest::newRow("plus") << "p+q" << QByteArray("username=p%2Bq&password=") + digest.toLatin1();
    QTest::newRow("space") << "two words" << QByteArray("username=two%20words&password=") + digest.toLatin1();
    QTest::newRow("injected field") << "bob&password=X"
                                    << QByteArray("username=bob%26password%3DX&password=") + digest.toLatin1();
    QTest::newRow("non-ASCII as UTF-8") << QString::fromUtf8("J\xC3\xBCrg")
                                        << QByteArray("username=J%C3%BCrg&password=") + digest.toLatin1();
}

void TestLoginRequest::bodyPercentEncodesEachValue()
{
    QFETCH(QString, user);
    QFETCH(QByteArray, body);
    QCOMPARE(LoginRequest::body(user, QStringLiteral("D15DE612E487CFD47905AA8882BEA278")), body);
}

void TestLoginRequest::grantsOnlyRc200UnderAcceptedStatuses_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("rc");
    QTest::addColumn<bool>("granted");
    const QByteArray ok("{\"rc\":200}");
    QTest::newRow("200") << 200 << ok << 200 << true;
    QTest::newRow("301") << 301 << ok << 200 << true;
    QTest::newRow("302") << 302 << ok << 200 << true;
    QTest::newRow("rc as 200.0") << 200 << QByteArray("{\"rc\":200.0,\"x\":[1]}") << 200 << true;
    QTest::newRow("403 body not used") << 403 << ok << 200 << false;
    QTest::newRow("303") << 303 << ok << 200 << false;
    QTest::newRow("500") << 500 << ok << 200 << false;
    QTest::newRow("no status") << 0 << ok << 200 << false;
    QTest::newRow("rc 401") << 200 << QByteArray("{\"rc\":401}") << 401 << false;
    QTest::newRow("rc missing") << 200 << QByteArray("{\"code\":200}") << 0 << false;
    QTest::newRow("rc as string") << 200 << QByteArray("{\"rc\":\"200\"}") << 0 << false;
    QTest::newRow("rc fraction") << 200 << QByteArray("{\"rc\":200.5}") << 0 << false;
    QTest::newRow("rc beyond int") << 200 << QByteArray("{\"rc\":1e300}") << 0 << false;
    QTest::newRow("rc null") << 200 << QByteArray("{\"rc\":null}") << 0 << false;
    QTest::newRow("array") << 200 << QByteArray("[{\"rc\":200}]") << 0 << false;
    QTest::newRow("not JSON") << 200 << QByteArray("<html>rc 200</html>") << 0 << false;
    QTest::newRow("cut short") << 200 << QByteArray("{\"rc\":200") << 0 << false;
    QTest::newRow("empty") << 200 << QByteArray() << 0 << false;
}

void TestLoginRequest::grantsOnlyRc200UnderAcceptedStatuses()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(int, rc);
    QFETCH(bool, granted);
    QCOMPARE(LoginRequest::replyCode(body), rc);
    const QByteArray header("a!b\"c,;~");
    QByteArray token;
    QCOMPARE(LoginRequest::isGranted(status, body, header, &token), granted);
    QCOMPARE(token, granted ? header : QByteArray());
}

void TestLoginRequest::refusalLeavesTokenUntouched()
{
    QByteArray token("held");
    QVERIFY(!LoginRequest::isGranted(200, "{\"rc\":401}", "new", &token));
    QCOMPARE(token, QByteArray("held"));
    QVERIFY(LoginRequest::isGranted(200, "{\"rc\":200}", "new", nullptr));
}

void TestLoginRequest::tokenMustBeOneHeaderOfVisibleAscii_data()
{
    QTest::addColumn<QList<QByteArray>>("headers");
    QTest::addColumn<bool>("granted");
    QTest::addColumn<QString>("reason");
    const QByteArray token("1ed380441412907");
    QTest::newRow("one plain token") << QList<QByteArray>{token} << true << "login granted";
    QTest::newRow("every visible character")
        << QList<QByteArray>{QByteArray("!\"#$%&'()*+,-./0123456789:;<=>?@AZ[\\]^_`az{|}~")} << true << "login granted";
    QTest::newRow("single character") << QList<QByteArray>{QByteArray("x")} << true << "login granted";
    QTest::newRow("4096 bytes") << QList<QByteArray>{QByteArray(4096, 'k')} << true << "login granted";
    QTest::newRow("4097 bytes") << QList<QByteArray>{QByteArray(4097, 'k')} << false
                                << "DARV-Token of 4097 bytes, more than 4096";
    QTest::newRow("no header") << QList<QByteArray>() << false << "0 DARV-Token headers instead of one";
    QTest::newRow("duplicated") << QList<QByteArray>{token, token} << false << "2 DARV-Token headers instead of one";
    QTest::newRow("two different") << QList<QByteArray>{token, QByteArray("other")} << false
                                   << "2 DARV-Token headers instead of one";
    QTest::newRow("empty") << QList<QByteArray>{QByteArray()} << false << "empty DARV-Token";
    QTest::newRow("CR") << QList<QByteArray>{token + "\r" + token} << false
                        << "DARV-Token holds byte 0x0d at offset 15, outside visible ASCII";
    QTest::newRow("LF") << QList<QByteArray>{token + "\nSet-Cookie: x"} << false
                        << "DARV-Token holds byte 0x0a at offset 15, outside visible ASCII";
    QTest::newRow("NUL") << QList<QByteArray>{QByteArray("ab\0cd", 5)} << false
                         << "DARV-Token holds byte 0x00 at offset 2, outside visible ASCII";
    QTest::newRow("non-ASCII") << QList<QByteArray>{QByteArray("caf\xC3\xA9")} << false
                               << "DARV-Token holds byte 0xc3 at offset 3, outside visible ASCII";
    QTest::newRow("DEL") << QList<QByteArray>{QByteArray("ab\x7F")} << false
                         << "DARV-Token holds byte 0x7f at offset 2, outside visible ASCII";
    QTest::newRow("blank") << QList<QByteArray>{QByteArray("two words")} << false
                           << "DARV-Token holds byte 0x20 at offset 3, outside visible ASCII";
    QTest::newRow("tab") << QList<QByteArray>{QByteArray("\tlead")} << false
                         << "DARV-Token holds byte 0x09 at offset 0, outside visible ASCII";
}

void TestLoginRequest::tokenMustBeOneHeaderOfVisibleAscii()
{
    QFETCH(QList<QByteArray>, headers);
    QFETCH(bool, granted);
    QFETCH(QString, reason);
    const LoginRequest::Judgement judgement = LoginRequest::judge(200, "{\"rc\":200}", headers);
    QCOMPARE(judgement.granted, granted);
    QCOMPARE(judgement.reason, reason);
    QCOMPARE(judgement.token, granted ? headers.first() : QByteArray());
    QCOMPARE(LoginRequest::isUsableToken(headers.value(0)), granted || headers.size() > 1);
}

void TestLoginRequest::tokenHeadersAreFoundWhateverTheCase()
{
    const QList<QPair<QByteArray, QByteArray>> pairs{{"Content-Type", "application/json"}, {"DARV-Token", "first"},
        {"X-DARV-Token", "not this"}, {"darv-token", "second"}, {"DARV-Tokens", "nor this"}};
    QCOMPARE(LoginRequest::tokenHeaders(pairs), (QList<QByteArray>{"first", "second"}));
}

QTEST_GUILESS_MAIN(TestLoginRequest)
#include "tst_loginrequest.moc"
