#pragma once

#include "commissioningjournal.h"
#include "commissioningprofile.h"
#include "node.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <QMap>

#include <memory>
#include <optional>

#include "serversession.h"

class NodeInterface;
enum class CommandResult : int;
enum class CommandFailure : int;

// The commissioning workflow of one serial port, without any widget: it follows a node from its boot to its
// form, holds the server login, writes, registers and puts the node to sleep. The window (or the command line)
// renders its state and forwards the operator's actions to its slots; it never decides anything itself.
//
// Nothing here waits: the link answers by signals, the server requests finish by signals, and a login the
// workflow needs is asked for by entering LoginNeeded, answered later through submitCredentials() or
// cancelLogin(). Whatever arrives meanwhile (a node booting, another node announced) is an ordinary transition.
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

    // The server session is shared by every port's session; the journal may be null (nothing recorded). The
    // pacing gives the link's pauses, the connect time-out (a booting node's banner to its complete
    // configuration), how often a port that went away is looked for, and how long a returned port may stay
    // silent before its node is reset (a node plugged in boots at once, mostly before its port is back).
    CommissioningSession(
        ServerSession *server, CommissioningJournal *journal, const Pacing &pacing, QObject *parent = nullptr);
    ~CommissioningSession() override; // stops the link thread

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
    // The settings (update flags) the node acknowledged in the last settings write; 0 until it has ended.
    int lastWriteAcknowledged() const { return acknowledgedFlags; }

    // What Register and Activate may do now.
    bool canRegister() const;
    bool canActivate() const;
    // Why credentials are asked for: to show a node, or to register one.
    bool loginIsForRegistration() const { return loginPurpose == LoginPurpose::Register; }

    QString serverAddress() const { return server->serverAddress(); }
    bool isLoggedIn() const { return server->isLoggedIn(); }
    ServerSession *serverSession() const { return server; }
    QString openPort() const { return openPortName; }
    // The port that went away and is watched for (PortReturnAwaited), empty otherwise.
    QString awaitedPort() const { return watchedPort; }
    // True when the device behind a port name is there (a path, or a name under /dev, or one the system lists).
    static bool portPresent(const QString &portName);
    // Why the chosen port cannot be used, in the operator's words (PortUnavailable).
    QString portProblem() const { return portProblemText; }
    // What the last failed login told (LoginFailed).
    QString loginProblem() const { return loginProblemText; }
    LabelResult labelResult() const { return label; }

    NodeInterface *link() const { return nodeLink; }

    // With it (the default), a port that goes away is watched for and opened again once it is back; without it,
    // it is reported unavailable like a port that cannot be opened.
    void setWatchesReturningPort(bool watches) { watchesReturningPort = watches; }

    // With it, credentials the server refused are asked for again (LoginNeeded once more, the node read kept)
    // until the operator cancels; without it (the command line) the refusal ends the login.
    void setAsksAgainAfterRefusal(bool asks) { asksAgainAfterRefusal = asks; }
    // True while credentials are asked for again because the server refused the last ones.
    bool credentialsWereRefused() const { return currentState == State::LoginNeeded && askingAgain; }

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

private:
    enum class LoginPurpose { None, ShowNode, Register, Standalone };
    enum class PendingWriteKind { Settings, DeviceId, SigfoxData };
    struct PendingWrite
    {
        PendingWriteKind kind;
        Node node;
        int flags;
    };

    enum class Verification { None, Pending, Verified, Failed };

    void setState(State state);
    void checkJournal();
    bool nodeMayLeave() const;
    QString journalKeyFingerprint() const;
    void setNote(NodeNote::Tone tone, const QString &text);
    // Compares the node as read again with the write that preceded the reset; true when nothing was pending.
    void verifyAgainstLastWrite(const Node &node);
    void showNode(const Node &node);
    void clearNode();
    void raise(Notice::Level level, const QString &title, const QString &text, const QString &detail = QString());

    // Login: uses the one held, waits for one on its way, starts one with held credentials, or asks for them.
    void needLogin(LoginPurpose purpose);
    void loginStarted();
    void loginFinished(ServerSession::LoginOutcome outcome, const QString &detail);
    // How a login ended without being held.
    enum class LoginEnd { Cancelled, NotConfigured, Failed };
    void loginRefusedOrAbandoned(LoginEnd end,
        ServerSession::LoginOutcome outcome = ServerSession::LoginOutcome::Failed, const QString &detail = QString());
    static QString describeLoginFailure(ServerSession::LoginOutcome outcome, const QString &detail);
    void linkPortFailed(const QString &name, const QString &reason);
    void linkPortOpened(const QString &name);
    // Watching for a port that went away, and reopening it (with a reset, so the node's boot is heard) once back.
    void watchForPort(const QString &name);
    void stopWatchingPort();
    void checkWatchedPort();
    void doRegister(const QString &lockDescription);
    void doActivate();
    // Where the view goes when no node is to be shown: the read in progress, its time-out, or waiting.
    State idleState() const;
    void proceedAfterLogin();

    void startRegistration();
    void registrationFinished(const ServerSession::RegistrationReport &report);

    ServerSession *server;
    CommissioningJournal *journal;
    NodeInterface *nodeLink = nullptr;
    QTimer connectTimer;
    const int connectTimeoutMs;

    State currentState = State::WaitingForNode;
    std::optional<Node> shownNode; // the node whose form is on show
    std::optional<Node> waitingNode; // a node announced while a login was needed; shown once it is held
    bool registerAllowed = false;
    bool activateAllowed = false;
    bool registrationDone = false; // the shown node was registered in this session
    bool registrationWaiting = false; // the shown node's registration waits in the outbox
    bool unappliedEdits = false;
    int acknowledgedFlags = 0;
    QString pendingDescription; // the lock description of a Register that waits for an answer
    LabelResult label;
    QString portProblemText;
    QString loginProblemText;
    bool journalProblemReported = false;

    LoginPurpose loginPurpose = LoginPurpose::None;
    bool asksAgainAfterRefusal = false;
    bool askingAgain = false; // LoginNeeded was entered again after the server refused the credentials
    Node registrationNode;
    quint64 registrationTicket = 0;

    std::shared_ptr<const CommissioningProfile> activeProfile;
    FormPreset currentPreset;
    NodeNote currentNote;
    Verification verification = Verification::None;
    // The last write and the node it went to, kept until the node has been read back after its reset.
    std::optional<PendingWrite> lastWrite;
    // The lock description typed for a node, kept while that node is reset and read again.
    QString describedIdentity;
    QString describedText;

    bool readingNode = false; // the link is reading a booting node
    bool readTimedOut = false; // that read did not finish in time while a login was being settled

    QString openPortName;
    QTimer portWatch;
    QTimer returnedPortReset;
    QString watchedPort; // the port that went away, until it is back or another choice is made
    bool reopenPending = false; // the watched port was handed to the link; its answer is awaited
    bool watchesReturningPort = true;
    // The port was closed or replaced: what the link reports is stale until it says a port opened.
    bool linkReportsStale = false;
    QList<PendingWrite> pendingWrites; // the link answers writes in the order they were asked for
};

Q_DECLARE_METATYPE(CommissioningSession::Notice)
Q_DECLARE_METATYPE(CommissioningSession::NodeNote)
Q_DECLARE_METATYPE(CommissioningSession::LabelResult)
