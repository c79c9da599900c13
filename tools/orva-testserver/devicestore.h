#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>

#include <mutex>

// The registered devices, kept in a JSON file (an array of records, one per euid) that is replaced atomically
// after each change, so a crash never leaves half a file behind. Thread-safe.
class DeviceStore
{
public:
    explicit DeviceStore(QString filePath);

    // Reads the file; a missing file is an empty store. Returns an error text, empty on success.
    QString load();

    enum class Result { Added, Updated, WriteFailed };
    // Stores the document under its "euid", replacing a record with the same euid.
    Result store(const QString &euid, const QJsonObject &document);

    // The whole store as a JSON array.
    QByteArray toJson() const;
    QString path() const { return filePath; }

private:
    QString save() const;

    mutable std::mutex mutex;
    const QString filePath;
    QJsonArray devices;
};
