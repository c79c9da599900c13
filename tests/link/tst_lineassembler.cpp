#include "lineassembler.h"
#include "replypatterns.h"

#include <QTest>

class TestLineAssembler : public QObject
{
    Q_OBJECT
private slots:
    void cutsCleanLinesFromReceivedBytes_data();
    void cutsCleanLinesFromReceivedBytes();
    void turnsInvalidUtf8IntoReplacementCharacters();
    void removesControlAndBidiFormattingCharacters_data();
    void removesControlAndBidiFormattingCharacters();
    void versionWrappedInBidiOverridesReadsAsTheBareVersion();
    void dropsOverLongLineAndDeliversTheNextOne_data();
    void dropsOverLongLineAndDeliversTheNextOne();
    void keepsLineOfExactlyTheLimit();
    void pendingBytesNeverExceedTheLimit();
    void clearForgetsHalfReceivedLine();
};

void TestLineAssembler::cutsCleanLinesFromReceivedBytes_data()
{
    QTest::addColumn<QList<QByteArray>>("feeds");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QByteArray>("pending");

    QTest::newRow("CR ends a line") << QList<QByteArray>{"cfg\r"} << QStringList{"cfg"} << QByteArray();
    QTest::newRow("CR LF leaves no LF in the next line")
        << QList<QByteArray>{"Ormix : 1.4\r\nVCOM started\r\n"} << QStringList{"Ormix : 1.4", "VCOM started"}
        << QByteArray("\n");
    QTest::newRow("line split over feeds") << QList<QByteArray>{"Commu", "nication: Pel", "limar\rDev"}
                                           << QStringList{"Communication: Pellimar"} << QByteArray("Dev");
    QTest::newRow("byte by byte") << QList<QByteArray>{"r", "r", "\r"} << QStringList{"rr"} << QByteArray();
    QTest::newRow("CR and LF in separate feeds")
        << QList<QByteArray>{"a\r", "\nb\r"} << QStringList{"a", "b"} << QByteArray();
    QTest::newRow("no CR, no line") << QList<QByteArray>{"Report rate : 60"} << QStringList{}
                                    << QByteArray("Report rate : 60");
    QTest::newRow("empty line") << QList<QByteArray>{"\r"} << QStringList{""} << QByteArray();
    QTest::newRow("white space trimmed") << QList<QByteArray>{" \tSet x ok  \r"} << QStringList{"Set x ok"}
                                         << QByteArray();
    QTest::newRow("colour around the text")
        << QList<QByteArray>{"\x1b[33mVCOM started\x1b[0m\r"} << QStringList{"VCOM started"} << QByteArray();
    QTest::newRow("colour with none, one and two digits")
        << QList<QByteArray>{"\x1b[mA\x1b[1mB\x1b[33mC\r"} << QStringList{"ABC"} << QByteArray();
    QTest::newRow("colour split over feeds")
        << QList<QByteArray>{"\x1b[3", "3mSet ok\x1b", "[0m\r"} << QStringList{"Set ok"} << QByteArray();
    QTest::newRow("colour reset between CR and LF") << QList<QByteArray>{"Ormix : 1.4\r\x1b[0m\nTavonex : v2.4.1\r"}
                                                    << QStringList{"Ormix : 1.4", "Tavonex : v2.4.1"} << QByteArray();
    QTest::newRow("blanks inside the colour sequences")
        << QList<QByteArray>{"\x1b[33m  Set ok \x1b[0m\r"} << QStringList{"Set ok"} << QByteArray();
    // Not colour sequences of the node's kind: their text stays (so the line still matches nothing), their
    // escape character goes with the other controls.
    QTest::newRow("semicolon sequence kept without its escape")
        << QList<QByteArray>{"\x1b[1;33mVCOM started\r"} << QStringList{"[1;33mVCOM started"} << QByteArray();
    QTest::newRow("three digits kept without the escape")
        << QList<QByteArray>{"\x1b[123mX\r"} << QStringList{"[123mX"} << QByteArray();
    QTest::newRow("several lines in one feed")
        << QList<QByteArray>{"Temperature : L -10 H 50\rHumidity : L 10 H 90\rPres"}
        << QStringList{"Temperature : L -10 H 50", "Humidity : L 10 H 90"} << QByteArray("Pres");
}

void TestLineAssembler::cutsCleanLinesFromReceivedBytes()
{
    QFETCH(QList<QByteArray>, feeds);
    QFETCH(QStringList, lines);
    QFETCH(QByteArray, pending);
    LineAssembler assembler;
    QStringList received;
    for (const QByteArray &feed : feeds)
        received += assembler.feed(feed);
    QCOMPARE(received, lines);
    QCOMPARE(assembler.pending(), pending);
    QCOMPARE(assembler.droppedLines(), 0);
}

void TestLineAssembler::turnsInvalidUtf8IntoReplacementCharacters()
{
    LineAssembler assembler;
    const QStringList lines = assembler.feed(QByteArray("\xff\xfe"
                                                        "A\xc3\x28 \xe2\x82\r"
                                                        "ok\r"));
    QCOMPARE(lines.size(), 2);
    QVERIFY(lines.at(0).contains(QChar(QChar::ReplacementCharacter)));
    QVERIFY(lines.at(0).contains(QLatin1Char('A')));
    QCOMPARE(lines.at(1), QStringLiteral("ok"));
}

