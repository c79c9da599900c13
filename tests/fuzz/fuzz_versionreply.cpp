// The version read's reply parser fed the lines of arbitrary node output.

#include "fuzzsupport.h"
#include "node.h"
#include "nodecmdversion.h"

#include <QRegularExpression>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QString seen; // every line so far
    FuzzSupport::feedReadCommand(data, size, &NodeCMDversion::updateVersion,
        [&seen](const QString &line, CommandResult result, const Node &last) {
            seen += line + QLatin1Char('\n');
            if (result != CommandResult::Done)
                return;
            // Each version is one word taken from a banner line.
            for (const QString &word : {last.nodeVersion, last.moduleVersion, last.loraVersion}) {
                FUZZ_CHECK(!word.isEmpty());
                for (const QChar c : word)
                    FUZZ_CHECK(!c.isSpace());
            }
            // The type is the number after a v in some board version the node printed, digits without a sign.
            // (The pattern wants one more character after the digits, so "v10" alone reads as type 1: the digits
            // of the type lead the digits after the v, not necessarily all of them.)
            FUZZ_CHECK(last.firmwareType >= 0);
            if (last.firmwareType != Node::Unknown)
                FUZZ_CHECK(seen.contains(QRegularExpression(QStringLiteral("v0*%1").arg(int(last.firmwareType)))));
            FUZZ_CHECK(last.euid.isEmpty() && last.appId.isEmpty() && last.deviceType == 0);
        });
    return 0;
}
