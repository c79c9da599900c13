#include "testserverprocess.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QTimer>
#include <QUrl>

#include <csignal>

namespace {
constexpr int kControlTimeoutMs = 10000;
}

TestServerProcess::TestServerProcess(const QStringList &extraArguments)
{
    arguments << QStringLiteral("--host") << QStringLiteral("127.0.0.1") << QStringLiteral("--port")
              << QStringLiteral("0") << QStringLiteral("--devices") << devicesFile();
    if (!extraArguments.contains(QStringLiteral("--user")))
        arguments << QStringLiteral("--user") << QLatin1String(kUser);
    if (!extraArguments.contains(QStringLiteral("--password")))
        arguments << QStringLiteral("--password") << QLatin1String(kPassword);
    // A test that crashes must not leave the server behind: it would hold the test's output pipe open.
    arguments << extraArguments << QStringLiteral("--stop-with-parent");
    // The ready line and the request log come on stdout; errors go straight to the test's own output.
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
}

TestServerProcess::~TestServerProcess()
{
    if (isRunning() && !stop()) {
        process.kill();
        process.waitForFinished(5000);
    }
}

QString TestServerProcess::executablePath()
{
    return qEnvironmentVariable("IOT_BIN_DIR") + QStringLiteral("/orva-testserver");
}

QString TestServerProcess::devicesFile() const
{
    return dir.filePath(QStringLiteral("devices.json"));
}

bool TestServerProcess::start(int timeoutMs)
{
    if (!dir.isValid()) {
        error = QStringLiteral("no temporary directory");
        return false;
    }
    process.start(executablePath(), arguments);
    if (!process.waitForStarted(timeoutMs)) {
        error = QStringLiteral("%1 did not start: %2").arg(executablePath(), process.errorString());
        return false;
    }
    static const QRegularExpression ready(
        QStringLiteral("^orva-testserver listening on (https?://[^\\s]+:(\\d+))"), QRegularExpression::MultilineOption);
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        collected += process.readAllStandardOutput();
        const QRegularExpressionMatch match = ready.match(QString::fromLocal8Bit(collected));
        if (match.hasMatch()) {
            url = match.captured(1);
            serverPort = match.captured(2).toInt();
            return true;
        }
        if (process.state() == QProcess::NotRunning)
            break;
        process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
    }
    error = QStringLiteral("no ready line from orva-testserver; output: %1").arg(QString::fromLocal8Bit(collected));
    return false;
}

bool TestServerProcess::stop(bool interrupt, int timeoutMs)
{
    if (!isRunning())
        return false;
    ::kill(pid_t(process.processId()), interrupt ? SIGINT : SIGTERM);
    if (!process.waitForFinished(timeoutMs))
        return false;
    collected += process.readAllStandardOutput();
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool TestServerProcess::restartOnSamePort(int timeoutMs)
{
    if (isRunning() || serverPort <= 0)
        return false;
    const int index = arguments.indexOf(QStringLiteral("--port"));
    if (index < 0 || index + 1 >= arguments.size())
        return false;
    arguments[index + 1] = QString::number(serverPort);
    const int previousPort = serverPort;
    return start(timeoutMs) && serverPort == previousPort;
}

bool TestServerProcess::isRunning() const
{
    return process.state() != QProcess::NotRunning;
}

QString TestServerProcess::output()
{
    collected += process.readAllStandardOutput();
    return QString::fromLocal8Bit(collected);
}

bool TestServerProcess::setFault(const QString &endpoint, const QString &kind, const QJsonObject &argumentsObject)
{
    QJsonObject fault = argumentsObject;
    fault.insert(QStringLiteral("endpoint"), endpoint);
    fault.insert(QStringLiteral("kind"), kind);
    int status = 0;
    control("POST", QStringLiteral("/control/fault"), QJsonDocument(fault).toJson(QJsonDocument::Compact), &status);
    return status == 200;
}

QByteArray TestServerProcess::devices()
{
    int status = 0;
    return control("GET", QStringLiteral("/devices"), QByteArray(), &status);
}

int TestServerProcess::registrationsOf(const QString &devEui)
{
    const auto hexOnly
        = [](QString text) { return text.remove(QRegularExpression(QStringLiteral("[^0-9A-Fa-f]"))).toUpper(); };
    int registrations = 0;
    for (const QJsonValue &record : QJsonDocument::fromJson(devices()).array()) {
        if (hexOnly(record.toObject().value(QStringLiteral("euid")).toString()) == hexOnly(devEui))
            registrations += record.toObject().value(QStringLiteral("registrations")).toInt();
    }
    return registrations;
}

QJsonObject TestServerProcess::storedDocument(const std::function<bool(const QString &euid)> &matches)
{
    for (const QJsonValue &record : QJsonDocument::fromJson(devices()).array()) {
        if (matches(record.toObject().value(QLatin1String("euid")).toString()))
            return record.toObject().value(QLatin1String("document")).toObject();
    }
    return QJsonObject();
}

QByteArray TestServerProcess::lastBody(const QString &endpoint)
{
    int status = 0;
    return control("GET", QStringLiteral("/control/last-body?endpoint=") + endpoint, QByteArray(), &status);
}

int TestServerProcess::requestCount(const QString &endpoint)
{
    int status = 0;
    const QJsonObject counts
        = QJsonDocument::fromJson(control("GET", QStringLiteral("/control/requests"), QByteArray(), &status)).object();
    return status == 200 ? counts.value(endpoint).toInt(-1) : -1;
}

QByteArray TestServerProcess::control(
    const QByteArray &method, const QString &path, const QByteArray &body, int *status)
{
    *status = 0;
    QNetworkAccessManager manager;
    QNetworkRequest request(QUrl(url + path));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    QNetworkReply *reply = manager.sendCustomRequest(request, method, body);
    QEventLoop loop;
    QTimer::singleShot(kControlTimeoutMs, &loop, &QEventLoop::quit);
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
    QByteArray answer;
    if (reply->isFinished()) {
        *status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        answer = reply->readAll();
    } else {
        reply->abort();
    }
    delete reply;
    return answer;
}
