#pragma once

#include "lineassembler.h"
#include "nodecommand.h"

#include <QObject>

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <type_traits>

// Shared by the fuzz targets. Every target is also linked with the replay driver and run over its committed
// corpus as a unit test, so a check that fails here fails both under libFuzzer and in CTest.

// An invariant of the code under test did not hold: report it and abort, which libFuzzer records as a crash
// (with the input saved) and the replay driver as a failed test.
#define FUZZ_CHECK(condition)                                                                                          \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);                         \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (false)

namespace FuzzSupport {

inline void dropMessage(QtMsgType, const QMessageLogContext &, const QString &) { }

// The parsers log refusals and odd lines; at millions of inputs a second that output would be all the fuzzer
// does, so it is dropped.
inline void silenceLogging()
{
    qInstallMessageHandler(&dropMessage);
}

inline QByteArray bytes(const uint8_t *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), int(size));
}

// The input as the node's side of the serial line: cut into lines and cleaned exactly as the link does it
// before any parser sees them. A final piece without carriage return is given to the parsers as well, so
// inputs need not end in one.
inline QStringList nodeLines(const uint8_t *data, size_t size)
{
    LineAssembler assembler;
    QStringList lines = assembler.feed(bytes(data, size));
    if (!assembler.pending().isEmpty())
        lines.append(LineAssembler::cleanLine(assembler.pending()));
    return lines;
}

// Digits 0-9 and A-F only, with a length in [minLength, maxLength].
inline bool isUpperHex(const QString &text, int minLength, int maxLength)
{
    if (text.size() < minLength || text.size() > maxLength)
        return false;
    for (const QChar c : text) {
        const ushort u = c.unicode();
        if (!((u >= '0' && u <= '9') || (u >= 'A' && u <= 'F')))
            return false;
    }
    return true;
}

inline bool isLowerHex(const QString &text)
{
    for (const QChar c : text) {
        const ushort u = c.unicode();
        if (!((u >= '0' && u <= '9') || (u >= 'a' && u <= 'f')))
            return false;
    }
    return true;
}

// Feeds the input's lines to a read command's reply parser, checking what holds for every read: each result
// is pending or done, and the answer is complete exactly when the command's announcement goes out, once.
// `check(line, result, announced)` then judges each line, `announced` being the last value announced.
template <typename Command, typename Value, typename Check>
void feedReadCommand(const uint8_t *data, size_t size, void (Command::*announcement)(Value), Check check)
{
    Command command(nullptr);
    int emitted = 0;
    std::decay_t<Value> announced{};
    QObject::connect(&command, announcement, [&](Value value) {
        ++emitted;
        announced = value;
    });
    for (const QString &line : nodeLines(data, size)) {
        const int before = emitted;
        const CommandResult result = command.parseReply(line);
        FUZZ_CHECK(result == CommandResult::Pending || result == CommandResult::Done);
        FUZZ_CHECK(emitted == before + (result == CommandResult::Done ? 1 : 0));
        check(line, result, announced);
    }
}

} // namespace FuzzSupport
