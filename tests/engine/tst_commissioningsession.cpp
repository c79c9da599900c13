// The commissioning workflow without a window and without a node: a scripted link says what a node would, the
// local registration server answers the logins and registrations, and the session's own signals tell what the
// operator would see. Each test follows the transitions an operator would cause. The real link underneath is
// exercised by the link tests and the end-to-end tests.
#include "commissioningjournal.h"
#include "commissioningprofile.h"
#include "commissioningsession.h"
#include "nodebuilders.h"
#include "scriptedlink.h"
#include "testserverprocess.h"
#include "unitrecords.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using State = CommissioningSession::State;

namespace {
// A login or registration with the local server, on a machine busy with other tests.
constexpr int kServerWaitMs = 35000;

// Everything the session tells its front end, in order.
class SessionRecorder : public QObject
{
public:
    explicit SessionRecorder(CommissioningSession *session)
    {
        connect(session, &CommissioningSession::stateChanged, this, [this](State state) { states << state; });
        connect(session, &CommissioningSession::notice, this,
            [this](const CommissioningSession::Notice &notice) { notices << notice.text; });
        connect(session, &CommissioningSession::formRequested, this, [this](const Node &node) { forms << node; });
    }

    int count(State state) const { return int(std::count(states.begin(), states.end(), state)); }

    QList<State> states;
    QStringList notices;
    QList<Node> forms;
};

// A profile that runs the station by itself: LoRa OTAA nodes get an upper temperature of 44 (the healthy node has
// 50), a label profile id, and with `requireLabel` a matching label before they are registered.
std::shared_ptr<const CommissioningProfile> runningProfile(bool requireLabel)
{
    const QByteArray json = QByteArray(R"({"format": 1, "name": "Hands-free", "requireLabel": )")
        + (requireLabel ? "true" : "false")
        + R"(, "auto": {"apply": true, "register": true, "activate": true, "printLabel": "onPass"},
            "types": {"LoRa OTAA": {"temperature": [-10, 44], "labelProfileId": "01230456"}}})";
    QString error;
    const auto profile = CommissioningProfile::fromJson(json, QStringLiteral("hands-free.json"), &error);
    if (!profile)
        qFatal("%s", qPrintable(error));
    return std::make_shared<const CommissioningProfile>(*profile);
}

// The healthy LoRa OTAA node as read back after its write, with the upper temperature it then reports.
Node readBackWith(float temperatureHigh)
{
    Node node = healthyNode(Node::LoRaOTAA);
    node.thresholds.temperatureHigh = temperatureHigh;
    return node;
}

const QString kDevEui = QStringLiteral("70B3D57ED0000A01");
const QString kOwnLabel = QStringLiteral("LW:D0:0004A30B001C0A00:70B3D57ED0000A01:01230456");

QStringList journalEvents(const CommissioningJournal &journal)
{
    QStringList events;
    for (const QJsonObject &entry : journal.entries())
        events << entry.value(QStringLiteral("event")).toString();
    return events;
}
} // namespace

class CommissioningSessionTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void nodeIsReadAskedALoginForAndShown();
    void nodeAnnouncedDuringTheLoginIsShownAfterTheAnswer();
    void cancelledLoginIsReportedOnceEvenWithANodeHeld();
    void noServerConfiguredIsAllThatIsSaid();
    void appliedSettingsAreWrittenAndTheNodeReadAgain();
    void failedRegistrationEndsTheLoginAndAllowsAnotherTry();
    void nodeBootingRightAfterItsSleepIsRead();
    void nodeWithoutIdentityIsNeverShownOrRegistered_data();
    void nodeWithoutIdentityIsNeverShownOrRegistered();
    void labelDecidesWhetherTheNodeMayLeave_data();
    void labelDecidesWhetherTheNodeMayLeave();
    void configureWritesAreJournalledForTheNodeReadLast_data();
    void configureWritesAreJournalledForTheNodeReadLast();
    void nodeOnShowThatLeavesEndsItsUnit_data();
    void nodeOnShowThatLeavesEndsItsUnit();
    void stationRunByItsProfileTakesEveryStep_data();
    void stationRunByItsProfileTakesEveryStep();
    void stationRunByItsProfileStopsAtAFailedStep_data();
    void stationRunByItsProfileStopsAtAFailedStep();
    void profileWithoutAutomationWaitsForTheOperator();
    void labelScannedDuringTheWriteIsJudgedOnTheNodeAsWritten_data();
    void labelScannedDuringTheWriteIsJudgedOnTheNodeAsWritten();
    void operatorsRegisterAndActivateWaitForTheRun();
    void nodeThatNeverAnswersEndsTheRunWithTheReason_data();
    void nodeThatNeverAnswersEndsTheRunWithTheReason();
    void runRegistersOnlyWhenTheCheckBeforeItAgrees_data();
    void runRegistersOnlyWhenTheCheckBeforeItAgrees();

