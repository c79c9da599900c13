#include "labelcode.h"
#include "labelpdf.h"
#include "nodelabel.h"
#include "prerequisite.h"
#include "qrreader.h"

#include <QFile>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <sys/resource.h>

namespace {

const QString kJoinEui = QStringLiteral("70B3D57ED0000000");
const QString kDevEui = QStringLiteral("70B3D57ED0000A01");
const QString kSigfoxId = QStringLiteral("00C0FFEE");
const QString kPac = QStringLiteral("0123456789ABCDEF");
const QDate kDate(2026, 12, 9);

Node loraNode(const QString &devEui = QStringLiteral("70:B3:D5:7E:D0:00:0A:01"), const QString &joinEui = kJoinEui)
{
    Node node;
    node.firmwareType = Node::LoRaOTAA5D;
    node.euid = devEui;
    node.appId = joinEui;
    return node;
}

Node sigfoxNode(const QString &pac = kPac)
{
    Node node;
    node.firmwareType = Node::SigFox;
    node.euid = kSigfoxId;
    node.pac = pac;
    return node;
}

} // namespace

class NodeLabelTest : public QObject
{
    Q_OBJECT

private slots:
    void labelTextIsReadBackAsTheNodesLabel_data();
    void labelTextIsReadBackAsTheNodesLabel();
    void layoutStaysOnTheLabel_data();
    void layoutStaysOnTheLabel();
    void pdfLabelScansAsTheNodesLabel_data();
    void pdfLabelScansAsTheNodesLabel();
    void pdfThatCannotBeWrittenSaysWhy();
};

void NodeLabelTest::labelTextIsReadBackAsTheNodesLabel_data()
{
    QTest::addColumn<Node>("node");
    QTest::addColumn<QString>("profileId");
    QTest::addColumn<QString>("expected"); // empty: no label can be made

    QTest::newRow("LoRa, DevEUI with colons")
        << loraNode() << QStringLiteral("01230456") << QStringLiteral("LW:D0:%1:%2:01230456").arg(kJoinEui, kDevEui);
    QTest::newRow("LoRa, lower case, lower-case profile id")
        << loraNode(QStringLiteral("70:b3:d5:7e:d0:00:0a:01"), QStringLiteral("70b3d57ed0000000"))
        << QStringLiteral("0123abcd") << QStringLiteral("LW:D0:%1:%2:0123ABCD").arg(kJoinEui, kDevEui);
    QTest::newRow("LoRa, profile names no label profile id")
        << loraNode() << QString() << QStringLiteral("LW:D0:%1:%2:00000000").arg(kJoinEui, kDevEui);
    QTest::newRow("SigFox: ID and PAC") << sigfoxNode() << QString() << kSigfoxId + QLatin1Char(' ') + kPac;
    QTest::newRow("SigFox ID reported without its leading zeros") << [] {
        Node node = sigfoxNode();
        node.euid = QStringLiteral("C0FFEF");
        return node;
    }() << QString() << QStringLiteral("00C0FFEF ") + kPac;
    QTest::newRow("LoRa without JoinEUI") << loraNode(kDevEui, QString()) << QString() << QString();
    QTest::newRow("LoRa, DevEUI one digit short") << loraNode(kDevEui.left(15)) << QString() << QString();
    QTest::newRow("LoRa, profile id not hex") << loraNode() << QStringLiteral("0123045G") << QString();
    QTest::newRow("SigFox without PAC") << sigfoxNode(QString()) << QString() << QString();
}

void NodeLabelTest::labelTextIsReadBackAsTheNodesLabel()
{
    QFETCH(Node, node);
    QFETCH(QString, profileId);
    QFETCH(QString, expected);

    const QString text = LabelCode::labelTextFor(node, profileId);
    QCOMPARE(text, expected);
    QString error;
    const std::optional<NodeLabel> label = NodeLabel::forNode(node, profileId, QStringLiteral("L7"), kDate, &error);
    QCOMPARE(label.has_value(), !expected.isEmpty());
    if (expected.isEmpty()) {
        QVERIFY(!error.isEmpty());
        return;
    }
    QCOMPARE(label->codeText(), expected);
    // What the station's scanner makes of the printed code is this node's label, for the profile's id.
    const LabelMatch match = LabelCode::parse(text).match(node, profileId);
    QVERIFY2(match.matches, qPrintable(match.text));
    QVERIFY(label->lines().contains(QStringLiteral("LOT L7")));
    QVERIFY(label->lines().contains(QStringLiteral("2026-12-09")));
    // The identifier in text, as a person reads it off the label.
    QCOMPARE(label->lines().mid(1, 2).join(QString()),
        node.isSigfox() ? expected.section(QLatin1Char(' '), 0, 0) + QStringLiteral("PAC") : kDevEui);
}

