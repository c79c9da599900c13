#include "portwatch.h"

#include "enginelog.h"
#include "pacing.h"

#include <QFileInfo>
#include <QSerialPortInfo>

PortWatch::PortWatch(const Pacing &pacing, QObject *parent)
    : QObject(parent)
{
    // Seldom enough to cost nothing, often enough that the next node's boot is not missed.
    poll.setInterval(pacing.portWatchIntervalMs);
    connect(&poll, &QTimer::timeout, this, [this] {
        if (!watched.isEmpty() && !reopenPending && present(watched))
            emit back();
    });
    // A node plugged in boots at once, mostly before its port is back.
    bootGrace.setSingleShot(true);
    bootGrace.setInterval(pacing.returnedPortBootGraceMs);
    connect(&bootGrace, &QTimer::timeout, this, &PortWatch::bootGraceOver);
}

void PortWatch::watch(const QString &name)
{
    const bool already = watched == name && poll.isActive();
    watched = name;
    reopenPending = false;
    if (!already) {
        qCInfo(lcEngine).noquote()
            << QStringLiteral("CommissioningSession: %1 went away; waiting for it to come back").arg(name);
        poll.start();
    }
}

void PortWatch::stop()
{
    poll.stop();
    bootGrace.stop();
    watched.clear();
    reopenPending = false;
}

bool PortWatch::present(const QString &portName)
{
    if (portName.isEmpty())
        return false;
#ifdef Q_OS_UNIX
    // A device node (or the link a udev rule or a simulator makes to one) is there or not; exists() follows
    // links, so a link left dangling by an unplugged device counts as absent.
    if (portName.contains(QLatin1Char('/')))
        return QFileInfo::exists(portName);
    return QFileInfo::exists(QStringLiteral("/dev/") + portName);
#else
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &port : ports) {
        if (port.portName() == portName || port.systemLocation() == portName)
            return true;
    }
    return false;
#endif
}
