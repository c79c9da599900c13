#pragma once

#include "devicestore.h"
#include "faultplan.h"

#include <QString>

#include <atomic>
#include <memory>
#include <mutex>
#include <set>
#include <string>

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib
class SelfSignedCertificate;

// A small registration server: login with a user name and password digest for a token, device registration
// with that token, a device list, and switchable faults for tests. Requests are served on httplib's worker
// threads; everything shared between them is locked.
class OrvaTestServer
{
public:
    struct Settings
    {
        QString host;
        int port = 0; // 0: any free port
        QString userName;
        QString passwordDigest; // upper-case hex MD5 of the password
        QString devicesFile;
        const SelfSignedCertificate *certificate = nullptr; // https when set
    };

    OrvaTestServer(Settings settings, FaultPlan &faults, DeviceStore &devices);
    ~OrvaTestServer();

    // Binds the listening socket. Returns the port, or -1.
    int bind();
    // Serves until stop() is called.
    bool run();
    // Ends run() soon; callable from any thread. Requests held by a fault are released.
    void stop();

    QString baseUrl() const;

private:
    enum class Endpoint { Login, Device };
    struct Answer
    {
        int status = 200;
        std::string body;
        std::string token; // sent as "DARV-Token" when not empty
    };

    // Keeps the request's body as the endpoint's last one and holds a silent fault's time; returns the fault.
    FaultPlan::Fault takeRequest(FaultPlan::Endpoint endpoint, const httplib::Request &request);
    void handleLogin(const httplib::Request &request, httplib::Response &response);
    void handleDevice(const httplib::Request &request, httplib::Response &response);
    void handleFaultControl(const httplib::Request &request, httplib::Response &response);
    void handleLastBody(const httplib::Request &request, httplib::Response &response);
    // How many login and device requests arrived, whatever they were answered.
    void handleRequestCount(const httplib::Request &request, httplib::Response &response);

    Answer loginAnswer(const std::string &body, const std::string &contentType, QString *note);
    std::string issueToken();
    bool knownToken(const std::string &token);
    // Answers with the fault, when it replaces the normal answer; returns false when the request should be
    // served normally (after a silence, for instance).
    bool applyFault(const FaultPlan::Fault &fault, Endpoint endpoint, const httplib::Request &request,
        httplib::Response &response, const Answer &normal);
    void sendAnswer(httplib::Response &response, const Answer &answer);
    // Sleeps up to seconds, returning early when the server stops.
    void holdFor(int seconds);
    void log(const httplib::Request &request, const QString &status, const QString &note = QString());

    Settings settings;
    FaultPlan &faults;
    DeviceStore &devices;
    std::unique_ptr<httplib::Server> http;
    int boundPort = -1;
    std::atomic<bool> stopping{false};
    std::atomic<int> loginRequests{0};
    std::atomic<int> deviceRequests{0};

    std::mutex tokensMutex;
    std::set<std::string> tokens;
    std::mutex lastBodyMutex;
    std::string lastLoginBody;
    std::string lastDeviceBody;
    std::mutex logMutex;
};
