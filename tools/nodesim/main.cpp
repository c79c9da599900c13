// nodesim: plays one lock sensor node on a pseudo-terminal, for working on the tool without hardware.
#include "commandlineoptions.h"
#include "nodesimulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QRegularExpression>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <memory>
#include <unistd.h>
#include <utility>

namespace {
int signalPipe[2] = {-1, -1};

void forwardSignal(int signalNumber)
{
    const char code = char(signalNumber);
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &code, 1);
}

void print(const QString &text)
{
    std::printf("%s\n", qPrintable(text));
    std::fflush(stdout);
}

bool isHex(const QString &text, int minDigits, int maxDigits)
{
    static const QRegularExpression hex(QStringLiteral("^[0-9A-Fa-f]*$"));
    return text.size() >= minDigits && text.size() <= maxDigits && hex.match(text).hasMatch();
}

// "LOW,HIGH" (or more numbers for the accelerometer) into whole numbers.
bool parseNumbers(const QString &text, int expected, QVector<int> *numbers)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != expected)
        return false;
    numbers->clear();
    for (const QString &part : parts) {
        bool ok = false;
        numbers->append(part.trimmed().toInt(&ok));
        if (!ok)
            return false;
    }
    return true;
}

// "KEY=MODE" of the --fault option; the fault then applies to every such command.
bool parseFault(const QString &text, QString *key, SimFault *fault)
{
    static const std::pair<const char *, SimFault> modes[]
        = {{"silent", SimFault::Silent}, {"failed", SimFault::Failed}, {"late", SimFault::Late},
            {"garbage", SimFault::Garbage}, {"corrupt-field", SimFault::CorruptField}, {"endless", SimFault::Endless},
            {"hang-up", SimFault::HangUp}, {"ignored", SimFault::Ignored}};
    const int equals = text.indexOf(QLatin1Char('='));
    if (equals <= 0)
        return false;
    *key = text.left(equals);
    const QString mode = text.mid(equals + 1).toLower();
    for (const auto &entry : modes) {
        if (mode == QLatin1String(entry.first)) {
            *fault = entry.second;
            return true;
        }
    }
    return false;
}

// The identifier options: the help text and the check of a value both come from the digit counts here.
struct HexOption
{
    const char *name;
    const char *label;
    QString SimNodeProfile::*field;
    int minDigits;
    int maxDigits;
    bool mayBeEmpty; // an empty AppEui or AppKey is printed as NULL
};
const HexOption kHexOptions[] = {
    {"deveui", "DevEui", &SimNodeProfile::devEui, 16, 16, false},
    {"appeui", "AppEui", &SimNodeProfile::appEui, 16, 16, true},
    {"appkey", "AppKey", &SimNodeProfile::appKey, 32, 32, true},
    {"netid", "Network id", &SimNodeProfile::netId, 8, 8, false},
    {"sigfox-id", "SigFox ID", &SimNodeProfile::sigfoxId, 1, 8, false},
    {"pac", "SigFox PAC", &SimNodeProfile::sigfoxPac, 16, 16, false},
};

// "16" or "up to 8", as the help and the usage errors say it.
QString digitCount(const HexOption &option)
{
    return option.minDigits == option.maxDigits ? QString::number(option.maxDigits)
                                                : QStringLiteral("up to %1").arg(option.maxDigits);
}

// The threshold options take as many comma-separated numbers as they have fields.
struct ThresholdOption
{
    const char *name;
    const char *help;
    const char *valueName;
    QVector<int SimNodeProfile::*> fields;
};
const ThresholdOption kThresholdOptions[] = {
    {"temperature", "Temperature thresholds.", "low,high",
        {&SimNodeProfile::temperatureLow, &SimNodeProfile::temperatureHigh}},
    {"humidity", "Humidity thresholds.", "low,high", {&SimNodeProfile::humidityLow, &SimNodeProfile::humidityHigh}},
    {"pressure", "Pressure thresholds in hundredths.", "low,high",
        {&SimNodeProfile::pressureLow, &SimNodeProfile::pressureHigh}},
    {"accel", "Accelerometer settings in hundredths.", "x,y,z,d",
        {&SimNodeProfile::accelX, &SimNodeProfile::accelY, &SimNodeProfile::accelZ, &SimNodeProfile::accelD}},
};

