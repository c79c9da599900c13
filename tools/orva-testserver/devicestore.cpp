#include "devicestore.h"

#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QSaveFile>

DeviceStore::DeviceStore(QString filePath)
    : filePath(std::move(filePath))
{
}

QString DeviceStore::load()
{
    QFile file(filePath);
    if (!file.exists())
        return QString();
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot read %1: %2").arg(filePath, file.errorString());
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (!document.isArray())
        return QStringLiteral("%1 does not hold a JSON array of devices").arg(filePath);
    std::lock_guard<std::mutex> lock(mutex);
    devices = document.array();
    return QString();
}

DeviceStore::Result DeviceStore::store(const QString &euid, const QJsonObject &document)
{
    const QString now = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
    std::lock_guard<std::mutex> lock(mutex);
    const QJsonArray before = devices;
    Result result = Result::Added;
    int index = 0;
    for (; index < devices.size(); ++index) {
        if (devices.at(index).toObject().value(QLatin1String("euid")).toString() == euid)
            break;
    }
    QJsonObject record;
    if (index < devices.size()) {
        record = devices.at(index).toObject();
        result = Result::Updated;
    } else {
        record.insert(QStringLiteral("euid"), euid);
        record.insert(QStringLiteral("firstRegistered"), now);
    }
    record.insert(QStringLiteral("lastRegistered"), now);
    record.insert(QStringLiteral("registrations"), record.value(QLatin1String("registrations")).toInt() + 1);
    record.insert(QStringLiteral("document"), document);
    if (result == Result::Updated)
        devices.replace(index, record);
    else
        devices.append(record);

    if (!save().isEmpty()) {
        devices = before;
        return Result::WriteFailed;
    }
    return result;
}

QByteArray DeviceStore::toJson() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return QJsonDocument(devices).toJson(QJsonDocument::Indented);
}

QString DeviceStore::save() const
{
    QSaveFile file(filePath);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    file.write(QJsonDocument(devices).toJson(QJsonDocument::Indented));
    if (!file.commit())
        return file.errorString();
    return QString();
}
