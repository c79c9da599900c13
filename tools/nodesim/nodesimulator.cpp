#include "nodesimulator.h"

#include "protectedfieldcipher.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <chrono>
#include <deque>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <optional>
#include <poll.h>
#include <pty.h>
#include <random>
#include <sys/eventfd.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {
// Longest time the worker sleeps in poll() when nothing is due; stop and wake-ups interrupt it earlier.
constexpr int kIdlePollMs = 50;
constexpr int kReadChunkBytes = 4096;
// Endless output is produced in pieces of this size, so a megabyte of it never sits in memory.
constexpr int kEndlessChunkBytes = 4096;
// A node's input buffer is small: longer lines are recorded but not interpreted.
constexpr int kMaxCommandBytes = 512;
constexpr int kMaxEchoChars = 64;
constexpr int kDefaultLateMs = 6000;
constexpr qint64 kDefaultEndlessBytes = 1 << 20;
const char kDefaultFailReason[] = "value out of range";
const char kColourOn[] = "\x1b[33m";
const char kColourOff[] = "\x1b[0m";
// The real firmware prints a greeting before its banner; the tool has to skip it.
const char kBootGreeting[] = "Tessaline lock sensor";
const char kEndlessFiller[] = "0123456789abcdef";

// Number of meaningful bytes in the protected field of each write command.
int protectedByteCount(const QString &word)
{
    if (word == QLatin1String("key"))
        return 16;
    if (word == QLatin1String("net"))
        return 4;
    return 8; // app, dev
}

bool isWriteWord(const QString &word)
{
    static const QStringList words = {QStringLiteral("app"), QStringLiteral("key"), QStringLiteral("net"),
        QStringLiteral("dev"), QStringLiteral("tht"), QStringLiteral("thh"), QStringLiteral("thp"),
        QStringLiteral("tha"), QStringLiteral("rr"), QStringLiteral("sd")};
    return words.contains(word);
}

bool isReadWord(const QString &word)
{
    static const QStringList words = {QStringLiteral("cfg"), QStringLiteral("th"), QStringLiteral("rr"),
        QStringLiteral("ver"), QStringLiteral("s"), QStringLiteral("reset")};
    return words.contains(word);
}

QString spacedPairs(const QString &hex)
{
    QString out;
    for (int i = 0; i < hex.size(); i += 2) {
        if (i)
            out += QLatin1Char(' ');
        out += hex.midRef(i, 2);
    }
    return out;
}

struct FaultEntry
{
    SimFault fault = SimFault::None;
    int count = -1;
    QString argument;
};

struct OutSegment
{
    QByteArray bytes;
    qint64 endlessBytes = 0; // when non-zero: this many filler bytes instead of `bytes`
};

// What a command makes the node do, before faults decide how it reaches the line.
struct Answer
{
    QStringList lines;
    bool sleeps = false;
    bool reboots = false;
};

void closeFd(int &fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

bool setFlags(int fd, bool nonBlocking)
{
    const int fdFlags = ::fcntl(fd, F_GETFD);
    if (fdFlags < 0 || ::fcntl(fd, F_SETFD, fdFlags | FD_CLOEXEC) < 0)
        return false;
    if (!nonBlocking)
        return true;
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) >= 0;
}
} // namespace

