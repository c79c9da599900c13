// The write commands' reply parser and the sleep command's parser, fed the lines of arbitrary node output.

#include "fuzzsupport.h"
#include "nodecmdsetsigfoxdata.h"
#include "nodecmdsleep.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // No port: only the parsers run. All three write commands share this parser.
    NodeCMDsetSigfoxData write(QString(), nullptr);
    NodeCMDsleep sleep(nullptr);
    int sleeping = 0;
    QObject::connect(&sleep, &NodeCMDsleep::nodeSleeping, [&] { ++sleeping; });

    for (const QString &line : FuzzSupport::nodeLines(data, size)) {
        const CommandResult verdict = write.parseReply(line);
        FUZZ_CHECK(
            verdict == CommandResult::Pending || verdict == CommandResult::Failed || verdict == CommandResult::Done);
        // Only a line carrying "Set" or "FAILED" (case-sensitive) is a verdict.
        if (verdict == CommandResult::Done)
            FUZZ_CHECK(line.contains(QLatin1String("Set")));
        if (verdict == CommandResult::Failed)
            FUZZ_CHECK(line.contains(QLatin1String("FAILED")));

        const int before = sleeping;
        const CommandResult asleep = sleep.parseReply(line);
        FUZZ_CHECK(asleep == CommandResult::Pending || asleep == CommandResult::Done);
        FUZZ_CHECK(sleeping == before + (asleep == CommandResult::Done ? 1 : 0));
        if (asleep == CommandResult::Done)
            FUZZ_CHECK(line.contains(QLatin1String("Terminal going")));
    }
    return 0;
}
