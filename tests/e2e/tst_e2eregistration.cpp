// What the operator registers reaches the registration server, once, whatever the server or the tool does in
// between, and nothing secret is left behind on the disk or in the log.
#include "apptestsupport.h"
#include "e2estation.h"
#include "logcapture.h"
#include "loginrequest.h"
#include "mainwindow.h"
#include "nodeform.h"
#include "registrationoutbox.h"
#include "testserverprocess.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>

namespace {

// The outbox sends a refused registration again after 5 s and a jitter; far less than this.
const int kRetryWaitMs = 60000;
const int kCliRunMs = 90000;
// What the login grants, so that the case can look for it; the server accepts it as any token it issued.
const char kKnownToken[] = "e2eTokenValue7f3c91d2a8b54e60";

// The device records the server stored, by their euid.
QMap<QString, QJsonObject> storedDevices(TestServerProcess &server)
{
    QMap<QString, QJsonObject> devices;
    for (const QJsonValue &record : QJsonDocument::fromJson(server.devices()).array()) {
        const QJsonObject object = record.toObject();
        devices.insert(object.value(QLatin1String("euid")).toString(), object);
    }
    return devices;
}

// The name under which the server registered the device, from the document it was posted.
QString deviceName(const QJsonObject &record)
{
    return record.value(QLatin1String("document")).toObject().value(QLatin1String("DeviceName")).toString();
}

// The informative text of the next message box, which is then closed with OK.
void readBox(DialogDriver &driver, QString *text, QString *detail)
{
    driver.custom(QStringLiteral("message"), [text, detail](QWidget *widget) {
        auto *box = qobject_cast<QMessageBox *>(widget);
        *text = box->text();
        *detail = box->informativeText();
        box->button(QMessageBox::Ok)->click();
    });
}

} // namespace

class E2eRegistrationTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void describedNodeIsRegisteredWithItsDescriptionAndNoSecretIsKept();
    void refusedRegistrationReachesTheServerByItselfOnce();
    void registrationWaitingWhenTheToolWasKilledGoesOutAfterTheNextLogin();

private:
    std::unique_ptr<E2eStation> station;
};

void E2eRegistrationTest::initTestCase()
{
    // Every message the tool logs is looked at, also those of the debug level.
    QLoggingCategory::setFilterRules(QStringLiteral("iot.*.debug=true"));
}

void E2eRegistrationTest::cleanup()
{
    if (station)
        QCOMPARE(station->dialogs().unexpectedCount(), 0);
    station.reset();
}

