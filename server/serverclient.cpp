#include "serverclient.h"

#include "pacing.h"

#include "jsondeviceregister.h"
#include "loginrequest.h"
#include "regularfile.h"
#include "serverlog.h"

#include <QLocale>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QSslCertificate>
#include <QSslError>
#include <QTimer>

#include <algorithm>
#include <limits>

namespace {
const char kLoginTimeoutLog[] = "JSON timed out";
const char kRegistrationTimeoutLog[] = "JSONdeviceRegister: JSON timed out";

bool isLoginAnswerStatus(int status)
{
    return status == 200 || status == 301 || status == 302;
}

// Failures of the connection itself, as opposed to the errors Qt derives from the status of a complete HTTP
// answer (content, protocol and server errors such as 301, 400, 403, 418 or 500, and a server's 407).
bool isTransportError(QNetworkReply::NetworkError error)
{
    return (error != QNetworkReply::NoError && error < QNetworkReply::ContentAccessDenied
               && error != QNetworkReply::ProxyAuthenticationRequiredError)
        || error == QNetworkReply::ProtocolFailure;
}

ServerReply::Failure transportFailure(QNetworkReply::NetworkError error)
{
    switch (error) {
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::ProxyConnectionRefusedError:
    case QNetworkReply::ProxyNotFoundError:
        return ServerReply::Failure::Unreachable;
    case QNetworkReply::SslHandshakeFailedError:
        return ServerReply::Failure::Untrusted;
    case QNetworkReply::TimeoutError:
    case QNetworkReply::ProxyTimeoutError:
        return ServerReply::Failure::TimedOut;
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::ProxyConnectionClosedError:
    case QNetworkReply::ProtocolFailure:
        return ServerReply::Failure::CutOff;
    default:
        return ServerReply::Failure::Other;
    }
}

void registerMetaTypes()
{
    static const bool registered = [] {
        qRegisterMetaType<ServerReply>("ServerReply");
        qRegisterMetaType<LoginResult>("LoginResult");
        return true;
    }();
    Q_UNUSED(registered);
}
} // namespace

ServerClient::ServerClient(QObject *parent)
    : ServerClient(Pacing().serverTimeoutMs, parent)
{
}

ServerClient::ServerClient(int timeoutMs, QObject *parent)
    : QObject(parent)
    , manager(new QNetworkAccessManager(this))
    , timeoutMs(timeoutMs)
{
    registerMetaTypes();
}

ServerClient::~ServerClient()
{
    // Nobody is left to hear about these requests; end them on the wire without signals.
    for (auto &entry : pending) {
        entry.first->disconnect(this);
        entry.first->abort();
        delete entry.first;
    }
}

bool ServerClient::setCaCertificateFile(const QString &path, QString *error)
{
    if (path.isEmpty()) {
        trustsExtraCertificates = false;
        renewManager();
        return true;
    }
    const auto fail = [&](const QString &reason) {
        qCDebug(lcServer).noquote() << "ServerClient: cannot use CA file" << path << ":" << reason;
        if (error)
            *error = reason;
        return false;
    };
    // Only a regular file of a sane size: a FIFO would hold the tool, /dev/zero would be read for ever.
    QByteArray bytes;
    QString problem;
    if (!RegularFile::read(path, kMaxCaFileBytes, &bytes, &problem))
        return fail(problem);
    const QList<QSslCertificate> certificates = QSslCertificate::fromData(bytes, QSsl::Pem);
    if (certificates.isEmpty())
        return fail(QStringLiteral("no PEM certificate in it"));
    tlsConfiguration = QSslConfiguration::defaultConfiguration();
    tlsConfiguration.setCaCertificates(tlsConfiguration.caCertificates() + certificates);
    trustsExtraCertificates = true;
    renewManager();
    qCDebug(lcServer).noquote() << "ServerClient: trusting" << certificates.size() << "certificate(s) from" << path;
    return true;
}

void ServerClient::renewManager()
{
    // Qt keeps its connections, and the TLS settings they were opened with, per manager and host; only a new
    // manager is sure to check the next server certificate against the new authorities. Requests under way
    // finish on the old manager, which goes once they are done.
    retiredManagers << manager;
    manager = new QNetworkAccessManager(this);
    dropIdleManagers();
}

void ServerClient::dropIdleManagers()
{
    for (auto it = retiredManagers.begin(); it != retiredManagers.end();) {
        const bool busy = std::any_of(
            pending.begin(), pending.end(), [old = *it](const auto &entry) { return entry.first->manager() == old; });
        if (busy) {
            ++it;
        } else {
            (*it)->deleteLater();
            it = retiredManagers.erase(it);
        }
    }
}

