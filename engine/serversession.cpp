#include "serversession.h"

#include "commissioningjournal.h"
#include "enginelog.h"
#include "jsondeviceregister.h"
#include "loginrequest.h"
#include "registrationoutbox.h"
#include "serverclient.h"

#include <QDateTime>

namespace {
// The status a registration reports when the server gave none: no answer in time, or no connection at all.
constexpr int kNoStatus = 404;

bool isAccepted(int status)
{
    return status == 200 || status == 201;
}

// A failure that says nothing about the registration itself: the server was away, slow or overloaded.
bool isTransient(int status)
{
    return status == 0 || status == 408 || status == 429 || (status >= 500 && status <= 599);
}

bool endsLogin(int status)
{
    return !isAccepted(status) && !isTransient(status);
}

bool isAuthorisationFailure(int status)
{
    return status == 401 || status == 403;
}

ServerSession::LoginOutcome outcomeOf(const LoginResult &result)
{
    if (result.granted)
        return ServerSession::LoginOutcome::Granted;
    if (result.credentialsRefused)
        return ServerSession::LoginOutcome::CredentialsRefused;
    switch (result.reply.failure) {
    case ServerReply::Failure::TimedOut:
        return ServerSession::LoginOutcome::NoAnswer;
    case ServerReply::Failure::Unreachable:
        return ServerSession::LoginOutcome::Unreachable;
    case ServerReply::Failure::Untrusted:
        return ServerSession::LoginOutcome::Untrusted;
    default:
        break;
    }
    return ServerSession::LoginOutcome::Failed;
}
} // namespace

ServerSession::ServerSession(CommissioningJournal *journal, RegistrationOutbox *outbox, QObject *parent)
    : QObject(parent)
    , journal(journal)
    , store(outbox)
    , client(new ServerClient(this))
{
    qRegisterMetaType<ServerSession::LoginOutcome>("ServerSession::LoginOutcome");
    qRegisterMetaType<ServerSession::RegistrationReport>("ServerSession::RegistrationReport");
    connect(client, &ServerClient::loginFinished, this, &ServerSession::loginDone);
    connect(client, &ServerClient::registrationFinished, this, &ServerSession::registrationDone);
    retryTimer.setSingleShot(true);
    connect(&retryTimer, &QTimer::timeout, this, &ServerSession::sendDue);
    if (store)
        connect(store, &RegistrationOutbox::changed, this, [this] { emit waitingChanged(waitingCount()); });
}

ServerSession::~ServerSession() = default;

void ServerSession::setServerAddress(const QString &serverAddress)
{
    address = serverAddress;
    // Credentials and token belong to the server they were given for.
    logOut();
}

bool ServerSession::setCaCertificateFile(const QString &path)
{
    return client->setCaCertificateFile(path);
}

void ServerSession::setCredentials(const QString &name, const QString &password)
{
    userName = name;
    passwordDigest = LoginRequest::passwordDigest(password);
}

void ServerSession::logIn()
{
    if (loginRequest != 0)
        return;
    loggedIn = false;
    emit loginStarted();
    loginRequest = client->login(address, userName, passwordDigest);
}

void ServerSession::logOut()
{
    loggedIn = false;
    userName.clear();
    passwordDigest.clear();
}

void ServerSession::setTimeoutForTesting(int ms)
{
    client->setTimeoutForTesting(ms);
}

int ServerSession::waitingCount() const
{
    return store ? store->pendingCount() : 0;
}

void ServerSession::loginDone(quint64 id, const LoginResult &result)
{
    if (id != loginRequest)
        return;
    loginRequest = 0;
    const LoginOutcome outcome = outcomeOf(result);
    if (outcome == LoginOutcome::Granted) {
        token = result.token;
        loggedIn = true;
        emit loginFinished(outcome, QString());
        // What waited for a login goes out now, without waiting for its back-off.
        if (store)
            store->makeAllDueNow();
        sendDue();
        return;
    }
    // Without any answer the credentials are kept, so that the next attempt sends them again without asking.
    if (outcome != LoginOutcome::NoAnswer)
        logOut();
    qCInfo(lcEngine).noquote() << "ServerSession: login failed:" << result.reason;
    emit loginFinished(outcome, result.reply.errorText.isEmpty() ? result.reason : result.reply.errorText);
}

quint64 ServerSession::registerNode(const Node &node)
{
    const quint64 ticket = ++nextTicket;
    const QByteArray document = JSONdeviceRegister::documentBytes(node);
    qint64 entry = -1;
    if (store) {
        entry = store->enqueue(node.identity(), document);
        if (entry >= 0 && journal)
            journal->recordRegistrationQueued(node, entry);
    }
    qCDebug(lcEngine).noquote() << "MainWindow: register node" << node.deviceType;
    post(entry, document, ticket, node.identity(), node);
    return ticket;
}

void ServerSession::post(
    qint64 entry, const QByteArray &document, quint64 ticket, const QString &identity, const Node &node)
{
    InFlight flight;
    flight.entry = entry;
    flight.ticket = ticket;
    flight.identity = identity;
    flight.node = node;
    flight.request = client->registerDocument(address, token, document);
    inFlight.append(flight);
}

void ServerSession::registrationDone(quint64 id, const ServerReply &reply)
{
    int index = -1;
    for (int i = 0; i < inFlight.size(); ++i) {
        if (inFlight.at(i).request == id)
            index = i;
    }
    if (index < 0)
        return;
    const InFlight flight = inFlight.takeAt(index);
    const int status = reply.answered() ? reply.status : 0;
    if (store && flight.entry >= 0)
        store->recordAnswer(flight.entry, status, reply.errorText, reply.retryAfterSeconds);

    RegistrationReport report;
    report.ticket = flight.ticket;
    report.identity = flight.identity;
    report.status = status == 0 ? kNoStatus : status;
    report.accepted = isAccepted(status);
    report.kept = store && flight.entry >= 0 && !report.accepted && !endsLogin(status);
    report.refused = store && flight.entry >= 0 && endsLogin(status) && !isAuthorisationFailure(status);
    if (store && flight.entry >= 0 && isAuthorisationFailure(status))
        report.kept = true; // waits for the next login
    report.errorText = reply.errorText;
    if (journal)
        journal->recordRegistration(flight.node, report.status);

    // Without an outbox every failure ends the login; with one, only what speaks of the credentials or of the
    // document does: a server that is away or overloaded is retried with the login kept.
    if (!report.accepted && (!store || endsLogin(status)))
        logOut();
    if (flight.ticket != 0)
        emit registrationFinished(report);
    scheduleRetry();
}

void ServerSession::sendDue()
{
    if (!store || !loggedIn)
        return;
    const auto due = store->due(QDateTime::currentDateTimeUtc());
    for (const auto &entry : due) {
        bool busy = false;
        for (const InFlight &flight : qAsConst(inFlight))
            busy = busy || flight.entry == entry.id;
        if (busy)
            continue;
        Node none;
        post(entry.id, entry.document, 0, entry.identifier, none);
    }
    scheduleRetry();
}

void ServerSession::scheduleRetry()
{
    if (!store)
        return;
    const auto next = store->nextDue();
    if (!next) {
        retryTimer.stop();
        return;
    }
    const qint64 wait = qMax<qint64>(0, QDateTime::currentDateTimeUtc().msecsTo(*next));
    retryTimer.start(int(qMin<qint64>(wait, 24 * 3600 * 1000)));
}
