// The configuration read's reply parser fed the lines of arbitrary node output. Whatever the node prints,
// an announced configuration holds a known type and identifiers in the form the rest of the tool relies on.

#include "fuzzsupport.h"
#include "node.h"
#include "nodecmdconfig.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using FuzzSupport::isUpperHex;
    NodeCMDconfig command(nullptr);
    int emitted = 0;
    Node last;
    QObject::connect(&command, &NodeCMDconfig::updateConfig, [&](Node node) {
        ++emitted;
        last = node;
    });
    int mismatches = 0;
    QObject::connect(&command, &NodeCMDconfig::keyMismatch, [&] { ++mismatches; });

    for (const QString &line : FuzzSupport::nodeLines(data, size)) {
        const int before = emitted;
        const int mismatchesBefore = mismatches;
        const CommandResult result = command.parseReply(line);
        // A node keyed differently ends the read: one signal, and from then on every line fails and nothing is
        // announced.
        FUZZ_CHECK(mismatches <= 1);
        FUZZ_CHECK((result == CommandResult::Failed) == (mismatches == 1));
        FUZZ_CHECK(mismatchesBefore == 0 || emitted == before);
        FUZZ_CHECK(
            result == CommandResult::Pending || result == CommandResult::Done || result == CommandResult::Failed);
        // The answer is complete exactly when the signal goes out, once.
        FUZZ_CHECK(emitted == before + (result == CommandResult::Done ? 1 : 0));
        if (result != CommandResult::Done)
            continue;
        FUZZ_CHECK(last.firmwareType >= Node::Unknown && last.firmwareType <= Node::SigFox5D);
        FUZZ_CHECK(last.deviceType >= 0 && last.deviceType <= 3);
        FUZZ_CHECK(last.deviceCommunication >= 0 && last.deviceCommunication <= 3);
        // A DevEui of 16 digits, or a SigFox ID of up to 8 without leading zeros.
        FUZZ_CHECK(isUpperHex(last.euid, 16, 16)
            || (isUpperHex(last.euid, 1, 8) && (last.euid == QLatin1String("0") || !last.euid.startsWith('0'))));
        FUZZ_CHECK(last.appId.isEmpty() || isUpperHex(last.appId, 16, 16));
        FUZZ_CHECK(last.appKey.isEmpty() || isUpperHex(last.appKey, 32, 32));
        FUZZ_CHECK(isUpperHex(last.netId, 8, 8));
        FUZZ_CHECK(last.pac.isEmpty() || isUpperHex(last.pac, 16, 16));
        // Without a PAC the application id and key must have been read.
        FUZZ_CHECK(!last.pac.isEmpty() || (!last.appId.isEmpty() && !last.appKey.isEmpty()));
        // The configuration read never touches what the banner and the operator supply.
        FUZZ_CHECK(last.nodeVersion.isEmpty() && last.lockDescription.isEmpty());
    }
    return 0;
}