quint64 ServerClient::login(const QString &serverAddress, const QString &userName, const QString &passwordDigest)
{
    return send(
        Kind::Login, serverAddress, LoginRequest::request(serverAddress), LoginRequest::body(userName, passwordDigest));
}

quint64 ServerClient::registerDocument(
    const QString &serverAddress, const QByteArray &token, const QByteArray &document)
{
    qCDebug(lcServer).noquote() << "JSONdeviceRegister: device" << JSONdeviceRegister::loggedDocument(document);
    return send(Kind::Registration, serverAddress, JSONdeviceRegister::request(serverAddress, token), document);
}

void ServerClient::abortAll()
{
    // Collected first: each abort finishes its reply at once, which removes it from the map.
    QList<QNetworkReply *> replies;
    for (auto &entry : pending) {
        entry.second->aborted = true;
        replies << entry.first;
    }
    for (QNetworkReply *reply : replies)
        reply->abort();
}

quint64 ServerClient::send(Kind kind, const QString &serverAddress, QNetworkRequest request, const QByteArray &body)
{
    if (trustsExtraCertificates)
        request.setSslConfiguration(tlsConfiguration);
    auto entry = std::make_unique<Pending>();
    entry->id = ++lastId;
    entry->kind = kind;
    entry->serverAddress = serverAddress;
    entry->reply = manager->post(request, body);
    // Qt stops taking the answer off the wire while this much of it waits unread: however slowly this thread
    // gets round to reading, an answer far larger than any the server sends never piles up in memory before the
    // size check below sees it.
    entry->reply->setReadBufferSize(kReadBufferBytes);
    entry->timer = new QTimer(this);
    entry->timer->setSingleShot(true);
    // A coarse timer may fire up to 5 % early; the reply window is meant to be the full time.
    entry->timer->setTimerType(Qt::PreciseTimer);

    QNetworkReply *reply = entry->reply;
    connect(entry->timer, &QTimer::timeout, this, [this, reply] { timeOut(reply); });
    connect(reply, &QNetworkReply::finished, this, [this, reply] { finish(reply); });
    // Certificate problems are never ignored: they fail the request, and the log says why.
    connect(reply, &QNetworkReply::sslErrors, this, [this, reply](const QList<QSslError> &errors) {
        auto found = pending.find(reply);
        for (const QSslError &error : errors) {
            qCDebug(lcServer).noquote() << "ServerClient: TLS error:" << error.errorString();
            if (found != pending.end())
                found->second->tlsErrors << error.errorString();
        }
    });
    // The body is taken as it arrives, so that Qt's buffer never holds more than one chunk, and the declared
    // length is checked as soon as the header is in.
    connect(reply, &QNetworkReply::metaDataChanged, this, [this, reply] {
        auto found = pending.find(reply);
        if (found != pending.end())
            readBody(*found->second);
    });
    connect(reply, &QIODevice::readyRead, this, [this, reply] {
        auto found = pending.find(reply);
        if (found != pending.end())
            readBody(*found->second);
    });
    entry->timer->start(timeoutMs);
    const quint64 id = entry->id;
    pending.emplace(reply, std::move(entry));
    return id;
}

void ServerClient::readBody(Pending &entry)
{
    QNetworkReply *reply = entry.reply;
    if (!reply->isRunning() || entry.oversized)
        return;
    const qint64 declared = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong();
    if (declared <= kMaxReplyBytes)
        entry.body += reply->read(kMaxReplyBytes + 1 - entry.body.size());
    if (declared > kMaxReplyBytes || entry.body.size() > kMaxReplyBytes) {
        qCDebug(lcServer).noquote() << "ServerClient: reply larger than" << kMaxReplyBytes << "bytes, aborted";
        entry.oversized = true;
        entry.body.clear();
        reply->abort();
    }
}

void ServerClient::timeOut(QNetworkReply *reply)
{
    auto found = pending.find(reply);
    if (found == pending.end())
        return;
    found->second->timedOut = true;
    qCDebug(lcServer).noquote() << (found->second->kind == Kind::Login ? kLoginTimeoutLog : kRegistrationTimeoutLog);
    // Aborting ends the request on the wire and finishes the reply at once.
    reply->abort();
}

void ServerClient::finish(QNetworkReply *reply)
{
    auto found = pending.find(reply);
    if (found == pending.end())
        return;
    std::unique_ptr<Pending> entry = std::move(found->second);
    pending.erase(found);
    entry->timer->stop();
    entry->timer->deleteLater();
    reply->disconnect(this);
    if (!entry->oversized && !entry->timedOut && !entry->aborted && reply->isOpen())
        entry->body += reply->read(kMaxReplyBytes + 1 - entry->body.size());

    const ServerReply result = judgeReply(*entry);
    reply->deleteLater();
    dropIdleManagers();
    const quint64 id = entry->id;
    // Queued, so that a request aborted from inside a call (abortAll) still finishes later, never within it.
    if (entry->kind == Kind::Login) {
        const LoginResult login = judgeLogin(*entry, result);
        QMetaObject::invokeMethod(
            this, [this, id, login] { emit loginFinished(id, login); }, Qt::QueuedConnection);
    } else {
        if (result.answered())
            qCDebug(lcServer).noquote() << "JSONdeviceRegister: reply status code:" << result.status;
        QMetaObject::invokeMethod(
            this, [this, id, result] { emit registrationFinished(id, result); }, Qt::QueuedConnection);
    }
}

