#include "jsondeviceregister.h"
#include "serverclienttestsupport.h"
#include "testserverprocess.h"

#include <QNetworkAccessManager>
#include <QtTest>

// The one real wait of the full 30 s reply window.
class TestRegistrationTimeout : public QObject
{
    Q_OBJECT
private slots:
    void silentServerGives404AfterTheReplyWindow();
};

void TestRegistrationTimeout::silentServerGives404AfterTheReplyWindow()
{
    captureMessages();
    // The server stays silent longer than the window and must still stop at once when asked.
    TestServerProcess server({"--fault", "device:silence:60"});
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    QNetworkAccessManager manager;
    QElapsedTimer clock;
    clock.start();
    const int result = JSONdeviceRegister(&manager, server.baseUrl(), "token").registerDevice(pellimarNode());
    const qint64 waited = clock.elapsed();
    QCOMPARE(result, 404);
    QVERIFY(loggedMessages().contains("JSONdeviceRegister: JSON timed out"));
    QVERIFY(loggedMessages().filter("reply status code").isEmpty());
    // The full window, not a short one: a lower bound only, which no slow machine can break.
    QVERIFY2(waited >= 29000, qPrintable(QString::number(waited)));
    QVERIFY(server.stop());
    qInfo("registration time-out after %lld ms", waited);
}

QTEST_GUILESS_MAIN(TestRegistrationTimeout)
#include "tst_registrationtimeout.moc"
