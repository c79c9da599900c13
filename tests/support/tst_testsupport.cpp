// The shared test helpers: other tests trust what they record and build, so their own faults must show here.
#include "logcapture.h"
#include "memoryprobe.h"
#include "nodebuilders.h"
#include "prerequisite.h"
#include "shardedtest.h"
#include "signalrecorder.h"
#include "simulatedport.h"

#include <QFileInfo>
#include <QLoggingCategory>
#include <QSerialPort>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <vector>

Q_LOGGING_CATEGORY(lcProbe, "iot.test.probe")

namespace {
constexpr int kWaitMs = 10000;
constexpr qint64 kTouchedKiB = 32 * 1024;

QStringList handledByOwnHandler;
void ownHandler(QtMsgType, const QMessageLogContext &, const QString &text)
{
    handledByOwnHandler << text;
}
} // namespace

// A source with signals of several shapes, one with a default argument.
class Emitter : public QObject
{
    Q_OBJECT
signals:
    void plain();
    void valued(int value, QString text = QString());
    void noded(Node node);

public slots:
    // Invoked by name from another thread: the call crosses through Qt's event queue alone, and the node it
    // sends was stored before that thread started.
    void emitStored()
    {
        emit noded(stored);
        emit valued(1);
        emit plain();
    }

public:
    Node stored;
};

// A test class as QtTest sees it: test functions among fixtures, data functions and slots that are not tests.
class ShardedFixture : public QObject
{
    Q_OBJECT
public slots:
    void notATest() { }

private slots:
    void initTestCase() { }
    void init() { }
    void first() { }
    void second_data() { }
    void second() { }
    void third() { }
    void withArgument(int) { }
    void fourth() { }
    void fifth() { }
    void cleanup() { }
    void cleanupTestCase() { }
};

class TestSupport : public QObject
{
    Q_OBJECT
private slots:
    void logCaptureRecordsCategoryTypeAndTextFromAnyThread();
    void logCaptureForwardsUnlessQuietAndRestoresTheHandler();
    void nestedCapturesEachRecordTheirOwnLifetime();
    void signalRecorderKeepsTheOrderAcrossSignalsAndThreads();
    void memoryProbeSeesTouchedMemoryInResidentAndPeak();
    void simulatedPortsServeANodeEachOnPathsOfTheirOwn();
    void healthyNodeMatchesWhatTheNodeSaysOfItsType_data();
    void healthyNodeMatchesWhatTheNodeSaysOfItsType();
    void healthyNodeTakesItsOptions();
    void missingPrerequisiteFailsOnlyWhenCiIsSet_data();
    void missingPrerequisiteFailsOnlyWhenCiIsSet();
    void shardsRunEveryTestFunctionExactlyOnce();
};

void TestSupport::logCaptureRecordsCategoryTypeAndTextFromAnyThread()
{
    LogCapture log(LogCapture::Quiet);
    qCWarning(lcProbe, "first %d", 1);
    QThread *thread = QThread::create([] { qInfo("from a thread"); });
    thread->start();
    QVERIFY(thread->wait(kWaitMs));
    delete thread;

    const QList<LogCapture::Message> messages = log.messages();
    QCOMPARE(messages.size(), 2);
    QCOMPARE(messages.at(0).category, QByteArray("iot.test.probe"));
    QCOMPARE(messages.at(0).type, QtWarningMsg);
    QCOMPARE(messages.at(0).text, QStringLiteral("first 1"));
    QCOMPARE(messages.at(1).type, QtInfoMsg);
    QCOMPARE(log.count(QStringLiteral("thread")), 1);
    QCOMPARE(log.count(QtWarningMsg), 1);
    log.clear();
    QVERIFY(log.texts().isEmpty());
}

void TestSupport::logCaptureForwardsUnlessQuietAndRestoresTheHandler()
{
    handledByOwnHandler.clear();
    const QtMessageHandler testHandler = qInstallMessageHandler(ownHandler);
    {
        LogCapture log;
        qInfo("forwarded");
    }
    {
        LogCapture log(LogCapture::Quiet);
        qInfo("kept back");
    }
    qInfo("after");
    qInstallMessageHandler(testHandler);
    QCOMPARE(handledByOwnHandler, (QStringList{"forwarded", "after"}));
}

