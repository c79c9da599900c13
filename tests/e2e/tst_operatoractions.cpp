// Operator actions in an odd order, against the real link and node: whatever the order, the window ends in a
// state of its state table, keeps taking events, and the next node boot goes on normally.
#include "apptestsupport.h"
#include "mainwindow.h"
#include "nodeform.h"
#include "nodeinterface.h"
#include "testserverprocess.h"
#include "workbenchtest.h"

#include <QPushButton>
#include <QSignalSpy>

#include <atomic>

class OperatorActionsTest : public WorkbenchTest
{
    Q_OBJECT

private slots:
    void disconnectDuringTheStartUpRead();
    void activateDuringAWrite();
    void refreshDuringAConnect();
    void secondNodeBootsWhileTheLoginDialogIsOpen();
    void closingTheWindowDuringTheStartUpRead();
};

void OperatorActionsTest::disconnectDuringTheStartUpRead()
{
    QVERIFY2(plugIn(SimNodeProfile::forType(Node::LoRaOTAA)), qPrintable(bench->error()));
    QVERIFY(bench->bootAndShow(true));

    // The node is reset while its form is shown, and the operator presses Disconnect before the window has
    // heard of the boot: the GUI thread is held until the link is already reading.
    bench->clearTrail();
    bench->node().boot();
    QVERIFY(bench->node().waitForLine(QStringLiteral("cfg"), Workbench::kNodeReadWaitMs, 2));
    QCOMPARE(bench->state(), QString::fromLatin1(Workbench::kNodeShown));
    bench->button("disconnectButton")->click();

    // Disconnect lets the port go, so the boot the link reported before it closed is not taken up: no busy
    // bar, and no connect time-out telling the operator to reset a node the tool no longer listens to.
    QCoreApplication::processEvents();
    QCOMPARE(bench->state(), QString::fromLatin1(Workbench::kIdle));

    // The refresh opens the port again and resets the node, which is read without a second login.
    bench->node().clearReceived();
    bench->button("portRefreshButton")->click();
    QVERIFY(bench->waitForState(QLatin1String(Workbench::kNodeShown)));
    QTRY_VERIFY(bench->form() && bench->form()->isVisible());
    QVERIFY2(bench->trail()
            == (QStringList{Workbench::kNodeShown, Workbench::kIdle, Workbench::kReading, Workbench::kNodeShown}),
        qPrintable(bench->trailText()));
    QCOMPARE(bench->node().receivedLines().count(QStringLiteral("reset")), 1);
    QCOMPARE(bench->dialogs().recordsOf(QStringLiteral("login")).size(), 1);
}

void OperatorActionsTest::activateDuringAWrite()
{
    QVERIFY2(plugIn(SimNodeProfile::forType(Node::Pellimar)), qPrintable(bench->error()));
    QVERIFY(bench->bootAndShow(true));
    NodeForm *form = bench->form();
    Workbench::typeInto(form, "tempHighEdit", QStringLiteral("44"));
    Workbench::typeInto(form, "reportRateEdit", QStringLiteral("12"));
    // The node takes its time over the last line, so the click below surely lands while the write runs.
    bench->node().setFault(QStringLiteral("set:rr"), SimFault::Late, 1, QStringLiteral("2500"));
    bench->clearTrail();
    form->findChild<QPushButton *>(QStringLiteral("applyButton"))->click();
    QTRY_VERIFY_WITH_TIMEOUT(
        bench->node().receivedLines().contains(QStringLiteral("tht -10 44")), Workbench::kNodeReadWaitMs);
    // The node was never registered, so the window asks first; the operator means it.
    bench->answerQuestion(QStringLiteral("Put to sleep"));
    bench->button("sleepButton")->click();
    QTRY_COMPARE_WITH_TIMEOUT(bench->dialogs().pendingSteps(), 0, Workbench::kNodeReadWaitMs);
    const auto questions = bench->dialogs().recordsOf(QStringLiteral("question"));
    QCOMPARE(questions.size(), 1);
    QCOMPARE(questions.first().text, QStringLiteral("This node has not been registered. Put it to sleep anyway?"));
    QVERIFY(!bench->node().receivedLines().contains(QStringLiteral("reset")));

    // The write ends and the node is reset, but the sleep asked meanwhile went to the node first: it sleeps
    // and the reset finds it asleep. The window shows the write's success or the sleep, and nothing else.
    QTRY_VERIFY_WITH_TIMEOUT(
        bench->node().receivedLines().contains(QStringLiteral("reset")), Workbench::kNodeReadWaitMs);
    QVERIFY(bench->node().isSleeping());
    const QStringList ends{Workbench::kUpdateSuccess, Workbench::kNodeSleeping};
    QTRY_VERIFY_WITH_TIMEOUT(ends.contains(bench->state()), Workbench::kNodeReadWaitMs);
    for (const QString &state : bench->trail())
        QVERIFY2(state == QLatin1String(Workbench::kNodeShown) || ends.contains(state), qPrintable(bench->trailText()));

    // The operator resets the node and it is read with the settings written.
    QVERIFY(bench->bootAndShow(false));
    QCOMPARE(bench->node().profile().reportRateMs, qint64(12 * 60000));
}

