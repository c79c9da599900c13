#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Cuts the bytes received from a node into clean lines: a carriage return ends a line, the text is UTF-8,
// trimmed at both ends (which drops the LF of a CR LF pair) and cleaned of terminal colour sequences
// (ESC, "[", up to two digits, "m"), then of every other control character (C0, DEL, C1; the white-space
// controls such as tab become a blank) and of the bidirectional formatting characters, so that no text a node
// sends can steer a terminal, split a journal line or reorder what the operator reads. A line that grows past
// kMaxLineBytes without a carriage return is dropped whole, with one log line, so line noise cannot grow memory
// without bound.
class LineAssembler
{
public:
    static constexpr int kMaxLineBytes = 4096;

    // Appends received bytes and returns the lines they completed, in order.
    QStringList feed(const QByteArray &bytes);

    // Converts one raw line (without its CR) into the text the parsers see.
    static QString cleanLine(const QByteArray &raw);

    // Bytes after the last carriage return, waiting for the rest of their line.
    const QByteArray &pending() const { return m_buffer; }
    void clear();

    // Number of over-long lines dropped so far.
    int droppedLines() const { return m_droppedLines; }

private:
    QByteArray m_buffer;
    bool m_discarding = false;
    int m_droppedLines = 0;
};
