#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

// A timer in the GUI thread that measures its own lateness: the longest time the thread was kept from its
// event loop, which is how long the window could not repaint or take a click.
class GuiWatchdog : public QObject
{
    Q_OBJECT
public:
    static constexpr int kTickMs = 10;

    explicit GuiWatchdog(QObject *parent = nullptr);

    // The longest lateness of a tick since the start or the last restart, in milliseconds; a tick that is
    // overdue now counts with what it has waited so far.
    qint64 longestStallMs() const { return qMax(longest, clock.elapsed() - lastTick - kTickMs); }
    void restart();

private:
    void tick();

    QTimer timer;
    QElapsedTimer clock;
    qint64 lastTick = 0;
    qint64 longest = 0;
};
