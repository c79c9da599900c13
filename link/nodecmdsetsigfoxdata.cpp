#include "nodecmdsetsigfoxdata.h"

NodeCMDsetSigfoxData::NodeCMDsetSigfoxData(QString data, QSerialPort *port)
    : NodeWriteCommand(port)
    , m_data(data)
{
}

int NodeCMDsetSigfoxData::sendCommand()
{
    if (!m_serialPort)
        return ResultFailed;
    // The node stores the block verbatim, so the digits go out exactly as the operator typed them.
    pauseBeforeLine();
    return commandResult(exchangeLine("sd " + m_data.toLocal8Bit() + '\r', kIdentityBytePauseMs));
}
