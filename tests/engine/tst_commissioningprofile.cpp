// Loading a commissioning profile: every value held to what the type's form accepts, one message naming the
// file, the type and the key for any fault; the firmware gate's version order.
#include "commissioningprofile.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

const char kFileName[] = "harbour.json";

// A profile with one type and the given settings, as JSON text.
QByteArray withType(const QByteArray &type, const QByteArray &settings)
{
    return "{\"format\": 1, \"name\": \"Harbour\", \"types\": {\"" + type + "\": {" + settings + "}}}";
}

// The version tables: two version texts and what follows from them.
template <typename Outcome> void versionColumns(const char *first, const char *second, const char *outcome)
{
    QTest::addColumn<QString>(first);
    QTest::addColumn<QString>(second);
    QTest::addColumn<Outcome>(outcome);
}

template <typename Outcome> void versionRow(const char *name, const char *first, const char *second, Outcome outcome)
{
    QTest::newRow(name) << QString::fromLatin1(first) << QString::fromLatin1(second) << outcome;
}

} // namespace

class TestCommissioningProfile : public QObject
{
    Q_OBJECT
private slots:
    void loadsEveryPartOfAGoodProfile();
    void acceptsWhatTheTypesFormAccepts_data();
    void acceptsWhatTheTypesFormAccepts();
    void refusesABadProfileNamingFileTypeAndKey_data();
    void refusesABadProfileNamingFileTypeAndKey();
    void refusesAFileFarTooLargeToBeAProfile();
    void readsWhatTheStationDoesByItself_data();
    void readsWhatTheStationDoesByItself();
    void formTitleNamesEveryTypeBearingIt_data();
    void formTitleNamesEveryTypeBearingIt();
    void readsOnlyARegularFile_data();
    void readsOnlyARegularFile();
    void comparesVersionsNumberByNumber_data();
    void comparesVersionsNumberByNumber();
    void firmwareGateStopsOlderAndUnknownVersions_data();
    void firmwareGateStopsOlderAndUnknownVersions();

private:
    std::optional<CommissioningProfile> loadText(const QByteArray &json, QString *error);
    QTemporaryDir m_dir;
};

std::optional<CommissioningProfile> TestCommissioningProfile::loadText(const QByteArray &json, QString *error)
{
    const QString path = m_dir.filePath(QLatin1String(kFileName));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(json) != json.size())
        qFatal("cannot write %s", qPrintable(path));
    file.close();
    return CommissioningProfile::load(path, error);
}

void TestCommissioningProfile::loadsEveryPartOfAGoodProfile()
{
    // Saved by an editor that starts the file with a byte order mark.
    const QByteArray json = "\xEF\xBB\xBF"
                            R"({
      "format": 1,
      "name": "Harbour site, batch 2026-12",
      "locked": true,
      "requireLabel": true,
      "types": {
        "LoRa OTAA": { "appId": "70b3d57ed0000001", "temperature": [-10, 50], "humidity": [10.5, 90],
                       "pressure": [2.5, 12.34], "accelerometer": 1.5, "reportRate": 15, "minNodeVersion": "v2.1.0" },
        "Pellimar": { "netId": "0000001a" },
        "SigFox": { "temperature": [-5, 45], "reportRate": 60 }
      }
    })";
    QString error;
    const std::optional<CommissioningProfile> profile = loadText(json, &error);
    QVERIFY2(profile, qPrintable(error));
    QCOMPARE(profile->name(), QStringLiteral("Harbour site, batch 2026-12"));
    QVERIFY(profile->locked());
    QVERIFY(profile->requireLabel());
    QCOMPARE(profile->filePath(), m_dir.filePath(QLatin1String(kFileName)));

    const ProfileEntry *lora = profile->entryFor(QStringLiteral("LoRa OTAA"));
    QVERIFY(lora);
    QCOMPARE(profile->entryFor(int(Node::LoRaOTAA)), lora);
    QCOMPARE(lora->firmwareType, Node::LoRaOTAA);
    QCOMPARE(*lora->appId, QStringLiteral("70B3D57ED0000001"));
    QVERIFY(!lora->netId);
    QCOMPARE(lora->temperature->low, -10.0f);
    QCOMPARE(lora->temperature->high, 50.0f);
    QCOMPARE(lora->humidity->low, 10.5f);
    QCOMPARE(lora->pressure->low, 2.5f);
    QCOMPARE(lora->pressure->high, 12.34f);
    QCOMPARE(*lora->accelerometer, 1.5f);
    QCOMPARE(*lora->reportRate, 15);
    QCOMPARE(lora->minNodeVersion, QStringLiteral("v2.1.0"));

    QCOMPARE(*profile->entryFor(QStringLiteral("Pellimar"))->netId, QStringLiteral("0000001A"));
    const ProfileEntry *sigfox = profile->entryFor(QStringLiteral("SigFox"));
    QVERIFY(sigfox);
    QCOMPARE(sigfox->settingFlags(), int(Node::FlagTemperature | Node::FlagReportRate));
    QVERIFY(sigfox->minNodeVersion.isEmpty());
    // Types the profile does not name, and texts that are no type, have no entry.
    QVERIFY(!profile->entryFor(QStringLiteral("SigFox 5D")));
    QVERIFY(!profile->entryFor(QStringLiteral("lora otaa")));
    QVERIFY(!profile->entryFor(0));
}

