#include "jsondeviceregister.h"

#include <QDebug>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkRequest>
#include <QUrl>

#include <cmath>

namespace {
const char kDevicePath[] = "/orvaservice/iot/device";
constexpr int kThresholdId = 1;

enum DeviceCommunication { CommPellimar = 1, CommLoRaOTAA = 2, CommSigFox = 3 };

QString deviceDescription(int deviceType)
{
    switch (deviceType) {
    case 1:
        return QStringLiteral("Device with full MEMS");
    case 2:
        return QStringLiteral("Device with a GPS");
    case 3:
        return QStringLiteral("Device with 5 Digital inputs");
    default:
        return QStringLiteral("Unknown");
    }
}

// A threshold never read from the node is NaN; JSON has no NaN or infinity, so "no value" goes out as null.
QJsonValue thresholdValue(float value)
{
    return std::isfinite(value) ? QJsonValue(double(value)) : QJsonValue(QJsonValue::Null);
}

QJsonObject rangeThreshold(const char *label, float low, float high)
{
    QJsonObject threshold;
    threshold.insert(QStringLiteral("label"), QLatin1String(label));
    threshold.insert(QStringLiteral("low"), thresholdValue(low));
    threshold.insert(QStringLiteral("high"), thresholdValue(high));
    threshold.insert(QStringLiteral("id"), kThresholdId);
    return threshold;
}

void prependThreshold(QJsonArray &thresholds, const QJsonObject &threshold)
{
    thresholds.prepend(threshold);
}
} // namespace

QNetworkRequest JSONdeviceRegister::request(const QString &serverAddress, const QByteArray &token)
{
    QNetworkRequest request{QUrl(serverAddress + QLatin1String(kDevicePath))};
    request.setRawHeader("DARV-Token", token);
    request.setRawHeader("Content-Type", "application/json");
    return request;
}

QJsonObject JSONdeviceRegister::deviceDocument(const Node &node)
{
    QJsonObject document;
    document.insert(QStringLiteral("DeviceType"), node.deviceType);
    document.insert(QStringLiteral("DeviceDescription"), deviceDescription(node.deviceType));
    document.insert(QStringLiteral("DeviceCommunication"), node.deviceCommunication);
    document.insert(QStringLiteral("DeviceName"), node.lockDescription);
    QString euid = node.euid;
    euid.remove(QLatin1Char(':'));
    document.insert(QStringLiteral("euid"), euid);
    if (node.deviceCommunication == CommPellimar || node.deviceCommunication == CommLoRaOTAA) {
        document.insert(QStringLiteral("appkey"), node.appKey);
        document.insert(QStringLiteral("appid"), node.appId);
    }
    if (node.deviceCommunication == CommPellimar)
        document.insert(QStringLiteral("netid"), node.netId);
    if (node.deviceCommunication == CommSigFox)
        document.insert(QStringLiteral("pac"), node.pac);
    document.insert(QStringLiteral("version"), node.versionText());

    const NodeThresholds &t = node.thresholds;
    QJsonArray thresholds;
    prependThreshold(thresholds, rangeThreshold("temperature", t.temperatureLow, t.temperatureHigh));
    prependThreshold(thresholds, rangeThreshold("humidity", t.humidityLow, t.humidityHigh));
    prependThreshold(thresholds, rangeThreshold("pressure", t.pressureLow, t.pressureHigh));
    QJsonObject gravity;
    gravity.insert(QStringLiteral("label"), QStringLiteral("gravity"));
    gravity.insert(QStringLiteral("high"), thresholdValue(t.accelX));
    prependThreshold(thresholds, gravity);
    document.insert(QStringLiteral("thresholds"), thresholds);
    return document;
}

QByteArray JSONdeviceRegister::documentBytes(const Node &node)
{
    return QJsonDocument(deviceDocument(node)).toJson(QJsonDocument::Compact);
}

QByteArray JSONdeviceRegister::loggedDocument(const QByteArray &document)
{
    // The application key is the node's LoRa root secret; the log shows that it was sent, not its value.
    QJsonObject logged = QJsonDocument::fromJson(document).object();
    if (logged.contains(QStringLiteral("appkey")))
        logged.insert(QStringLiteral("appkey"), QStringLiteral("(hidden)"));
    return QJsonDocument(logged).toJson(QJsonDocument::Compact);
}