namespace {
// What a typical node of each firmware type prints where it differs from the profile's defaults (a LoRa OTAA
// node); a null text or zero keeps the default.
struct TypicalNode
{
    int type;
    const char *communication;
    const char *nodeVersion;
    const char *devEui;
    const char *appEui;
    const char *netId;
    const char *sigfoxId;
    const char *sigfoxPac;
    int temperatureLow;
    int temperatureHigh;
    qint64 reportRateMs;
};

const TypicalNode kTypicalNodes[] = {
    {1, "Pellimar", "v1.3.2", "70B3D57ED0000B01", nullptr, "00000013", nullptr, nullptr, 0, 0, 600000},
    {2, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0, 0, 0},
    {3, "SigFox", "v3.0.2", nullptr, nullptr, nullptr, "00C0FFEE", "0123456789ABCDEF", 0, 0, 3600000},
    {4, "Pellimar 5D", "v4.1.0", "70B3D57ED0000B04", nullptr, "00000042", nullptr, nullptr, -20, 60, 1200000},
    {5, "LoRa OTAA 5D", "v5.0.3", "70B3D57ED0000A05", "0004A30B001C0A05", nullptr, nullptr, nullptr, 0, 0, 1800000},
    {6, "SigFox 5D", "v6.0.1", nullptr, nullptr, nullptr, "0012ABCD", "FEDCBA9876543210", 0, 0, 7200000},
};
// Any other type: a node whose communication the tool does not know.
const TypicalNode kUnknownNode
    = {0, "Unknown", "v0.9.0", "70B3D57ED0000F00", nullptr, nullptr, nullptr, nullptr, 0, 0, 0};

void setIfGiven(QString &field, const char *text)
{
    if (text)
        field = QString::fromLatin1(text);
}
} // namespace

SimNodeProfile SimNodeProfile::forType(int firmwareType)
{
    const TypicalNode *typical = &kUnknownNode;
    for (const TypicalNode &entry : kTypicalNodes) {
        if (entry.type == firmwareType)
            typical = &entry;
    }
    SimNodeProfile p;
    setIfGiven(p.communication, typical->communication);
    setIfGiven(p.nodeVersion, typical->nodeVersion);
    setIfGiven(p.devEui, typical->devEui);
    setIfGiven(p.appEui, typical->appEui);
    setIfGiven(p.netId, typical->netId);
    setIfGiven(p.sigfoxId, typical->sigfoxId);
    setIfGiven(p.sigfoxPac, typical->sigfoxPac);
    if (typical->temperatureLow != 0 || typical->temperatureHigh != 0) {
        p.temperatureLow = typical->temperatureLow;
        p.temperatureHigh = typical->temperatureHigh;
    }
    if (typical->reportRateMs != 0)
        p.reportRateMs = typical->reportRateMs;
    return p;
}

struct NodeSimulator::Private
{
    using Clock = std::chrono::steady_clock;

    // Guards everything below. The worker releases it only while it waits in poll() or calls the trace callback.
    mutable std::mutex mutex;
    // Serialises start(), stop() and hangUp(), which join the worker and so must not hold `mutex` meanwhile.
    std::mutex lifecycle;

    SimNodeProfile profile;
    std::map<QString, FaultEntry> faults;
    // Ciphers under the profile's key, made again when the profile names another key.
    QByteArray cipherKey;
    std::unique_ptr<ProtectedFieldCipher> encoder;
    std::unique_ptr<ProtectedFieldCipher> decoder;
    std::mt19937 random{0x5EEDu}; // fixed seed: a failing test sees the same garbage again

    // The file descriptors are closed only by the worker or after it was joined, never under a running poll().
    int masterFd = -1;
    int slaveFd = -1;
    int wakeFd = -1;
    QString linkPath;
    std::thread worker;
    std::thread::id workerId;
    bool running = false;
    bool stopRequested = false;
    bool hangUpRequested = false;
    bool sleeping = false;
    bool rebooting = false;

    bool epochSet = false;
    Clock::time_point epoch;
    QByteArray inputLine;
    bool inputOverflow = false;
    QVector<ByteEvent> byteEvents;
    QVector<LineEvent> lineEvents;

    std::deque<OutSegment> output;
    // Timed actions (late answers, reboot after reset), run by the worker under `mutex` when due.
    std::map<std::pair<qint64, quint64>, std::function<void()>> timed;
    quint64 timedSequence = 0;

    std::function<void(const QString &)> trace;
    QStringList pendingTrace;

