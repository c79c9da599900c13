// The hands-free cycle of one node under a profile that runs the station by itself ("auto": write, register,
// put to sleep), through the engine the window runs on, against the local server: boot → read → the two
// differing settings written → reset → read again and verified → registered → asleep, with no operator action.
// Printed against the floor that the protocol's own pauses set for that path.

#include "commissioningprofile.h"
#include "commissioningsession.h"
#include "nodesimulator.h"
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
// The temperature range and the report rate differ from the simulated node: two short lines.
constexpr int kWrittenLines = 2;
// The sleep command's answer is left in the port like a read's.
constexpr double kSleepFloorS = kPacing.holdAfterReadMs / 1000.0;

const char kProfile[] = R"({"format": 1, "name": "Bench hands-free",
    "auto": {"apply": true, "register": true, "activate": true},
    "types": {"LoRa OTAA": {"temperature": [-5, 45], "reportRate": 20}}})";

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    installQuietLog();
    findProgramsBesideTheTool();

    QTemporaryDir dir;
    TestServerProcess server;
    if (!dir.isValid() || !server.start()) {
        std::fprintf(stderr, "hands-free cycle: cannot start the local server: %s\n", qPrintable(server.errorString()));
        return 1;
    }
    QString error;
    std::optional<CommissioningProfile> profile
        = CommissioningProfile::fromJson(kProfile, QStringLiteral("bench-hands-free.json"), &error);
    if (!profile) {
        std::fprintf(stderr, "hands-free cycle: %s\n", qPrintable(error));
        return 1;
    }

    std::vector<double> seconds;
    for (int run = 0; run < kRuns; ++run) {
        SimNodeProfile nodeProfile = SimNodeProfile::forType(Node::LoRaOTAA);
        nodeProfile.devEui = QStringLiteral("70B3D57ED00B0C0%1").arg(run);
        NodeSimulator sim(nodeProfile);
        if (!sim.start(dir.filePath(QStringLiteral("ttyNode%1").arg(run)), &error)) {
            std::fprintf(stderr, "hands-free cycle: cannot start the simulator: %s\n", qPrintable(error));
            return 1;
        }
        ServerSession serverSession(nullptr, nullptr);
        serverSession.setServerAddress(server.baseUrl());
        serverSession.setCredentials(
            QLatin1String(TestServerProcess::kUser), QLatin1String(TestServerProcess::kPassword));
        CommissioningSession session(new SerialNodeLink(kPacing), &serverSession, nullptr, kPacing);
        session.setProfile(std::make_shared<const CommissioningProfile>(*profile));

        QElapsedTimer clock;
        QString failure;
        QObject::connect(
            &session, &CommissioningSession::autoRunChanged, &app, [&](const CommissioningSession::AutoRun &autoRun) {
                if (autoRun.outcome == CommissioningSession::AutoRun::Outcome::Failed)
                    failure = autoRun.reason;
                if (autoRun.outcome == CommissioningSession::AutoRun::Outcome::Failed
                    || autoRun.outcome == CommissioningSession::AutoRun::Outcome::Passed)
                    app.quit();
            });
        QObject::connect(&session, &CommissioningSession::stateChanged, &app, [&](CommissioningSession::State state) {
            // Nobody is there to type credentials in.
            if (state == CommissioningSession::State::LoginNeeded
                || state == CommissioningSession::State::LoginFailed) {
                failure = QStringLiteral("the login did not succeed");
                app.quit();
            }
        });
        QObject::connect(&session, &CommissioningSession::portOpened, &app, [&] {
            clock.start();
            sim.boot();
        });
        session.choosePort(sim.linkPath());
        app.exec();
        const double elapsed = clock.nsecsElapsed() / 1e9;
        if (!failure.isEmpty() || !sim.isSleeping() || server.registrationsOf(nodeProfile.devEui) != 1) {
            std::fprintf(stderr, "hands-free cycle: run %d did not end asleep and registered: %s\n", run + 1,
                qPrintable(failure));
            return 1;
        }
        seconds.push_back(elapsed);
    }
    std::sort(seconds.begin(), seconds.end());
    const double median = seconds[seconds.size() / 2];
    const double floor = 2 * kReadFloorS + kWrittenLines * (kPacing.linePauseMs / 1000.0) + kResetFloorS
        + SimNodeProfile::forType(Node::LoRaOTAA).rebootDelayMs / 1000.0 + kSleepFloorS;
    std::printf("hands-free cycle (boot -> written -> verified -> registered -> asleep): median %.2f s, floor %.2f s "
                "(ratio %.3f, goal <= 1.05)\n",
        median, floor, median / floor);
    return 0;
}