private:
    void start();
    bool bootAndLogIn(const Node &node);
    // Boots the healthy LoRa OTAA node on a station run by its profile, up to its write being sent.
    bool bootIntoAutomaticWrite(bool requireLabel);

    TestServerProcess server;
    QTemporaryDir dir;
    ScriptedLink *link = nullptr; // the session's
    std::unique_ptr<CommissioningJournal> journal;
    std::unique_ptr<ServerSession> serverSession;
    std::unique_ptr<CommissioningSession> session;
    std::unique_ptr<SessionRecorder> recorder;
};

void CommissioningSessionTest::initTestCase()
{
    QVERIFY(dir.isValid());
    QVERIFY2(server.start(), qPrintable(server.errorString()));
}

void CommissioningSessionTest::init()
{
    QVERIFY(server.clearFaults());
    start();
}

void CommissioningSessionTest::cleanup()
{
    recorder.reset();
    session.reset();
    serverSession.reset();
    journal.reset();
}

void CommissioningSessionTest::start()
{
    // A journal of this test's own.
    QString name = QString::fromLatin1(QTest::currentTestFunction());
    if (QTest::currentDataTag())
        name += QString::number(qHash(QString::fromUtf8(QTest::currentDataTag())));
    journal = std::make_unique<CommissioningJournal>(dir.filePath(name + QStringLiteral(".jsonl")));
    serverSession = std::make_unique<ServerSession>(journal.get(), nullptr);
    serverSession->setServerAddress(server.baseUrl());
    link = new ScriptedLink;
    session = std::make_unique<CommissioningSession>(link, serverSession.get(), journal.get(), Pacing().scaled(0.05));
    recorder = std::make_unique<SessionRecorder>(session.get());
    session->choosePort(QStringLiteral("ttyNODE"));
    link->openLastPort();
    link->clearRequests();
}

bool CommissioningSessionTest::bootAndLogIn(const Node &node)
{
    link->boot(node);
    if (session->state() != State::LoginNeeded)
        return false;
    session->submitCredentials(QLatin1String(TestServerProcess::kUser), QLatin1String(TestServerProcess::kPassword));
    return QTest::qWaitFor([this] { return session->state() == State::NodeShown; }, kServerWaitMs);
}

void CommissioningSessionTest::nodeIsReadAskedALoginForAndShown()
{
    QVERIFY(bootAndLogIn(healthyNode(Node::LoRaOTAA)));

    QCOMPARE(recorder->states, (QList<State>{State::Reading, State::LoginNeeded, State::LoggingIn, State::NodeShown}));
    QCOMPARE(recorder->forms.size(), 1);
    QCOMPARE(recorder->forms.first().identity(), QStringLiteral("70B3D57ED0000A01"));
    QVERIFY(session->canRegister());
    QVERIFY(session->canActivate());
    QVERIFY(recorder->notices.isEmpty());

    // With the login held, the next boot is shown without asking and without contacting the server.
    recorder->states.clear();
    link->boot(healthyNode(Node::LoRaOTAA, {QStringLiteral("70B3D57ED0000A02")}));
    QCOMPARE(recorder->forms.size(), 2);
    QCOMPARE(recorder->forms.last().identity(), QStringLiteral("70B3D57ED0000A02"));
    QCOMPARE(recorder->states, (QList<State>{State::Reading, State::NodeShown}));
    // Reading and showing a node asks nothing of the link.
    QVERIFY2(link->requests().isEmpty(), qPrintable(link->requestNames().join(' ')));
}

void CommissioningSessionTest::nodeAnnouncedDuringTheLoginIsShownAfterTheAnswer()
{
    link->boot(healthyNode(Node::LoRaOTAA));
    QCOMPARE(session->state(), State::LoginNeeded);

    // Another node is announced while the operator is still typing: it is held, not prompted for again.
    emit link->nodeConnected(healthyNode(Node::LoRaOTAA, {QStringLiteral("70B3D57ED0000B02")}));
    QCOMPARE(session->state(), State::LoginNeeded);
    QCOMPARE(recorder->count(State::LoginNeeded), 1);

    session->submitCredentials(QLatin1String(TestServerProcess::kUser), QLatin1String(TestServerProcess::kPassword));
    QTRY_COMPARE_WITH_TIMEOUT(session->state(), State::NodeShown, kServerWaitMs);
    QCOMPARE(recorder->forms.size(), 1);
    QCOMPARE(recorder->forms.first().identity(), QStringLiteral("70B3D57ED0000B02"));
}

void CommissioningSessionTest::cancelledLoginIsReportedOnceEvenWithANodeHeld()
{
    link->boot(healthyNode(Node::SigFox));
    QCOMPARE(session->state(), State::LoginNeeded);
    emit link->nodeConnected(*session->lastNodeRead());

    session->cancelLogin();
    QCOMPARE(session->state(), State::WaitingForNode);
    QCOMPARE(recorder->notices, QStringList{QStringLiteral("You need to log in")});
    // The held node does not bring the prompt back.
    QCoreApplication::processEvents();
    QCOMPARE(recorder->count(State::LoginNeeded), 1);
    QVERIFY(recorder->forms.isEmpty());
    QVERIFY(!session->isLoggedIn());
}