int typeNumber(const QString &name)
{
    static const QStringList names
        = {QStringLiteral("unknown"), QStringLiteral("pellimar"), QStringLiteral("lorawan"), QStringLiteral("sigfox"),
            QStringLiteral("pellimar5d"), QStringLiteral("lorawan5d"), QStringLiteral("sigfox5d")};
    return names.indexOf(name.toLower());
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("nodesim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Plays one Tessaline lock sensor node on a pseudo-terminal, published as a symbolic link that the\n"
        "commission tool opens like a serial port. Press Enter (or send SIGUSR1) to reboot the node; type u and\n"
        "Enter (or send SIGUSR2) to unplug it (the link goes) or plug it in again (a new link at the same path)."));
    parser.addHelpOption();
    addOptionRows(parser,
        {
            {"type",
                "Node type: pellimar, lorawan, sigfox, pellimar5d, lorawan5d, sigfox5d, unknown or unconfigured "
                "(default %1).",
                "type", QStringLiteral("lorawan")},
            {"link", "Path of the link to the node's serial line (default %1).", "path",
                QStringLiteral("/tmp/ttyNODE")},
        });
    for (const HexOption &option : kHexOptions) {
        parser.addOption(QCommandLineOption(QLatin1String(option.name),
            QStringLiteral("%1, %2 hex digits%3.")
                .arg(QLatin1String(option.label), digitCount(option),
                    option.mayBeEmpty ? QStringLiteral(" (empty: the node prints NULL)") : QString()),
            QStringLiteral("hex")));
    }
    addOptionRows(parser,
        {
            {"key", "Encipher protected fields under this key, 32 hex digits (default: the tool's key).", "hex"},
            {"report-rate", "Report rate in milliseconds.", "ms"},
        });
    for (const ThresholdOption &option : kThresholdOptions) {
        parser.addOption(QCommandLineOption(
            QLatin1String(option.name), QLatin1String(option.help), QLatin1String(option.valueName)));
    }
    addOptionRows(parser,
        {
            {"colour", "Wrap every printed line in terminal colour sequences."},
            {"crlf", "End printed lines with CR LF."},
            {"boot", "Boot the node once right away."},
            {"fault",
                "Fault for a command, repeatable: KEY=MODE with KEY cfg, th, rr, ver, s, reset, set:app, set:tht, "
                "... or set:* and MODE silent, failed, late, garbage, corrupt-field, endless, hang-up or ignored "
                "(answers \"Set\" but keeps the old value).",
                "key=mode"},
        });
    parser.process(app);

    const auto usageError = [](const QString &message) {
        std::fprintf(stderr, "nodesim: %s\n", qPrintable(message));
        return 2;
    };

    const QString typeName = parser.value(QStringLiteral("type")).toLower();
    SimNodeProfile profile;
    if (typeName == QLatin1String("unconfigured")) {
        profile = SimNodeProfile::forType(1);
        profile.configured = false;
    } else {
        const int type = typeNumber(typeName);
        if (type < 0)
            return usageError(QStringLiteral("unknown node type '%1'").arg(typeName));
        profile = SimNodeProfile::forType(type);
    }

    for (const HexOption &id : kHexOptions) {
        if (!parser.isSet(QLatin1String(id.name)))
            continue;
        const QString value = parser.value(QLatin1String(id.name));
        if (!(id.mayBeEmpty && value.isEmpty()) && !isHex(value, id.minDigits, id.maxDigits))
            return usageError(QStringLiteral("--%1 wants %2 hex digits").arg(QLatin1String(id.name), digitCount(id)));
        profile.*id.field = value.toUpper();
    }
    // The node encodes the SigFox ID as four bytes.
    profile.sigfoxId = profile.sigfoxId.rightJustified(8, QLatin1Char('0'));

    if (parser.isSet(QStringLiteral("key"))) {
        if (!isHex(parser.value(QStringLiteral("key")), 32, 32))
            return usageError(QStringLiteral("--key wants 32 hex digits"));
        profile.key = parser.value(QStringLiteral("key")).toUpper();
    }

    if (parser.isSet(QStringLiteral("report-rate"))) {
        bool ok = false;
        profile.reportRateMs = parser.value(QStringLiteral("report-rate")).toLongLong(&ok);
        if (!ok)
            return usageError(QStringLiteral("--report-rate wants a whole number of milliseconds"));
    }
    QVector<int> numbers;
    for (const ThresholdOption &threshold : kThresholdOptions) {
        if (!parser.isSet(QLatin1String(threshold.name)))
            continue;
        if (!parseNumbers(parser.value(QLatin1String(threshold.name)), threshold.fields.size(), &numbers))
            return usageError(QStringLiteral("--%1 wants %2 whole numbers separated by commas")
                                  .arg(QLatin1String(threshold.name))
                                  .arg(threshold.fields.size()));
        for (int i = 0; i < numbers.size(); ++i)
            profile.*threshold.fields[i] = numbers[i];
    }
    profile.colour = parser.isSet(QStringLiteral("colour"));
    profile.crlf = parser.isSet(QStringLiteral("crlf"));

    NodeSimulator simulator(profile);
    for (const QString &text : parser.values(QStringLiteral("fault"))) {
        QString key;
        SimFault fault = SimFault::None;
        if (!parseFault(text, &key, &fault))
            return usageError(QStringLiteral("--fault wants KEY=MODE, not '%1'").arg(text));
        simulator.setFault(key, fault);
    }
    simulator.setTraceCallback(print);
    QString error;
    const QString linkPath = parser.value(QStringLiteral("link"));
    if (!simulator.start(linkPath, &error)) {
        std::fprintf(stderr, "nodesim: %s\n", qPrintable(error));
        return 1;
    }
    print(QStringLiteral("nodesim: %1 node (%2) on %3")
              .arg(profile.communication,
                  profile.configured ? QStringLiteral("configured") : QStringLiteral("not configured"), linkPath));

    // Signals arrive through a pipe so that the event loop, not the handler, reboots or stops the node.
    if (::pipe(signalPipe) != 0) {
        std::fprintf(stderr, "nodesim: cannot create the signal pipe\n");
        return 1;
    }
    struct sigaction action = {};
    action.sa_handler = forwardSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (int signalNumber : {SIGINT, SIGTERM, SIGUSR1, SIGUSR2})
        ::sigaction(signalNumber, &action, nullptr);

    const auto reboot = [&simulator] {
        if (!simulator.isRunning())
            return; // unplugged: nothing to reboot
        print(QStringLiteral("-- reboot"));
        simulator.boot();
    };
    // Unplugging removes the pseudo-terminal and its link, as a USB adapter pulled out takes its device node
    // with it; plugging in again makes a new one at the same path and powers the node up.
    const auto unplugOrReplug = [&simulator, &linkPath] {
        if (simulator.isRunning()) {
            simulator.hangUp();
            print(QStringLiteral("-- unplugged, %1 removed").arg(linkPath));
            return;
        }
        QString replugError;
        if (!simulator.start(linkPath, &replugError)) {
            std::fprintf(stderr, "nodesim: cannot plug the node in again: %s\n", qPrintable(replugError));
            return;
        }
        print(QStringLiteral("-- plugged in again on %1").arg(linkPath));
        simulator.boot();
    };
    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, [&] {
        char code = 0;
        if (::read(signalPipe[0], &code, 1) != 1)
            return;
        if (code == SIGUSR1)
            reboot();
        else if (code == SIGUSR2)
            unplugOrReplug();
        else
            QCoreApplication::quit();
    });

    // Enter on the simulator's own terminal reboots the node. Without a terminal (scripts, CI) stdin is ignored.
    std::unique_ptr<QSocketNotifier> stdinNotifier;
    bool pendingUnplug = false;
    if (::isatty(STDIN_FILENO)) {
        print(QStringLiteral("nodesim: press Enter to reboot the node, u and Enter to unplug or plug it in again, "
                             "Ctrl+C to stop"));
        stdinNotifier.reset(new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read));
        QObject::connect(stdinNotifier.get(), &QSocketNotifier::activated, [&] {
            char buffer[256];
            const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (n <= 0) {
                stdinNotifier->setEnabled(false); // end of input: keep running until a signal stops us
                return;
            }
            // Each line is a command: empty reboots, "u" unplugs or plugs in again.
            for (ssize_t i = 0; i < n; ++i) {
                if (buffer[i] == 'u' || buffer[i] == 'U') {
                    pendingUnplug = true;
                } else if (buffer[i] == '\n') {
                    if (std::exchange(pendingUnplug, false))
                        unplugOrReplug();
                    else
                        reboot();
                }
            }
        });
    }

    if (parser.isSet(QStringLiteral("boot")))
        simulator.boot();

    const int result = app.exec();
    simulator.stop();
    print(QStringLiteral("nodesim: stopped, %1 removed").arg(linkPath));
    return result;
}