ServerReply ServerClient::judgeReply(const Pending &entry) const
{
    QNetworkReply *reply = entry.reply;
    const QVariant statusAttribute = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const int status = statusAttribute.isValid() ? statusAttribute.toInt() : 0;
    const QNetworkReply::NetworkError error = reply->error();

    ServerReply result;
    if (entry.aborted) {
        result.failure = ServerReply::Failure::Other;
        result.errorText = QStringLiteral("request aborted");
    } else if (entry.timedOut) {
        result.failure = ServerReply::Failure::TimedOut;
        result.errorText = QStringLiteral("no reply within %1 ms (%2)").arg(timeoutMs).arg(entry.serverAddress);
    } else if (entry.oversized) {
        result.failure = ServerReply::Failure::Oversized;
        result.errorText = QStringLiteral("reply larger than %1 bytes").arg(kMaxReplyBytes);
    } else if (!entry.tlsErrors.isEmpty()) {
        result.failure = ServerReply::Failure::Untrusted;
        result.errorText = entry.tlsErrors.join(QStringLiteral("; "));
    } else if (isTransportError(error)) {
        // A transport failure after the status line (a body cut short, a connection closed early) leaves a
        // status and some bytes behind; none of them is an answer.
        result.failure = transportFailure(error);
        result.errorText = reply->errorString();
        if (result.failure == ServerReply::Failure::Unreachable)
            result.errorText += QStringLiteral(" (%1)").arg(entry.serverAddress);
    } else if (status == 0) {
        result.failure = ServerReply::Failure::Other;
        result.errorText = QStringLiteral("the reply carried no HTTP status (%1)").arg(entry.serverAddress);
    } else {
        result.status = status;
        result.body = entry.body;
        if (reply->hasRawHeader("Retry-After"))
            result.retryAfterSeconds
                = retryAfterSeconds(reply->rawHeader("Retry-After"), QDateTime::currentDateTimeUtc());
        return result;
    }
    if (result.failure != ServerReply::Failure::TimedOut)
        qCDebug(lcServer).noquote() << "ServerClient: request failed:" << result.errorText;
    return result;
}

LoginResult ServerClient::judgeLogin(const Pending &entry, const ServerReply &reply) const
{
    LoginResult login;
    login.reply = reply;
    if (!reply.answered()) {
        login.reason = QStringLiteral("no answer: %1").arg(reply.errorText);
        return login;
    }
    if (!isLoginAnswerStatus(reply.status)) {
        // The operator's log has always shown the server's own words for a refused status.
        qCDebug(lcServer).noquote() << entry.reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
    }
    const LoginRequest::Judgement judgement
        = LoginRequest::judge(reply.status, reply.body, LoginRequest::tokenHeaders(entry.reply->rawHeaderPairs()));
    login.granted = judgement.granted;
    login.token = judgement.token;
    login.credentialsRefused = !judgement.granted;
    login.reason = judgement.reason;
    if (!login.granted)
        qCDebug(lcServer).noquote() << "ServerClient: login refused:" << login.reason;
    return login;
}

int ServerClient::retryAfterSeconds(const QByteArray &value, const QDateTime &now)
{
    const QByteArray text = value.trimmed();
    if (text.isEmpty())
        return -1;
    bool isNumber = true;
    for (const char c : text)
        isNumber = isNumber && c >= '0' && c <= '9';
    if (isNumber) {
        bool ok = false;
        const qlonglong seconds = text.toLongLong(&ok);
        // A delay beyond int is as good as "much later"; it must not wrap into a small or negative number.
        return ok && seconds <= std::numeric_limits<int>::max() ? int(seconds) : std::numeric_limits<int>::max();
    }
    // HTTP dates are always in English and GMT (RFC 7231, IMF-fixdate).
    QDateTime date
        = QLocale::c().toDateTime(QString::fromLatin1(text), QStringLiteral("ddd, dd MMM yyyy HH:mm:ss 'GMT'"));
    if (!date.isValid())
        return -1;
    date.setTimeSpec(Qt::UTC);
    const qint64 seconds = now.secsTo(date);
    return int(qBound<qint64>(0, seconds, std::numeric_limits<int>::max()));
}
