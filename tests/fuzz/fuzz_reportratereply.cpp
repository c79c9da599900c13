// The report-rate read's reply parser fed the lines of arbitrary node output. Minutes are whole minutes of
// a 32-bit millisecond count, whatever the node prints.

#include "fuzzsupport.h"
#include "nodecmdreportrate.h"

#include <limits>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    constexpr int kMaxMinutes = std::numeric_limits<qint32>::max() / 60000;
    FuzzSupport::feedReadCommand(
        data, size, &NodeCMDreportRate::updateRate, [](const QString &line, CommandResult result, int last) {
            if (result == CommandResult::Done)
                FUZZ_CHECK(last >= -kMaxMinutes - 1 && last <= kMaxMinutes);
            // A line that never mentions a report rate completes nothing.
            if (!line.contains(QLatin1String("Report rate")))
                FUZZ_CHECK(result == CommandResult::Pending);
        });
    return 0;
}
