#include "profileentry.h"

#include <QStringList>

#include <algorithm>

namespace {

// The leading digits of a version part without leading zeros; empty for 0 or no digits. Kept as text so that
// parts of any length compare correctly.
QString numberOf(const QString &part)
{
    int end = 0;
    while (end < part.size() && part.at(end).isDigit() && part.at(end).unicode() < 128)
        ++end;
    int start = 0;
    while (start < end && part.at(start) == QLatin1Char('0'))
        ++start;
    return part.mid(start, end - start);
}

QStringList versionParts(const QString &version)
{
    QString text = version.trimmed();
    if (text.startsWith(QLatin1Char('v'), Qt::CaseInsensitive))
        text.remove(0, 1);
    return text.split(QLatin1Char('.'));
}

// A version text at all: its first part, after the "v", begins with a digit.
bool startsWithNumber(const QString &version)
{
    const QString first = versionParts(version).first();
    return !first.isEmpty() && first.at(0).isDigit() && first.at(0).unicode() < 128;
}

} // namespace

int ProfileEntry::settingFlags() const
{
    const std::pair<bool, int> settings[] = {
        {appId.has_value(), Node::FlagAppId},
        {netId.has_value(), Node::FlagNetId},
        {temperature.has_value(), Node::FlagTemperature},
        {humidity.has_value(), Node::FlagHumidity},
        {pressure.has_value(), Node::FlagPressure},
        {accelerometer.has_value(), Node::FlagAccelerometer},
        {reportRate.has_value(), Node::FlagReportRate},
    };
    int flags = 0;
    for (const auto &[present, flag] : settings) {
        if (present)
            flags |= flag;
    }
    return flags;
}

bool ProfileEntry::firmwareTooOld(const Node &node) const
{
    if (minNodeVersion.isEmpty())
        return false;
    if (!startsWithNumber(node.nodeVersion))
        return true;
    return compareVersions(node.nodeVersion, minNodeVersion) < 0;
}

int ProfileEntry::compareVersions(const QString &a, const QString &b)
{
    const QStringList partsA = versionParts(a);
    const QStringList partsB = versionParts(b);
    const int count = std::max(partsA.size(), partsB.size());
    for (int i = 0; i < count; ++i) {
        const QString numberA = i < partsA.size() ? numberOf(partsA.at(i)) : QString();
        const QString numberB = i < partsB.size() ? numberOf(partsB.at(i)) : QString();
        if (numberA.size() != numberB.size())
            return numberA.size() < numberB.size() ? -1 : 1;
        const int order = QString::compare(numberA, numberB);
        if (order != 0)
            return order < 0 ? -1 : 1;
    }
    return 0;
}
