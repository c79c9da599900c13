#include "nodecmdsleep.h"

#include <QDebug>
#include <QRegularExpression>

NodeCMDsleep::NodeCMDsleep(QSerialPort *port)
    : NodeCommand("s\r", port)
{
}

int NodeCMDsleep::parseReply(QString line)
{
    static const QRegularExpression goingToSleep(QStringLiteral("Terminal going(.+)"));
    const QRegularExpressionMatch match = goingToSleep.match(line);
    if (!match.hasMatch())
        return ResultPending;
    qInfo().noquote() << QStringLiteral("GOT: ") + match.captured(1);
    emit nodeSleeping();
    return ResultDone;
}