void CommissioningSessionTest::noServerConfiguredIsAllThatIsSaid()
{
    serverSession->setServerAddress(QStringLiteral("http://"));
    link->boot(healthyNode(Node::Pellimar));
    QCOMPARE(session->state(), State::WaitingForNode);
    // No request went out: nothing may say that credentials were refused, or ask for them.
    QCOMPARE(recorder->notices, QStringList{QStringLiteral("Please configure the ORVA server")});
    QCOMPARE(recorder->count(State::LoginNeeded), 0);
}

void CommissioningSessionTest::nodeOnShowThatLeavesEndsItsUnit_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("reason");
    QTest::newRow("its port went away") << QStringLiteral("unplug") << QStringLiteral("portLost");
    QTest::newRow("the operator reset it") << QStringLiteral("reset") << QStringLiteral("reset");
    QTest::newRow("the operator let the port go") << QStringLiteral("disconnect") << QStringLiteral("disconnected");
    QTest::newRow("put to sleep first") << QStringLiteral("sleep") << QString();
}

void CommissioningSessionTest::nodeOnShowThatLeavesEndsItsUnit()
{
    QFETCH(QString, how);
    QFETCH(QString, reason);
    QVERIFY(bootAndLogIn(healthyNode(Node::LoRaOTAA)));
    if (how == QLatin1String("unplug")) {
        emit link->serialPortFailed(QStringLiteral("ttyNODE"), QStringLiteral("No such device"));
    } else if (how == QLatin1String("reset")) {
        session->resetNode();
    } else if (how == QLatin1String("disconnect")) {
        session->disconnectNode();
    } else {
        emit link->nodeSleeping();
        // The port lost after the sleep does not turn the sleeping node into one that left.
        emit link->serialPortFailed(QStringLiteral("ttyNODE"), QStringLiteral("No such device"));
    }
    const QVector<QJsonObject> entries = journal->entries();
    QList<QByteArray> lines;
    QStringList leaves;
    for (const QJsonObject &entry : entries) {
        lines << QJsonDocument(entry).toJson(QJsonDocument::Compact);
        if (entry.value(QStringLiteral("event")).toString() == QLatin1String("nodeLeft"))
            leaves << entry.value(QStringLiteral("reason")).toString() + QLatin1Char('@')
                    + entry.value(QStringLiteral("port")).toString();
    }
    QCOMPARE(leaves, reason.isEmpty() ? QStringList() : QStringList{reason + QStringLiteral("@ttyNODE")});
    const QVector<UnitRecord> units = UnitRecords::fromLines(lines);
    QCOMPARE(units.size(), 1);
    if (reason.isEmpty()) {
        QCOMPARE(units.first().outcome, UnitRecord::Outcome::Passed);
    } else {
        QCOMPARE(units.first().outcome, UnitRecord::Outcome::Abandoned);
        QCOMPARE(units.first().failureReason, reason);
    }
}

void CommissioningSessionTest::appliedSettingsAreWrittenAndTheNodeReadAgain()
{
    QVERIFY(bootAndLogIn(healthyNode(Node::LoRaOTAA)));
    recorder->states.clear();

    Node edited = *session->nodeOnShow();
    edited.thresholds.temperatureHigh = 44;
    session->applySettings(edited, Node::FlagTemperature);
    QCOMPARE(session->state(), State::Writing);
    QCOMPARE(link->requestNames(), QStringList{QStringLiteral("updateNode")});
    QCOMPARE(link->requests().first().flags, int(Node::FlagTemperature));
    QCOMPARE(link->requests().first().node.thresholds.temperatureHigh, 44.0f);

    // The node acknowledges; the session resets it, so that it takes the setting and is read back.
    link->finishSettingsWrite(CommandResult::Done, Node::FlagTemperature);
    QCOMPARE(session->state(), State::UpdateSucceeded);
    QCOMPARE(session->lastWriteAcknowledged(), int(Node::FlagTemperature));
    QCOMPARE(link->requestNames(), (QStringList{QStringLiteral("updateNode"), QStringLiteral("resetNode")}));
    Node readBack = healthyNode(Node::LoRaOTAA);
    readBack.thresholds.temperatureHigh = 44;
    link->boot(readBack);

    QCOMPARE(recorder->forms.size(), 2);
    QCOMPARE(
        recorder->states, (QList<State>{State::Writing, State::UpdateSucceeded, State::Reading, State::NodeShown}));
    QCOMPARE(recorder->forms.last().thresholds.temperatureHigh, 44.0f);
    QCOMPARE(journalEvents(*journal),
        (QStringList{QStringLiteral("nodeRead"), QStringLiteral("settingsWritten"), QStringLiteral("nodeRead"),
            QStringLiteral("verified")}));
    QVERIFY(session->lastWriteVerified());
    QCOMPARE(session->note().text, QStringLiteral("Verified"));
}

