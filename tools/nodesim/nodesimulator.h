#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>
#include <memory>

// What the simulated node knows about itself. Writes from the tool change it, so a re-read after a reset shows
// the new values. Identifier fields are upper-case hex text without separators.
struct SimNodeProfile
{
    QString communication = QStringLiteral("LoRa OTAA"); // printed after "Communication: "
    bool configured = true; // false: "Device not configured" instead of identifiers
    QString nodeVersion = QStringLiteral("v2.4.1"); // "Tavonex   : " line
    QString moduleVersion = QStringLiteral("1.4"); // "Ormix     : " line
    QString loraVersion = QStringLiteral("4.2.1"); // "Semtech LoRa : " line
    QString devEui = QStringLiteral("70B3D57ED0000A01");
    QString appEui = QStringLiteral("0004A30B001C0A00"); // empty: "AppEui= NULL"
    QString appKey = QStringLiteral("2B7E151628AED2A6ABF7158809CF4F3C"); // empty: "AppKey= NULL"
    QString netId = QStringLiteral("00000013"); // Pellimar nodes only print it
    QString sigfoxId = QStringLiteral("00C0FFEE"); // 8 hex digits
    QString sigfoxPac = QStringLiteral("0123456789ABCDEF");
    int temperatureLow = -10, temperatureHigh = 50;
    int humidityLow = 10, humidityHigh = 90;
    int pressureLow = 250, pressureHigh = 1234; // hundredths of a bar
    int accelX = 150, accelY = 0, accelZ = 0, accelD = 128;
    qint64 reportRateMs = 900000;
    QString deviceId; // last device id written with "dev " (decoded, upper case)
    QString sigfoxData; // last data written with "sd " (as received)
    bool colour = false; // wrap every printed line in colour sequences
    bool crlf = false; // end printed lines with CR LF instead of CR
    int rebootDelayMs = 100; // time between "reset" and the banner
    QString key; // 32 hex digits: protected fields under this key, as a node keyed differently (empty: the tool's)

    // A typical node of the given firmware type (1..6; 0 gives a node whose communication is "Unknown").
    static SimNodeProfile forType(int firmwareType);
};

// Fault modes, selected per command key (see NodeSimulator::setFault).
enum class SimFault {
    None,
    Silent, // no answer at all
    Failed, // write lines: "FAILED " + argument (default reason "value out of range")
    Late, // answer after argument milliseconds (default 6000)
    Garbage, // random bytes and nonsense lines instead of the answer
    CorruptField, // protected fields with one flipped bit; on a write line, as if it arrived damaged
    Endless, // argument bytes (default 1 MiB) of text without any carriage return, then the answer
    HangUp, // close the line (the device side disappears) instead of answering
    Ignored, // write lines: answer "Set ..." as usual but keep the old value
};

// A simulated sensor node on a pseudo-terminal. start() opens a raw pty pair and publishes the slave under a
// path of the caller's choice (a symlink) that QSerialPort opens like any port. A thread of its own answers
// the tool's commands, so the simulator keeps answering while the caller's thread blocks. Every public
// method is thread-safe.
class NodeSimulator
{
public:
    struct ByteEvent
    {
        qint64 nsecs; // monotonic time of arrival, nanoseconds since the first start()
        char byte;
    };
    struct LineEvent
    {
        qint64 nsecs; // arrival time of the line's carriage return
        QString line; // without the carriage return
    };

    // What the node prints while the tool's port is closed waits in the line and reaches the tool when it
    // opens the port (QSerialPort does not discard it). Open the port before boot() for a clean start.
    explicit NodeSimulator(const SimNodeProfile &profile = SimNodeProfile());
    ~NodeSimulator(); // stop()

    bool start(const QString &linkPath, QString *error = nullptr);
    void stop();
    bool isRunning() const;
    QString linkPath() const;

    // Power-up or reset: the three banner lines and "VCOM started".
    void boot();
    // Prints one line (with the profile's colour and line-end settings) or raw bytes.
    void sendLine(const QString &line);
    void sendRaw(const QByteArray &bytes);
    // Closes the device side now, as an unplugged node would; start() again to plug it back in.
    void hangUp();

    // Keys: read commands "cfg", "th", "rr", "ver", "s", "reset"; write lines "set:app", "set:key", "set:net",
    // "set:dev", "set:tht", "set:thh", "set:thp", "set:tha", "set:rr", "set:sd", or "set:*" for all writes.
    // count: how many times the fault applies before the node behaves again (-1: always).
    void setFault(const QString &key, SimFault fault, int count = -1, const QString &argument = QString());
    void clearFaults();

    SimNodeProfile profile() const;
    void setProfile(const SimNodeProfile &profile);
    // True after "s" until the next boot() or start().
    bool isSleeping() const;

    // Called on the simulator's thread, without its lock held, with one text per received line ("<< cfg") and
    // per answer line (">> Set AppEui ok"); the command-line tool prints them.
    void setTraceCallback(std::function<void(const QString &)> callback);

    QByteArray receivedBytes() const;
    QVector<ByteEvent> receivedEvents() const;
    QVector<LineEvent> receivedLineEvents() const;
    QStringList receivedLines() const;
    void clearReceived();
    // Polls (without an event loop) until `line` has been received `times` times in all, or the time is up.
    bool waitForLine(const QString &line, int timeoutMs, int times = 1) const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};
