#pragma once

#include "nodecommand.h"

// Reads the report rate ("rr\r"). The node reports milliseconds; the tool works in whole minutes.
class NodeCMDreportRate : public NodeCommand
{
    Q_OBJECT
public:
    explicit NodeCMDreportRate(QSerialPort *port, const Pacing &pacing = Pacing());
    CommandResult parseReply(QString line) override;

    // Node milliseconds to whole minutes, rounded toward zero.
    static qint32 minutesFromMilliseconds(qint32 milliseconds);

signals:
    void updateRate(int rate);
};
