// A lot commissioned at the window, unit after unit on one port, as a shift goes: one passes, one is refused by
// the node and passes at its second attempt, and one each fails its verification, its label, the firmware gate
// and the node key, and one is unplugged half-way. What the bench wrote is then counted by the History window's
// lot view, the records export and the PDF lot report, which must all tell the same story.
#include "apptestsupport.h"
#include "e2estation.h"
#include "historywindow.h"
#include "lotview.h"
#include "mainwindow.h"
#include "nodeform.h"
#include "prerequisite.h"
#include "testfiles.h"
#include "testserverprocess.h"

#include <QComboBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTableWidget>

using State = CommissioningSession::State;

namespace {

const char kLot[] = "L-E2E";
const char kBench[] = "Bench 3";
const char kProfile[] = R"({"format": 1, "name": "E2E lot", "requireLabel": true, "types": {"LoRa OTAA":
    {"temperature": [-5, 45], "reportRate": 20, "minNodeVersion": "v2.1.0"}}})";
const char kOtherKey[] = "000102030405060708090A0B0C0D0E0F";

QString devEui(int unit)
{
    return QStringLiteral("70B3D57ED00E%1").arg(unit, 4, 10, QLatin1Char('0'));
}

// Runs iot_commission without a window; its exit code and standard error.
struct ToolRun
{
    int exitCode = -1;
    QByteArray errors;
};

ToolRun runTool(const QStringList &arguments)
{
    ToolRun run;
    QProcess tool;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    tool.setProcessEnvironment(environment);
    tool.start(qEnvironmentVariable("IOT_BIN_DIR") + QStringLiteral("/iot_commission"), arguments);
    if (tool.waitForFinished(60000) && tool.exitStatus() == QProcess::NormalExit)
        run.exitCode = tool.exitCode();
    run.errors = tool.readAllStandardError();
    return run;
}

QString labelText(QWidget *root, const char *name)
{
    auto *label = root->findChild<QLabel *>(QString::fromLatin1(name));
    return label ? label->text() : QStringLiteral("<no %1>").arg(QString::fromLatin1(name));
}

} // namespace

class E2eLotTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void lotIsCountedAlikeInTheViewTheExportAndTheReport();

private:
    // Puts the next unit on the port and boots it; waits for the state its read ends in.
    bool nextUnit(const SimNodeProfile &unit, State expected);
    // Applies the profile's differences and waits for the node's read back.
    bool applyProfile();
    bool scanLabel(const QString &text, bool matches);
    bool registerAndSleep();

    TestServerProcess server;
    QTemporaryDir directory;
    std::unique_ptr<E2eStation> station;
};

void E2eLotTest::initTestCase()
{
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    QVERIFY(directory.isValid());
    if (!QFile::exists(qEnvironmentVariable("IOT_BIN_DIR") + QStringLiteral("/iot_commission")))
        SKIP_OR_FAIL_UNDER_CI("iot_commission is not built");
}

bool E2eLotTest::nextUnit(const SimNodeProfile &unit, State expected)
{
    station->node().clearFaults();
    station->node().setProfile(unit);
    station->node().boot();
    if (!station->waitForState(expected)) {
        qWarning("unit %s: state %d, not %d", qPrintable(unit.devEui), int(station->session()->state()), int(expected));
        return false;
    }
    return expected != State::NodeShown || QTest::qWaitFor([this] { return station->form(); }, 10000);
}

bool E2eLotTest::applyProfile()
{
    QPointer<NodeForm> before = station->form();
    station->button("applyButton")->click();
    // The node is reset after its write and read again: a new form.
    return QTest::qWaitFor([&] { return !before && station->form(); }, E2eStation::kReadWaitMs)
        && station->waitForState(State::NodeShown);
}

bool E2eLotTest::scanLabel(const QString &text, bool matches)
{
    station->session()->checkLabel(text);
    QLabel *result = station->label("labelResultLabel");
    const QString wanted = matches ? QStringLiteral("Label matches") : QStringLiteral("does not match");
    return QTest::qWaitFor([&] { return result->text().contains(wanted); }, 5000);
}

bool E2eLotTest::registerAndSleep()
{
    station->dialogs().clickOk();
    station->button("registerButton")->click();
    if (!QTest::qWaitFor([this] { return station->dialogs().pendingSteps() == 0; }, E2eStation::kReadWaitMs))
        return false;
    QPushButton *sleep = station->button("sleepButton");
    if (!QTest::qWaitFor([&] { return sleep->isEnabled(); }, 5000))
        return false;
    sleep->click();
    return station->waitForState(State::NodeSleeping);
}