void E2eRegistrationTest::describedNodeIsRegisteredWithItsDescriptionAndNoSecretIsKept()
{
    TestServerProcess server;
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    QVERIFY(server.setFault(
        QStringLiteral("login"), QStringLiteral("token"), {{QStringLiteral("token"), QLatin1String(kKnownToken)}}));
    LogCapture log;
    station = std::make_unique<E2eStation>();
    const SimNodeProfile profile = SimNodeProfile::forType(Node::LoRaOTAA);
    QVERIFY2(!station->addNode(profile).isEmpty(), qPrintable(station->error()));
    station->openWindow(server.baseUrl());
    QVERIFY(station->bootAndShow(true));

    const QString description = QStringLiteral("Harbour gate 7, east lock");
    E2eStation::typeInto(station->form(), "lockDescriptionEdit", description);
    E2eStation::typeInto(station->form(), "tempHighEdit", QStringLiteral("44"));
    QPointer<NodeForm> written = station->form();
    written->findChild<QPushButton *>(QStringLiteral("applyButton"))->click();

    // The write, the node's reset and its read again: a new form, with the description typed before.
    QVERIFY(QTest::qWaitFor([&] { return !written && station->form(); }, E2eStation::kReadWaitMs));
    QVERIFY(station->waitForState(CommissioningSession::State::NodeShown));
    QVERIFY(station->node().receivedLines().contains(QStringLiteral("tht -10 44")));
    QCOMPARE(station->form()->findChild<QLineEdit *>(QStringLiteral("lockDescriptionEdit"))->text(), description);
    QCOMPARE(station->form()->findChild<QLineEdit *>(QStringLiteral("tempHighEdit"))->text(), QStringLiteral("44"));

    station->dialogs().clickOk();
    station->button("registerButton")->click();
    QTRY_COMPARE_WITH_TIMEOUT(station->dialogs().messageTexts(), QStringList{QStringLiteral("Node added successfully")},
        E2eStation::kReadWaitMs);
    QCOMPARE(deviceName(storedDevices(server).value(profile.devEui)), description);

    // Neither the password, nor its digest, nor the token the server granted is kept anywhere.
    const QByteArray digest = LoginRequest::passwordDigest(QLatin1String(TestServerProcess::kPassword)).toLatin1();
    const QList<QByteArray> secrets{
        QByteArray(TestServerProcess::kPassword), digest.toUpper(), digest.toLower(), QByteArray(kKnownToken)};
    QStringList files{E2eStation::journalPath()};
    for (const QFileInfo &file : QFileInfo(E2eStation::outboxPath()).dir().entryInfoList({QStringLiteral("outbox*")}))
        files << file.absoluteFilePath();
    QVERIFY2(files.size() >= 2, qPrintable(files.join(QLatin1Char(' '))));
    for (const QString &path : files) {
        QFile file(path);
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(path));
        const QByteArray bytes = file.readAll();
        QVERIFY2(!bytes.isEmpty() || !path.endsWith(QLatin1String(".jsonl")), qPrintable(path));
        for (const QByteArray &secret : secrets)
            QVERIFY2(
                !bytes.contains(secret), qPrintable(path + QStringLiteral(" holds ") + QString::fromLatin1(secret)));
    }
    QVERIFY(log.count(QStringLiteral("JSONdeviceRegister: device")) > 0);
    for (const QString &line : log.texts()) {
        for (const QByteArray &secret : secrets)
            QVERIFY2(!line.contains(QString::fromLatin1(secret)), qPrintable(QStringLiteral("logged: ") + line));
    }
}

void E2eRegistrationTest::refusedRegistrationReachesTheServerByItselfOnce()
{
    TestServerProcess server;
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    station = std::make_unique<E2eStation>();
    const SimNodeProfile profile = SimNodeProfile::forType(Node::Pellimar);
    QVERIFY2(!station->addNode(profile).isEmpty(), qPrintable(station->error()));
    station->openWindow(server.baseUrl());
    QVERIFY(station->bootAndShow(true));

    // The server is overloaded for exactly one request.
    QVERIFY(server.setFault(QStringLiteral("device"), QStringLiteral("status"),
        {{QStringLiteral("status"), 503}, {QStringLiteral("count"), 1}}));
    QString text, detail;
    readBox(station->dialogs(), &text, &detail);
    station->button("registerButton")->click();
    QTRY_COMPARE_WITH_TIMEOUT(station->dialogs().pendingSteps(), 0, E2eStation::kReadWaitMs);
    QCOMPARE(text, QStringLiteral("The registration will be sent later"));
    QVERIFY2(detail.startsWith(QLatin1String("The server answered 503.")) && detail.contains(QLatin1String("kept")),
        qPrintable(detail));
    QLabel *waiting = station->label("waitingRegistrationsLabel");
    QTRY_VERIFY(waiting->isVisible());
    QCOMPARE(waiting->text(), QStringLiteral("1 registration waiting for the server"));
    QVERIFY(storedDevices(server).isEmpty());

    // Nobody presses anything: the outbox sends it again, and the server takes it.
    QTRY_VERIFY_WITH_TIMEOUT(storedDevices(server).contains(profile.devEui), kRetryWaitMs);
    QTRY_VERIFY(!waiting->isVisible());
    QCOMPARE(server.requestCount(QStringLiteral("device")), 2);
    QCOMPARE(RegistrationOutbox(E2eStation::outboxPath()).pendingCount(), 0);
    QCOMPARE(station->session()->state(), CommissioningSession::State::NodeShown);
}

