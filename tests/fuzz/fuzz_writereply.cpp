// The write commands' reply parser and the sleep command's parser, fed the lines of arbitrary node output.

#include "fuzzsupport.h"
#include "nodecmdsetsigfoxdata.h"
#include "nodecmdsleep.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzSupport::silenceLogging();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // No port: only the parsers run. All three write commands share this parser.
    NodeCMDsetSigfoxData write(QString(), nullptr);
    NodeCMDsleep sleep(nullptr);
    int sleeping = 0;
    QObject::connect(&sleep, &NodeCMDsleep::nodeSleeping, [&] { ++sleeping; });

    for (const QString &line : FuzzSupport::nodeLines(data, size)) {
        const int verdict = write.parseReply(line);
        FUZZ_CHECK(verdict == NodeCommand::ResultPending || verdict == NodeCommand::ResultFailed
            || verdict == NodeCommand::ResultDone);
        // Only a line carrying "Set" or "FAILED" (case-sensitive) is a verdict.
        if (verdict == NodeCommand::ResultDone)
            FUZZ_CHECK(line.contains(QLatin1String("Set")));
        if (verdict == NodeCommand::ResultFailed)
            FUZZ_CHECK(line.contains(QLatin1String("FAILED")));

        const int before = sleeping;
        const int asleep = sleep.parseReply(line);
        FUZZ_CHECK(asleep == NodeCommand::ResultPending || asleep == NodeCommand::ResultDone);
        FUZZ_CHECK(sleeping == before + (asleep == NodeCommand::ResultDone ? 1 : 0));
        if (asleep == NodeCommand::ResultDone)
            FUZZ_CHECK(line.contains(QLatin1String("Terminal going")));
    }
    return 0;
}
