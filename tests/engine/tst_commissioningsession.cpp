// The commissioning workflow without a window: a simulated node on a pseudo-terminal, the local registration
// server, and the session's own signals. Each test follows the transitions an operator would cause.
#include "commissioningjournal.h"
#include "commissioningsession.h"
#include "nodeinterface.h"
#include "nodesimulator.h"
#include "testserverprocess.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using State = CommissioningSession::State;

Q_DECLARE_METATYPE(SimNodeProfile)

namespace {
// A node's whole start-up read with its fixed pauses, on a machine busy with other tests.
constexpr int kReadWaitMs = 45000;

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

private:
    bool plugIn(const SimNodeProfile &profile);
    bool bootAndLogIn();

    TestServerProcess server;
    QTemporaryDir dir;
    std::unique_ptr<NodeSimulator> node;
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
}

void CommissioningSessionTest::cleanup()
{
    recorder.reset();
    session.reset();
    serverSession.reset();
    node.reset();
    journal.reset();
}

bool CommissioningSessionTest::plugIn(const SimNodeProfile &profile)
{
    node = std::make_unique<NodeSimulator>(profile);
    const QString path = dir.filePath(QStringLiteral("ttyNODE"));
    if (!node->start(path))
        return false;
    // A journal of this test's own.
    journal = std::make_unique<CommissioningJournal>(
        dir.filePath(QString::fromLatin1(QTest::currentTestFunction()) + QStringLiteral(".jsonl")));
    serverSession = std::make_unique<ServerSession>(journal.get(), nullptr);
    serverSession->setServerAddress(server.baseUrl());
    session = std::make_unique<CommissioningSession>(serverSession.get(), journal.get(), Pacing());
    recorder = std::make_unique<SessionRecorder>(session.get());
    QSignalSpy opened(session.get(), &CommissioningSession::portOpened);
    session->choosePort(path);
    return opened.wait(10000);
}

bool CommissioningSessionTest::bootAndLogIn()
{
    node->boot();
    if (!QTest::qWaitFor([this] { return session->state() == State::LoginNeeded; }, kReadWaitMs))
        return false;
    session->submitCredentials(QLatin1String(TestServerProcess::kUser), QLatin1String(TestServerProcess::kPassword));
    return QTest::qWaitFor([this] { return session->state() == State::NodeShown; }, 10000);
}

void CommissioningSessionTest::nodeIsReadAskedALoginForAndShown()
{
    QVERIFY(plugIn(SimNodeProfile::forType(Node::LoRaOTAA)));
    QVERIFY(bootAndLogIn());

    QCOMPARE(recorder->states, (QList<State>{State::Reading, State::LoginNeeded, State::LoggingIn, State::NodeShown}));
    QCOMPARE(recorder->forms.size(), 1);
    QCOMPARE(recorder->forms.first().identity(), QStringLiteral("70B3D57ED0000A01"));
    QVERIFY(session->canRegister());
    QVERIFY(session->canActivate());
    QVERIFY(recorder->notices.isEmpty());

    // With the login held, the next boot is shown without asking and without contacting the server.
    recorder->states.clear();
    node->boot();
    QTRY_COMPARE_WITH_TIMEOUT(recorder->forms.size(), 2, kReadWaitMs);
    QCOMPARE(recorder->states, (QList<State>{State::Reading, State::NodeShown}));
}

void CommissioningSessionTest::nodeAnnouncedDuringTheLoginIsShownAfterTheAnswer()
{
    QVERIFY(plugIn(SimNodeProfile::forType(Node::LoRaOTAA)));
    node->boot();
    QTRY_COMPARE_WITH_TIMEOUT(session->state(), State::LoginNeeded, kReadWaitMs);

    // Another node is announced while the operator is still typing: it is held, not prompted for again.
    Node second = session->link()->nodeRecord();
    second.euid = QStringLiteral("70B3D57ED0000B02");
    session->nodeConnected(second);
    QCOMPARE(session->state(), State::LoginNeeded);
    QCOMPARE(recorder->count(State::LoginNeeded), 1);

    session->submitCredentials(QLatin1String(TestServerProcess::kUser), QLatin1String(TestServerProcess::kPassword));
    QTRY_COMPARE_WITH_TIMEOUT(session->state(), State::NodeShown, 10000);
    QCOMPARE(recorder->forms.size(), 1);
    QCOMPARE(recorder->forms.first().identity(), QStringLiteral("70B3D57ED0000B02"));
}

