#pragma once

// What a node stores when it takes the lines a write sends: the real write lines (NodeCMDsetThreshold::lineFor)
// parsed the way the node parses them, giving the record the link reads back after the reset.
#include "node.h"
#include "nodecmdsetthreshold.h"
#include "protectedfieldcipher.h"

#include <QList>

inline Node storedAfterWrite(Node node, const Node &written, int flags)
{
    static const ProtectedFieldCipher encoder(ProtectedFieldCipher::Encrypt);
    static const ProtectedFieldCipher decoder(ProtectedFieldCipher::Decrypt);
    NodeThresholds &t = node.thresholds;
    for (int flag = Node::FlagAppId; flag <= Node::FlagReportRate; flag <<= 1) {
        if (!(flags & flag))
            continue;
        const QList<QByteArray> words = NodeCMDsetThreshold::lineFor(written, flag, encoder).trimmed().split(' ');
        if (words.size() < 2)
            continue; // nothing that could be sent
        const QString field = QString::fromLatin1(words.at(1));
        const float first = words.at(1).toFloat();
        const float second = words.size() > 2 ? words.at(2).toFloat() : 0;
        switch (flag) {
        case Node::FlagAppId:
            node.appId = decoder.decodeProtected(field, 8).toUpper();
            break;
        case Node::FlagAppKey:
            node.appKey = decoder.decodeProtected(field, 16).toUpper();
            break;
        case Node::FlagNetId:
            node.netId = decoder.decodeProtected(field, 4).toUpper();
            break;
        case Node::FlagTemperature:
            t.temperatureLow = first;
            t.temperatureHigh = second;
            break;
        case Node::FlagHumidity:
            t.humidityLow = first;
            t.humidityHigh = second;
            break;
        case Node::FlagPressure:
            t.pressureLow = first;
            t.pressureHigh = second;
            break;
        case Node::FlagAccelerometer:
            t.accelX = first;
            break;
        case Node::FlagReportRate:
            // The read gives whole minutes, rounded toward zero.
            node.reportRate = words.at(1).toInt() / 60000;
            break;
        }
    }
    return node;
}

// A LoRa OTAA node as the link reads it: pressure and acceleration in the node's hundredths.
inline Node loraNodeAsRead()
{
    Node node;
    node.applyCommunication(QStringLiteral("LoRa OTAA"));
    node.nodeVersion = QStringLiteral("v2.4.1");
    node.euid = QStringLiteral("70B3D57ED0000A01");
    node.appId = QStringLiteral("0004A30B001C0A00");
    node.appKey = QStringLiteral("2B7E151628AED2A6ABF7158809CF4F3C");
    node.netId = QStringLiteral("00000013");
    NodeThresholds &t = node.thresholds;
    t.temperatureLow = -10;
    t.temperatureHigh = 50;
    t.humidityLow = 10;
    t.humidityHigh = 90;
    t.pressureLow = 250;
    t.pressureHigh = 1234;
    t.accelX = 150;
    t.accelY = 0;
    t.accelZ = 0;
    t.accelD = 128;
    node.reportRate = 15;
    return node;
}
