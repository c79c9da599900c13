// What a profile changes on a node: exactly the settings that would go out differently, with both values for
// the operator, and a record that, written, leaves the node matching the profile.
#include "describeeach.h"
#include "nodestore.h"
#include "profilecomparison.h"
#include "writeverification.h"

#include <QTest>

Q_DECLARE_METATYPE(ProfileEntry)

namespace {

ProfileEntry::Range range(float low, float high)
{
    return {low, high};
}

// A profile entry that asks for exactly what loraNodeAsRead() holds: the fields in declaration order, firmware
// type, application and network identity, temperature, humidity, pressure, accelerometer, report rate, version.
ProfileEntry matchingEntry()
{
    return {Node::LoRaOTAA, QStringLiteral("0004A30B001C0A00"), std::nullopt, range(-10, 50), range(10, 90),
        range(2.5f, 12.34f), 1.5f, 15, QString()};
}

QStringList differenceLines(const ProfileComparison &comparison)
{
    return describeEach(comparison.differences(), [](const ProfileComparison::Difference &d) {
        return QStringLiteral("%1: profile %2, node %3").arg(d.field, d.profileText, d.nodeText);
    });
}

} // namespace

class TestProfileComparison : public QObject
{
    Q_OBJECT
private slots:
    void flagsExactlyTheSettingsThatWouldGoOutDifferently_data();
    void flagsExactlyTheSettingsThatWouldGoOutDifferently();
    void recordsCarryTheProfileInTheFormsRepresentations();
    void writingTheDifferencesLeavesTheNodeMatchingTheProfile_data();
    void writingTheDifferencesLeavesTheNodeMatchingTheProfile();
};

void TestProfileComparison::flagsExactlyTheSettingsThatWouldGoOutDifferently_data()
{
    QTest::addColumn<ProfileEntry>("entry");
    QTest::addColumn<int>("flags");
    QTest::addColumn<QStringList>("differences");

    QTest::newRow("node already matches") << matchingEntry() << 0 << QStringList();
    QTest::newRow("nothing asked") << ProfileEntry() << 0 << QStringList();

    ProfileEntry e = matchingEntry();
    e.appId = QStringLiteral("0004a30b001c0a00");
    QTest::newRow("identifier in the other case") << e << 0 << QStringList();

    e = ProfileEntry();
    e.temperature = range(-10.9f, 50.7f);
    QTest::newRow("fractions the write truncates to the node's values") << e << 0 << QStringList();

    e = ProfileEntry();
    e.temperature = range(-5, 45);
    QTest::newRow("temperature") << e << int(Node::FlagTemperature)
                                 << QStringList{"temperature: profile -5 to 45, node -10 to 50"};

    e = ProfileEntry();
    e.humidity = range(10, 95);
    QTest::newRow("only the upper humidity")
        << e << int(Node::FlagHumidity) << QStringList{"humidity: profile 10 to 95, node 10 to 90"};

    e = ProfileEntry();
    e.pressure = range(2.5f, 12.35f);
    QTest::newRow("pressure by one hundredth")
        << e << int(Node::FlagPressure) << QStringList{"pressure: profile 2.5 to 12.35, node 2.5 to 12.34"};

    e = ProfileEntry();
    e.pressure = range(-0.05f, 12.34f);
    QTest::newRow("negative pressure") << e << int(Node::FlagPressure)
                                       << QStringList{"pressure: profile -0.05 to 12.34, node 2.5 to 12.34"};

    e = ProfileEntry();
    e.accelerometer = 1.49f;
    QTest::newRow("accelerometer") << e << int(Node::FlagAccelerometer)
                                   << QStringList{"accelerometer: profile 1.49, node 1.5"};

    e = ProfileEntry();
    e.reportRate = 10;
    QTest::newRow("report rate") << e << int(Node::FlagReportRate) << QStringList{"reportRate: profile 10, node 15"};

    e = ProfileEntry();
    e.appId = QStringLiteral("70B3D57ED0000001");
    QTest::newRow("application id") << e << int(Node::FlagAppId)
                                    << QStringList{"appId: profile 70B3D57ED0000001, node 0004A30B001C0A00"};

    e = ProfileEntry();
    e.netId = QStringLiteral("0000001A");
    QTest::newRow("network id") << e << int(Node::FlagNetId) << QStringList{"netId: profile 0000001A, node 00000013"};

    e = matchingEntry();
    e.reportRate = 60;
    e.temperature = range(-10, 40);
    e.appId = QStringLiteral("70B3D57ED0000001");
    QTest::newRow("several, in the order they are written")
        << e << int(Node::FlagAppId | Node::FlagTemperature | Node::FlagReportRate)
        << QStringList{"appId: profile 70B3D57ED0000001, node 0004A30B001C0A00",
               "temperature: profile -10 to 40, node -10 to 50", "reportRate: profile 60, node 15"};
}

