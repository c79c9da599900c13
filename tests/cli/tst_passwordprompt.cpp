// The command line's password prompt on a real terminal (a pseudo-terminal the program has as its controlling
// terminal): the echo is off while it waits, and back on however the wait ends.
#include "clirun.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstdlib>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {
constexpr int kPromptMs = 15000;
constexpr int kEndMs = 15000;
const char kPrompt[] = "Password: ";
} // namespace

class PasswordPromptTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void endingTheWaitGivesTheEchoBack_data();
    void endingTheWaitGivesTheEchoBack();

private:
    // Reads what the program printed on the terminal for up to `ms`; false when the program's side is gone.
    bool readTerminal(int ms);
    bool echoIsOn() const;

    QTemporaryDir dir;
    int master = -1;
    pid_t child = -1;
    QByteArray screen;
};

void PasswordPromptTest::init()
{
    QVERIFY(QFile::exists(CliRun::executablePath()));
    QVERIFY(dir.isValid());
    screen.clear();
    const QByteArray program = QFile::encodeName(CliRun::executablePath());
    const QByteArray journal = QFile::encodeName(dir.filePath(QStringLiteral("journal.jsonl")));
    const QByteArray port = QFile::encodeName(dir.filePath(QStringLiteral("no-such-port")));
    const QByteArray data = QFile::encodeName(dir.path());
    child = ::forkpty(&master, nullptr, nullptr, nullptr);
    QVERIFY(child >= 0);
    if (child == 0) {
        // No core file from the Ctrl-\ case.
        const rlimit noCore{0, 0};
        ::setrlimit(RLIMIT_CORE, &noCore);
        ::unsetenv(CliRun::kPasswordVariable);
        ::setenv("XDG_DATA_HOME", data.constData(), 1);
        ::setenv("XDG_CONFIG_HOME", data.constData(), 1);
        ::execl(program.constData(), program.constData(), "commission", "--port", port.constData(), "--server",
            "http://127.0.0.1:9", "--user", "operator", "--journal", journal.constData(), static_cast<char *>(nullptr));
        ::_exit(127);
    }
    const QDeadlineTimer deadline(kPromptMs);
    while (!screen.contains(kPrompt) && !deadline.hasExpired() && readTerminal(50)) { }
    QVERIFY2(screen.contains(kPrompt), screen.constData());
    // The prompt has turned the echo off before it asks.
    QVERIFY(!echoIsOn());
}

void PasswordPromptTest::cleanup()
{
    if (child > 0 && ::waitpid(child, nullptr, WNOHANG) == 0) {
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
    }
    child = -1;
    if (master >= 0)
        ::close(master);
    master = -1;
}

bool PasswordPromptTest::readTerminal(int ms)
{
    pollfd descriptor{master, POLLIN, 0};
    if (::poll(&descriptor, 1, ms) <= 0)
        return true;
    char buffer[256];
    const ssize_t n = ::read(master, buffer, sizeof buffer);
    if (n <= 0)
        return false;
    screen.append(buffer, int(n));
    return true;
}

bool PasswordPromptTest::echoIsOn() const
{
    termios settings{};
    return ::tcgetattr(master, &settings) == 0 && (settings.c_lflag & ECHO) != 0;
}

void PasswordPromptTest::endingTheWaitGivesTheEchoBack_data()
{
    QTest::addColumn<QByteArray>("typed");
    QTest::addColumn<int>("signalSent");
    QTest::addColumn<int>("endingSignal");
    QTest::newRow("Ctrl-C") << QByteArray("\x03") << 0 << int(SIGINT);
    QTest::newRow("Ctrl-\\") << QByteArray("\x1c") << 0 << int(SIGQUIT);
    QTest::newRow("SIGTERM") << QByteArray() << int(SIGTERM) << int(SIGTERM);
    QTest::newRow("SIGHUP") << QByteArray() << int(SIGHUP) << int(SIGHUP);
    // The password typed: the program goes on (and ends for its missing port), the password never shown.
    QTest::newRow("password typed") << QByteArray("s3cret-word\r") << 0 << 0;
}

void PasswordPromptTest::endingTheWaitGivesTheEchoBack()
{
    QFETCH(QByteArray, typed);
    QFETCH(int, signalSent);
    QFETCH(int, endingSignal);
    if (!typed.isEmpty())
        QCOMPARE(::write(master, typed.constData(), size_t(typed.size())), ssize_t(typed.size()));
    if (signalSent != 0)
        QCOMPARE(::kill(child, signalSent), 0);

    int status = 0;
    pid_t ended = 0;
    const QDeadlineTimer deadline(kEndMs);
    while ((ended = ::waitpid(child, &status, WNOHANG)) == 0 && !deadline.hasExpired())
        readTerminal(50);
    QCOMPARE(ended, child);
    child = -1;
    if (endingSignal != 0) {
        QVERIFY2(WIFSIGNALED(status), qPrintable(QString::number(status)));
        QCOMPARE(WTERMSIG(status), endingSignal);
    } else {
        QVERIFY2(WIFEXITED(status), qPrintable(QString::number(status)));
        QCOMPARE(WEXITSTATUS(status), 2);
        QVERIFY2(!screen.contains("s3cret"), screen.constData());
    }
    QVERIFY2(echoIsOn(), screen.constData());
}

QTEST_GUILESS_MAIN(PasswordPromptTest)
#include "tst_passwordprompt.moc"
