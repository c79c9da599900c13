#include "csvreader.h"
#include "historyexport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

Q_DECLARE_METATYPE(HistoryExport::Format)

namespace {

// 2026-12-08T17:07:21.488Z
const qint64 kSomeTime = 1796749641488LL;

HistoryRow trickyRow()
{
    HistoryRow row;
    row.lastMsecs = kSomeTime;
    row.identifier = QStringLiteral("70B3D57ED0000A01");
    row.lot = QStringLiteral("Lot \"7\", Ærø\r\nnorth");
    row.type = QStringLiteral("LoRa OTAA 5D");
    row.nodeVersion = QStringLiteral("v5.2.0");
    row.writes = QStringLiteral("temperature+reportRate: done; deviceId: timed out");
    row.verification = QStringLiteral("mismatches");
    row.mismatches = QStringLiteral("reportRate, humidity");
    row.labelCheck = QStringLiteral("matches");
    row.registration = QStringLiteral("refused");
    row.registrationStatus = 404;
    row.sleeping = true;
    row.events = {0, 1, 2};
    return row;
}

HistoryRow plainRow()
{
    HistoryRow row;
    row.lastMsecs = kSomeTime - 1000;
    row.identifier = QStringLiteral("C0FFEE");
    row.type = QStringLiteral("SigFox");
    row.verification = QStringLiteral("none");
    row.labelCheck = QStringLiteral("none");
    row.events = {3};
    return row;
}

} // namespace

class HistoryExportTest : public QObject
{
    Q_OBJECT

private slots:
    void csvQuotesOnlyWhatNeedsIt();
    void csvReadsBackFieldForField();
    void jsonLinesHoldOneObjectPerRow();
    void formatFollowsTheExtension_data();
    void formatFollowsTheExtension();
    void nameGetsTheChosenFormatsExtension_data();
    void nameGetsTheChosenFormatsExtension();
    void writesTheChosenFormat();
    void failsWithoutTouchingAnEarlierFile();
    void csvKeepsFormulasAsText_data();
    void csvKeepsFormulasAsText();
};

void HistoryExportTest::csvQuotesOnlyWhatNeedsIt()
{
    const QByteArray csv = HistoryExport::csv({trickyRow(), plainRow()});
    const QByteArray expected
        = "time,identifier,lot,type,nodeVersion,moduleVersion,loraVersion,writes,verification,mismatches,labelCheck,"
          "registration,registrationStatus,sleeping,events\r\n"
          "2026-12-08T17:07:21.488Z,70B3D57ED0000A01,\"Lot \"\"7\"\", \xC3\x86r\xC3\xB8  north\",LoRa OTAA "
          "5D,v5.2.0,,,"
          "temperature+reportRate: done; deviceId: timed out,mismatches,\"reportRate, humidity\",matches,refused,404,"
          "yes,3\r\n"
          "2026-12-08T17:07:20.488Z,C0FFEE,,SigFox,,,,,none,,none,,,no,1\r\n";
    QCOMPARE(csv, expected);
}

void HistoryExportTest::csvReadsBackFieldForField()
{
    const HistoryRow tricky = trickyRow();
    const QList<QStringList> records = readCsv(HistoryExport::csv({tricky, plainRow()}));
    QCOMPARE(records.size(), 3);
    QCOMPARE(records.at(0), HistoryExport::columns());
    for (const QStringList &record : records)
        QCOMPARE(record.size(), HistoryExport::columns().size());
    // The line break in the lot is a control: it leaves as a blank.
    QCOMPARE(records.at(1).at(2),
        QString(tricky.lot).replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' ')));
    QCOMPARE(records.at(1).at(9), tricky.mismatches);
    QCOMPARE(records.at(2).at(1), QStringLiteral("C0FFEE"));
}

