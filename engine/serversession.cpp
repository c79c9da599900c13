#include "serversession.h"

#include "commissioningjournal.h"
#include "enginelog.h"
#include "jsondeviceregister.h"
#include "loginrequest.h"
#include "operatortext.h"
#include "registrationoutbox.h"
#include "serverclient.h"

#include <QDateTime>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QUrl>

#include <optional>

namespace {
// The status a registration reports to the operator when the server gave none: no answer in time, or no
// connection at all. It is never stored: the outbox and the journal keep the named failure instead.
constexpr int kNoStatus = 404;
// A retry further off than this is looked at again then (the timer's range is limited).
constexpr qint64 kLongestRetryWaitMs = qint64(3600) * 1000;
// However the times in the outbox stand, the retry timer never fires more often than this.
constexpr int kShortestRetryWaitMs = 200;
// How often the outbox is checked for entries another instance of the tool stored or released.
constexpr int kWatchIntervalMs = 2000;
const double kJitterFraction = 0.2;

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
    : ServerSession(journal, outbox, Pacing(), parent)
{
}

ServerSession::ServerSession(
    CommissioningJournal *journal, RegistrationOutbox *outbox, const Pacing &pacing, QObject *parent)
    : QObject(parent)
    , pacing(pacing)
    , journal(journal)
    , store(outbox)
    , client(new ServerClient(pacing.serverTimeoutMs, this))
{
    qRegisterMetaType<ServerSession::LoginOutcome>("ServerSession::LoginOutcome");
    qRegisterMetaType<ServerSession::RegistrationReport>("ServerSession::RegistrationReport");
    connect(client, &ServerClient::loginFinished, this, &ServerSession::loginDone);
    connect(client, &ServerClient::registrationFinished, this, &ServerSession::registrationDone);
    retryTimer.setSingleShot(true);
    connect(&retryTimer, &QTimer::timeout, this, &ServerSession::sendDue);
    if (store) {
        connect(store, &RegistrationOutbox::changed, this, [this] { emit waitingChanged(waitingCount()); });
        connect(&watchTimer, &QTimer::timeout, this, &ServerSession::watchOutbox);
        watchTimer.start(kWatchIntervalMs);
    }
}

QString ServerSession::failureName(const ServerReply &reply)
{
    if (reply.answered())
        return QString();
    switch (reply.failure) {
    case ServerReply::Failure::TimedOut:
        return QStringLiteral("timeout");
    case ServerReply::Failure::Unreachable:
        return QStringLiteral("connectionRefused");
    case ServerReply::Failure::Untrusted:
        return QStringLiteral("tlsError");
    default:
        break;
    }
    return QStringLiteral("noAnswer");
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
    // Another scheme is left as it is, for addressProblem() to name, instead of becoming "http://ftp://...".
    static const QRegularExpression otherScheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://"));
    if (otherScheme.match(address).hasMatch())
        return address;
    return QLatin1String("http://") + address;
}

QString ServerSession::addressProblem(const QString &normalised)
{
    if (normalised.isEmpty() || normalised == QLatin1String("http://"))
        return QString();
    const QUrl url(normalised, QUrl::StrictMode);
    if (!normalised.startsWith(QLatin1String("http://")) && !normalised.startsWith(QLatin1String("https://")))
        return tr("%1: only http:// and https:// servers can be used").arg(normalised);
    if (!url.isValid() || url.host().isEmpty())
        return tr("%1: not a server address").arg(normalised);
    if (!url.userInfo().isEmpty())
        return tr("%1: the address must not hold a user name or password").arg(normalised);
    return QString();
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
    // The units commissioned from now on name the operator who logged in; the password stays here.
    if (journal)
        journal->setOperatorName(name);
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
        // What waited for a login goes out now; what waits for a back-off or the server's Retry-After keeps
        // its time.
        if (store)
            store->makeLoginWaitersDue();
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
        if (outgoing.entry < 0) {
            qCWarning(lcEngine).noquote() << "ServerSession: registration not stored:" << store->errorText();
            storageFailed();
        } else if (journal)
            journal->recordRegistrationQueued(node, outgoing.entry);
    }
    qCDebug(lcEngine).noquote() << "MainWindow: register node" << node.deviceType;
    // The operator's registration goes first; the outbox's own retries wait for it.
    queue.prepend(outgoing);
    sendNext();
    return ticket;
}

