#include "serialnodelink.h"

#include "nodeinterface.h"
#include "pacing.h"

SerialNodeLink::SerialNodeLink(const Pacing &pacing, QObject *parent)
    : NodeLink(parent)
    , thread(new NodeInterface(pacing, this))
{
    connect(thread, &NodeInterface::busy, this, &NodeLink::busy);
    connect(thread, &NodeInterface::nodeConnected, this, &NodeLink::nodeConnected);
    connect(thread, &NodeInterface::nodeCommandResult, this, &NodeLink::nodeCommandResult);
    connect(thread, &NodeInterface::settingsAcknowledged, this, &NodeLink::settingsAcknowledged);
    connect(thread, &NodeInterface::configureID, this, &NodeLink::configureID);
    connect(thread, &NodeInterface::nodeSleeping, this, &NodeLink::nodeSleeping);
    connect(thread, &NodeInterface::nodeKeyMismatch, this, &NodeLink::nodeKeyMismatch);
    connect(thread, &NodeInterface::serialPortOpened, this, &NodeLink::serialPortOpened);
    connect(thread, &NodeInterface::serialPortFailed, this, &NodeLink::serialPortFailed);
}

SerialNodeLink::~SerialNodeLink()
{
    // The thread may still be finishing a pass; nothing it reports may reach a half-destroyed owner.
    delete thread;
}

void SerialNodeLink::connectSerialPort(const QString &portName)
{
    thread->connectSerialPort(portName);
}

void SerialNodeLink::closeSerialPort()
{
    thread->closeSerialPort();
}

void SerialNodeLink::updateNode(const Node &node, int flags)
{
    thread->updateNode(node, flags);
}

void SerialNodeLink::resetNode()
{
    thread->resetNode();
}

void SerialNodeLink::sleepNode()
{
    thread->sleepNode();
}

void SerialNodeLink::disconnectNode()
{
    thread->disconnectNode();
}

void SerialNodeLink::readVersion()
{
    thread->readVersion();
}

void SerialNodeLink::setDeviceId(const QString &id)
{
    thread->setDeviceId(id);
}

void SerialNodeLink::setSigfoxData(const QString &data)
{
    thread->setSigfoxData(data);
}