void E2eLotTest::lotIsCountedAlikeInTheViewTheExportAndTheReport()
{
    const QString profilePath = directory.filePath(QStringLiteral("lot.json"));
    QVERIFY(writeTestFile(profilePath, kProfile));
    SimNodeProfile unit = SimNodeProfile::forType(Node::LoRaOTAA);
    unit.devEui = devEui(1);
    station = std::make_unique<E2eStation>();
    QVERIFY2(!station->addNode(unit).isEmpty(), qPrintable(station->error()));
    station->openWindow(server.baseUrl(),
        {{QStringLiteral("profile/path"), profilePath}, {QStringLiteral("journal/lot"), QLatin1String(kLot)},
            {QStringLiteral("journal/bench"), QLatin1String(kBench)}});

    // 1: passes (written, verified, label, registered, asleep).
    QVERIFY(station->bootAndShow(true));
    QVERIFY(applyProfile());
    QVERIFY(scanLabel(devEui(1), true));
    QVERIFY(registerAndSleep());

    // 2: the node refuses the temperature; the operator sets it aside and, later, it passes.
    unit.devEui = devEui(2);
    QVERIFY(nextUnit(unit, State::NodeShown));
    station->node().setFault(QStringLiteral("set:tht"), SimFault::Failed);
    station->button("applyButton")->click();
    QVERIFY(station->waitForState(State::ApplyFailed));
    QVERIFY(!station->button("registerButton")->isEnabled());

    // 3: the node keeps its old temperature: the read back differs.
    unit.devEui = devEui(3);
    QVERIFY(nextUnit(unit, State::NodeShown));
    station->node().setFault(QStringLiteral("set:tht"), SimFault::Ignored);
    QVERIFY(applyProfile());
    QTRY_VERIFY(station->label("noteLabel")->text().startsWith(QStringLiteral("Not as written: ")));
    QVERIFY(!station->button("registerButton")->isEnabled());

    // 4: written and verified, but the label on it is another node's.
    unit.devEui = devEui(4);
    QVERIFY(nextUnit(unit, State::NodeShown));
    QVERIFY(applyProfile());
    QVERIFY(scanLabel(devEui(40), false));
    QVERIFY(!station->button("registerButton")->isEnabled());

    // 5: firmware older than the profile accepts.
    unit.devEui = devEui(5);
    unit.nodeVersion = QStringLiteral("v2.0.9");
    QVERIFY(nextUnit(unit, State::FirmwareTooOld));
    unit.nodeVersion = QStringLiteral("v2.4.1");

    // 6: keyed with another key: its identity cannot be read.
    unit.devEui = devEui(6);
    unit.key = QLatin1String(kOtherKey);
    QVERIFY(nextUnit(unit, State::KeyMismatch));
    unit.key.clear();

    // 2 again: passes at its second attempt.
    unit.devEui = devEui(2);
    QVERIFY(nextUnit(unit, State::NodeShown));
    QVERIFY(applyProfile());
    QVERIFY(scanLabel(devEui(2), true));
    QVERIFY(registerAndSleep());

    // 7: unplugged while on show.
    unit.devEui = devEui(7);
    QVERIFY(nextUnit(unit, State::NodeShown));
    station->node().hangUp();
    QVERIFY(station->waitForState(State::PortReturnAwaited, 10000));
    QCOMPARE(station->dialogs().unexpectedCount(), 0);
    const QString journal = E2eStation::journalPath();
    station.reset(); // the shift ends: the window closes

    // Eight records of seven units: 1 and 2 (second attempt) passed, 2 (first attempt), 3, 4, 5 and 6 failed, 7
    // abandoned. Only unit 1 passed at its first attempt.
    HistoryWindow history(journal);
    history.resize(1100, 760);
    history.show();
    QTRY_VERIFY_WITH_TIMEOUT(history.isLoaded(), 10000);
    auto *tabs = history.findChild<QTabWidget *>(QStringLiteral("viewTabs"));
    auto *lots = history.findChild<QComboBox *>(QStringLiteral("lotCombo"));
    QVERIFY(tabs && lots);
    tabs->setCurrentIndex(1);
    lots->setCurrentIndex(lots->findData(QLatin1String(kLot)));
    LotView *view = history.lots();
    QTRY_COMPARE(labelText(view, "unitsValue"), QStringLiteral("8"));
    const QStringList figures = {labelText(view, "passedValue"), labelText(view, "failedValue"),
        labelText(view, "abandonedValue"), labelText(view, "openValue"), labelText(view, "yieldValue")};
    QCOMPARE(figures, (QStringList{"2", "5", "1", "0", "14.3 % (1 of 7)"}));
    const LotStatistics &statistics = view->statistics();
    QStringList reasons;
    for (const LotStatistics::Reason &reason : statistics.pareto)
        reasons << reason.step + QLatin1Char('/') + reason.reason + QLatin1Char('=') + QString::number(reason.count());
    reasons.sort();
    QCOMPARE(reasons,
        (QStringList{"firmwareGate/firmwareTooOld=1", "labelCheck/mismatch=1", "read/keyMismatch=1",
            "verification/mismatch=1", "write/refused=1"}));

    // The records export: one line per record, in the order the units were read.
    const QString recordsPath = directory.filePath(QStringLiteral("records.jsonl"));
    ToolRun exported = runTool({QStringLiteral("--export-journal"), recordsPath, QStringLiteral("--records"),
        QStringLiteral("--lot"), QLatin1String(kLot), QStringLiteral("--journal"), journal});
    QVERIFY2(exported.exitCode == 0, exported.errors.constData());
    QFile recordsFile(recordsPath);
    QVERIFY(recordsFile.open(QIODevice::ReadOnly));
    QStringList outcomes;
    for (const QByteArray &line : recordsFile.readAll().split('\n')) {
        if (line.isEmpty())
            continue;
        const QJsonObject record = QJsonDocument::fromJson(line).object();
        QCOMPARE(record.value(QStringLiteral("bench")).toString(), QLatin1String(kBench));
        QCOMPARE(record.value(QStringLiteral("operator")).toString(), QLatin1String(TestServerProcess::kUser));
        outcomes << record.value(QStringLiteral("identity")).toString().right(2) + QLatin1Char(' ')
                + record.value(QStringLiteral("outcome")).toString() + QLatin1Char(' ')
                + record.value(QStringLiteral("failureStep")).toString();
    }
    QCOMPARE(outcomes,
        (QStringList{"01 passed ", "02 failed write", "03 failed verification", "04 failed labelCheck",
            "05 failed firmwareGate", " failed read", "02 passed ", "07 abandoned "}));

    // The PDF lot report.
    const QString reportPath = directory.filePath(QStringLiteral("lot.pdf"));
    ToolRun reported = runTool({QStringLiteral("--report"), reportPath, QStringLiteral("--lot"), QLatin1String(kLot),
        QStringLiteral("--journal"), journal});
    QVERIFY2(reported.exitCode == 0, reported.errors.constData());
    if (!qEnvironmentVariableIsEmpty("LOT_E2E_REPORT"))
        QFile::copy(reportPath, qEnvironmentVariable("LOT_E2E_REPORT"));
    const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (pdftotext.isEmpty())
        SKIP_OR_FAIL_UNDER_CI("pdftotext (poppler-utils) is not installed");
    QProcess text;
    text.start(pdftotext, {QStringLiteral("-layout"), reportPath, QStringLiteral("-")});
    QVERIFY(text.waitForFinished(30000));
    // pdftotext gives the typesetter's ligatures ("ﬁ") as they are drawn.
    const QString content
        = QString::fromUtf8(text.readAllStandardOutput()).normalized(QString::NormalizationForm_KC).simplified();
    for (const QString &expected : {QStringLiteral("Lot report: L-E2E"),
             QStringLiteral("Units: 8 (7 distinct) Passed: 2 Failed: 5 Abandoned: 1 Still open: 0"),
             QStringLiteral("First-pass yield: 14.3 % (1 of 7"), QStringLiteral("Failed units: 5"),
             QStringLiteral("Firmware check: firmware too old"), QStringLiteral("Read: node key does not match"),
             QStringLiteral("Label check: label does not match"), QStringLiteral("Verification: read back differs"),
             QStringLiteral("Write: refused by the node"), devEui(3), devEui(4)})
        QVERIFY2(content.contains(expected), qPrintable(expected + QStringLiteral(" not in: ") + content));
}

QTEST_MAIN(E2eLotTest)
#include "tst_e2elot.moc"
