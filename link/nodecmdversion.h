#pragma once

#include "node.h"
#include "nodecommand.h"

// Reads the three firmware versions ("ver\r"); the node answers with its banner lines again. The number after
// the leading v of the main-board version is the firmware type.
class NodeCMDversion : public NodeCommand
{
    Q_OBJECT
public:
    explicit NodeCMDversion(QSerialPort *port, const Pacing &pacing = Pacing());
    CommandResult parseReply(QString line) override;

signals:
    void updateVersion(Node node);

private:
    enum SeenLine : int {
        SeenBoard = 0x1,
        SeenModule = 0x2,
        SeenRadio = 0x4,
        SeenAll = SeenBoard | SeenModule | SeenRadio,
    };

    Node m_result;
};
