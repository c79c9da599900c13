#pragma once

#include "commissioningjournal.h"
#include "commissioningprofile.h"
#include "node.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <QMap>

#include <functional>
#include <memory>
#include <optional>

#include "logincoordinator.h"
#include "pacing.h"
#include "portwatch.h"
#include "serversession.h"
#include "sessionjournal.h"

class NodeLink;
enum class CommandResult : int;
enum class CommandFailure : int;

// The commissioning workflow of one serial port, without any widget: it follows a node from its boot to its
// form, holds the server login, writes, registers and puts the node to sleep. The window (or the command line)
// renders its state and forwards the operator's actions to its slots; it never decides anything itself.
//
// Nothing here waits: the link answers by signals, the server requests finish by signals, and a login the
// workflow needs is asked for by entering LoginNeeded, answered later through submitCredentials() or
// cancelLogin(). Whatever arrives meanwhile (a node booting, another node announced) is an ordinary transition.
//
// Every slot and every answer is an Event; what an event does in a state is one row of the transition table
// (engine/sessiontable.cpp): the states it applies in, a named guard, where it leads and what it does. An event
// without a row in the current state is ignored. Events an action causes (a login it asks for) are handled
// after it, each with its own row.
class CommissioningSession : public QObject
{
    Q_OBJECT
public:
    enum class State {
        WaitingForNode, // no node: "Reset Node while connected"
        Reading, // a node booted and is being read
        ConnectTimedOut, // the read did not finish within the connect time-out
        LoginNeeded, // credentials are asked for (a node waits to be shown, or a registration waits)
        LoggingIn, // the login request is on its way
        NodeShown, // the node's form is shown
        NotConfigured, // the node's communication type has no form
        Writing, // the form's settings are being written
        Registering, // the node's registration is on its way
        ApplyFailed, // the write ended: refused or not sent
        ApplyTimedOut, // the write ended: the node stopped answering
        UpdateSucceeded, // the write succeeded; the node is being reset and will be read again
        NodeSleeping, // the node confirmed it went to sleep
        FirmwareTooOld, // the node's firmware is older than the profile allows: set it aside, nothing written
        KeyMismatch, // the node's identifiers are enciphered under another key: nothing shown or written
        LoginFailed, // the login failed for a reason other than the credentials; the node read is held
        PortUnavailable, // the chosen port cannot be opened
        PortReturnAwaited, // the open port went away (a node unplugged): it is reopened once it is back
    };
    Q_ENUM(State)

    enum class Event {
        ChoosePort, // the operator chose a port
        PortOpened, // the link opened the chosen (or returned) port
        PortFailed, // a port the operator chose cannot be opened
        PortLost, // the open or watched port went away
        PortBack, // the watched port is there again: it is reopened
        BootGraceOver, // a returned port's node was not heard booting
        Boot, // a node's start-up banner: it is being read
        ReadEnded, // the link ended a read without announcing a node
        NodeRead, // the link announced a node it read
        ReadTimedOut, // the read did not finish within the connect time-out
        KeyMismatch, // the node's identifiers are enciphered under another key
        LoginAsked, // credentials must be typed in
        LoginStarted, // a login request is on its way (this port's or another's)
        LoginImpossible, // no server is configured
        Credentials, // the operator typed credentials in
        LoginCancelled, // the operator cancelled the login
        LoginGranted,
        LoginRefused, // the server refused the credentials
        LoginFailed, // the login failed for another reason
        RetryLogin, // the operator tries the login again without a reset
        ProfileChanged, // another profile came into force
        Apply, // the operator applies the form's settings
        WriteDone,
        WriteFailed,
        WriteTimedOut,
        WriteResultUnknown, // the link reported a result it has no name for: the write is over all the same
        Register, // the operator registers the shown node
        RegistrationEnded, // this port's registration got its answer
        Activate, // the operator puts the node to sleep
        SleepConfirmed, // the operator lets an unregistered node sleep
        Sleeping, // the node confirmed it went to sleep
        Reset, // the operator resets the node
        Disconnect, // the operator lets the port go
        Proceed, // a station run by its profile takes the shown node's next step by itself
    };
    Q_ENUM(Event)
    static constexpr int kEventCount = int(Event::Proceed) + 1;
    static constexpr int kStateCount = int(State::PortReturnAwaited) + 1;

