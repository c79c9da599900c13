// The command-line commissioner on one bench slot and on four: the built program with --register, from the
// simulated nodes' boot to the program's exit, one node on one port against four nodes booted together on four
// ports. Four slots are only worth having when four nodes take about as long as one (goal: ratio <= 1.15).
#include "benchfigures.h"
#include "clirun.h"
#include "node.h"
#include "simulatedport.h"
#include "testserverprocess.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int kRuns = 3;
constexpr int kStations = 4;
constexpr int kPortOpenMs = 15000;
constexpr int kRunMs = 120000;
constexpr double kRatioGoal = 1.15;

int fail(const QString &message)
{
    return benchFailure("bench_stations", message);
}

// One run of the program on `stations` simulated nodes; the milliseconds from the boot to the program's end,
// or -1 with *error set.
qint64 timeRun(TestServerProcess &server, int stations, QString *error)
{
    std::vector<std::unique_ptr<SimulatedPort>> nodes;
    QStringList arguments{QStringLiteral("commission")};
    QStringList ports;
    for (int i = 0; i < stations; ++i) {
        SimNodeProfile profile = SimNodeProfile::forType(Node::LoRaOTAA);
        profile.devEui = QStringLiteral("70B3D57ED0000B%1").arg(i + 1, 2, 10, QLatin1Char('0'));
        nodes.push_back(std::make_unique<SimulatedPort>(profile));
        if (!nodes.back()->start()) {
            *error = nodes.back()->errorString();
            return -1;
        }
        ports << nodes.back()->path();
        arguments << QStringLiteral("--port") << nodes.back()->path();
    }
    arguments << QStringLiteral("--server") << server.baseUrl() << QStringLiteral("--user")
              << QLatin1String(TestServerProcess::kUser) << QStringLiteral("--register") << QStringLiteral("--count")
              << QString::number(stations) << QStringLiteral("--json");
    CliRun cli(QLatin1String(TestServerProcess::kPassword));
    if (!cli.start(arguments) || !cli.waitForPortsOpen(ports, kPortOpenMs)) {
        *error = QStringLiteral("the program did not open its ports: ") + cli.standardError();
        return -1;
    }
    QElapsedTimer clock;
    clock.start();
    for (const auto &node : nodes)
        (*node)->boot();
    if (!cli.waitForExit(kRunMs)) {
        *error = QStringLiteral("the program did not end: ") + cli.standardError();
        return -1;
    }
    const qint64 elapsed = clock.elapsed();
    if (cli.exitCode() != 0 || cli.reports().size() != stations) {
        *error = QStringLiteral("exit %1 with %2 reports: %3")
                     .arg(cli.exitCode())
                     .arg(cli.reports().size())
                     .arg(cli.standardError());
        return -1;
    }
    return elapsed;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    // The programs are built next to each other, in bin/ of the same build directory.
    if (qEnvironmentVariableIsEmpty("IOT_BIN_DIR"))
        qputenv("IOT_BIN_DIR",
            QDir(QCoreApplication::applicationDirPath() + QStringLiteral("/../../bin")).absolutePath().toLocal8Bit());

    TestServerProcess server;
    if (!server.start())
        return fail(server.errorString());

    std::vector<qint64> alone;
    std::vector<qint64> together;
    QString error;
    for (int run = 0; run < kRuns; ++run) {
        const qint64 one = timeRun(server, 1, &error);
        if (one < 0)
            return fail(error);
        alone.push_back(one);
        const qint64 four = timeRun(server, kStations, &error);
        if (four < 0)
            return fail(error);
        together.push_back(four);
    }
    const double oneSeconds = median(alone) / 1000.0;
    const double fourSeconds = median(together) / 1000.0;
    const double ratio = fourSeconds / oneSeconds;
    std::printf("stations: 1 node %.1f s, %d nodes on %d ports %.1f s, ratio %.2f (goal <= %.2f, median of %d)\n",
        oneSeconds, kStations, kStations, fourSeconds, ratio, kRatioGoal, kRuns);
    return 0;
}
