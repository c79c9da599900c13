#include "windowtest.h"

#include "apptestsupport.h"

QSettings WindowTest::userSettings()
{
    return QSettings(QStringLiteral("DARV"), QStringLiteral("iot_commission"));
}

std::unique_ptr<MainWindow> WindowTest::newWindow(const Pacing &pacing)
{
    auto window = std::make_unique<MainWindow>(pacing);
    window->show();
    return window;
}

NodeSimulator *WindowTest::simulatorOnPort(const SimNodeProfile &profile)
{
    simulator = std::make_unique<NodeSimulator>(profile);
    if (!simulator->start(portDir->filePath(QStringLiteral("node"))))
        return nullptr;
    qputenv("IOT_COMMISSION_EXTRA_PORTS", simulator->linkPath().toLocal8Bit());
    userSettings().setValue(QStringLiteral("serial/port"), simulator->linkPath());
    return simulator.get();
}

std::unique_ptr<MainWindow> WindowTest::windowOnSimulatedPort(const SimNodeProfile &profile)
{
    if (!simulatorOnPort(profile))
        return nullptr;
    auto window = newWindow();
    if (!linkHoldsPort(*window, simulator->linkPath(), kLinkWaitMs))
        return nullptr;
    return window;
}

void WindowTest::loginAndBoot(DialogDriver &driver)
{
    driver.login(QLatin1String(TestServerProcess::kUser), QLatin1String(TestServerProcess::kPassword));
    simulator->boot();
}

void WindowTest::initTestCase()
{
    QVERIFY(userSettings().fileName().startsWith(QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME"))));
    QVERIFY2(server.start(), qPrintable(server.errorString()));
}

void WindowTest::init()
{
    QSettings settings = userSettings();
    settings.clear();
    settings.setValue(QStringLiteral("JSONregister/server"), server.baseUrl());
    qputenv("IOT_COMMISSION_EXTRA_PORTS", kNoPort);
    portDir = std::make_unique<QTemporaryDir>();
    QVERIFY(portDir->isValid());
    QVERIFY(server.clearFaults());
}

void WindowTest::cleanup()
{
    simulator.reset();
    qunsetenv("IOT_COMMISSION_EXTRA_PORTS");
    portDir.reset();
}
