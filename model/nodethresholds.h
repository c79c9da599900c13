#pragma once

#include <QMetaType>

// Sensor thresholds of a node. Pairs hold the high value first although the node prints the low one first.
// Values are exactly what the node prints (pressure and acceleration in hundredths) in records read from a
// node, and operator units in records that a form emits. A value never read stays a quiet NaN.
class NodeThresholds
{
public:
    NodeThresholds();

    float temperatureHigh;
    float temperatureLow;
    float humidityHigh;
    float humidityLow;
    float pressureHigh;
    float pressureLow;
    float accelX;
    float accelY;
    float accelZ;
    float accelD;

    // Field-by-field comparison in which two NaN values count as equal (both "no value").
    bool operator==(const NodeThresholds &other) const;
    bool operator!=(const NodeThresholds &other) const { return !(*this == other); }
};

Q_DECLARE_METATYPE(NodeThresholds)
