#pragma once

#include "dialogdriver.h"
#include "mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QMetaEnum>
#include <QTest>

// The window opens its dialogs without waiting for them: a click or a slot call returns at once and the
// dialog is answered later by the DialogDriver. Tests therefore wait until the window has settled before they
// look at the outcome. The limit is far beyond what the local server and a simulated node need.
constexpr int kSettleWaitMs = 20000;

// Empty when the window waits for nothing: every dialog the test expected was answered, no dialog is open,
// and the session is not in the middle of a login or a registration. Otherwise what it still waits for.
inline QString whatTheWindowAwaits(MainWindow &window, const DialogDriver &driver)
{
    using State = CommissioningSession::State;
    if (driver.pendingSteps() > 0)
        return QStringLiteral("%1 expected dialog(s) not seen yet").arg(driver.pendingSteps());
    QWidget *modal = QApplication::activeModalWidget();
    if (modal && modal->isVisible())
        return QStringLiteral("a dialog is still open: ") + modal->windowTitle();
    const State state = window.session()->state();
    if (state == State::LoginNeeded || state == State::LoggingIn || state == State::Registering)
        return QStringLiteral("the session is in state ")
            + QLatin1String(QMetaEnum::fromType<State>().valueToKey(int(state)));
    return QString();
}

inline bool windowSettles(MainWindow &window, const DialogDriver &driver, int timeoutMs = kSettleWaitMs)
{
    return QTest::qWaitFor([&] { return whatTheWindowAwaits(window, driver).isEmpty(); }, timeoutMs);
}

// In a test function: fails with what the window still waits for.
#define IOT_WAIT_UNTIL_SETTLED(window, driver)                                                                         \
    QVERIFY2(windowSettles((window), (driver)), qPrintable(whatTheWindowAwaits((window), (driver))))

// Opens the About box from its menu entry, has the driver click it away, and waits for the window to settle.
#define IOT_OPEN_ABOUT_BOX(window, driver)                                                                             \
    do {                                                                                                               \
        (driver).clickOk();                                                                                            \
        (window).findChild<QAction *>(QStringLiteral("actionAbout"))->trigger();                                       \
        IOT_WAIT_UNTIL_SETTLED(window, driver);                                                                        \
    } while (false)
