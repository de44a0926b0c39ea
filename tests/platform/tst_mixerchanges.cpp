#include <QtTest>
#include <thread>

#include "platform/mixerchanges.h"

using namespace veruziva;

// The change messages' plumbing: which controls differ since the last look, and wake-ups from
// any thread that come to the opening thread as one pump.
class TestMixerChanges : public QObject {
    Q_OBJECT

private slots:
    void trackerReportsWhatDiffers_data();
    void trackerReportsWhatDiffers();
    void wakeUpsCoalesceIntoOnePump();
    void closedFromInsideItsPump();
};

void TestMixerChanges::trackerReportsWhatDiffers_data() {
    QTest::addColumn<ControlValues>("before");
    QTest::addColumn<ControlValues>("after");
    QTest::addColumn<std::vector<std::uint32_t>>("changed");
    const ControlValues line{{1, {100, 100}}, {2, {0}}, {5, {1, 0, 0}}};
    QTest::newRow("nothing moved") << line << line << std::vector<std::uint32_t>{};
    ControlValues right = line;
    right[1] = {100, 99};
    QTest::newRow("one channel of a volume") << line << right << std::vector<std::uint32_t>{1};
    ControlValues selector = line;
    selector[5] = {0, 1, 0};
    selector[2] = {1};
    QTest::newRow("a mute and a selector, in id order")
        << line << selector << std::vector<std::uint32_t>{2, 5};
    ControlValues vanished = line;
    vanished.erase(2);
    QTest::newRow("a control vanished") << line << vanished << std::vector<std::uint32_t>{2};
    QTest::newRow("every control vanished")
        << line << ControlValues{} << std::vector<std::uint32_t>{1, 2, 5};
    ControlValues added = line;
    added[3] = {7};
    added[9] = {7};
    QTest::newRow("controls come") << line << added << std::vector<std::uint32_t>{3, 9};
    ControlValues fewer = line;
    fewer[5] = {1, 0};
    QTest::newRow("fewer items") << line << fewer << std::vector<std::uint32_t>{5};
}

void TestMixerChanges::trackerReportsWhatDiffers() {
    QFETCH(ControlValues, before);
    QFETCH(ControlValues, after);
    QFETCH(std::vector<std::uint32_t>, changed);
    ControlValueTracker tracker;
    tracker.reset(before);
    QCOMPARE(tracker.update(after), changed);
    QCOMPARE(tracker.update(after), std::vector<std::uint32_t>{});  // and remembers them
}

void TestMixerChanges::wakeUpsCoalesceIntoOnePump() {
    int pumps = 0;
    auto* watch = new MixerChangeWatch([&pumps] { ++pumps; });
    // A burst of events from the sound server's thread and from this one.
    std::thread server([watch] {
        for (int i = 0; i < 500; ++i) {
            watch->wake();
        }
    });
    for (int i = 0; i < 500; ++i) {
        watch->wake();
    }
    server.join();
    QCOMPARE(pumps, 0);  // never inside the call
    QCoreApplication::processEvents();
    QCOMPARE(pumps, 1);
    QCoreApplication::processEvents();
    QCOMPARE(pumps, 1);
    watch->wake();  // a later event reads again
    QCoreApplication::processEvents();
    QCOMPARE(pumps, 2);
    watch->wake();
    watch->close();  // closed with a wake-up on its way: no pump after
    QCoreApplication::processEvents();
    QCOMPARE(pumps, 2);
}

void TestMixerChanges::closedFromInsideItsPump() {
    int pumps = 0;
    MixerChangeWatch* watch = nullptr;
    watch = new MixerChangeWatch([&] {
        ++pumps;
        watch->wake();  // a change made while closing
        watch->close();
    });
    watch->wake();
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    QCOMPARE(pumps, 1);
}

QTEST_GUILESS_MAIN(TestMixerChanges)
#include "tst_mixerchanges.moc"
