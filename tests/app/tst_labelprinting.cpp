// A node's label painted, printed and asked for from the history: the painted code scans as the node's label,
// and a printer that is missing is said in the status bar and journalled while the node stays on show.
#include "apptestsupport.h"
#include "commissioningjournal.h"
#include "dialogdriver.h"
#include "historytablemodel.h"
#include "historywindow.h"
#include "labelcode.h"
#include "labelprinter.h"
#include "mainwindow.h"
#include "nodelabel.h"
#include "prerequisite.h"
#include "qrreader.h"
#include "testfiles.h"
#include "windowtest.h"

#include <QAction>
#include <QJsonDocument>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>

namespace {

const char kMissingPrinter[] = "no-such-printer-here";
const QDate kDate(2026, 12, 9);

Node sigfoxNode()
{
    Node node = sampleNode(Node::SigFox5D);
    return node;
}

QByteArray journalLine(const QJsonObject &entry)
{
    return QJsonDocument(entry).toJson(QJsonDocument::Compact) + '\n';
}

} // namespace

class LabelPrintingTest : public WindowTest
{
    Q_OBJECT

private slots:
    void paintedLabelScansAsTheNodesLabel_data();
    void paintedLabelScansAsTheNodesLabel();
    void missingPrinterIsSaidAndJournalledWhileTheNodeStays();
    void historyAsksForTheLabelOfAUnit_data();
    void historyAsksForTheLabelOfAUnit();
};

void LabelPrintingTest::paintedLabelScansAsTheNodesLabel_data()
{
    QTest::addColumn<Node>("node");
    QTest::addColumn<QString>("profileId");
    QTest::addColumn<double>("width");
    QTest::addColumn<double>("height");
    QTest::addColumn<double>("dotsPerMm");

    // 12 dots per millimetre is a 300 dpi label printer, 8 the common 203 dpi one.
    QTest::newRow("LoRa 50 x 30, 300 dpi")
        << sampleNode(Node::LoRaOTAA) << QStringLiteral("01230456") << 50.0 << 30.0 << 12.0;
    QTest::newRow("LoRa 25 x 15, 203 dpi") << sampleNode(Node::Pellimar5D) << QString() << 25.0 << 15.0 << 8.0;
    QTest::newRow("SigFox 50 x 30, 203 dpi") << sigfoxNode() << QString() << 50.0 << 30.0 << 8.0;
    QTest::newRow("SigFox 100 x 60, 300 dpi") << sigfoxNode() << QString() << 100.0 << 60.0 << 12.0;
}

void LabelPrintingTest::paintedLabelScansAsTheNodesLabel()
{
    QFETCH(Node, node);
    QFETCH(QString, profileId);
    QFETCH(double, width);
    QFETCH(double, height);
    QFETCH(double, dotsPerMm);
    if (!QrReader::hasPrograms())
        SKIP_OR_FAIL_UNDER_CI("zbarimg (zbar-tools) is needed");

    const std::optional<NodeLabel> label = NodeLabel::forNode(node, profileId, QStringLiteral("L7"), kDate);
    QVERIFY(label);
    const QImage image = LabelPrinter::image(label->layout(width, height), dotsPerMm);
    QCOMPARE(image.size(), QSize(qRound(width * dotsPerMm), qRound(height * dotsPerMm)));
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString png = dir.filePath(QStringLiteral("label.png"));
    QVERIFY(image.save(png));
    QStringList codes;
    QString error;
    QVERIFY2(QrReader::decode(png, &codes, &error), qPrintable(error));
    const QString expected = node.isSigfox() ? QStringLiteral("00C0FFEE 0123456789ABCDEF")
                                             : QStringLiteral("LW:D0:0004A30B001C0A00:70B3D57ED0000A01:%1")
                                                   .arg(profileId.isEmpty() ? QStringLiteral("00000000") : profileId);
    QCOMPARE(codes, QStringList{expected});
    QStringList orientations;
    QVERIFY2(QrReader::orientations(png, &orientations, &error), qPrintable(error));
    QCOMPARE(orientations, QStringList{QStringLiteral("UP")});
}

