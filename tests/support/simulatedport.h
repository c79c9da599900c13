#pragma once

#include "nodesimulator.h"

#include <QString>
#include <QTemporaryDir>

// A simulated node on a pseudo-terminal of its own, published in a private temporary directory under a name
// no other test process uses (QSerialPort locks a port by its base name). Gone with the fixture.
class SimulatedPort
{
public:
    explicit SimulatedPort(const SimNodeProfile &profile = SimNodeProfile());
    SimulatedPort(const SimulatedPort &) = delete;
    SimulatedPort &operator=(const SimulatedPort &) = delete;

    // Starts the simulator (not yet booted: open the port first, then boot()). False with errorString() set
    // where the directory or the pseudo-terminal cannot be made.
    bool start();
    QString errorString() const { return m_error; }

    // The path a QSerialPort opens; the same for the fixture's whole life, also across hangUp() and start().
    QString path() const { return m_path; }
    // A path in the same private directory that nothing has created, for a port that is not there.
    QString missingPath() const;

    NodeSimulator &simulator() { return m_simulator; }
    NodeSimulator *operator->() { return &m_simulator; }

    // A base name for a link that no other fixture, in this process or another, uses.
    static QString uniqueLinkName();

private:
    QTemporaryDir m_dir; // declared first, so that the simulator is gone before its directory
    QString m_path;
    QString m_error;
    NodeSimulator m_simulator;
};
