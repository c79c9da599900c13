#include "nodethresholds.h"

#include <cmath>
#include <limits>

namespace {
bool sameValue(float a, float b)
{
    return (std::isnan(a) && std::isnan(b)) || a == b;
}
} // namespace

NodeThresholds::NodeThresholds()
    : temperatureHigh(std::numeric_limits<float>::quiet_NaN())
    , temperatureLow(std::numeric_limits<float>::quiet_NaN())
    , humidityHigh(std::numeric_limits<float>::quiet_NaN())
    , humidityLow(std::numeric_limits<float>::quiet_NaN())
    , pressureHigh(std::numeric_limits<float>::quiet_NaN())
    , pressureLow(std::numeric_limits<float>::quiet_NaN())
    , accelX(std::numeric_limits<float>::quiet_NaN())
    , accelY(std::numeric_limits<float>::quiet_NaN())
    , accelZ(std::numeric_limits<float>::quiet_NaN())
    , accelD(std::numeric_limits<float>::quiet_NaN())
{
}

bool NodeThresholds::operator==(const NodeThresholds &o) const
{
    return sameValue(temperatureHigh, o.temperatureHigh) && sameValue(temperatureLow, o.temperatureLow)
        && sameValue(humidityHigh, o.humidityHigh) && sameValue(humidityLow, o.humidityLow)
        && sameValue(pressureHigh, o.pressureHigh) && sameValue(pressureLow, o.pressureLow)
        && sameValue(accelX, o.accelX) && sameValue(accelY, o.accelY) && sameValue(accelZ, o.accelZ)
        && sameValue(accelD, o.accelD);
}
