#pragma once

#include <QByteArray>
#include <QString>
#include <QTest>

// Some tests need what a developer's machine may lack: a TLS backend, a program built next to the tests, an address
// other than loopback. Without it they skip there. Under CI nothing may be missing, because a skip would hide that
// the check never ran: with CI set (CI=true, as CI services set it) the test fails instead.
namespace TestPrerequisite {

// True when the CI variable is set to anything but an empty string, "0" or "false".
inline bool requiredByCi()
{
    const QString ci = qEnvironmentVariable("CI").trimmed().toLower();
    return !ci.isEmpty() && ci != QLatin1String("0") && ci != QLatin1String("false");
}

} // namespace TestPrerequisite

// Ends the current test function because `reason` (a string literal naming what is missing): a skip, or a failure
// under CI. Use it instead of QSKIP wherever the skip means a prerequisite is missing.
#define SKIP_OR_FAIL_UNDER_CI(reason)                                                                                  \
    do {                                                                                                               \
        if (TestPrerequisite::requiredByCi())                                                                          \
            QFAIL(QByteArray(QByteArrayLiteral("missing under CI: ") + QByteArray(reason)).constData());               \
        QSKIP(reason);                                                                                                 \
    } while (false)
