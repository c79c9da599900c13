#pragma once

#include "node.h"

#include <QByteArray>
#include <QJsonObject>
#include <QNetworkRequest>
#include <QString>

// The device registration request: one node's device record posted with the login's token. Sending it is
// ServerClient's work; this builds what goes on the wire.
class JSONdeviceRegister
{
public:
    // POST target serverAddress + "/orvaservice/iot/device" with the "DARV-Token" and JSON content type headers.
    static QNetworkRequest request(const QString &serverAddress, const QByteArray &token);
    // The device document for a record, members in the order the server expects.
    static QJsonObject deviceDocument(const Node &node);
    // The document exactly as posted: compact JSON, UTF-8.
    static QByteArray documentBytes(const Node &node);
    // A posted document as the log shows it: the application key replaced by "(hidden)".
    static QByteArray loggedDocument(const QByteArray &document);
};
