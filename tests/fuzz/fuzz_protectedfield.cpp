// Protected field decoding and encoding with arbitrary text, counts and raw fields. A received field decodes
// only when its frame check holds and the plaintext after the value is zero; a good frame with other fill is a
// key mismatch, never damage. Whatever the tool encodes decodes back to the value, and any change to one of its
// digits is caught.

#include "fuzzsupport.h"
#include "protectedfieldcipher.h"

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using FuzzSupport::isLowerHex;
    if (size == 0)
        return 0;
    static const ProtectedFieldCipher decoder(ProtectedFieldCipher::Decrypt);
    static const ProtectedFieldCipher encoder(ProtectedFieldCipher::Encrypt);
    // The first byte picks the count (including some outside 1..16) and where a digit is changed.
    const int count = data[0] % 20 - 2;
    const uint8_t *payload = data + 1;
    const int payloadSize = int(size - 1);
    const QString text = QString::fromLatin1(reinterpret_cast<const char *>(payload), payloadSize);

    using Outcome = ProtectedFieldCipher::Outcome;
    // Received text of any length and content.
    const QString decoded = decoder.decodeProtected(text, count);
    FUZZ_CHECK(decoded.isEmpty() || (decoded.size() == 2 * count && isLowerHex(decoded)));
    FUZZ_CHECK(decoded.isEmpty() || text.size() == ProtectedFieldCipher::kFieldHexDigits);
    const ProtectedFieldCipher::Decoded checked = decoder.decodeProtectedChecked(text, count);
    FUZZ_CHECK(checked.value == decoded);
    FUZZ_CHECK((checked.outcome == Outcome::Ok) == !decoded.isEmpty());
    FUZZ_CHECK(text.size() == ProtectedFieldCipher::kFieldHexDigits || checked.outcome == Outcome::BadFrame);

    // A value to be written: either a protected field comes out, or nothing (never a guess).
    const QString encoded = encoder.encodeProtected(text);
    const bool validValue = !text.isEmpty() && text.size() % 2 == 0 && text.size() <= 32
        && FuzzSupport::isUpperHex(text.toUpper(), 2, 32);
    FUZZ_CHECK(encoded.isEmpty() != validValue);
    if (validValue) {
        FUZZ_CHECK(encoded.size() == ProtectedFieldCipher::kFieldHexDigits && isLowerHex(encoded));
        FUZZ_CHECK(decoder.decodeProtected(encoded, text.size() / 2) == text.toLower());
        FUZZ_CHECK(decoder.decodeProtected(encoded.toUpper(), text.size() / 2) == text.toLower());
        // Any other digit at any one place fails the frame check.
        const int place = data[0] % ProtectedFieldCipher::kFieldHexDigits;
        const int digit = QStringLiteral("0123456789abcdef").indexOf(encoded.at(place));
        QString damaged = encoded;
        damaged[place] = QStringLiteral("0123456789abcdef").at((digit + 1 + payloadSize % 15) % 16);
        FUZZ_CHECK(decoder.decodeProtected(damaged, 16).isEmpty());
        // The wrong cipher direction never produces anything.
        FUZZ_CHECK(encoder.decodeProtected(encoded, 8).isEmpty());
        FUZZ_CHECK(decoder.encodeProtected(text).isEmpty());
    }

    // Raw received bytes: a field decodes exactly when its frame check holds and the plaintext after the value
    // is zero. A whole block has no fill, so count 16 shows the plaintext that decides it.
    if (payloadSize >= ProtectedFieldCipher::kFieldBytes) {
        const QString field = ProtectedFieldCipher::toHexText(payload, ProtectedFieldCipher::kFieldBytes).toUpper();
        const bool intact
            = ProtectedFieldCipher::fcs16(payload, ProtectedFieldCipher::kFieldBytes) == ProtectedFieldCipher::kGoodFcs;
        const QString block = decoder.decodeProtected(field, 16);
        FUZZ_CHECK(block.isEmpty() != intact);
        if (count >= 1 && count <= 16) {
            const ProtectedFieldCipher::Decoded raw = decoder.decodeProtectedChecked(field, count);
            if (!intact) {
                FUZZ_CHECK(raw.outcome == Outcome::BadFrame);
            } else {
                const bool zeroFill = block.mid(2 * count) == QString(block.size() - 2 * count, QLatin1Char('0'));
                FUZZ_CHECK(raw.outcome == (zeroFill ? Outcome::Ok : Outcome::KeyMismatch));
                FUZZ_CHECK(raw.value == (zeroFill ? block.left(2 * count) : QString()));
            }
        }
    }

    // The payload as a plaintext block (zero-filled to 16 bytes) enciphered by the tool: the frame is always good,
    // so only the fill after the value decides between the value and a key mismatch.
    if (count >= 1 && count <= 16) {
        uchar block[ProtectedFieldCipher::kBlockBytes] = {};
        const int blockBytes = qMin(payloadSize, int(ProtectedFieldCipher::kBlockBytes));
        std::copy(payload, payload + blockBytes, block);
        const QString blockHex = ProtectedFieldCipher::toHexText(block, ProtectedFieldCipher::kBlockBytes);
        const ProtectedFieldCipher::Decoded own
            = decoder.decodeProtectedChecked(encoder.encodeProtected(blockHex), count);
        const bool zeroFill
            = std::all_of(block + count, block + ProtectedFieldCipher::kBlockBytes, [](uchar b) { return b == 0; });
        FUZZ_CHECK(own.outcome == (zeroFill ? Outcome::Ok : Outcome::KeyMismatch));
        FUZZ_CHECK(own.value == (zeroFill ? blockHex.left(2 * count) : QString()));

        // Under another key the frame is just as good: whatever comes out, it is never called damage.
        static const ProtectedFieldCipher otherNode(
            ProtectedFieldCipher::Encrypt, QByteArray::fromHex("000102030405060708090a0b0c0d0e0f"));
        FUZZ_CHECK(
            decoder.decodeProtectedChecked(otherNode.encodeProtected(blockHex), count).outcome != Outcome::BadFrame);
    }
    return 0;
}
