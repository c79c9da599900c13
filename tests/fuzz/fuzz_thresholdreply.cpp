// The threshold read's reply parser fed the lines of arbitrary node output. The node prints at most six
// digits per value, so every announced threshold is a finite whole number of at most six digits.

#include "fuzzsupport.h"
#include "nodecmdthreshold.h"
#include "nodethresholds.h"

#include <cmath>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzSupport::silenceLogging();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    NodeCMDthreshold command(nullptr);
    int emitted = 0;
    NodeThresholds last;
    QObject::connect(&command, &NodeCMDthreshold::updateThreshold, [&](NodeThresholds thresholds) {
        ++emitted;
        last = thresholds;
    });

    for (const QString &line : FuzzSupport::nodeLines(data, size)) {
        const int before = emitted;
        const int result = command.parseReply(line);
        FUZZ_CHECK(result == NodeCommand::ResultPending || result == NodeCommand::ResultDone);
        FUZZ_CHECK(emitted == before + (result == NodeCommand::ResultDone ? 1 : 0));
        if (result != NodeCommand::ResultDone)
            continue;
        // All four lines were seen, so no value is left without a number.
        for (const float value : {last.temperatureHigh, last.temperatureLow, last.humidityHigh, last.humidityLow,
                 last.pressureHigh, last.pressureLow, last.accelX, last.accelY, last.accelZ, last.accelD}) {
            FUZZ_CHECK(std::isfinite(value));
            FUZZ_CHECK(value == std::trunc(value));
            FUZZ_CHECK(std::fabs(value) <= 999999.0f);
        }
    }
    return 0;
}
