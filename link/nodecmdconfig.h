#pragma once

#include "node.h"
#include "nodecommand.h"
#include "protectedfieldcipher.h"

// Reads the node's configuration ("cfg\r"): its communication type and its radio identifiers, most of which
// arrive as protected fields. Complete once the type, the device identifier, the application id and the
// application key are known (a SigFox node's PAC stands for the last two; the network id is optional).
class NodeCMDconfig : public NodeCommand
{
    Q_OBJECT
public:
    explicit NodeCMDconfig(QSerialPort *port);
    CommandResult parseReply(QString line) override;

signals:
    void updateConfig(Node node);

private:
    enum SeenField : int {
        SeenEuid = 0x1,
        SeenAppId = 0x2,
        SeenAppKey = 0x4,
        SeenCommunication = 0x8,
        SeenNetId = 0x10,
        SeenRequired = SeenEuid | SeenAppId | SeenAppKey | SeenCommunication,
    };

    // Decodes the spaced hex pairs of an identifier line; empty when the field is damaged.
    QString decodeSpaced(const QString &spacedHex, int count) const;
    // Applies the field of `pattern` when the line carries it intact; true when it did.
    bool takeProtected(const QRegularExpression &pattern, const QString &line, int count, QString *target);

    int m_seen = 0;
    Node m_result;
    ProtectedFieldCipher m_cipher;
};