void OperatorActionsTest::refreshDuringAConnect()
{
    QVERIFY2(plugIn(SimNodeProfile::forType(Node::SigFox5D)), qPrintable(bench->error()));
    bench->dialogs().login(QLatin1String(TestServerProcess::kUser), QLatin1String(TestServerProcess::kPassword));
    bench->node().boot();
    QVERIFY(bench->waitForState(QLatin1String(Workbench::kReading)));
    bench->button("portRefreshButton")->click();

    // Refresh drops the read, opens the port afresh (the view goes back to waiting) and resets the node,
    // which boots again and is read to its end. Nothing read before the refresh is shown.
    QVERIFY(bench->waitForState(QLatin1String(Workbench::kNodeShown)));
    QVERIFY2(bench->trail()
            == (QStringList{
                Workbench::kIdle, Workbench::kReading, Workbench::kIdle, Workbench::kReading, Workbench::kNodeShown}),
        qPrintable(bench->trailText()));
    const QStringList received = bench->node().receivedLines();
    QCOMPARE(received.count(QStringLiteral("reset")), 1);
    QCOMPARE(received.count(QStringLiteral("cfg")), 2);
    QCOMPARE(bench->dialogs().recordsOf(QStringLiteral("login")).size(), 1);
}

void OperatorActionsTest::secondNodeBootsWhileTheLoginDialogIsOpen()
{
    QVERIFY2(plugIn(SimNodeProfile::forType(Node::LoRaOTAA)), qPrintable(bench->error()));
    QSignalSpy announced(bench->link(), &NodeInterface::nodeConnected);
    bench->dialogs().custom(QStringLiteral("login"), [this, &announced](QWidget *dialog) {
        // While the operator types, the first node is swapped for another, which boots and is read.
        bench->node().setProfile(SimNodeProfile::forType(Node::SigFox));
        bench->node().boot();
        // Answered whatever the wait gives, so that a failure cannot leave the dialog open; checked below.
        (void)QTest::qWaitFor([&] { return announced.size() == 2; }, Workbench::kNodeReadWaitMs);
        DialogDriver::submitLogin(
            dialog, QLatin1String(TestServerProcess::kUser), QLatin1String(TestServerProcess::kPassword));
    });
    bench->node().boot();

    // The node on the line is shown, once, after the one login.
    QVERIFY(bench->waitForState(QLatin1String(Workbench::kNodeShown)));
    QCOMPARE(announced.size(), 2);
    QTRY_VERIFY(bench->form()->isVisible());
    QCOMPARE(QString::fromLatin1(bench->form()->metaObject()->className()), QStringLiteral("FormSigFox"));
    QCOMPARE(bench->dialogs().recordsOf(QStringLiteral("login")).size(), 1);
    QVERIFY2(bench->trail() == (QStringList{Workbench::kIdle, Workbench::kReading, Workbench::kNodeShown}),
        qPrintable(bench->trailText()));
    QTRY_COMPARE(bench->window()->findChildren<NodeForm *>().size(), 1);
}

void OperatorActionsTest::closingTheWindowDuringTheStartUpRead()
{
    QVERIFY2(plugIn(SimNodeProfile::forType(Node::Pellimar5D)), qPrintable(bench->error()));
    std::atomic<bool> linkEnded{false};
    QObject::connect(
        bench->link(), &QThread::finished, bench->link(), [&] { linkEnded = true; }, Qt::DirectConnection);
    bench->node().boot();
    QTRY_VERIFY_WITH_TIMEOUT(bench->node().receivedLines().contains(QStringLiteral("th")), Workbench::kNodeReadWaitMs);
    bench->closeWindow();
    // The window is gone only once its link has ended: nothing is left to touch the port or the widgets.
    QVERIFY(linkEnded);
}

IOT_APP_TEST_MAIN(OperatorActionsTest)
#include "tst_operatoractions.moc"
