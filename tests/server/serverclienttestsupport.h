#pragma once

#include "loginresult.h"
#include "serverreply.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

class Node;
class ServerClient;

// Generous limit for a signal of the client: above any reply window the tests use.
constexpr int kClientSignalWaitMs = 90000;

// Runs one login through the client and waits for its finished signal. The result is a default LoginResult
// with reason "no finished signal" when none came, or when the signal came from inside the call or twice.
LoginResult logIn(ServerClient &client, const QString &server, const QString &user, const QString &password);
// The same for a registration of node (its exact document bytes).
ServerReply registerNode(ServerClient &client, const QString &server, const QByteArray &token, const Node &node);
// A Pellimar node with every field set and colons in its euid.
Node pellimarNode();
// Debug messages seen since the last clearLoggedMessages(); installed once per test process.
void captureMessages();
QStringList loggedMessages();
void clearLoggedMessages();
