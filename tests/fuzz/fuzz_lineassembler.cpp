// Line assembly of the serial link fed arbitrary byte streams, whole and in pieces. The way the bytes are
// split into reads must not change the lines, the counts must agree with a plain count of carriage returns and
// over-long lines, and no line carries a control or bidirectional formatting character.

#include "fuzzsupport.h"
#include "lineassembler.h"

#include <algorithm>

namespace {
// Written out here rather than taken from the assembler, so that the check does not share its mistakes.
bool mustNotReachTheTool(QChar c)
{
    const ushort u = c.unicode();
    const bool control = u < 0x20 || (u >= 0x7F && u <= 0x9F);
    const bool bidi
        = u == 0x061C || u == 0x200E || u == 0x200F || (u >= 0x202A && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069);
    return control || bidi;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte picks the size of the reads the stream arrives in; the rest is the stream.
    const int readSize = data[0] % 64 + 1;
    const QByteArray stream = FuzzSupport::bytes(data + 1, size - 1);

    LineAssembler whole;
    const QStringList lines = whole.feed(stream);

    LineAssembler pieces;
    QStringList pieceLines;
    for (int at = 0; at < stream.size(); at += readSize)
        pieceLines += pieces.feed(stream.mid(at, readSize));
    FUZZ_CHECK(pieceLines == lines);
    FUZZ_CHECK(pieces.pending() == whole.pending());
    FUZZ_CHECK(pieces.droppedLines() == whole.droppedLines());

    // What a reader that keeps every byte would see: one segment per carriage return.
    int completed = 0;
    int overLong = 0;
    int segmentLength = 0;
    for (const char byte : stream) {
        if (byte == '\r') {
            ++completed;
            overLong += segmentLength > LineAssembler::kMaxLineBytes ? 1 : 0;
            segmentLength = 0;
        } else {
            ++segmentLength;
        }
    }
    FUZZ_CHECK(whole.droppedLines() == overLong + (segmentLength > LineAssembler::kMaxLineBytes ? 1 : 0));
    FUZZ_CHECK(lines.size() == completed - overLong);
    FUZZ_CHECK(whole.pending().size() <= LineAssembler::kMaxLineBytes);
    FUZZ_CHECK(segmentLength > LineAssembler::kMaxLineBytes || whole.pending() == stream.right(segmentLength));

    for (const QString &line : lines) {
        FUZZ_CHECK(!line.contains(QLatin1Char('\r')));
        FUZZ_CHECK(line == line.trimmed());
        FUZZ_CHECK(line.size() <= LineAssembler::kMaxLineBytes);
        FUZZ_CHECK(std::none_of(line.begin(), line.end(), mustNotReachTheTool));
    }
    return 0;
}
