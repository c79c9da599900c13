// Time from the node's "VCOM started" to nodeConnected, against the floor set by the protocol's fixed pauses,
// and the link's CPU use while it idles with a port open.
#include "node.h"
#include "nodeinterface.h"
#include "simulatedport.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;

constexpr int kRuns = 5;
// The pacing the program runs on.
constexpr Pacing kPacing;
// The pause after the wake-up CR, the hold after "cfg", the pause before "th", the holds after "th" and "rr".
constexpr double kFloorSeconds
    = (kPacing.wakePauseMs + kPacing.holdAfterReadMs + kPacing.beforeRequestMs + 2 * kPacing.holdAfterReadMs) / 1000.0;
constexpr int kRunLimitMs = 30000;
constexpr int kIdleWindowMs = 3000;

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Runs the event loop until `done` is true or the limit passes; false on time-out.
template <typename Predicate> bool spinUntil(Predicate done, int limitMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(limitMs);
    while (!done()) {
        if (Clock::now() >= deadline)
            return false;
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    SimulatedPort node; // answers every command at once
    NodeSimulator &sim = node.simulator();
    const QString path = node.path();
    std::atomic<qint64> vcomSentNs{0};
    sim.setTraceCallback([&vcomSentNs](const QString &text) {
        // Called by the simulator's thread once the line has been written to the line.
        if (text == QLatin1String(">> VCOM started"))
            vcomSentNs = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
    });
    if (!node.start()) {
        std::fprintf(stderr, "bench_connect: cannot start the simulator: %s\n", qPrintable(node.errorString()));
        return 1;
    }

    NodeInterface link(kPacing);
    bool opened = false;
    int connected = 0;
    qint64 connectedNs = 0;
    QObject::connect(&link, &NodeInterface::serialPortOpened, &app, [&opened] { opened = true; });
    QObject::connect(&link, &NodeInterface::nodeConnected, &app, [&connected, &connectedNs] {
        connectedNs = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
        ++connected;
    });
    link.connectSerialPort(path);
    if (!spinUntil([&opened] { return opened; }, kRunLimitMs)) {
        std::fprintf(stderr, "bench_connect: the link did not open %s\n", qPrintable(path));
        return 1;
    }

    std::vector<double> seconds;
    for (int run = 0; run < kRuns; ++run) {
        vcomSentNs = 0;
        const int before = connected;
        sim.boot();
        if (!spinUntil([&] { return connected > before; }, kRunLimitMs) || vcomSentNs == 0) {
            std::fprintf(stderr, "bench_connect: run %d did not connect\n", run + 1);
            return 1;
        }
        seconds.push_back(double(connectedNs - vcomSentNs) / 1e9);
    }
    std::sort(seconds.begin(), seconds.end());
    const double median = seconds[seconds.size() / 2];
    std::printf("connect: median %.2f s (floor %.2f s, %+.1f%%; runs %.3f..%.3f s)\n", median, kFloorSeconds,
        (median / kFloorSeconds - 1.0) * 100.0, seconds.front(), seconds.back());

    const double cpuBefore = cpuSeconds();
    const auto idleStart = Clock::now();
    // This thread sleeps meanwhile; the total is the link thread plus the simulator's idle polling.
    std::this_thread::sleep_for(std::chrono::milliseconds(kIdleWindowMs));
    const double wall = std::chrono::duration<double>(Clock::now() - idleStart).count();
    std::printf("idle with port open: %.2f%% CPU of one core over %.1f s (link and simulator)\n",
        (cpuSeconds() - cpuBefore) / wall * 100.0, wall);
    std::fflush(stdout);
    return 0;
}