    // Where a transition leads: a state, no change, or one of two decisions that depend on more than the state.
    enum class Next {
        To, // the row's state
        Stay, // no change
        Verdict, // the node presented: NodeShown, or NotConfigured / FirmwareTooOld when it is set aside
        Resume, // what the port is doing without a node on show: PortReturnAwaited, Reading, ConnectTimedOut or
                // WaitingForNode
    };
    Q_ENUM(Next)
    // One row of the transition table, as a reader (or a test) sees it.
    struct Rule
    {
        QList<State> from;
        Event event;
        QString guard; // empty: always
        Next next;
        State to; // with Next::To
        QString action; // empty: none
    };
    static QList<Rule> transitions();
    // The rows that may apply to the event in the state, in the order they are tried; empty: it is ignored.
    static QList<Rule> transitionsFor(State state, Event event);

    // Something the operator must read and acknowledge (a message box in the window).
    struct Notice
    {
        enum class Level { Information, Warning, Critical };
        Level level;
        QString title;
        QString text;
        QString detail; // informative text below the main text, if any
    };

    // A line beside the node's form: the profile's verdict on the node, or the verification of a write.
    struct NodeNote
    {
        enum class Tone { Neutral, Good, Bad };
        Tone tone = Tone::Neutral;
        QString text;
    };

    // What the profile fills into a new form: the settings selected for writing (the values are in the node
    // handed to formRequested), those the operator may not change, and each one's "profile: …, node: …".
    struct FormPreset
    {
        int flags = 0;
        int lockedFlags = 0;
        QMap<int, QString> tooltips;
    };

    // The result of checking a scanned label against the shown node.
    struct LabelResult
    {
        enum class Outcome { None, Matches, Mismatch, Unreadable };
        Outcome outcome = Outcome::None;
        QString text;
    };

    // A station run by its profile's "auto": how far the node in hand has come, and how it ended.
    struct AutoRun
    {
        enum class Outcome { Off, Running, Passed, Failed };
        Outcome outcome = Outcome::Off;
        QString reason; // why it failed
        bool written = false; // the profile's differences were written (false: there were none)
        bool verified = false; // the node matches the profile, as read or as read back after its write
        bool labelled = false; // its scanned label matches
        bool registered = false; // registered, or kept in the outbox to be sent by itself
        bool asleep = false;
        // Asked of the node or the server, once each for a node; a step asked is not asked again.
        bool writeAsked = false;
        bool registerAsked = false;
        bool sleepAsked = false;
    };

    // A question the operator must answer before an action goes ahead.
    enum class Question {
        ApplyChangesFirst, // Register or Activate with edits that were not applied: Apply, Discard or Cancel
        SleepUnregistered, // Activate on a node not registered in this session: Proceed or Cancel
    };
    Q_ENUM(Question)
    enum class Action { Register, Activate };
    Q_ENUM(Action)
    enum class Answer { Apply, Discard, Proceed, Cancel };
    Q_ENUM(Answer)

    // The session takes the link over (it becomes the link's parent) and is the only one to talk to it. The
    // server session is shared by every port's session; the journal may be null (nothing recorded).
    CommissioningSession(NodeLink *link, ServerSession *server, CommissioningJournal *journal, const Pacing &pacing,
        QObject *parent = nullptr);
    ~CommissioningSession() override; // the link goes first

    State state() const { return currentState; }
    // True in the states in which the node's form is on show.
    bool isNodeShown() const { return shownNode.has_value(); }
    // The node the form shows (the record as read), if any.
    std::optional<Node> nodeOnShow() const { return shownNode; }
    // The profile applied to every node shown (none: nodes are shown as read). Shared by every port.
    void setProfile(std::shared_ptr<const CommissioningProfile> profile);
    std::shared_ptr<const CommissioningProfile> profile() const { return activeProfile; }
    NodeNote note() const { return currentNote; }
    FormPreset preset() const { return currentPreset; }
    // True when the last write was read back and found as written (only meaningful with note() Good).
    bool lastWriteVerified() const { return verification == Verification::Verified; }
    // The node's last write did not read back as written.
    bool verificationFailed() const { return verification == Verification::Failed; }
    // The settings (update flags) the node acknowledged in the last settings write; 0 until it has ended.
    int lastWriteAcknowledged() const { return acknowledgedFlags; }

    // What Register and Activate may do now.
    bool canRegister() const;
    bool canActivate() const;
    // Why credentials are asked for: to show a node, or to register one.
    bool loginIsForRegistration() const { return login.purpose() == LoginCoordinator::Purpose::Register; }

