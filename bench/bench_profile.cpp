// The full cycle of one node under a commissioning profile, through the engine the window and the command line
// share: boot → node shown → the profile's differences applied → reset → read again → verified. Printed against
// the floor that the protocol's own pauses set for that cycle.

#include "commissioningprofile.h"
#include "commissioningsession.h"
#include "nodecommand.h"
#include "nodesimulator.h"
#include "nodewritecommand.h"
#include "quietlog.h"
#include "serialnodelink.h"
#include "serversession.h"
#include "testserverprocess.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kRuns = 3;
// The pacing the program runs on.
constexpr Pacing kPacing;
// The start-up read's own pauses: after the wake-up, the answer of "cfg", "th" and "rr" each left in the port, and
// the pause before "th".
constexpr double kReadFloorS = (kPacing.wakePauseMs + 3 * kPacing.holdAfterReadMs + kPacing.beforeRequestMs) / 1000.0;
// The reset waits so that the node has stored its settings; the simulated node then takes its reboot delay.
constexpr double kResetFloorS = kPacing.beforeResetMs / 1000.0;
// Temperature, humidity and report rate differ from the simulated node: three short lines.
constexpr int kWrittenLines = 3;

const char kProfile[] = R"({"format": 1, "name": "Bench", "types": {"LoRa OTAA":
    {"temperature": [-5, 45], "humidity": [15, 85], "reportRate": 20}}})";

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    installQuietLog();
    findProgramsBesideTheTool();

    QTemporaryDir dir;
    TestServerProcess server;
    if (!dir.isValid() || !server.start()) {
        std::fprintf(stderr, "profile cycle: cannot start the local server: %s\n", qPrintable(server.errorString()));
        return 1;
    }
    const QString profilePath = dir.filePath(QStringLiteral("bench.json"));
    QFile profileFile(profilePath);
    if (!profileFile.open(QIODevice::WriteOnly) || profileFile.write(kProfile) < 0)
        return 1;
    profileFile.close();
    QString error;
    std::optional<CommissioningProfile> profile = CommissioningProfile::load(profilePath, &error);
    if (!profile) {
        std::fprintf(stderr, "profile cycle: %s\n", qPrintable(error));
        return 1;
    }

    const SimNodeProfile nodeProfile = SimNodeProfile::forType(Node::LoRaOTAA);
    std::vector<double> seconds;
    for (int run = 0; run < kRuns; ++run) {
        NodeSimulator sim(nodeProfile);
        if (!sim.start(dir.filePath(QStringLiteral("ttyNode%1").arg(run)), &error)) {
            std::fprintf(stderr, "profile cycle: cannot start the simulator: %s\n", qPrintable(error));
            return 1;
        }
        ServerSession serverSession(nullptr, nullptr);
        serverSession.setServerAddress(server.baseUrl());
        serverSession.setCredentials(
            QLatin1String(TestServerProcess::kUser), QLatin1String(TestServerProcess::kPassword));
        CommissioningSession session(new SerialNodeLink(kPacing), &serverSession, nullptr, kPacing);
        session.setProfile(std::make_shared<const CommissioningProfile>(*profile));

        QElapsedTimer clock;
        bool written = false;
        bool failed = false;
        QObject::connect(&session, &CommissioningSession::stateChanged, &app, [&](CommissioningSession::State state) {
            using State = CommissioningSession::State;
            if (state == State::NodeShown && !written) {
                written = true;
                if (session.applyProfileDifferences() == 0)
                    failed = true;
            } else if (state == State::NodeShown && written) {
                failed = !session.lastWriteVerified();
                app.quit();
            } else if (state == State::ApplyFailed || state == State::ApplyTimedOut || state == State::LoginFailed) {
                failed = true;
                app.quit();
            }
        });
        QObject::connect(&session, &CommissioningSession::portOpened, &app, [&] {
            clock.start();
            sim.boot();
        });
        session.choosePort(sim.linkPath());
        app.exec();
        if (failed) {
            std::fprintf(stderr, "profile cycle: run %d did not end verified\n", run + 1);
            return 1;
        }
        seconds.push_back(clock.nsecsElapsed() / 1e9);
    }
    std::sort(seconds.begin(), seconds.end());
    const double median = seconds[seconds.size() / 2];
    const double floor = 2 * kReadFloorS + kWrittenLines * (kPacing.linePauseMs / 1000.0) + kResetFloorS
        + nodeProfile.rebootDelayMs / 1000.0;
    std::printf(
        "profile cycle (boot -> form -> apply -> re-read -> verified): median %.2f s, floor %.2f s (%+.1f %%)\n",
        median, floor, (median / floor - 1.0) * 100.0);
    return 0;
}
