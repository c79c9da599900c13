#include "wiresettings.h"

#include "nodecmdsetthreshold.h"

#include <cmath>
#include <cstdlib>

namespace {

// The digits of an application key a report may show at each end.
constexpr int kKeyDigitsShown = 4;
constexpr qint32 kHundredthsPerUnit = 100;

std::optional<qint32> whole(float value)
{
    if (std::isnan(value))
        return std::nullopt;
    return NodeCMDsetThreshold::truncated(value);
}

std::optional<qint32> scaled(float value)
{
    if (std::isnan(value))
        return std::nullopt;
    return NodeCMDsetThreshold::scaledHundredths(value);
}

QString wholeText(const std::optional<qint32> &value)
{
    return value ? QString::number(*value) : QStringLiteral("none");
}

QString hundredthsOrNone(const std::optional<qint32> &value)
{
    return value ? WireSettings::hundredthsText(*value) : QStringLiteral("none");
}

bool sameHex(const QString &a, const QString &b)
{
    return !a.isEmpty() && a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

const int WireSettings::kFlagsInWriteOrder[8] = {Node::FlagAppId, Node::FlagAppKey, Node::FlagNetId,
    Node::FlagTemperature, Node::FlagHumidity, Node::FlagPressure, Node::FlagAccelerometer, Node::FlagReportRate};

WireSettings WireSettings::ofWritten(const Node &node)
{
    // The identifiers and the pairs in whole units go out as they are; the rest the write converts.
    const NodeThresholds &t = node.thresholds;
    WireSettings w = ofRead(node);
    w.pressure = {scaled(t.pressureLow), scaled(t.pressureHigh)};
    w.accelX = scaled(t.accelX);
    // The node stores milliseconds and the read gives them back as minutes rounded toward zero.
    w.reportRateMinutes = NodeCMDsetThreshold::rateMilliseconds(node.reportRate) / NodeCMDsetThreshold::kMsPerMinute;
    return w;
}

WireSettings WireSettings::ofRead(const Node &node)
{
    const NodeThresholds &t = node.thresholds;
    WireSettings w;
    w.appId = node.appId;
    w.appKey = node.appKey;
    w.netId = node.netId;
    w.temperature = {whole(t.temperatureLow), whole(t.temperatureHigh)};
    w.humidity = {whole(t.humidityLow), whole(t.humidityHigh)};
    w.pressure = {whole(t.pressureLow), whole(t.pressureHigh)};
    w.accelX = whole(t.accelX);
    w.reportRateMinutes = node.reportRate;
    return w;
}

bool WireSettings::sameAs(const WireSettings &other, int flag) const
{
    switch (flag) {
    case Node::FlagAppId:
        return sameHex(appId, other.appId);
    case Node::FlagAppKey:
        return sameHex(appKey, other.appKey);
    case Node::FlagNetId:
        return sameHex(netId, other.netId);
    case Node::FlagTemperature:
        return temperature == other.temperature;
    case Node::FlagHumidity:
        return humidity == other.humidity;
    case Node::FlagPressure:
        return pressure == other.pressure;
    case Node::FlagAccelerometer:
        return accelX && accelX == other.accelX;
    case Node::FlagReportRate:
        return reportRateMinutes == other.reportRateMinutes;
    default:
        return false;
    }
}

QString WireSettings::text(int flag) const
{
    const auto range = [](const QString &low, const QString &high) { return low + QStringLiteral(" to ") + high; };
    switch (flag) {
    case Node::FlagAppId:
        return appId.toUpper();
    case Node::FlagAppKey:
        if (appKey.size() <= 2 * kKeyDigitsShown)
            return appKey.toUpper();
        return appKey.left(kKeyDigitsShown).toUpper() + QStringLiteral("…") + appKey.right(kKeyDigitsShown).toUpper();
    case Node::FlagNetId:
        return netId.toUpper();
    case Node::FlagTemperature:
        return range(wholeText(temperature.low), wholeText(temperature.high));
    case Node::FlagHumidity:
        return range(wholeText(humidity.low), wholeText(humidity.high));
    case Node::FlagPressure:
        return range(hundredthsOrNone(pressure.low), hundredthsOrNone(pressure.high));
    case Node::FlagAccelerometer:
        return hundredthsOrNone(accelX);
    case Node::FlagReportRate:
        return QString::number(reportRateMinutes);
    default:
        return QString();
    }
}

QString WireSettings::fieldName(int flag)
{
    switch (flag) {
    case Node::FlagAppId:
        return QStringLiteral("appId");
    case Node::FlagAppKey:
        return QStringLiteral("appKey");
    case Node::FlagNetId:
        return QStringLiteral("netId");
    case Node::FlagTemperature:
        return QStringLiteral("temperature");
    case Node::FlagHumidity:
        return QStringLiteral("humidity");
    case Node::FlagPressure:
        return QStringLiteral("pressure");
    case Node::FlagAccelerometer:
        return QStringLiteral("accelerometer");
    case Node::FlagReportRate:
        return QStringLiteral("reportRate");
    default:
        return QString();
    }
}

QString WireSettings::hundredthsText(qint32 hundredths)
{
    const qint64 magnitude = std::llabs(qint64(hundredths));
    QString text = QString::number(magnitude / kHundredthsPerUnit);
    const qint64 fraction = magnitude % kHundredthsPerUnit;
    if (fraction != 0) {
        text += QLatin1Char('.') + QString::number(fraction).rightJustified(2, QLatin1Char('0'));
        while (text.endsWith(QLatin1Char('0')))
            text.chop(1);
    }
    return hundredths < 0 ? QLatin1Char('-') + text : text;
}