    QString serverAddress() const { return server->serverAddress(); }
    bool isLoggedIn() const { return server->isLoggedIn(); }
    ServerSession *serverSession() const { return server; }
    QString openPort() const { return openPortName; }
    // The port that went away and is watched for (PortReturnAwaited), empty otherwise.
    QString awaitedPort() const { return portWatch.port(); }
    // True when the device behind a port name is there (a path, or a name under /dev, or one the system lists).
    static bool portPresent(const QString &portName);
    // Why the chosen port cannot be used, in the operator's words (PortUnavailable).
    QString portProblem() const { return portProblemText; }
    // What the last failed login told (LoginFailed).
    QString loginProblem() const { return login.problem(); }
    LabelResult labelResult() const { return label; }
    // The profile's automatic run of the node in hand (Outcome::Off: none, the operator drives every step).
    AutoRun autoRun() const { return run; }
    // True while the profile runs the node in hand: the operator's Register and Activate are not taken then
    // (the run registers and puts the node to sleep itself, once its write is verified).
    bool runsByItself() const { return run.outcome == AutoRun::Outcome::Running; }
    // With it (the default), a profile's "auto" runs the station; without it the caller drives every step
    // itself (the command line, which runs each node by its own options).
    void setFollowsProfileAutomation(bool follows) { followsAutomation = follows; }
    // Asked before a run by the profile registers its node (the window asks the shared database whether another
    // bench registered it): `answer` with an empty refusal registers it, with a refusal ends the run with it.
    using RegistrationCheck = std::function<void(const Node &node, std::function<void(const QString &refusal)> answer)>;
    void setRegistrationCheck(RegistrationCheck check) { registrationCheck = std::move(check); }

    // The node the link announced last (read at a boot), whether or not it was shown.
    std::optional<Node> lastNodeRead() const { return lastRead; }

    // With it (the default), a port that goes away is watched for and opened again once it is back; without it,
    // it is reported unavailable like a port that cannot be opened.
    void setWatchesReturningPort(bool watches) { watchesReturningPort = watches; }

    // With it, credentials the server refused are asked for again (LoginNeeded once more, the node read kept)
    // until the operator cancels; without it (the command line) the refusal ends the login.
    void setAsksAgainAfterRefusal(bool asks) { login.setAsksAgainAfterRefusal(asks); }
    // True while credentials are asked for again because the server refused the last ones.
    bool credentialsWereRefused() const { return currentState == State::LoginNeeded && login.isAskingAgain(); }

public slots:
    // Operator actions.
    void choosePort(const QString &portName);
    void submitCredentials(const QString &userName, const QString &password);
    void cancelLogin();
    void applySettings(Node node, int flags);
    void registerNode(const QString &lockDescription);
    void activate();
    void disconnectNode();
    // Drops what the link is doing and resets the node, so that it is read afresh.
    void resetNode();
    // The form allows or forbids Register and Activate (a SigFox 5D form whose settings were edited).
    void allowRegisterAndActivate(bool allowed);
    // The form has edits that were not applied (Register and Activate ask first).
    void setUnappliedEdits(bool unapplied);
    // A label scanned for the shown node; empty text clears the check.
    void checkLabel(const QString &text);
    void answerQuestion(CommissioningSession::Question question, CommissioningSession::Action action,
        CommissioningSession::Answer answer);
    // Writes what the profile sets differently on the shown node, as the form's Apply would after the profile
    // filled it in; returns the flags written (0: the node already matches, or no profile entry for its type).
    int applyProfileDifferences();
    // Tries the login again for a node held after a failed login (or just logs in), without a reset.
    void retryLogin();
    // The configure path: read the node's version, then write a device id or SigFox data.
    void readVersion();
    void setDeviceId(const QString &id);
    void setSigfoxData(const QString &data);