void CommissioningSessionTest::failedRegistrationEndsTheLoginAndAllowsAnotherTry()
{
    QVERIFY(bootAndLogIn(healthyNode(Node::Pellimar)));
    QVERIFY(server.setFault(QStringLiteral("device"), QStringLiteral("status"), {{QStringLiteral("status"), 500}}));

    session->registerNode(QStringLiteral("Door 7"));
    QCOMPARE(session->state(), State::Registering);
    QVERIFY(!session->canRegister());
    QTRY_COMPARE_WITH_TIMEOUT(recorder->notices.size(), 1, kServerWaitMs);
    QCOMPARE(recorder->notices.first(), QStringLiteral("Registration failed :500"));
    QCOMPARE(session->state(), State::NodeShown);
    QVERIFY(!session->isLoggedIn());
    QVERIFY(session->canRegister());

    // The next try asks for the credentials again and, with the server healthy, registers the description.
    QVERIFY(server.clearFaults());
    session->registerNode(QStringLiteral("Door 7"));
    QCOMPARE(session->state(), State::LoginNeeded);
    QVERIFY(session->loginIsForRegistration());
    session->submitCredentials(QLatin1String(TestServerProcess::kUser), QLatin1String(TestServerProcess::kPassword));
    QTRY_COMPARE_WITH_TIMEOUT(recorder->notices.size(), 2, kServerWaitMs);
    QCOMPARE(recorder->notices.last(), QStringLiteral("Node added successfully"));
    QVERIFY(!session->canRegister());
    const QJsonArray devices = QJsonDocument::fromJson(server.devices()).array();
    QCOMPARE(devices.size(), 1);
    const QJsonObject document = devices.first().toObject().value(QStringLiteral("document")).toObject();
    QCOMPARE(document.value(QStringLiteral("DeviceName")), QJsonValue(QStringLiteral("Door 7")));
    // The node registered is the one shown.
    QVERIFY2(QString::fromUtf8(QJsonDocument(document).toJson()).contains(session->nodeOnShow()->identity()),
        server.devices().constData());
}

void CommissioningSessionTest::nodeBootingRightAfterItsSleepIsRead()
{
    QVERIFY(bootAndLogIn(healthyNode(Node::LoRaOTAA5D)));

    // Not registered: the operator is asked first, and answers that it may sleep all the same.
    QSignalSpy asked(session.get(), &CommissioningSession::questionAsked);
    session->activate();
    QCOMPARE(asked.size(), 1);
    QCOMPARE(
        asked.first().at(0).value<CommissioningSession::Question>(), CommissioningSession::Question::SleepUnregistered);
    QVERIFY(link->requests().isEmpty());
    session->answerQuestion(CommissioningSession::Question::SleepUnregistered, CommissioningSession::Action::Activate,
        CommissioningSession::Answer::Proceed);
    QCOMPARE(link->requestNames(), QStringList{QStringLiteral("sleepNode")});
    emit link->nodeSleeping();
    QCOMPARE(session->state(), State::NodeSleeping);
    // The sleep is journalled for the node shown, and nothing is dropped at the link: the next node plugged in
    // at once (its boot follows the sleep confirmation within a second) is read.
    QCOMPARE(journal->entries().last().value(QStringLiteral("event")).toString(), QStringLiteral("nodeSleeping"));
    QCOMPARE(journal->entries().last().value(QStringLiteral("devEui")).toString(), QStringLiteral("70B3D57ED0000A01"));
    QCOMPARE(link->requestNames(), QStringList{QStringLiteral("sleepNode")});
    link->boot(healthyNode(Node::LoRaOTAA5D, {QStringLiteral("70B3D57ED0000A02")}));
    QCOMPARE(recorder->forms.size(), 2);
    QCOMPARE(session->state(), State::NodeShown);
}

void CommissioningSessionTest::nodeWithoutIdentityIsNeverShownOrRegistered_data()
{
    QTest::addColumn<Node>("node");

    QTest::newRow("configuration read back as zeros")
        << healthyNode(Node::Pellimar, {QStringLiteral("0000000000000000")});
    QTest::newRow("DevEUI all F") << healthyNode(Node::LoRaOTAA5D, {QStringLiteral("FFFFFFFFFFFFFFFF")});
    QTest::newRow("SigFox ID all zeros") << healthyNode(Node::SigFox, {QStringLiteral("00000000")});
}

void CommissioningSessionTest::nodeWithoutIdentityIsNeverShownOrRegistered()
{
    QFETCH(Node, node);
    const QByteArray devicesBefore = server.devices();
    link->boot(node);
    QCOMPARE(session->state(), State::LoginNeeded);
    session->submitCredentials(QLatin1String(TestServerProcess::kUser), QLatin1String(TestServerProcess::kPassword));
    QTRY_COMPARE_WITH_TIMEOUT(session->state(), State::NotConfigured, kServerWaitMs);
    QVERIFY(recorder->forms.isEmpty());
    QVERIFY(!session->canRegister());
    QVERIFY(!session->canActivate());
    // What the command line reports for a node it did not show.
    QCOMPARE(session->lastNodeRead()->identity(), node.identity());

    session->registerNode(QStringLiteral("Door 1"));
    session->activate();
    QCOMPARE(session->state(), State::NotConfigured);
    QCOMPARE(server.devices(), devicesBefore);
    QVERIFY(link->requests().isEmpty());

    const QVector<QJsonObject> entries = journal->entries();
    QVERIFY(!entries.isEmpty());
    QCOMPARE(entries.last().value(QStringLiteral("event")).toString(), QStringLiteral("notConfigured"));
    QCOMPARE(entries.last().value(QStringLiteral("reason")).toString(), QStringLiteral("noIdentity"));
}

