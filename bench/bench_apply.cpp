// Time of an apply that writes all eight settings to a simulated node, against the floor that the protocol's
// own pauses set: 0.5 s before each of the eight lines plus 1 ms after each byte of the three protected lines.

#include "node.h"
#include "nodebuilders.h"
#include "nodecmdsetthreshold.h"
#include "quietlog.h"
#include "simulatedport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSerialPort>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kRuns = 5;
constexpr int kSettingLines = 8;
constexpr int kProtectedLines = 3;
constexpr int kProtectedLineBytes = 41;
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    installQuietLog();

    SimulatedPort node(SimNodeProfile::forType(Node::LoRaOTAA));
    if (!node.start()) {
        std::fprintf(stderr, "apply8: cannot start the simulator: %s\n", qPrintable(node.errorString()));
        return 1;
    }
    QSerialPort port(node.path());
    port.setBaudRate(QSerialPort::Baud115200);
    if (!port.open(QIODevice::ReadWrite)) {
        std::fprintf(stderr, "apply8: cannot open %s\n", qPrintable(node.path()));
        return 1;
    }

    // The pacing the program runs on.
    const Pacing pacing;
    std::vector<double> seconds;
    for (int run = 0; run < kRuns; ++run) {
        NodeCMDsetThreshold command(editedNode(), Node::FlagsWritable, &port, pacing);
        QElapsedTimer timer;
        qint64 elapsedNs = 0;
        CommandResult result = CommandResult::Pending;
        QObject::connect(&command, &NodeWriteCommand::finished, &app, [&](CommandResult outcome, CommandFailure) {
            elapsedNs = timer.nsecsElapsed();
            result = outcome;
            app.quit();
        });
        timer.start();
        command.sendCommand();
        app.exec();
        seconds.push_back(elapsedNs / 1e9);
        if (result != CommandResult::Done) {
            std::fprintf(stderr, "apply8: run %d ended with result %d\n", run + 1, int(result));
            return 1;
        }
    }
    std::sort(seconds.begin(), seconds.end());
    const double median = seconds[seconds.size() / 2];
    const double floor
        = (kSettingLines * pacing.linePauseMs + kProtectedLines * kProtectedLineBytes * pacing.settingsBytePauseMs)
        / 1000.0;
    std::printf("apply8: median %.2f s (floor %.2f s, %+.1f%%)\n", median, floor, (median / floor - 1.0) * 100.0);
    return 0;
}