void TestCommissioningProfile::acceptsWhatTheTypesFormAccepts_data()
{
    QTest::addColumn<QByteArray>("type");
    QTest::addColumn<QByteArray>("settings");
    QTest::addColumn<int>("flags");

    QTest::newRow("empty entry") << QByteArray("SigFox 5D") << QByteArray() << 0;
    QTest::newRow("Pellimar temperature takes any whole number")
        << QByteArray("Pellimar") << QByteArray(R"("temperature": [-1000, 1000])") << int(Node::FlagTemperature);
    QTest::newRow("Pellimar humidity takes two decimals")
        << QByteArray("Pellimar 5D") << QByteArray(R"("humidity": [10.25, 90.75])") << int(Node::FlagHumidity);
    QTest::newRow("LoRa OTAA lower humidity takes decimals")
        << QByteArray("LoRa OTAA 5D") << QByteArray(R"("humidity": [10.5, 90])") << int(Node::FlagHumidity);
    QTest::newRow("SigFox upper temperature is not limited")
        << QByteArray("SigFox") << QByteArray(R"("temperature": [-100, 250.5])") << int(Node::FlagTemperature);
    QTest::newRow("SigFox 5D temperatures are not limited")
        << QByteArray("SigFox 5D") << QByteArray(R"("temperature": [-500.5, 1000])") << int(Node::FlagTemperature);
    QTest::newRow("limits of the decimal edits")
        << QByteArray("SigFox") << QByteArray(R"("pressure": [-100, 100], "accelerometer": -99.99)")
        << int(Node::FlagPressure | Node::FlagAccelerometer);
    QTest::newRow("equal low and high") << QByteArray("LoRa OTAA") << QByteArray(R"("temperature": [20, 20])")
                                        << int(Node::FlagTemperature);
    QTest::newRow("report rate limits") << QByteArray("Pellimar") << QByteArray(R"("reportRate": 35791)")
                                        << int(Node::FlagReportRate);
    QTest::newRow("identifiers of a Pellimar node")
        << QByteArray("Pellimar 5D") << QByteArray(R"("appId": "0011223344556677", "netId": "ABCDEF01")")
        << int(Node::FlagAppId | Node::FlagNetId);
    QTest::newRow("version gate alone") << QByteArray("LoRa OTAA") << QByteArray(R"("minNodeVersion": "2.10")") << 0;
}

void TestCommissioningProfile::acceptsWhatTheTypesFormAccepts()
{
    QFETCH(QByteArray, type);
    QFETCH(QByteArray, settings);
    QFETCH(int, flags);
    QString error;
    const std::optional<CommissioningProfile> profile = loadText(withType(type, settings), &error);
    QVERIFY2(profile, qPrintable(error));
    QVERIFY(profile->entryFor(QString::fromLatin1(type)));
    QCOMPARE(profile->entryFor(QString::fromLatin1(type))->settingFlags(), flags);
}

