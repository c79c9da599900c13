#include "nodecmdsetsigfoxdata.h"

NodeCMDsetSigfoxData::NodeCMDsetSigfoxData(QString data, QSerialPort *port, const Pacing &pacing)
    : NodeWriteCommand(port, pacing, pacing.identityBytePauseMs)
    , m_data(data)
{
}

QByteArray NodeCMDsetSigfoxData::lineForStep(int)
{
    // The node stores the block verbatim, so the digits go out exactly as the operator typed them.
    return "sd " + m_data.toLocal8Bit() + '\r';
}
