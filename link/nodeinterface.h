#pragma once

#include "node.h"
#include "nodethresholds.h"

#include <QThread>

// The serial link thread: the one object through which the rest of the tool talks to a sensor node.
// Its thread owns the serial port; GUI-thread calls only hand requests over and return at once.
//
// (Public interface fixed; the private part belongs to the implementation.)
class NodeInterface : public QThread
{
    Q_OBJECT
public:
    explicit NodeInterface(QObject *parent = nullptr);
    ~NodeInterface() override; // stops the thread and waits for the pass in progress

    // Request methods used by the configure path; each queues its request no earlier than 500 ms after the
    // call, without blocking the caller.
    void readVersion();
    void setDeviceId(QString id);
    void setSigfoxData(QString data);

    // A copy of the node record the link fills, taken under a short lock.
    Node nodeRecord() const;

public slots:
    void connectSerialPort(QString serialPort);
    void updateNode(Node node, int flags);
    void resetNode();
    void sleepNode();
    void disconnectNode();

signals:
    void busy(bool busy);
    void nodeConnected(Node node);
    void nodeCommandResult(int result);
    void configureID(Node::eFirmwareType type);
    void nodeSleeping();
    // Not part of the node workflow: tell the window whether the chosen port could be opened.
    void serialPortOpened(QString name);
    void serialPortFailed(QString name, QString reason);

private slots:
    void updateVersion(Node node);
    void updateConfig(Node node);
    void updateThreshold(NodeThresholds thresholds);
    void updateRate(int rate);

protected:
    void run() override;

private:
    // implementation-defined members
};