void TestProfileComparison::flagsExactlyTheSettingsThatWouldGoOutDifferently()
{
    QFETCH(ProfileEntry, entry);
    QFETCH(int, flags);
    QFETCH(QStringList, differences);
    const ProfileComparison comparison(loraNodeAsRead(), entry);
    QCOMPARE(comparison.flags(), flags);
    QCOMPARE(comparison.matches(), flags == 0);
    QCOMPARE(differenceLines(comparison), differences);
    for (int flag = Node::FlagAppId; flag <= Node::FlagReportRate; flag <<= 1) {
        const ProfileComparison::Difference *difference = comparison.differenceFor(flag);
        QCOMPARE(difference != nullptr, (flags & flag) != 0);
        if (difference)
            QCOMPARE(difference->flag, flag);
    }
}

void TestProfileComparison::recordsCarryTheProfileInTheFormsRepresentations()
{
    ProfileEntry entry;
    entry.pressure = range(3, 7.5f);
    entry.reportRate = 30;
    const Node asRead = loraNodeAsRead();
    const ProfileComparison comparison(asRead, entry);

    // As a form emits it: operator units, the profile's values where it sets them, the node's elsewhere.
    const Node toWrite = comparison.nodeToWrite();
    QCOMPARE(toWrite.thresholds.pressureLow, 3.0f);
    QCOMPARE(toWrite.thresholds.pressureHigh, 7.5f);
    QCOMPARE(toWrite.thresholds.accelX, 1.5f);
    QCOMPARE(toWrite.thresholds.temperatureLow, -10.0f);
    QCOMPARE(toWrite.reportRate, 30);
    QCOMPARE(toWrite.appKey, asRead.appKey);
    QCOMPARE(toWrite.thresholds.accelD, 128.0f);

    // As a form is built from it: hundredths, so the form shows 3 and 7.5.
    const Node toShow = comparison.nodeToShow();
    QCOMPARE(toShow.thresholds.pressureLow, 300.0f);
    QCOMPARE(toShow.thresholds.pressureHigh, 750.0f);
    QCOMPARE(toShow.thresholds.accelX, 150.0f);
    QCOMPARE(toShow.reportRate, 30);
}

void TestProfileComparison::writingTheDifferencesLeavesTheNodeMatchingTheProfile_data()
{
    QTest::addColumn<ProfileEntry>("entry");

    QTest::newRow("every setting") << ProfileEntry{Node::Unknown, QStringLiteral("70b3d57ed0000001"), std::nullopt,
        range(-20, 35), range(15.5f, 80), range(0.01f, 99.99f), 0.07f, 35791, QString()};
    QTest::newRow("values whose floats lie below the typed decimal") << [] {
        ProfileEntry e;
        e.pressure = range(-81.88f, 0.29f);
        e.accelerometer = 0.57f;
        return e;
    }();
}

void TestProfileComparison::writingTheDifferencesLeavesTheNodeMatchingTheProfile()
{
    QFETCH(ProfileEntry, entry);
    const Node asRead = loraNodeAsRead();
    const ProfileComparison comparison(asRead, entry);
    QCOMPARE(comparison.flags(), entry.settingFlags());

    const Node reread = storedAfterWrite(asRead, comparison.nodeToWrite(), comparison.flags());
    QCOMPARE(
        WriteVerification::describe(WriteVerification::compare(comparison.nodeToWrite(), comparison.flags(), reread)),
        QString());
    QCOMPARE(ProfileComparison(reread, entry).flags(), 0);
}

QTEST_GUILESS_MAIN(TestProfileComparison)
#include "tst_profilecomparison.moc"
