#include "orvatestserver.h"

#include "selfsignedcertificate.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QRandomGenerator>
#include <QUrl>

#include <httplib.h>

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <thread>
#include <vector>

namespace {
const char kLoginPath[] = "/orvaservice/login/";
const char kDevicePath[] = "/orvaservice/iot/device";
const char kTokenHeader[] = "DARV-Token";
const char kJsonType[] = "application/json";
const char kFormType[] = "application/x-www-form-urlencoded";
constexpr int kGranted = 200;
constexpr int kWrongCredentials = 401;
constexpr size_t kMaxRequestBytes = 1024 * 1024;
constexpr size_t kChunkBytes = 64 * 1024;
constexpr int kTokenWords = 4; // 128 random bits
constexpr int kLoggedTokenChars = 4;
constexpr auto kHoldStep = std::chrono::milliseconds(50);

std::string rcBody(int rc)
{
    return "{\"rc\":" + std::to_string(rc) + "}";
}

std::string statusBody(int status)
{
    return "{\"status\":" + std::to_string(status) + "}";
}

// The media type of a Content-Type value, without parameters, in lower case.
std::string mediaType(const std::string &contentType)
{
    return QString::fromStdString(contentType.substr(0, contentType.find(';'))).trimmed().toLower().toStdString();
}

// Decodes an application/x-www-form-urlencoded body. False when a field name repeats, since a repeated field
// means that a value was not encoded and has split the body.
bool parseForm(const std::string &body, std::map<std::string, std::string> *fields)
{
    const QByteArray bytes = QByteArray::fromStdString(body);
    for (const QByteArray &pair : bytes.split('&')) {
        if (pair.isEmpty())
            continue;
        const int equals = pair.indexOf('=');
        auto decode
            = [](QByteArray text) { return QByteArray::fromPercentEncoding(text.replace('+', ' ')).toStdString(); };
        const std::string name = decode(equals < 0 ? pair : pair.left(equals));
        const std::string value = equals < 0 ? std::string() : decode(pair.mid(equals + 1));
        if (!fields->emplace(name, value).second)
            return false;
    }
    return true;
}

bool isLoopback(const std::string &address)
{
    return address.rfind("127.", 0) == 0 || address == "::1" || address.rfind("::ffff:127.", 0) == 0;
}

int portOf(const sockaddr_storage &address)
{
    if (address.ss_family == AF_INET)
        return ntohs(reinterpret_cast<const sockaddr_in &>(address).sin_port);
    if (address.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6 &>(address).sin6_port);
    return -1;
}

// The socket of the request's connection, or -1. The server library does not hand its sockets to handlers, so
// the socket is found by its ports.
int connectionSocket(const httplib::Request &request)
{
    DIR *dir = opendir("/proc/self/fd");
    if (!dir)
        return -1;
    int found = -1;
    while (dirent *entry = readdir(dir)) {
        char *end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0')
            continue;
        sockaddr_storage local{}, peer{};
        socklen_t localLength = sizeof local, peerLength = sizeof peer;
        if (getsockname(int(fd), reinterpret_cast<sockaddr *>(&local), &localLength) != 0
            || getpeername(int(fd), reinterpret_cast<sockaddr *>(&peer), &peerLength) != 0)
            continue;
        if (portOf(local) == request.local_port && portOf(peer) == request.remote_port) {
            found = int(fd);
            break;
        }
    }
    closedir(dir);
    return found;
}

// Shuts down the request's connection, so that the client sees the connection end without any answer.
bool dropConnection(const httplib::Request &request)
{
    const int fd = connectionSocket(request);
    return fd >= 0 && shutdown(fd, SHUT_RDWR) == 0;
}

// Writes an answer byte for byte past the server library, which checks header values and lengths, then closes
// the connection. Only for plain http; the library's own answer afterwards meets a closed socket.
bool sendRaw(const httplib::Request &request, const std::string &bytes)
{
    const int fd = connectionSocket(request);
    if (fd < 0)
        return false;
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            break;
        sent += size_t(n);
    }
    shutdown(fd, SHUT_RDWR);
    return sent == bytes.size();
}