    // What the link reports; connected to the link, and callable directly by tests.
    void linkBusy(bool busy);
    void nodeConnected(Node node);
    void commandResult(CommandResult result, CommandFailure failure);
    void nodeSleeping();
    void nodeKeyMismatch();
    // The connect timer's end; callable directly by tests.
    void connectTimedOut();
    void loginStarted();

signals:
    void stateChanged(CommissioningSession::State state);
    // A new form is to be shown for this node (replacing any earlier one), or the form is to go.
    void formRequested(Node node);
    void formDismissed();
    // Register/Activate availability changed.
    void actionsChanged();
    void notice(CommissioningSession::Notice notice);
    void noteChanged(CommissioningSession::NodeNote note);
    void labelChecked(CommissioningSession::LabelResult result);
    void questionAsked(CommissioningSession::Question question, CommissioningSession::Action action);
    // The operator chose to apply the form's edits first: the window presses the form's Apply.
    void applyRequested();
    // The operator's registration of the shown node ended (success, failure, or kept in the outbox).
    void registrationReported(ServerSession::RegistrationReport report);
    // The journal (or another record) could not be written; commissioning goes on.
    void recordingFailed(QString problem);
    // The link finished a version read for the configure path.
    void identityRequested(Node::eFirmwareType type);
    void portOpened(QString portName);
    void portFailed(QString portName, QString reason);
    // The automatic run of the node in hand took a step, passed or failed.
    void autoRunChanged(CommissioningSession::AutoRun run);

private:
    using Guard = bool (CommissioningSession::*)() const;
    using Step = void (CommissioningSession::*)();
    struct Transition
    {
        quint32 from; // a set of states, one bit each
        Event event;
        const char *guardName;
        Guard guard; // null: always
        Next next;
        State to;
        const char *actionName;
        Step action; // null: none
    };
    static const Transition kTable[];
    static const int kTableSize;
    static Rule describe(const Transition &row);

    // An event with what came with it.
    struct Occurrence
    {
        Occurrence(Event event = Event::Boot, const QString &name = QString(), const QString &text = QString())
            : event(event)
            , name(name)
            , text(text)
        {
        }
        Event event;
        Node node;
        QString name; // a port's name, a user name, a lock description
        QString text; // a port's problem, a password
        ServerSession::LoginOutcome outcome = ServerSession::LoginOutcome::Failed;
        QString detail;
        ServerSession::RegistrationReport report;
        int flags = 0;
        CommandFailure failure{};
    };
    // Handles the event by its first row whose guard holds; one caused meanwhile is handled after it.
    void fire(const Occurrence &occurrence);
    void fire(Event event) { fire(Occurrence{event}); }
    const Transition *rowFor(State state, Event event) const;

    enum class Verification { None, Pending, Verified, Failed };
    enum class ReadProgress { None, Reading, TimedOut };

    // Guards.
    bool loggedIn() const { return server->isLoggedIn(); }
    bool loginWanted() const { return login.isWanted(); }
    bool loginForRegistration() const { return loginIsForRegistration(); }
    bool loginForRegistrationWithNodeShown() const { return loginIsForRegistration() && shownNode; }
    bool nodeHeldForLogin() const { return login.isWanted() && login.holdsNode(); }
    bool nodeHeld() const { return login.holdsNode(); }
    bool nodeHeldAndLoggedIn() const { return login.holdsNode() && server->isLoggedIn(); }
    bool refusalAskedAgain() const { return login.asksAgainAfter(LoginCoordinator::End::Refused); }
    bool failureKeepsNode() const { return login.keepsNodeAfter(LoginCoordinator::End::Failed); }
    bool nodeShown() const { return shownNode.has_value(); }
    bool portOpen() const { return !openPortName.isEmpty(); }
    bool settingsSelected() const;
    bool standaloneLoginPossible() const { return !server->isLoggedIn() && !login.isWanted() && !shownNode; }
    bool registerAsksFirst() const { return canRegister() && unappliedEdits; }
    bool registerReady() const { return canRegister() && server->isLoggedIn(); }
    bool activateAsksFirst() const { return canActivate() && unappliedEdits; }
    bool activateAsksUnregistered() const { return canActivate() && !registrationDone && !registrationWaiting; }
    bool autoStopDue() const { return !autoStopReason().isEmpty(); }
    bool autoWriteDue() const;
    bool autoRegisterDue() const;
    bool autoSleepDue() const;
    bool autoPassDue() const;
    bool autoSleepAsked() const { return run.outcome == AutoRun::Outcome::Running && run.sleepAsked; }

    // Actions.
    void openChosenPort();
    void takeOpenedPort();
    void markPortUnavailable();
    void watchLostPort();
    void reopenPort();
    void resetUnheardNode();
    void startReading();
    void dropHeldAndStartReading();
    void endRead();
    void noteReadTimedOut();
    void holdRead();
    void presentRead();
    void holdReadAndLogIn();
    void setAsideMismatch();
    void sendCredentials();
    void askAgain();
    void endLogin();
    void grantLogin();
    void registerAfterGrant();
    void presentHeldAfterGrant();
    void logInForHeld();
    void logInStandalone();
    void representShown();
    void write();
    void endWrite();
    void endWriteAndReset();
    void askApplyFirstForRegister();
    void registerNow();
    void registerAfterLogin();
    void reportRegistration();
    void reportAndPresentHeld();
    void reportAndLogInForHeld();
    void askApplyFirstForActivate();
    void askSleepUnregistered();
    void sleep();
    void recordSleep();
    void resetAndRead();
    void letPortGo();
    void stopAutoRun();
    void applyByProfile();
    void registerByProfile();
    void sleepByProfile();
    void passAutoRun();
    void recordSleepAndPass();

