#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QString>

// How one request to the registration server ended. A request either got an HTTP answer (failure None and a
// status) or failed on the way, in which case status and body are empty and nothing of the reply is judged.
struct ServerReply
{
    enum class Failure {
        None,
        TimedOut, // no complete answer within the reply window
        Unreachable, // connection refused, host not found or unreachable
        Untrusted, // the TLS handshake failed or the certificate was not trusted
        CutOff, // the connection ended before the announced answer was complete
        Oversized, // the answer was larger than any real server answer
        Other, // aborted, or any other transport failure
    };

    int status = 0; // HTTP status, 0 when the reply carried none
    Failure failure = Failure::None;
    QString errorText; // one line for the log and the operator
    QByteArray body;
    int retryAfterSeconds = -1; // from a Retry-After header (seconds or HTTP date), -1 when absent

    bool answered() const { return failure == Failure::None && status != 0; }
};

Q_DECLARE_METATYPE(ServerReply)
