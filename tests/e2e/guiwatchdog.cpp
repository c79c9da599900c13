#include "guiwatchdog.h"

GuiWatchdog::GuiWatchdog(QObject *parent)
    : QObject(parent)
{
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(kTickMs);
    connect(&timer, &QTimer::timeout, this, &GuiWatchdog::tick);
    restart();
    timer.start();
}

void GuiWatchdog::restart()
{
    clock.start();
    lastTick = 0;
    longest = 0;
}

void GuiWatchdog::tick()
{
    const qint64 now = clock.elapsed();
    longest = qMax(longest, now - lastTick - kTickMs);
    lastTick = now;
}
