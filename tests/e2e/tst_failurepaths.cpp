// What the operator sees when the road breaks: the server refuses the login, the node is not configured, the
// node stops answering a write, the node never finishes its start-up read. Each ends in a state the operator
// can act on, and the next node boot goes on normally.
#include "apptestsupport.h"
#include "nodeform.h"
#include "testpacing.h"
#include "testserverprocess.h"
#include "workbenchtest.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPushButton>

namespace {

// The window's connect time-out and the write's three reply windows, with room for a busy machine.
const int kConnectTimeoutWaitMs = testPacing().connectTimeoutMs + Workbench::kNodeReadWaitMs;
const int kApplyTimeoutWaitMs = 60000;

} // namespace

class FailurePathsTest : public WorkbenchTest
{
    Q_OBJECT

private slots:
    void refusedLoginLeavesTheWindowIdleAndAsksAgainNextTime();
    void nodeOfUnknownTypeIsNotConfigured();
    void silentNodeTimesTheApplyOut();
    void nodeThatNeverFinishesItsReadTimesTheConnectOut();
};

void FailurePathsTest::refusedLoginLeavesTheWindowIdleAndAsksAgainNextTime()
{
    QVERIFY2(plugIn(SimNodeProfile::forType(Node::LoRaOTAA)), qPrintable(bench->error()));
    DialogDriver &dialogs = bench->dialogs();
    dialogs.login(QLatin1String(TestServerProcess::kUser), QStringLiteral("not the password"));
    dialogs.clickOk(); // "Incorrect Credentials": the dialog comes back for the same node
    dialogs.cancelLogin();
    dialogs.clickOk(); // "You need to log in"
    bench->node().boot();
    QTRY_COMPARE_WITH_TIMEOUT(dialogs.pendingSteps(), 0, Workbench::kNodeReadWaitMs);
    QCOMPARE(dialogs.messageTexts(), (QStringList{"Incorrect Credentials", "You need to log in"}));
    QVERIFY(bench->waitForState(QLatin1String(Workbench::kIdle)));
    QVERIFY2(bench->trail() == (QStringList{Workbench::kIdle, Workbench::kReading, Workbench::kIdle}),
        qPrintable(bench->trailText()));
    QVERIFY(!bench->form());
    QCOMPARE(QJsonDocument::fromJson(server.devices()).array().size(), 0);

    // The refused credentials are forgotten: the next boot asks again.
    QVERIFY(bench->bootAndShow(true));
    QCOMPARE(dialogs.recordsOf(QStringLiteral("login")).size(), 3);
}

void FailurePathsTest::nodeOfUnknownTypeIsNotConfigured()
{
    QVERIFY2(plugIn(SimNodeProfile::forType(Node::Unknown)), qPrintable(bench->error()));
    bench->dialogs().login(QLatin1String(TestServerProcess::kUser), QLatin1String(TestServerProcess::kPassword));
    bench->node().boot();
    QVERIFY(bench->waitForState(QLatin1String(Workbench::kNotConfigured)));
    QVERIFY2(bench->trail() == (QStringList{Workbench::kIdle, Workbench::kReading, Workbench::kNotConfigured}),
        qPrintable(bench->trailText()));
    QVERIFY(!bench->form());
    QVERIFY(!bench->button("registerButton")->isEnabled());
    QVERIFY(!bench->button("sleepButton")->isEnabled());
}

void FailurePathsTest::silentNodeTimesTheApplyOut()
{
    QVERIFY2(plugIn(SimNodeProfile::forType(Node::SigFox)), qPrintable(bench->error()));
    QVERIFY(bench->bootAndShow(true));
    bench->node().setFault(QStringLiteral("set:rr"), SimFault::Silent);
    NodeForm *form = bench->form();
    Workbench::typeInto(form, "reportRateEdit", QStringLiteral("20"));
    bench->node().clearReceived();
    bench->clearTrail();
    form->findChild<QPushButton *>(QStringLiteral("applyButton"))->click();

    QVERIFY(bench->waitForState(QLatin1String(Workbench::kApplyTimedOut), kApplyTimeoutWaitMs));
    QVERIFY2(bench->trail() == (QStringList{Workbench::kNodeShown, Workbench::kApplyTimedOut}),
        qPrintable(bench->trailText()));
    // Three attempts, then the operator is told; the node is not reset behind the message.
    const QStringList received = bench->node().receivedLines();
    QCOMPARE(received.count(QStringLiteral("rr 1200000")), 3);
    QVERIFY(!received.contains(QStringLiteral("reset")));
}

void FailurePathsTest::nodeThatNeverFinishesItsReadTimesTheConnectOut()
{
    QVERIFY2(plugIn(SimNodeProfile::forType(Node::Pellimar)), qPrintable(bench->error()));
    bench->node().setFault(QStringLiteral("cfg"), SimFault::Silent);
    QElapsedTimer sinceBoot;
    sinceBoot.start();
    bench->node().boot();
    QVERIFY(bench->waitForState(QLatin1String(Workbench::kReading)));
    QVERIFY(bench->waitForState(QLatin1String(Workbench::kConnectTimedOut), kConnectTimeoutWaitMs));
    // The window gave the node the whole connect time-out that started with its banner.
    QVERIFY2(sinceBoot.elapsed() >= testPacing().connectTimeoutMs, qPrintable(QString::number(sinceBoot.elapsed())));
    const QStringList road{Workbench::kIdle, Workbench::kReading, Workbench::kConnectTimedOut};
    QVERIFY2(bench->trail() == road, qPrintable(bench->trailText()));
    QCOMPARE(bench->dialogs().records().size(), 0);

    // Resetting the node starts again; this time it answers.
    bench->node().clearFaults();
    QVERIFY(bench->bootAndShow(true));
}

IOT_APP_TEST_MAIN(FailurePathsTest)
#include "tst_failurepaths.moc"