void TestSupport::nestedCapturesEachRecordTheirOwnLifetime()
{
    LogCapture outer(LogCapture::Quiet);
    qInfo("before");
    {
        LogCapture inner(LogCapture::Quiet);
        qInfo("during");
        QCOMPARE(inner.texts(), QStringList{"during"});
    }
    qInfo("after");
    QCOMPARE(outer.texts(), (QStringList{"before", "during", "after"}));
}

void TestSupport::signalRecorderKeepsTheOrderAcrossSignalsAndThreads()
{
    Emitter emitter;
    SignalRecorder recorder(&emitter);
    emit emitter.valued(7, QStringLiteral("seven"));
    emit emitter.plain();

    // From another thread the emissions arrive queued, still in order and with their values.
    qRegisterMetaType<Node>();
    Emitter remote;
    SignalRecorder remoteRecorder(&remote);
    const Node node = healthyNode(Node::SigFox);
    remote.stored = node;
    QThread worker;
    remote.moveToThread(&worker);
    worker.start();
    QVERIFY(QMetaObject::invokeMethod(&remote, "emitStored", Qt::QueuedConnection));
    QTRY_COMPARE_WITH_TIMEOUT(remoteRecorder.emissions().size(), 3, kWaitMs);
    worker.quit();
    QVERIFY(worker.wait(kWaitMs));

    QCOMPARE(recorder.names(), (QList<QByteArray>{"valued", "plain"}));
    QCOMPARE(recorder.argumentsOf("valued"), (QList<QVariantList>{{7, QStringLiteral("seven")}}));
    QCOMPARE(remoteRecorder.names(), (QList<QByteArray>{"noded", "valued", "plain"}));
    QCOMPARE(remoteRecorder.count("valued"), 1);
    QCOMPARE(remoteRecorder.argumentsOf("valued").first(), (QVariantList{1, QString()}));
    QVERIFY(remoteRecorder.argumentsOf("noded").first().first().value<Node>() == node);
    recorder.clear();
    QCOMPARE(recorder.count("plain"), 0);
}

void TestSupport::memoryProbeSeesTouchedMemoryInResidentAndPeak()
{
    const qint64 before = MemoryProbe::residentKiB();
    QVERIFY(before > 0);
    QVERIFY(MemoryProbe::peakResidentKiB() >= before);
    QCOMPARE(MemoryProbe::statusKiB("NoSuchField:"), qint64(-1));
    {
        std::vector<char> block(size_t(kTouchedKiB) * 1024, '\1');
        QVERIFY(MemoryProbe::residentKiB() >= before + kTouchedKiB * 3 / 4);
        QVERIFY(block.back() == '\1');
    }
    QVERIFY(MemoryProbe::peakResidentKiB() >= before + kTouchedKiB * 3 / 4);
#ifndef __SANITIZE_ADDRESS__
    // AddressSanitizer keeps freed memory in quarantine, so the process stays as large after the block is gone.
    if (MemoryProbe::resetPeakResident())
        QVERIFY(MemoryProbe::peakResidentKiB() < before + kTouchedKiB / 2);
#endif
}

void TestSupport::simulatedPortsServeANodeEachOnPathsOfTheirOwn()
{
    SimulatedPort first;
    SimulatedPort second(SimNodeProfile::forType(Node::SigFox));
    QVERIFY2(first.start(), qPrintable(first.errorString()));
    QVERIFY2(second.start(), qPrintable(second.errorString()));
    QVERIFY(first.path() != second.path());
    QVERIFY(QFileInfo::exists(first.path()));
    QVERIFY(!QFileInfo::exists(first.missingPath()));

    QSerialPort port(first.path());
    QVERIFY(port.open(QIODevice::ReadWrite));
    first->boot();
    QByteArray arrived;
    QTRY_VERIFY_WITH_TIMEOUT((arrived += port.readAll()).contains("VCOM started"), kWaitMs);
}

void TestSupport::healthyNodeMatchesWhatTheNodeSaysOfItsType_data()
{
    QTest::addColumn<int>("type");
    for (int type = Node::Pellimar; type <= Node::SigFox5D; ++type)
        QTest::addRow("%s", qPrintable(Node::communicationText(type))) << type;
}

