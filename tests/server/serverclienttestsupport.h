#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

class QNetworkAccessManager;
class Node;

// What a login through LoginRequest and ReplyWaiter came to, taken the way the main window takes it.
struct LoginOutcome
{
    bool replied = false; // a reply object came back (no time-out)
    int status = 0; // 0: the reply carried no HTTP status
    bool granted = false;
    QByteArray token;
    QByteArray tokenHeader;
};

LoginOutcome logIn(
    QNetworkAccessManager *manager, const QString &server, const QString &user, const QString &password, int timeoutMs);
// A Pellimar node with every field set and colons in its euid.
Node pellimarNode();
// Debug messages seen since the last clearLoggedMessages(); installed once per test process.
void captureMessages();
QStringList loggedMessages();
void clearLoggedMessages();
