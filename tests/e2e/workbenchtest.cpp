#include "workbenchtest.h"

#include "dialogdriver.h"
#include "guiwatchdog.h"

#include <QTest>

namespace {

const int kGuiStallLimitMs = 1000;

} // namespace

bool WorkbenchTest::plugIn(const SimNodeProfile &profile)
{
    bench = std::make_unique<Workbench>(server.baseUrl());
    return bench->plugIn(profile);
}

void WorkbenchTest::initTestCase()
{
    QVERIFY2(server.start(), qPrintable(server.errorString()));
}

void WorkbenchTest::cleanup()
{
    if (bench) {
        QVERIFY2(bench->watchdog().longestStallMs() < kGuiStallLimitMs,
            qPrintable(QStringLiteral("GUI thread stalled %1 ms").arg(bench->watchdog().longestStallMs())));
        QCOMPARE(bench->dialogs().unexpectedCount(), 0);
    }
    bench.reset();
}
