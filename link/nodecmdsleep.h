#pragma once

#include "nodecommand.h"

// Sends the node to sleep ("s\r") and reports its "Terminal going ..." answer.
class NodeCMDsleep : public NodeCommand
{
    Q_OBJECT
public:
    explicit NodeCMDsleep(QSerialPort *port, const Pacing &pacing = Pacing());
    CommandResult parseReply(QString line) override;

signals:
    void nodeSleeping();
};