void LabelPrintingTest::missingPrinterIsSaidAndJournalledWhileTheNodeStays()
{
    userSettings().setValue(QStringLiteral("label/printer"), QLatin1String(kMissingPrinter));
    auto window = windowOnSimulatedPort(SimNodeProfile::forType(Node::LoRaOTAA));
    QVERIFY(window);
    auto *print = window->findChild<QAction *>(QStringLiteral("actionPrintLabel"));
    QVERIFY(print);

    // Nothing on show: nothing to print, and nothing journalled.
    const QString journalPath = CommissioningJournal::defaultFilePath();
    const int entriesBefore = CommissioningJournal(journalPath).entries().size();
    print->trigger();
    QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("No node is on show to print a label for"));
    QCOMPARE(CommissioningJournal(journalPath).entries().size(), entriesBefore);

    DialogDriver driver;
    loginAndBoot(driver);
    QTRY_COMPARE_WITH_TIMEOUT(window->session()->state(), CommissioningSession::State::NodeShown, kLinkWaitMs);
    print->trigger();
    auto *problem = namedChild<QLabel>(window.get(), "labelProblemLabel");
    QVERIFY(problem->isVisible());
    const QString said = problem->text();
    QVERIFY2(said.startsWith(QStringLiteral("Label not printed for 70B3D57ED0000A01: ")), qPrintable(said));
    QVERIFY2(said.contains(QLatin1String(kMissingPrinter)), qPrintable(said));

    const QJsonObject last = CommissioningJournal(journalPath).entries().last();
    QCOMPARE(last.value(QStringLiteral("event")).toString(), QStringLiteral("labelPrinted"));
    QCOMPARE(last.value(QStringLiteral("devEui")).toString(), QStringLiteral("70B3D57ED0000A01"));
    QCOMPARE(last.value(QStringLiteral("target")).toString(), QLatin1String(kMissingPrinter));
    QCOMPARE(last.value(QStringLiteral("ok")), QJsonValue(false));
    QVERIFY(last.value(QStringLiteral("failure")).toString().contains(QLatin1String(kMissingPrinter)));

    // Commissioning goes on: the node stays on show, ready to be registered.
    QCOMPARE(window->session()->state(), CommissioningSession::State::NodeShown);
    QVERIFY(namedChild<QPushButton>(window.get(), "registerButton")->isEnabled());
    QCOMPARE(driver.unexpectedCount(), 0);
}

void LabelPrintingTest::historyAsksForTheLabelOfAUnit_data()
{
    QTest::addColumn<QString>("identifier");
    QTest::addColumn<QString>("joinEui"); // the node asked for; empty when none is
    QTest::addColumn<QString>("status"); // part of the status line when none is

    QTest::newRow("LoRa node with its JoinEUI journalled")
        << QStringLiteral("70B3D57ED0000A01") << QStringLiteral("0004A30B001C0A00") << QString();
    QTest::newRow("LoRa node read before the JoinEUI was journalled")
        << QStringLiteral("70B3D57ED0000A02") << QString() << QStringLiteral("holds no JoinEUI");
    QTest::newRow("SigFox node: the PAC is never journalled")
        << QStringLiteral("C0FFEE") << QString() << QStringLiteral("keeps no PAC");
}

void LabelPrintingTest::historyAsksForTheLabelOfAUnit()
{
    QFETCH(QString, identifier);
    QFETCH(QString, joinEui);
    QFETCH(QString, status);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("journal.jsonl"));
    const QString time = QStringLiteral("2026-12-09T10:00:00.000Z");
    QVERIFY(writeTestFile(path,
        journalLine({{"event", "nodeRead"}, {"devEui", "70B3D57ED0000A01"}, {"port", "/dev/ttyUSB0"}, {"type", 2},
            {"joinEui", "0004A30B001C0A00"}, {"time", time}})
            + journalLine({{"event", "nodeRead"}, {"devEui", "70B3D57ED0000A02"}, {"port", "/dev/ttyUSB1"}, {"type", 2},
                {"time", time}})
            + journalLine({{"event", "nodeRead"}, {"sigfoxId", "00C0FFEE"}, {"port", "/dev/ttyUSB2"}, {"type", 3},
                {"time", time}})));
    HistoryWindow history(path);
    QTRY_VERIFY_WITH_TIMEOUT(history.isLoaded(), kLinkWaitMs);
    int row = -1;
    for (int i = 0; i < history.model()->rows().size(); ++i) {
        if (history.model()->rows().at(i).identifier == identifier)
            row = i;
    }
    QVERIFY2(row >= 0, qPrintable(identifier));

    QSignalSpy asked(&history, &HistoryWindow::labelRequested);
    QCOMPARE(history.printLabelOf(row), !joinEui.isEmpty());
    QCOMPARE(asked.size(), joinEui.isEmpty() ? 0 : 1);
    if (joinEui.isEmpty()) {
        auto *statusLabel = namedChild<QLabel>(&history, "statusLabel");
        QVERIFY2(statusLabel->text().contains(status), qPrintable(statusLabel->text()));
        return;
    }
    const Node node = asked.first().first().value<Node>();
    QCOMPARE(node.appId, joinEui);
    QCOMPARE(node.identity(), identifier);
    QCOMPARE(node.firmwareType, Node::LoRaOTAA);
    QCOMPARE(LabelCode::labelTextFor(node), QStringLiteral("LW:D0:%1:%2:00000000").arg(joinEui, identifier));
}

IOT_APP_TEST_MAIN(LabelPrintingTest)
#include "tst_labelprinting.moc"