void TestCommissioningProfile::refusesABadProfileNamingFileTypeAndKey_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("message");

    const auto row = [](const char *name, const QByteArray &json, const char *message) {
        QTest::newRow(name) << json << QString::fromUtf8(message);
    };
    row("low above high", withType("LoRa OTAA", R"("temperature": [50, -20])"),
        R"(harbour.json: "LoRa OTAA" / "temperature": high -20 is below low 50)");
    row("value out of range", withType("LoRa OTAA", R"("temperature": [-10, 150])"),
        R"(harbour.json: "LoRa OTAA" / "temperature": high 150 is outside -100 to 100)");
    row("whole number expected", withType("Pellimar", R"("temperature": [-10.5, 50])"),
        R"(harbour.json: "Pellimar" / "temperature": low -10.5 is not a whole number)");
    row("whole upper humidity in LoRa OTAA", withType("LoRa OTAA", R"("humidity": [10, 90.5])"),
        R"(harbour.json: "LoRa OTAA" / "humidity": high 90.5 is not a whole number)");
    row("three decimals", withType("SigFox", R"("pressure": [2.345, 12])"),
        R"(harbour.json: "SigFox" / "pressure": low 2.345 has more than 2 decimals)");
    row("accelerometer out of range", withType("LoRa OTAA", R"("accelerometer": 100.01)"),
        R"(harbour.json: "LoRa OTAA" / "accelerometer": 100.01 is outside -100 to 100)");
    row("unlimited edit still fits the node", withType("SigFox 5D", R"("temperature": [0, 3e9])"),
        R"(harbour.json: "SigFox 5D" / "temperature": high 3000000000 is beyond what the node can hold)");
    row("one number for a pair", withType("SigFox", R"("humidity": 50)"),
        R"(harbour.json: "SigFox" / "humidity": not a pair [low, high])");
    row("text for a threshold", withType("SigFox", R"("humidity": ["10", 90])"),
        R"(harbour.json: "SigFox" / "humidity": low is not a number)");
    row("application key", withType("LoRa OTAA", R"("appKey": "2B7E151628AED2A6ABF7158809CF4F3C")"),
        R"(harbour.json: "LoRa OTAA" / "appKey": a profile never holds an application key: keys are per device)");
    row("network id in a LoRa OTAA profile", withType("LoRa OTAA", R"("netId": "00000013")"),
        R"(harbour.json: "LoRa OTAA" / "netId": the LoRa OTAA form has no such setting)");
    row("application id for SigFox", withType("SigFox", R"("appId": "70B3D57ED0000001")"),
        R"(harbour.json: "SigFox" / "appId": the SigFox form has no such setting)");
    row("pressure for a 5D node", withType("LoRa OTAA 5D", R"("pressure": [1, 2])"),
        R"(harbour.json: "LoRa OTAA 5D" / "pressure": the LoRa OTAA 5D form has no such setting)");
    row("accelerometer for a 5D node", withType("SigFox 5D", R"("accelerometer": 1.5)"),
        R"(harbour.json: "SigFox 5D" / "accelerometer": the SigFox 5D form has no such setting)");
    row("short application id", withType("Pellimar", R"("appId": "70B3D57ED000001")"),
        R"(harbour.json: "Pellimar" / "appId": not 16 hex digits)");
    row("application id with separators", withType("Pellimar", R"("appId": "70-B3-D5-7E-D0-00-00-01")"),
        R"(harbour.json: "Pellimar" / "appId": not 16 hex digits)");
    row("network id not hex", withType("Pellimar", R"("netId": "0000001G")"),
        R"(harbour.json: "Pellimar" / "netId": not 8 hex digits)");
    row("rate in fractions", withType("SigFox", R"("reportRate": 1.5)"),
        R"(harbour.json: "SigFox" / "reportRate": not whole minutes from 0 to 35791)");
    row("rate beyond 32-bit milliseconds", withType("SigFox", R"("reportRate": 35792)"),
        R"(harbour.json: "SigFox" / "reportRate": not whole minutes from 0 to 35791)");
    row("negative rate", withType("SigFox", R"("reportRate": -1)"),
        R"(harbour.json: "SigFox" / "reportRate": not whole minutes from 0 to 35791)");
    row("version without a number", withType("SigFox", R"("minNodeVersion": "latest")"),
        R"(harbour.json: "SigFox" / "minNodeVersion": not a firmware version such as "v2.1.0")");
    row("unknown key", withType("SigFox", R"("temprature": [1, 2])"),
        R"(harbour.json: "SigFox" / "temprature": unknown setting)");
    row("unknown type", withType("LoRa 0TAA", ""),
        R"(harbour.json: "types" / "LoRa 0TAA": not a node type; the node's "Communication:" text (shown in the status bar) or its form's title: )"
        R"("Pellimar", "LoRa OTAA", "SigFox", "Pellimar 5D", "LoRa OTAA 5D", "SigFox 5D", "PellimarNode")");
    row("type in the wrong case", withType("sigfox", ""),
        R"(harbour.json: "types" / "sigfox": not a node type; the node's "Communication:" text (shown in the status bar) or its form's title: )"
        R"("Pellimar", "LoRa OTAA", "SigFox", "Pellimar 5D", "LoRa OTAA 5D", "SigFox 5D", "PellimarNode")");
    row("the unknown type has no form", withType("Unknown", ""),
        R"(harbour.json: "types" / "Unknown": not a node type; the node's "Communication:" text (shown in the status bar) or its form's title: )"
        R"("Pellimar", "LoRa OTAA", "SigFox", "Pellimar 5D", "LoRa OTAA 5D", "SigFox 5D", "PellimarNode")");
    row("settings not an object", R"({"format": 1, "types": {"SigFox": [1]}})",
        R"(harbour.json: "SigFox": not an object of settings)");
    row("bad JSON", R"({"format": 1, "types": {)", "harbour.json: not valid JSON (unterminated object at byte 24)");
    row("not an object", "[1]", "harbour.json: not a JSON object");
    row("wrong format", R"({"format": 2, "types": {"SigFox": {}}})",
        R"(harbour.json: "format": 2, this tool reads format 1)");
    row("format as text", R"({"format": "1", "types": {"SigFox": {}}})",
        R"(harbour.json: "format": "1", this tool reads format 1)");
    row("format missing", R"({"types": {"SigFox": {}}})",
        R"(harbour.json: "format": missing, this tool reads format 1)");
    row("unknown top-level key", R"({"format": 1, "lockd": true, "types": {"SigFox": {}}})",
        R"(harbour.json: "lockd": unknown key)");
    row("lock flag as text", R"({"format": 1, "locked": "yes", "types": {"SigFox": {}}})",
        R"(harbour.json: "locked": not true or false)");
    row("no types", R"({"format": 1, "types": {}})", R"(harbour.json: "types": missing or names no node type)");
    row("lock flag twice", R"({"format": 1, "locked": true, "locked": false, "types": {"SigFox": {}}})",
        R"(harbour.json: "locked": the key is given twice)");
    row("type twice", R"({"format": 1, "types": {"LoRa OTAA": {"reportRate": 60}, "LoRa OTAA": {}}})",
        R"(harbour.json: "types" / "LoRa OTAA": the key is given twice)");
    row("setting twice, once written with an escape",
        R"({"format": 1, "types": {"SigFox": {"reportRate": 60, "report\u0052ate": 5}}})",
        R"(harbour.json: "types" / "SigFox" / "reportRate": the key is given twice)");
    row("automation not an object", R"({"format": 1, "auto": true, "types": {"SigFox": {}}})",
        R"(harbour.json: "auto": not an object)");
    row("automation step misspelt", R"({"format": 1, "auto": {"aply": true}, "types": {"SigFox": {}}})",
        R"(harbour.json: "auto" / "aply": unknown key)");
    row("automation step as text", R"({"format": 1, "auto": {"apply": "yes"}, "types": {"SigFox": {}}})",
        R"(harbour.json: "auto" / "apply": not true or false)");
    row("registering what was not written",
        R"({"format": 1, "auto": {"register": true, "activate": true}, "types": {"SigFox": {}}})",
        R"(harbour.json: "auto" / "register": needs "apply" as well)");
    row("sleeping what was not registered",
        R"({"format": 1, "auto": {"apply": true, "activate": true}, "types": {"SigFox": {}}})",
        R"(harbour.json: "auto" / "activate": needs "register" as well)");
    row("printing without a run", R"({"format": 1, "auto": {"printLabel": "onPass"}, "types": {"SigFox": {}}})",
        R"(harbour.json: "auto" / "printLabel": needs "apply" as well)");
    row("printing at an unknown moment",
        R"({"format": 1, "auto": {"apply": true, "printLabel": true}, "types": {"SigFox": {}}})",
        R"(harbour.json: "auto" / "printLabel": "onPass", "never" or false)");
    row("automation twice", R"({"format": 1, "auto": {"apply": true, "apply": false}, "types": {"SigFox": {}}})",
        R"(harbour.json: "auto" / "apply": the key is given twice)");
    row("label profile id for SigFox", withType("SigFox", R"("labelProfileId": "01230456")"),
        R"(harbour.json: "SigFox" / "labelProfileId": the SigFox form has no such setting)");
    row("label profile id too short", withType("LoRa OTAA", R"("labelProfileId": "0123045")"),
        R"(harbour.json: "LoRa OTAA" / "labelProfileId": not 8 hex digits)");
}

