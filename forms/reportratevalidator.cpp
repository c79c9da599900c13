#include "reportratevalidator.h"

ReportRateValidator::ReportRateValidator(QObject *parent)
    : QIntValidator(0, kMaxMinutes, parent)
{
}

QValidator::State ReportRateValidator::validate(QString &input, int &) const
{
    QString digits = input;
    digits.remove(QLatin1Char(' '));
    if (digits.isEmpty())
        return Intermediate;
    for (const QChar c : qAsConst(digits)) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return Invalid;
    }
    bool ok = false;
    const qlonglong minutes = digits.toLongLong(&ok);
    // More digits can only make a rate larger, so a rate above the limit can never become acceptable.
    if (!ok || minutes > top())
        return Invalid;
    return Acceptable;
}
