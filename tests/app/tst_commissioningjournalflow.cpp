#include "apptestsupport.h"
#include "commissioningjournal.h"
#include "dialogdriver.h"
#include "loginrequest.h"
#include "mainwindow.h"
#include "nodeform.h"
#include "nodeinterface.h"
#include "nodesimulator.h"
#include "protectedfieldcipher.h"
#include "testpacing.h"
#include "testserverprocess.h"

#include <QAction>
#include <QJsonArray>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>

#include <memory>

namespace {

const int kLinkWaitMs = 15000;
// A node's whole start-up read with its fixed pauses, after a reset with its own pause, on a busy machine.
const int kNodeReadWaitMs = 45000;
const char kDeviceId[] = "0011223344556677";

QSettings userSettings()
{
    return QSettings(QStringLiteral("DARV"), QStringLiteral("iot_commission"));
}

QStringList eventsOf(const QVector<QJsonObject> &entries)
{
    QStringList events;
    for (const QJsonObject &entry : entries)
        events << entry.value(QStringLiteral("event")).toString();
    return events;
}

} // namespace

// The window journals a whole commissioning over a simulated node and the local registration server: what
// was read, written, registered and put to sleep, and nothing secret.
class CommissioningJournalFlowTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void commissioningWritesOneEntryPerEvent();

private:
    QString journalFile() const;
    QStringList journalEvents() const { return eventsOf(CommissioningJournal(journalFile()).entries()); }
    // Waits until the window shows a node form again, with Register available.
    bool waitForForm(MainWindow &window, NodeForm *previous);

    std::unique_ptr<QTemporaryDir> dataHome;
    std::unique_ptr<TestServerProcess> server;
    QString previousOrganisation;
    QString previousApplication;
};

void CommissioningJournalFlowTest::initTestCase()
{
    dataHome = std::make_unique<QTemporaryDir>();
    QVERIFY(dataHome->isValid());
    qputenv("XDG_DATA_HOME", dataHome->path().toLocal8Bit());
    // As main() names the application, which places the journal.
    previousOrganisation = QCoreApplication::organizationName();
    previousApplication = QCoreApplication::applicationName();
    QCoreApplication::setOrganizationName(QString::fromLatin1(MainWindow::kOrganisationName));
    QCoreApplication::setApplicationName(QString::fromLatin1(MainWindow::kApplicationName));

    server = std::make_unique<TestServerProcess>();
    QVERIFY2(server->start(), qPrintable(server->errorString()));
}

void CommissioningJournalFlowTest::cleanupTestCase()
{
    server.reset();
    QCoreApplication::setOrganizationName(previousOrganisation);
    QCoreApplication::setApplicationName(previousApplication);
}

QString CommissioningJournalFlowTest::journalFile() const
{
    return dataHome->filePath(QStringLiteral("DARV/iot_commission/journal.jsonl"));
}

bool CommissioningJournalFlowTest::waitForForm(MainWindow &window, NodeForm *previous)
{
    auto *registerButton = namedChild<QPushButton>(&window, "registerButton");
    const auto shown = [&] {
        NodeForm *form = window.findChild<NodeForm *>();
        return form && form != previous && form->isVisibleTo(&window) && registerButton->isEnabled();
    };
    return QTest::qWaitFor(shown, kNodeReadWaitMs);
}

