#pragma once

#include "commandresult.h"
#include "node.h"
#include "nodeinterface.h"
#include "signalrecorder.h"
#include "simulatedport.h"
#include "testpacing.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>

// A simulated node on a port of its own and the link that serves it, every signal of the link recorded in the
// test thread in the order it arrives (queued from the link thread).
class LinkFixture
{
public:
    // The link runs on the given pacing: the tests' shortened one unless a test is about the real pauses.
    explicit LinkFixture(const SimNodeProfile &profile = SimNodeProfile(), const Pacing &pacing = testPacing());
    ~LinkFixture();
    LinkFixture(const LinkFixture &) = delete;
    LinkFixture &operator=(const LinkFixture &) = delete;

    // Starts the simulator (not booted) and builds the link without opening the port; false with errorString().
    bool start();
    // start(), then the link opens the node's port; false where either did not happen within the wait.
    bool open(int waitMs);
    // Plugs the node in again as the given node, without faults, forgets what it received and chooses its port
    // again; false where the port was not opened again within the wait.
    bool replug(const SimNodeProfile &profile, int waitMs);
    QString errorString() const;

    SimulatedPort &port() { return m_port; }
    NodeSimulator &simulator() { return m_port.simulator(); }
    NodeInterface &link() { return *m_link; }
    const Pacing &pacing() const { return m_pacing; }
    // Destroys the link while the recorder stays, so a test sees what the link sent while it went.
    void destroyLink() { m_link.reset(); }

    // The link's signals by short names: "busy(true)", "busy(false)", "nodeConnected", "result", "configureID",
    // "nodeSleeping", "keyMismatch", "opened", "failed".
    QStringList events() const;
    int count(const char *event) const;

    QVector<Node> nodes() const;
    QVector<CommandResult> results() const;
    QVector<CommandFailure> failures() const;
    QVector<int> types() const;
    QStringList opened() const;
    QStringList failed() const;
    QStringList failureReasons() const;

private:
    QList<QVariantList> argumentsOf(const char *signal) const;

    SimulatedPort m_port;
    const Pacing m_pacing;
    std::unique_ptr<NodeInterface> m_link;
    std::unique_ptr<SignalRecorder> m_recorder; // declared last: gone before the link it listens to
};
