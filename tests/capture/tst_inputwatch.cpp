#include <QtTest>
#include <optional>

#include "capture/inputwatch.h"

using namespace veruziva;
using namespace std::chrono_literals;

// The stall is reported when the limit (2 s) has passed since the last block, not later: the
// watch's timer runs on a clock the test moves by hand.
class TestInputWatch : public QObject {
    Q_OBJECT

private slots:
    void stallAtTheLimitAfterTheLastBlock_data();
    void stallAtTheLimitAfterTheLastBlock();
};

void TestInputWatch::stallAtTheLimitAfterTheLastBlock_data() {
    QTest::addColumn<QList<int>>("blocks");  // ms after the start
    QTest::addColumn<int>("stallAt");        // ms after the start
    QTest::newRow("no block at all") << QList<int>{} << 2000;
    QTest::newRow("one block late in the first period") << QList<int>{1500} << 3500;
    QTest::newRow("a block a tenth of a second") << QList<int>{100, 200, 300, 400, 500} << 2500;
    QTest::newRow("a block just before the timer runs out") << QList<int>{1999} << 3999;
    QTest::newRow("blocks past the first period") << QList<int>{1000, 2500, 4100} << 6100;
}

void TestInputWatch::stallAtTheLimitAfterTheLastBlock() {
    QFETCH(QList<int>, blocks);
    QFETCH(int, stallAt);
    using Clock = InputWatch::Clock;
    const Clock::time_point start{std::chrono::hours(1)};
    Clock::time_point now = start;
    std::optional<Clock::time_point> due;
    int stalls = 0;
    int resumes = 0;
    InputWatch watch([&] { ++stalls; }, [&] { ++resumes; });
    watch.setTiming({[&] { return now; }, [&](std::chrono::milliseconds in) { due = now + in; },
                     [&] { due.reset(); }});
    // Moves the clock on to `ms` after the start, running the timer where it runs out.
    const auto runUntil = [&](int ms) {
        const Clock::time_point until = start + std::chrono::milliseconds(ms);
        while (due && *due <= until) {
            now = *due;
            due.reset();
            watch.timedOut();
        }
        now = until;
    };
    watch.setRunning(true);
    for (const int ms : blocks) {
        runUntil(ms);
        watch.blockArrived();
    }
    runUntil(stallAt - 1);
    QCOMPARE(stalls, 0);
    runUntil(stallAt);
    QCOMPARE(stalls, 1);
    QVERIFY(watch.stalled());
    runUntil(stallAt + 10'000);  // said once
    QCOMPARE(stalls, 1);
    watch.blockArrived();
    QCOMPARE(resumes, 1);
    runUntil(stallAt + 12'000);  // and again 2 s after that block
    QCOMPARE(stalls, 2);
    watch.setRunning(false);  // stopped: nothing is stale
    watch.blockArrived();
    runUntil(stallAt + 60'000);
    QCOMPARE(stalls, 2);
}

QTEST_GUILESS_MAIN(TestInputWatch)
#include "tst_inputwatch.moc"
