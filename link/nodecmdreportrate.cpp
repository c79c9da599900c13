#include "nodecmdreportrate.h"

#include "replypatterns.h"

namespace {
const char kReportRateCommand[] = "rr\r";
constexpr qint32 kMillisecondsPerMinute = 60000;
} // namespace

NodeCMDreportRate::NodeCMDreportRate(QSerialPort *port, const Pacing &pacing)
    : NodeCommand(kReportRateCommand, port, pacing)
{
}

qint32 NodeCMDreportRate::minutesFromMilliseconds(qint32 milliseconds)
{
    return milliseconds / kMillisecondsPerMinute; // integer division truncates toward zero
}

CommandResult NodeCMDreportRate::parseReply(QString line)
{
    // Up to 16 digits may match; whatever does not fit a 32-bit signed number counts as 0 ms.
    static const QRegularExpression pattern = ReplyPatterns::make(QStringLiteral("Report rate\\s*:\\s*(-*\\d{1,16})"));
    const QRegularExpressionMatch match = pattern.match(line);
    if (!match.hasMatch())
        return CommandResult::Pending;
    emit updateRate(minutesFromMilliseconds(ReplyPatterns::toInt32(match.captured(1))));
    return CommandResult::Done;
}