void ServerSession::registrationDone(quint64 id, const ServerReply &reply)
{
    if (id != current.request)
        return;
    const Outgoing done = std::exchange(current, Outgoing());
    const int status = reply.answered() ? reply.status : 0;
    const QString failure = failureName(reply);
    const bool stored = store && done.entry >= 0;
    const RegistrationOutbox::Disposition disposition = RegistrationOutbox::dispositionFor(status);
    if (stored) {
        if (store->recordAnswer(done.entry, status, reply.errorText, reply.retryAfterSeconds, failure)) {
            held.remove(done.entry);
            storageWorks();
        } else if (!store->errorText().isEmpty()) {
            // Sending it again at once would only be answered again and not recorded again.
            hold(done, disposition == RegistrationOutbox::Disposition::Delivered, status, failure);
        }
    }

    RegistrationReport report;
    report.ticket = done.ticket;
    report.identity = done.identity;
    report.status = status == 0 ? kNoStatus : status;
    report.failure = failure;
    report.accepted = disposition == RegistrationOutbox::Disposition::Delivered;
    report.kept = stored
        && (disposition == RegistrationOutbox::Disposition::Retry
            || disposition == RegistrationOutbox::Disposition::AwaitLogin);
    report.refused = stored && disposition == RegistrationOutbox::Disposition::Refused;
    report.errorText = reply.errorText;
    if (journal)
        journal->recordRegistration(done.identity, done.sigfox, status, done.attempts + 1, done.entry, failure);

    // Without an outbox every failure ends the login; with one, only what speaks of the credentials or of the
    // document does: a server that is away or overloaded is tried again with the login kept.
    if (!report.accepted && (!stored || disposition != RegistrationOutbox::Disposition::Retry)) {
        logOut();
        // What waits in the outbox now waits for a login.
        if (stored)
            emit waitingChanged(waitingCount());
    }
    if (done.ticket != 0)
        emit registrationFinished(report);
    sendNext();
    scheduleRetry();
    if (isIdle())
        emit becameIdle();
}

void ServerSession::hold(const Outgoing &outgoing, bool delivered, int status, const QString &failure)
{
    Held &entry = held[outgoing.entry];
    entry.identity = outgoing.identity;
    // An answer that came counts as an attempt, recorded or not: the journal never numbers one twice.
    entry.attempts = std::max(entry.attempts, outgoing.attempts + (status != 0 || !failure.isEmpty() ? 1 : 0));
    entry.delivered = entry.delivered || delivered;
    entry.status = status;
    entry.failure = failure;
    ++entry.steps;
    const double jitter = (QRandomGenerator::global()->generateDouble() * 2.0 - 1.0) * kJitterFraction;
    const int attempts = std::max(entry.steps, outgoing.attempts + 1);
    entry.notBefore
        = QDateTime::currentDateTimeUtc().addMSecs(RegistrationOutbox::retryDelayMs(pacing, attempts, -1, jitter));
    storageFailed();
}

void ServerSession::storageFailed()
{
    if (storageTrouble)
        return;
    storageTrouble = true;
    const QString text = tr("The registration outbox cannot be updated: %1; registrations are held back and tried "
                            "again no faster than their back-off.")
                             .arg(store->errorText());
    qCWarning(lcEngine).noquote() << "ServerSession:" << text;
    emit storageProblem(text);
}

void ServerSession::storageWorks()
{
    if (storageTrouble)
        qCInfo(lcEngine).noquote() << "ServerSession: the registration outbox can be updated again";
    storageTrouble = false;
}

bool ServerSession::inFlight(qint64 entry) const
{
    if (current.request != 0 && current.entry == entry)
        return true;
    for (const Outgoing &waiting : queue) {
        if (waiting.entry == entry)
            return true;
    }
    return false;
}

void ServerSession::reportNotSent(const Outgoing &outgoing, const QString &why)
{
    if (outgoing.ticket == 0)
        return;
    RegistrationReport report;
    report.ticket = outgoing.ticket;
    report.identity = outgoing.identity;
    report.status = kNoStatus;
    report.kept = true;
    report.errorText = why;
    emit registrationFinished(report);
}

void ServerSession::sendNext()
{
    // One registration on the wire at a time: two posts of one node in flight could reach the server out of
    // order and leave the older document in place.
    while (current.request == 0 && !queue.isEmpty()) {
        Outgoing next = queue.takeFirst();
        if (store && next.entry >= 0) {
            // Claimed before it leaves, so that no other instance sends it at the same time.
            switch (store->claim(next.entry)) {
            case RegistrationOutbox::ClaimResult::Claimed:
                storageWorks();
                if (held.contains(next.entry) && held.value(next.entry).delivered)
                    continue; // accepted already; only its removal is missing
                held.remove(next.entry);
                break;
            case RegistrationOutbox::ClaimResult::Taken:
                // Another instance sends it, or it was delivered or replaced meanwhile.
                reportNotSent(next, tr("another instance of the tool is sending it"));
                continue;
            case RegistrationOutbox::ClaimResult::StoreFailed:
                hold(next, false, 0, QString());
                reportNotSent(next, store->errorText());
                continue;
            }
        }
        current = next;
        current.request = client->registerDocument(address, token, current.document);
    }
}

