#include "apptestsupport.h"
#include "mainwindow.h"
#include "nodeinterface.h"
#include "nodesimulator.h"
#include "testpacing.h"

#include <QSettings>

#include <atomic>

namespace {
const int kLinkWaitMs = 20000;
} // namespace

class MainWindowShutdownTest : public QObject
{
    Q_OBJECT

private slots:
    void closingDuringAWriteReturnsOnlyAfterTheLinkEnded();
};

void MainWindowShutdownTest::closingDuringAWriteReturnsOnlyAfterTheLinkEnded()
{
    QTemporaryDir portDir;
    QVERIFY(portDir.isValid());
    NodeSimulator simulator;
    QVERIFY(simulator.start(portDir.filePath(QStringLiteral("node"))));
    // The node never answers the write, so the exchange runs its three full reply windows.
    simulator.setFault(QStringLiteral("set:rr"), SimFault::Silent);
    qputenv("IOT_COMMISSION_EXTRA_PORTS", simulator.linkPath().toLocal8Bit());
    QSettings(QStringLiteral("DARV"), QStringLiteral("iot_commission"))
        .setValue(QStringLiteral("serial/port"), simulator.linkPath());

    auto *window = new MainWindow(testPacing());
    window->show();
    auto *link = window->findChild<NodeInterface *>();
    QVERIFY(link);
    std::atomic<bool> linkFinished{false};
    std::atomic<int> writeResult{-1};
    // Direct connections: they run in the link thread, even while the GUI thread is blocked in the destructor.
    QObject::connect(
        link, &QThread::finished, link, [&] { linkFinished = true; }, Qt::DirectConnection);
    QObject::connect(
        link, &NodeInterface::nodeCommandResult, link, [&](CommandResult result) { writeResult = int(result); },
        Qt::DirectConnection);

    // A write goes to the port that is open when it is asked for.
    QVERIFY(linkHoldsPort(*window, simulator.linkPath(), kLinkWaitMs));

    Node node = sampleNode(Node::LoRaOTAA, 5);
    link->updateNode(node, Node::FlagReportRate);
    QVERIFY(simulator.waitForLine(QStringLiteral("rr 300000"), kLinkWaitMs));

    // What the program does when the operator closes the window: the event loop ends, the window is deleted.
    QVERIFY(window->close());
    delete window;
    QVERIFY(linkFinished);
    // The write ran to its end before the window was gone: all three attempts went out, then it timed out.
    QCOMPARE(writeResult.load(), 3);
    QCOMPARE(simulator.receivedLines().count(QStringLiteral("rr 300000")), 3);
    qunsetenv("IOT_COMMISSION_EXTRA_PORTS");
}

IOT_APP_TEST_MAIN(MainWindowShutdownTest)
#include "tst_mainwindowshutdown.moc"