    // Helpers of the actions.
    void takeRead();
    void askLogin(LoginCoordinator::Purpose purpose);
    void prepareRegistration();
    void startRegistration();
    void report(const ServerSession::RegistrationReport &report);
    // The node that Next::Verdict presents, and the presentation: the state it leads to.
    State present(const Node &node);
    State resumedState() const;

    // Why the automatic run must stop on the shown node now; empty while it may go on.
    QString autoStopReason() const;
    // The automatic run fails with the reason; nothing after the failed step is done.
    void failAutoRun(const QString &reason);
    void setAutoRun(const AutoRun &changed);
    // True when the profile runs this node: it says "auto" and has an entry for the node's type.
    bool runsByProfile(const Node &node) const;
    static AutoRun startedRun(bool on);
    // Why entering the state fails a running run; empty: it does not.
    QString stateFailure(State state) const;

    void setState(State state);
    bool nodeMayLeave() const;
    void setNote(NodeNote::Tone tone, const QString &text);
    // Compares the node as read again with the write that preceded the reset; true when nothing was pending.
    void verifyAgainstLastWrite(const Node &node);
    void clearNode();
    void raise(Notice::Level level, const QString &title, const QString &text, const QString &detail = QString());
    void linkPortFailed(const QString &name, const QString &reason);
    void linkPortOpened(const QString &name);
    void loginFinished(ServerSession::LoginOutcome outcome, const QString &detail);
    void registrationFinished(const ServerSession::RegistrationReport &report);

    ServerSession *server;
    SessionJournal records;
    LoginCoordinator login;
    NodeLink *nodeLink = nullptr;
    QTimer connectTimer;
    const int connectTimeoutMs;
    // A run by the profile waits for the node to start again after its write, or to confirm its sleep; a node
    // that never does ends the run with the reason instead of holding the station for ever.
    QTimer runWatch;
    QString runWatchReason;
    const int restartAfterWriteMs;
    const int sleepConfirmMs;
    void watchRun(int ms, const QString &reason);

    State currentState = State::WaitingForNode;
    Occurrence now; // the event handled
    QList<Occurrence> queued;
    bool dispatching = false;
    std::optional<Node> candidate; // the node Next::Verdict presents
    std::optional<Node> shownNode; // the node whose form is on show
    std::optional<Node> lastRead; // the node the link announced last
    ReadProgress read = ReadProgress::None; // the link's read of a booting node
    bool registerAllowed = false;
    bool activateAllowed = false;
    bool registrationDone = false; // the shown node was registered in this session
    bool registrationWaiting = false; // the shown node's registration waits in the outbox
    bool unappliedEdits = false;
    int acknowledgedFlags = 0;
    QString pendingDescription; // the lock description of a Register that waits for an answer
    LabelResult label;
    // The label text scanned for the node in hand, checked again against the node as read back after the run's
    // own write: its JoinEUI may be what the write changed.
    QString scannedLabel;
    // Set while the run itself registers the node or puts it to sleep.
    bool takingRunStep = false;
    RegistrationCheck registrationCheck;
    // A run's registration waits for the check's answer.
    bool registrationCheckOut = false;
    QString portProblemText;
    AutoRun run;
    bool followsAutomation = true;

    Node registrationNode;
    quint64 registrationTicket = 0;

    std::shared_ptr<const CommissioningProfile> activeProfile;
    FormPreset currentPreset;
    NodeNote currentNote;
    Verification verification = Verification::None;
    struct WrittenSettings
    {
        Node node;
        int flags;
    };
    // The last write and the node it went to, kept until the node has been read back after its reset.
    std::optional<WrittenSettings> lastWrite;
    // The lock description typed for a node, kept while that node is reset and read again.
    QString describedIdentity;
    QString describedText;

    QString openPortName;
    PortWatch portWatch; // the port that went away, until it is back or another choice is made
    bool watchesReturningPort = true;
    // The port was closed or replaced: what the link reports is stale until it says a port opened.
    bool linkReportsStale = false;
};

Q_DECLARE_METATYPE(CommissioningSession::Notice)
Q_DECLARE_METATYPE(CommissioningSession::NodeNote)
Q_DECLARE_METATYPE(CommissioningSession::LabelResult)
Q_DECLARE_METATYPE(CommissioningSession::AutoRun)
