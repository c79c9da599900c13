#include "nodebuilders.h"

NodeThresholds nodeThresholds(float temperatureHigh, float temperatureLow, float humidityHigh, float humidityLow,
    float pressureHigh, float pressureLow, float accelX, float accelY, float accelZ, float accelD)
{
    NodeThresholds t;
    t.temperatureHigh = temperatureHigh;
    t.temperatureLow = temperatureLow;
    t.humidityHigh = humidityHigh;
    t.humidityLow = humidityLow;
    t.pressureHigh = pressureHigh;
    t.pressureLow = pressureLow;
    t.accelX = accelX;
    t.accelY = accelY;
    t.accelZ = accelZ;
    t.accelD = accelD;
    return t;
}

Node healthyNode(Node::eFirmwareType type, const NodeOptions &options)
{
    Node node;
    node.applyCommunication(Node::communicationText(type));
    node.firmwareType = type;
    node.lockDescription = options.lockDescription;
    node.nodeVersion = options.nodeVersion.isEmpty() ? QStringLiteral("v%1.0.2").arg(int(type)) : options.nodeVersion;
    node.moduleVersion = QStringLiteral("1.4");
    node.loraVersion = QStringLiteral("4.2.1");
    if (Node::isSigfoxType(type)) {
        node.euid = QStringLiteral("C0FFEE");
        node.pac = QStringLiteral("0123456789ABCDEF");
    } else {
        node.euid = QStringLiteral("70B3D57ED0000A01");
        node.appId = QStringLiteral("0004A30B001C0A00");
        node.appKey = QStringLiteral("2B7E151628AED2A6ABF7158809CF4F3C");
        node.netId = QStringLiteral("00000013");
    }
    if (!options.euid.isEmpty())
        node.euid = options.euid;
    if (options.thresholdsRead)
        node.thresholds = nodeThresholds(50, -10, 90, 10, 1234, 250, 150, 3, 4, 128);
    node.reportRate = options.reportRate;
    return node;
}

Node editedNode()
{
    Node node;
    node.appId = QStringLiteral("1122334455667788");
    node.appKey = QStringLiteral("000102030405060708090A0B0C0D0E0F");
    node.netId = QStringLiteral("0000ABCD");
    node.thresholds = nodeThresholds(30.9f, -5.7f, 80.5f, 20.0f, 700.0f, 12.345f, 1.5f, 2.0f, 3.0f, 4.0f);
    node.reportRate = 1;
    return node;
}

Node announcedNode(const SimNodeProfile &p, int type, int deviceType, int deviceCommunication, const QString &euid)
{
    Node n;
    n.firmwareType = Node::eFirmwareType(type);
    n.deviceType = deviceType;
    n.deviceCommunication = deviceCommunication;
    n.nodeVersion = p.nodeVersion;
    n.moduleVersion = p.moduleVersion;
    n.loraVersion = p.loraVersion;
    n.euid = euid;
    if (!p.configured) {
        n.appId = QStringLiteral("0000000000000000");
        n.appKey = QStringLiteral("00000000000000000000000000000000");
    } else if (p.communication.startsWith(QLatin1String("SigFox"))) {
        n.pac = p.sigfoxPac;
    } else {
        n.appId = p.appEui;
        n.appKey = p.appKey;
        // Only Pellimar nodes print their network id.
        if (p.communication.startsWith(QLatin1String("Pellimar")))
            n.netId = p.netId;
    }
    n.thresholds = nodeThresholds(p.temperatureHigh, p.temperatureLow, p.humidityHigh, p.humidityLow, p.pressureHigh,
        p.pressureLow, p.accelX, p.accelY, p.accelZ, p.accelD);
    n.reportRate = qint32(p.reportRateMs / 60000);
    return n;
}

QString describeNode(const Node &n)
{
    const NodeThresholds &t = n.thresholds;
    return QStringLiteral("type %1/%2/%3 euid %4 pac %5 app %6 key %7 net %8 versions %9 rate %10 "
                          "T %11/%12 H %13/%14 P %15/%16 A %17 %18 %19 %20")
        .arg(int(n.firmwareType))
        .arg(n.deviceType)
        .arg(n.deviceCommunication)
        .arg(n.euid, n.pac, n.appId, n.appKey, n.netId, n.versionText())
        .arg(n.reportRate)
        .arg(double(t.temperatureLow))
        .arg(double(t.temperatureHigh))
        .arg(double(t.humidityLow))
        .arg(double(t.humidityHigh))
        .arg(double(t.pressureLow))
        .arg(double(t.pressureHigh))
        .arg(double(t.accelX))
        .arg(double(t.accelY))
        .arg(double(t.accelZ))
        .arg(double(t.accelD));
}
