#pragma once

#include "serverreply.h"

#include <QByteArray>
#include <QMetaType>
#include <QString>

// The outcome of one login: a token when granted, otherwise why not.
struct LoginResult
{
    bool granted = false;
    QByteArray token; // the DARV-Token bytes, set only when granted
    ServerReply reply;
    // The server answered and the answer did not grant: a refused status, rc other than 200, or an unusable
    // token. False when no answer came at all (time-out, unreachable, cut off...), so the credentials may be
    // tried again.
    bool credentialsRefused = false;
    QString reason; // for the log; never contains the token or the password digest
};

Q_DECLARE_METATYPE(LoginResult)
