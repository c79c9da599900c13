#pragma once

#include "nodewritecommand.h"

#include "node.h"
#include "protectedfieldcipher.h"

#include <QByteArray>
#include <QVector>

// Writes the settings a form changed: one line per set update flag, lowest bit first.
class NodeCMDsetThreshold : public NodeWriteCommand
{
    Q_OBJECT
public:
    // Pressure and acceleration go out in hundredths, limited to what the node accepts.
    static constexpr qint32 kScaledLimit = 65000;
    // The node takes the report rate in milliseconds; forms give whole minutes.
    static constexpr qint64 kMsPerMinute = 60000;
    // Second number of the accelerometer line; the node expects it but ignores it.
    static constexpr int kAccelerometerFixedArgument = 128;

    NodeCMDsetThreshold(Node node, int flags, QSerialPort *port, const Pacing &pacing = Pacing());

    // Truncated toward zero, saturated to the 32-bit range (NaN gives 0; callers do not send NaN).
    static qint32 truncated(float value);
    // The value in hundredths as the operator typed it (no binary representation error), truncated toward zero
    // and limited to ±kScaledLimit (NaN gives 0; callers do not send NaN).
    static qint32 scaledHundredths(float value);
    // Minutes to milliseconds, saturated to the 32-bit range.
    static qint32 rateMilliseconds(qint32 minutes);

    // The line (carriage return included) that writes the field selected by one update flag, or an empty
    // array, with a warning logged, when the field holds nothing that can be sent.
    static QByteArray lineFor(const Node &node, int flag, const ProtectedFieldCipher &cipher);

    // The update flags of the settings the node acknowledged so far (a refused or unanswered one is not among
    // them).
    int acknowledgedFlags() const;

protected:
    int stepCount() const override;
    QByteArray lineForStep(int step) override;

private:
    Node m_node;
    QVector<int> m_steps; // the update flags to write, in the node's order
    ProtectedFieldCipher m_cipher;
};
