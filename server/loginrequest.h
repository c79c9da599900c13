#pragma once

#include <QByteArray>
#include <QNetworkRequest>
#include <QString>

// The login request of the registration server and the judgement of its reply, kept free of any window so
// that it can be tested and fuzzed on its own.
class LoginRequest
{
public:
    // Upper-case hex MD5 digest of the UTF-8 bytes of the password (32 characters).
    static QString passwordDigest(const QString &password);
    // POST target serverAddress + "/orvaservice/login/", form-encoded content type.
    static QNetworkRequest request(const QString &serverAddress);
    // "username=" + user + "&password=" + digest, each value percent-encoded.
    static QByteArray body(const QString &userName, const QString &passwordDigest);

    // Judges a finished login reply. status is the HTTP status, 0 when the reply carried none. Only 200, 301
    // and 302 have their body read; the login is granted when its JSON object has "rc" 200. On a grant the
    // token header's bytes are stored in *token.
    static bool isGranted(int status, const QByteArray &body, const QByteArray &tokenHeader, QByteArray *token);
    // The integer "rc" of a reply body, 0 when absent, not a number or not a JSON object.
    static int replyCode(const QByteArray &body);
};
