// Writes the seed corpora of the fuzz targets from real traffic: what the node simulator prints in answer to
// each command, for every kind of node and for its faults, and what the local registration server answers to
// logins. The output is committed under tests/fuzz/corpus/; run this again when the node's output changes:
//   IOT_BIN_DIR=build/bin build/fuzz/bin/fuzz_seedcorpus tests/fuzz/corpus

#include "loginrequest.h"
#include "node.h"
#include "nodesimulator.h"
#include "protectedfieldcipher.h"
#include "testserverprocess.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <cstdio>

namespace {

// The node has answered once it has said nothing more for this long.
constexpr int kQuietMs = 400;
constexpr int kLongestAnswerMs = 3000;

QString g_corpus;
int g_written = 0;

bool writeSeed(const QString &target, const QString &name, const QByteArray &content)
{
    const QString dir = g_corpus + QLatin1Char('/') + target;
    QDir().mkpath(dir);
    QFile file(dir + QLatin1Char('/') + name);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file.fileName()));
        return false;
    }
    ++g_written;
    return true;
}

// One simulated node on a pseudo-terminal, and the port the tool would open on it.
class Bench
{
public:
    explicit Bench(const SimNodeProfile &profile)
        : sim(profile)
    {
        ok = dir.isValid() && sim.start(dir.filePath(QStringLiteral("node")));
        if (!ok)
            return;
        port.setPortName(sim.linkPath());
        port.setBaudRate(QSerialPort::Baud115200);
        ok = port.open(QIODevice::ReadWrite);
    }

    // Everything the node prints after `command` (nothing is sent for an empty one) until it falls quiet.
    QByteArray exchange(const QByteArray &command)
    {
        if (!command.isEmpty()) {
            port.write(command);
            port.waitForBytesWritten(1000);
        }
        QByteArray answer;
        QElapsedTimer total;
        total.start();
        while (total.elapsed() < kLongestAnswerMs && port.waitForReadyRead(kQuietMs))
            answer += port.readAll();
        return answer;
    }

    QTemporaryDir dir;
    NodeSimulator sim;
    QSerialPort port;
    bool ok = false;
};

struct NamedProfile
{
    QString name;
    SimNodeProfile profile;
};

QVector<NamedProfile> profiles()
{
    QVector<NamedProfile> list;
    const char *names[] = {"unknown", "pellimar", "loraotaa", "sigfox", "pellimar5d", "loraotaa5d", "sigfox5d"};
    for (int type = 0; type <= 6; ++type)
        list.append({QString::fromLatin1(names[type]), SimNodeProfile::forType(type)});
    NamedProfile unconfigured{QStringLiteral("unconfigured"), SimNodeProfile::forType(2)};
    unconfigured.profile.configured = false;
    list.append(unconfigured);
    NamedProfile nullIds{QStringLiteral("nullids"), SimNodeProfile::forType(2)};
    nullIds.profile.appEui.clear();
    nullIds.profile.appKey.clear();
    list.append(nullIds);
    NamedProfile dressed{QStringLiteral("colour-crlf"), SimNodeProfile::forType(1)};
    dressed.profile.colour = true;
    dressed.profile.crlf = true;
    list.append(dressed);
    // A node flashed with another key: good frames around the wrong plaintext.
    NamedProfile otherKey{QStringLiteral("otherkey"), SimNodeProfile::forType(1)};
    otherKey.profile.key = QStringLiteral("000102030405060708090A0B0C0D0E0F");
    list.append(otherKey);
    // Versions carrying bidirectional formatting characters and a tab, which must not reach the window as such.
    NamedProfile bidi{QStringLiteral("bidi"), SimNodeProfile::forType(2)};
    bidi.profile.nodeVersion = QStringLiteral("v2.4.1\u202E");
    bidi.profile.moduleVersion = QStringLiteral("\u20661.4\u2069");
    bidi.profile.loraVersion = QStringLiteral("4.2\t.1\u200F");
    list.append(bidi);
    return list;
}

// The count byte of the protected-field target: count = byte % 20 - 2.
char countByte(int count)
{
    return char(count + 2);
}