    qint64 elapsedNs() const
    {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - epoch).count();
    }

    void wake()
    {
        if (wakeFd >= 0) {
            const uint64_t one = 1;
            [[maybe_unused]] const ssize_t n = ::write(wakeFd, &one, sizeof one);
        }
    }

    // Gives the worker something to do, under the lock, while it runs; a stopped node takes nothing.
    template <typename Work> void whileRunning(Work work)
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!running)
            return;
        work();
        wake();
    }

    void addTrace(const QString &text)
    {
        if (trace)
            pendingTrace.append(text);
    }

    QByteArray formatLine(const QString &text) const
    {
        QByteArray bytes;
        if (profile.colour)
            bytes += kColourOn;
        bytes += text.toUtf8();
        if (profile.colour)
            bytes += kColourOff;
        bytes += profile.crlf ? "\r\n" : "\r";
        return bytes;
    }

    void queueLine(const QString &text)
    {
        output.push_back({formatLine(text), 0});
        addTrace(QStringLiteral(">> ") + text);
    }

    void queueLines(const QStringList &lines)
    {
        for (const QString &line : lines)
            queueLine(line);
    }

    void queueRaw(const QByteArray &bytes)
    {
        if (!bytes.isEmpty())
            output.push_back({bytes, 0});
    }

    void schedule(qint64 delayMs, std::function<void()> action)
    {
        timed.emplace(std::make_pair(elapsedNs() + delayMs * 1000000, timedSequence++), std::move(action));
    }

    QStringList bannerLines() const
    {
        return {QStringLiteral("Tavonex      : ") + profile.nodeVersion,
            QStringLiteral("Ormix        : ") + profile.moduleVersion,
            QStringLiteral("Semtech LoRa : ") + profile.loraVersion};
    }

    void bootLocked()
    {
        // A restart forgets half-received input and answers that were still to come.
        sleeping = false;
        rebooting = false;
        inputLine.clear();
        inputOverflow = false;
        timed.clear();
        queueLine(QString::fromLatin1(kBootGreeting));
        queueLines(bannerLines());
        queueLine(QStringLiteral("VCOM started"));
    }

    const ProtectedFieldCipher &cipher(ProtectedFieldCipher::Direction direction)
    {
        const QByteArray key
            = profile.key.isEmpty() ? ProtectedFieldCipher::programKey() : QByteArray::fromHex(profile.key.toLatin1());
        if (!encoder || key != cipherKey) {
            encoder = std::make_unique<ProtectedFieldCipher>(ProtectedFieldCipher::Encrypt, key);
            decoder = std::make_unique<ProtectedFieldCipher>(ProtectedFieldCipher::Decrypt, key);
            cipherKey = key;
        }
        return direction == ProtectedFieldCipher::Encrypt ? *encoder : *decoder;
    }

    // Empty when the value cannot be encoded (so the node prints NULL for it).
    QString protectedField(const QString &valueHex, bool corrupt, bool spaced)
    {
        QString field = cipher(ProtectedFieldCipher::Encrypt).encodeProtected(valueHex).toUpper();
        if (field.isEmpty())
            return field;
        if (corrupt)
            field = flipOneBit(field);
        return spaced ? spacedPairs(field) : field;
    }

    QString flipOneBit(const QString &fieldHex)
    {
        QByteArray bytes = QByteArray::fromHex(fieldHex.toLatin1());
        if (bytes.isEmpty())
            return fieldHex;
        const int bit = int(random() % unsigned(bytes.size() * 8));
        bytes[bit / 8] = char(bytes.at(bit / 8) ^ (1 << (bit % 8)));
        return QString::fromLatin1(bytes.toHex()).toUpper();
    }

    QStringList configurationLines(bool corrupt)
    {
        QStringList lines{QStringLiteral("Communication: ") + profile.communication};
        if (!profile.configured) {
            lines << QStringLiteral("Device not configured");
            return lines;
        }
        const auto fieldLine = [&](const char *name, const QString &value) {
            const QString field = protectedField(value, corrupt, true);
            return QLatin1String(name) + QStringLiteral("= ") + (field.isEmpty() ? QStringLiteral("NULL") : field);
        };
        if (profile.communication.startsWith(QLatin1String("SigFox"))) {
            lines << QStringLiteral("SigFox ID   : ") + protectedField(profile.sigfoxId, corrupt, false)
                  << QStringLiteral("SigFox PAC  : ") + protectedField(profile.sigfoxPac, corrupt, false);
            return lines;
        }
        lines << fieldLine("DevEui", profile.devEui);
        // The network id only counts for the tool when it comes before the line that completes the answer.
        if (profile.communication.startsWith(QLatin1String("Pellimar")))
            lines << fieldLine("NetEui", profile.netId);
        lines << fieldLine("AppEui", profile.appEui) << fieldLine("AppKey", profile.appKey);
        return lines;
    }

    QStringList thresholdLines() const
    {
        const auto pair = [](const char *name, int low, int high) {
            return QStringLiteral("%1 : L %2 H %3").arg(QLatin1String(name)).arg(low).arg(high);
        };
        return {pair("Temperature", profile.temperatureLow, profile.temperatureHigh),
            pair("Humidity", profile.humidityLow, profile.humidityHigh),
            pair("Pressure", profile.pressureLow, profile.pressureHigh),
            QStringLiteral("Accelero : X %1 Y %2 Z %3 D %4")
                .arg(profile.accelX)
                .arg(profile.accelY)
                .arg(profile.accelZ)
                .arg(profile.accelD)};
    }

    QString writeAnswer(const QString &word, const QString &text, const QStringList &args, bool corrupt)
    {
        if (args.isEmpty())
            return QStringLiteral("FAILED missing value");
        if (word == QLatin1String("app") || word == QLatin1String("key") || word == QLatin1String("net")
            || word == QLatin1String("dev")) {
            QString field = args.first();
            if (corrupt)
                field = flipOneBit(field);
            const QString value
                = cipher(ProtectedFieldCipher::Decrypt).decodeProtected(field, protectedByteCount(word)).toUpper();
            if (args.size() != 1 || value.isEmpty())
                return QStringLiteral("FAILED bad field");
            if (word == QLatin1String("app")) {
                profile.appEui = value;
                return QStringLiteral("Set AppEui ok");
            }
            if (word == QLatin1String("key")) {
                profile.appKey = value;
                return QStringLiteral("Set AppKey ok");
            }
            if (word == QLatin1String("net")) {
                profile.netId = value;
                return QStringLiteral("Set NetEui ok");
            }
            profile.deviceId = value;
            return QStringLiteral("Set device id ok");
        }
        if (word == QLatin1String("sd")) {
            profile.sigfoxData = text.mid(word.size()).trimmed();
            return QStringLiteral("Set SigFox data ok");
        }
        if (word == QLatin1String("rr")) {
            bool ok = false;
            const qint64 ms = args.first().toLongLong(&ok);
            if (!ok || args.size() != 1)
                return QStringLiteral("FAILED bad number");
            profile.reportRateMs = ms;
            return QStringLiteral("Set report rate ok");
        }
        // tht, thh, thp, tha: two whole numbers
        if (args.size() != 2)
            return QStringLiteral("FAILED missing value");
        bool okFirst = false;
        bool okSecond = false;
        const int first = args.at(0).toInt(&okFirst);
        const int second = args.at(1).toInt(&okSecond);
        if (!okFirst || !okSecond)
            return QStringLiteral("FAILED bad number");
        if (word == QLatin1String("tht")) {
            profile.temperatureLow = first;
            profile.temperatureHigh = second;
            return QStringLiteral("Set temperature ok");
        }
        if (word == QLatin1String("thh")) {
            profile.humidityLow = first;
            profile.humidityHigh = second;
            return QStringLiteral("Set humidity ok");
        }
        if (word == QLatin1String("thp")) {
            profile.pressureLow = first;
            profile.pressureHigh = second;
            return QStringLiteral("Set pressure ok");
        }
        // tha: the second number is a fixed setting of the firmware and is only checked.
        profile.accelX = first;
        return QStringLiteral("Set accelero ok");
    }

    Answer answerFor(const QString &word, const QString &text, const QStringList &args, bool isWrite, bool corrupt)
    {
        Answer a;
        if (isWrite)
            a.lines << writeAnswer(word, text, args, corrupt);
        else if (word == QLatin1String("cfg"))
            a.lines = configurationLines(corrupt);
        else if (word == QLatin1String("th"))
            a.lines = thresholdLines();
        else if (word == QLatin1String("rr"))
            a.lines << QStringLiteral("Report rate : %1").arg(profile.reportRateMs);
        else if (word == QLatin1String("ver"))
            a.lines = bannerLines();
        else if (word == QLatin1String("s")) {
            a.lines << QStringLiteral("Terminal going to sleep");
            a.sleeps = true;
        } else if (word == QLatin1String("reset"))
            a.reboots = true;
        return a;
    }

    FaultEntry takeFault(const QString &key, bool isWrite)
    {
        auto it = faults.find(key);
        if (it == faults.end() && isWrite)
            it = faults.find(QStringLiteral("set:*"));
        if (it == faults.end())
            return {};
        const FaultEntry entry = it->second;
        if (it->second.count > 0 && --it->second.count == 0)
            faults.erase(it);
        return entry;
    }

    void queueGarbage()
    {
        static const char printable[] = "abcdefghijklmnopqrstuvwxyz0123456789#%&*~@!? ";
        // Never upper case, CR, LF or ESC, so no garbage line can look like an answer or a colour sequence.
        QByteArray bytes;
        const int lineCount = 2 + int(random() % 3);
        for (int i = 0; i < lineCount; ++i) {
            const int length = 8 + int(random() % 33);
            for (int j = 0; j < length; ++j) {
                if (i % 2 == 0 && random() % 3 == 0)
                    bytes += char(0x80 + random() % 0x80);
                else
                    bytes += printable[random() % (sizeof printable - 1)];
            }
            if (i == 0)
                bytes += "\xC3\x28\xFF\xFE"; // always some invalid UTF-8
            bytes += profile.crlf ? "\r\n" : "\r";
        }
        queueRaw(bytes);
        addTrace(QStringLiteral(">> [%1 bytes of garbage]").arg(bytes.size()));
    }

    void deliver(const Answer &answer) { queueLines(answer.lines); }

    void dispatch(const QString &line)
    {
        const QString text = line.trimmed();
        if (text.isEmpty())
            return; // the tool's wake-up carriage return
        const QStringList parts = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        const QString word = parts.first();
        const QStringList args = parts.mid(1);
        // "rr" alone reads the report rate; with a value it writes it.
        const bool isWrite = isWriteWord(word) && !(word == QLatin1String("rr") && args.isEmpty());
        if (!isWrite && (!isReadWord(word) || !args.isEmpty())) {
            static const QRegularExpression answerLike(QStringLiteral("Set\\s|FAILED\\s"));
            const QString echo = text.left(kMaxEchoChars);
            // The echo must never read as a write answer.
            queueLine(echo.contains(answerLike) ? QStringLiteral("Unknown command")
                                                : QStringLiteral("Unknown command: ") + echo);
            return;
        }
        const FaultEntry fault = takeFault(isWrite ? QStringLiteral("set:") + word : word, isWrite);
        switch (fault.fault) {
        case SimFault::Silent:
            addTrace(QStringLiteral(">> [silent]"));
            return;
        case SimFault::HangUp:
            addTrace(QStringLiteral(">> [hang-up]"));
            closeLine();
            return;
        case SimFault::Garbage:
            queueGarbage();
            return;
        case SimFault::Failed:
            queueLine(QStringLiteral("FAILED ")
                + (fault.argument.isEmpty() ? QString::fromLatin1(kDefaultFailReason) : fault.argument));
            return;
        default:
            break;
        }

        std::optional<SimNodeProfile> kept;
        if (fault.fault == SimFault::Ignored)
            kept = profile;
        const Answer answer = answerFor(word, text, args, isWrite, fault.fault == SimFault::CorruptField);
        if (kept)
            profile = *kept;
        if (answer.sleeps)
            sleeping = true;
        if (answer.reboots)
            rebooting = true;

        if (fault.fault == SimFault::Endless) {
            bool ok = false;
            qint64 bytes = fault.argument.toLongLong(&ok);
            if (!ok || bytes <= 0)
                bytes = kDefaultEndlessBytes;
            output.push_back({QByteArray(), bytes});
            addTrace(QStringLiteral(">> [%1 bytes without carriage return]").arg(bytes));
        }
        qint64 delayMs = 0;
        if (fault.fault == SimFault::Late) {
            bool ok = false;
            delayMs = fault.argument.toLongLong(&ok);
            if (!ok || delayMs < 0)
                delayMs = kDefaultLateMs;
        }
        if (answer.reboots) {
            schedule(delayMs + profile.rebootDelayMs, [this] { bootLocked(); });
        } else if (delayMs > 0) {
            schedule(delayMs, [this, answer] { deliver(answer); });
        } else {
            deliver(answer);
        }
    }

    void handleInput(const char *data, int length)
    {
        const qint64 now = elapsedNs();
        for (int i = 0; i < length && masterFd >= 0; ++i) {
            const char byte = data[i];
            byteEvents.append({now, byte});
            if (byte == '\n')
                continue; // not part of any command
            if (byte != '\r') {
                if (inputLine.size() < kMaxCommandBytes)
                    inputLine.append(byte);
                else
                    inputOverflow = true;
                continue;
            }
            const QString line = QString::fromUtf8(inputLine);
            const bool interpret = !sleeping && !rebooting && !inputOverflow;
            inputLine.clear();
            inputOverflow = false;
            lineEvents.append({now, line});
            addTrace(QStringLiteral("<< ") + line);
            if (interpret)
                dispatch(line);
        }
    }

    void readInput()
    {
        char buffer[kReadChunkBytes];
        while (masterFd >= 0) {
            const ssize_t n = ::read(masterFd, buffer, sizeof buffer);
            if (n <= 0)
                return;
            handleInput(buffer, int(n));
        }
    }

    void writeOutput()
    {
        static const QByteArray filler = [] {
            QByteArray f;
            while (f.size() < kEndlessChunkBytes)
                f += kEndlessFiller;
            return f.left(kEndlessChunkBytes);
        }();
        while (masterFd >= 0 && !output.empty()) {
            OutSegment &segment = output.front();
            ssize_t n;
            if (segment.endlessBytes > 0) {
                n = ::write(masterFd, filler.constData(), size_t(qMin<qint64>(segment.endlessBytes, filler.size())));
                if (n > 0)
                    segment.endlessBytes -= n;
                if (segment.endlessBytes == 0)
                    output.pop_front();
            } else {
                n = ::write(masterFd, segment.bytes.constData(), size_t(segment.bytes.size()));
                if (n > 0)
                    segment.bytes.remove(0, int(n));
                if (segment.bytes.isEmpty())
                    output.pop_front();
            }
            if (n <= 0)
                return; // the tool's side is full: poll() says when it can take more
        }
    }

    // Unplugs the node: the tool's open port sees a hang-up and the published path disappears.
    void closeLine()
    {
        closeFd(masterFd);
        closeFd(slaveFd);
        closeFd(wakeFd);
        if (!linkPath.isEmpty() && QFileInfo(linkPath).isSymLink())
            QFile::remove(linkPath);
        running = false;
        output.clear();
        timed.clear();
    }

    void flushTrace(std::unique_lock<std::mutex> &lock)
    {
        if (pendingTrace.isEmpty())
            return;
        const QStringList texts = pendingTrace;
        pendingTrace.clear();
        const auto callback = trace;
        lock.unlock();
        if (callback) {
            for (const QString &text : texts)
                callback(text);
        }
        lock.lock();
    }

    void run()
    {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            if (stopRequested)
                break;
            if (hangUpRequested) {
                closeLine();
                break;
            }
            // Timed actions that are due, oldest first; an action may add or clear entries.
            while (!timed.empty() && timed.begin()->first.first <= elapsedNs() && masterFd >= 0) {
                const auto action = timed.begin()->second;
                timed.erase(timed.begin());
                action();
            }
            if (masterFd < 0)
                break;
            writeOutput();
            flushTrace(lock);
            if (stopRequested || hangUpRequested || masterFd < 0)
                continue;

            int timeoutMs = kIdlePollMs;
            if (!timed.empty()) {
                const qint64 dueInNs = timed.begin()->first.first - elapsedNs();
                timeoutMs = int(qBound<qint64>(0, (dueInNs + 999999) / 1000000, kIdlePollMs));
            }
            pollfd fds[2] = {{masterFd, short(POLLIN | (output.empty() ? 0 : POLLOUT)), 0}, {wakeFd, POLLIN, 0}};
            lock.unlock();
            const int ready = ::poll(fds, 2, timeoutMs);
            lock.lock();
            if (ready <= 0)
                continue;
            if (fds[1].revents & POLLIN) {
                uint64_t count = 0;
                [[maybe_unused]] const ssize_t n = ::read(wakeFd, &count, sizeof count);
            }
            if (stopRequested || hangUpRequested)
                continue;
            if (fds[0].revents & POLLIN)
                readInput();
            if (fds[0].revents & POLLNVAL)
                break;
        }
        flushTrace(lock);
    }

    void joinWorker()
    {
        if (worker.joinable() && std::this_thread::get_id() != worker.get_id())
            worker.join();
    }
};