void TestCommissioningProfile::refusesABadProfileNamingFileTypeAndKey()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, message);
    QString error;
    QVERIFY(!loadText(json, &error));
    QCOMPARE(error, message);
}

void TestCommissioningProfile::readsWhatTheStationDoesByItself_data()
{
    QTest::addColumn<QByteArray>("automation"); // the "auto" member, or empty for none
    QTest::addColumn<QList<bool>>("steps"); // apply, register, activate, print on pass
    using Steps = QList<bool>;
    QTest::newRow("no automation") << QByteArray() << Steps{false, false, false, false};
    QTest::newRow("empty automation") << QByteArray(R"("auto": {},)") << Steps{false, false, false, false};
    QTest::newRow("apply only") << QByteArray(R"("auto": {"apply": true},)") << Steps{true, false, false, false};
    QTest::newRow("every step") << QByteArray(
        R"("auto": {"apply": true, "register": true, "activate": true, "printLabel": "onPass"},)")
                                << Steps{true, true, true, true};
    QTest::newRow("steps off by name") << QByteArray(
        R"("auto": {"apply": true, "register": true, "activate": false, "printLabel": "never"},)")
                                       << Steps{true, true, false, false};
    QTest::newRow("printing off as false")
        << QByteArray(R"("auto": {"apply": true, "printLabel": false},)") << Steps{true, false, false, false};
}

