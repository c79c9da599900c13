#include "faultplan.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QStringList>

namespace {
constexpr int kDefaultSeconds = 60;
constexpr int kDefaultMegabytes = 50;
constexpr int kMaxSeconds = 3600;
constexpr int kMaxMegabytes = 1024;
constexpr int kDefaultAnnouncedBytes = 1000;
constexpr int kMaxTokenCopies = 16;
const char kDefaultMalformedBody[] = "{\"rc\":200";

struct KindName
{
    const char *name;
    FaultPlan::Kind kind;
};
const KindName kKindNames[] = {
    {"none", FaultPlan::Kind::None},
    {"status", FaultPlan::Kind::Status},
    {"silence", FaultPlan::Kind::Silence},
    {"stall", FaultPlan::Kind::Stall},
    {"drop", FaultPlan::Kind::Drop},
    {"truncate", FaultPlan::Kind::Truncate},
    {"malformed", FaultPlan::Kind::Malformed},
    {"huge", FaultPlan::Kind::Huge},
    {"oddtoken", FaultPlan::Kind::OddToken},
    {"token", FaultPlan::Kind::Token},
    {"cutoff", FaultPlan::Kind::CutOff},
};

// Token bytes travel percent-encoded on the command line and in the control request, so that CR, LF, NUL and
// bytes beyond ASCII can be asked for.
std::string decodedToken(const QString &encoded)
{
    return QByteArray::fromPercentEncoding(encoded.toLatin1()).toStdString();
}
} // namespace

QString FaultPlan::applyOption(const QString &option)
{
    // The body of a malformed answer may itself contain colons, so only the first two separate.
    const int first = option.indexOf(QLatin1Char(':'));
    if (first < 0)
        return QStringLiteral("fault \"%1\": expected ENDPOINT:KIND[:ARG]").arg(option);
    Request request;
    request.endpoint = option.left(first);
    const int second = option.indexOf(QLatin1Char(':'), first + 1);
    request.kind = option.mid(first + 1, second < 0 ? -1 : second - first - 1);
    if (second >= 0) {
        const QString argument = option.mid(second + 1);
        if (request.kind == QLatin1String("malformed")) {
            request.hasBody = true;
            request.body = argument.toStdString();
        } else if (request.kind == QLatin1String("token")) {
            request.hasToken = true;
            request.token = decodedToken(argument);
        } else {
            bool ok = false;
            request.number = argument.toInt(&ok);
            if (!ok || request.number < 0)
                return QStringLiteral("fault \"%1\": the argument must be a whole number").arg(option);
        }
    }
    return apply(request);
}

QString FaultPlan::applyJson(const QByteArray &json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (!document.isObject())
        return QStringLiteral("the fault must be a JSON object");
    const QJsonObject object = document.object();
    Request request;
    request.endpoint = object.value(QLatin1String("endpoint")).toString(QStringLiteral("both"));
    request.kind = object.value(QLatin1String("kind")).toString();
    for (const char *key : {"status", "seconds", "megabytes", "bytes"}) {
        const QJsonValue value = object.value(QLatin1String(key));
        if (value.isUndefined())
            continue;
        if (!value.isDouble() || value.toInt(-1) < 0)
            return QStringLiteral("\"%1\" must be a whole number").arg(QLatin1String(key));
        request.number = value.toInt();
    }
    const QJsonValue copies = object.value(QLatin1String("copies"));
    if (!copies.isUndefined()) {
        if (!copies.isDouble() || copies.toInt(-1) < 0)
            return QStringLiteral("\"copies\" must be a whole number");
        request.copies = copies.toInt();
    }
    const QJsonValue count = object.value(QLatin1String("count"));
    if (!count.isUndefined()) {
        if (!count.isDouble() || count.toInt(0) < 1)
            return QStringLiteral("\"count\" must be a whole number from 1");
        request.count = count.toInt();
    }
    const QJsonValue token = object.value(QLatin1String("token"));
    if (token.isString()) {
        request.hasToken = true;
        request.token = decodedToken(token.toString());
    }
    const QJsonValue body = object.value(QLatin1String("body"));
    if (body.isString()) {
        request.hasBody = true;
        request.body = body.toString().toStdString();
    }
    return apply(request);
}

