#pragma once

#include <QByteArray>
#include <QString>

#include <mutex>
#include <string>

// The misbehaviour the server shows per endpoint, set from the command line or at run time. Thread-safe: the
// request threads read it while the control endpoint changes it.
class FaultPlan
{
public:
    enum class Endpoint { Login, Device };
    enum class Kind {
        None, // answer normally
        Status, // answer with a given status code (the login still checks credentials and issues tokens)
        Silence, // say nothing for N seconds, then answer normally
        Stall, // send the header and half the body, then hold the connection for N seconds and close it
        Drop, // close the connection without any answer
        Truncate, // send the header and half the body, then close the connection
        Malformed, // answer 200 with a given body (default: JSON cut short)
        Huge, // answer 200 with a JSON body of N megabytes
        OddToken, // login only: grant with a token made of unusual bytes
        Token, // login only: grant with given token header bytes, or the issued token in several headers
        CutOff, // announce a longer body than is sent, send the whole answer, then close the connection
    };

    struct Fault
    {
        Kind kind = Kind::None;
        int status = 0;
        int seconds = 0;
        int megabytes = 0;
        bool hasBody = false;
        std::string body;
        bool hasToken = false;
        std::string token; // Token: the header value, byte for byte
        int copies = 1; // Token: how many DARV-Token headers carry it
        int announcedBytes = 0; // CutOff: the Content-Length announced
        int remaining = -1; // how many more requests it applies to before the endpoint answers normally; -1: all
    };

    // "ENDPOINT:KIND[:ARG]", e.g. "login:status:403", "both:silence:40", "device:huge:50". Returns an error
    // text, empty on success.
    QString applyOption(const QString &option);
    // {"endpoint":"login|device|both","kind":"...","status":N,"seconds":N,"megabytes":N,"body":"..."}.
    QString applyJson(const QByteArray &json);

    Fault fault(Endpoint endpoint) const;
    // The fault for one request to the endpoint: a fault limited by "count" is used up by it.
    Fault take(Endpoint endpoint);

    // The kinds and their arguments, for --help.
    static QString description();
    // The token that OddToken grants: bytes outside plain ASCII, blanks, quotes and separators.
    static std::string oddToken();

private:
    struct Request
    {
        QString endpoint;
        QString kind;
        int number = -1; // -1: not given
        bool hasBody = false;
        std::string body;
        bool hasToken = false;
        std::string token;
        int copies = -1; // -1: not given
        int count = -1; // -1: not given
    };
    QString apply(const Request &request);

    mutable std::mutex mutex;
    Fault login;
    Fault device;
};
