#include "pacing.h"

#include <QTest>

#include <iterator>

// The pauses and time-outs the nodes and the registration server are built for, written out as the protocol
// publishes them, so that a changed default shows here rather than as a node that misses a line in the field.
class TestPacing : public QObject
{
    Q_OBJECT
private slots:
    void defaultsAreThePublishedFigures_data();
    void defaultsAreThePublishedFigures();
    void scaledShortensEveryPauseButTheNodesOwnNeeds_data();
    void scaledShortensEveryPauseButTheNodesOwnNeeds();
    void scaledKeepsTheReplyWindowFloor();
};

namespace {
struct Field
{
    const char *name;
    qint64 Pacing::*wide;
    int Pacing::*narrow;
};

qint64 valueOf(const Pacing &pacing, const Field &field)
{
    return field.wide ? pacing.*(field.wide) : qint64(pacing.*(field.narrow));
}

Field narrow(const char *name, int Pacing::*member)
{
    return {name, nullptr, member};
}

Field wide(const char *name, qint64 Pacing::*member)
{
    return {name, member, nullptr};
}

// Every field of the pacing with the figure the protocol publishes for it.
const struct Published
{
    Field field;
    qint64 ms;
    bool scales; // false: the node needs it at any speed
} kPublished[] = {
    {narrow("wake pause", &Pacing::wakePauseMs), 500, true},
    {narrow("pause before a request", &Pacing::beforeRequestMs), 500, true},
    {narrow("pause before a reset", &Pacing::beforeResetMs), 2000, true},
    {narrow("hold after a read command", &Pacing::holdAfterReadMs), 1000, true},
    {wide("reply window", &Pacing::replyWindowMs), 5000, true},
    {narrow("pause between written lines", &Pacing::linePauseMs), 500, true},
    {narrow("pause before a refused line is retried", &Pacing::retryAfterFailedMs), 500, true},
    {narrow("byte pause of a settings line", &Pacing::settingsBytePauseMs), 1, false},
    {narrow("byte pause of an identifier line", &Pacing::identityBytePauseMs), 5, false},
    {wide("attempt limit of a written line", &Pacing::attemptLimitMs), 30000, true},
    {narrow("connect time-out", &Pacing::connectTimeoutMs), 30000, true},
    {narrow("port watch interval", &Pacing::portWatchIntervalMs), 1000, true},
    {narrow("boot grace of a returned port", &Pacing::returnedPortBootGraceMs), 3000, true},
    {narrow("server time-out", &Pacing::serverTimeoutMs), 30000, true},
    {wide("first outbox retry", &Pacing::outboxFirstRetryMs), 5000, true},
    {wide("longest outbox retry", &Pacing::outboxLongestRetryMs), 5 * 60 * 1000, true},
    {narrow("sleep confirmation on the command line", &Pacing::sleepConfirmMs), 15000, true},
    {narrow("grace of a lost port on the command line", &Pacing::portLostGraceMs), 70000, true},
    {narrow("restart after a write on the command line", &Pacing::restartAfterWriteMs), 40000, true},
};
} // namespace

void TestPacing::defaultsAreThePublishedFigures_data()
{
    QTest::addColumn<int>("index");
    for (int i = 0; i < int(std::size(kPublished)); ++i)
        QTest::newRow(kPublished[i].field.name) << i;
}

void TestPacing::defaultsAreThePublishedFigures()
{
    QFETCH(int, index);
    const Published &published = kPublished[index];
    QCOMPARE(valueOf(Pacing(), published.field), published.ms);
}

void TestPacing::scaledShortensEveryPauseButTheNodesOwnNeeds_data()
{
    defaultsAreThePublishedFigures_data();
}

void TestPacing::scaledShortensEveryPauseButTheNodesOwnNeeds()
{
    QFETCH(int, index);
    const Published &published = kPublished[index];
    const qint64 fifth = valueOf(Pacing().scaled(0.2), published.field);
    if (!published.scales) {
        QCOMPARE(fifth, published.ms);
    } else if (published.field.wide == &Pacing::replyWindowMs) {
        QCOMPARE(fifth, Pacing::kShortestReplyWindowMs);
    } else {
        QCOMPARE(fifth, published.ms / 5);
    }
    // Scaling never turns a pause into none, and a factor of one changes nothing.
    QVERIFY(valueOf(Pacing().scaled(0.00001), published.field) >= 1);
    QCOMPARE(valueOf(Pacing().scaled(1.0), published.field), published.ms);
}

void TestPacing::scaledKeepsTheReplyWindowFloor()
{
    // Above the floor the reply window scales like the rest; below it, it stops at the floor; a window already
    // shorter than the floor is not lengthened.
    QCOMPARE(Pacing().scaled(0.5).replyWindowMs, qint64(2500));
    QCOMPARE(Pacing().scaled(0.01).replyWindowMs, Pacing::kShortestReplyWindowMs);
    Pacing brief;
    brief.replyWindowMs = 400;
    QCOMPARE(brief.scaled(0.5).replyWindowMs, qint64(400));
}

QTEST_GUILESS_MAIN(TestPacing)
#include "tst_pacing.moc"
