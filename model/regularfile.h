#pragma once

#include <QByteArray>
#include <QString>

class QFile;

// Files named by an operator or a setting (a profile, a CA certificate file, the journal) are read only when
// they are regular files: a FIFO would block the tool on opening or reading, and a device such as /dev/zero
// never ends. Nothing here blocks: the file is opened without waiting and checked before it is read.
class RegularFile
{
public:
    // Opens `path` for reading into `file`. False with `*error` set when it cannot be opened or is not a
    // regular file ("not a regular file"). The reasons are, like the system's, in English.
    static bool open(QFile &file, const QString &path, QString *error);
    // Reads the whole of `path`, refusing a file larger than maxBytes ("larger than N bytes") unread.
    static bool read(const QString &path, qint64 maxBytes, QByteArray *bytes, QString *error);
    // Opens `path` with the system's open(2) `flags` (O_NONBLOCK is added for the open and taken away again
    // once the file is known to be regular) and `createMode` for a file O_CREAT makes. The descriptor, or -1
    // with `*error` set as open() does; `*mode`, when asked for, receives the file's st_mode.
    static int openDescriptor(
        const QString &path, int flags, unsigned createMode, QString *error, unsigned *mode = nullptr);
};
