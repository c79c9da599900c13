#pragma once

#include <QtGlobal>

#include <cstdio>

// Benchmarks print figures on stdout; the code under measure logs every line it handles, which would drown them.
// Only warnings and worse still reach stderr.
inline void installQuietLog()
{
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
        if (type != QtDebugMsg && type != QtInfoMsg)
            std::fprintf(stderr, "%s\n", qPrintable(message));
    });
}
