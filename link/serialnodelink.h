#pragma once

#include "nodelink.h"

class NodeInterface;
struct Pacing;

// The node link on a real serial port: the link thread underneath, its requests handed over and its signals
// passed on unchanged (they reach this object on its own thread, in the order the link thread sent them).
class SerialNodeLink : public NodeLink
{
    Q_OBJECT
public:
    explicit SerialNodeLink(const Pacing &pacing, QObject *parent = nullptr);
    ~SerialNodeLink() override; // stops the link thread first

    void connectSerialPort(const QString &portName) override;
    void closeSerialPort() override;
    void updateNode(const Node &node, int flags) override;
    void resetNode() override;
    void sleepNode() override;
    void disconnectNode() override;
    void readVersion() override;
    void setDeviceId(const QString &id) override;
    void setSigfoxData(const QString &data) override;

private:
    NodeInterface *thread;
};
