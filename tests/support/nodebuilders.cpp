#include "nodebuilders.h"

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
    if (options.thresholdsRead) {
        node.thresholds.temperatureHigh = 50;
        node.thresholds.temperatureLow = -10;
        node.thresholds.humidityHigh = 90;
        node.thresholds.humidityLow = 10;
        node.thresholds.pressureHigh = 1234;
        node.thresholds.pressureLow = 250;
        node.thresholds.accelX = 150;
        node.thresholds.accelY = 3;
        node.thresholds.accelZ = 4;
        node.thresholds.accelD = 128;
    }
    node.reportRate = options.reportRate;
    return node;
}

Node editedNode()
{
    Node node;
    node.appId = QStringLiteral("1122334455667788");
    node.appKey = QStringLiteral("000102030405060708090A0B0C0D0E0F");
    node.netId = QStringLiteral("0000ABCD");
    node.thresholds.temperatureLow = -5.7f;
    node.thresholds.temperatureHigh = 30.9f;
    node.thresholds.humidityLow = 20.0f;
    node.thresholds.humidityHigh = 80.5f;
    node.thresholds.pressureLow = 12.345f;
    node.thresholds.pressureHigh = 700.0f;
    node.thresholds.accelX = 1.5f;
    node.thresholds.accelY = 2.0f;
    node.thresholds.accelZ = 3.0f;
    node.thresholds.accelD = 4.0f;
    node.reportRate = 1;
    return node;
}