void CommissioningSessionTest::cancelledLoginIsReportedOnceEvenWithANodeHeld()
{
    QVERIFY(plugIn(SimNodeProfile::forType(Node::SigFox)));
    node->boot();
    QTRY_COMPARE_WITH_TIMEOUT(session->state(), State::LoginNeeded, kReadWaitMs);
    session->nodeConnected(session->link()->nodeRecord());

    session->cancelLogin();
    QCOMPARE(session->state(), State::WaitingForNode);
    QCOMPARE(recorder->notices, QStringList{QStringLiteral("You need to log in")});
    // The held node does not bring the prompt back.
    QTest::qWait(200);
    QCOMPARE(recorder->count(State::LoginNeeded), 1);
    QVERIFY(recorder->forms.isEmpty());
    QVERIFY(!session->isLoggedIn());
}

void CommissioningSessionTest::noServerConfiguredIsAllThatIsSaid()
{
    QVERIFY(plugIn(SimNodeProfile::forType(Node::Pellimar)));
    serverSession->setServerAddress(QStringLiteral("http://"));
    node->boot();
    QTRY_COMPARE_WITH_TIMEOUT(recorder->notices.size(), 1, kReadWaitMs);
    QCOMPARE(session->state(), State::WaitingForNode);
    // No request went out: nothing may say that credentials were refused, or ask for them.
    QCOMPARE(recorder->notices, QStringList{QStringLiteral("Please configure the ORVA server")});
    QCOMPARE(recorder->count(State::LoginNeeded), 0);
}

void CommissioningSessionTest::appliedSettingsAreWrittenAndTheNodeReadAgain()
{
    QVERIFY(plugIn(SimNodeProfile::forType(Node::LoRaOTAA)));
    QVERIFY(bootAndLogIn());
    recorder->states.clear();

    Node edited = *session->nodeOnShow();
    edited.thresholds.temperatureHigh = 44;
    session->applySettings(edited, Node::FlagTemperature);
    QCOMPARE(session->state(), State::Writing);
    QTRY_COMPARE_WITH_TIMEOUT(recorder->forms.size(), 2, kReadWaitMs);

    QCOMPARE(
        recorder->states, (QList<State>{State::Writing, State::UpdateSucceeded, State::Reading, State::NodeShown}));
    QCOMPARE(node->profile().temperatureHigh, 44);
    QCOMPARE(recorder->forms.last().thresholds.temperatureHigh, 44.0f);

    QStringList events;
    for (const QJsonObject &entry : journal->entries())
        events << entry.value(QStringLiteral("event")).toString();
    QCOMPARE(events,
        (QStringList{QStringLiteral("nodeRead"), QStringLiteral("settingsWritten"), QStringLiteral("nodeRead"),
            QStringLiteral("verified")}));
    QVERIFY(session->lastWriteVerified());
    QCOMPARE(session->note().text, QStringLiteral("Verified"));
}

void CommissioningSessionTest::failedRegistrationEndsTheLoginAndAllowsAnotherTry()
{
    QVERIFY(plugIn(SimNodeProfile::forType(Node::Pellimar)));
    QVERIFY(bootAndLogIn());
    QVERIFY(server.setFault(QStringLiteral("device"), QStringLiteral("status"), {{QStringLiteral("status"), 500}}));

    session->registerNode(QStringLiteral("Door 7"));
    QCOMPARE(session->state(), State::Registering);
    QVERIFY(!session->canRegister());
    QTRY_COMPARE_WITH_TIMEOUT(recorder->notices.size(), 1, 35000);
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
    QTRY_COMPARE_WITH_TIMEOUT(recorder->notices.size(), 2, 35000);
    QCOMPARE(recorder->notices.last(), QStringLiteral("Node added successfully"));
    QVERIFY(!session->canRegister());
    const QJsonArray devices = QJsonDocument::fromJson(server.devices()).array();
    QCOMPARE(devices.size(), 1);
    QCOMPARE(
        devices.first().toObject().value(QStringLiteral("document")).toObject().value(QStringLiteral("DeviceName")),
        QJsonValue(QStringLiteral("Door 7")));
}

