#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// Writes a fixture file (a journal, a profile) for a test; false when it cannot be written in full.
inline bool writeTestFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}