void E2eRegistrationTest::registrationWaitingWhenTheToolWasKilledGoesOutAfterTheNextLogin()
{
    TestServerProcess server;
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    QTemporaryDir work;
    QVERIFY(work.isValid());
    SimNodeProfile first = SimNodeProfile::forType(Node::LoRaOTAA);
    SimNodeProfile second = first;
    second.devEui = QStringLiteral("70B3D57ED0000B02");
    NodeSimulator firstNode(first), secondNode(second);
    const QString firstPort = work.filePath(QStringLiteral("ttyA")), secondPort = work.filePath(QStringLiteral("ttyB"));
    QString error;
    QVERIFY2(firstNode.start(firstPort, &error) && secondNode.start(secondPort, &error), qPrintable(error));
    const QString journal = work.filePath(QStringLiteral("journal.jsonl"));
    const QString outbox = work.filePath(QLatin1String(RegistrationOutbox::kFileName));

    auto cli = [&](QProcess &process, const QString &port, const QStringList &until) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("IOT_COMMISSION_PASSWORD"), QLatin1String(TestServerProcess::kPassword));
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(qEnvironmentVariable("IOT_BIN_DIR") + QStringLiteral("/iot-commission-cli"),
            QStringList{QStringLiteral("commission"), QStringLiteral("--port"), port, QStringLiteral("--server"),
                server.baseUrl(), QStringLiteral("--user"), QLatin1String(TestServerProcess::kUser),
                QStringLiteral("--register"), QStringLiteral("--json"), QStringLiteral("--journal"), journal}
                + until);
        return process.waitForStarted();
    };

    // The first run: the server answers 503, the node's registration waits in the outbox, and the tool dies.
    QVERIFY(server.setFault(QStringLiteral("device"), QStringLiteral("status"), {{QStringLiteral("status"), 503}}));
    QProcess killed;
    QVERIFY(cli(killed, firstPort, {QStringLiteral("--loop")}));
    firstNode.boot();
    QByteArray report;
    QVERIFY2(QTest::qWaitFor(
                 [&] {
                     report += killed.readAllStandardOutput();
                     return report.contains('\n');
                 },
                 kCliRunMs),
        "no report from the first run");
    QVERIFY2(report.contains("\"registration\":\"waiting\""), report.constData());
    QCOMPARE(RegistrationOutbox(outbox).pendingCount(), 1);
    killed.kill();
    QVERIFY(killed.waitForFinished());
    QCOMPARE(RegistrationOutbox(outbox).pendingCount(), 1);
    QVERIFY(storedDevices(server).isEmpty());

    // The second run, with the server well again, for another node: it logs in for the kept registration, which
    // goes out once its back-off has passed (the claim of the killed run does not hold it up), once, and nothing
    // is left waiting.
    QVERIFY(server.clearFaults());
    const int postsBefore = server.requestCount(QStringLiteral("device"));
    QVERIFY(postsBefore >= 1);
    QProcess next;
    QVERIFY(cli(next, secondPort, {QStringLiteral("--loop")}));
    secondNode.boot();
    QTRY_COMPARE_WITH_TIMEOUT(storedDevices(server).size(), 2, kRetryWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(RegistrationOutbox(outbox).pendingCount(), 0, kRetryWaitMs);
    next.terminate();
    QVERIFY(next.waitForFinished(kCliRunMs));
    const QByteArray secondReport = next.readAllStandardOutput();
    QCOMPARE(next.exitCode(), 0);
    QVERIFY2(secondReport.contains("\"registration\":200"), secondReport.constData());
    const QMap<QString, QJsonObject> devices = storedDevices(server);
    QVERIFY2(devices.contains(second.devEui), qPrintable(devices.keys().join(QLatin1Char(' '))));
    QVERIFY2(devices.contains(first.devEui), qPrintable(devices.keys().join(QLatin1Char(' '))));
    QCOMPARE(server.requestCount(QStringLiteral("device")), postsBefore + 2);
    QCOMPARE(RegistrationOutbox(outbox).pendingCount(), 0);
}

IOT_APP_TEST_MAIN(E2eRegistrationTest)
#include "tst_e2eregistration.moc"