void CommissioningSessionTest::nodeBootingRightAfterItsSleepIsRead()
{
    QVERIFY(plugIn(SimNodeProfile::forType(Node::LoRaOTAA5D)));
    QVERIFY(bootAndLogIn());

    // Not registered: the operator is asked first, and answers that it may sleep all the same.
    QSignalSpy asked(session.get(), &CommissioningSession::questionAsked);
    session->activate();
    QCOMPARE(asked.size(), 1);
    QCOMPARE(
        asked.first().at(0).value<CommissioningSession::Question>(), CommissioningSession::Question::SleepUnregistered);
    QVERIFY(!node->isSleeping());
    session->answerQuestion(CommissioningSession::Question::SleepUnregistered, CommissioningSession::Action::Activate,
        CommissioningSession::Answer::Proceed);
    QTRY_COMPARE_WITH_TIMEOUT(session->state(), State::NodeSleeping, 15000);
    // The next node is plugged in at once: its boot follows the sleep confirmation within a second.
    node->boot();
    QTRY_COMPARE_WITH_TIMEOUT(recorder->forms.size(), 2, kReadWaitMs);
    QCOMPARE(session->state(), State::NodeShown);
}

void CommissioningSessionTest::nodeWithoutIdentityIsNeverShownOrRegistered_data()
{
    QTest::addColumn<SimNodeProfile>("profile");

    SimNodeProfile unconfigured = SimNodeProfile::forType(Node::Pellimar);
    unconfigured.configured = false;
    QTest::newRow("configuration read back as zeros") << unconfigured;
    SimNodeProfile erased = SimNodeProfile::forType(Node::LoRaOTAA5D);
    erased.devEui = QStringLiteral("FFFFFFFFFFFFFFFF");
    QTest::newRow("DevEUI all F") << erased;
    SimNodeProfile sigfox = SimNodeProfile::forType(Node::SigFox);
    sigfox.sigfoxId = QStringLiteral("00000000");
    QTest::newRow("SigFox ID all zeros") << sigfox;
}

void CommissioningSessionTest::nodeWithoutIdentityIsNeverShownOrRegistered()
{
    QFETCH(SimNodeProfile, profile);
    QVERIFY(plugIn(profile));
    const QByteArray devicesBefore = server.devices();
    node->boot();
    QTRY_COMPARE_WITH_TIMEOUT(session->state(), State::LoginNeeded, kReadWaitMs);
    session->submitCredentials(QLatin1String(TestServerProcess::kUser), QLatin1String(TestServerProcess::kPassword));
    QTRY_COMPARE_WITH_TIMEOUT(session->state(), State::NotConfigured, 10000);
    QVERIFY(recorder->forms.isEmpty());
    QVERIFY(!session->canRegister());
    QVERIFY(!session->canActivate());

    session->registerNode(QStringLiteral("Door 1"));
    session->activate();
    QCOMPARE(session->state(), State::NotConfigured);
    QCOMPARE(server.devices(), devicesBefore);

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

    // The simulated LoRa OTAA node: JoinEUI 0004A30B001C0A00, DevEUI 70B3D57ED0000A01.
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
    QVERIFY(plugIn(SimNodeProfile::forType(Node::LoRaOTAA)));
    QVERIFY(bootAndLogIn());
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

QTEST_GUILESS_MAIN(CommissioningSessionTest)
#include "tst_commissioningsession.moc"