void CommissioningJournalFlowTest::commissioningWritesOneEntryPerEvent()
{
    QTemporaryDir portDir;
    QVERIFY(portDir.isValid());
    const QString port = portDir.filePath(QStringLiteral("ttyNODE"));
    const SimNodeProfile profile = SimNodeProfile::forType(Node::LoRaOTAA);
    NodeSimulator simulator(profile);
    QVERIFY(simulator.start(port));

    userSettings().clear();
    userSettings().setValue(QStringLiteral("JSONregister/server"), server->baseUrl());
    // The remembered port does not exist, so the window's own open fails and the one below is the only open.
    const QString missing = portDir.filePath(QStringLiteral("ttyGONE"));
    userSettings().setValue(QStringLiteral("serial/port"), missing);
    qputenv(MainWindow::kExtraPortsVariable, (missing + QLatin1Char(':') + port).toLocal8Bit());

    MainWindow window(testPacing());
    auto *link = window.findChild<NodeInterface *>();
    QVERIFY(link);
    QSignalSpy opened(link, &NodeInterface::serialPortOpened);
    link->connectSerialPort(port);
    QTRY_COMPARE_WITH_TIMEOUT(opened.size(), 1, kLinkWaitMs);

    // Read: the node boots, the operator logs in, the form appears.
    DialogDriver driver;
    driver.login(QLatin1String(TestServerProcess::kUser), QLatin1String(TestServerProcess::kPassword));
    simulator.boot();
    QVERIFY(waitForForm(window, nullptr));
    QCOMPARE(journalEvents(), QStringList{"nodeRead"});
    // The read names the node key the tool reads with, as the command line's reads do.
    QCOMPARE(CommissioningJournal(journalFile()).entries().first().value(QStringLiteral("keyFingerprint")).toString(),
        ProtectedFieldCipher::keyFingerprint());

    // Settings: a new report rate; on success the node is reset and read again.
    NodeForm *form = window.findChild<NodeForm *>();
    form->findChild<QLineEdit *>(QStringLiteral("reportRateEdit"))->setText(QStringLiteral("30"));
    form->findChild<QPushButton *>(QStringLiteral("applyButton"))->click();
    QVERIFY(waitForForm(window, form));
    // The node read after the write is checked against it.
    QTRY_COMPARE_WITH_TIMEOUT(
        journalEvents(), (QStringList{"nodeRead", "settingsWritten", "nodeRead", "verified"}), kLinkWaitMs);

    // Device id, through the configure action; again a reset and a read follow.
    form = window.findChild<NodeForm *>();
    driver.enterText(QString::fromLatin1(kDeviceId));
    namedChild<QAction>(&window, "actionConfigure_Node")->trigger();
    QVERIFY(waitForForm(window, form));
    QCOMPARE(simulator.profile().deviceId, QString::fromLatin1(kDeviceId));

    // Register, then put the node to sleep.
    driver.clickOk(); // "Node added successfully"
    namedChild<QPushButton>(&window, "registerButton")->click();
    QTRY_COMPARE_WITH_TIMEOUT(driver.pendingSteps(), 0, kLinkWaitMs);
    namedChild<QPushButton>(&window, "sleepButton")->click();
    QTRY_VERIFY_WITH_TIMEOUT(simulator.isSleeping(), kLinkWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(journalEvents().size(), 9, kLinkWaitMs);
    QCOMPARE(driver.unexpectedCount(), 0);

    int skipped = -1;
    const QVector<QJsonObject> entries = CommissioningJournal(journalFile()).entries(&skipped);
    QCOMPARE(skipped, 0);
    QCOMPARE(eventsOf(entries),
        (QStringList{"nodeRead", "settingsWritten", "nodeRead", "verified", "deviceIdWritten", "nodeRead",
            "registrationQueued", "registration", "nodeSleeping"}));
    for (const QJsonObject &entry : entries) {
        QCOMPARE(entry.value(QStringLiteral("devEui")).toString(), profile.devEui);
        QVERIFY(entry.value(QStringLiteral("time")).toString().endsWith(QLatin1Char('Z')));
    }
    for (int read : {0, 2, 5}) {
        const QJsonObject &entry = entries.at(read);
        QCOMPARE(entry.value(QStringLiteral("port")).toString(), port);
        QCOMPARE(entry.value(QStringLiteral("type")).toInt(), int(Node::LoRaOTAA));
        QCOMPARE(entry.value(QStringLiteral("typeName")).toString(), QStringLiteral("LoRa OTAA"));
        QCOMPARE(entry.value(QStringLiteral("nodeVersion")).toString(), profile.nodeVersion);
        QCOMPARE(entry.value(QStringLiteral("moduleVersion")).toString(), profile.moduleVersion);
        QCOMPARE(entry.value(QStringLiteral("loraVersion")).toString(), profile.loraVersion);
    }
    QCOMPARE(entries.at(1).value(QStringLiteral("flags")).toArray(), QJsonArray{"reportRate"});
    QCOMPARE(entries.at(1).value(QStringLiteral("result")).toInt(), 2);
    QCOMPARE(entries.at(3).value(QStringLiteral("ok")).toBool(), true); // read back as written
    QCOMPARE(entries.at(4).value(QStringLiteral("result")).toInt(), 2);
    QCOMPARE(entries.at(7).value(QStringLiteral("status")).toInt(), 200);

    // Nothing secret: not the node's keys, not the operator's password or its digest.
    QFile file(journalFile());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray raw = file.readAll();
    const QString digest = LoginRequest::passwordDigest(QLatin1String(TestServerProcess::kPassword));
    for (const QString &secret : {profile.appKey, QString::fromLatin1(TestServerProcess::kPassword), digest,
             digest.toLower(), QString::fromLatin1(kDeviceId)}) {
        QVERIFY2(!raw.contains(secret.toUtf8()), qPrintable(secret));
    }
}

IOT_APP_TEST_MAIN(CommissioningJournalFlowTest)
#include "tst_commissioningjournalflow.moc"
