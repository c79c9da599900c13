#include "commissioningjournal.h"

#include "operatortext.h"
#include "regularfile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStandardPaths>
#include <QSysInfo>
#include <QtDebug>

#include <cerrno>
#include <cmath>
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

// The journal names the nodes, lots and what was done to them: its owner alone reads it.
const mode_t kJournalFileMode = 0600;

// The write result whose entry says why: the write did not run to its end.
const int kResultFailed = 1;

// Fields whose values are the node's secrets: a verification or a label check names them but never holds them.
bool isSecretField(const QString &field)
{
    return field.compare(QLatin1String("appKey"), Qt::CaseInsensitive) == 0
        || field.compare(QLatin1String("pac"), Qt::CaseInsensitive) == 0
        || field.compare(QLatin1String("sigfoxData"), Qt::CaseInsensitive) == 0;
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
    , benchText(OperatorText::cleaned(QSysInfo::machineHostName()))
{
}

void CommissioningJournal::setBench(const QString &bench)
{
    const QString cleaned = OperatorText::cleaned(bench).trimmed();
    benchText = cleaned.isEmpty() ? OperatorText::cleaned(QSysInfo::machineHostName()) : cleaned;
}

void CommissioningJournal::setOperatorName(const QString &name)
{
    operatorText = OperatorText::cleaned(name);
}

void CommissioningJournal::addContext(
    QJsonObject &entry, const QString &profileName, const QString &profileSha256) const
{
    if (!benchText.isEmpty())
        entry.insert(QStringLiteral("bench"), benchText);
    const QString version = QCoreApplication::applicationVersion();
    if (!version.isEmpty())
        entry.insert(QStringLiteral("toolVersion"), version);
    if (!profileName.isEmpty())
        entry.insert(QStringLiteral("profile"), OperatorText::cleaned(profileName));
    if (!profileSha256.isEmpty())
        entry.insert(QStringLiteral("profileSha256"), profileSha256);
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

QJsonObject CommissioningJournal::eventFor(const char *event, const QString &identity, bool sigfox)
{
    QJsonObject entry;
    entry.insert(QStringLiteral("event"), QString::fromLatin1(event));
    if (!identity.isEmpty())
        entry.insert(sigfox ? QStringLiteral("sigfoxId") : QStringLiteral("devEui"), identity);
    return entry;
}

QJsonObject CommissioningJournal::eventFor(const char *event, const Node &node)
{
    return eventFor(event, node.identity(), node.isSigfox());
}

QJsonObject CommissioningJournal::writeEvent(const char *event, const Node &node, int result, const QString &reason)
{
    QJsonObject entry = eventFor(event, node);
    entry.insert(QStringLiteral("result"), result);
    if (result == kResultFailed && !reason.isEmpty())
        entry.insert(QStringLiteral("reason"), reason);
    return entry;
}

void CommissioningJournal::setLot(const QString &lot)
{
    lotText = OperatorText::cleaned(lot);
}

bool CommissioningJournal::recordNodeRead(
    const QString &port, const Node &node, const QString &profileName, const QString &profileSha256)
{
    QJsonObject entry = eventFor("nodeRead", node);
    entry.insert(QStringLiteral("port"), port);
    entry.insert(QStringLiteral("type"), static_cast<int>(node.firmwareType));
    entry.insert(QStringLiteral("typeName"), Node::communicationText(node.firmwareType));
    entry.insert(QStringLiteral("nodeVersion"), node.nodeVersion);
    entry.insert(QStringLiteral("moduleVersion"), node.moduleVersion);
    entry.insert(QStringLiteral("loraVersion"), node.loraVersion);
    // The JoinEUI is printed on the node's label; with it a label can be printed again from the journal.
    if (!node.isSigfox() && !node.appId.isEmpty())
        entry.insert(QStringLiteral("joinEui"), node.appId.toUpper().remove(QLatin1Char(':')).remove(QLatin1Char('-')));
    if (!keyFingerprintText.isEmpty())
        entry.insert(QStringLiteral("keyFingerprint"), keyFingerprintText);
    // The values as the node printed them (pressure and acceleration in hundredths); a value not read is left out.
    const NodeThresholds &t = node.thresholds;
    const std::pair<const char *, float> values[] = {{"temperatureHigh", t.temperatureHigh},
        {"temperatureLow", t.temperatureLow}, {"humidityHigh", t.humidityHigh}, {"humidityLow", t.humidityLow},
        {"pressureHigh", t.pressureHigh}, {"pressureLow", t.pressureLow}, {"accelX", t.accelX}, {"accelY", t.accelY},
        {"accelZ", t.accelZ}, {"accelD", t.accelD}};
    QJsonObject thresholds;
    for (const auto &[name, value] : values) {
        if (!std::isnan(value))
            thresholds.insert(QLatin1String(name), double(value));
    }
    entry.insert(QStringLiteral("thresholds"), thresholds);
    entry.insert(QStringLiteral("reportRate"), node.reportRate);
    addContext(entry, profileName, profileSha256);
    return append(entry);
}

bool CommissioningJournal::recordProfileCompared(
    const Node &node, const QString &profileName, const QVector<ProfileDifference> &differences)
{
    QJsonObject entry = eventFor("profileCompared", node);
    entry.insert(QStringLiteral("profile"), OperatorText::cleaned(profileName));
    entry.insert(QStringLiteral("matches"), differences.isEmpty());
    QJsonArray list;
    for (const ProfileDifference &difference : differences) {
        if (isSecretField(difference.field))
            continue;
        list.append(QJsonObject{{QStringLiteral("field"), difference.field},
            {QStringLiteral("profile"), difference.profile}, {QStringLiteral("node"), difference.node}});
    }
    entry.insert(QStringLiteral("differences"), list);
    return append(entry);
}

bool CommissioningJournal::recordNodeLeft(const QString &port, const Node &node, const QString &reason)
{
    QJsonObject entry = eventFor("nodeLeft", node);
    entry.insert(QStringLiteral("port"), port);
    entry.insert(QStringLiteral("reason"), reason);
    return append(entry);
}

bool CommissioningJournal::recordSettingsWritten(const Node &node, int flags, int result, const QString &reason)
{
    QJsonObject entry = writeEvent("settingsWritten", node, result, reason);
    entry.insert(QStringLiteral("flags"), QJsonArray::fromStringList(flagNames(flags)));
    return append(entry);
}

bool CommissioningJournal::recordDeviceIdWritten(const Node &node, int result, const QString &reason)
{
    return append(writeEvent("deviceIdWritten", node, result, reason));
}

bool CommissioningJournal::recordSigfoxDataWritten(const Node &node, int result, const QString &reason)
{
    return append(writeEvent("sigfoxDataWritten", node, result, reason));
}

bool CommissioningJournal::recordRegistrationQueued(const Node &node, qint64 outboxId)
{
    QJsonObject entry = eventFor("registrationQueued", node);
    entry.insert(QStringLiteral("outboxId"), outboxId);
    return append(entry);
}

bool CommissioningJournal::recordRegistration(
    const Node &node, int statusCode, int attempt, qint64 outboxId, const QString &failure)
{
    return recordRegistration(node.identity(), node.isSigfox(), statusCode, attempt, outboxId, failure);
}

bool CommissioningJournal::recordRegistration(
    const QString &identity, bool sigfox, int statusCode, int attempt, qint64 outboxId, const QString &failure)
{
    QJsonObject entry = eventFor("registration", identity, sigfox);
    entry.insert(QStringLiteral("status"), statusCode);
    if (statusCode == 0 && !failure.isEmpty())
        entry.insert(QStringLiteral("failure"), failure);
    entry.insert(QStringLiteral("attempt"), attempt);
    if (outboxId >= 0)
        entry.insert(QStringLiteral("outboxId"), outboxId);
    return append(entry);
}

bool CommissioningJournal::recordDuplicateCheck(const Node &node, const QString &result, const QString &otherBench,
    const QString &registeredAt, const QString &problem)
{
    QJsonObject entry = eventFor("duplicateCheck", node);
    entry.insert(QStringLiteral("result"), result);
    if (!otherBench.isEmpty())
        entry.insert(QStringLiteral("otherBench"), otherBench);
    if (!registeredAt.isEmpty())
        entry.insert(QStringLiteral("registeredAt"), registeredAt);
    if (!problem.isEmpty())
        entry.insert(QStringLiteral("problem"), problem);
    return append(entry);
}

bool CommissioningJournal::recordNodeSleeping(const Node &node)
{
    return append(eventFor("nodeSleeping", node));
}

bool CommissioningJournal::recordKeyMismatch(
    const QString &port, const QString &profileName, const QString &profileSha256)
{
    QJsonObject entry;
    entry.insert(QStringLiteral("event"), QStringLiteral("keyMismatch"));
    entry.insert(QStringLiteral("port"), port);
    if (!keyFingerprintText.isEmpty())
        entry.insert(QStringLiteral("keyFingerprint"), keyFingerprintText);
    addContext(entry, profileName, profileSha256);
    return append(entry);
}

bool CommissioningJournal::recordVerified(const Node &node, bool ok, const QVector<Mismatch> &mismatches)
{
    QJsonObject entry = eventFor("verified", node);
    entry.insert(QStringLiteral("ok"), ok);
    QJsonArray list;
    for (const Mismatch &mismatch : mismatches) {
        QJsonObject item{{QStringLiteral("field"), mismatch.field}};
        if (!isSecretField(mismatch.field)) {
            item.insert(QStringLiteral("written"), mismatch.written);
            item.insert(QStringLiteral("read"), mismatch.read);
        }
        list.append(item);
    }
    entry.insert(QStringLiteral("mismatches"), list);
    return append(entry);
}

bool CommissioningJournal::recordFirmwareTooOld(const Node &node, const QString &minNodeVersion)
{
    QJsonObject entry = eventFor("firmwareTooOld", node);
    entry.insert(QStringLiteral("nodeVersion"), node.nodeVersion);
    entry.insert(QStringLiteral("minNodeVersion"), minNodeVersion);
    return append(entry);
}

bool CommissioningJournal::recordNotConfigured(const Node &node, const QString &reason)
{
    QJsonObject entry = eventFor("notConfigured", node);
    entry.insert(QStringLiteral("reason"), reason);
    return append(entry);
}

bool CommissioningJournal::recordLabelChecked(const Node &node, const QMap<QString, QString> &label, bool match)
{
    QJsonObject entry = eventFor("labelChecked", node);
    QJsonObject fields;
    for (auto it = label.cbegin(); it != label.cend(); ++it) {
        if (!isSecretField(it.key()))
            fields.insert(OperatorText::cleaned(it.key()), OperatorText::cleaned(it.value()));
    }
    entry.insert(QStringLiteral("label"), fields);
    entry.insert(QStringLiteral("match"), match);
    return append(entry);
}

bool CommissioningJournal::recordLabelPrinted(
    const QString &identity, bool sigfox, const QString &target, const QString &failure)
{
    QJsonObject entry = eventFor("labelPrinted", identity, sigfox);
    entry.insert(QStringLiteral("target"), OperatorText::cleaned(target));
    entry.insert(QStringLiteral("ok"), failure.isEmpty());
    if (!failure.isEmpty())
        entry.insert(QStringLiteral("failure"), OperatorText::cleaned(failure));
    return append(entry);
}

bool CommissioningJournal::append(QJsonObject entry)
{
    if (!lotText.isEmpty())
        entry.insert(QStringLiteral("lot"), lotText);
    if (!operatorText.isEmpty())
        entry.insert(QStringLiteral("operator"), operatorText);
    entry.insert(QStringLiteral("time"), QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs));
    QByteArray line = QJsonDocument(entry).toJson(QJsonDocument::Compact);
    line.append('\n');

    const auto fail = [this](const QString &reason) {
        lastErrorText = QStringLiteral("could not write %1: %2").arg(path, reason);
        qWarning().noquote() << QStringLiteral("CommissioningJournal: ") + lastErrorText;
        return false;
    };
    if (path.isEmpty())
        return fail(QStringLiteral("no data directory"));
    const QString directory = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(directory))
        return fail(QStringLiteral("cannot create %1").arg(directory));

    const bool created = !QFileInfo::exists(path);
    // O_APPEND puts every write at the end, also with a second instance of the tool writing at the same time.
    // Opened without waiting and only when regular: a FIFO or a device in the journal's place must not hold the tool.
    QString openProblem;
    unsigned mode = 0;
    const int fd
        = RegularFile::openDescriptor(path, O_RDWR | O_APPEND | O_CREAT, kJournalFileMode, &openProblem, &mode);
    if (fd < 0)
        return fail(openProblem);
    // A journal created by someone else (or by an older version) is tightened like a new one.
    if ((mode & 07777) != kJournalFileMode && ::fchmod(fd, kJournalFileMode) != 0 && !permissionWarned) {
        permissionWarned = true;
        qWarning().noquote() << QStringLiteral("CommissioningJournal: %1 cannot be made readable by its owner only: %2")
                                    .arg(path, systemError(errno));
    }
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
    lastErrorText.clear();
    return true;
}

QString CommissioningJournal::tightenPermissions() const
{
    const QByteArray name = QFile::encodeName(path);
    struct stat status = {};
    if (path.isEmpty() || ::stat(name.constData(), &status) != 0 || (status.st_mode & 07777) == kJournalFileMode)
        return QString();
    if (::chmod(name.constData(), kJournalFileMode) == 0)
        return QString();
    return QStringLiteral("%1 cannot be made readable by its owner only: %2").arg(path, systemError(errno));
}

QVector<QJsonObject> CommissioningJournal::entries(int *skippedLines) const
{
    QVector<QJsonObject> result;
    int skipped = 0;
    QFile file;
    if (RegularFile::open(file, path, nullptr)) {
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