void HistoryExportTest::jsonLinesHoldOneObjectPerRow()
{
    const QList<QByteArray> lines = HistoryExport::jsonLines({trickyRow(), plainRow()}).split('\n');
    QCOMPARE(lines.size(), 3);
    QVERIFY(lines.last().isEmpty());
    QSet<QString> columns;
    for (const QString &column : HistoryExport::columns())
        columns << column;

    QJsonParseError error;
    const QJsonObject tricky = QJsonDocument::fromJson(lines.at(0), &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    const QStringList keys = tricky.keys();
    QCOMPARE(QSet<QString>(keys.begin(), keys.end()), columns);
    QCOMPARE(tricky.value(QStringLiteral("time")).toString(), QStringLiteral("2026-12-08T17:07:21.488Z"));
    QCOMPARE(tricky.value(QStringLiteral("lot")).toString(), QStringLiteral("Lot \"7\", \u00C6r\u00F8  north"));
    QCOMPARE(tricky.value(QStringLiteral("registrationStatus")).toInt(), 404);
    QCOMPARE(tricky.value(QStringLiteral("sleeping")).toBool(false), true);
    QCOMPARE(tricky.value(QStringLiteral("events")).toInt(), 3);

    const QJsonObject plain = QJsonDocument::fromJson(lines.at(1), &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    QVERIFY(plain.value(QStringLiteral("registrationStatus")).isNull());
    QCOMPARE(plain.value(QStringLiteral("sleeping")).toBool(true), false);
}

void HistoryExportTest::formatFollowsTheExtension_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<HistoryExport::Format>("format");
    QTest::newRow("csv") << QStringLiteral("/tmp/out.csv") << HistoryExport::Csv;
    QTest::newRow("CSV in upper case") << QStringLiteral("OUT.CSV") << HistoryExport::Csv;
    QTest::newRow("jsonl") << QStringLiteral("out.jsonl") << HistoryExport::JsonLines;
    QTest::newRow("json") << QStringLiteral("a.b/out.json") << HistoryExport::JsonLines;
    QTest::newRow("text") << QStringLiteral("out.txt") << HistoryExport::Unknown;
    QTest::newRow("no extension") << QStringLiteral("csv") << HistoryExport::Unknown;
    QTest::newRow("csv only in the directory") << QStringLiteral("x.csv/out") << HistoryExport::Unknown;
}

void HistoryExportTest::formatFollowsTheExtension()
{
    QFETCH(QString, path);
    QTEST(HistoryExport::formatFor(path), "format");
}

void HistoryExportTest::nameGetsTheChosenFormatsExtension_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<HistoryExport::Format>("chosen");
    QTest::addColumn<QString>("written");
    QTest::newRow("no extension, CSV") << QStringLiteral("/tmp/out") << HistoryExport::Csv
                                       << QStringLiteral("/tmp/out.csv");
    QTest::newRow("no extension, JSON lines")
        << QStringLiteral("/tmp/out") << HistoryExport::JsonLines << QStringLiteral("/tmp/out.jsonl");
    QTest::newRow("another extension") << QStringLiteral("week.49") << HistoryExport::Csv
                                       << QStringLiteral("week.49.csv");
    QTest::newRow("dot only in the directory")
        << QStringLiteral("a.b/out") << HistoryExport::JsonLines << QStringLiteral("a.b/out.jsonl");
    QTest::newRow("json kept under CSV") << QStringLiteral("out.json") << HistoryExport::Csv
                                         << QStringLiteral("out.json");
    QTest::newRow("csv kept under JSON lines")
        << QStringLiteral("OUT.CSV") << HistoryExport::JsonLines << QStringLiteral("OUT.CSV");
}

void HistoryExportTest::nameGetsTheChosenFormatsExtension()
{
    QFETCH(QString, path);
    QFETCH(HistoryExport::Format, chosen);
    QTEST(HistoryExport::withExtension(path, chosen), "written");
}

void HistoryExportTest::writesTheChosenFormat()
{
    QTemporaryDir directory;
    QVERIFY(directory.isValid());
    const QVector<HistoryRow> rows{trickyRow(), plainRow()};
    for (const QString &name : {QStringLiteral("out.csv"), QStringLiteral("out.jsonl")}) {
        const QString path = directory.filePath(name);
        QString error;
        QVERIFY2(HistoryExport::write(path, rows, &error), qPrintable(error));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(),
            name.endsWith(QLatin1String("csv")) ? HistoryExport::csv(rows) : HistoryExport::jsonLines(rows));
    }
}

