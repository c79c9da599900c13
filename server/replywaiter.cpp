#include "replywaiter.h"

#include <QDebug>
#include <QEventLoop>
#include <QList>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslError>
#include <QTimer>

namespace {
// Login and registration replies are a few bytes; anything this large is not a server answer, so it is cut off
// before it fills memory.
constexpr qint64 kMaxReplyBytes = 1024 * 1024;
} // namespace

QNetworkReply *ReplyWaiter::postAndWait(QNetworkAccessManager *manager, const QNetworkRequest &request,
    const QString &body, const char *timeoutLog, int timeoutMs)
{
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    // A coarse timer may fire up to 5 % early; the reply window is meant to be the full time.
    timer.setTimerType(Qt::PreciseTimer);

    QNetworkReply *reply = manager->post(request, body.toUtf8());

    QList<QMetaObject::Connection> connections;
    connections << QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    connections << QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    // Certificate problems are never ignored: they fail the request, and the operator's log says why.
    connections << QObject::connect(reply, &QNetworkReply::sslErrors, [](const QList<QSslError> &errors) {
        for (const QSslError &error : errors)
            qDebug().noquote() << "ReplyWaiter: TLS error:" << error.errorString();
    });
    connections << QObject::connect(reply, &QNetworkReply::errorOccurred, [reply](QNetworkReply::NetworkError code) {
        qDebug().noquote() << "ReplyWaiter: request failed:" << int(code) << reply->errorString();
    });
    // The declared length is checked as soon as the header is in, the buffered bytes as they arrive (a chunked
    // reply declares none).
    auto abortWhenOversized = [reply]() {
        const qint64 declared = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong();
        if (reply->isRunning() && (declared > kMaxReplyBytes || reply->bytesAvailable() > kMaxReplyBytes)) {
            qDebug().noquote() << "ReplyWaiter: reply larger than" << kMaxReplyBytes << "bytes, aborted";
            reply->abort();
        }
    };
    connections << QObject::connect(reply, &QNetworkReply::metaDataChanged, abortWhenOversized);
    connections << QObject::connect(reply, &QIODevice::readyRead, abortWhenOversized);

    timer.start(timeoutMs);
    if (!reply->isFinished())
        loop.exec();

    const bool answered = reply->isFinished();
    timer.stop();
    for (const QMetaObject::Connection &connection : connections)
        QObject::disconnect(connection);

    if (!answered) {
        qDebug().noquote() << timeoutLog;
        // Aborting ends the request on the wire; the reply is never read.
        reply->abort();
        delete reply;
        return nullptr;
    }
    return reply;
}
