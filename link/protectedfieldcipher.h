#pragma once

#include <QString>
#include <QtGlobal>

#include <memory>

struct evp_cipher_ctx_st;

// Protected field: one AES-128 block (ECB, no padding) under the node firmware's key, followed by the RFC 1662
// FCS-16 of the ciphertext (low byte first), written as 36 hex digits. Each command that encodes or decodes
// owns one cipher of its own; the OpenSSL context is freed with it.
class ProtectedFieldCipher
{
public:
    enum Direction { Encrypt, Decrypt };

    static constexpr int kBlockBytes = 16;
    static constexpr int kFieldBytes = 18;
    static constexpr int kFieldHexDigits = 36;
    static constexpr quint16 kGoodFcs = 0xF0B8;

    // Uses the key compiled into the program.
    explicit ProtectedFieldCipher(Direction direction);
    // Uses the given 16-byte key (tests and tools).
    ProtectedFieldCipher(Direction direction, const QByteArray &key);
    ~ProtectedFieldCipher();
    ProtectedFieldCipher(const ProtectedFieldCipher &) = delete;
    ProtectedFieldCipher &operator=(const ProtectedFieldCipher &) = delete;

    // How a received field decoded.
    enum class Outcome {
        Ok, // frame check good, every plaintext byte after the value zero
        BadFrame, // damaged on the line: not 36 digits, frame check failed (or no usable cipher or count)
        KeyMismatch, // frame intact but the fill after the value is not zero: enciphered under another key
    };
    struct Decoded
    {
        QString value; // lower-case hex of the value's bytes; empty unless the outcome is Ok
        Outcome outcome;
    };

    // The first `count` (1..16) plaintext bytes of a 36-digit field as lower-case hex, or an empty string when
    // the field is not 36 digits, fails its FCS check, carries non-zero fill after the value, or the cipher
    // cannot run. Needs a Decrypt cipher.
    QString decodeProtected(const QString &fieldHex, int count) const;
    // The same decoding, telling a damaged field from one enciphered under a different key.
    Decoded decodeProtectedChecked(const QString &fieldHex, int count) const;

    // The 36 lower-case digits of the protected field of `valueHex` (an even number of digits, at most 32,
    // either case; zero-filled to one block). Empty for any other input. Needs an Encrypt cipher.
    QString encodeProtected(const QString &valueHex) const;

    bool isValid() const { return m_ctx != nullptr; }

    // Register after `length` bytes from the preset 0xFFFF, without the final complement.
    static quint16 fcs16(const uchar *data, int length);
    // Two lower-case hex digits per byte, no separators.
    static QString toHexText(const uchar *data, int count);
    // The key compiled into the program, 16 bytes.
    static QByteArray programKey();
    // First 8 hex digits (upper case) of the SHA-256 of a key: names a key in logs without revealing it.
    // Empty when the digest cannot be computed.
    static QString keyFingerprint(const QByteArray &key);
    static QString keyFingerprint() { return keyFingerprint(programKey()); }
    // True when the program was built with the default development key instead of a firmware key.
    static bool isDevelopmentKey();

private:
    bool runBlock(const uchar *in, uchar *out) const;

    struct CtxDeleter
    {
        void operator()(evp_cipher_ctx_st *ctx) const;
    };
    Direction m_direction;
    std::unique_ptr<evp_cipher_ctx_st, CtxDeleter> m_ctx;
};
