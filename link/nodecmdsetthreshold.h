#pragma once

#include "nodewritecommand.h"

#include "node.h"

// Writes the settings a form changed: one line per set update flag, lowest bit first.
class NodeCMDsetThreshold : public NodeWriteCommand
{
    Q_OBJECT
public:
    NodeCMDsetThreshold(Node node, int flags, QSerialPort *port);
    int sendCommand() override;

private:
    // implementation-defined members
};
