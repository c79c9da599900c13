#include "nodecmdthreshold.h"

#include "replypatterns.h"

namespace {
const char kThresholdCommand[] = "th\r";

// The node prints the low value first; the record keeps the high value first.
struct PairLine
{
    QRegularExpression pattern;
    float NodeThresholds::*high;
    float NodeThresholds::*low;
    int seenBit;
};

// Not anchored: the node may put other text before a threshold, and two thresholds may share a line.
// Minus signs are matched loosely ("-*"); a number that then does not convert is stored as 0.
const QRegularExpression &accelerometerPattern()
{
    static const QRegularExpression pattern = ReplyPatterns::make(QStringLiteral(
        "Accelero\\s*:\\s*X\\s*(-*\\d{1,6})\\s*Y\\s*(-*\\d{1,6})\\s*Z\\s*(-*\\d{1,6})\\s*D\\s*(-*\\d{1,6})"));
    return pattern;
}

QRegularExpression pairPattern(const char *label)
{
    return ReplyPatterns::make(
        QString::fromLatin1(label) + QStringLiteral("\\s*:\\s*L\\s*(-*\\d{1,6})\\s*H\\s*(-*\\d{1,6})"));
}
} // namespace

NodeCMDthreshold::NodeCMDthreshold(QSerialPort *port, const Pacing &pacing)
    : NodeCommand(kThresholdCommand, port, pacing)
{
}

CommandResult NodeCMDthreshold::parseReply(QString line)
{
    static const PairLine pairs[] = {
        {pairPattern("Temperature"), &NodeThresholds::temperatureHigh, &NodeThresholds::temperatureLow,
            SeenTemperature},
        {pairPattern("Humidity"), &NodeThresholds::humidityHigh, &NodeThresholds::humidityLow, SeenHumidity},
        {pairPattern("Pressure"), &NodeThresholds::pressureHigh, &NodeThresholds::pressureLow, SeenPressure},
    };

    for (const PairLine &pair : pairs) {
        const QRegularExpressionMatch match = pair.pattern.match(line);
        if (!match.hasMatch())
            continue;
        m_result.*pair.high = ReplyPatterns::toFloat(match.captured(2));
        m_result.*pair.low = ReplyPatterns::toFloat(match.captured(1));
        m_seen |= pair.seenBit;
    }
    const QRegularExpressionMatch accel = accelerometerPattern().match(line);
    if (accel.hasMatch()) {
        m_result.accelX = ReplyPatterns::toFloat(accel.captured(1));
        m_result.accelY = ReplyPatterns::toFloat(accel.captured(2));
        m_result.accelZ = ReplyPatterns::toFloat(accel.captured(3));
        m_result.accelD = ReplyPatterns::toFloat(accel.captured(4));
        m_seen |= SeenAccelerometer;
    }

    const CommandResult result = completeOnceSeen(SeenAll);
    if (result == CommandResult::Done)
        emit updateThreshold(m_result);
    return result;
}
