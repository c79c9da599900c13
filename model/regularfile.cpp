#include "regularfile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool RegularFile::open(QFile &file, const QString &path, QString *error)
{
    const auto fail = [error](const QString &reason) {
        if (error)
            *error = reason;
        return false;
    };
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
    const int fd = openDescriptor(path, O_RDONLY, 0, error);
    if (fd < 0)
        return false;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return fail(file.errorString());
    }
    return true;
}

bool RegularFile::read(const QString &path, qint64 maxBytes, QByteArray *bytes, QString *error)
{
    QFile file;
    if (!open(file, path, error))
        return false;
    const QString tooLarge = QStringLiteral("larger than %1 bytes").arg(maxBytes);
    if (file.size() > maxBytes) {
        if (error)
            *error = tooLarge;
        return false;
    }
    // The size may grow while the file is read; never more than one byte beyond the limit is taken.
    const QByteArray data = file.read(maxBytes + 1);
    if (data.size() > maxBytes) {
        if (error)
            *error = tooLarge;
        return false;
    }
    if (file.error() != QFileDevice::NoError) {
        if (error)
            *error = file.errorString();
        return false;
    }
    *bytes = data;
    return true;
}

int RegularFile::openDescriptor(const QString &path, int flags, unsigned createMode, QString *error, unsigned *mode)
{
    const auto fail = [error](const QString &reason) {
        if (error)
            *error = reason;
        return -1;
    };
    const int fd = ::open(QFile::encodeName(path).constData(), flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, createMode);
    if (fd < 0)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    struct stat status = {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return fail(QStringLiteral("not a regular file"));
    }
    const int fileFlags = ::fcntl(fd, F_GETFL);
    if (fileFlags >= 0)
        ::fcntl(fd, F_SETFL, fileFlags & ~O_NONBLOCK);
    if (mode)
        *mode = status.st_mode;
    return fd;
}