bool nodeSeeds()
{
    static const QRegularExpression spacedField(
        QStringLiteral("(DevEui|AppEui|AppKey|NetEui)= ((?:[0-9A-F]{2} ){17}[0-9A-F]{2})"));
    static const QRegularExpression sigfoxField(QStringLiteral("SigFox (ID|PAC)\\s+:\\s+([0-9A-F]{36})"));
    bool ok = true;
    for (const NamedProfile &p : profiles()) {
        Bench bench(p.profile);
        if (!bench.ok) {
            std::fprintf(stderr, "cannot start the simulator for %s\n", qPrintable(p.name));
            return false;
        }
        bench.sim.boot();
        const QByteArray boot = bench.exchange(QByteArray());
        const QByteArray cfg = bench.exchange("cfg\r");
        const QByteArray th = bench.exchange("th\r");
        const QByteArray rr = bench.exchange("rr\r");
        const QByteArray ver = bench.exchange("ver\r");
        ok = ok && writeSeed(QStringLiteral("versionreply"), p.name + QStringLiteral("-boot"), boot)
            && writeSeed(QStringLiteral("configreply"), p.name + QStringLiteral("-cfg"), cfg)
            && writeSeed(QStringLiteral("thresholdreply"), p.name + QStringLiteral("-th"), th)
            && writeSeed(QStringLiteral("reportratereply"), p.name + QStringLiteral("-rr"), rr)
            && writeSeed(QStringLiteral("versionreply"), p.name + QStringLiteral("-ver"), ver);
        // The line assembler sees the whole stream, read in pieces of a size the first byte picks.
        ok = ok
            && writeSeed(QStringLiteral("lineassembler"), p.name + QStringLiteral("-session"),
                char(p.name.size()) + boot + cfg + th + rr + ver);

        // Protected fields as the node sends them, and the same fields as raw bytes.
        QRegularExpressionMatchIterator fields = spacedField.globalMatch(QString::fromLatin1(cfg));
        while (fields.hasNext()) {
            const QRegularExpressionMatch m = fields.next();
            const int count = m.captured(1) == QLatin1String("AppKey") ? 16 : m.captured(1) == "NetEui" ? 4 : 8;
            QString digits = m.captured(2);
            digits.remove(QLatin1Char(' '));
            const QString name = p.name + QLatin1Char('-') + m.captured(1);
            ok = ok && writeSeed(QStringLiteral("protectedfield"), name, countByte(count) + digits.toLatin1())
                && writeSeed(QStringLiteral("protectedfield"), name + QStringLiteral("-raw"),
                    countByte(count) + QByteArray::fromHex(digits.toLatin1()));
        }
        fields = sigfoxField.globalMatch(QString::fromLatin1(cfg));
        while (fields.hasNext()) {
            const QRegularExpressionMatch m = fields.next();
            ok = ok
                && writeSeed(QStringLiteral("protectedfield"), p.name + QStringLiteral("-SigFox") + m.captured(1),
                    countByte(m.captured(1) == QLatin1String("ID") ? 4 : 8) + m.captured(2).toLatin1());
        }
    }
    return ok;
}

// Values the tool writes, as the encoder gets them.
bool valueSeeds()
{
    const SimNodeProfile p = SimNodeProfile::forType(1);
    return writeSeed(
               QStringLiteral("protectedfield"), QStringLiteral("value-appeui"), countByte(8) + p.appEui.toLatin1())
        && writeSeed(QStringLiteral("protectedfield"), QStringLiteral("value-appkey"),
            countByte(16) + p.appKey.toLower().toLatin1())
        && writeSeed(
            QStringLiteral("protectedfield"), QStringLiteral("value-netid"), countByte(4) + p.netId.toLatin1());
}

// Plaintext blocks for the protected-field target (count byte, then the block the tool enciphers): the fill
// after the value zero, or with one byte set as a node keyed differently would show it.
bool fillSeeds()
{
    const QByteArray eui = QByteArray::fromHex("70B3D57ED0000A01");
    const QByteArray netId = QByteArray::fromHex("00000013");
    const QByteArray appKey = QByteArray::fromHex("2B7E151628AED2A6ABF7158809CF4F3C");
    return writeSeed(QStringLiteral("protectedfield"), QStringLiteral("fill-eui-zero"),
               countByte(8) + eui + QByteArray(8, '\0'))
        && writeSeed(QStringLiteral("protectedfield"), QStringLiteral("fill-eui-last-set"),
            countByte(8) + eui + QByteArray(7, '\0') + '\x01')
        && writeSeed(QStringLiteral("protectedfield"), QStringLiteral("fill-netid-zero"),
            countByte(4) + netId + QByteArray(12, '\0'))
        && writeSeed(QStringLiteral("protectedfield"), QStringLiteral("fill-netid-first-set"),
            countByte(4) + netId + '\x80' + QByteArray(11, '\0'))
        && writeSeed(QStringLiteral("protectedfield"), QStringLiteral("fill-appkey"), countByte(16) + appKey);
}

