#include "commissioningjournal.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStandardPaths>
#include <QtDebug>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct FlagName
{
    int flag;
    const char *name;
};

const FlagName kFlagNames[] = {
    {Node::FlagAppId, "appId"},
    {Node::FlagAppKey, "appKey"},
    {Node::FlagNetId, "netId"},
    {Node::FlagTemperature, "temperature"},
    {Node::FlagHumidity, "humidity"},
    {Node::FlagPressure, "pressure"},
    {Node::FlagAccelerometer, "accelerometer"},
    {Node::FlagReportRate, "reportRate"},
};

const mode_t kJournalFileMode = 0644;

bool isSigfoxType(int type)
{
    return type == Node::SigFox || type == Node::SigFox5D;
}

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Writes all of data, going on after a signal or a short write. A short write only happens when the disk is
// full or the process is interrupted; the torn line it may leave is handled by the next append and the reader.
bool writeAll(int fd, const QByteArray &data)
{
    const char *next = data.constData();
    qint64 left = data.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, next, static_cast<size_t>(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        next += written;
        left -= written;
    }
    return true;
}

bool endsWithNewline(int fd)
{
    struct stat status = {};
    if (::fstat(fd, &status) != 0 || status.st_size == 0)
        return true;
    char last = 0;
    return ::pread(fd, &last, 1, status.st_size - 1) != 1 || last == '\n';
}

// A new file's name is only durable once its directory is flushed too.
void syncDirectory(const QString &directory)
{
    const int fd = ::open(QFile::encodeName(directory).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

} // namespace

QString CommissioningJournal::defaultFilePath()
{
    const QString directory = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (directory.isEmpty())
        return QString();
    return QDir(directory).filePath(QString::fromLatin1(kFileName));
}

CommissioningJournal::CommissioningJournal(const QString &filePath)
    : path(filePath)
{
}

QStringList CommissioningJournal::flagNames(int flags)
{
    QStringList names;
    for (const FlagName &entry : kFlagNames) {
        if (flags & entry.flag)
            names << QString::fromLatin1(entry.name);
    }
    return names;
}

QJsonObject CommissioningJournal::eventFor(const char *event, const Node &node)
{
    QJsonObject entry;
    entry.insert(QStringLiteral("event"), QString::fromLatin1(event));
    if (!node.euid.isEmpty())
        entry.insert(
            isSigfoxType(node.firmwareType) ? QStringLiteral("sigfoxId") : QStringLiteral("devEui"), node.euid);
    return entry;
}

bool CommissioningJournal::recordNodeRead(const QString &port, const Node &node)
{
    QJsonObject entry = eventFor("nodeRead", node);
    entry.insert(QStringLiteral("port"), port);
    entry.insert(QStringLiteral("type"), static_cast<int>(node.firmwareType));
    entry.insert(QStringLiteral("typeName"), Node::communicationText(node.firmwareType));
    entry.insert(QStringLiteral("nodeVersion"), node.nodeVersion);
    entry.insert(QStringLiteral("moduleVersion"), node.moduleVersion);
    entry.insert(QStringLiteral("loraVersion"), node.loraVersion);
    return append(entry);
}

bool CommissioningJournal::recordSettingsWritten(const Node &node, int flags, int result)
{
    QJsonObject entry = eventFor("settingsWritten", node);
    entry.insert(QStringLiteral("flags"), QJsonArray::fromStringList(flagNames(flags)));
    entry.insert(QStringLiteral("result"), result);
    return append(entry);
}

bool CommissioningJournal::recordDeviceIdWritten(const Node &node, int result)
{
    return appendResult("deviceIdWritten", node, result);
}

bool CommissioningJournal::recordSigfoxDataWritten(const Node &node, int result)
{
    return appendResult("sigfoxDataWritten", node, result);
}

bool CommissioningJournal::appendResult(const char *event, const Node &node, int result)
{
    QJsonObject entry = eventFor(event, node);
    entry.insert(QStringLiteral("result"), result);
    return append(entry);
}

bool CommissioningJournal::recordRegistration(const Node &node, int statusCode)
{
    QJsonObject entry = eventFor("registration", node);
    entry.insert(QStringLiteral("status"), statusCode);
    return append(entry);
}

bool CommissioningJournal::recordNodeSleeping(const Node &node)
{
    return append(eventFor("nodeSleeping", node));
}

bool CommissioningJournal::append(QJsonObject entry)
{
    entry.insert(QStringLiteral("time"), QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs));
    QByteArray line = QJsonDocument(entry).toJson(QJsonDocument::Compact);
    line.append('\n');

    const auto fail = [this](const QString &reason) {
        qWarning().noquote() << QStringLiteral("CommissioningJournal: could not write %1: %2").arg(path, reason);
        return false;
    };
    if (path.isEmpty())
        return fail(QStringLiteral("no data directory"));
    const QString directory = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(directory))
        return fail(QStringLiteral("cannot create %1").arg(directory));

    const bool created = !QFileInfo::exists(path);
    // O_APPEND puts every write at the end, also with a second instance of the tool writing at the same time.
    const int fd
        = ::open(QFile::encodeName(path).constData(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, kJournalFileMode);
    if (fd < 0)
        return fail(systemError(errno));
    // The last line may have been cut off by a crash; the new entry must not be glued onto it.
    if (!endsWithNewline(fd))
        line.prepend('\n');
    const bool written = writeAll(fd, line);
    const int writeError = errno;
    const bool synced = written && ::fsync(fd) == 0;
    const int syncError = errno;
    ::close(fd);
    if (!written)
        return fail(systemError(writeError));
    if (!synced)
        return fail(systemError(syncError));
    if (created)
        syncDirectory(directory);
    return true;
}

QVector<QJsonObject> CommissioningJournal::entries(int *skippedLines) const
{
    QVector<QJsonObject> result;
    int skipped = 0;
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> lines = file.readAll().split('\n');
        for (const QByteArray &line : lines) {
            if (line.trimmed().isEmpty())
                continue;
            QJsonParseError error;
            const QJsonDocument document = QJsonDocument::fromJson(line, &error);
            if (error.error != QJsonParseError::NoError || !document.isObject()) {
                ++skipped;
                continue;
            }
            result.append(document.object());
        }
    }
    if (skippedLines)
        *skippedLines = skipped;
    return result;
}