void HistoryExportTest::failsWithoutTouchingAnEarlierFile()
{
    QTemporaryDir directory;
    QVERIFY(directory.isValid());
    QString error;
    QVERIFY(!HistoryExport::write(directory.filePath(QStringLiteral("missing/out.csv")), {plainRow()}, &error));
    QVERIFY(error.contains(QStringLiteral("missing/out.csv")));

    const QString text = directory.filePath(QStringLiteral("notes.txt"));
    QVERIFY(!HistoryExport::write(text, {plainRow()}, &error));
    QVERIFY(error.contains(QStringLiteral(".csv, .jsonl or .json")));
    QVERIFY(!QFile::exists(text));

    // A directory in the way: the export fails and what was there stays.
    const QString blocked = directory.filePath(QStringLiteral("blocked.csv"));
    QVERIFY(QDir().mkpath(blocked));
    error.clear();
    QVERIFY(!HistoryExport::write(blocked, {plainRow()}, &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(QFileInfo(blocked).isDir());

    // A link to something that is not a regular file (a FIFO here, a device on a bench) is not written through.
    const QString fifo = directory.filePath(QStringLiteral("fifo"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString linked = directory.filePath(QStringLiteral("linked.csv"));
    QVERIFY(QFile::link(fifo, linked));
    error.clear();
    QVERIFY(!HistoryExport::write(linked, {plainRow()}, &error));
    QVERIFY2(error.contains(QStringLiteral("not a regular file")), qPrintable(error));
    QVERIFY(QFileInfo(fifo).exists() && !QFileInfo(fifo).isFile());

    // The journal the rows came from is never replaced by them, under its own name or through a link.
    const QString journal = directory.filePath(QStringLiteral("journal.jsonl"));
    const QByteArray entries = "{\"event\":\"nodeRead\"}\n";
    {
        QFile file(journal);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(entries);
    }
    const QString journalLink = directory.filePath(QStringLiteral("again.jsonl"));
    QVERIFY(QFile::link(journal, journalLink));
    for (const QString &target : {journal, journalLink}) {
        error.clear();
        QVERIFY(!HistoryExport::write(target, {plainRow()}, &error, journal));
        QVERIFY2(error.contains(QStringLiteral("journal")), qPrintable(error));
    }
    QFile file(journal);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), entries);
}

void HistoryExportTest::csvKeepsFormulasAsText_data()
{
    QTest::addColumn<QString>("lot");
    QTest::addColumn<QString>("nodeVersion");
    QTest::addColumn<QString>("csvLot");
    QTest::addColumn<QString>("csvNodeVersion");

    QTest::newRow("hyperlink formula as lot")
        << QStringLiteral("=HYPERLINK(\"http://x\",\"y\")") << QStringLiteral("v1")
        << QStringLiteral("'=HYPERLINK(\"http://x\",\"y\")") << QStringLiteral("v1");
    QTest::newRow("plus command as lot") << QStringLiteral("+cmd|' /C calc'!A0") << QStringLiteral("v1")
                                         << QStringLiteral("'+cmd|' /C calc'!A0") << QStringLiteral("v1");
    QTest::newRow("at sign as node text")
        << QStringLiteral("L1") << QStringLiteral("@SUM(1)") << QStringLiteral("L1") << QStringLiteral("'@SUM(1)");
    QTest::newRow("minus as node text") << QStringLiteral("L1") << QStringLiteral("-2+3") << QStringLiteral("L1")
                                        << QStringLiteral("'-2+3");
    QTest::newRow("tab before a formula")
        << QStringLiteral("\t=1+1") << QStringLiteral("v1") << QStringLiteral("'=1+1") << QStringLiteral("v1");
    QTest::newRow("right-to-left override in a lot") << QStringLiteral("Lot 7\u202E3202") << QStringLiteral("v1")
                                                     << QStringLiteral("Lot 73202") << QStringLiteral("v1");
    QTest::newRow("isolates and a bell in a node text")
        << QStringLiteral("L1") << QStringLiteral("\u2066v2\u2069\a") << QStringLiteral("L1") << QStringLiteral("v2");
}

void HistoryExportTest::csvKeepsFormulasAsText()
{
    QFETCH(QString, lot);
    QFETCH(QString, nodeVersion);
    HistoryRow row = plainRow();
    row.lot = lot;
    row.nodeVersion = nodeVersion;
    row.registrationStatus = 404;
    const QList<QStringList> records = readCsv(HistoryExport::csv({row}));
    QCOMPARE(records.size(), 2);
    QTEST(records.at(1).at(2), "csvLot");
    QTEST(records.at(1).at(4), "csvNodeVersion");
    // The numbers stay numbers.
    QCOMPARE(records.at(1).at(12), QStringLiteral("404"));
    QCOMPARE(records.at(1).at(14), QStringLiteral("1"));
    // The JSON lines carry the texts cleaned as well, but without the quote: a script evaluates no formulas.
    const QString jsonLot
        = QJsonDocument::fromJson(HistoryExport::jsonLines({row})).object().value(QStringLiteral("lot")).toString();
    QFETCH(QString, csvLot);
    QVERIFY2(QLatin1Char('\'') + jsonLot == csvLot || jsonLot == csvLot, qPrintable(jsonLot));
    for (const QChar c : jsonLot)
        QVERIFY2(c.unicode() >= 0x20 && c.unicode() != 0x202E, qPrintable(jsonLot));
}

QTEST_APPLESS_MAIN(HistoryExportTest)
#include "tst_historyexport.moc"