// Lines with every kind of character the assembler removes: C0 and C1 controls, DEL, NUL, white-space
// controls and each bidirectional formatting character, around and inside the words the patterns look for.
bool cleaningSeeds()
{
    QString text = QStringLiteral("Tavonex\t:\tv2.4.1\u202E\r\u0007Ormix : \u2066\u00801.4\u2069\r"
                                  "Semtech LoRa :\u000B4.2.1\u007F\r\u0000VCOM started\u009B\r\u001B[1;33mcfg\r");
    for (const ushort u :
        {0x061C, 0x200E, 0x200F, 0x202A, 0x202B, 0x202C, 0x202D, 0x202E, 0x2066, 0x2067, 0x2068, 0x2069})
        text += QStringLiteral("Set ") + QChar(u) + QStringLiteral("AppEui ok\r");
    const QByteArray stream = text.toUtf8();
    return writeSeed(QStringLiteral("lineassembler"), QStringLiteral("controls-and-bidi"), char(5) + stream)
        && writeSeed(QStringLiteral("versionreply"), QStringLiteral("controls-and-bidi"), stream);
}

// Answers to write lines and to the sleep command, accepted, refused and in colour.
bool writeSeeds()
{
    bool ok = true;
    SimNodeProfile profile = SimNodeProfile::forType(2);
    for (const bool colour : {false, true}) {
        profile.colour = colour;
        profile.crlf = colour;
        const QString suffix = colour ? QStringLiteral("-colour") : QString();
        Bench bench(profile);
        if (!bench.ok)
            return false;
        ok = ok
            && writeSeed(QStringLiteral("writereply"), QStringLiteral("set-tht") + suffix, bench.exchange("tht 1 2\r"));
        ok = ok
            && writeSeed(QStringLiteral("writereply"), QStringLiteral("set-rr") + suffix, bench.exchange("rr 60000\r"));
        const QString app = ProtectedFieldCipher(ProtectedFieldCipher::Encrypt).encodeProtected(profile.appEui);
        ok = ok
            && writeSeed(QStringLiteral("writereply"), QStringLiteral("set-app") + suffix,
                bench.exchange("app " + app.toLatin1() + '\r'));
        bench.sim.setFault(QStringLiteral("set:*"), SimFault::Failed);
        ok = ok
            && writeSeed(
                QStringLiteral("writereply"), QStringLiteral("failed-thh") + suffix, bench.exchange("thh 5 6\r"));
        bench.sim.clearFaults();
        ok = ok && writeSeed(QStringLiteral("writereply"), QStringLiteral("sleep") + suffix, bench.exchange("s\r"));
    }
    return ok;
}

// What the node prints when it misbehaves.
bool faultSeeds()
{
    Bench bench(SimNodeProfile::forType(1));
    if (!bench.ok)
        return false;
    bench.sim.setFault(QStringLiteral("cfg"), SimFault::CorruptField, 1);
    bool ok = writeSeed(QStringLiteral("configreply"), QStringLiteral("corrupt-cfg"), bench.exchange("cfg\r"));
    bench.sim.setFault(QStringLiteral("cfg"), SimFault::Garbage, 1);
    const QByteArray garbage = bench.exchange("cfg\r");
    ok = ok && writeSeed(QStringLiteral("configreply"), QStringLiteral("garbage-cfg"), garbage)
        && writeSeed(QStringLiteral("lineassembler"), QStringLiteral("garbage"), char(7) + garbage);
    bench.sim.setFault(QStringLiteral("th"), SimFault::Garbage, 1);
    ok = ok && writeSeed(QStringLiteral("thresholdreply"), QStringLiteral("garbage-th"), bench.exchange("th\r"));
    // A few kilobytes without a carriage return, then the answer: an over-long line for the assembler.
    bench.sim.setFault(QStringLiteral("rr"), SimFault::Endless, 1, QStringLiteral("5000"));
    const QByteArray endless = bench.exchange("rr\r");
    ok = ok && writeSeed(QStringLiteral("lineassembler"), QStringLiteral("endless-rr"), char(63) + endless)
        && writeSeed(QStringLiteral("reportratereply"), QStringLiteral("endless-rr"), endless);
    return ok;
}

