// orva-testserver: a small local registration server for the demo and the tests.

#include "commandlineoptions.h"
#include "devicestore.h"
#include "faultplan.h"
#include "orvatestserver.h"
#include "selfsignedcertificate.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>

#include <atomic>
#include <chrono>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <pthread.h>
#include <sys/prctl.h>
#include <unistd.h>
#include <thread>

namespace {
const char kDefaultHost[] = "127.0.0.1";
constexpr int kDefaultPort = 8080;
const char kDefaultUser[] = "operator";
const char kDefaultPassword[] = "tessaline";

int fail(const QString &message)
{
    std::fprintf(stderr, "orva-testserver: %s\n", qPrintable(message));
    return 2;
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orva-testserver"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("A local ORVA registration server for the demo and the tests.\n\n"
                       "POST /orvaservice/login/    form username=...&password=<upper-case hex MD5>; answers 200\n"
                       "                            {\"rc\":200} with a fresh DARV-Token header, or {\"rc\":401}\n"
                       "POST /orvaservice/iot/device  JSON device document with a valid DARV-Token header;\n"
                       "                            200 new euid, 201 known euid, 401 no valid token,\n"
                       "                            415 not application/json, 400 not a JSON object with \"euid\"\n"
                       "GET  /devices               the registered devices (JSON)\n"
                       "POST /control/fault         switch a fault at run time (loopback only)\n"
                       "GET  /control/last-body?endpoint=login|device  the last request body (loopback only)\n\n"
                       "Each request is logged on stdout as one line: method, path, status. SIGINT or SIGTERM\n"
                       "stops the server.\n\n")
        + FaultPlan::description());
    parser.addHelpOption();
    addOptionRows(parser,
        {
            {"host", "Address to listen on (default %1).", "address", QLatin1String(kDefaultHost)},
            {"port", "Port to listen on (default %1); 0 picks a free port, shown in the ready line.", "port",
                QString::number(kDefaultPort)},
            {"user", "User name the login accepts (default %1).", "name", QLatin1String(kDefaultUser)},
            {"password", "Password the login accepts (default %1); the login compares its MD5 digest.", "password",
                QLatin1String(kDefaultPassword)},
            {"devices", "JSON file that keeps the registered devices (default: a new file in the temp directory).",
                "file"},
            {"fault", "A fault to start with (repeatable); see Faults above.", "endpoint:kind[:arg]"},
            {"tls", "Serve https with a throwaway self-signed certificate for 127.0.0.1."},
            {"certificate-out",
                "With --tls, write the certificate (PEM) to this file, for a client that chooses to trust it.", "file"},
            {"ca-out",
                "With --tls, sign the certificate by a throwaway private authority and write the authority's\n"
                "certificate (PEM) to this file, for a client that is given it as its CA file.",
                "file"},
            {"stop-with-parent",
                "Stop when the program that started the server ends, even when it crashed (for test harnesses)."},
        });
    parser.process(app);

    bool portOk = false;
    const int port = parser.value(QStringLiteral("port")).toInt(&portOk);
    if (!portOk || port < 0 || port > 65535)
        return fail(QStringLiteral("--port takes 0 to 65535"));

    FaultPlan faults;
    for (const QString &option : parser.values(QStringLiteral("fault"))) {
        const QString error = faults.applyOption(option);
        if (!error.isEmpty())
            return fail(error);
    }

    const QString devicesFile = parser.isSet(QStringLiteral("devices"))
        ? parser.value(QStringLiteral("devices"))
        : QDir::temp().filePath(
            QStringLiteral("orva-testserver-devices-%1.json").arg(QCoreApplication::applicationPid()));
    DeviceStore devices(devicesFile);
    const QString loadError = devices.load();
    if (!loadError.isEmpty())
        return fail(loadError);

    SelfSignedCertificate certificate;
    OrvaTestServer::Settings settings;
    settings.host = parser.value(QStringLiteral("host"));
    settings.port = port;
    settings.userName = parser.value(QStringLiteral("user"));
    settings.passwordDigest = QString::fromLatin1(
        QCryptographicHash::hash(parser.value(QStringLiteral("password")).toUtf8(), QCryptographicHash::Md5)
            .toHex()
            .toUpper());
    settings.devicesFile = devicesFile;
    if (parser.isSet(QStringLiteral("tls"))) {
        const bool byAuthority = parser.isSet(QStringLiteral("ca-out"));
        const QString error = byAuthority ? certificate.generateSignedByAuthority() : certificate.generate();
        if (!error.isEmpty())
            return fail(error);
        settings.certificate = &certificate;
        if (byAuthority) {
            QFile out(parser.value(QStringLiteral("ca-out")));
            if (!out.open(QIODevice::WriteOnly) || out.write(certificate.authorityPem()) < 0)
                return fail(QStringLiteral("cannot write the authority's certificate: %1").arg(out.errorString()));
        }
        if (parser.isSet(QStringLiteral("certificate-out"))) {
            QFile out(parser.value(QStringLiteral("certificate-out")));
            if (!out.open(QIODevice::WriteOnly) || out.write(certificate.certificatePem()) < 0)
                return fail(QStringLiteral("cannot write the certificate: %1").arg(out.errorString()));
        }
    }

    // Signals are taken by one thread with sigwait, so that stopping happens in ordinary code; the worker
    // threads inherit the blocked mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    if (parser.isSet(QStringLiteral("stop-with-parent"))) {
        // From here on the kernel sends SIGTERM when the parent ends, and the signal waiter below stops the
        // server. A parent that is already gone has handed the server to init, which asks for the same.
        if (prctl(PR_SET_PDEATHSIG, SIGTERM) != 0)
            return fail(QStringLiteral("--stop-with-parent: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
        if (getppid() == 1)
            kill(getpid(), SIGTERM);
    }

    OrvaTestServer server(settings, faults, devices);
    const int boundPort = server.bind();
    if (boundPort < 0)
        return fail(QStringLiteral("cannot listen on %1 port %2").arg(settings.host).arg(port));

    std::atomic<bool> finished{false};
    std::thread signalWaiter([&server, &finished, &stopSignals]() {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        // A signal that arrives before the server runs would find nothing to stop, so keep asking until it has
        // finished.
        while (!finished) {
            server.stop();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });

    std::printf("orva-testserver: user \"%s\", devices in %s\n", qPrintable(settings.userName),
        qPrintable(QDir::toNativeSeparators(devicesFile)));
    std::printf("orva-testserver listening on %s\n", qPrintable(server.baseUrl()));
    std::fflush(stdout);

    const bool served = server.run();
    finished = true;
    // When serving ended on its own, the waiting thread still needs a signal to finish.
    pthread_kill(signalWaiter.native_handle(), SIGTERM);
    signalWaiter.join();
    std::printf("orva-testserver stopped\n");
    std::fflush(stdout);
    return served ? 0 : 1;
}