NodeSimulator::NodeSimulator(const SimNodeProfile &profile)
    : d(new Private)
{
    d->profile = profile;
}

NodeSimulator::~NodeSimulator()
{
    stop();
}

bool NodeSimulator::start(const QString &linkPath, QString *error)
{
    const auto fail = [error](const QString &message) {
        if (error)
            *error = message;
        return false;
    };
    std::lock_guard<std::mutex> life(d->lifecycle);
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        if (d->running)
            return fail(QStringLiteral("the simulator is already running at %1").arg(d->linkPath));
    }
    d->joinWorker(); // a worker that hung up on its own has ended or is about to
    std::unique_lock<std::mutex> lock(d->mutex);
    if (linkPath.isEmpty())
        return fail(QStringLiteral("no link path given"));

    int master = -1;
    int slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
        return fail(QStringLiteral("openpty failed: %1").arg(QString::fromLocal8Bit(strerror(errno))));
    const auto failClosing = [&](const QString &message) {
        closeFd(master);
        closeFd(slave);
        return fail(message);
    };
    termios attributes{};
    if (::tcgetattr(slave, &attributes) != 0)
        return failClosing(QStringLiteral("tcgetattr failed"));
    ::cfmakeraw(&attributes);
    ::cfsetspeed(&attributes, B115200);
    if (::tcsetattr(slave, TCSANOW, &attributes) != 0)
        return failClosing(QStringLiteral("tcsetattr failed"));
    if (!setFlags(master, true) || !setFlags(slave, false))
        return failClosing(QStringLiteral("fcntl failed"));
    char name[128] = {};
    if (::ptsname_r(master, name, sizeof name) != 0)
        return failClosing(QStringLiteral("ptsname failed"));

    const QFileInfo existing(linkPath);
    if (existing.isSymLink()) {
        QFile::remove(linkPath); // left behind by an earlier run
    } else if (existing.exists()) {
        return failClosing(QStringLiteral("%1 exists and is not a symbolic link").arg(linkPath));
    }
    if (::symlink(name, QFile::encodeName(linkPath).constData()) != 0)
        return failClosing(
            QStringLiteral("cannot create %1: %2").arg(linkPath, QString::fromLocal8Bit(strerror(errno))));

    const int wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wake < 0) {
        QFile::remove(linkPath);
        return failClosing(QStringLiteral("eventfd failed"));
    }

    if (!d->epochSet) {
        d->epoch = Private::Clock::now();
        d->epochSet = true;
    }
    d->masterFd = master;
    d->slaveFd = slave;
    d->wakeFd = wake;
    d->linkPath = linkPath;
    d->running = true;
    d->stopRequested = false;
    d->hangUpRequested = false;
    d->sleeping = false;
    d->rebooting = false;
    d->inputLine.clear();
    d->inputOverflow = false;
    d->output.clear();
    d->timed.clear();
    d->worker = std::thread([p = d.get()] { p->run(); });
    return true;
}