void CommissioningSessionTest::labelDecidesWhetherTheNodeMayLeave_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<bool>("mayLeave");
    QTest::addColumn<QString>("journalledExtra"); // the QR code's further fields as journalled; "-": no entry

    // The LoRa OTAA node: JoinEUI 0004A30B001C0A00, DevEUI 70B3D57ED0000A01.
    QTest::newRow("its own QR code, owner token left out of the journal")
        << QStringLiteral("LW:D0:0004A30B001C0A00:70B3D57ED0000A01:01230456:OSECRET1:S0042") << true
        << QStringLiteral("S0042");
    QTest::newRow("QR code for another JoinEUI")
        << QStringLiteral("LW:D0:1122334455667788:70B3D57ED0000A01:01230456") << false << QString();
    QTest::newRow("text that is no label") << QStringLiteral("hello world") << false << QStringLiteral("-");
}

void CommissioningSessionTest::labelDecidesWhetherTheNodeMayLeave()
{
    QFETCH(QString, label);
    QFETCH(bool, mayLeave);
    QFETCH(QString, journalledExtra);
    QVERIFY(bootAndLogIn(healthyNode(Node::LoRaOTAA)));
    QVERIFY(session->canRegister());
    const int entriesBefore = journal->entries().size();

    session->checkLabel(label);
    QCOMPARE(session->canRegister(), mayLeave);
    QCOMPARE(session->canActivate(), mayLeave);

    const QVector<QJsonObject> entries = journal->entries();
    if (journalledExtra == QLatin1String("-")) {
        QCOMPARE(entries.size(), entriesBefore);
    } else {
        QCOMPARE(entries.size(), entriesBefore + 1);
        QCOMPARE(entries.last().value(QStringLiteral("match")).toBool(!mayLeave), mayLeave);
        QCOMPARE(entries.last().value(QStringLiteral("label")).toObject().value(QStringLiteral("extra")).toString(),
            journalledExtra);
    }
    // Clearing the label frees the node again.
    session->checkLabel(QString());
    QVERIFY(session->canRegister());
}

void CommissioningSessionTest::configureWritesAreJournalledForTheNodeReadLast_data()
{
    QTest::addColumn<bool>("sigfox");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("event");
    QTest::addColumn<QString>("reason"); // the journalled reason of a failure

    QTest::newRow("device id written") << false << int(CommandResult::Done) << "deviceIdWritten" << QString();
    QTest::newRow("device id refused") << false << int(CommandResult::Failed) << "deviceIdWritten"
                                       << "refused";
    QTest::newRow("SigFox data written") << true << int(CommandResult::Done) << "sigfoxDataWritten" << QString();
    QTest::newRow("SigFox data timed out") << true << int(CommandResult::TimedOut) << "sigfoxDataWritten" << QString();
}

void CommissioningSessionTest::configureWritesAreJournalledForTheNodeReadLast()
{
    QFETCH(bool, sigfox);
    QFETCH(int, result);
    QFETCH(QString, event);
    QFETCH(QString, reason);
    // The configure path runs on a node read but not shown (no login asked for it here).
    serverSession->setServerAddress(QStringLiteral("http://"));
    const Node node = healthyNode(sigfox ? Node::SigFox : Node::LoRaOTAA);
    link->boot(node);

    session->readVersion();
    if (sigfox)
        session->setSigfoxData(QStringLiteral("C0FFEE:1234"));
    else
        session->setDeviceId(QStringLiteral("70B3D57ED0000A07"));
    QCOMPARE(link->requestNames(),
        (QStringList{
            QStringLiteral("readVersion"), sigfox ? QStringLiteral("setSigfoxData") : QStringLiteral("setDeviceId")}));
    QCOMPARE(link->requests().last().text, sigfox ? QStringLiteral("C0FFEE:1234") : QStringLiteral("70B3D57ED0000A07"));
    emit link->nodeCommandResult(
        CommandResult(result), result == int(CommandResult::Failed) ? CommandFailure::Refused : CommandFailure::None);

    const QJsonObject entry = journal->entries().last();
    QCOMPARE(entry.value(QStringLiteral("event")).toString(), event);
    QCOMPARE(entry.value(QStringLiteral("result")).toInt(), result);
    QCOMPARE(entry.value(QStringLiteral("reason")).toString(), reason);
    QCOMPARE(entry.value(sigfox ? QStringLiteral("sigfoxId") : QStringLiteral("devEui")).toString(), node.identity());
}

