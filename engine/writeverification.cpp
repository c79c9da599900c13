#include "writeverification.h"

#include "wiresettings.h"

#include <QStringList>

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
