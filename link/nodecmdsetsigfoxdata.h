#pragma once

#include "nodewritecommand.h"

// Writes a SigFox data block ("sd " + the 96 digits as typed).
class NodeCMDsetSigfoxData : public NodeWriteCommand
{
    Q_OBJECT
public:
    NodeCMDsetSigfoxData(QString data, QSerialPort *port, const Pacing &pacing = Pacing());

protected:
    int stepCount() const override { return 1; }
    QByteArray lineForStep(int step) override;

private:
    QString m_data;
};
