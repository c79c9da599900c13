#pragma once

#include <QObject>

// A long test program whose test functions are independent of each other can be run in parts side by side:
// "--shard K/N" among its arguments runs only the functions at places K, K+N, K+2N… (from 1, in the order the
// class declares them), with initTestCase and cleanupTestCase around them as usual. Every test function is in
// exactly one part whatever is added later, so splitting a program never leaves a function out. Without
// "--shard" every function runs, as with QTest::qExec.
namespace ShardedTest {

// The test function names of `test` that part `shard` of `shards` runs, in declaration order.
QStringList functionsOf(const QObject *test, int shard, int shards);

// QTest::qExec with "--shard K/N" taken out of the arguments and replaced by the part's functions. A malformed
// "--shard" is an error (exit code 2), never the whole program run several times over.
int exec(QObject *test, int argc, char **argv);

} // namespace ShardedTest

// As QTEST_GUILESS_MAIN, for a program CTest runs in parts (iot_add_test's SHARDS).
#define IOT_SHARDED_GUILESS_TEST_MAIN(TestObject)                                                                      \
    int main(int argc, char *argv[])                                                                                   \
    {                                                                                                                  \
        QCoreApplication app(argc, argv);                                                                              \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                                       \
        TestObject tc;                                                                                                 \
        QTEST_SET_MAIN_SOURCE_PATH                                                                                     \
        return ShardedTest::exec(&tc, argc, argv);                                                                     \
    }