void ServerSession::sendDue()
{
    if (!store || stopped)
        return;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    // Accepted registrations whose removal failed are removed now, never sent again by this instance.
    for (auto it = held.begin(); it != held.end();) {
        if (!it->delivered || it->notBefore > now) {
            ++it;
            continue;
        }
        if (store->recordAnswer(it.key(), it->status, QString(), -1, it->failure) || store->errorText().isEmpty()) {
            storageWorks();
            it = held.erase(it);
            continue;
        }
        Outgoing outgoing;
        outgoing.entry = it.key();
        outgoing.identity = it->identity;
        ++it;
        hold(outgoing, true, 200, QString());
    }
    if (!loggedIn) {
        scheduleRetry();
        return;
    }
    const auto enqueue = [this](const RegistrationOutbox::Entry &entry) {
        Outgoing outgoing;
        outgoing.entry = entry.id;
        outgoing.identity = entry.identifier;
        outgoing.document = entry.document;
        outgoing.attempts = std::max(entry.attempts, held.value(entry.id).attempts);
        // A DevEUI has 16 digits, a SigFox ID at most 8.
        outgoing.sigfox = entry.identifier.size() <= 8;
        queue.append(outgoing);
    };
    const auto due = store->due(now);
    for (const auto &entry : due) {
        if (inFlight(entry.id))
            continue;
        const auto heldBack = held.constFind(entry.id);
        if (heldBack != held.constEnd() && (heldBack->delivered || heldBack->notBefore > now))
            continue;
        enqueue(entry);
    }
    // Entries this instance claimed and could not record are not in due() while their claim lasts.
    const auto pending = held.isEmpty() ? QVector<RegistrationOutbox::Entry>() : store->pending();
    for (const auto &entry : pending) {
        const auto heldBack = held.constFind(entry.id);
        if (heldBack == held.constEnd() || heldBack->delivered || heldBack->notBefore > now || inFlight(entry.id))
            continue;
        enqueue(entry);
    }
    sendNext();
    scheduleRetry();
}

void ServerSession::scheduleRetry()
{
    if (!store || stopped) {
        retryTimer.stop();
        return;
    }
    std::optional<QDateTime> next;
    const auto consider = [&next](const QDateTime &at) {
        if (at.isValid() && (!next || at < *next))
            next = at;
    };
    for (const Held &entry : qAsConst(held))
        consider(entry.notBefore);
    if (loggedIn) {
        for (const auto &entry : store->pending()) {
            if (held.contains(entry.id) || inFlight(entry.id) || !entry.nextAttempt.isValid())
                continue;
            QDateTime at = entry.nextAttempt;
            if (!entry.claimedBy.isEmpty() && entry.claimExpires.isValid())
                at = std::max(at, entry.claimExpires);
            consider(at);
        }
    }
    if (!next) {
        retryTimer.stop();
        return;
    }
    const qint64 wait = QDateTime::currentDateTimeUtc().msecsTo(*next);
    retryTimer.start(int(qBound<qint64>(kShortestRetryWaitMs, wait, kLongestRetryWaitMs)));
}

void ServerSession::watchOutbox()
{
    if (!store || stopped || !store->changedElsewhere())
        return;
    // Another instance stored, sent or released entries: the count and what is due may have changed.
    emit waitingChanged(waitingCount());
    sendDue();
}

void ServerSession::stop()
{
    stopped = true;
    retryTimer.stop();
    watchTimer.stop();
    queue.clear();
}

QStringList ServerSession::unrecorded() const
{
    QStringList lines;
    if (current.request != 0) {
        lines << tr("%1: on the wire, no answer yet (kept in the outbox, sent again by the next run)")
                     .arg(current.identity);
    }
    for (const Held &entry : held) {
        if (entry.delivered) {
            lines << tr("%1: accepted by the server, but still in the outbox (sent once more by the next run)")
                         .arg(entry.identity);
        } else if (entry.status != 0 || !entry.failure.isEmpty()) {
            lines << tr("%1: answer %2 not recorded in the outbox")
                         .arg(entry.identity, entry.status != 0 ? QString::number(entry.status) : entry.failure);
        } else {
            lines << tr("%1: not sent, the outbox could not be updated").arg(entry.identity);
        }
    }
    return lines;
}
