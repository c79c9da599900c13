#pragma once

#include "node.h"

#include <QByteArray>
#include <QJsonObject>
#include <QObject>
#include <QString>

class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;
class QUrl;

// Posts one node's device record to the registration server and returns the reply's HTTP status.
class JSONdeviceRegister : public QObject
{
    Q_OBJECT
public:
    JSONdeviceRegister(QNetworkAccessManager *networkManager, QString serverAddress, QByteArray token);

    // The HTTP status of the reply (200 added, 201 updated), or 404 when no status is available
    // (no reply within 30 s, connection failure). Runs a nested event loop of at most 30 s.
    int registerDevice(Node node);

    // The device document for a record, members in the order the server expects.
    static QJsonObject deviceDocument(const Node &node);

private:
    // A request for url carrying the token header.
    QNetworkRequest buildRequest(const QString &url) const;

    QNetworkAccessManager *networkManager; // the window's manager, not owned
    QString serverAddress;
    QByteArray token;
};
