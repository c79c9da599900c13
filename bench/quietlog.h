#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QString>
#include <QtGlobal>

#include <cstdio>

// Benchmarks print figures on stdout; the code under measure logs every line it handles, which would drown them.
// Only warnings and worse still reach stderr, except the offscreen platform's note that it cannot pass size hints
// on, which a window under measure causes and which is no figure.
inline void installQuietLog()
{
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
        if (type != QtDebugMsg && type != QtInfoMsg && !message.contains(QLatin1String("propagateSizeHints")))
            std::fprintf(stderr, "%s\n", qPrintable(message));
    });
}

// The local server and the simulator are found next to the tool, as the tests find them.
inline void findProgramsBesideTheTool()
{
    if (qEnvironmentVariableIsEmpty("IOT_BIN_DIR"))
        qputenv("IOT_BIN_DIR",
            QDir(QCoreApplication::applicationDirPath() + QStringLiteral("/../../bin")).absolutePath().toLocal8Bit());
}
