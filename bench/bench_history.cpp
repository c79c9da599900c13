// Figures for reading a large commissioning journal: building the history's rows, and the history window until
// its table is filled. Prints figures only.
#include "benchfigures.h"
#include "historytablemodel.h"
#include "historywindow.h"
#include "journalhistory.h"
#include "quietlog.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <random>

namespace {

const int kEntries = 100000;
const int kNodes = 10000;
const int kRuns = 5;
const char *const kLots[] = {"2026-W49", "2026-W50", "2026-W51", "rework"};

// The events of one node's visit to the bench, roughly in the proportions a day's work gives.
QVector<QJsonObject> visit(std::mt19937 &random, int node, qint64 *msecs)
{
    const bool sigfox = node % 5 == 0;
    const QString identity = sigfox ? QString::number(0xC00000 + node, 16).toUpper()
                                    : QStringLiteral("70B3D57E%1").arg(node, 8, 16, QLatin1Char('0')).toUpper();
    const QString lot = QString::fromLatin1(kLots[node % 4]);
    QVector<QJsonObject> events;
    const auto event = [&](const char *name) {
        QJsonObject entry;
        entry.insert(QStringLiteral("event"), QString::fromLatin1(name));
        entry.insert(sigfox ? QStringLiteral("sigfoxId") : QStringLiteral("devEui"), identity);
        entry.insert(QStringLiteral("lot"), lot);
        *msecs += 500 + static_cast<qint64>(random() % 20000);
        entry.insert(
            QStringLiteral("time"), QDateTime::fromMSecsSinceEpoch(*msecs, Qt::UTC).toString(Qt::ISODateWithMs));
        events.append(entry);
        return &events.last();
    };
    QJsonObject *read = event("nodeRead");
    read->insert(QStringLiteral("port"), QStringLiteral("ttyACM0"));
    read->insert(QStringLiteral("type"), sigfox ? 3 : 2);
    read->insert(QStringLiteral("typeName"), sigfox ? QStringLiteral("SigFox") : QStringLiteral("LoRa OTAA"));
    read->insert(QStringLiteral("nodeVersion"), QStringLiteral("v2.4.1"));
    read->insert(QStringLiteral("moduleVersion"), QStringLiteral("1.4"));
    read->insert(QStringLiteral("loraVersion"), QStringLiteral("4.2.1"));
    read->insert(QStringLiteral("keyFingerprint"), QStringLiteral("3F2A"));
    event("labelChecked")->insert(QStringLiteral("ok"), random() % 50 != 0);
    QJsonObject *written = event("settingsWritten");
    written->insert(QStringLiteral("flags"), QJsonArray{QStringLiteral("temperature"), QStringLiteral("reportRate")});
    written->insert(QStringLiteral("result"), random() % 20 == 0 ? 3 : 2);
    QJsonObject *verified = event("verified");
    verified->insert(QStringLiteral("ok"), true);
    verified->insert(QStringLiteral("mismatches"), QJsonArray());
    event("registrationQueued");
    QJsonObject *registration = event("registration");
    registration->insert(QStringLiteral("attempt"), 1);
    registration->insert(QStringLiteral("status"), random() % 10 == 0 ? 503 : 201);
    event("nodeSleeping");
    return events;
}

QString writeJournal(const QString &path)
{
    std::mt19937 random(42);
    qint64 msecs = QDateTime(QDate(2026, 12, 1), QTime(7, 0), Qt::UTC).toMSecsSinceEpoch();
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    int written = 0;
    for (int visitNumber = 0; written < kEntries; ++visitNumber) {
        for (const QJsonObject &entry : visit(random, visitNumber % kNodes, &msecs)) {
            if (written++ == kEntries)
                break;
            file.write(QJsonDocument(entry).toJson(QJsonDocument::Compact) + '\n');
        }
    }
    return QString();
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
    const QString error = writeJournal(path);
    if (!directory.isValid() || !error.isEmpty()) {
        std::fprintf(stderr, "bench_history: cannot write the journal: %s\n", qPrintable(error));
        return 1;
    }

    QVector<double> builds;
    QVector<double> groupings;
    int entries = 0;
    int rows = 0;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer timer;
        timer.start();
        JournalHistory history;
        history.readFile(path);
        const qint64 read = timer.nsecsElapsed();
        rows = history.rows().size();
        builds << timer.nsecsElapsed() / 1e9;
        groupings << (timer.nsecsElapsed() - read) / 1e9;
        entries = history.entries().size();
    }
    std::printf("history: %d entries, %d rows, built in %.3f s, of which grouping into rows %.3f s (median of %d)\n",
        entries, rows, median(builds), median(groupings), kRuns);

    QVector<double> windows;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer timer;
        timer.start();
        HistoryWindow window(path);
        window.show();
        QSignalSpy loaded(&window, &HistoryWindow::historyLoaded);
        if (!loaded.wait(60000)) {
            std::fprintf(stderr, "bench_history: the window did not load the journal\n");
            return 1;
        }
        windows << timer.nsecsElapsed() / 1e9;
        rows = window.model()->rowCount();
    }
    std::printf("history window: %d rows in the table after %.3f s (median of %d)\n", rows, median(windows), kRuns);
    return 0;
}
