#pragma once

#include <QByteArray>
#include <QList>
#include <QNetworkRequest>
#include <QPair>
#include <QString>

// The login request of the registration server and the judgement of its reply, kept free of any window so
// that it can be tested and fuzzed on its own.
class LoginRequest
{
public:
    static constexpr int kMaxTokenBytes = 4096;

    struct Judgement
    {
        bool granted = false;
        QByteArray token; // set only when granted
        QString reason; // why the answer was refused (or "login granted"); never holds token bytes
    };

    // Upper-case hex MD5 digest of the UTF-8 bytes of the password (32 characters).
    static QString passwordDigest(const QString &password);
    // POST target serverAddress + "/orvaservice/login/", form-encoded content type.
    static QNetworkRequest request(const QString &serverAddress);
    // "username=" + user + "&password=" + digest, each value percent-encoded.
    static QByteArray body(const QString &userName, const QString &passwordDigest);

    // The value of every "DARV-Token" header of a reply, in order; names compare without regard to case.
    static QList<QByteArray> tokenHeaders(const QList<QPair<QByteArray, QByteArray>> &rawHeaderPairs);
    // 1 to kMaxTokenBytes visible ASCII characters (0x21 to 0x7E): a token that can go back out as a header
    // value unchanged.
    static bool isUsableToken(const QByteArray &token);

    // Judges an HTTP answer to a login. status is the HTTP status. Only 200, 301 and 302 have their body read;
    // the login is granted when the body's JSON object has "rc" 200 and the reply carries exactly one usable
    // token header.
    static Judgement judge(int status, const QByteArray &body, const QList<QByteArray> &tokenHeaders);
    // judge() for a reply with exactly one token header. On a grant the token is stored in *token; a refusal
    // leaves it untouched.
    static bool isGranted(int status, const QByteArray &body, const QByteArray &tokenHeader, QByteArray *token);
    // The integer "rc" of a reply body, 0 when absent, not a number or not a JSON object.
    static int replyCode(const QByteArray &body);
};
