#pragma once

#include "node.h"
#include "nodesimulator.h"

#include <QString>

#include <limits>

// What may differ from the typical healthy node the builder makes.
struct NodeOptions
{
    QString euid; // empty: the type's usual identity (a DevEUI, or a SigFox id for the SigFox types)
    QString nodeVersion; // empty: "v<type>.0.2", a main-board version whose first number is the type
    QString lockDescription;
    qint32 reportRate = 15;
    bool thresholdsRead = true; // false: the thresholds stay unread (NaN), as after a failed threshold read
};

// A threshold that was never read.
constexpr float kNotRead = std::numeric_limits<float>::quiet_NaN();

// Thresholds with every value given, pairs high value first as NodeThresholds holds them.
NodeThresholds nodeThresholds(float temperatureHigh, float temperatureLow, float humidityHigh, float humidityLow,
    float pressureHigh, float pressureLow, float accelX, float accelY, float accelZ, float accelD);

// A node as the link announces it after reading a healthy node of the given type: identifiers the type has,
// thresholds exactly as the node prints them (pressure and acceleration in hundredths).
Node healthyNode(Node::eFirmwareType type, const NodeOptions &options = NodeOptions());

// A node as a form emits it after the operator edited every setting, thresholds in operator units.
Node editedNode();

// What the link must announce for a simulated node: what the simulator prints, read the way the tool reads it.
// The type, the device type and communication and the identity are the caller's: they are what the link derives.
Node announcedNode(
    const SimNodeProfile &profile, int type, int deviceType, int deviceCommunication, const QString &euid);

// Every field of a node on one line, for the message of a failed comparison.
QString describeNode(const Node &node);
