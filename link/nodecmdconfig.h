#pragma once

#include "node.h"
#include "nodecommand.h"
#include "protectedfieldcipher.h"

// Reads the node's configuration ("cfg\r"): its communication type and its radio identifiers, most of which
// arrive as protected fields. Complete once the type, the device identifier, the application id and the
// application key are known (a SigFox node's PAC stands for the last two; the network id is optional).
// Identifiers that pass their frame check but decipher to a value without its zero fill come from a node keyed
// differently: the read then ends with keyMismatch() instead of announcing made-up identifiers.
class NodeCMDconfig : public NodeCommand
{
    Q_OBJECT
public:
    explicit NodeCMDconfig(QSerialPort *port, const Pacing &pacing = Pacing());
    CommandResult parseReply(QString line) override;

signals:
    void updateConfig(Node node);
    // Emitted once, on the first identifier enciphered under another key; no updateConfig follows.
    void keyMismatch();

private:
    enum SeenField : int {
        SeenEuid = 0x1,
        SeenAppId = 0x2,
        SeenAppKey = 0x4,
        SeenCommunication = 0x8,
        SeenNetId = 0x10,
        SeenRequired = SeenEuid | SeenAppId | SeenAppKey | SeenCommunication,
    };

    // Decodes a field; empty when it is damaged or enciphered under another key (which is noted).
    QString decodeField(const QString &fieldHex, int count);
    // Applies the field of `pattern` when the line carries it intact; true when it did.
    bool takeProtected(const QRegularExpression &pattern, const QString &line, int count, QString *target);

    bool m_keyMismatch = false;
    Node m_result;
    ProtectedFieldCipher m_cipher;
};
