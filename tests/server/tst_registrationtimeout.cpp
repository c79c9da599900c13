#include "node.h"
#include "serverclient.h"
#include "serverclienttestsupport.h"
#include "testserverprocess.h"

#include <QTest>

// The one real wait of the full 30 s reply window.
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
    ServerClient client;
    QElapsedTimer clock;
    clock.start();
    const ServerReply reply = registerNode(client, server.baseUrl(), "token", pellimarNode());
    const qint64 waited = clock.elapsed();
    QCOMPARE(reply.failure, ServerReply::Failure::TimedOut);
    QCOMPARE(reply.status, 0);
    QVERIFY(loggedMessages().contains("JSONdeviceRegister: JSON timed out"));
    QVERIFY(loggedMessages().filter("reply status code").isEmpty());
    // The full window, not a short one: a lower bound only, which no slow machine can break.
    QVERIFY2(waited >= ServerClient::kTimeoutMs, qPrintable(QString::number(waited)));
    QVERIFY(server.stop());
    qInfo("registration time-out after %lld ms", waited);
}

QTEST_GUILESS_MAIN(TestRegistrationTimeout)
#include "tst_registrationtimeout.moc"
