#pragma once

#include "commandresult.h"
#include "node.h"

#include <QObject>
#include <QString>

// What the commissioning workflow asks of a node and hears from it, whatever carries it: the serial link on a
// real port, or a scripted one in a test. Requests return at once; every answer comes later as a signal, in
// the order the node gave it.
class NodeLink : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~NodeLink() override = default;

    // Opens a port (a node is listened to from then on), or lets it go until a port is chosen again; a write
    // under way ends Interrupted.
    virtual void connectSerialPort(const QString &portName) = 0;
    virtual void closeSerialPort() = 0;
    // Writes the settings the flags select; a successful write is followed by a reset that reads the node again.
    virtual void updateNode(const Node &node, int flags) = 0;
    virtual void resetNode() = 0;
    virtual void sleepNode() = 0;
    // Drops whatever the link is reading or writing, without closing the port.
    virtual void disconnectNode() = 0;
    // The configure path: a version read, then an identifier or SigFox data line.
    virtual void readVersion() = 0;
    virtual void setDeviceId(const QString &id) = 0;
    virtual void setSigfoxData(const QString &data) = 0;

signals:
    // true: a node booted and is being read; false: that read ended without announcing a node.
    void busy(bool busy);
    void nodeConnected(Node node);
    // A write (updateNode, setDeviceId, setSigfoxData) ended; failure says why when the result is Failed.
    void nodeCommandResult(CommandResult result, CommandFailure failure);
    // Just before the nodeCommandResult of a settings write: the update flags the node acknowledged.
    void settingsAcknowledged(int flags);
    void configureID(Node::eFirmwareType type);
    void nodeSleeping();
    // The node's identifiers are enciphered under another key than the tool's: its read ended, nothing announced.
    void nodeKeyMismatch();
    void serialPortOpened(QString name);
    void serialPortFailed(QString name, QString reason);
};
