#include "node.h"

namespace {
struct CommunicationEntry
{
    const char *text;
    Node::eFirmwareType type;
    qint32 deviceType;
    qint32 deviceCommunication; // -1: leave as it was
};

const CommunicationEntry kCommunicationTable[] = {
    {"Unknown", Node::Unknown, 0, -1},
    {"Pellimar", Node::Pellimar, 1, 1},
    {"LoRa OTAA", Node::LoRaOTAA, 1, 2},
    {"SigFox", Node::SigFox, 1, 3},
    {"Pellimar 5D", Node::Pellimar5D, 3, 1},
    {"LoRa OTAA 5D", Node::LoRaOTAA5D, 3, 2},
    {"SigFox 5D", Node::SigFox5D, 3, 3},
};
} // namespace

Node::Node()
    : firmwareType(Unknown)
    , deviceType(0)
    , deviceCommunication(0)
    , netId(QStringLiteral("00000000"))
    , reportRate(0)
{
}

bool Node::hasBlankIdentity() const
{
    QString id = identity();
    if (id.isEmpty())
        return false;
    // A SigFox ID may be shown without its leading zeros: "FFFFFFF" is 0FFFFFFF, a real ID.
    if (isSigfox())
        id = id.rightJustified(8, QLatin1Char('0'));
    const QChar first = id.at(0).toUpper();
    if (first != QLatin1Char('0') && first != QLatin1Char('F'))
        return false;
    for (const QChar c : id) {
        if (c.toUpper() != first)
            return false;
    }
    return true;
}

QString Node::versionText() const
{
    return QStringLiteral("n:") + nodeVersion + QStringLiteral(" c:") + moduleVersion + QStringLiteral(" s:")
        + loraVersion;
}

bool Node::applyCommunication(const QString &text)
{
    for (const CommunicationEntry &entry : kCommunicationTable) {
        if (text == QLatin1String(entry.text)) {
            firmwareType = entry.type;
            deviceType = entry.deviceType;
            if (entry.deviceCommunication >= 0)
                deviceCommunication = entry.deviceCommunication;
            return true;
        }
    }
    return false;
}

QString Node::communicationText(int type)
{
    for (const CommunicationEntry &entry : kCommunicationTable) {
        if (entry.type == type)
            return QString::fromLatin1(entry.text);
    }
    return QString();
}

bool Node::operator==(const Node &o) const
{
    return firmwareType == o.firmwareType && deviceType == o.deviceType
        && deviceCommunication == o.deviceCommunication && lockDescription == o.lockDescription
        && nodeVersion == o.nodeVersion && moduleVersion == o.moduleVersion && loraVersion == o.loraVersion
        && euid == o.euid && pac == o.pac && appId == o.appId && appKey == o.appKey && netId == o.netId
        && thresholds == o.thresholds && reportRate == o.reportRate;
}
