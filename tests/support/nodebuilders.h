#pragma once

#include "node.h"

#include <QString>

// What may differ from the typical healthy node the builder makes.
struct NodeOptions
{
    QString euid; // empty: the type's usual identity (a DevEUI, or a SigFox id for the SigFox types)
    QString nodeVersion; // empty: "v<type>.0.2", a main-board version whose first number is the type
    QString lockDescription;
    qint32 reportRate = 15;
    bool thresholdsRead = true; // false: the thresholds stay unread (NaN), as after a failed threshold read
};

// A node as the link announces it after reading a healthy node of the given type: identifiers the type has,
// thresholds exactly as the node prints them (pressure and acceleration in hundredths).
Node healthyNode(Node::eFirmwareType type, const NodeOptions &options = NodeOptions());

// A node as a form emits it after the operator edited every setting, thresholds in operator units.
Node editedNode();
