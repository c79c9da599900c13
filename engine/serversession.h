#pragma once

#include "node.h"
#include "pacing.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QString>
#include <QTimer>

class CommissioningJournal;
class RegistrationOutbox;
class ServerClient;
struct LoginResult;
struct ServerReply;

// The registration server as every commissioning session of the tool shares it: the server address, the
// operator's credentials (user name and password digest, never the password), the login token, and the
// outbox through which every registration goes. One login serves all ports; a registration is stored before
// it is posted and leaves the outbox only when the server accepted it, so nothing is lost to a server that is
// down or slow.
class ServerSession : public QObject
{
    Q_OBJECT
public:
    // "http://" is 7 characters, so an address must be longer than the bare scheme to count as configured.
    static constexpr int kMinServerAddressLength = 8;

    // How a login ended.
    enum class LoginOutcome {
        Granted,
        CredentialsRefused, // the server answered and did not accept the user name and password
        NoAnswer, // no answer within the reply window
        Unreachable, // no connection to the server
        Untrusted, // the server's certificate is not trusted
        Failed, // any other failure of the request (cut off, oversized)
    };
    Q_ENUM(LoginOutcome)

    // How one registration attempt ended, as the operator needs to know it.
    struct RegistrationReport
    {
        quint64 ticket = 0; // what registerNode() returned
        QString identity;
        int status = 0; // the HTTP status shown to the operator (404 when the server gave none)
        QString failure; // why there was no HTTP status (see failureName()); empty when there was one
        bool accepted = false; // 200 or 201
        bool kept = false; // not accepted, but kept in the outbox and sent again later
        bool refused = false; // not accepted and not retried (kept, shown)
        QString errorText;
    };

    // What is stored when a registration attempt got no HTTP status: the reply window ran out ("timeout"), no
    // connection could be made ("connectionRefused"), the TLS handshake failed ("tlsError"), or the connection
    // ended without an answer ("noAnswer"). Empty for a reply with a status.
    static QString failureName(const ServerReply &reply);

    // Server requests time out, and registrations the server did not take are retried, as the pacing says; the
    // first form runs on the protocol's own pacing.
    ServerSession(CommissioningJournal *journal, RegistrationOutbox *outbox, QObject *parent = nullptr);
    ServerSession(
        CommissioningJournal *journal, RegistrationOutbox *outbox, const Pacing &pacing, QObject *parent = nullptr);
    ~ServerSession() override;

    QString serverAddress() const { return address; }
    void setServerAddress(const QString &serverAddress);
    // A server address as the operator typed it, made usable: trimmed, without controls, and "http://" put in
    // front unless it starts with "http://" or "https://" in any letter case (whose scheme is then written in
    // lower case). Both the window and the command line store what this returns.
    static QString normalisedAddress(const QString &typed);
    // Why a normalised address cannot serve as the registration server (another scheme such as ftp://, a user
    // name or password inside it, no host, a port out of range); empty when it can, or when it is empty.
    static QString addressProblem(const QString &normalised);
    // True for an address whose requests travel unencrypted (plain http): the password digest, the token and
    // the nodes' application keys can be read on the way.
    static bool isUnencrypted(const QString &address);
    bool isConfigured() const { return address.size() >= kMinServerAddressLength; }
    // A PEM file of certificates trusted in addition to the system's; false, with the reason in `*error` when
    // given, when it cannot be used.
    bool setCaCertificateFile(const QString &path, QString *error = nullptr);

    bool isLoggedIn() const { return loggedIn; }
    bool hasCredentials() const { return !userName.isEmpty() && !passwordDigest.isEmpty(); }
    bool isLoggingIn() const { return loginRequest != 0; }
    void setCredentials(const QString &name, const QString &password);
    // Starts a login with the held credentials; a login already on its way is not started twice.
    void logIn();
    // Ends the login and forgets the credentials, so that the next login asks for them.
    void logOut();

    // Stores the node's registration in the outbox and posts it (at once when logged in, else after the next
    // login). Returns a ticket that registrationFinished reports.
    quint64 registerNode(const Node &node);
    // Registrations stored but not yet accepted by the server.
    int waitingCount() const;
    // No registration on the wire or waiting for its turn (later retries of the outbox may still be due).
    bool isIdle() const { return current.request == 0 && queue.isEmpty() && loginRequest == 0; }
    RegistrationOutbox *outbox() const { return store; }
    // Registrations are waiting and only a login can send them.
    bool waitsForLogin() const { return !loggedIn && waitingCount() > 0; }
    // Sends nothing more, drops the registrations in line (they stay in the outbox) and ends the watch on the
    // outbox; the one on the wire, if any, is still answered.
    void stop();
    // What the outbox does not hold as it happened: registrations on the wire, answers it could not record.
    // One line each, naming the node.
    QStringList unrecorded() const;

signals:
    void loginStarted();
    void loginFinished(ServerSession::LoginOutcome outcome, QString detail);
    void registrationFinished(ServerSession::RegistrationReport report);
    void waitingChanged(int count);
    // The outbox could not be updated: said once until it can be again. Entries are then held back in memory.
    void storageProblem(QString text);
    // The last registration on the wire or in line was answered.
    void becameIdle();

private:
    // A registration on its way or waiting for its turn.
    struct Outgoing
    {
        quint64 request = 0; // the client's request id while it is on the wire
        qint64 entry = -1; // its outbox entry (-1 without an outbox)
        quint64 ticket = 0; // the operator's registration it answers (0: a retry from the outbox)
        QString identity;
        bool sigfox = false;
        QByteArray document;
        int attempts = 0; // attempts before this one
    };

    // An entry the outbox could not update: held back in memory, at the outbox's own back-off.
    struct Held
    {
        QString identity;
        int steps = 0; // back-off steps taken in memory
        int attempts = 0; // attempts made, also those whose answer the outbox did not take
        QDateTime notBefore; // UTC
        bool delivered = false; // the server accepted it; only its removal from the outbox is missing
        int status = 0;
        QString failure;
    };

    void loginDone(quint64 id, const LoginResult &result);
    void registrationDone(quint64 id, const ServerReply &reply);
    void sendNext();
    void sendDue();
    void scheduleRetry();
    void watchOutbox();
    // Holds the entry back after the outbox failed to claim it or to record its answer.
    void hold(const Outgoing &outgoing, bool delivered, int status, const QString &failure);
    void storageFailed();
    void storageWorks();
    bool inFlight(qint64 entry) const;
    void reportNotSent(const Outgoing &outgoing, const QString &why);

    const Pacing pacing;
    CommissioningJournal *journal;
    RegistrationOutbox *store;
    ServerClient *client;
    QTimer retryTimer;
    QTimer watchTimer;
    QHash<qint64, Held> held;
    bool storageTrouble = false;
    bool stopped = false;

    QString address;
    QString userName;
    QString passwordDigest;
    QByteArray token;
    bool loggedIn = false;
    quint64 loginRequest = 0;
    quint64 nextTicket = 0;
    Outgoing current;
    QList<Outgoing> queue;
};

Q_DECLARE_METATYPE(ServerSession::RegistrationReport)
