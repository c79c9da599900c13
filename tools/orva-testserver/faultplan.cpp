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
};
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
    for (const char *key : {"status", "seconds", "megabytes"}) {
        const QJsonValue value = object.value(QLatin1String(key));
        if (value.isUndefined())
            continue;
        if (!value.isDouble() || value.toInt(-1) < 0)
            return QStringLiteral("\"%1\" must be a whole number").arg(QLatin1String(key));
        request.number = value.toInt();
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
    default:
        break;
    }
    if (fault.kind == Kind::Status && request.hasBody) {
        fault.hasBody = true;
        fault.body = request.body;
    }

    std::lock_guard<std::mutex> lock(mutex);
    if (toLogin)
        login = fault;
    if (toDevice)
        device = fault.kind == Kind::OddToken ? Fault() : fault;
    return QString();
}

FaultPlan::Fault FaultPlan::fault(Endpoint endpoint) const
{
    std::lock_guard<std::mutex> lock(mutex);
    return endpoint == Endpoint::Login ? login : device;
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
        "accepted from loopback addresses only):\n"
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
        "  oddtoken         login only: grant with a token of unusual bytes (non-ASCII, blanks, quotes)");
}
