#include "protectedfieldcipher.h"

#include "nodekey.h"

#include <openssl/evp.h>

#include <array>

namespace {
// Table-driven FCS-16 of RFC 1662 (reflected polynomial 0x8408), built once.
std::array<quint16, 256> makeFcsTable()
{
    std::array<quint16, 256> table{};
    for (int b = 0; b < 256; ++b) {
        quint16 v = quint16(b);
        for (int i = 0; i < 8; ++i)
            v = (v & 1) ? quint16((v >> 1) ^ 0x8408) : quint16(v >> 1);
        table[b] = v;
    }
    return table;
}

int hexValue(QChar c)
{
    const ushort u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

// A pair that is not valid hex yields 0, as the node's own reader does; such a field fails its FCS check.
uchar pairValue(QChar high, QChar low)
{
    const int h = hexValue(high);
    const int l = hexValue(low);
    if (h < 0 || l < 0)
        return 0;
    return uchar(h * 16 + l);
}
} // namespace

void ProtectedFieldCipher::CtxDeleter::operator()(evp_cipher_ctx_st *ctx) const
{
    EVP_CIPHER_CTX_free(ctx);
}

ProtectedFieldCipher::ProtectedFieldCipher(Direction direction)
    : ProtectedFieldCipher(direction, programKey())
{
}

ProtectedFieldCipher::ProtectedFieldCipher(Direction direction, const QByteArray &key)
    : m_direction(direction)
{
    if (key.size() != kBlockBytes)
        return;
    std::unique_ptr<evp_cipher_ctx_st, CtxDeleter> ctx(EVP_CIPHER_CTX_new());
    if (!ctx)
        return;
    const auto *k = reinterpret_cast<const unsigned char *>(key.constData());
    if (EVP_CipherInit_ex(ctx.get(), EVP_aes_128_ecb(), nullptr, k, nullptr, direction == Encrypt ? 1 : 0) != 1)
        return;
    EVP_CIPHER_CTX_set_padding(ctx.get(), 0);
    m_ctx = std::move(ctx);
}

ProtectedFieldCipher::~ProtectedFieldCipher() = default;

QByteArray ProtectedFieldCipher::programKey()
{
    return QByteArray::fromHex(QByteArrayLiteral(IOT_NODE_KEY_HEX));
}

QString ProtectedFieldCipher::keyFingerprint(const QByteArray &key)
{
    constexpr int kFingerprintBytes = 4;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    if (EVP_Digest(key.constData(), size_t(key.size()), digest, &digestLength, EVP_sha256(), nullptr) != 1
        || digestLength < unsigned(kFingerprintBytes))
        return QString();
    return toHexText(digest, kFingerprintBytes).toUpper();
}

bool ProtectedFieldCipher::isDevelopmentKey()
{
    return programKey() == QByteArray::fromHex(QByteArrayLiteral(IOT_NODE_DEVELOPMENT_KEY_HEX));
}

quint16 ProtectedFieldCipher::fcs16(const uchar *data, int length)
{
    static const std::array<quint16, 256> table = makeFcsTable();
    quint16 fcs = 0xFFFF;
    for (int i = 0; i < length; ++i)
        fcs = quint16((fcs >> 8) ^ table[(fcs ^ data[i]) & 0xFF]);
    return fcs;
}

QString ProtectedFieldCipher::toHexText(const uchar *data, int count)
{
    static const char digits[] = "0123456789abcdef";
    QString text;
    if (count <= 0)
        return text;
    text.reserve(count * 2);
    for (int i = 0; i < count; ++i) {
        text.append(QLatin1Char(digits[data[i] >> 4]));
        text.append(QLatin1Char(digits[data[i] & 0x0F]));
    }
    return text;
}

bool ProtectedFieldCipher::runBlock(const uchar *in, uchar *out) const
{
    if (!m_ctx)
        return false;
    int outLength = 0;
    // ECB without padding keeps no state between blocks, so one context serves every field.
    if (EVP_CipherUpdate(m_ctx.get(), out, &outLength, in, kBlockBytes) != 1)
        return false;
    return outLength == kBlockBytes;
}

QString ProtectedFieldCipher::decodeProtected(const QString &fieldHex, int count) const
{
    return decodeProtectedChecked(fieldHex, count).value;
}

ProtectedFieldCipher::Decoded ProtectedFieldCipher::decodeProtectedChecked(const QString &fieldHex, int count) const
{
    if (m_direction != Decrypt || fieldHex.size() != kFieldHexDigits || count < 1 || count > kBlockBytes)
        return {QString(), Outcome::BadFrame};
    uchar field[kFieldBytes];
    for (int i = 0; i < kFieldBytes; ++i)
        field[i] = pairValue(fieldHex.at(2 * i), fieldHex.at(2 * i + 1));
    if (fcs16(field, kFieldBytes) != kGoodFcs)
        return {QString(), Outcome::BadFrame};
    uchar plain[kBlockBytes];
    if (!runBlock(field, plain))
        return {QString(), Outcome::BadFrame};
    // The frame check covers the ciphertext only, so a node keyed differently passes it; its plaintext is then
    // noise, and the zero fill the encoder put after the value is where that shows.
    for (int i = count; i < kBlockBytes; ++i) {
        if (plain[i] != 0)
            return {QString(), Outcome::KeyMismatch};
    }
    return {toHexText(plain, count), Outcome::Ok};
}

QString ProtectedFieldCipher::encodeProtected(const QString &valueHex) const
{
    if (m_direction != Encrypt || valueHex.isEmpty() || valueHex.size() % 2 != 0
        || valueHex.size() > 2 * kBlockBytes)
        return QString();
    uchar plain[kBlockBytes] = {};
    for (int i = 0; i < valueHex.size() / 2; ++i) {
        const int h = hexValue(valueHex.at(2 * i));
        const int l = hexValue(valueHex.at(2 * i + 1));
        if (h < 0 || l < 0)
            return QString(); // never send a value we would have to guess at
        plain[i] = uchar(h * 16 + l);
    }
    uchar field[kFieldBytes];
    if (!runBlock(plain, field))
        return QString();
    const quint16 fcs = quint16(fcs16(field, kBlockBytes) ^ 0xFFFF);
    field[16] = uchar(fcs & 0xFF);
    field[17] = uchar(fcs >> 8);
    return toHexText(field, kFieldBytes);
}
