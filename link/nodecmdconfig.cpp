#include "nodecmdconfig.h"

#include "linklog.h"

#include "replypatterns.h"

#include <QLoggingCategory>

namespace {
const char kConfigCommand[] = "cfg\r";

// Byte counts of the identifiers inside their protected fields.
constexpr int kEuiBytes = 8;
constexpr int kAppKeyBytes = 16;
constexpr int kNetIdBytes = 4;
constexpr int kSigfoxIdBytes = 4;
constexpr int kSigfoxPacBytes = 8;

// What an unconfigured node stands for: identifiers of all zeros.
const QString kZeroEui = QStringLiteral("0000000000000000");
const QString kZeroAppKey = QStringLiteral("00000000000000000000000000000000");

// "<key>= " and the 18 bytes of a protected field as upper-case hex pairs separated by single blanks.
QRegularExpression spacedFieldPattern(const char *key)
{
    QString pattern = QStringLiteral("^") + QString::fromLatin1(key) + QStringLiteral("= (");
    for (int i = 0; i < ProtectedFieldCipher::kFieldBytes; ++i) {
        if (i > 0)
            pattern += QLatin1Char(' ');
        pattern += QStringLiteral("[\\dA-F]{2}");
    }
    pattern += QLatin1Char(')');
    return ReplyPatterns::make(pattern);
}
} // namespace

NodeCMDconfig::NodeCMDconfig(QSerialPort *port, const Pacing &pacing)
    : NodeCommand(kConfigCommand, port, pacing)
    , m_cipher(ProtectedFieldCipher::Decrypt)
{
}

QString NodeCMDconfig::decodeField(const QString &fieldHex, int count)
{
    const ProtectedFieldCipher::Decoded decoded = m_cipher.decodeProtectedChecked(fieldHex, count);
    if (decoded.outcome == ProtectedFieldCipher::Outcome::KeyMismatch)
        m_keyMismatch = true;
    return decoded.value;
}

bool NodeCMDconfig::takeProtected(const QRegularExpression &pattern, const QString &line, int count, QString *target)
{
    const QRegularExpressionMatch match = pattern.match(line);
    if (!match.hasMatch())
        return false;
    QString digits = match.captured(1);
    digits.remove(QLatin1Char(' '));
    const QString plain = decodeField(digits, count);
    if (plain.isEmpty())
        return false; // a damaged field keeps the earlier value and is not counted as seen
    *target = plain.toUpper();
    return true;
}

CommandResult NodeCMDconfig::parseReply(QString line)
{
    static const QRegularExpression communication = ReplyPatterns::make(QStringLiteral("^Communication:\\s(.+)"));
    static const QRegularExpression devEui = spacedFieldPattern("DevEui");
    static const QRegularExpression appEui = spacedFieldPattern("AppEui");
    static const QRegularExpression appKey = spacedFieldPattern("AppKey");
    static const QRegularExpression netEui = spacedFieldPattern("NetEui");
    static const QRegularExpression sigfoxId = ReplyPatterns::make(QStringLiteral("^SigFox ID\\s+:\\s+([\\dA-F]{36})"));
    static const QRegularExpression sigfoxPac
        = ReplyPatterns::make(QStringLiteral("^SigFox PAC\\s+:\\s+([\\dA-F]{36})"));

    // Once a node has shown another key, nothing more it says about itself can be trusted.
    if (m_keyMismatch)
        return CommandResult::Failed;

    const QRegularExpressionMatch type = communication.match(line);
    if (type.hasMatch() && m_result.applyCommunication(type.captured(1)))
        m_seen |= SeenCommunication;

    if (line == QLatin1String("Device not configured")) {
        qCInfo(lcLink, "device not configured");
        m_result.euid = kZeroEui;
        m_result.appId = kZeroEui;
        m_result.appKey = kZeroAppKey;
        m_seen |= SeenEuid | SeenAppId | SeenAppKey | SeenNetId;
    }

    if (takeProtected(devEui, line, kEuiBytes, &m_result.euid))
        m_seen |= SeenEuid;

    if (line == QLatin1String("AppEui= NULL")) {
        m_result.appId = kZeroEui;
        m_seen |= SeenAppId;
    }
    if (takeProtected(appEui, line, kEuiBytes, &m_result.appId))
        m_seen |= SeenAppId;

    if (line == QLatin1String("AppKey= NULL")) {
        m_result.appKey = kZeroAppKey;
        m_seen |= SeenAppKey;
    }
    if (takeProtected(appKey, line, kAppKeyBytes, &m_result.appKey))
        m_seen |= SeenAppKey;

    if (takeProtected(netEui, line, kNetIdBytes, &m_result.netId))
        m_seen |= SeenNetId;

    const QRegularExpressionMatch id = sigfoxId.match(line);
    if (id.hasMatch()) {
        const QString plain = decodeField(id.captured(1), kSigfoxIdBytes);
        if (!plain.isEmpty()) {
            // Read as unsigned: IDs from 80000000 hex up are valid and must not collapse to 0.
            const quint32 value = plain.toUInt(nullptr, 16);
            m_result.euid = QString::number(value, 16).toUpper();
            m_seen |= SeenEuid;
        }
    }

    const QRegularExpressionMatch pac = sigfoxPac.match(line);
    if (pac.hasMatch()) {
        const QString plain = decodeField(pac.captured(1), kSigfoxPacBytes);
        if (!plain.isEmpty()) {
            m_result.pac = plain.toUpper();
            // A SigFox node has no application id, key or network id to wait for.
            m_seen |= SeenAppId | SeenAppKey | SeenNetId;
        }
    }

    if (m_keyMismatch) {
        qInfo("NodeCMDconfig: the node's identifiers are enciphered under another key than the tool's (key %s)",
            qPrintable(ProtectedFieldCipher::keyFingerprint()));
        emit keyMismatch();
        return CommandResult::Failed;
    }
    const CommandResult result = completeOnceSeen(SeenRequired);
    if (result == CommandResult::Done)
        emit updateConfig(m_result);
    return result;
}
