#include "nodecmdsleep.h"

#include "linklog.h"

#include <QDebug>
#include <QRegularExpression>

NodeCMDsleep::NodeCMDsleep(QSerialPort *port, const Pacing &pacing)
    : NodeCommand("s\r", port, pacing)
{
}

CommandResult NodeCMDsleep::parseReply(QString line)
{
    static const QRegularExpression goingToSleep(QStringLiteral("Terminal going(.+)"));
    const QRegularExpressionMatch match = goingToSleep.match(line);
    if (!match.hasMatch())
        return CommandResult::Pending;
    qCInfo(lcLink).noquote() << QStringLiteral("GOT: ") + match.captured(1);
    emit nodeSleeping();
    return CommandResult::Done;
}
