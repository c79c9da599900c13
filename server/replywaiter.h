#pragma once

#include <QString>

class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;

// Posts a body and waits for the reply in a nested event loop, at most timeoutMs (30 s for the server).
class ReplyWaiter
{
public:
    static constexpr int kTimeoutMs = 30000;

    // Returns the finished reply (the caller owns it), or nullptr after the time-out, in which case
    // `timeoutLog` is logged at debug level and the reply is discarded.
    static QNetworkReply *postAndWait(QNetworkAccessManager *manager, const QNetworkRequest &request,
                                      const QString &body, const char *timeoutLog, int timeoutMs = kTimeoutMs);
};
