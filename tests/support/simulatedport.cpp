#include "simulatedport.h"

#include <QCoreApplication>

#include <atomic>

SimulatedPort::SimulatedPort(const SimNodeProfile &profile)
    : m_path(m_dir.filePath(uniqueLinkName()))
    , m_simulator(profile)
{
}

bool SimulatedPort::start()
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary directory: %1").arg(m_dir.errorString());
        return false;
    }
    m_error.clear();
    return m_simulator.start(m_path, &m_error);
}

QString SimulatedPort::missingPath() const
{
    return m_dir.filePath(QStringLiteral("no-such-port"));
}

QString SimulatedPort::uniqueLinkName()
{
    static std::atomic<int> counter{0};
    return QStringLiteral("ttySim%1n%2").arg(QCoreApplication::applicationPid()).arg(++counter);
}
