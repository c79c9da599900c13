// Figures of the tool as the operator starts it: build/bin/iot_commission itself, unchanged, on Qt's offscreen
// platform with a private settings directory. Start-up from the spawn of the process to the first paint of its
// main window (seen by the window probe, which is preloaded and only watches), resident memory once the window
// is up, and the tool's CPU use over 10 s of idling with a simulated node's port open and with no port open
// (the remembered port unplugged).

#include "benchfigures.h"
#include "nodesimulator.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kStartRuns = 5;
constexpr int kStartLimitMs = 20000;
// The window settles (port opened, first layout done) before memory and CPU are looked at.
constexpr int kSettleMs = 2000;
constexpr int kIdleWindowMs = 10000;
constexpr double kStartTargetSeconds = 0.5;
constexpr double kResidentTargetMB = 60.0;
constexpr double kIdleOpenTargetPercent = 0.5;
constexpr double kIdleNoneTargetPercent = 1.0;
const char kPaintedPrefix[] = "windowprobe: painted ";

qint64 monotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000000000LL + now.tv_nsec;
}

int fail(const QString &message)
{
    return benchFailure("bench_tool", message);
}

// The tool in a private home of its own, with `port` listed after the machine's ports and remembered as chosen.
class Tool
{
public:
    Tool(const QString &binDir, const QString &probe, const QString &port)
    {
        const QString config = home.filePath(QStringLiteral("config"));
        QDir().mkpath(config + QStringLiteral("/DARV"));
        QFile settings(config + QStringLiteral("/DARV/iot_commission.conf"));
        if (settings.open(QIODevice::WriteOnly))
            settings.write("[serial]\nport=" + port.toLocal8Bit() + "\n");
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
        environment.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
        environment.insert(QStringLiteral("LD_PRELOAD"), probe);
        // The tool's log says which port it opened; it is read here, never printed.
        environment.remove(QStringLiteral("QT_LOGGING_RULES"));
        environment.insert(QStringLiteral("IOT_COMMISSION_EXTRA_PORTS"), port);
        process.setProcessEnvironment(environment);
        // The tool reads its icon from the working directory, as it does when started from bin/.
        process.setWorkingDirectory(binDir);
        process.setProgram(binDir + QStringLiteral("/iot_commission"));
        process.setStandardOutputFile(QProcess::nullDevice());
    }

    ~Tool()
    {
        if (process.state() != QProcess::NotRunning) {
            process.terminate();
            if (!process.waitForFinished(5000))
                process.kill();
            process.waitForFinished(5000);
        }
    }

    // Seconds from the spawn to the first paint of the main window, or a negative number on failure.
    double start()
    {
        const qint64 spawnedNs = monotonicNs();
        process.start();
        if (!process.waitForStarted(kStartLimitMs))
            return -1;
        const qint64 deadline = spawnedNs + qint64(kStartLimitMs) * 1000000;
        while (monotonicNs() < deadline) {
            const int at = output.indexOf(kPaintedPrefix);
            if (at >= 0) {
                const int end = output.indexOf('\n', at);
                if (end > at)
                    return (output.mid(at + qstrlen(kPaintedPrefix), end - at).trimmed().toLongLong() - spawnedNs)
                        / 1e9;
            }
            if (process.state() == QProcess::NotRunning)
                return -1;
            process.waitForReadyRead(50);
            output += process.readAllStandardError();
        }
        return -1;
    }

    // Reads what the tool printed meanwhile without waiting for more.
    const QByteArray &log()
    {
        output += process.readAllStandardError();
        return output;
    }

    qint64 pid() const { return process.processId(); }

    QTemporaryDir home;
    QProcess process;
    QByteArray output;
};

// User plus system CPU time of every thread of a process, in seconds.
double cpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    // The fields after the command name, which may itself hold blanks and parentheses: state is field 3, utime 14.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    return double(fields.at(11).toLongLong() + fields.at(12).toLongLong()) / double(sysconf(_SC_CLK_TCK));
}

double statusMB(qint64 pid, const char *field)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return -1;
}

// CPU time of every thread of a process in nanoseconds, from the scheduler's own accounting (finer than the
// clock ticks of /proc/<pid>/stat).
double scheduledSeconds(qint64 pid)
{
    const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
    qint64 nsecs = 0;
    for (const QString &task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile schedstat(tasks + QLatin1Char('/') + task + QStringLiteral("/schedstat"));
        if (schedstat.open(QIODevice::ReadOnly))
            nsecs += schedstat.readAll().split(' ').first().toLongLong();
    }
    return nsecs / 1e9;
}

