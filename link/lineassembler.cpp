#include "lineassembler.h"

#include "linklog.h"
#include "operatortext.h"

#include <QLoggingCategory>
#include <QRegularExpression>

namespace {
// Most lines hold no control or bidirectional formatting character, so the copy is made only for a line that
// does; a tab between a word and its colon becomes a blank, so the reply patterns keep matching as they did.
QString withoutUnsafeCharacters(const QString &text)
{
    for (const QChar c : text) {
        if (OperatorText::needsCleaning(c.unicode()))
            return OperatorText::cleaned(text);
    }
    return text;
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