void TestCommissioningProfile::readsWhatTheStationDoesByItself()
{
    QFETCH(QByteArray, automation);
    QFETCH(QList<bool>, steps);
    QString error;
    const auto profile = loadText("{\"format\": 1, " + automation + R"("types": {"SigFox": {}}})", &error);
    QVERIFY2(profile, qPrintable(error));
    const CommissioningProfile::Automation read = profile->automation();
    QCOMPARE((QList<bool>{read.apply, read.registerNode, read.activate,
                 read.printLabel == CommissioningProfile::Automation::Print::OnPass}),
        steps);
    QCOMPARE(read.any(), steps.contains(true));
}

void TestCommissioningProfile::formTitleNamesEveryTypeBearingIt_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<float>("pellimarHigh");
    QTest::addColumn<float>("pellimar5dHigh");
    QTest::newRow("title alone covers both types")
        << QByteArray(R"({"format": 1, "types": {"PellimarNode": {"temperature": [0, 40]}}})") << 40.0f << 40.0f;
    // Whatever order the keys come in, the type's own "Communication:" text wins over the title.
    QTest::newRow("own key wins, title sorted after it")
        << QByteArray(R"({"format": 1, "types": {"Pellimar 5D": {"temperature": [0, 30]},)"
                      R"( "PellimarNode": {"temperature": [0, 40]}}})")
        << 40.0f << 30.0f;
    QTest::newRow("own key wins, title sorted before it")
        << QByteArray(R"({"format": 1, "types": {"PellimarNode": {"temperature": [0, 40]},)"
                      R"( "Pellimar": {"temperature": [0, 20]}}})")
        << 20.0f << 40.0f;
}

void TestCommissioningProfile::formTitleNamesEveryTypeBearingIt()
{
    QFETCH(QByteArray, json);
    QFETCH(float, pellimarHigh);
    QFETCH(float, pellimar5dHigh);
    QString error;
    const std::optional<CommissioningProfile> profile = loadText(json, &error);
    QVERIFY2(profile, qPrintable(error));
    QVERIFY(profile->entryFor(int(Node::Pellimar)) && profile->entryFor(int(Node::Pellimar5D)));
    QCOMPARE(profile->entryFor(int(Node::Pellimar))->temperature->high, pellimarHigh);
    QCOMPARE(profile->entryFor(int(Node::Pellimar5D))->temperature->high, pellimar5dHigh);
    QVERIFY(!profile->entryFor(int(Node::LoRaOTAA)));
}

