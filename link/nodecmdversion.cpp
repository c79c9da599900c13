#include "nodecmdversion.h"

#include "replypatterns.h"

namespace {
const char kVersionCommand[] = "ver\r";
} // namespace

NodeCMDversion::NodeCMDversion(QSerialPort *port, const Pacing &pacing)
    : NodeCommand(kVersionCommand, port, pacing)
{
}

CommandResult NodeCMDversion::parseReply(QString line)
{
    // A v, the type number, then at least one more character: "v12.3" is type 12, a bare "v2" is no type.
    static const QRegularExpression typePrefix = ReplyPatterns::make(QStringLiteral("^v(\\d+)."));

    QRegularExpressionMatch match = ReplyPatterns::boardVersion().match(line);
    if (match.hasMatch()) {
        const QString word = match.captured(1);
        const QRegularExpressionMatch type = typePrefix.match(word);
        if (type.hasMatch())
            m_result.firmwareType = Node::eFirmwareType(ReplyPatterns::toInt32(type.captured(1)));
        m_result.nodeVersion = word;
        m_seen |= SeenBoard;
    }
    match = ReplyPatterns::moduleVersion().match(line);
    if (match.hasMatch()) {
        m_result.moduleVersion = match.captured(1);
        m_seen |= SeenModule;
    }
    match = ReplyPatterns::radioVersion().match(line);
    if (match.hasMatch()) {
        m_result.loraVersion = match.captured(1);
        m_seen |= SeenRadio;
    }

    const CommandResult result = completeOnceSeen(SeenAll);
    if (result == CommandResult::Done)
        emit updateVersion(m_result);
    return result;
}
