#include "operatortext.h"

QString OperatorText::cleaned(const QString &text)
{
    const QChar *chars = text.constData();
    const int size = text.size();
    int first = 0;
    while (first < size && !needsCleaning(chars[first].unicode()))
        ++first;
    if (first == size)
        return text.trimmed();
    QString clean;
    clean.reserve(size);
    clean.append(chars, first);
    for (int i = first; i < size; ++i) {
        const ushort u = chars[i].unicode();
        // Tab, line feed, vertical tab, form feed, carriage return and NEL separate words.
        if ((u >= 0x09 && u <= 0x0D) || u == 0x85)
            clean.append(QLatin1Char(' '));
        else if (!needsCleaning(u))
            clean.append(chars[i]);
    }
    return clean.trimmed();
}
