#pragma once

#include "node.h"

#include <QString>

#include <optional>

// What a commissioning profile asks of one node type. Every setting is optional; a missing one is left as the
// node has it. Values are in the units the node form shows: thresholds as the operator types them (pressure in
// bar, the accelerometer in G), the report rate in whole minutes, identifiers as upper-case hex without
// separators. A profile never holds an application key: keys are per device.
class ProfileEntry
{
public:
    struct Range
    {
        float low;
        float high;
    };

    Node::eFirmwareType firmwareType = Node::Unknown;
    std::optional<QString> appId;
    std::optional<QString> netId;
    std::optional<Range> temperature;
    std::optional<Range> humidity;
    std::optional<Range> pressure;
    std::optional<float> accelerometer; // accelX, the only accelerometer value the node is sent
    std::optional<qint32> reportRate;
    QString minNodeVersion; // empty: any main-board firmware will do
    // The profile id a LoRaWAN QR label of this type must carry (vendor id and vendor profile id, eight upper-case
    // hex digits); empty: any.
    QString labelProfileId;

    // The update flags of the settings this entry holds.
    int settingFlags() const;

    // True when the entry names a minimum main-board version and the node's is older, or unknown: a node whose
    // version could not be read cannot be shown to be new enough.
    bool firmwareTooOld(const Node &node) const;

    // Negative, zero or positive as version a is older than, equal to or newer than b. Compared number by
    // number: a leading "v" or "V" is ignored, a missing number counts as 0 ("2.1" equals "2.1.0"), and only
    // the leading digits of each dot-separated part count ("4-rc1" is 4, a part without digits is 0).
    static int compareVersions(const QString &a, const QString &b);
};
