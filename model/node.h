#pragma once

#include "nodethresholds.h"

#include <QMetaType>
#include <QString>
#include <QtGlobal>

// The value record that describes one sensor node. The link fills it while it reads a node, the forms edit a
// copy and the registration request reads it.
class Node
{
public:
    // The number is also read from the main-board firmware version ("v9.1" gives 9), so the field holds any
    // int; users treat every value outside 1 to 6 as an unknown device.
    enum eFirmwareType : int {
        Unknown = 0,
        Pellimar = 1,
        LoRaOTAA = 2,
        SigFox = 3,
        Pellimar5D = 4,
        LoRaOTAA5D = 5,
        SigFox5D = 6,
    };

    // Which settings a write must send; one node command line per set bit, lowest bit first.
    enum UpdateFlag : int {
        FlagAppId = 0x01,
        FlagAppKey = 0x02,
        FlagNetId = 0x04,
        FlagTemperature = 0x08,
        FlagHumidity = 0x10,
        FlagPressure = 0x20,
        FlagAccelerometer = 0x40,
        FlagReportRate = 0x80,
        FlagsWritable = 0xFF,
    };

    Node();

    eFirmwareType firmwareType;
    qint32 deviceType;
    qint32 deviceCommunication;
    QString lockDescription;
    QString nodeVersion;
    QString moduleVersion;
    QString loraVersion;
    QString euid;
    QString pac;
    QString appId;
    QString appKey;
    QString netId;
    NodeThresholds thresholds;
    qint32 reportRate; // whole minutes

    // "n:" + nodeVersion + " c:" + moduleVersion + " s:" + loraVersion
    QString versionText() const;

    // Applies a node's "Communication:" text (compared whole and case-sensitively). Returns false and changes
    // nothing for any text not in the table. "Unknown" leaves deviceCommunication as it was.
    bool applyCommunication(const QString &text);

    // The node's "Communication:" text for a type ("LoRa OTAA 5D"); empty for a value outside the table.
    static QString communicationText(int type);

    // True for the six types that have a form (1 to 6).
    static bool isKnownType(int type) { return type >= Pellimar && type <= SigFox5D; }
    // SigFox nodes are known by their SigFox ID and PAC instead of LoRa identifiers.
    static bool isSigfoxType(int type) { return type == SigFox || type == SigFox5D; }
    bool isSigfox() const { return isSigfoxType(firmwareType); }
    // The identity the node is known by: its SigFox ID for SigFox types, its DevEUI otherwise.
    QString identity() const { return isSigfox() ? euid : euid.toUpper().remove(QLatin1Char(':')); }
    // True when the identity read back as all zeros or all F: the node was never given one (a blank or erased
    // configuration), so it must not be written, registered or put to sleep.
    bool hasBlankIdentity() const;

    bool operator==(const Node &other) const;
    bool operator!=(const Node &other) const { return !(*this == other); }
};

Q_DECLARE_METATYPE(Node)
