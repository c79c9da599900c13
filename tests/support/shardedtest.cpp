#include "shardedtest.h"

#include <QByteArray>
#include <QMetaMethod>
#include <QRegularExpression>
#include <QTest>

#include <cstdio>
#include <vector>

namespace {
// The slots QtTest calls around the test functions rather than as test functions.
bool isFixture(const QByteArray &name)
{
    return name == "initTestCase" || name == "cleanupTestCase" || name == "init" || name == "cleanup"
        || name.endsWith("_data");
}
} // namespace

QStringList ShardedTest::functionsOf(const QObject *test, int shard, int shards)
{
    QStringList functions;
    const QMetaObject *meta = test->metaObject();
    int place = 0;
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
        const QMetaMethod method = meta->method(i);
        // QtTest runs the private slots without parameters as test functions.
        if (method.methodType() != QMetaMethod::Slot || method.access() != QMetaMethod::Private
            || method.parameterCount() != 0 || isFixture(method.name()))
            continue;
        if (place++ % shards == shard - 1)
            functions << QString::fromLatin1(method.name());
    }
    return functions;
}

int ShardedTest::exec(QObject *test, int argc, char **argv)
{
    std::vector<char *> kept;
    int shard = 0;
    int shards = 0;
    for (int i = 0; i < argc; ++i) {
        if (qstrcmp(argv[i], "--shard") != 0) {
            kept.push_back(argv[i]);
            continue;
        }
        const QRegularExpressionMatch part = QRegularExpression(QStringLiteral("^([0-9]+)/([0-9]+)$"))
                                                 .match(QString::fromLocal8Bit(i + 1 < argc ? argv[i + 1] : ""));
        shard = part.captured(1).toInt();
        shards = part.captured(2).toInt();
        if (!part.hasMatch() || shards < 1 || shard < 1 || shard > shards) {
            std::fprintf(stderr, "--shard needs K/N with 1 <= K <= N\n");
            return 2;
        }
        ++i;
    }
    if (shards == 0)
        return QTest::qExec(test, argc, argv);
    const QStringList functions = functionsOf(test, shard, shards);
    if (functions.isEmpty()) {
        std::printf("part %d of %d has no test functions\n", shard, shards);
        return 0;
    }
    std::vector<QByteArray> names;
    names.reserve(functions.size());
    for (const QString &function : functions)
        names.push_back(function.toLatin1());
    for (QByteArray &name : names)
        kept.push_back(name.data());
    return QTest::qExec(test, static_cast<int>(kept.size()), kept.data());
}
