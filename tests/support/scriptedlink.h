#pragma once

#include "nodelink.h"

#include <QList>
#include <QStringList>

// A node link without a port, a thread or a node: it keeps the requests it is given, in order, and says only
// what the test makes it say (the signals of NodeLink are public, and the helpers below emit the usual ones).
// Everything it emits reaches the receivers at once, so a test steps through a workflow deterministically.
class ScriptedLink : public NodeLink
{
    Q_OBJECT
public:
    struct Request
    {
        QString name; // the request's method name ("updateNode")
        QString text; // its text argument: a port name, an identifier, SigFox data
        Node node; // the node of updateNode
        int flags = 0; // the flags of updateNode
    };

    using NodeLink::NodeLink;

    void connectSerialPort(const QString &portName) override { take({QStringLiteral("connectSerialPort"), portName}); }
    void closeSerialPort() override { take({QStringLiteral("closeSerialPort")}); }
    void updateNode(const Node &node, int flags) override { take({QStringLiteral("updateNode"), {}, node, flags}); }
    void resetNode() override { take({QStringLiteral("resetNode")}); }
    void sleepNode() override { take({QStringLiteral("sleepNode")}); }
    void disconnectNode() override { take({QStringLiteral("disconnectNode")}); }
    void readVersion() override { take({QStringLiteral("readVersion")}); }
    void setDeviceId(const QString &id) override { take({QStringLiteral("setDeviceId"), id}); }
    void setSigfoxData(const QString &data) override { take({QStringLiteral("setSigfoxData"), data}); }

    QList<Request> requests() const { return received; }
    // The names of the requests received, in order.
    QStringList requestNames() const;
    void clearRequests() { received.clear(); }

    // A node's whole start-up as the link reports it: its banner (busy), then the node read.
    void boot(const Node &node);
    // A settings write's end: what the node acknowledged, then the result.
    void finishSettingsWrite(CommandResult result, int acknowledged, CommandFailure failure = CommandFailure::None);
    // The port chosen last opens, as the real link says after connectSerialPort.
    void openLastPort();

private:
    void take(const Request &request) { received.append(request); }

    QList<Request> received;
};