void NodeLabelTest::layoutStaysOnTheLabel_data()
{
    QTest::addColumn<Node>("node");
    QTest::addColumn<double>("width");
    QTest::addColumn<double>("height");
    QTest::addColumn<double>("expectedWidth");
    QTest::addColumn<double>("expectedHeight");

    QTest::newRow("LoRa 50 x 30") << loraNode() << 50.0 << 30.0 << 50.0 << 30.0;
    QTest::newRow("SigFox 50 x 30") << sigfoxNode() << 50.0 << 30.0 << 50.0 << 30.0;
    QTest::newRow("LoRa, smallest") << loraNode() << 25.0 << 15.0 << 25.0 << 15.0;
    QTest::newRow("SigFox, long and flat") << sigfoxNode() << 100.0 << 15.0 << 100.0 << 15.0;
    QTest::newRow("LoRa, tall") << loraNode() << 30.0 << 100.0 << 30.0 << 100.0;
    QTest::newRow("too small is drawn at the smallest") << loraNode() << 5.0 << 2.0 << 25.0 << 15.0;
    QTest::newRow("too large is drawn at the largest") << sigfoxNode() << 900.0 << 900.0 << 150.0 << 100.0;
}

void NodeLabelTest::layoutStaysOnTheLabel()
{
    QFETCH(Node, node);
    QFETCH(double, width);
    QFETCH(double, height);
    QFETCH(double, expectedWidth);
    QFETCH(double, expectedHeight);

    const std::optional<NodeLabel> label
        = NodeLabel::forNode(node, QString(), QStringLiteral("a lot with a very long name indeed 2026"), kDate);
    QVERIFY(label);
    const NodeLabel::Layout layout = label->layout(width, height);
    QCOMPARE(layout.widthMm, expectedWidth);
    QCOMPARE(layout.heightMm, expectedHeight);
    const QRectF page(0, 0, layout.widthMm, layout.heightMm);
    QVERIFY(page.contains(layout.qrArea));
    QVERIFY(!layout.darkModules.isEmpty());
    // The code keeps its quiet zone: no module reaches the edge of its area.
    for (const QRectF &module : layout.darkModules)
        QVERIFY(layout.qrArea.adjusted(0.1, 0.1, -0.1, -0.1).contains(module));
    QCOMPARE(layout.texts.size(), label->lines().size());
    double previousBaseline = 0;
    for (const NodeLabel::Text &text : layout.texts) {
        QVERIFY2(text.baseline.x() >= layout.qrArea.right(), qPrintable(text.text));
        QVERIFY2(text.baseline.x() + text.widthMm <= layout.widthMm, qPrintable(text.text));
        QVERIFY2(
            text.baseline.y() - text.sizeMm * 0.75 >= 0 && text.baseline.y() <= layout.heightMm, qPrintable(text.text));
        QVERIFY2(text.sizeMm >= 1.0, qPrintable(text.text));
        // Lines do not run into each other: a line's capitals stay below the previous baseline.
        QVERIFY2(text.baseline.y() - text.sizeMm * 0.75 >= previousBaseline, qPrintable(text.text));
        previousBaseline = text.baseline.y();
    }
}

void NodeLabelTest::pdfLabelScansAsTheNodesLabel_data()
{
    QTest::addColumn<Node>("node");
    QTest::addColumn<QString>("profileId");
    QTest::addColumn<double>("width");
    QTest::addColumn<double>("height");

    QTest::newRow("LoRa, 50 x 30") << loraNode() << QStringLiteral("01230456") << 50.0 << 30.0;
    QTest::newRow("LoRa, 25 x 15") << loraNode() << QStringLiteral("01230456") << 25.0 << 15.0;
    QTest::newRow("SigFox, 50 x 30") << sigfoxNode() << QString() << 50.0 << 30.0;
    QTest::newRow("SigFox, 100 x 60") << sigfoxNode() << QString() << 100.0 << 60.0;
}

