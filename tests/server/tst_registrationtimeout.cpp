#include "node.h"
#include "serverclient.h"
#include "serverclienttestsupport.h"
#include "testpacing.h"
#include "testserverprocess.h"

#include <QTest>

// A registration the server never answers ends when the client's reply window runs out, and not before. The
// window is the tests' shortened server time-out; the protocol's 30 s is pinned where the pacing's defaults are.
class TestRegistrationTimeout : public QObject
{
    Q_OBJECT
private slots:
    void silentServerTimesOutAfterTheReplyWindow();
};

void TestRegistrationTimeout::silentServerTimesOutAfterTheReplyWindow()
{
    captureMessages();
    // The server stays silent longer than the window and must still stop at once when asked.
    TestServerProcess server({"--fault", "device:silence:60"});
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    const int windowMs = testPacing().serverTimeoutMs;
    ServerClient client(windowMs);
    QElapsedTimer clock;
    clock.start();
    const ServerReply reply = registerNode(client, server.baseUrl(), "token", pellimarNode());
    const qint64 waited = clock.elapsed();
    QCOMPARE(reply.failure, ServerReply::Failure::TimedOut);
    QCOMPARE(reply.status, 0);
    QVERIFY(loggedMessages().contains("JSONdeviceRegister: JSON timed out"));
    QVERIFY(loggedMessages().filter("reply status code").isEmpty());
    // The full window: a lower bound only, which no slow machine can break.
    QVERIFY2(waited >= windowMs, qPrintable(QString::number(waited)));
    QVERIFY(server.stop());
    qInfo("registration time-out after %lld ms", waited);
}

QTEST_GUILESS_MAIN(TestRegistrationTimeout)
#include "tst_registrationtimeout.moc"
