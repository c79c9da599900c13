#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>

// An RFC 4180 reader, written apart from the tool's CSV writer so that a test reads back what the writer made
// without trusting it: quoted fields may hold commas, doubled quotes and line breaks; records end in CR LF. A
// last record without its CR LF is kept.
inline QList<QStringList> readCsv(const QByteArray &data)
{
    QList<QStringList> records;
    QStringList record;
    QByteArray field;
    bool quoted = false;
    for (int i = 0; i < data.size(); ++i) {
        const char c = data.at(i);
        if (quoted) {
            if (c == '"' && i + 1 < data.size() && data.at(i + 1) == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            record << QString::fromUtf8(field);
            field.clear();
        } else if (c == '\r' && i + 1 < data.size() && data.at(i + 1) == '\n') {
            record << QString::fromUtf8(field);
            field.clear();
            records << record;
            record.clear();
            ++i;
        } else {
            field += c;
        }
    }
    if (!field.isEmpty() || !record.isEmpty())
        records << (record << QString::fromUtf8(field));
    return records;
}
