#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

struct Pacing;

// Watches for a port that went away (a node on a USB adapter unplugged) and says when it is there again; once
// it was reopened, says when the node behind it has not been heard booting within the grace it gets.
class PortWatch : public QObject
{
    Q_OBJECT
public:
    explicit PortWatch(const Pacing &pacing, QObject *parent = nullptr);

    // The port that went away; empty when none is watched for.
    QString port() const { return watched; }
    void watch(const QString &name);
    // The watched port was handed to the link to be opened; its answer is awaited.
    void reopening() { reopenPending = true; }
    // The port is back open, or another choice was made.
    void stop();
    // A returned port was opened: the grace for its node's boot starts.
    void startBootGrace() { bootGrace.start(); }

    // True when the device behind a port name is there (a path, or a name under /dev, or one the system lists).
    static bool present(const QString &portName);

signals:
    void back();
    void bootGraceOver();

private:
    QTimer poll;
    QTimer bootGrace;
    QString watched;
    bool reopenPending = false;
};
