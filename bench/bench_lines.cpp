// How fast the tool takes a flood of node output apart, against the serial line's own rate (115200 baud, ten
// bits a byte: 11.52 kB/s), and whether memory stays flat meanwhile:
//  - line assembly alone, on node lines (colour codes included) and on noise without a carriage return, fed in
//    reads of the size a serial port hands over;
//  - the whole link on a pseudo-terminal: the simulated node floods it with lines the link does not expect,
//    then boots; the figure runs until the link has seen the banner behind the flood.

#include "lineassembler.h"
#include "memoryprobe.h"
#include "nodeinterface.h"
#include "quietlog.h"
#include "simulatedport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>

namespace {

constexpr double kLineRateBytesPerSecond = 115200.0 / 10.0;
constexpr double kTargetFactor = 100.0;
constexpr qint64 kAssemblyFloodBytes = 256LL * 1024 * 1024;
constexpr qint64 kLinkFloodBytes = 32LL * 1024 * 1024;
constexpr int kReadBytes = 4096;
constexpr int kLinkLimitMs = 120000;

// What a chatty node prints: its configuration dump and readings, some in colour, ended by CR LF.
QByteArray nodeChatter()
{
    return QByteArrayLiteral("\x1b[33mCommunication: LoRa OTAA\x1b[0m\r\n"
                             "DevEui= 2D 1F BD A7 0D CA 41 1B 97 CF 08 14 37 F8 73 F3 3A A6\r\n"
                             "Temperature : L -10 H 50\r\n"
                             "Battery 3.31 V, RSSI -71 dBm, SNR 7.5\r\n"
                             "\x1b[1mReport rate : 900000\x1b[0m\r\n");
}

void report(const char *what, qint64 bytes, qint64 nsecs, const char *memory)
{
    const double bytesPerSecond = double(bytes) / (double(nsecs) / 1e9);
    std::printf("lines: %s: %.1f MB/s = %.0fx the line rate (target >= %.0fx)%s\n", what, bytesPerSecond / 1e6,
        bytesPerSecond / kLineRateBytesPerSecond, kTargetFactor, memory);
    std::fflush(stdout);
}

void assemble(const char *what, const QByteArray &pattern)
{
    QByteArray read;
    while (read.size() < kReadBytes)
        read += pattern;
    read.truncate(kReadBytes);
    const qint64 reads = kAssemblyFloodBytes / kReadBytes;

    LineAssembler assembler;
    qint64 lines = 0;
    const qint64 residentBefore = MemoryProbe::residentKiB();
    MemoryProbe::resetPeakResident();
    QElapsedTimer timer;
    timer.start();
    for (qint64 i = 0; i < reads; ++i)
        lines += assembler.feed(read).size();
    const qint64 nsecs = timer.nsecsElapsed();
    const qint64 growthKiB = MemoryProbe::peakResidentKiB() - residentBefore;
    const QByteArray memory = QStringLiteral("; %1 lines, peak resident +%2 KiB over %3 MiB")
                                  .arg(lines)
                                  .arg(growthKiB)
                                  .arg(kAssemblyFloodBytes / 1024 / 1024)
                                  .toLatin1();
    report(what, reads * kReadBytes, nsecs, memory.constData());
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    installQuietLog();

    assemble("line assembly of node lines", nodeChatter());
    assemble("line assembly of noise without a carriage return", QByteArrayLiteral("0123456789abcdef"));

    SimulatedPort node;
    if (!node.start()) {
        std::fprintf(stderr, "bench_lines: cannot start the simulator: %s\n", qPrintable(node.errorString()));
        return 1;
    }
    NodeInterface link;
    bool opened = false;
    bool busy = false;
    QObject::connect(&link, &NodeInterface::serialPortOpened, [&] { opened = true; });
    QObject::connect(&link, &NodeInterface::busy, [&](bool on) { busy = busy || on; });
    link.connectSerialPort(node.path());
    auto spin = [&](const bool &flag) {
        QElapsedTimer waited;
        waited.start();
        while (!flag && waited.elapsed() < kLinkLimitMs) {
            QEventLoop loop;
            QTimer::singleShot(1, &loop, &QEventLoop::quit);
            loop.exec();
        }
        return flag;
    };
    if (!spin(opened)) {
        std::fprintf(stderr, "bench_lines: the link did not open the port\n");
        return 1;
    }

    QByteArray flood;
    while (flood.size() < kLinkFloodBytes)
        flood += nodeChatter();
    QElapsedTimer timer;
    timer.start();
    node->sendRaw(flood);
    node->boot();
    if (!spin(busy)) {
        std::fprintf(stderr, "bench_lines: the link never saw the banner behind the flood\n");
        return 1;
    }
    report("the link on a pseudo-terminal flooded with node lines", flood.size(), timer.nsecsElapsed(), "");
    return 0;
}