const char *reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 201:
        return "Created";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 500:
        return "Internal Server Error";
    default:
        return "Status";
    }
}

// An HTTP/1.1 answer with one DARV-Token header per entry of tokens and the given Content-Length.
std::string rawAnswer(int status, const std::vector<std::string> &tokens, const std::string &body, size_t announced)
{
    std::string answer = "HTTP/1.1 " + std::to_string(status) + " " + reasonPhrase(status) + "\r\nContent-Type: "
        + kJsonType + "\r\nContent-Length: " + std::to_string(announced) + "\r\nConnection: close\r\n";
    for (const std::string &token : tokens)
        answer += std::string(kTokenHeader) + ": " + token + "\r\n";
    return answer + "\r\n" + body;
}

QString shortToken(const std::string &token)
{
    QString shown;
    for (size_t i = 0; i < token.size() && i < size_t(kLoggedTokenChars); ++i) {
        const unsigned char c = static_cast<unsigned char>(token[i]);
        shown += (c > 0x20 && c < 0x7F) ? QChar(c) : QChar('?');
    }
    return shown + QStringLiteral("...");
}
} // namespace

OrvaTestServer::OrvaTestServer(Settings settings, FaultPlan &faults, DeviceStore &devices)
    : settings(std::move(settings))
    , faults(faults)
    , devices(devices)
{
    if (this->settings.certificate) {
        http = std::make_unique<httplib::SSLServer>(
            this->settings.certificate->certificate(), this->settings.certificate->privateKey());
    } else {
        http = std::make_unique<httplib::Server>();
    }
    // One request per connection: a client's idle keep-alive connection would otherwise hold stop() for
    // seconds.
    http->set_keep_alive_max_count(1);
    http->set_payload_max_length(kMaxRequestBytes);
    http->set_read_timeout(5, 0);
    http->set_write_timeout(5, 0);

    using httplib::Request;
    using httplib::Response;
    http->Post(kLoginPath, [this](const Request &q, Response &r) { handleLogin(q, r); });
    http->Post(kDevicePath, [this](const Request &q, Response &r) { handleDevice(q, r); });
    http->Post("/control/fault", [this](const Request &q, Response &r) { handleFaultControl(q, r); });
    http->Get("/control/last-body", [this](const Request &q, Response &r) { handleLastBody(q, r); });
    http->Get("/control/requests", [this](const Request &q, Response &r) { handleRequestCount(q, r); });
    http->Get("/devices", [this](const Request &q, Response &r) {
        r.set_content(this->devices.toJson().toStdString(), kJsonType);
        log(q, QStringLiteral("200"));
    });
    auto notFound = [this](const Request &q, Response &r) {
        r.status = 404;
        r.set_content("not found\n", "text/plain");
        log(q, QStringLiteral("404"));
    };
    http->Get(".*", notFound);
    http->Post(".*", notFound);
}

OrvaTestServer::~OrvaTestServer() = default;

int OrvaTestServer::bind()
{
    const std::string host = settings.host.toStdString();
    if (settings.port == 0)
        boundPort = http->bind_to_any_port(host);
    else
        boundPort = http->bind_to_port(host, settings.port) ? settings.port : -1;
    return boundPort;
}

bool OrvaTestServer::run()
{
    return http->listen_after_bind();
}

void OrvaTestServer::stop()
{
    stopping = true;
    http->stop();
}

QString OrvaTestServer::baseUrl() const
{
    QUrl url;
    url.setScheme(settings.certificate ? QStringLiteral("https") : QStringLiteral("http"));
    url.setHost(settings.host);
    url.setPort(boundPort);
    return url.toString();
}

FaultPlan::Fault OrvaTestServer::takeRequest(FaultPlan::Endpoint endpoint, const httplib::Request &request)
{
    {
        std::lock_guard<std::mutex> lock(lastBodyMutex);
        (endpoint == FaultPlan::Endpoint::Login ? lastLoginBody : lastDeviceBody) = request.body;
    }
    ++(endpoint == FaultPlan::Endpoint::Login ? loginRequests : deviceRequests);
    const FaultPlan::Fault fault = faults.take(endpoint);
    if (fault.kind == FaultPlan::Kind::Silence)
        holdFor(fault.seconds);
    return fault;
}