void NodeLabelTest::pdfLabelScansAsTheNodesLabel()
{
    QFETCH(Node, node);
    QFETCH(QString, profileId);
    QFETCH(double, width);
    QFETCH(double, height);
    if (!QrReader::hasPrograms())
        SKIP_OR_FAIL_UNDER_CI("zbarimg (zbar-tools) and pdftoppm (poppler-utils) are needed");

    const std::optional<NodeLabel> label = NodeLabel::forNode(node, profileId, QStringLiteral("L(7)\\"), kDate);
    QVERIFY(label);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString pdf = dir.filePath(QStringLiteral("label.pdf"));
    QString error;
    QVERIFY2(LabelPdf::write(label->layout(width, height), pdf, &error), qPrintable(error));

    // Read back as a scanner reads a printed label: exactly the node's label text, nothing else.
    const QString png = dir.filePath(QStringLiteral("label.png"));
    QVERIFY2(QrReader::pdfToPng(pdf, png, 600, &error), qPrintable(error));
    QStringList codes;
    QVERIFY2(QrReader::decode(png, &codes, &error), qPrintable(error));
    QCOMPARE(codes, QStringList{LabelCode::labelTextFor(node, profileId)});
    QStringList orientations;
    QVERIFY2(QrReader::orientations(png, &orientations, &error), qPrintable(error));
    QCOMPARE(orientations, QStringList{QStringLiteral("UP")});

    // The page has the label's size and its texts are real text, parentheses and backslash of the lot intact.
    QString info;
    QVERIFY2(QrReader::run(QStringLiteral("pdfinfo"), {pdf}, &info, &error), qPrintable(error));
    const QRegularExpressionMatch size
        = QRegularExpression(QStringLiteral("Page size:\\s+([\\d.]+) x ([\\d.]+) pts")).match(info);
    QVERIFY2(size.hasMatch(), qPrintable(info));
    QVERIFY2(qAbs(size.captured(1).toDouble() - width * 72 / 25.4) < 0.01, qPrintable(info));
    QVERIFY2(qAbs(size.captured(2).toDouble() - height * 72 / 25.4) < 0.01, qPrintable(info));
    QString text;
    QVERIFY2(QrReader::run(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")}, &text, &error), qPrintable(error));
    for (const QString &line : label->lines())
        QVERIFY2(text.contains(line), qPrintable(line + QStringLiteral(" in ") + text));
}

void NodeLabelTest::pdfThatCannotBeWrittenSaysWhy()
{
    const std::optional<NodeLabel> label = NodeLabel::forNode(loraNode(), QString(), QString(), kDate);
    QVERIFY(label);
    QString error;
    QVERIFY(!LabelPdf::write(label->layout(), QStringLiteral("/nonexistent/labels/x.pdf"), &error));
    QVERIFY2(error.contains(QStringLiteral("/nonexistent/labels/x.pdf")), qPrintable(error));

    QTemporaryDir directory;
    const QString earlier = directory.filePath(QStringLiteral("70B3D57ED0000A01.pdf"));
    {
        QFile file(earlier);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("%PDF-1.4 an earlier label");
    }
    // A disk that takes only part of the label (a file size limit stands in for a full disk): failed, and
    // the label that was there stays whole.
    {
        struct rlimit before
        {
        };
        QVERIFY(getrlimit(RLIMIT_FSIZE, &before) == 0);
        const auto restore = qScopeGuard([&before] { setrlimit(RLIMIT_FSIZE, &before); });
        std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = before;
        small.rlim_cur = 512;
        QVERIFY(setrlimit(RLIMIT_FSIZE, &small) == 0);
        error.clear();
        QVERIFY(!LabelPdf::write(label->layout(), earlier, &error));
    }
    QVERIFY2(error.contains(earlier), qPrintable(error));
    QFile kept(earlier);
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), QByteArray("%PDF-1.4 an earlier label"));

    // A link in the label's place is not followed: its target stays as it was.
    const QString victim = directory.filePath(QStringLiteral("victim.txt"));
    {
        QFile file(victim);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("not a label");
    }
    const QString link = directory.filePath(QStringLiteral("70B3D57ED0000A02.pdf"));
    QVERIFY(QFile::link(victim, link));
    error.clear();
    QVERIFY(!LabelPdf::write(label->layout(), link, &error));
    QVERIFY2(error.contains(QStringLiteral("not a regular file")), qPrintable(error));
    QFile untouched(victim);
    QVERIFY(untouched.open(QIODevice::ReadOnly));
    QCOMPARE(untouched.readAll(), QByteArray("not a label"));
}

QTEST_GUILESS_MAIN(NodeLabelTest)
#include "tst_nodelabel.moc"
