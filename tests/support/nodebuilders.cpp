#include "nodebuilders.h"

namespace {
// Pairs high value first, as NodeThresholds holds them.
NodeThresholds thresholdsOf(float temperatureHigh, float temperatureLow, float humidityHigh, float humidityLow,
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
} // namespace

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
        node.thresholds = thresholdsOf(50, -10, 90, 10, 1234, 250, 150, 3, 4, 128);
    node.reportRate = options.reportRate;
    return node;
}

Node editedNode()
{
    Node node;
    node.appId = QStringLiteral("1122334455667788");
    node.appKey = QStringLiteral("000102030405060708090A0B0C0D0E0F");
    node.netId = QStringLiteral("0000ABCD");
    node.thresholds = thresholdsOf(30.9f, -5.7f, 80.5f, 20.0f, 700.0f, 12.345f, 1.5f, 2.0f, 3.0f, 4.0f);
    node.reportRate = 1;
    return node;
}