void OrvaTestServer::handleLogin(const httplib::Request &request, httplib::Response &response)
{
    const FaultPlan::Fault fault = takeRequest(FaultPlan::Endpoint::Login, request);

    QString note;
    Answer answer = loginAnswer(request.body, request.get_header_value("Content-Type"), &note);
    if (fault.kind == FaultPlan::Kind::OddToken && !answer.token.empty()) {
        answer.token = FaultPlan::oddToken();
        std::lock_guard<std::mutex> lock(tokensMutex);
        tokens.insert(answer.token);
    }
    // Faults that replace the answer still come with a valid token, so that only the fault decides.
    if (answer.token.empty() && (fault.kind == FaultPlan::Kind::Malformed || fault.kind == FaultPlan::Kind::Huge))
        answer.token = issueToken();
    if (!answer.token.empty())
        note += QStringLiteral(" token=") + shortToken(answer.token);
    if (fault.kind == FaultPlan::Kind::Token && !answer.token.empty()) {
        if (fault.hasToken) {
            answer.token = fault.token;
            std::lock_guard<std::mutex> lock(tokensMutex);
            tokens.insert(answer.token);
        }
        const std::vector<std::string> headers(size_t(fault.copies), answer.token);
        const bool sent = sendRaw(request, rawAnswer(answer.status, headers, answer.body, answer.body.size()));
        log(request, QString::number(answer.status),
            QStringLiteral("fault token: %1 header(s) of %2 bytes%3")
                .arg(fault.copies)
                .arg(answer.token.size())
                .arg(sent ? QString() : QStringLiteral(", send failed")));
        return;
    }
    if (applyFault(fault, Endpoint::Login, request, response, answer))
        return;
    sendAnswer(response, answer);
    log(request, QString::number(answer.status), note);
}

OrvaTestServer::Answer OrvaTestServer::loginAnswer(
    const std::string &body, const std::string &contentType, QString *note)
{
    Answer answer;
    if (mediaType(contentType) != kFormType) {
        answer.status = 415;
        answer.body = rcBody(415);
        *note = QStringLiteral("content type \"%1\"").arg(QString::fromStdString(contentType));
        return answer;
    }
    std::map<std::string, std::string> fields;
    if (!parseForm(body, &fields) || !fields.count("username") || !fields.count("password")) {
        answer.status = 400;
        answer.body = rcBody(400);
        *note = QStringLiteral("malformed form");
        return answer;
    }
    const QString user = QString::fromStdString(fields["username"]);
    const bool granted
        = user == settings.userName && QString::fromStdString(fields["password"]) == settings.passwordDigest;
    const int rc = granted ? kGranted : kWrongCredentials;
    answer.body = rcBody(rc);
    if (granted)
        answer.token = issueToken();
    *note = QStringLiteral("rc=%1 user=\"%2\"").arg(rc).arg(user);
    return answer;
}

void OrvaTestServer::handleDevice(const httplib::Request &request, httplib::Response &response)
{
    const FaultPlan::Fault fault = takeRequest(FaultPlan::Endpoint::Device, request);
    // A faulty answer never stores the device, so a test sees exactly what a failed registration left.
    Answer faulty;
    faulty.body = statusBody(fault.kind == FaultPlan::Kind::Status ? fault.status : 200);
    if (applyFault(fault, Endpoint::Device, request, response, faulty))
        return;

    Answer answer;
    QString note;
    const QString contentType = QString::fromStdString(request.get_header_value("Content-Type"));
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(request.body), &error);
    const QString euid = document.object().value(QLatin1String("euid")).toString();
    if (!request.has_header(kTokenHeader) || !knownToken(request.get_header_value(kTokenHeader))) {
        answer.status = 401;
        note = QStringLiteral("no valid token");
    } else if (mediaType(request.get_header_value("Content-Type")) != kJsonType) {
        answer.status = 415;
        note = QStringLiteral("content type \"%1\"").arg(contentType);
    } else if (!document.isObject() || euid.isEmpty()) {
        answer.status = 400;
        note = QStringLiteral("not a device document");
    } else {
        switch (devices.store(euid, document.object())) {
        case DeviceStore::Result::Added:
            answer.status = 200;
            break;
        case DeviceStore::Result::Updated:
            answer.status = 201;
            break;
        case DeviceStore::Result::WriteFailed:
            answer.status = 500;
            break;
        }
        note = QStringLiteral("euid=%1").arg(euid);
    }
    answer.body = statusBody(answer.status);
    sendAnswer(response, answer);
    log(request, QString::number(answer.status), note);
}

