#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>

// Runs build/bin/orva-testserver (found through IOT_BIN_DIR) on a free loopback port for one test, with its
// devices file in a private temporary directory, and talks to its control endpoints. Usable from any test
// folder: link the `testserverprocess` library.
class TestServerProcess
{
public:
    // Demo credentials the server is started with unless the extra arguments name others.
    static constexpr const char *kUser = "operator";
    static constexpr const char *kPassword = "tessaline";

    explicit TestServerProcess(const QStringList &extraArguments = {});
    ~TestServerProcess();
    TestServerProcess(const TestServerProcess &) = delete;
    TestServerProcess &operator=(const TestServerProcess &) = delete;

    // Starts the server and waits for its ready line. False (see errorString()) when it did not come up.
    bool start(int timeoutMs = 10000);
    // Sends SIGTERM (or SIGINT) and waits; true when the server ended by itself with exit code 0.
    bool stop(bool interrupt = false, int timeoutMs = 10000);
    bool isRunning() const;
    // Starts the stopped server again on the port it had, with the devices it stored (a server back after
    // being down). The tokens it issued before are gone, as with a real server's restart.
    bool restartOnSamePort(int timeoutMs = 10000);

    int port() const { return serverPort; }
    // "http://127.0.0.1:PORT" (https with --tls), ready to be used as the tool's server address.
    QString baseUrl() const { return url; }
    QString devicesFile() const;
    QString errorString() const { return error; }
    // Everything the server printed on stdout so far.
    QString output();

    // Switches a fault at run time: endpoint "login", "device" or "both", kind and arguments as in
    // `orva-testserver --help`, e.g. setFault("login", "status", {{"status", 403}}).
    bool setFault(const QString &endpoint, const QString &kind, const QJsonObject &arguments = {});
    bool clearFaults() { return setFault(QStringLiteral("both"), QStringLiteral("none")); }
    // GET /devices: the stored records (each {"euid", "document", ...}).
    QByteArray devices();
    // How often the device with this DevEUI was registered (separators and case do not matter).
    int registrationsOf(const QString &devEui);
    // The stored document of the first device whose EUID `matches` accepts; an empty object when there is none.
    QJsonObject storedDocument(const std::function<bool(const QString &euid)> &matches);
    // The body of the last request to "login" or "device", byte for byte as the server received it.
    QByteArray lastBody(const QString &endpoint);
    // How many requests the server received at "login" or "device" since it started; -1 when it cannot tell.
    int requestCount(const QString &endpoint);

    static QString executablePath();

private:
    // One blocking control request on a private network manager; empty on failure.
    QByteArray control(const QByteArray &method, const QString &path, const QByteArray &body, int *status);

    QTemporaryDir dir;
    QStringList arguments;
    QProcess process;
    QByteArray collected;
    QString url;
    QString error;
    int serverPort = -1;
};