bool CommissioningSessionTest::bootIntoAutomaticWrite(bool requireLabel)
{
    session->setProfile(runningProfile(requireLabel));
    link->boot(healthyNode(Node::LoRaOTAA));
    if (session->state() != State::LoginNeeded)
        return false;
    session->submitCredentials(QLatin1String(TestServerProcess::kUser), QLatin1String(TestServerProcess::kPassword));
    // Shown and, with no Apply, written at once.
    if (!QTest::qWaitFor([this] { return session->state() == State::Writing; }, kServerWaitMs))
        return false;
    const QList<ScriptedLink::Request> requests = link->requests();
    return requests.size() == 1 && requests.first().name == QLatin1String("updateNode")
        && requests.first().flags == int(Node::FlagTemperature)
        && requests.first().node.thresholds.temperatureHigh == 44.0f;
}

void CommissioningSessionTest::stationRunByItsProfileTakesEveryStep_data()
{
    QTest::addColumn<bool>("requireLabel");
    QTest::newRow("no label required") << false;
    QTest::newRow("registered once its label is scanned") << true;
}

void CommissioningSessionTest::stationRunByItsProfileTakesEveryStep()
{
    QFETCH(bool, requireLabel);
    // The server keeps the registrations of earlier tests.
    const int registeredBefore = server.registrationsOf(kDevEui);
    QSignalSpy runs(session.get(), &CommissioningSession::autoRunChanged);
    QVERIFY(bootIntoAutomaticWrite(requireLabel));
    QCOMPARE(session->autoRun().outcome, CommissioningSession::AutoRun::Outcome::Running);

    link->finishSettingsWrite(CommandResult::Done, Node::FlagTemperature);
    QCOMPARE(link->requestNames(), (QStringList{QStringLiteral("updateNode"), QStringLiteral("resetNode")}));
    link->boot(readBackWith(44));
    QVERIFY(session->lastWriteVerified());
    if (requireLabel) {
        // Verified, and held for its label: nothing goes to the server before it is scanned.
        QCOMPARE(session->state(), State::NodeShown);
        QCOMPARE(session->autoRun().outcome, CommissioningSession::AutoRun::Outcome::Running);
        QVERIFY(session->autoRun().verified);
        QVERIFY(!session->autoRun().registerAsked);
        session->checkLabel(kOwnLabel);
    }
    QCOMPARE(session->state(), State::Registering);
    // Registered, then asked to sleep without a question.
    QTRY_COMPARE_WITH_TIMEOUT(link->requestNames().size(), 3, kServerWaitMs);
    QCOMPARE(link->requestNames().last(), QStringLiteral("sleepNode"));
    QCOMPARE(server.registrationsOf(kDevEui), registeredBefore + 1);
    QCOMPARE(session->autoRun().outcome, CommissioningSession::AutoRun::Outcome::Running);

    emit link->nodeSleeping();
    QCOMPARE(session->state(), State::NodeSleeping);
    const CommissioningSession::AutoRun run = session->autoRun();
    QCOMPARE(run.outcome, CommissioningSession::AutoRun::Outcome::Passed);
    QVERIFY(run.written && run.verified && run.registered && run.asleep);
    QCOMPARE(run.labelled, requireLabel);
    QVERIFY(run.reason.isEmpty());
    QVERIFY(!runs.isEmpty());
    // The registration's notice is all that was said; nothing was asked of the operator.
    QCOMPARE(recorder->notices.size(), 1);
    QVERIFY2(recorder->notices.first().startsWith(QStringLiteral("Node ")), qPrintable(recorder->notices.first()));
}

void CommissioningSessionTest::stationRunByItsProfileStopsAtAFailedStep_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addColumn<State>("stoppedIn");
    QTest::addColumn<QString>("reason"); // how the reason starts

    QTest::newRow("write refused") << QStringLiteral("refuse") << State::ApplyFailed
                                   << QStringLiteral("The node refused a setting");
    QTest::newRow("write unanswered") << QStringLiteral("silence") << State::ApplyTimedOut
                                      << QStringLiteral("The node stopped answering the write");
    QTest::newRow("read back not as written")
        << QStringLiteral("mismatch") << State::NodeShown << QStringLiteral("Not as written: ");
    QTest::newRow("label of another node")
        << QStringLiteral("label") << State::NodeShown << QStringLiteral("The label is not this node's: ");
    QTest::newRow("registration refused by the server")
        << QStringLiteral("server") << State::NodeShown << QStringLiteral("Registration failed: 500");
}

