// The threshold read's reply parser fed the lines of arbitrary node output. The node prints at most six
// digits per value, so every announced threshold is a finite whole number of at most six digits.

#include "fuzzsupport.h"
#include "nodecmdthreshold.h"
#include "nodethresholds.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzSupport::feedReadCommand(data, size, &NodeCMDthreshold::updateThreshold,
        [](const QString &, CommandResult result, const NodeThresholds &last) {
            if (result != CommandResult::Done)
                return;
            // All four lines were seen, so no value is left without a number.
            for (const float value : {last.temperatureHigh, last.temperatureLow, last.humidityHigh, last.humidityLow,
                     last.pressureHigh, last.pressureLow, last.accelX, last.accelY, last.accelZ, last.accelD}) {
                FUZZ_CHECK(std::isfinite(value));
                FUZZ_CHECK(value == std::trunc(value));
                FUZZ_CHECK(std::fabs(value) <= 999999.0f);
            }
        });
    return 0;
}
