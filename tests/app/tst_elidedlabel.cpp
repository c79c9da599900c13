#include "elidedlabel.h"

#include <QApplication>
#include <QHelpEvent>
#include <QTest>
#include <QToolTip>

// A label in the status bar or under the label field gives way when space is short: it is drawn cut in the
// middle, keeps its whole text, and says it whole in its tooltip.
class ElidedLabelTest : public QObject
{
    Q_OBJECT

private slots:
    void cutInTheMiddleOnlyWhenShort_data();
    void cutInTheMiddleOnlyWhenShort();
    void squeezesBelowItsText();
};

void ElidedLabelTest::cutInTheMiddleOnlyWhenShort_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("ownTip");
    QTest::addColumn<int>("room"); // the label's width as a share of what the text needs, in percent
    QTest::addColumn<bool>("elided");
    const QString profile = QStringLiteral("Profile: Harbour site test, batch 2026-12");
    QTest::newRow("room to spare") << profile << QString() << 150 << false;
    QTest::newRow("exactly enough") << profile << QString() << 100 << false;
    QTest::newRow("half the room") << profile << QString() << 50 << true;
    QTest::newRow("own tooltip kept after the text")
        << profile << QStringLiteral("/srv/profiles/harbour.json") << 50 << true;
    QTest::newRow("own tooltip that repeats the text")
        << QStringLiteral("The registration outbox cannot be used")
        << QStringLiteral("The registration outbox cannot be used") << 40 << true;
}

void ElidedLabelTest::cutInTheMiddleOnlyWhenShort()
{
    QFETCH(QString, text);
    QFETCH(QString, ownTip);
    QFETCH(int, room);
    QFETCH(bool, elided);

    ElidedLabel label;
    label.setText(text);
    label.setToolTip(ownTip);
    const int needed = label.fontMetrics().horizontalAdvance(text);
    label.resize(needed * room / 100, label.sizeHint().height());
    label.show();
    QVERIFY(QTest::qWaitForWindowExposed(&label));

    QCOMPARE(label.text(), text); // always the whole text
    QCOMPARE(label.isElided(), elided);
    const QString shown = label.shownText();
    if (!elided) {
        QCOMPARE(shown, text);
        return;
    }
    QVERIFY2(shown.contains(QChar(0x2026)), qPrintable(shown));
    QVERIFY(label.fontMetrics().horizontalAdvance(shown) <= label.contentsRect().width());
    // Both ends stay: the start says what it is, the end which one.
    QCOMPARE(shown.left(3), text.left(3));
    QCOMPARE(shown.right(3), text.right(3));

    QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), label.mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(&label, &help);
    const QString expected = ownTip.isEmpty() || ownTip == text ? text : text + QLatin1Char('\n') + ownTip;
    QTRY_COMPARE(QToolTip::text(), expected);
    QToolTip::hideText();
}

void ElidedLabelTest::squeezesBelowItsText()
{
    ElidedLabel label;
    label.setText(QStringLiteral("1 registration waiting for the server"));
    QVERIFY(label.minimumSizeHint().width() < label.sizeHint().width() / 2);
    QCOMPARE(label.sizeHint().width(), QLabel(label.text()).sizeHint().width());
    // A short text is never asked to be wider than itself.
    label.setText(QStringLiteral("L1"));
    QVERIFY(label.minimumSizeHint().width() <= label.sizeHint().width());
}

QTEST_MAIN(ElidedLabelTest)
#include "tst_elidedlabel.moc"