void TestCommissioningProfile::refusesAFileFarTooLargeToBeAProfile()
{
    QByteArray json = withType("SigFox", R"("reportRate": 60)");
    json.append(QByteArray(CommissioningProfile::kMaxFileBytes, ' '));
    QString error;
    QVERIFY(!loadText(json, &error));
    QCOMPARE(error, QStringLiteral("harbour.json: larger than 1048576 bytes, not a profile"));

    QVERIFY(!CommissioningProfile::load(m_dir.filePath(QStringLiteral("missing.json")), &error));
    QVERIFY2(error.startsWith(QLatin1String("missing.json: cannot be read")), qPrintable(error));
}

void TestCommissioningProfile::readsOnlyARegularFile_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("message");

    // A FIFO nobody writes to would hold the tool at its start.
    const QString fifo = m_dir.filePath(QStringLiteral("fifo.json"));
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    QTest::newRow("fifo") << fifo << QStringLiteral("fifo.json: cannot be read (not a regular file)");
    QTest::newRow("endless device") << QStringLiteral("/dev/zero")
                                    << QStringLiteral("zero: cannot be read (not a regular file)");
    QTest::newRow("directory") << m_dir.path()
                               << QFileInfo(m_dir.path()).fileName()
            + QStringLiteral(": cannot be read (not a regular file)");
}

void TestCommissioningProfile::readsOnlyARegularFile()
{
    QFETCH(QString, path);
    QString error;
    QVERIFY(!CommissioningProfile::load(path, &error));
    QTEST(error, "message");
}

void TestCommissioningProfile::comparesVersionsNumberByNumber_data()
{
    versionColumns<int>("a", "b", "order");
    versionRow("newer patch", "v2.4.1", "v2.1.0", 1);
    versionRow("numbers, not text", "2.10", "2.9", 1);
    versionRow("equal", "v2.1.0", "v2.1.0", 0);
    versionRow("missing numbers are 0", "v2.1", "2.1.0", 0);
    versionRow("missing numbers are 0, older", "2", "2.0.1", -1);
    versionRow("capital V", "V3.0", "v2.99.99", 1);
    versionRow("leading zeros", "v2.01", "v2.1", 0);
    versionRow("tail after the digits ignored", "v2.4.1-rc1", "v2.4.1", 0);
    versionRow("tail does not hide a newer number", "v2.5beta", "v2.4.9", 1);
    versionRow("part without digits counts as 0", "v2.x", "v2.0", 0);
    versionRow("numbers beyond 64 bits", "1.99999999999999999999", "1.99999999999999999998", 1);
    versionRow("older major", "v1.9.9", "v2.0.0", -1);
}

void TestCommissioningProfile::comparesVersionsNumberByNumber()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(int, order);
    QCOMPARE(ProfileEntry::compareVersions(a, b), order);
    QCOMPARE(ProfileEntry::compareVersions(b, a), -order);
}

void TestCommissioningProfile::firmwareGateStopsOlderAndUnknownVersions_data()
{
    versionColumns<bool>("nodeVersion", "minimum", "tooOld");
    // A null text stands for a version the node did not give, or a profile without a gate.
    versionRow("newer", "v2.4.1", "v2.1.0", false);
    versionRow("same", "v2.1.0", "v2.1", false);
    versionRow("older", "v2.0.9", "v2.1.0", true);
    versionRow("no gate", "v0.1", nullptr, false);
    versionRow("version not read", nullptr, "v2.1.0", true);
    versionRow("version without numbers", "unknown", "v2.1.0", true);
}

void TestCommissioningProfile::firmwareGateStopsOlderAndUnknownVersions()
{
    QFETCH(QString, nodeVersion);
    QFETCH(QString, minimum);
    QFETCH(bool, tooOld);
    ProfileEntry entry;
    entry.minNodeVersion = minimum;
    Node node;
    node.nodeVersion = nodeVersion;
    QCOMPARE(entry.firmwareTooOld(node), tooOld);
}

QTEST_GUILESS_MAIN(TestCommissioningProfile)
#include "tst_commissioningprofile.moc"
