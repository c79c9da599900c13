#pragma once

#include "loginresult.h"
#include "serverreply.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QNetworkReply>
#include <QObject>
#include <QSslConfiguration>
#include <QString>

#include <map>
#include <memory>

class QNetworkAccessManager;
class QTimer;

// The registration server's two requests, asynchronous: each call returns at once with a request id, and the
// matching finished signal follows later, exactly once, whatever becomes of the request. Nothing here waits in
// an event loop of its own.
class ServerClient : public QObject
{
    Q_OBJECT
public:
    // Login and registration answers are a few bytes; anything this large is not a server answer.
    static constexpr qint64 kMaxReplyBytes = 1024 * 1024;
    // How much of an answer Qt holds before this client has read it.
    static constexpr qint64 kReadBufferBytes = 64 * 1024;

    // A request that has not finished within timeoutMs ends as timed out; without one, the server time-out of the
    // protocol's pacing applies.
    explicit ServerClient(QObject *parent = nullptr);
    explicit ServerClient(int timeoutMs, QObject *parent = nullptr);
    ~ServerClient() override;

    // A PEM file whose certificates are trusted in addition to the system's; empty: system only. Returns false
    // (and logs why, and says it in `*error` when given) when the file cannot be read, is no regular file of at
    // most kMaxCaFileBytes, or holds no certificate; the trust is then unchanged.
    bool setCaCertificateFile(const QString &path, QString *error = nullptr);
    // Far above any bundle of authorities; a larger file is refused unread.
    static constexpr qint64 kMaxCaFileBytes = 1024 * 1024;

    quint64 login(const QString &serverAddress, const QString &userName, const QString &passwordDigest);
    quint64 registerDocument(const QString &serverAddress, const QByteArray &token, const QByteArray &document);
    // Pending requests finish as Failure::Other.
    void abortAll();

    // A Retry-After value (delay seconds or HTTP date) as seconds from now; -1 when it is neither.
    static int retryAfterSeconds(const QByteArray &value, const QDateTime &now);

signals:
    void loginFinished(quint64 id, LoginResult result);
    void registrationFinished(quint64 id, ServerReply reply);

private:
    enum class Kind { Login, Registration };
    struct Pending
    {
        quint64 id = 0;
        Kind kind = Kind::Login;
        QString serverAddress;
        QNetworkReply *reply = nullptr;
        QTimer *timer = nullptr;
        QByteArray body;
        QStringList tlsErrors;
        bool timedOut = false;
        bool oversized = false;
        bool aborted = false;
    };

    void renewManager();
    void dropIdleManagers();
    quint64 send(Kind kind, const QString &serverAddress, QNetworkRequest request, const QByteArray &body);
    void readBody(Pending &pending);
    void timeOut(QNetworkReply *reply);
    void finish(QNetworkReply *reply);
    ServerReply judgeReply(const Pending &pending) const;
    LoginResult judgeLogin(const Pending &pending, const ServerReply &reply) const;

    QNetworkAccessManager *manager;
    QList<QNetworkAccessManager *> retiredManagers; // still finishing requests begun before a trust change
    const int timeoutMs;
    bool trustsExtraCertificates = false;
    QSslConfiguration tlsConfiguration;
    quint64 lastId = 0;
    std::map<QNetworkReply *, std::unique_ptr<Pending>> pending;
};