void TestSupport::healthyNodeMatchesWhatTheNodeSaysOfItsType()
{
    QFETCH(int, type);
    const Node node = healthyNode(Node::eFirmwareType(type));
    QCOMPARE(int(node.firmwareType), type);
    QVERIFY(node.deviceType > 0);
    QVERIFY(node.deviceCommunication > 0);
    QCOMPARE(node.isSigfox(), !node.pac.isEmpty());
    QCOMPARE(node.isSigfox(), node.appKey.isEmpty());
    QVERIFY(!node.euid.isEmpty());
    QVERIFY(!std::isnan(node.thresholds.accelD));
}

void TestSupport::healthyNodeTakesItsOptions()
{
    NodeOptions options;
    options.euid = QStringLiteral("70:B3:D5:7E:D0:00:0A:01");
    options.nodeVersion = QStringLiteral("v9.1");
    options.lockDescription = QStringLiteral("Door 4");
    options.reportRate = 60;
    options.thresholdsRead = false;
    const Node node = healthyNode(Node::Pellimar, options);
    QCOMPARE(node.euid, options.euid);
    QCOMPARE(node.nodeVersion, options.nodeVersion);
    QCOMPARE(node.lockDescription, options.lockDescription);
    QCOMPARE(node.reportRate, 60);
    QVERIFY(std::isnan(node.thresholds.temperatureHigh));
    QVERIFY(std::isnan(node.thresholds.accelD));
}

void TestSupport::missingPrerequisiteFailsOnlyWhenCiIsSet_data()
{
    QTest::addColumn<QByteArray>("ci");
    QTest::addColumn<bool>("unset");
    QTest::addColumn<bool>("fails");
    QTest::newRow("unset") << QByteArray() << true << false;
    QTest::newRow("empty") << QByteArray("") << false << false;
    QTest::newRow("true") << QByteArray("true") << false << true;
    QTest::newRow("TRUE") << QByteArray("TRUE") << false << true;
    QTest::newRow("1") << QByteArray("1") << false << true;
    QTest::newRow("0") << QByteArray("0") << false << false;
    QTest::newRow("false") << QByteArray(" False ") << false << false;
}

void TestSupport::missingPrerequisiteFailsOnlyWhenCiIsSet()
{
    QFETCH(QByteArray, ci);
    QFETCH(bool, unset);
    QFETCH(bool, fails);
    const bool wasSet = qEnvironmentVariableIsSet("CI");
    const QByteArray previous = qgetenv("CI");
    if (unset)
        qunsetenv("CI");
    else
        qputenv("CI", ci);
    const bool required = TestPrerequisite::requiredByCi();
    if (wasSet)
        qputenv("CI", previous);
    else
        qunsetenv("CI");
    QCOMPARE(required, fails);
}

void TestSupport::shardsRunEveryTestFunctionExactlyOnce()
{
    ShardedFixture fixture;
    const QStringList all{"first", "second", "third", "fourth", "fifth"};
    QCOMPARE(ShardedTest::functionsOf(&fixture, 1, 1), all);
    for (int shards = 2; shards <= 6; ++shards) {
        QStringList joined;
        for (int shard = 1; shard <= shards; ++shard)
            joined += ShardedTest::functionsOf(&fixture, shard, shards);
        std::sort(joined.begin(), joined.end());
        QStringList sorted = all;
        std::sort(sorted.begin(), sorted.end());
        QCOMPARE(joined, sorted);
    }
    QCOMPARE(ShardedTest::functionsOf(&fixture, 2, 3), QStringList({"second", "fifth"}));

    // A malformed part is refused rather than running the whole program in every part.
    for (const char *bad : {"0/3", "4/3", "1/0", "x", "2-3"}) {
        char program[] = "tst";
        char flag[] = "--shard";
        QByteArray value(bad);
        char *argv[] = {program, flag, value.data()};
        QCOMPARE(ShardedTest::exec(&fixture, 3, argv), 2);
    }
}

QTEST_GUILESS_MAIN(TestSupport)
#include "tst_testsupport.moc"
