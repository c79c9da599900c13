#pragma once

#include "nodecommand.h"
#include "nodethresholds.h"

// Reads the sensor thresholds ("th\r"). The node prints four lines (temperature, humidity, pressure,
// accelerometer) in any order; the values are kept exactly as printed, pressure and acceleration in hundredths.
class NodeCMDthreshold : public NodeCommand
{
    Q_OBJECT
public:
    explicit NodeCMDthreshold(QSerialPort *port, const Pacing &pacing = Pacing());
    CommandResult parseReply(QString line) override;

signals:
    void updateThreshold(NodeThresholds thresholds);

private:
    enum SeenLine : int {
        SeenTemperature = 0x1,
        SeenHumidity = 0x2,
        SeenPressure = 0x4,
        SeenAccelerometer = 0x8,
        SeenAll = SeenTemperature | SeenHumidity | SeenPressure | SeenAccelerometer,
    };

    NodeThresholds m_result;
};
