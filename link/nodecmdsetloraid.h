#pragma once

#include "nodewritecommand.h"

// Writes a device id ("dev " + protected value).
class NodeCMDsetLoRaID : public NodeWriteCommand
{
    Q_OBJECT
public:
    NodeCMDsetLoRaID(QString id, QSerialPort *port);
    int sendCommand() override;

private:
    // implementation-defined members
};