void CommissioningSessionTest::stationRunByItsProfileStopsAtAFailedStep()
{
    QFETCH(QString, failure);
    QFETCH(State, stoppedIn);
    QFETCH(QString, reason);
    const bool requireLabel = failure == QLatin1String("label");
    // The server keeps the registrations of earlier tests.
    const int registeredBefore = QJsonDocument::fromJson(server.devices()).array().size();
    QSignalSpy registrations(session.get(), &CommissioningSession::registrationReported);
    if (failure == QLatin1String("server"))
        QVERIFY(server.setFault(QStringLiteral("device"), QStringLiteral("status"), {{QStringLiteral("status"), 500}}));
    QVERIFY(bootIntoAutomaticWrite(requireLabel));

    if (failure == QLatin1String("refuse")) {
        link->finishSettingsWrite(CommandResult::Failed, 0, CommandFailure::Refused);
    } else if (failure == QLatin1String("silence")) {
        link->finishSettingsWrite(CommandResult::TimedOut, 0);
    } else {
        link->finishSettingsWrite(CommandResult::Done, Node::FlagTemperature);
        link->boot(readBackWith(failure == QLatin1String("mismatch") ? 45 : 44));
        if (failure == QLatin1String("label"))
            session->checkLabel(QStringLiteral("LW:D0:1122334455667788:70B3D57ED0000A01:01230456"));
        if (failure == QLatin1String("server"))
            QTRY_COMPARE_WITH_TIMEOUT(registrations.size(), 1, kServerWaitMs);
    }
    QCOMPARE(session->state(), stoppedIn);
    const CommissioningSession::AutoRun run = session->autoRun();
    QCOMPARE(run.outcome, CommissioningSession::AutoRun::Outcome::Failed);
    QVERIFY2(run.reason.startsWith(reason), qPrintable(run.reason));
    // Nothing past the failed step: not registered (unless that was the step), never asked to sleep.
    QVERIFY(!link->requestNames().contains(QStringLiteral("sleepNode")));
    QVERIFY(!run.sleepAsked);
    if (failure != QLatin1String("server")) {
        QVERIFY(!run.registerAsked);
        QVERIFY(registrations.isEmpty());
        QCOMPARE(QJsonDocument::fromJson(server.devices()).array().size(), registeredBefore);
    }
    // The stop holds: whatever arrives for the node now takes no step by itself.
    const QStringList requestsAtStop = link->requestNames();
    if (session->isNodeShown())
        session->checkLabel(kOwnLabel);
    QCoreApplication::processEvents();
    QCOMPARE(link->requestNames(), requestsAtStop);
    QCOMPARE(session->autoRun().outcome, CommissioningSession::AutoRun::Outcome::Failed);
}

void CommissioningSessionTest::profileWithoutAutomationWaitsForTheOperator()
{
    QString error;
    const auto profile = CommissioningProfile::fromJson(
        R"({"format": 1, "types": {"LoRa OTAA": {"temperature": [-10, 44]}}})", QStringLiteral("p.json"), &error);
    QVERIFY2(profile, qPrintable(error));
    session->setProfile(std::make_shared<const CommissioningProfile>(*profile));
    QVERIFY(bootAndLogIn(healthyNode(Node::LoRaOTAA)));
    QCoreApplication::processEvents();
    QCOMPARE(session->state(), State::NodeShown);
    QVERIFY(link->requests().isEmpty());
    QCOMPARE(session->autoRun().outcome, CommissioningSession::AutoRun::Outcome::Off);
}

void CommissioningSessionTest::labelScannedDuringTheWriteIsJudgedOnTheNodeAsWritten_data()
{
    QTest::addColumn<QString>("scanned");
    QTest::addColumn<bool>("whileRestarting");
    QTest::addColumn<bool>("passes");
    QTest::newRow("its own label, during the write") << kOwnLabel << false << true;
    QTest::newRow("its own label, while it restarts") << kOwnLabel << true << true;
    QTest::newRow("another node's label, during the write")
        << QStringLiteral("LW:D0:1122334455667788:70B3D57ED0000A01:01230456") << false << false;
    QTest::newRow("another node's label, while it restarts")
        << QStringLiteral("LW:D0:1122334455667788:70B3D57ED0000A01:01230456") << true << false;
}

void CommissioningSessionTest::labelScannedDuringTheWriteIsJudgedOnTheNodeAsWritten()
{
    QFETCH(QString, scanned);
    QFETCH(bool, whileRestarting);
    QFETCH(bool, passes);
    const int registeredBefore = server.registrationsOf(kDevEui);
    QVERIFY(bootIntoAutomaticWrite(true));
    // The operator scans while the node is being written or restarts: the node as read back decides.
    if (!whileRestarting)
        session->checkLabel(scanned);
    link->finishSettingsWrite(CommandResult::Done, Node::FlagTemperature);
    if (whileRestarting) {
        QVERIFY(!session->isNodeShown());
        session->checkLabel(scanned);
    }
    link->boot(readBackWith(44));
    QVERIFY(session->lastWriteVerified());
    if (passes) {
        // Not held for a second scan: registered and put to sleep.
        QTRY_COMPARE_WITH_TIMEOUT(link->requestNames().size(), 3, kServerWaitMs);
        QCOMPARE(link->requestNames().last(), QStringLiteral("sleepNode"));
        QCOMPARE(server.registrationsOf(kDevEui), registeredBefore + 1);
        emit link->nodeSleeping();
        QCOMPARE(session->autoRun().outcome, CommissioningSession::AutoRun::Outcome::Passed);
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(
            session->autoRun().outcome, CommissioningSession::AutoRun::Outcome::Failed, kServerWaitMs);
        QVERIFY2(session->autoRun().reason.startsWith(QStringLiteral("The label is not this node's: ")),
            qPrintable(session->autoRun().reason));
        QVERIFY(!session->autoRun().registerAsked);
        QCOMPARE(server.registrationsOf(kDevEui), registeredBefore);
    }
}

