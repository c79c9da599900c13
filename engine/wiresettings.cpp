#include "wiresettings.h"

#include "commissioningjournal.h"
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

QString rangeText(const QString &low, const QString &high)
{
    return low + QStringLiteral(" to ") + high;
}

// Only the first and last digits of a long key, so that a report never spells it out.
QString shortKeyText(const QString &appKey)
{
    if (appKey.size() <= 2 * kKeyDigitsShown)
        return appKey.toUpper();
    return appKey.left(kKeyDigitsShown).toUpper() + QStringLiteral("…") + appKey.right(kKeyDigitsShown).toUpper();
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

struct WireSettings::Field
{
    int flag;
    bool (*same)(const WireSettings &a, const WireSettings &b);
    QString (*text)(const WireSettings &w);
};

const WireSettings::Field WireSettings::kFields[8] = {
    {Node::FlagAppId, [](const WireSettings &a, const WireSettings &b) { return sameHex(a.appId, b.appId); },
        [](const WireSettings &w) { return w.appId.toUpper(); }},
    {Node::FlagAppKey, [](const WireSettings &a, const WireSettings &b) { return sameHex(a.appKey, b.appKey); },
        [](const WireSettings &w) { return shortKeyText(w.appKey); }},
    {Node::FlagNetId, [](const WireSettings &a, const WireSettings &b) { return sameHex(a.netId, b.netId); },
        [](const WireSettings &w) { return w.netId.toUpper(); }},
    {Node::FlagTemperature, [](const WireSettings &a, const WireSettings &b) { return a.temperature == b.temperature; },
        [](const WireSettings &w) { return rangeText(wholeText(w.temperature.low), wholeText(w.temperature.high)); }},
    {Node::FlagHumidity, [](const WireSettings &a, const WireSettings &b) { return a.humidity == b.humidity; },
        [](const WireSettings &w) { return rangeText(wholeText(w.humidity.low), wholeText(w.humidity.high)); }},
    {Node::FlagPressure, [](const WireSettings &a, const WireSettings &b) { return a.pressure == b.pressure; },
        [](const WireSettings &w) {
            return rangeText(hundredthsOrNone(w.pressure.low), hundredthsOrNone(w.pressure.high));
        }},
    {Node::FlagAccelerometer,
        [](const WireSettings &a, const WireSettings &b) { return a.accelX && a.accelX == b.accelX; },
        [](const WireSettings &w) { return hundredthsOrNone(w.accelX); }},
    {Node::FlagReportRate,
        [](const WireSettings &a, const WireSettings &b) { return a.reportRateMinutes == b.reportRateMinutes; },
        [](const WireSettings &w) { return QString::number(w.reportRateMinutes); }},
};

const WireSettings::Field *WireSettings::fieldOf(int flag)
{
    for (const Field &field : kFields) {
        if (field.flag == flag)
            return &field;
    }
    return nullptr;
}

bool WireSettings::sameAs(const WireSettings &other, int flag) const
{
    const Field *field = fieldOf(flag);
    return field && field->same(*this, other);
}

QString WireSettings::text(int flag) const
{
    const Field *field = fieldOf(flag);
    return field ? field->text(*this) : QString();
}

QString WireSettings::fieldName(int flag)
{
    // Profiles and the journal spell a setting the same way.
    return fieldOf(flag) ? CommissioningJournal::flagNames(flag).value(0) : QString();
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
