#include "sharedhistory.h"

#include "shareddatabase.h"

#include <QAtomicInt>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

QAtomicInt connectionCount;

// The bench names as shown: a name two benches share gets the start of each id.
bool readBenches(QSqlDatabase &database, QHash<QString, QString> *names, QSqlError *error)
{
    QSqlQuery query(database);
    if (!query.exec(QStringLiteral("SELECT id, name FROM benches ORDER BY id"))) {
        *error = query.lastError();
        return false;
    }
    QHash<QString, int> uses;
    QVector<QPair<QString, QString>> benches;
    while (query.next()) {
        benches.append({query.value(0).toString(), SharedDatabase::shownBenchName(query.value(1).toString())});
        ++uses[benches.last().second];
    }
    for (const auto &bench : benches)
        names->insert(bench.first,
            uses.value(bench.second) > 1 ? QStringLiteral("%1 (%2)").arg(bench.second, bench.first.left(8))
                                         : bench.second);
    return true;
}

} // namespace

bool SharedHistory::read(
    const DatabaseAddress &address, const QString &password, JournalHistory *history, QString *problem)
{
    QString ignored;
    if (!problem)
        problem = &ignored;
    const QString connectionName = QStringLiteral("sharedhistory-%1").arg(connectionCount.fetchAndAddRelaxed(1));
    bool read = false;
    {
        QSqlDatabase database = SharedDatabase::open(connectionName, address, password, problem);
        if (!database.isValid())
            return false;
        const int version = SharedDatabase::schemaVersion(database);
        if (version < 0) {
            *problem = SharedDatabase::describe(database.lastError(), address);
        } else if (version > SharedDatabase::latestSchemaVersion()) {
            *problem = QStringLiteral("the shared database %1 has schema version %2, newer than this tool knows "
                                      "(%3); update the tool")
                           .arg(address.displayName())
                           .arg(version)
                           .arg(SharedDatabase::latestSchemaVersion());
        } else if (version == 0) {
            read = true; // no bench has forwarded anything yet
        } else {
            QHash<QString, QString> benchNames;
            QSqlError error;
            QSqlQuery query(database);
            query.setForwardOnly(true);
            if (!readBenches(database, &benchNames, &error)
                || !query.exec(QStringLiteral("SELECT bench_id, body::text FROM entries ORDER BY time, bench_id, seq")))
                *problem = SharedDatabase::describe(error.isValid() ? error : query.lastError(), address);
            else {
                while (query.next())
                    history->addEntry(QJsonDocument::fromJson(query.value(1).toString().toUtf8()).object(),
                        benchNames.value(query.value(0).toString()));
                read = query.lastError().type() == QSqlError::NoError;
                if (!read)
                    *problem = SharedDatabase::describe(query.lastError(), address);
            }
        }
    }
    SharedDatabase::close(connectionName);
    if (read)
        problem->clear();
    return read;
}