bool OrvaTestServer::applyFault(const FaultPlan::Fault &fault, Endpoint endpoint, const httplib::Request &request,
    httplib::Response &response, const Answer &normal)
{
    Answer answer = normal;
    switch (fault.kind) {
    case FaultPlan::Kind::None:
    case FaultPlan::Kind::Silence:
    case FaultPlan::Kind::OddToken:
    case FaultPlan::Kind::Token:
        return false;
    case FaultPlan::Kind::CutOff: {
        std::vector<std::string> headers;
        if (!answer.token.empty())
            headers.push_back(answer.token);
        const bool sent
            = sendRaw(request, rawAnswer(answer.status, headers, answer.body, size_t(fault.announcedBytes)));
        log(request, QString::number(answer.status),
            QStringLiteral("fault cut off: %1 of %2 announced bytes%3")
                .arg(answer.body.size())
                .arg(fault.announcedBytes)
                .arg(sent ? QString() : QStringLiteral(", send failed")));
        return true;
    }
    case FaultPlan::Kind::Status:
        answer.status = fault.status;
        if (fault.hasBody)
            answer.body = fault.body;
        sendAnswer(response, answer);
        log(request, QString::number(answer.status), QStringLiteral("fault status"));
        return true;
    case FaultPlan::Kind::Malformed:
        answer.status = 200;
        answer.body = fault.body;
        sendAnswer(response, answer);
        log(request, QStringLiteral("200"), QStringLiteral("fault malformed body"));
        return true;
    case FaultPlan::Kind::Drop:
        log(request, dropConnection(request) ? QStringLiteral("dropped") : QStringLiteral("drop failed"));
        return true;
    case FaultPlan::Kind::Truncate:
    case FaultPlan::Kind::Stall: {
        if (!answer.token.empty())
            response.set_header(kTokenHeader, answer.token);
        response.status = answer.status;
        const std::string body = answer.body;
        const int hold = fault.kind == FaultPlan::Kind::Stall ? fault.seconds : 0;
        // Announcing the whole length and sending half leaves the client with an answer that ends mid-way.
        response.set_content_provider(
            body.size(), kJsonType, [this, body, hold](size_t, size_t, httplib::DataSink &sink) {
                sink.write(body.data(), body.size() / 2);
                holdFor(hold);
                return false;
            });
        log(request, QString::number(answer.status),
            hold ? QStringLiteral("fault stall %1 s").arg(hold) : QStringLiteral("fault truncated"));
        return true;
    }
    case FaultPlan::Kind::Huge: {
        if (!answer.token.empty())
            response.set_header(kTokenHeader, answer.token);
        response.status = 200;
        const std::string head = endpoint == Endpoint::Login ? "{\"rc\":200,\"pad\":\"" : "{\"status\":200,\"pad\":\"";
        const std::string tail = "\"}";
        const size_t total = size_t(fault.megabytes) * 1024 * 1024;
        response.set_content_provider(
            total, kJsonType, [head, tail, total](size_t offset, size_t, httplib::DataSink &sink) {
                std::string chunk;
                while (chunk.size() < kChunkBytes && offset + chunk.size() < total) {
                    const size_t at = offset + chunk.size();
                    if (at < head.size())
                        chunk += head.substr(at);
                    else if (at >= total - tail.size())
                        chunk += tail.substr(at - (total - tail.size()));
                    else
                        chunk.append(std::min(kChunkBytes - chunk.size(), total - tail.size() - at), 'x');
                }
                return sink.write(chunk.data(), chunk.size());
            });
        log(request, QStringLiteral("200"), QStringLiteral("fault huge body %1 MB").arg(fault.megabytes));
        return true;
    }
    }
    return false;
}

