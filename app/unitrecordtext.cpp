#include "unitrecordtext.h"

#include <QDateTime>

using Kind = UnitRecord::Step::Kind;

QString UnitRecordText::step(UnitRecord::Step::Kind kind)
{
    switch (kind) {
    case Kind::Read:
        return tr("Read");
    case Kind::FirmwareGate:
        return tr("Firmware check");
    case Kind::ProfileComparison:
        return tr("Profile comparison");
    case Kind::Write:
        return tr("Write");
    case Kind::Verification:
        return tr("Verification");
    case Kind::LabelCheck:
        return tr("Label check");
    case Kind::Registration:
        return tr("Registration");
    case Kind::Sleep:
        return tr("Sleep");
    }
    return QString();
}

QString UnitRecordText::step(const QString &kindName)
{
    for (int kind = int(Kind::Read); kind <= int(Kind::Sleep); ++kind) {
        if (kindName == UnitRecord::Step::kindName(Kind(kind)))
            return step(Kind(kind));
    }
    return kindName;
}

QString UnitRecordText::outcome(UnitRecord::Step::Outcome outcome)
{
    switch (outcome) {
    case UnitRecord::Step::Outcome::Passed:
        return tr("passed");
    case UnitRecord::Step::Outcome::Failed:
        return tr("failed");
    case UnitRecord::Step::Outcome::Skipped:
        return tr("skipped");
    case UnitRecord::Step::Outcome::NotReached:
        return tr("not reached");
    }
    return QString();
}

QString UnitRecordText::outcome(UnitRecord::Outcome outcome)
{
    switch (outcome) {
    case UnitRecord::Outcome::Passed:
        return tr("passed");
    case UnitRecord::Outcome::Failed:
        return tr("failed");
    case UnitRecord::Outcome::Abandoned:
        return tr("abandoned");
    case UnitRecord::Outcome::Open:
        return tr("open");
    }
    return QString();
}

QString UnitRecordText::reason(const QString &stepName, const QString &reasonText)
{
    const QString words = reasonWords(stepName, reasonText);
    if (stepName.isEmpty())
        return words.isEmpty() ? tr("Unknown step") : words;
    return words.isEmpty() ? step(stepName) : tr("%1: %2").arg(step(stepName), words);
}

QString UnitRecordText::reasonWords(const QString &stepName, const QString &reasonText)
{
    const auto is = [&](const char *word) { return reasonText == QLatin1String(word); };
    // How an abandoned unit left.
    if (stepName.isEmpty()) {
        if (is("portLost"))
            return tr("unplugged before the end");
        if (is("reset"))
            return tr("reset to be read again");
        if (is("disconnected"))
            return tr("port let go");
        if (is("setAside"))
            return tr("set aside by the command line");
        if (is("nextNode"))
            return tr("the next node was read on its port");
        if (is("left"))
            return tr("left before the end");
        return reasonText;
    }
    if (is("firmwareTooOld"))
        return tr("firmware too old");
    if (is("keyMismatch"))
        return tr("node key does not match");
    if (is("notConfigured"))
        return tr("node not configured");
    if (is("unknownType"))
        return tr("no form for its type");
    if (is("noIdentity"))
        return tr("no identity");
    if (is("invalidValue"))
        return tr("value cannot be sent");
    if (is("noPort"))
        return tr("no port open");
    if (is("interrupted"))
        return tr("cut off before it ended");
    if (is("timedOut"))
        return tr("node stopped answering");
    if (is("notReadBack"))
        return tr("not read back after the write");
    if (is("failed") || is("unknown"))
        return tr("not written");
    if (is("refused"))
        return stepName == QLatin1String("registration") ? tr("refused by the server") : tr("refused by the node");
    if (is("mismatch")) {
        if (stepName == QLatin1String("labelCheck"))
            return tr("label does not match");
        if (stepName == QLatin1String("verification"))
            return tr("read back differs");
    }
    return reasonText;
}

QString UnitRecordText::duration(qint64 msecs)
{
    const qint64 seconds = (msecs + 500) / 1000;
    if (seconds < 60)
        return tr("%1 s").arg(seconds);
    return tr("%1 min %2 s").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QString UnitRecordText::time(qint64 msecs)
{
    return msecs > 0 ? QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                     : QString();
}