void NodeSimulator::stop()
{
    std::lock_guard<std::mutex> life(d->lifecycle);
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        d->stopRequested = true;
        d->wake();
        if (d->worker.joinable() && std::this_thread::get_id() == d->worker.get_id())
            return; // called from the trace callback: the worker ends by itself
    }
    d->joinWorker();
    std::lock_guard<std::mutex> lock(d->mutex);
    if (d->masterFd >= 0 || d->slaveFd >= 0 || d->wakeFd >= 0)
        d->closeLine();
    d->running = false;
}

bool NodeSimulator::isRunning() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->running;
}

QString NodeSimulator::linkPath() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->linkPath;
}

void NodeSimulator::boot()
{
    d->whileRunning([this] { d->bootLocked(); });
}

void NodeSimulator::sendLine(const QString &line)
{
    d->whileRunning([this, &line] { d->queueLine(line); });
}

void NodeSimulator::sendRaw(const QByteArray &bytes)
{
    d->whileRunning([this, &bytes] { d->queueRaw(bytes); });
}

void NodeSimulator::hangUp()
{
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        if (!d->running)
            return;
        d->hangUpRequested = true;
        d->wake();
        if (std::this_thread::get_id() == d->worker.get_id())
            return; // from the trace callback: the worker closes the line after it
    }
    std::lock_guard<std::mutex> life(d->lifecycle);
    d->joinWorker();
}