struct Idle
{
    double statPercent; // from utime + stime in /proc/<pid>/stat, 10 ms resolution
    double scheduledPercent; // from the threads' schedstat, nanosecond resolution
};

// CPU share of one core used by the process over the idle window, in percent.
Idle idle(qint64 pid)
{
    const double statBefore = cpuSeconds(pid);
    const double scheduledBefore = scheduledSeconds(pid);
    const qint64 startNs = monotonicNs();
    QThread::msleep(kIdleWindowMs);
    const double statUsed = cpuSeconds(pid) - statBefore;
    const double scheduledUsed = scheduledSeconds(pid) - scheduledBefore;
    const double wall = (monotonicNs() - startNs) / 1e9;
    return {100.0 * statUsed / wall, 100.0 * scheduledUsed / wall};
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    const QString binDir = QDir(QCoreApplication::applicationDirPath() + QStringLiteral("/../../bin")).absolutePath();
    const QString probe = QDir(QCoreApplication::applicationDirPath() + QStringLiteral("/../lib")).absolutePath()
        + QStringLiteral("/libwindowprobe.so");
    if (!QFile::exists(binDir + QStringLiteral("/iot_commission")) || !QFile::exists(probe))
        return fail(QStringLiteral("build iot_commission and windowprobe first (looked in %1)").arg(binDir));

    QTemporaryDir dir;
    NodeSimulator sim; // a node that has not booted: the tool waits for it with the port open
    QString error;
    const QString port = dir.filePath(QStringLiteral("ttyNODE"));
    if (!dir.isValid() || !sim.start(port, &error))
        return fail(QStringLiteral("cannot start the simulator: %1").arg(error));

    std::vector<double> starts;
    for (int run = 0; run < kStartRuns; ++run) {
        Tool tool(binDir, probe, port);
        const double seconds = tool.start();
        if (seconds < 0)
            return fail(QStringLiteral("run %1: no window painted; the tool said:\n%2")
                            .arg(run + 1)
                            .arg(QString::fromLocal8Bit(tool.log())));
        starts.push_back(seconds);
    }
    std::sort(starts.begin(), starts.end());
    std::printf("tool: start-up to window shown: median %.3f s (runs %.3f..%.3f s; target <= %.1f s)\n",
        starts[starts.size() / 2], starts.front(), starts.back(), kStartTargetSeconds);
    std::fflush(stdout);

    {
        Tool tool(binDir, probe, port);
        if (tool.start() < 0)
            return fail(QStringLiteral("no window painted"));
        QThread::msleep(kSettleMs);
        if (!tool.log().contains("Opened serial port " + port.toLocal8Bit()))
            return fail(
                QStringLiteral("the tool did not open %1; it said:\n%2").arg(port, QString::fromLocal8Bit(tool.log())));
        std::printf("tool: resident memory with the window up: %.1f MB (peak %.1f MB; target <= %.0f MB)\n",
            statusMB(tool.pid(), "VmRSS:"), statusMB(tool.pid(), "VmHWM:"), kResidentTargetMB);
        std::fflush(stdout);
        const Idle open = idle(tool.pid());
        std::printf("tool: idle CPU with a port open: %.2f%% of one core over %d s (%.3f%% by schedstat; target <= "
                    "%.1f%%)\n",
            open.statPercent, kIdleWindowMs / 1000, open.scheduledPercent, kIdleOpenTargetPercent);
        std::fflush(stdout);
    }
    {
        // This machine may list serial ports of its own, and the tool opens the first listed port when the
        // remembered one is not there. A remembered port that cannot be opened leaves the tool without a port.
        const QString absent = dir.filePath(QStringLiteral("unplugged"));
        Tool tool(binDir, probe, absent);
        if (tool.start() < 0)
            return fail(QStringLiteral("no window painted without a port"));
        QThread::msleep(kSettleMs);
        if (!tool.log().contains("Could not open serial port " + absent.toLocal8Bit())
            || tool.log().contains("Opened serial port"))
            return fail(QStringLiteral("the tool was not left without a port; it said:\n%1")
                            .arg(QString::fromLocal8Bit(tool.log())));
        const Idle none = idle(tool.pid());
        std::printf(
            "tool: idle CPU with no port: %.2f%% of one core over %d s (%.3f%% by schedstat; target <= %.1f%%)\n",
            none.statPercent, kIdleWindowMs / 1000, none.scheduledPercent, kIdleNoneTargetPercent);
    }
    return 0;
}
