// One full commissioning flow through the real window (offscreen), the simulated node and the local
// registration server, five times: "VCOM started" to the node's form, the longest time the GUI thread was kept
// from its event loop (a 10 ms timer measuring its own lateness), and Apply to "Update Success".
#include "apptestsupport.h"
#include "benchfigures.h"
#include "mainwindow.h"
#include "nodeform.h"
#include "nodeinterface.h"
#include "quietlog.h"
#include "testserverprocess.h"
#include "workbench.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kRuns = 5;
constexpr int kStallTargetMs = 100;

int fail(const QString &message)
{
    return benchFailure("bench_flow", message);
}

} // namespace

int main(int argc, char *argv[])
{
    // The window reads and writes its settings and journal; a benchmark must leave the user's own alone.
    QTemporaryDir home;
    if (!home.isValid())
        return fail(QStringLiteral("no temporary directory"));
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    findProgramsBesideTheTool();
    // The figures are the output; the window's and the link's diagnostics are not.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
        if (type == QtCriticalMsg || type == QtFatalMsg)
            std::fprintf(stderr, "%s\n", qPrintable(message));
    });

    TestServerProcess server;
    if (!server.start())
        return fail(server.errorString());
    // The flow as the program runs it, on the protocol's own pauses.
    Workbench bench(server.baseUrl(), Pacing());
    if (!bench.plugIn(SimNodeProfile::forType(Node::LoRaOTAA)))
        return fail(bench.error());
    NodeInterface *link = bench.link();

    // Delivered in the GUI thread after the window's own slots, which were connected first: these run once the
    // window has acted on the signal.
    QElapsedTimer clock;
    clock.start();
    qint64 shownAt = -1;
    qint64 resultAt = -1;
    QObject::connect(link, &NodeInterface::nodeConnected, bench.window(), [&] { shownAt = clock.elapsed(); });
    QObject::connect(link, &NodeInterface::nodeCommandResult, bench.window(), [&] { resultAt = clock.elapsed(); });

    std::vector<qint64> connects, stalls, applies;
    for (int run = 0; run < kRuns; ++run) {
        if (run == 0)
            bench.dialogs().login(QLatin1String(TestServerProcess::kUser), QLatin1String(TestServerProcess::kPassword));
        bench.watchdog().restart();
        shownAt = -1;
        const qint64 bootAt = clock.elapsed();
        // The node prints its banner and "VCOM started" at once.
        bench.node().boot();
        if (!QTest::qWaitFor([&] { return shownAt >= 0 && bench.form(); }, Workbench::kNodeReadWaitMs))
            return fail(QStringLiteral("run %1: no form (window state: %2)").arg(run + 1).arg(bench.state()));
        connects.push_back(shownAt - bootAt);

        NodeForm *form = bench.form();
        Workbench::typeInto(form, "reportRateEdit", QString::number(20 + run));
        resultAt = -1;
        const qint64 applyAt = clock.elapsed();
        form->findChild<QPushButton *>(QStringLiteral("applyButton"))->click();
        if (!QTest::qWaitFor([&] { return resultAt >= 0; }, Workbench::kNodeReadWaitMs))
            return fail(QStringLiteral("run %1: no write result").arg(run + 1));
        if (bench.state() != QLatin1String(Workbench::kUpdateSuccess))
            return fail(QStringLiteral("run %1: the window shows %2").arg(run + 1).arg(bench.state()));
        applies.push_back(resultAt - applyAt);

        // The node is reset and read again; the run ends with its form back on screen.
        if (!QTest::qWaitFor([&] { return bench.form() && bench.form() != form; }, Workbench::kNodeReadWaitMs))
            return fail(QStringLiteral("run %1: the node was not read again").arg(run + 1));
        stalls.push_back(bench.watchdog().longestStallMs());
    }

    std::printf("flow: VCOM started -> form shown: median %lld ms (%d runs, the first with the login)\n",
        static_cast<long long>(median(connects)), kRuns);
    std::printf("flow: longest GUI-thread stall per run: median %lld ms, worst %lld ms (target <= %d ms)\n",
        static_cast<long long>(median(stalls)), static_cast<long long>(*std::max_element(stalls.begin(), stalls.end())),
        kStallTargetMs);
    std::printf("flow: Apply -> \"Update Success\": median %lld ms\n", static_cast<long long>(median(applies)));
    return 0;
}
