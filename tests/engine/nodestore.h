#pragma once

// What a node stores when it takes the lines a write sends: the real write lines (NodeCMDsetThreshold::lineFor)
// parsed the way the node parses them, giving the record the link reads back after the reset.
#include "node.h"
#include "nodebuilders.h"
#include "nodecmdsetthreshold.h"
#include "protectedfieldcipher.h"

#include <QList>

namespace nodestore {
// A protected identifier: the update flag that writes it, its field and its meaningful bytes.
struct ProtectedField
{
    int flag;
    QString Node::*field;
    int bytes;
};

// A threshold pair: the update flag that writes it and the fields of the two numbers on its line.
struct ThresholdPair
{
    int flag;
    float NodeThresholds::*first;
    float NodeThresholds::*second; // null: the line's second number is not stored
};

const ProtectedField kProtectedFields[] = {
    {Node::FlagAppId, &Node::appId, 8},
    {Node::FlagAppKey, &Node::appKey, 16},
    {Node::FlagNetId, &Node::netId, 4},
};

const ThresholdPair kThresholdPairs[] = {
    {Node::FlagTemperature, &NodeThresholds::temperatureLow, &NodeThresholds::temperatureHigh},
    {Node::FlagHumidity, &NodeThresholds::humidityLow, &NodeThresholds::humidityHigh},
    {Node::FlagPressure, &NodeThresholds::pressureLow, &NodeThresholds::pressureHigh},
    {Node::FlagAccelerometer, &NodeThresholds::accelX, nullptr},
};
} // namespace nodestore

inline Node storedAfterWrite(Node node, const Node &written, int flags)
{
    static const ProtectedFieldCipher encoder(ProtectedFieldCipher::Encrypt);
    static const ProtectedFieldCipher decoder(ProtectedFieldCipher::Decrypt);
    for (int flag = Node::FlagAppId; flag <= Node::FlagReportRate; flag <<= 1) {
        if (!(flags & flag))
            continue;
        const QList<QByteArray> words = NodeCMDsetThreshold::lineFor(written, flag, encoder).trimmed().split(' ');
        if (words.size() < 2)
            continue; // nothing that could be sent
        for (const nodestore::ProtectedField &p : nodestore::kProtectedFields) {
            if (p.flag == flag)
                node.*p.field = decoder.decodeProtected(QString::fromLatin1(words.at(1)), p.bytes).toUpper();
        }
        for (const nodestore::ThresholdPair &pair : nodestore::kThresholdPairs) {
            if (pair.flag != flag)
                continue;
            node.thresholds.*pair.first = words.at(1).toFloat();
            if (pair.second)
                node.thresholds.*pair.second = words.size() > 2 ? words.at(2).toFloat() : 0;
        }
        // The read gives whole minutes, rounded toward zero.
        if (flag == Node::FlagReportRate)
            node.reportRate = words.at(1).toInt() / 60000;
    }
    return node;
}

// A LoRa OTAA node as the link reads it: pressure and acceleration in the node's hundredths.
inline Node loraNodeAsRead()
{
    NodeOptions options;
    options.nodeVersion = QStringLiteral("v2.4.1");
    return healthyNode(Node::LoRaOTAA, options);
}
