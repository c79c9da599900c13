#pragma once

#include "nodecommand.h"

// Shared part of the three write commands: the line exchange with up to three attempts and the
// "Set"/"FAILED" reply parser.
class NodeWriteCommand : public NodeCommand
{
    Q_OBJECT
public:
    explicit NodeWriteCommand(QSerialPort *port);
    int parseReply(QString line) override;

protected:
    // implementation-defined members (the exchange of one line, pauses, ...)
};
