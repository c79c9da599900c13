#include "profilecomparison.h"

#include "nodecmdsetthreshold.h"
#include "wiresettings.h"

#include <cmath>

namespace {

constexpr float kHundredths = 100.0f;
// The digits a form shows a threshold with; its emitted value is that text read back.
constexpr int kShownDigits = 6;

// A value the node holds in hundredths as a form shows it and emits it again unedited.
float operatorUnits(float hundredths)
{
    if (std::isnan(hundredths))
        return hundredths;
    return QString::number(hundredths / kHundredths, 'g', kShownDigits).toFloat();
}

} // namespace

ProfileComparison::ProfileComparison(const Node &asRead, const ProfileEntry &entry)
    : m_toWrite(asRead)
{
    NodeThresholds &t = m_toWrite.thresholds;
    t.pressureHigh = operatorUnits(t.pressureHigh);
    t.pressureLow = operatorUnits(t.pressureLow);
    t.accelX = operatorUnits(t.accelX);

    if (entry.appId)
        m_toWrite.appId = *entry.appId;
    if (entry.netId)
        m_toWrite.netId = *entry.netId;
    if (entry.temperature) {
        t.temperatureLow = entry.temperature->low;
        t.temperatureHigh = entry.temperature->high;
    }
    if (entry.humidity) {
        t.humidityLow = entry.humidity->low;
        t.humidityHigh = entry.humidity->high;
    }
    if (entry.pressure) {
        t.pressureLow = entry.pressure->low;
        t.pressureHigh = entry.pressure->high;
    }
    if (entry.accelerometer)
        t.accelX = *entry.accelerometer;
    if (entry.reportRate)
        m_toWrite.reportRate = *entry.reportRate;

    const WireSettings profile = WireSettings::ofWritten(m_toWrite);
    const WireSettings node = WireSettings::ofRead(asRead);
    const int set = entry.settingFlags();
    for (const int flag : WireSettings::kFlagsInWriteOrder) {
        if (!(set & flag) || profile.sameAs(node, flag))
            continue;
        m_flags |= flag;
        m_differences.append({flag, WireSettings::fieldName(flag), profile.text(flag), node.text(flag)});
    }

    // A form divides these by 100 to show them; the profile's values go in as the hundredths the write sends.
    m_toShow = m_toWrite;
    NodeThresholds &shown = m_toShow.thresholds;
    const NodeThresholds &read = asRead.thresholds;
    shown.pressureLow = entry.pressure ? float(NodeCMDsetThreshold::scaledHundredths(t.pressureLow)) : read.pressureLow;
    shown.pressureHigh
        = entry.pressure ? float(NodeCMDsetThreshold::scaledHundredths(t.pressureHigh)) : read.pressureHigh;
    shown.accelX = entry.accelerometer ? float(NodeCMDsetThreshold::scaledHundredths(t.accelX)) : read.accelX;
}

const ProfileComparison::Difference *ProfileComparison::differenceFor(int flag) const
{
    for (const Difference &difference : m_differences) {
        if (difference.flag == flag)
            return &difference;
    }
    return nullptr;
}
