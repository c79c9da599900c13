// The shared database on a local PostgreSQL server of the bench's own (default durability): how fast two benches'
// journals of 100 000 entries in all are forwarded, how long an entry takes from the journal to its row on an
// idle bench, and how long the database takes to give a lot's units over all benches. Prints figures only.
#include "benchfigures.h"
#include "journalforwarder.h"
#include "postgresserver.h"
#include "shareddatabase.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>
#include <QVector>

#include <cstdio>

namespace {

const char kBench[] = "bench_shareddatabase";
const int kEntries = 100000; // over both benches
const int kDelayRuns = 11;
const int kLotRuns = 5;
const char *const kLots[] = {"2026-W49", "2026-W50", "2026-W51", "rework"};

QByteArray line(const char *event, const QString &identity, const QString &lot, qint64 msecs, const QString &bench)
{
    QJsonObject entry{{QStringLiteral("event"), QLatin1String(event)}, {QStringLiteral("devEui"), identity},
        {QStringLiteral("lot"), lot},
        {QStringLiteral("time"), QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC).toString(Qt::ISODateWithMs)}};
    if (qstrcmp(event, "nodeRead") == 0) {
        entry.insert(QStringLiteral("port"), QStringLiteral("ttyACM0"));
        entry.insert(QStringLiteral("bench"), bench);
    } else if (qstrcmp(event, "registration") == 0) {
        entry.insert(QStringLiteral("status"), 201);
        entry.insert(QStringLiteral("attempt"), 1);
    }
    return QJsonDocument(entry).toJson(QJsonDocument::Compact) + '\n';
}

// A journal of `units` nodes read, registered and put to sleep, three entries each.
bool writeJournal(const QString &path, int units, int first, const QString &bench)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    qint64 msecs = QDateTime(QDate(2026, 12, 1), QTime(6, 0), Qt::UTC).toMSecsSinceEpoch();
    for (int unit = first; unit < first + units; ++unit) {
        const QString identity = QStringLiteral("70B3D57E%1").arg(unit, 8, 16, QLatin1Char('0')).toUpper();
        const QString lot = QString::fromLatin1(kLots[unit % 4]);
        file.write(line("nodeRead", identity, lot, msecs += 4000, bench));
        file.write(line("registration", identity, lot, msecs += 900, bench));
        file.write(line("nodeSleeping", identity, lot, msecs += 300, bench));
    }
    return file.flush();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    if (PostgresServer::programDirectory().isEmpty())
        return benchFailure(kBench, QStringLiteral("no PostgreSQL server installed"));
    PostgresServer server(QStringList{});
    if (!server.start() || !server.createDatabase(QStringLiteral("bench")))
        return benchFailure(kBench, server.errorString());
    const DatabaseAddress address = DatabaseAddress::parse(server.url(QStringLiteral("bench")), nullptr);
    const QString password = QLatin1String(PostgresServer::kPassword);
    QTemporaryDir north, south;
    const int unitsPerBench = kEntries / 2 / 3;
    const QString northJournal = north.filePath(QStringLiteral("journal.jsonl"));
    const QString southJournal = south.filePath(QStringLiteral("journal.jsonl"));
    if (!writeJournal(northJournal, unitsPerBench, 0, QStringLiteral("north"))
        || !writeJournal(southJournal, unitsPerBench, unitsPerBench, QStringLiteral("south")))
        return benchFailure(kBench, QStringLiteral("cannot write the journals"));

    // Throughput: both journals sent whole, one bench after the other, with their unit records.
    QElapsedTimer timer;
    timer.start();
    JournalForwarder northBench(northJournal, address, password, QStringLiteral("north"));
    JournalForwarder southBench(southJournal, address, password, QStringLiteral("south"));
    if (!northBench.sendNow() || !southBench.sendNow())
        return benchFailure(kBench, northBench.problem() + southBench.problem());
    const double seconds = timer.nsecsElapsed() / 1e9;
    const int sent = unitsPerBench * 3 * 2;
    std::printf("%s: %d journal entries (and %d unit records) of two benches forwarded in %.2f s: %.0f entries/s "
                "(goal >= 5000/s)\n",
        kBench, sent, unitsPerBench * 2, seconds, sent / seconds);

    QString problem;
    QSqlDatabase database = SharedDatabase::open(QStringLiteral("bench"), address, password, &problem);
    if (!database.isValid())
        return benchFailure(kBench, problem);

    // Delay on an idle bench: one entry appended, its row looked for every millisecond.
    northBench.start();
    QVector<double> delays;
    QFile journal(northJournal);
    if (!journal.open(QIODevice::Append))
        return benchFailure(kBench, journal.errorString());
    qint64 sequence = unitsPerBench * 3;
    for (int run = 0; run < kDelayRuns; ++run) {
        QThread::msleep(300); // idle in between, as a bench is between two nodes
        const QString identity = QStringLiteral("70B3D57EFF%1").arg(run, 6, 10, QLatin1Char('0'));
        QElapsedTimer delay;
        delay.start();
        journal.write(line("nodeRead", identity, QStringLiteral("idle"), QDateTime::currentMSecsSinceEpoch(),
            QStringLiteral("north")));
        journal.flush();
        QSqlQuery query(database);
        query.prepare(QStringLiteral("SELECT 1 FROM entries WHERE bench_id = ? AND seq = ?"));
        query.addBindValue(northBench.benchId());
        query.addBindValue(sequence);
        while (!(query.exec() && query.next())) {
            QCoreApplication::processEvents();
            QThread::msleep(1);
            if (delay.elapsed() > 30000)
                return benchFailure(kBench, QStringLiteral("an entry did not arrive within 30 s"));
        }
        delays.append(delay.nsecsElapsed() / 1e6);
        ++sequence;
    }
    std::printf("%s: journal entry to its row on an idle bench: median %.0f ms, worst %.0f ms over %d entries (goal "
                "<= 1 s)\n",
        kBench, median(delays), *std::max_element(delays.begin(), delays.end()), kDelayRuns);

    // One lot over all benches, as a view of all benches asks for it: its units per bench with their outcomes.
    QVector<double> lotTimes;
    int units = 0;
    for (int run = 0; run < kLotRuns; ++run) {
        QElapsedTimer lot;
        lot.start();
        QSqlQuery query(database);
        query.prepare(QStringLiteral("SELECT b.name, r.identity, r.outcome, r.record FROM unit_records r JOIN benches "
                                     "b ON b.id = r.bench_id WHERE r.lot = ?"));
        query.addBindValue(QLatin1String(kLots[1]));
        if (!query.exec())
            return benchFailure(kBench, SharedDatabase::describe(query.lastError(), address));
        units = 0;
        while (query.next()) {
            QJsonDocument::fromJson(query.value(3).toByteArray());
            ++units;
        }
        lotTimes.append(lot.nsecsElapsed() / 1e6);
    }
    std::printf("%s: one lot of %d units over both benches (%d entries) read from the database with its records: "
                "median %.0f ms (goal <= 1 s; the database's part of an all-benches lot view)\n",
        kBench, units, kEntries, median(lotTimes));
    return 0;
}
