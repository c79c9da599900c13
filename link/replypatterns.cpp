#include "replypatterns.h"

namespace ReplyPatterns {

QRegularExpression make(const QString &pattern)
{
    QRegularExpression expression(
        pattern, QRegularExpression::UseUnicodePropertiesOption | QRegularExpression::DotMatchesEverythingOption);
    expression.optimize();
    return expression;
}

const QRegularExpression &boardVersion()
{
    static const QRegularExpression pattern = make(QStringLiteral("^Tavonex\\s+:\\s+(\\S+)"));
    return pattern;
}

const QRegularExpression &moduleVersion()
{
    static const QRegularExpression pattern = make(QStringLiteral("^Ormix\\s+:\\s+(\\S+)"));
    return pattern;
}

const QRegularExpression &radioVersion()
{
    static const QRegularExpression pattern = make(QStringLiteral("^Semtech LoRa\\s:\\s+(\\S+)"));
    return pattern;
}

qint32 toInt32(const QString &text)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    return ok ? value : 0;
}

float toFloat(const QString &text)
{
    bool ok = false;
    const float value = text.toFloat(&ok);
    return ok ? value : 0.0f;
}

} // namespace ReplyPatterns
