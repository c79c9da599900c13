#include "scriptedlink.h"

QStringList ScriptedLink::requestNames() const
{
    QStringList names;
    for (const Request &request : received)
        names << request.name;
    return names;
}

void ScriptedLink::boot(const Node &node)
{
    emit busy(true);
    emit nodeConnected(node);
}

void ScriptedLink::finishSettingsWrite(CommandResult result, int acknowledged, CommandFailure failure)
{
    emit settingsAcknowledged(acknowledged);
    emit nodeCommandResult(result, failure);
}

void ScriptedLink::openLastPort()
{
    for (auto request = received.crbegin(); request != received.crend(); ++request) {
        if (request->name == QLatin1String("connectSerialPort")) {
            emit serialPortOpened(request->text);
            return;
        }
    }
}