QString FaultPlan::apply(const Request &request)
{
    const bool toLogin = request.endpoint == QLatin1String("login") || request.endpoint == QLatin1String("both");
    const bool toDevice = request.endpoint == QLatin1String("device") || request.endpoint == QLatin1String("both");
    if (!toLogin && !toDevice)
        return QStringLiteral("unknown endpoint \"%1\" (login, device or both)").arg(request.endpoint);

    Fault fault;
    bool known = false;
    for (const KindName &entry : kKindNames) {
        if (request.kind == QLatin1String(entry.name)) {
            fault.kind = entry.kind;
            known = true;
        }
    }
    if (!known)
        return QStringLiteral("unknown fault kind \"%1\"").arg(request.kind);

    switch (fault.kind) {
    case Kind::Status:
        if (request.number < 100 || request.number > 599)
            return QStringLiteral("the status fault needs a status code from 100 to 599");
        fault.status = request.number;
        break;
    case Kind::Silence:
    case Kind::Stall:
        fault.seconds = request.number < 0 ? kDefaultSeconds : request.number;
        if (fault.seconds > kMaxSeconds)
            return QStringLiteral("at most %1 seconds").arg(kMaxSeconds);
        break;
    case Kind::Huge:
        fault.megabytes = request.number < 0 ? kDefaultMegabytes : request.number;
        if (fault.megabytes < 1 || fault.megabytes > kMaxMegabytes)
            return QStringLiteral("the huge fault takes 1 to %1 megabytes").arg(kMaxMegabytes);
        break;
    case Kind::Malformed:
        fault.hasBody = true;
        fault.body = request.hasBody ? request.body : std::string(kDefaultMalformedBody);
        break;
    case Kind::OddToken:
        if (toDevice && request.endpoint != QLatin1String("both"))
            return QStringLiteral("the oddtoken fault applies to the login only");
        break;
    case Kind::Token:
        if (toDevice && request.endpoint != QLatin1String("both"))
            return QStringLiteral("the token fault applies to the login only");
        fault.hasToken = request.hasToken;
        fault.token = request.token;
        fault.copies = request.copies < 0 ? 1 : request.copies;
        if (fault.copies > kMaxTokenCopies)
            return QStringLiteral("at most %1 token headers").arg(kMaxTokenCopies);
        break;
    case Kind::CutOff:
        fault.announcedBytes = request.number < 0 ? kDefaultAnnouncedBytes : request.number;
        break;
    default:
        break;
    }
    if (fault.kind != Kind::None)
        fault.remaining = request.count;
    if (fault.kind == Kind::Status && request.hasBody) {
        fault.hasBody = true;
        fault.body = request.body;
    }

    std::lock_guard<std::mutex> lock(mutex);
    if (toLogin)
        login = fault;
    if (toDevice)
        device = fault.kind == Kind::OddToken || fault.kind == Kind::Token ? Fault() : fault;
    return QString();
}

FaultPlan::Fault FaultPlan::fault(Endpoint endpoint) const
{
    std::lock_guard<std::mutex> lock(mutex);
    return endpoint == Endpoint::Login ? login : device;
}

FaultPlan::Fault FaultPlan::take(Endpoint endpoint)
{
    std::lock_guard<std::mutex> lock(mutex);
    Fault &planned = endpoint == Endpoint::Login ? login : device;
    const Fault used = planned;
    if (planned.remaining > 0 && --planned.remaining == 0)
        planned = Fault();
    return used;
}

std::string FaultPlan::oddToken()
{
    // No "%": the server library decodes percent escapes in header values it receives.
    return std::string("\xFF\xFE"
                       "odd \"token\", with;bytes=\x80\xC3\xA9 end");
}

QString FaultPlan::description()
{
    return QStringLiteral(
        "Faults (--fault ENDPOINT:KIND[:ARG], ENDPOINT login, device or both; at run time POST a JSON object\n"
        "{\"endpoint\":..., \"kind\":..., \"status\"|\"seconds\"|\"megabytes\": N, \"body\": \"...\"} to "
        "/control/fault,\n"
        "accepted from loopback addresses only; \"count\": N limits the fault to the next N requests.\n"
        "GET /control/requests counts the login and device requests received):\n"
        "  none             answer normally\n"
        "  status:CODE      answer with CODE; the login still checks the credentials and issues a token,\n"
        "                   so login:status:302 answers 302 {\"rc\":200}; a device answered so is not stored;\n"
        "                   a JSON \"body\" replaces the answer's body\n"
        "  silence:SECONDS  say nothing for SECONDS (default 60), then answer normally\n"
        "  stall:SECONDS    send the header and half the body, hold the connection SECONDS, then close it\n"
        "  drop             close the connection without any answer\n"
        "  truncate         send the header and half the body, then close the connection\n"
        "  malformed:BODY   answer 200 with BODY (default {\"rc\":200 cut short); the login adds a token\n"
        "  huge:MEGABYTES   answer 200 with a valid JSON body {\"rc\":200,...} of MEGABYTES (default 50)\n"
        "  oddtoken         login only: grant with a token of unusual bytes (non-ASCII, blanks, quotes)\n"
        "  token:VALUE      login only: grant with the header value VALUE, percent-encoded (%0D, %00, %FF...);\n"
        "                   without a value the issued token; a JSON \"copies\": N sends N DARV-Token headers.\n"
        "                   Sent raw on plain http, so that any bytes reach the client\n"
        "  cutoff:BYTES     send the whole answer under a Content-Length of BYTES (default 1000), then close\n"
        "                   the connection (plain http); a device answered so is not stored");
}
