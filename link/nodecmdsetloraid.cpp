#include "nodecmdsetloraid.h"

#include <QDebug>

NodeCMDsetLoRaID::NodeCMDsetLoRaID(QString id, QSerialPort *port)
    : NodeWriteCommand(port)
    , m_id(id)
    , m_cipher(ProtectedFieldCipher::Encrypt)
{
}

int NodeCMDsetLoRaID::sendCommand()
{
    if (!m_serialPort)
        return ResultFailed;
    const QString field = m_cipher.encodeProtected(m_id);
    if (field.isEmpty()) {
        qWarning().noquote()
            << QStringLiteral("NodeCMDset: device id \"%1\" is not 1 to 16 bytes of hex text, not sent").arg(m_id);
        return ResultFailed;
    }
    pauseBeforeLine();
    return commandResult(exchangeLine("dev " + field.toLatin1() + '\r', kIdentityBytePauseMs));
}