void TestLineAssembler::removesControlAndBidiFormattingCharacters_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("line");

    const QString version = QStringLiteral("Tavonex : v2.4.1");
    QTest::newRow("right-to-left override ending a version line") << version + QChar(0x202E) << version;
    QTest::newRow("right-to-left override inside the version")
        << QStringLiteral("Tavonex : v2.\u202E1.4") << QStringLiteral("Tavonex : v2.1.4");
    const ushort bidi[]
        = {0x061C, 0x200E, 0x200F, 0x202A, 0x202B, 0x202C, 0x202D, 0x202E, 0x2066, 0x2067, 0x2068, 0x2069};
    for (const ushort u : bidi) {
        QTest::newRow(qPrintable(QStringLiteral("U+%1 inside").arg(u, 4, 16, QLatin1Char('0'))))
            << QStringLiteral("Set ") + QChar(u) + QStringLiteral("AppEui ok") << QStringLiteral("Set AppEui ok");
    }
    QTest::newRow("bidi before a blank at the start") << QStringLiteral("\u2067 VCOM started") << "VCOM started";
    QTest::newRow("NUL, bell and backspace") << QStringLiteral("Se\u0000t\u0007 A\bok") << "Set Aok";
    QTest::newRow("DEL") << QStringLiteral("VCOM\u007F started") << "VCOM started";
    QTest::newRow("control before the line's first word") << QStringLiteral("\u0001 VCOM started") << "VCOM started";
    QTest::newRow("lone escape") << QStringLiteral("a\u001Bb") << "ab";
    QTest::newRow("C1 controls") << QStringLiteral("\u0080a\u009Bb\u009F") << "ab";
    // The reply patterns read these as white space (\s), so a blank keeps the line matching as it did.
    QTest::newRow("tabs around a colon") << QStringLiteral("Tavonex\t:\tv2.4.1") << "Tavonex : v2.4.1";
    QTest::newRow("line feed, vertical tab, form feed, next line")
        << QStringLiteral("a\nb\u000Bc\u000Cd\u0085e") << "a b c d e";
    QTest::newRow("ordinary non-ASCII text stays") << QStringLiteral("Ormix : 1.4 \u00E9\u00FC \u2013 \u20AC \uFFFD")
                                                   << QStringLiteral("Ormix : 1.4 \u00E9\u00FC \u2013 \u20AC \uFFFD");
}

void TestLineAssembler::removesControlAndBidiFormattingCharacters()
{
    QFETCH(QString, text);
    QFETCH(QString, line);
    LineAssembler assembler;
    QCOMPARE(assembler.feed(text.toUtf8() + '\r'), QStringList{line});
}

void TestLineAssembler::versionWrappedInBidiOverridesReadsAsTheBareVersion()
{
    LineAssembler assembler;
    const QStringList lines = assembler.feed(QStringLiteral("Tavonex   : \u202Ev2.4.1\u202C\r").toUtf8());
    QCOMPARE(lines.size(), 1);
    const QRegularExpressionMatch match = ReplyPatterns::boardVersion().match(lines.first());
    QVERIFY(match.hasMatch());
    QCOMPARE(match.captured(1), QStringLiteral("v2.4.1"));
}

void TestLineAssembler::dropsOverLongLineAndDeliversTheNextOne_data()
{
    QTest::addColumn<QList<QByteArray>>("feeds");
    const QByteArray tooLong(LineAssembler::kMaxLineBytes + 1, 'x');
    QTest::newRow("in one feed") << QList<QByteArray>{tooLong + "\rVCOM started\r"};
    QTest::newRow("growing over feeds") << QList<QByteArray>{
        QByteArray(3000, 'x'), QByteArray(3000, 'y'), QByteArray(3000, 'z'), "\rVCOM started\r"};
    QTest::newRow("first part fits, second does not")
        << QList<QByteArray>{QByteArray(LineAssembler::kMaxLineBytes, 'x'), "x\rVCOM", " started\r"};
}

void TestLineAssembler::dropsOverLongLineAndDeliversTheNextOne()
{
    QFETCH(QList<QByteArray>, feeds);
    LineAssembler assembler;
    QStringList received;
    for (const QByteArray &feed : feeds)
        received += assembler.feed(feed);
    QCOMPARE(received, QStringList{"VCOM started"});
    QCOMPARE(assembler.droppedLines(), 1);
}

void TestLineAssembler::keepsLineOfExactlyTheLimit()
{
    LineAssembler assembler;
    const QByteArray longest(LineAssembler::kMaxLineBytes, 'a');
    QStringList received = assembler.feed(longest.left(1000));
    received += assembler.feed(longest.mid(1000) + '\r');
    QCOMPARE(received.size(), 1);
    QCOMPARE(received.first().size(), LineAssembler::kMaxLineBytes);
    QCOMPARE(assembler.droppedLines(), 0);
}

void TestLineAssembler::pendingBytesNeverExceedTheLimit()
{
    LineAssembler assembler;
    const QByteArray chunk(1000, 'e');
    for (int i = 0; i < 1024; ++i) { // a mebibyte without a carriage return
        QVERIFY(assembler.feed(chunk).isEmpty());
        QVERIFY(assembler.pending().size() <= LineAssembler::kMaxLineBytes);
    }
    QCOMPARE(assembler.feed("\rok\r"), QStringList{"ok"});
    QCOMPARE(assembler.droppedLines(), 1);
    QVERIFY(assembler.pending().isEmpty());
}

void TestLineAssembler::clearForgetsHalfReceivedLine()
{
    LineAssembler assembler;
    assembler.feed("Report ra");
    assembler.clear();
    QVERIFY(assembler.pending().isEmpty());
    QCOMPARE(assembler.feed("VCOM started\r"), QStringList{"VCOM started"});

    assembler.feed(QByteArray(LineAssembler::kMaxLineBytes + 10, 'x')); // now discarding
    assembler.clear();
    QCOMPARE(assembler.feed("cfg\r"), QStringList{"cfg"});
}

QTEST_APPLESS_MAIN(TestLineAssembler)
#include "tst_lineassembler.moc"
