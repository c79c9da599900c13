#include "writeverification.h"

#include "wiresettings.h"

#include <QCoreApplication>
#include <QStringList>

namespace {

struct SettingLabel
{
    int flag;
    const char *label;
};

const SettingLabel kSettingLabels[] = {
    {Node::FlagAppId, QT_TRANSLATE_NOOP("WriteVerification", "Application ID")},
    {Node::FlagAppKey, QT_TRANSLATE_NOOP("WriteVerification", "Application Key")},
    {Node::FlagNetId, QT_TRANSLATE_NOOP("WriteVerification", "Network ID")},
    {Node::FlagTemperature, QT_TRANSLATE_NOOP("WriteVerification", "Temperature")},
    {Node::FlagHumidity, QT_TRANSLATE_NOOP("WriteVerification", "Humidity")},
    {Node::FlagPressure, QT_TRANSLATE_NOOP("WriteVerification", "Pressure")},
    {Node::FlagAccelerometer, QT_TRANSLATE_NOOP("WriteVerification", "Accelerometer")},
    {Node::FlagReportRate, QT_TRANSLATE_NOOP("WriteVerification", "Report Rate")},
};

QString operatorLabel(const WriteVerification::Mismatch &mismatch)
{
    for (const SettingLabel &entry : kSettingLabels) {
        if (entry.flag == mismatch.flag)
            return QCoreApplication::translate("WriteVerification", entry.label);
    }
    return mismatch.field;
}

} // namespace

QList<WriteVerification::Mismatch> WriteVerification::compare(const Node &written, int flags, const Node &reread)
{
    const WireSettings sent = WireSettings::ofWritten(written);
    const WireSettings back = WireSettings::ofRead(reread);
    QList<Mismatch> mismatches;
    for (const int flag : WireSettings::kFlagsInWriteOrder) {
        if (!(flags & flag) || sent.sameAs(back, flag))
            continue;
        mismatches.append({flag, WireSettings::fieldName(flag), sent.text(flag), back.text(flag)});
    }
    return mismatches;
}

QString WriteVerification::describe(const QList<Mismatch> &mismatches)
{
    QStringList parts;
    for (const Mismatch &m : mismatches)
        parts << QStringLiteral("%1 written %2, read %3").arg(m.field, m.writtenText, m.readText);
    return parts.join(QStringLiteral("; "));
}

QString WriteVerification::describeForOperator(const QList<Mismatch> &mismatches)
{
    QStringList parts;
    for (const Mismatch &m : mismatches) {
        parts << QCoreApplication::translate("WriteVerification", "%1 written %2, read %3")
                     .arg(operatorLabel(m), m.writtenText, m.readText);
    }
    return parts.join(QStringLiteral("; "));
}