void OrvaTestServer::sendAnswer(httplib::Response &response, const Answer &answer)
{
    response.status = answer.status;
    if (!answer.token.empty())
        response.set_header(kTokenHeader, answer.token);
    response.set_content(answer.body, kJsonType);
}

void OrvaTestServer::handleFaultControl(const httplib::Request &request, httplib::Response &response)
{
    if (!isLoopback(request.remote_addr)) {
        response.status = 403;
        response.set_content("{\"error\":\"control is accepted from loopback only\"}", kJsonType);
        log(request, QStringLiteral("403"), QStringLiteral("not loopback"));
        return;
    }
    const QString error = faults.applyJson(QByteArray::fromStdString(request.body));
    if (error.isEmpty()) {
        response.set_content("{\"ok\":true}", kJsonType);
        log(request, QStringLiteral("200"), QString::fromStdString(request.body));
        return;
    }
    response.status = 400;
    QJsonObject reply;
    reply.insert(QStringLiteral("error"), error);
    response.set_content(QJsonDocument(reply).toJson(QJsonDocument::Compact).toStdString(), kJsonType);
    log(request, QStringLiteral("400"), error);
}

void OrvaTestServer::handleLastBody(const httplib::Request &request, httplib::Response &response)
{
    if (!isLoopback(request.remote_addr)) {
        response.status = 403;
        log(request, QStringLiteral("403"), QStringLiteral("not loopback"));
        return;
    }
    const std::string endpoint = request.get_param_value("endpoint");
    if (endpoint != "login" && endpoint != "device") {
        response.status = 400;
        log(request, QStringLiteral("400"));
        return;
    }
    std::lock_guard<std::mutex> lock(lastBodyMutex);
    response.set_content(endpoint == "login" ? lastLoginBody : lastDeviceBody, "application/octet-stream");
    log(request, QStringLiteral("200"));
}

void OrvaTestServer::handleRequestCount(const httplib::Request &request, httplib::Response &response)
{
    if (!isLoopback(request.remote_addr)) {
        response.status = 403;
        log(request, QStringLiteral("403"), QStringLiteral("not loopback"));
        return;
    }
    QJsonObject counts;
    counts.insert(QStringLiteral("login"), loginRequests.load());
    counts.insert(QStringLiteral("device"), deviceRequests.load());
    response.set_content(QJsonDocument(counts).toJson(QJsonDocument::Compact).toStdString(), kJsonType);
    log(request, QStringLiteral("200"));
}

std::string OrvaTestServer::issueToken()
{
    quint32 words[kTokenWords];
    QRandomGenerator::system()->fillRange(words);
    const std::string token = QByteArray(reinterpret_cast<const char *>(words), sizeof words).toHex().toStdString();
    std::lock_guard<std::mutex> lock(tokensMutex);
    tokens.insert(token);
    return token;
}

bool OrvaTestServer::knownToken(const std::string &token)
{
    std::lock_guard<std::mutex> lock(tokensMutex);
    return tokens.count(token) > 0;
}

void OrvaTestServer::holdFor(int seconds)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!stopping && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(kHoldStep);
}

void OrvaTestServer::log(const httplib::Request &request, const QString &status, const QString &note)
{
    const QString line = QStringLiteral("%1 %2 %3%4")
                             .arg(QString::fromStdString(request.method), QString::fromStdString(request.path), status,
                                 note.isEmpty() ? QString() : QStringLiteral(" ") + note.trimmed());
    std::lock_guard<std::mutex> lock(logMutex);
    std::fprintf(stdout, "%s\n", line.toLocal8Bit().constData());
    std::fflush(stdout);
}
