#include "commandresulttext.h"
#include "nodecommand.h"
#include "simulatedport.h"

#include <QElapsedTimer>
#include <QSerialPort>
#include <QTest>

namespace {
constexpr int kGenerousWaitMs = 15000;

// The smallest command there is: the base behaviour with a parser that never completes.
class ProbeCommand : public NodeCommand
{
public:
    ProbeCommand(const char *command, QSerialPort *port, const Pacing &pacing = Pacing())
        : NodeCommand(command, port, pacing)
    {
    }
    explicit ProbeCommand(QSerialPort *port, const Pacing &pacing = Pacing())
        : NodeCommand(port, pacing)
    {
    }
    CommandResult parseReply(QString) override { return CommandResult::Pending; }
};
} // namespace

class TestNodeCommand : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void defaultSendWithoutPortFailsAndWritesNothing();
    void defaultSendWritesExactlyItsTextWithoutWaiting();
    void timesOutOnlyAfterMoreThan5000Ms();
    void readCommandTimesOutButWriteCommandNever();
    void missingCommandTextBecomesEmpty();

private:
    SimulatedPort m_node;
    NodeSimulator *m_simulator = &m_node.simulator();
    QSerialPort m_port;
};

void TestNodeCommand::initTestCase()
{
    QVERIFY2(m_node.start(), qPrintable(m_node.errorString()));
    m_port.setPortName(m_node.path());
    m_port.setBaudRate(115200);
    QVERIFY(m_port.open(QIODevice::ReadWrite));
}

void TestNodeCommand::cleanupTestCase()
{
    m_port.close();
}

void TestNodeCommand::defaultSendWithoutPortFailsAndWritesNothing()
{
    m_simulator->clearReceived();
    ProbeCommand command("cfg\r", nullptr);
    QCOMPARE(command.sendCommand(), CommandResult::Failed);
    QCOMPARE(int(CommandResult::Failed), 1);
    QCOMPARE(int(CommandResult::Done), 2);
    QCOMPARE(int(CommandResult::TimedOut), 3);

    // A marker written afterwards on the real port is the first thing the node sees.
    m_port.write("rr\r");
    m_port.waitForBytesWritten(1000);
    QVERIFY(m_simulator->waitForLine(QStringLiteral("rr"), kGenerousWaitMs));
    QCOMPARE(m_simulator->receivedBytes(), QByteArray("rr\r"));
}

void TestNodeCommand::defaultSendWritesExactlyItsTextWithoutWaiting()
{
    m_simulator->clearReceived();
    ProbeCommand command("ver\r", &m_port);
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(command.sendCommand(), CommandResult::Done);
    // The link holds the answer back for a while after sending; the command itself never blocks its thread.
    QVERIFY2(timer.elapsed() < Pacing().holdAfterReadMs / 2, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(m_simulator->waitForLine(QStringLiteral("ver"), kGenerousWaitMs));
    QCOMPARE(m_simulator->receivedBytes(), QByteArray("ver\r"));
    QCOMPARE(command.serialPort(), &m_port);
    // The node's answer waits in the port for the link to read it.
    QTRY_VERIFY_WITH_TIMEOUT(m_port.bytesAvailable() > 0, kGenerousWaitMs);
    m_port.readAll();
}

void TestNodeCommand::timesOutOnlyAfterMoreThan5000Ms()
{
    const ProbeCommand command("cfg\r", nullptr);
    QVERIFY(!command.isTimedOutAfter(0));
    QVERIFY(!command.isTimedOutAfter(4999));
    QVERIFY(!command.isTimedOutAfter(5000));
    QVERIFY(command.isTimedOutAfter(5001));
    QVERIFY(command.isTimedOutAfter(60000));
    // The window is the pacing's: a shorter one ends sooner, at the same edge.
    Pacing brief;
    brief.replyWindowMs = 1000;
    const ProbeCommand briefCommand("cfg\r", nullptr, brief);
    QVERIFY(!briefCommand.isTimedOutAfter(1000));
    QVERIFY(briefCommand.isTimedOutAfter(1001));
}

void TestNodeCommand::readCommandTimesOutButWriteCommandNever()
{
    // A short window: where its edge lies is checked above without waiting.
    Pacing brief;
    brief.replyWindowMs = 1000;
    QElapsedTimer sinceBuilt;
    sinceBuilt.start();
    const ProbeCommand read("cfg\r", &m_port, brief);
    const ProbeCommand write(&m_port, brief);
    QVERIFY(!read.isTimedOut());
    QTRY_VERIFY_WITH_TIMEOUT(read.isTimedOut(), kGenerousWaitMs);
    QVERIFY(sinceBuilt.elapsed() > brief.replyWindowMs);
    QVERIFY(!write.isTimedOut());
}

void TestNodeCommand::missingCommandTextBecomesEmpty()
{
    const ProbeCommand read(nullptr, nullptr);
    QVERIFY(read.commandText() != nullptr);
    QCOMPARE(QByteArray(read.commandText()), QByteArray());
    const ProbeCommand write(&m_port);
    QCOMPARE(QByteArray(write.commandText()), QByteArray());
}

QTEST_GUILESS_MAIN(TestNodeCommand)
#include "tst_nodecommand.moc"
