// The report-rate read's reply parser fed the lines of arbitrary node output. Minutes are whole minutes of
// a 32-bit millisecond count, whatever the node prints.

#include "fuzzsupport.h"
#include "nodecmdreportrate.h"

#include <limits>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzSupport::silenceLogging();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    constexpr int kMaxMinutes = std::numeric_limits<qint32>::max() / 60000;
    NodeCMDreportRate command(nullptr);
    int emitted = 0;
    int last = 0;
    QObject::connect(&command, &NodeCMDreportRate::updateRate, [&](int minutes) {
        ++emitted;
        last = minutes;
    });

    for (const QString &line : FuzzSupport::nodeLines(data, size)) {
        const int before = emitted;
        const int result = command.parseReply(line);
        FUZZ_CHECK(result == NodeCommand::ResultPending || result == NodeCommand::ResultDone);
        FUZZ_CHECK(emitted == before + (result == NodeCommand::ResultDone ? 1 : 0));
        if (result == NodeCommand::ResultDone)
            FUZZ_CHECK(last >= -kMaxMinutes - 1 && last <= kMaxMinutes);
        // A line that never mentions a report rate completes nothing.
        if (!line.contains(QLatin1String("Report rate")))
            FUZZ_CHECK(result == NodeCommand::ResultPending);
    }
    return 0;
}
