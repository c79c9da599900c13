// Time of an apply that writes all eight settings to a simulated node, against the floor that the protocol's
// own pauses set: 0.5 s before each of the eight lines plus 1 ms after each byte of the three protected lines.

#include "node.h"
#include "nodecmdsetthreshold.h"
#include "nodesimulator.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSerialPort>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kRuns = 5;
constexpr int kSettingLines = 8;
constexpr int kProtectedLines = 3;
constexpr int kProtectedLineBytes = 41;

Node editedNode()
{
    Node node;
    node.appId = QStringLiteral("1122334455667788");
    node.appKey = QStringLiteral("000102030405060708090A0B0C0D0E0F");
    node.netId = QStringLiteral("0000ABCD");
    node.thresholds.temperatureLow = -5.7f;
    node.thresholds.temperatureHigh = 30.9f;
    node.thresholds.humidityLow = 20.0f;
    node.thresholds.humidityHigh = 80.0f;
    node.thresholds.pressureLow = 12.34f;
    node.thresholds.pressureHigh = 56.78f;
    node.thresholds.accelX = 1.5f;
    node.reportRate = 15;
    return node;
}

void quietDebug(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    qInstallMessageHandler(quietDebug);

    QTemporaryDir dir;
    NodeSimulator sim(SimNodeProfile::forType(Node::LoRaOTAA));
    QString error;
    if (!dir.isValid() || !sim.start(dir.filePath(QStringLiteral("ttyNode")), &error)) {
        std::fprintf(stderr, "apply8: cannot start the simulator: %s\n", qPrintable(error));
        return 1;
    }
    QSerialPort port(sim.linkPath());
    port.setBaudRate(QSerialPort::Baud115200);
    if (!port.open(QIODevice::ReadWrite)) {
        std::fprintf(stderr, "apply8: cannot open %s\n", qPrintable(sim.linkPath()));
        return 1;
    }

    std::vector<double> seconds;
    for (int run = 0; run < kRuns; ++run) {
        NodeCMDsetThreshold command(editedNode(), Node::FlagsWritable, &port);
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
    const double floor = (kSettingLines * NodeWriteCommand::kLinePauseMs
                             + kProtectedLines * kProtectedLineBytes * NodeWriteCommand::kSettingsBytePauseMs)
        / 1000.0;
    std::printf("apply8: median %.2f s (floor %.2f s, %+.1f%%)\n", median, floor, (median / floor - 1.0) * 100.0);
    return 0;
}
