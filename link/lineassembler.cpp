#include "lineassembler.h"

#include "linklog.h"

#include <QLoggingCategory>
#include <QRegularExpression>

namespace {
// Bidirectional formatting characters: shown, they reorder the text around them, so an identifier or a version
// could read differently from what the node sent.
bool isBidiFormatting(ushort u)
{
    return u == 0x061C || u == 0x200E || u == 0x200F || (u >= 0x202A && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069);
}

// C0 and C1 controls and DEL: they could drive a terminal that shows the log or break a journal line.
bool isControl(ushort u)
{
    return u < 0x20 || (u >= 0x7F && u <= 0x9F);
}

// Controls that the reply patterns' \s matches; they become a blank so that a tab between a word and its
// colon keeps matching as it did.
bool isWhiteSpaceControl(ushort u)
{
    return (u >= 0x09 && u <= 0x0D) || u == 0x85;
}

bool needsCleaning(ushort u)
{
    return isControl(u) || isBidiFormatting(u);
}

// Most lines hold none of these characters, so the copy is made only for a line that does.
QString withoutUnsafeCharacters(const QString &text)
{
    const QChar *chars = text.constData();
    const int size = text.size();
    int first = 0;
    while (first < size && !needsCleaning(chars[first].unicode()))
        ++first;
    if (first == size)
        return text;
    QString clean;
    clean.reserve(size);
    clean.append(chars, first);
    for (int i = first; i < size; ++i) {
        const ushort u = chars[i].unicode();
        if (isWhiteSpaceControl(u))
            clean.append(QLatin1Char(' '));
        else if (!needsCleaning(u))
            clean.append(chars[i]);
    }
    return clean.trimmed();
}
} // namespace

QStringList LineAssembler::feed(const QByteArray &bytes)
{
    QStringList lines;
    int start = 0;
    while (start < bytes.size()) {
        const int cr = bytes.indexOf('\r', start);
        const int end = cr < 0 ? bytes.size() : cr;
        if (!m_discarding) {
            const int room = kMaxLineBytes - m_buffer.size();
            if (end - start > room) {
                // Over-long line: forget it up to its carriage return.
                m_buffer.clear();
                m_discarding = true;
                ++m_droppedLines;
                qCInfo(lcLink, "NodeInterface: dropped a line longer than %d bytes", kMaxLineBytes);
            } else {
                m_buffer.append(bytes.constData() + start, end - start);
            }
        }
        if (cr < 0)
            break;
        if (!m_discarding)
            lines.append(cleanLine(m_buffer));
        m_buffer.clear();
        m_discarding = false;
        start = cr + 1;
    }
    return lines;
}

QString LineAssembler::cleanLine(const QByteArray &raw)
{
    // ESC [ up to two digits m; a sequence with ';' between numbers is deliberately left in place.
    static const QRegularExpression colour(QStringLiteral("\\x1B\\[[\\d]{0,2}m"));
    // With its length given, so that a NUL is removed with the other controls instead of ending the text.
    QString text = QString::fromUtf8(raw.constData(), raw.size()).trimmed();
    if (text.contains(QChar(0x1B))) {
        text.remove(colour);
        // White space that a colour sequence kept from the edge (a reset printed between CR and LF leaves
        // "ESC[0m LF Tavonex ...") is no part of the line either; left in place it would hide the line from
        // every pattern anchored at its start.
        text = text.trimmed();
    }
    // After the colour sequences, so that their escape characters are still there to be recognised.
    return withoutUnsafeCharacters(text);
}

void LineAssembler::clear()
{
    m_buffer.clear();
    m_discarding = false;
}
