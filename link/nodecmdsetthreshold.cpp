#include "nodecmdsetthreshold.h"

#include "linklog.h"

#include <QDebug>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace {

constexpr qint32 kInt32Max = std::numeric_limits<qint32>::max();
constexpr qint32 kInt32Min = std::numeric_limits<qint32>::min();

// The settings in the order the node expects them.
constexpr int kStepOrder[] = {
    Node::FlagAppId,
    Node::FlagAppKey,
    Node::FlagNetId,
    Node::FlagTemperature,
    Node::FlagHumidity,
    Node::FlagPressure,
    Node::FlagAccelerometer,
    Node::FlagReportRate,
};

QByteArray protectedLine(
    const char *word, const QString &valueHex, const char *what, const ProtectedFieldCipher &cipher)
{
    const QString field = cipher.encodeProtected(valueHex);
    if (field.isEmpty()) {
        qCWarning(lcLink).noquote() << QStringLiteral(
            "NodeCMDset: %1 \"%2\" is not 1 to 16 bytes of hex text, not sent")
                                           .arg(QLatin1String(what), valueHex);
        return QByteArray();
    }
    return QByteArray(word) + field.toLatin1() + '\r';
}

QByteArray pairLine(const char *word, float low, float high, qint32 (*convert)(float), const char *what)
{
    if (std::isnan(low) || std::isnan(high)) {
        qCWarning(lcLink, "NodeCMDset: %s threshold holds no value, not sent", what);
        return QByteArray();
    }
    return QByteArray(word) + QByteArray::number(convert(low)) + ' ' + QByteArray::number(convert(high)) + '\r';
}

} // namespace

NodeCMDsetThreshold::NodeCMDsetThreshold(Node node, int flags, QSerialPort *port, const Pacing &pacing)
    : NodeWriteCommand(port, pacing, pacing.settingsBytePauseMs)
    , m_node(node)
    , m_cipher(ProtectedFieldCipher::Encrypt)
{
    for (const int flag : kStepOrder) {
        if (flags & flag)
            m_steps.append(flag);
    }
}

int NodeCMDsetThreshold::acknowledgedFlags() const
{
    int flags = 0;
    for (const int step : acceptedSteps())
        flags |= m_steps.at(step);
    return flags;
}

int NodeCMDsetThreshold::stepCount() const
{
    return m_steps.size();
}

QByteArray NodeCMDsetThreshold::lineForStep(int step)
{
    const int flag = m_steps.at(step);
    const QByteArray line = lineFor(m_node, flag, m_cipher);
    if (flag == Node::FlagReportRate && !line.isEmpty())
        qCDebug(lcLink).noquote().nospace() << "Set rate: " << m_node.reportRate << ' ' << line.trimmed();
    return line;
}

QByteArray NodeCMDsetThreshold::lineFor(const Node &node, int flag, const ProtectedFieldCipher &cipher)
{
    const NodeThresholds &t = node.thresholds;
    switch (flag) {
    case Node::FlagAppId:
        return protectedLine("app ", node.appId, "application id", cipher);
    case Node::FlagAppKey:
        return protectedLine("key ", node.appKey, "application key", cipher);
    case Node::FlagNetId:
        return protectedLine("net ", node.netId, "network id", cipher);
    case Node::FlagTemperature:
        return pairLine("tht ", t.temperatureLow, t.temperatureHigh, &truncated, "temperature");
    case Node::FlagHumidity:
        return pairLine("thh ", t.humidityLow, t.humidityHigh, &truncated, "humidity");
    case Node::FlagPressure:
        return pairLine("thp ", t.pressureLow, t.pressureHigh, &scaledHundredths, "pressure");
    case Node::FlagAccelerometer:
        if (std::isnan(t.accelX)) {
            qCWarning(lcLink, "NodeCMDset: accelerometer threshold holds no value, not sent");
            return QByteArray();
        }
        return "tha " + QByteArray::number(scaledHundredths(t.accelX)) + ' '
            + QByteArray::number(kAccelerometerFixedArgument) + '\r';
    case Node::FlagReportRate:
        return "rr " + QByteArray::number(rateMilliseconds(node.reportRate)) + '\r';
    default:
        return QByteArray();
    }
}

qint32 NodeCMDsetThreshold::truncated(float value)
{
    if (std::isnan(value))
        return 0;
    // Converting a float outside the int range is undefined; both bounds are exact floats.
    if (value >= 2147483648.0f)
        return kInt32Max;
    if (value < -2147483648.0f)
        return kInt32Min;
    return qint32(value);
}

qint32 NodeCMDsetThreshold::scaledHundredths(float value)
{
    if (std::isnan(value))
        return 0;
    const double hundredths = double(value) * 100.0;
    if (hundredths >= kScaledLimit)
        return kScaledLimit;
    if (hundredths <= -kScaledLimit)
        return -kScaledLimit;

    // A typed value such as -81.88 is stored as the float nearest to it, which lies a little below or above;
    // multiplying that and truncating would send -8187. The shortest decimal text that reads back as the same
    // float is the value as typed, so the scaling is done on its digits instead.
    char text[32];
    const std::to_chars_result written = std::to_chars(text, text + sizeof text, value, std::chars_format::scientific);
    *written.ptr = '\0';
    const char *p = text;
    const bool negative = *p == '-';
    if (negative)
        ++p;
    qint64 digits = 0;
    int fractionDigits = 0;
    bool inFraction = false;
    for (; *p && *p != 'e'; ++p) {
        if (*p == '.') {
            inFraction = true;
            continue;
        }
        digits = digits * 10 + (*p - '0');
        if (inFraction)
            ++fractionDigits;
    }
    const int exponent = *p == 'e' ? std::atoi(p + 1) : 0;
    // value * 100 = digits * 10^shift
    const int shift = exponent - fractionDigits + 2;
    qint64 scaled = digits;
    if (shift >= 0) {
        for (int i = 0; i < shift; ++i)
            scaled *= 10; // bounded: the value lies within ±kScaledLimit here
    } else {
        for (int i = 0; i < -shift && scaled != 0; ++i)
            scaled /= 10;
    }
    return qint32(negative ? -scaled : scaled);
}

qint32 NodeCMDsetThreshold::rateMilliseconds(qint32 minutes)
{
    const qint64 ms = qint64(minutes) * kMsPerMinute;
    if (ms > kInt32Max)
        return kInt32Max;
    if (ms < kInt32Min)
        return kInt32Min;
    return qint32(ms);
}
