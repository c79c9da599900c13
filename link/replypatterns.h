#pragma once

#include <QRegularExpression>
#include <QString>

// Helpers shared by everything that reads the node's text lines: the banner patterns (seen both at start-up
// and in the version read) and the number conversions with the node protocol's rule that a number which
// does not convert counts as 0.
namespace ReplyPatterns {

// Compiles a reply pattern so that it behaves like the node tool always read them: \d, \s and \S follow
// Unicode, and "." also matches a line feed left inside a line.
QRegularExpression make(const QString &pattern);

// Capture 1 is the version word.
const QRegularExpression &boardVersion(); // "Tavonex   : v2.4.1"
const QRegularExpression &moduleVersion(); // "Ormix     : 1.4"
const QRegularExpression &radioVersion(); // "Semtech LoRa : 4.2.1"

// Decimal text to a 32-bit signed integer; 0 when the text is not a number or out of range.
qint32 toInt32(const QString &text);
// Decimal text to a float; 0 when the text is not a number (two minus signs, for instance).
float toFloat(const QString &text);

} // namespace ReplyPatterns
