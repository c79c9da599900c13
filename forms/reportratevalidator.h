#pragma once

#include <QIntValidator>

// Validator of the report-rate edit: whole minutes from 0 up to the largest rate whose milliseconds still fit
// the node's 32-bit "rr" value.
//
// The edit carries an input mask, and a masked edit hands its validator the text padded with blanks, which a
// plain QIntValidator rejects in every state, so it would never refuse a keystroke. This one judges the text
// the way the edit reports it (blanks left out), so hex letters, signs and too-large rates are refused as
// they are typed.
class ReportRateValidator : public QIntValidator
{
    Q_OBJECT
public:
    static constexpr int kMillisecondsPerMinute = 60000;
    static constexpr int kMaxMinutes = 2147483647 / kMillisecondsPerMinute;

    explicit ReportRateValidator(QObject *parent = nullptr);

    State validate(QString &input, int &pos) const override;
};