void CommissioningSessionTest::operatorsRegisterAndActivateWaitForTheRun()
{
    const int registeredBefore = server.registrationsOf(kDevEui);
    QVERIFY(bootIntoAutomaticWrite(false));
    QVERIFY(session->runsByItself());
    // Register and Activate pressed while the write is under way: a registration of the node as it was before
    // its write, or a sleep before its check, must not happen.
    session->registerNode(QString());
    session->activate();
    QCoreApplication::processEvents();
    QCOMPARE(link->requestNames(), QStringList{QStringLiteral("updateNode")});
    QCOMPARE(server.registrationsOf(kDevEui), registeredBefore);

    // The run goes on to its end by itself, registering once.
    link->finishSettingsWrite(CommandResult::Done, Node::FlagTemperature);
    link->boot(readBackWith(44));
    QTRY_COMPARE_WITH_TIMEOUT(link->requestNames().size(), 3, kServerWaitMs);
    QCOMPARE(server.registrationsOf(kDevEui), registeredBefore + 1);
    emit link->nodeSleeping();
    QCOMPARE(session->autoRun().outcome, CommissioningSession::AutoRun::Outcome::Passed);
    QVERIFY(!session->runsByItself());
}

void CommissioningSessionTest::nodeThatNeverAnswersEndsTheRunWithTheReason_data()
{
    QTest::addColumn<bool>("restarts");
    QTest::addColumn<QString>("reason");
    QTest::newRow("silent after its write") << false << QStringLiteral("The node did not start again after its write");
    QTest::newRow("sleep never confirmed") << true << QStringLiteral("The node did not confirm its sleep");
}

void CommissioningSessionTest::nodeThatNeverAnswersEndsTheRunWithTheReason()
{
    QFETCH(bool, restarts);
    QFETCH(QString, reason);
    QVERIFY(bootIntoAutomaticWrite(false));
    link->finishSettingsWrite(CommandResult::Done, Node::FlagTemperature);
    if (restarts) {
        link->boot(readBackWith(44));
        QTRY_VERIFY_WITH_TIMEOUT(link->requestNames().contains(QStringLiteral("sleepNode")), kServerWaitMs);
    }
    // Nothing more comes from the node: the station is not held on it for ever.
    QTRY_COMPARE_WITH_TIMEOUT(
        session->autoRun().outcome, CommissioningSession::AutoRun::Outcome::Failed, kServerWaitMs);
    QCOMPARE(session->autoRun().reason, reason);
    QVERIFY(!session->runsByItself());
}

void CommissioningSessionTest::runRegistersOnlyWhenTheCheckBeforeItAgrees_data()
{
    QTest::addColumn<QString>("refusal");
    QTest::newRow("another bench registered it") << QStringLiteral("Already registered at bench north on 2026-12-01");
    QTest::newRow("nobody did") << QString();
}

void CommissioningSessionTest::runRegistersOnlyWhenTheCheckBeforeItAgrees()
{
    QFETCH(QString, refusal);
    const int registeredBefore = server.registrationsOf(kDevEui);
    std::function<void(const QString &)> answer;
    QString askedFor;
    session->setRegistrationCheck([&](const Node &node, std::function<void(const QString &)> reply) {
        askedFor = node.identity();
        answer = std::move(reply);
    });
    QVERIFY(bootIntoAutomaticWrite(false));
    link->finishSettingsWrite(CommandResult::Done, Node::FlagTemperature);
    link->boot(readBackWith(44));
    // Verified: the run asks before it registers, and waits for the answer without giving up on the node.
    QTRY_VERIFY(answer);
    QCOMPARE(askedFor, kDevEui);
    QCoreApplication::processEvents();
    QCOMPARE(session->autoRun().outcome, CommissioningSession::AutoRun::Outcome::Running);
    QCOMPARE(server.registrationsOf(kDevEui), registeredBefore);

    answer(refusal);
    if (refusal.isEmpty()) {
        QTRY_COMPARE_WITH_TIMEOUT(server.registrationsOf(kDevEui), registeredBefore + 1, kServerWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(link->requestNames().contains(QStringLiteral("sleepNode")), kServerWaitMs);
    } else {
        QCOMPARE(session->autoRun().outcome, CommissioningSession::AutoRun::Outcome::Failed);
        QCOMPARE(session->autoRun().reason, refusal);
        QCoreApplication::processEvents();
        QCOMPARE(server.registrationsOf(kDevEui), registeredBefore);
        QVERIFY(!link->requestNames().contains(QStringLiteral("sleepNode")));
    }
    session->setRegistrationCheck(nullptr);
}

QTEST_GUILESS_MAIN(CommissioningSessionTest)
#include "tst_commissioningsession.moc"