// Login replies of the local server: "<status>\n<headers>\n<body>", each DARV-Token header as "=" and its
// percent-encoded value, separated by blanks.
bool loginSeeds()
{
    TestServerProcess server;
    if (!server.start()) {
        std::fprintf(stderr, "cannot start orva-testserver: %s\n", qPrintable(server.errorString()));
        return false;
    }
    QNetworkAccessManager manager;
    auto capture = [&](const QString &name, const QString &password) {
        const QByteArray body
            = LoginRequest::body(QLatin1String(TestServerProcess::kUser), LoginRequest::passwordDigest(password));
        QNetworkReply *reply = manager.post(LoginRequest::request(server.baseUrl()), body);
        QSignalSpy finished(reply, &QNetworkReply::finished);
        if (!reply->isFinished() && !finished.wait(10000)) {
            reply->abort();
            delete reply;
            return false;
        }
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        QList<QByteArray> headers;
        for (const QByteArray &value : LoginRequest::tokenHeaders(reply->rawHeaderPairs()))
            headers << '=' + value.toPercentEncoding();
        const QByteArray seed = QByteArray::number(status) + '\n' + headers.join(' ') + '\n' + reply->readAll();
        delete reply;
        return writeSeed(QStringLiteral("loginreply"), name, seed);
    };
    const QString good = QLatin1String(TestServerProcess::kPassword);
    bool ok = capture(QStringLiteral("granted"), good) && capture(QStringLiteral("wrong-password"), good + 'x');
    ok = ok && server.setFault(QStringLiteral("login"), QStringLiteral("status"), {{"status", 302}})
        && capture(QStringLiteral("status-302"), good);
    ok = ok && server.setFault(QStringLiteral("login"), QStringLiteral("status"), {{"status", 403}})
        && capture(QStringLiteral("status-403"), good);
    ok = ok && server.setFault(QStringLiteral("login"), QStringLiteral("oddtoken"))
        && capture(QStringLiteral("odd-token"), good);
    ok = ok && server.setFault(QStringLiteral("login"), QStringLiteral("malformed"))
        && capture(QStringLiteral("malformed"), good);
    ok = ok && server.setFault(QStringLiteral("login"), QStringLiteral("token"), {{"copies", 2}})
        && capture(QStringLiteral("token-twice"), good);
    ok = ok && server.setFault(QStringLiteral("login"), QStringLiteral("token"), {{"token", "abc%0Ddef"}})
        && capture(QStringLiteral("token-cr"), good);
    ok = ok && server.setFault(QStringLiteral("login"), QStringLiteral("malformed"), {{"body", "{\"rc\":\"200\"}"}})
        && capture(QStringLiteral("rc-as-text"), good);
    ok = ok
        && server.setFault(
            QStringLiteral("login"), QStringLiteral("malformed"), {{"body", "{\"rc\":200.0,\"n\":[1,{}]}"}})
        && capture(QStringLiteral("rc-as-float"), good);
    return server.stop() && ok;
}

// Node records as the link announces them for each simulated node, one field per line.
bool documentSeeds()
{
    bool ok = true;
    for (const NamedProfile &p : profiles()) {
        Node node;
        node.applyCommunication(p.profile.communication);
        const SimNodeProfile &s = p.profile;
        const bool sigfox = node.deviceCommunication == 3;
        QList<QByteArray> fields{QByteArray::number(node.deviceType), QByteArray::number(node.deviceCommunication),
            "Door " + p.name.toUtf8(), s.nodeVersion.toUtf8(), s.moduleVersion.toUtf8(), s.loraVersion.toUtf8(),
            (sigfox ? s.sigfoxId : s.devEui).toUtf8(), sigfox ? s.sigfoxPac.toUtf8() : QByteArray(), s.appEui.toUtf8(),
            s.appKey.toUtf8(), s.netId.toUtf8(), QByteArray::number(s.temperatureLow),
            QByteArray::number(s.temperatureHigh), QByteArray::number(s.humidityLow),
            QByteArray::number(s.humidityHigh), QByteArray::number(s.pressureLow), QByteArray::number(s.pressureHigh),
            QByteArray::number(s.accelX)};
        if (p.name == QLatin1String("unconfigured"))
            fields[11] = "nan"; // thresholds never read
        ok = ok && writeSeed(QStringLiteral("devicedocument"), p.name, fields.join('\n'));
    }
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus directory>\n", argv[0]);
        return 2;
    }
    g_corpus = QString::fromLocal8Bit(argv[1]);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    const bool ok = nodeSeeds() && valueSeeds() && fillSeeds() && cleaningSeeds() && writeSeeds() && faultSeeds()
        && loginSeeds() && documentSeeds();
    std::printf("%d seed files written to %s\n", g_written, argv[1]);
    return ok ? 0 : 1;
}
