// The lot view of a large journal: from a journal of 100 000 entries to the lot view's figures and both charts
// painted, through the history window as the operator opens it. Prints figures only.
#include "benchfigures.h"
#include "historywindow.h"
#include "journalhistory.h"
#include "lotview.h"
#include "quietlog.h"
#include "unitrecords.h"

#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>

#include <cstdio>
#include <random>

namespace {

const char kBench[] = "bench_lotview";
const int kEntries = 100000;
const int kRuns = 5;
const char *const kLots[] = {"2026-W49", "2026-W50", "2026-W51", "rework"};

// One node's visit: its journal entries, and the unit record they make.
struct Visit
{
    QVector<QJsonObject> entries;
    UnitRecord record;
};

Visit visit(std::mt19937 &random, int node, qint64 *msecs)
{
    Visit result;
    const QString identity = QStringLiteral("70B3D57E%1").arg(node, 8, 16, QLatin1Char('0')).toUpper();
    const QString lot = QString::fromLatin1(kLots[node % 4]);
    const auto event = [&](const char *name) {
        QJsonObject entry;
        entry.insert(QStringLiteral("event"), QString::fromLatin1(name));
        entry.insert(QStringLiteral("devEui"), identity);
        entry.insert(QStringLiteral("lot"), lot);
        *msecs += 500 + static_cast<qint64>(random() % 20000);
        entry.insert(
            QStringLiteral("time"), QDateTime::fromMSecsSinceEpoch(*msecs, Qt::UTC).toString(Qt::ISODateWithMs));
        result.entries.append(entry);
        return &result.entries.last();
    };
    UnitRecord &record = result.record;
    record.identity = identity;
    record.lot = lot;
    // The order of a node's visit at the bench: read, write, read back, verified, label, registered, asleep. A
    // refused write or a label of another node ends the visit there.
    const auto read = [&] {
        QJsonObject *entry = event("nodeRead");
        entry->insert(QStringLiteral("port"), QStringLiteral("ttyACM0"));
        entry->insert(QStringLiteral("type"), 2);
        entry->insert(QStringLiteral("typeName"), QStringLiteral("LoRa OTAA"));
    };
    read();
    record.startMsecs = *msecs;
    const bool refused = random() % 20 == 0;
    const bool labelOk = random() % 50 != 0;
    QJsonObject *write = event("settingsWritten");
    write->insert(QStringLiteral("result"), refused ? 1 : 2);
    if (refused)
        write->insert(QStringLiteral("reason"), QStringLiteral("refused"));
    if (!refused) {
        read();
        event("verified")->insert(QStringLiteral("ok"), true);
        event("labelChecked")->insert(QStringLiteral("match"), labelOk);
        if (labelOk) {
            event("registrationQueued");
            event("registration")->insert(QStringLiteral("status"), 201);
            event("nodeSleeping");
        }
    }
    record.endMsecs = *msecs;
    record.outcome = labelOk && !refused ? UnitRecord::Outcome::Passed : UnitRecord::Outcome::Failed;
    record.failureStep = refused ? QStringLiteral("write") : !labelOk ? QStringLiteral("labelCheck") : QString();
    record.failureReason = refused ? QStringLiteral("refused") : !labelOk ? QStringLiteral("mismatch") : QString();
    return result;
}

// Writes the journal; returns the records its visits make, or an empty list when the file cannot be written.
QVector<UnitRecord> writeJournal(const QString &path)
{
    std::mt19937 random(42);
    qint64 msecs = QDateTime(QDate(2026, 12, 1), QTime(7, 0), Qt::UTC).toMSecsSinceEpoch();
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    QVector<UnitRecord> records;
    QHash<QString, int> attempts;
    int written = 0;
    for (int number = 0; written < kEntries; ++number) {
        Visit one = visit(random, number % 3000, &msecs);
        one.record.attempt = ++attempts[one.record.identity];
        for (const QJsonObject &entry : qAsConst(one.entries)) {
            if (written++ == kEntries)
                break;
            file.write(QJsonDocument(entry).toJson(QJsonDocument::Compact) + '\n');
        }
        records.append(one.record);
    }
    return records;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    installQuietLog();
    QTemporaryDir directory;
    const QString path = directory.filePath(QStringLiteral("journal.jsonl"));
    const QVector<UnitRecord> built = writeJournal(path);
    if (!directory.isValid() || built.isEmpty())
        return benchFailure(kBench, QStringLiteral("cannot write the journal"));

    // The journal must give back the units it was written from, or the figure would be of an empty view.
    JournalHistory journal;
    journal.readFile(path);
    if (UnitRecords::fromEntries(journal.entries()).size() != built.size())
        return benchFailure(kBench, QStringLiteral("the journal's units are not the ones written"));

    QVector<double> times;
    int units = 0;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer timer;
        timer.start();
        // The window reads the journal and derives its unit records on its loading thread.
        HistoryWindow window(path);
        window.resize(1024, 700);
        window.show();
        QSignalSpy loaded(&window, &HistoryWindow::historyLoaded);
        if (!window.isLoaded() && !loaded.wait(60000))
            return benchFailure(kBench, QStringLiteral("the window did not load the journal"));
        auto *lots = window.findChild<QComboBox *>(QStringLiteral("lotCombo"));
        lots->setCurrentIndex(lots->findData(QString::fromLatin1(kLots[1])));
        window.findChild<QTabWidget *>(QStringLiteral("viewTabs"))->setCurrentIndex(1);
        // Painted, charts and all.
        window.grab();
        times << timer.nsecsElapsed() / 1e9;
        units = window.lots()->statistics().units;
    }
    QVector<double> computations;
    int counted = 0;
    LotFilter everyLot;
    everyLot.allLots = true;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer timer;
        timer.start();
        const LotStatistics statistics = LotStatistics::compute(built, everyLot);
        computations << timer.nsecsElapsed() / 1e6;
        counted = statistics.units;
    }
    std::printf("lot statistics: %d records of every lot counted in %.2f ms (median of %d)\n", counted,
        median(computations), kRuns);
    std::printf("lot view: %d journal entries, %d records of lot %s shown after %.3f s (goal <= 1 s, median of %d)%s\n",
        kEntries, units, kLots[1], median(times), kRuns, "");
    return 0;
}
