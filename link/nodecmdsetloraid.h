#pragma once

#include "nodewritecommand.h"

#include "protectedfieldcipher.h"

// Writes a device id ("dev " + protected value).
class NodeCMDsetLoRaID : public NodeWriteCommand
{
    Q_OBJECT
public:
    NodeCMDsetLoRaID(QString id, QSerialPort *port, const Pacing &pacing = Pacing());

protected:
    int stepCount() const override { return 1; }
    QByteArray lineForStep(int step) override;

private:
    QString m_id;
    ProtectedFieldCipher m_cipher;
};