void NodeSimulator::setFault(const QString &key, SimFault fault, int count, const QString &argument)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    if (fault == SimFault::None || count == 0)
        d->faults.erase(key);
    else
        d->faults[key] = {fault, count, argument};
}

void NodeSimulator::clearFaults()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->faults.clear();
}

SimNodeProfile NodeSimulator::profile() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->profile;
}

void NodeSimulator::setProfile(const SimNodeProfile &profile)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->profile = profile;
}

bool NodeSimulator::isSleeping() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->sleeping;
}

void NodeSimulator::setTraceCallback(std::function<void(const QString &)> callback)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->trace = std::move(callback);
}

QByteArray NodeSimulator::receivedBytes() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    QByteArray bytes;
    bytes.reserve(d->byteEvents.size());
    for (const ByteEvent &event : d->byteEvents)
        bytes.append(event.byte);
    return bytes;
}

QVector<NodeSimulator::ByteEvent> NodeSimulator::receivedEvents() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->byteEvents;
}

QVector<NodeSimulator::LineEvent> NodeSimulator::receivedLineEvents() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->lineEvents;
}

QStringList NodeSimulator::receivedLines() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    QStringList lines;
    for (const LineEvent &event : d->lineEvents)
        lines.append(event.line);
    return lines;
}

void NodeSimulator::clearReceived()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->byteEvents.clear();
    d->lineEvents.clear();
}

bool NodeSimulator::waitForLine(const QString &line, int timeoutMs, int times) const
{
    const auto deadline = Private::Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(d->mutex);
            int seen = 0;
            for (const LineEvent &event : d->lineEvents) {
                if (event.line == line)
                    ++seen;
            }
            if (seen >= times)
                return true;
        }
        if (Private::Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}
