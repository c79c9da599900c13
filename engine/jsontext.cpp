#include "jsontext.h"

#include <QSet>
#include <QString>
#include <QVector>

namespace {

// The string starting after the opening quote at `i`, decoded; `i` is left on the closing quote. Without an
// escape the raw bytes are the key, which keeps the common case cheap.
QByteArray readString(const QByteArray &json, int &i)
{
    const int size = json.size();
    const int start = i;
    while (i < size && json.at(i) != '"' && json.at(i) != '\\')
        ++i;
    if (i >= size || json.at(i) == '"')
        return json.mid(start, i - start);

    QString text = QString::fromUtf8(json.constData() + start, i - start);
    QByteArray run;
    for (; i < size && json.at(i) != '"'; ++i) {
        if (json.at(i) != '\\') {
            run += json.at(i);
            continue;
        }
        text += QString::fromUtf8(run);
        run.clear();
        if (++i >= size)
            break;
        switch (json.at(i)) {
        case 'b':
            text += QLatin1Char('\b');
            break;
        case 'f':
            text += QLatin1Char('\f');
            break;
        case 'n':
            text += QLatin1Char('\n');
            break;
        case 'r':
            text += QLatin1Char('\r');
            break;
        case 't':
            text += QLatin1Char('\t');
            break;
        case 'u': {
            bool ok = false;
            const ushort unit = json.mid(i + 1, 4).toUShort(&ok, 16);
            if (ok)
                text += QChar(unit);
            i += 4;
            break;
        }
        default: // the quote, the backslash and the slash stand for themselves
            text += QLatin1Char(json.at(i));
            break;
        }
    }
    text += QString::fromUtf8(run);
    return text.toUtf8();
}

struct Container
{
    bool object;
    bool expectingKey;
    QSet<QByteArray> keys;
    QByteArray currentKey;
};

} // namespace

QStringList JsonText::duplicateKey(const QByteArray &json)
{
    QVector<Container> stack;
    const int size = json.size();
    for (int i = 0; i < size; ++i) {
        const char c = json.at(i);
        if (c == '{') {
            stack.append({true, true, {}, {}});
        } else if (c == '[') {
            stack.append({false, false, {}, {}});
        } else if (c == '}' || c == ']') {
            if (!stack.isEmpty())
                stack.removeLast();
        } else if (c == ',') {
            if (!stack.isEmpty() && stack.last().object)
                stack.last().expectingKey = true;
        } else if (c == '"') {
            ++i;
            const QByteArray key = readString(json, i);
            if (stack.isEmpty() || !stack.last().object || !stack.last().expectingKey)
                continue;
            Container &object = stack.last();
            object.expectingKey = false;
            object.currentKey = key;
            if (object.keys.contains(key)) {
                QStringList path;
                for (const Container &outer : qAsConst(stack)) {
                    if (outer.object)
                        path << QString::fromUtf8(outer.currentKey);
                }
                return path;
            }
            object.keys.insert(key);
        }
    }
    return {};
}
