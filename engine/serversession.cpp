#include "serversession.h"

#include "commissioningjournal.h"
#include "enginelog.h"
#include "jsondeviceregister.h"
#include "loginrequest.h"
#include "operatortext.h"
#include "registrationoutbox.h"
#include "serverclient.h"

#include <QDateTime>

namespace {
// The status a registration reports when the server gave none: no answer in time, or no connection at all.
constexpr int kNoStatus = 404;
// A retry further off than this is looked at again then (the timer's range is limited).
constexpr qint64 kLongestRetryWaitMs = qint64(3600) * 1000;

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

QString ServerSession::normalisedAddress(const QString &typed)
{
    const QString address = OperatorText::cleaned(typed);
    for (const QLatin1String scheme : {QLatin1String("http://"), QLatin1String("https://")}) {
        if (address.startsWith(scheme, Qt::CaseInsensitive))
            return scheme + address.mid(scheme.size());
    }
    return QLatin1String("http://") + address;
}

bool ServerSession::isUnencrypted(const QString &address)
{
    return address.startsWith(QLatin1String("http://"), Qt::CaseInsensitive);
}

bool ServerSession::setCaCertificateFile(const QString &path, QString *error)
{
    return client->setCaCertificateFile(path, error);
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
    Outgoing outgoing;
    outgoing.ticket = ticket;
    outgoing.identity = node.identity();
    outgoing.sigfox = node.isSigfox();
    outgoing.document = document;
    if (store) {
        outgoing.entry = store->enqueue(outgoing.identity, document);
        if (outgoing.entry < 0)
            qCWarning(lcEngine).noquote() << "ServerSession: registration not stored:" << store->errorText();
        else if (journal)
            journal->recordRegistrationQueued(node, outgoing.entry);
    }
    qCDebug(lcEngine).noquote() << "MainWindow: register node" << node.deviceType;
    // The operator's registration goes first; the outbox's own retries wait for it.
    queue.prepend(outgoing);
    sendNext();
    return ticket;
}

void ServerSession::sendNext()
{
    // One registration on the wire at a time: two posts of one node in flight could reach the server out of
    // order and leave the older document in place.
    if (current.request != 0 || queue.isEmpty())
        return;
    current = queue.takeFirst();
    current.request = client->registerDocument(address, token, current.document);
}

void ServerSession::registrationDone(quint64 id, const ServerReply &reply)
{
    if (id != current.request)
        return;
    const Outgoing done = std::exchange(current, Outgoing());
    const int status = reply.answered() ? reply.status : 0;
    const bool stored = store && done.entry >= 0;
    if (stored)
        store->recordAnswer(done.entry, status, reply.errorText, reply.retryAfterSeconds);
    const RegistrationOutbox::Disposition disposition = RegistrationOutbox::dispositionFor(status);

    RegistrationReport report;
    report.ticket = done.ticket;
    report.identity = done.identity;
    report.status = status == 0 ? kNoStatus : status;
    report.accepted = disposition == RegistrationOutbox::Disposition::Delivered;
    report.kept = stored
        && (disposition == RegistrationOutbox::Disposition::Retry
            || disposition == RegistrationOutbox::Disposition::AwaitLogin);
    report.refused = stored && disposition == RegistrationOutbox::Disposition::Refused;
    report.errorText = reply.errorText;
    if (journal) {
        const int attempt = stored ? attemptsOf(done.entry) : 1;
        journal->recordRegistration(done.identity, done.sigfox, report.status, qMax(1, attempt), done.entry);
    }

    // Without an outbox every failure ends the login; with one, only what speaks of the credentials or of the
    // document does: a server that is away or overloaded is tried again with the login kept.
    if (!report.accepted && (!stored || disposition != RegistrationOutbox::Disposition::Retry))
        logOut();
    if (done.ticket != 0)
        emit registrationFinished(report);
    sendNext();
    scheduleRetry();
    if (isIdle())
        emit becameIdle();
}

int ServerSession::attemptsOf(qint64 entry) const
{
    const auto entries = store->all();
    for (const auto &stored : entries) {
        if (stored.id == entry)
            return stored.attempts;
    }
    // Delivered entries leave the store; their attempt count is the one that just succeeded.
    return 1;
}

void ServerSession::sendDue()
{
    if (!store || !loggedIn)
        return;
    const auto due = store->due(QDateTime::currentDateTimeUtc());
    for (const auto &entry : due) {
        bool known = current.entry == entry.id;
        for (const Outgoing &waiting : qAsConst(queue))
            known = known || waiting.entry == entry.id;
        if (known)
            continue;
        Outgoing outgoing;
        outgoing.entry = entry.id;
        outgoing.identity = entry.identifier;
        outgoing.document = entry.document;
        // A DevEUI has 16 digits, a SigFox ID at most 8.
        outgoing.sigfox = entry.identifier.size() <= 8;
        queue.append(outgoing);
    }
    sendNext();
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
    retryTimer.start(int(qMin<qint64>(wait, kLongestRetryWaitMs)));
}
