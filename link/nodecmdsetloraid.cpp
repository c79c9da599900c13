#include "nodecmdsetloraid.h"

#include "linklog.h"

NodeCMDsetLoRaID::NodeCMDsetLoRaID(QString id, QSerialPort *port, const Pacing &pacing)
    : NodeWriteCommand(port, pacing, pacing.identityBytePauseMs)
    , m_id(id)
    , m_cipher(ProtectedFieldCipher::Encrypt)
{
}

QByteArray NodeCMDsetLoRaID::lineForStep(int)
{
    const QString field = m_cipher.encodeProtected(m_id);
    if (field.isEmpty()) {
        qCWarning(lcLink).noquote()
            << QStringLiteral("NodeCMDset: device id \"%1\" is not 1 to 16 bytes of hex text, not sent").arg(m_id);
        return QByteArray();
    }
    return "dev " + field.toLatin1() + '\r';
}
