#include <QtTest>
#include <stdexcept>

#include "capture/captureengine.h"
#include "instrument/blockhandler.h"
#include "platform/fatalerrors.h"
#include "platform/heldblockboxes.h"
#include "platform/sim/simwaveinput.h"
#include "support/scriptedmessageboxes.h"

using namespace veruziva;

namespace {

// A running engine over a manual in-memory card (A: 1000, B: 500), the handler with held
// boxes, and a view that logs what it is told.
struct Bench : BlockView {
    sim::SimWaveInput service;
    sim::ScriptedMessageBoxes boxes;
    HeldBlockBoxes held{boxes};
    FatalErrors fatal{boxes, [] {}};
    CaptureEngine engine{service, fatal, [](WaveInHandle, WaveInEvent) {}};
    BlockHandler blocks{*this, ",", &engine};
    QStringList log;
    std::function<void()> onMeasured;

    Bench() {
        service.addDevice("Sim card", [](std::uint64_t) { return StereoFrame{1000, 500}; });
        blocks.setHeldBoxes(&held);
        blocks.setPendingEvents([this] { log << QStringLiteral("events"); });
        engine.OpenWaveIn();
        engine.StartStop();
    }

    BlockSettings blockSettings() override {
        log << QStringLiteral("settings");
        BlockSettings settings;
        settings.display.a.unitLetter = 'V';
        return settings;
    }
    void blockTaken(std::span<const StereoFrame> frames) override {
        log << QStringLiteral("taken %1 held %2").arg(frames.size()).arg(held.held());
    }
    void blockMeasured(std::span<const StereoFrame> frames, const Readouts& readouts) override {
        log << QStringLiteral("measured %1 %2").arg(frames.size()).arg(readouts.a.reading);
        if (onMeasured) {
            onMeasured();
        }
    }
};

// A sink that logs what it is told (taken: with the blocks measured so far), and runs a
// change once as it is told a block.
struct LoggingSink : BlockSink {
    LoggingSink(Bench& onBench, const char* sinkName)
        : bench(onBench), name(QString::fromLatin1(sinkName)) {}
    void blockTaken(std::span<const StereoFrame> /*frames*/) override {
        bench.log << QStringLiteral("%1 taken %2").arg(name).arg(bench.blocks.blocksMeasured());
        if (const auto change = std::exchange(onTaken, {})) {
            change();
        }
    }
    void blockMeasured(const MeasuredBlock& block) override {
        bench.log << QStringLiteral("%1 measured %2").arg(name).arg(block.readouts.a.reading);
        if (const auto change = std::exchange(onMeasured, {})) {
            change();
        }
    }
    Bench& bench;
    QString name;
    std::function<void()> onTaken;
    std::function<void()> onMeasured;
};

}  // namespace

class TestBlockHandler : public QObject {
    Q_OBJECT

private slots:
    void handlesABlockInItsOrder();
    void boxesWaitUntilTheBlockIsGivenBack();
    void failureGivesTheBlockBack();
    void blocksFromElsewhereAreMeasuredAlike();
    void sinksAreToldInOrder_data();
    void sinksAreToldInOrder();
};

void TestBlockHandler::handlesABlockInItsOrder() {
    Bench bench;
    QVERIFY(!bench.blocks.BufferDone());  // nothing done yet: settings asked, nothing taken
    QCOMPARE(bench.log, QStringList({"events", "settings"}));
    bench.log.clear();
    bench.service.deliverFrames(FramesPerBuffer);
    QVERIFY(bench.blocks.BufferDone());
    QCOMPARE(bench.log,
             QStringList({"events", "settings", "taken 4096 held 1", "measured 4096 1000"}));
    QCOMPARE(bench.blocks.blocksMeasured(), 1LL);
    QCOMPARE(bench.blocks.readouts().b.reading, 500.0);
    QVERIFY(!bench.held.held());
    QCOMPARE(bench.service.queuedBuffers(), std::size_t(2));  // the slot is back in the ring
}

void TestBlockHandler::boxesWaitUntilTheBlockIsGivenBack() {
    // Two boxes and the end of the program raised by one block wait until it is given back,
    // then come in order, all of them, though the first box's event loop handles a block of
    // its own (which raises a box too: it waits for the boxes before it).
    Bench bench;
    int blocks = 0;
    bench.onMeasured = [&] {
        ++blocks;
        if (blocks == 1) {
            bench.held.showMessage(QStringLiteral("first"));
            bench.held.showError(QStringLiteral("second"));
            bench.held.later([&] { bench.boxes.showMessage(QStringLiteral("the end")); });
            QVERIFY(bench.boxes.shown().isEmpty());
        } else {
            bench.held.showMessage(QStringLiteral("from the block in the box"));
        }
    };
    bench.boxes.whileOpen = [&] {
        if (bench.boxes.texts() == QStringList{"first"}) {
            bench.service.deliverFrames(FramesPerBuffer);
            QVERIFY(bench.blocks.BufferDone());
        }
    };
    bench.service.deliverFrames(FramesPerBuffer);
    QVERIFY(bench.blocks.BufferDone());
    QCOMPARE(bench.boxes.texts(),
             QStringList({"first", "second", "the end", "from the block in the box"}));
    QCOMPARE(bench.boxes.shown()[1].kind, sim::ScriptedMessageBoxes::Kind::Error);
    QCOMPARE(blocks, 2);
    QVERIFY(!bench.held.held());
}

void TestBlockHandler::failureGivesTheBlockBack() {
    Bench bench;
    bench.onMeasured = [] { throw std::runtime_error("view failed"); };
    bench.service.deliverFrames(FramesPerBuffer);
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, bench.blocks.BufferDone());
    QVERIFY(!bench.held.held());
    QCOMPARE(bench.service.queuedBuffers(), std::size_t(2));
    bench.onMeasured = {};
    bench.service.deliverFrames(FramesPerBuffer);
    QVERIFY(bench.blocks.BufferDone());  // the next block is found as usual
    QCOMPARE(bench.blocks.blocksMeasured(), 2LL);
}

void TestBlockHandler::blocksFromElsewhereAreMeasuredAlike() {
    Bench bench;
    bench.service.deliverFrames(FramesPerBuffer);
    QVERIFY(bench.blocks.BufferDone());
    BlockHandler alone(bench, ",");
    QVERIFY(!alone.BufferDone());  // no engine: nothing to find
    const std::vector<StereoFrame> frames(FramesPerBuffer, StereoFrame{1000, 500});
    alone.measure(frames);
    QCOMPARE(alone.readouts().a.readingText, bench.blocks.readouts().a.readingText);
    QCOMPARE(alone.readouts().b.frequencyText, bench.blocks.readouts().b.frequencyText);
    QCOMPARE(alone.blocksMeasured(), 1LL);
}

void TestBlockHandler::sinksAreToldInOrder_data() {
    // Sinks 1 and 2 are there from the start; a change comes as sink 1 is told the first block.
    QTest::addColumn<QString>("change");
    QTest::addColumn<QStringList>("log");  // two blocks, the view's lines without a number
    QTest::newRow("none") << "none"
                          << QStringList{"1 taken 0",       "2 taken 0",       "taken",
                                         "1 measured 1000", "2 measured 1000", "measured",
                                         "1 taken 1",       "2 taken 1",       "taken",
                                         "1 measured 1000", "2 measured 1000", "measured"};
    QTest::newRow("3 added while told")
        << "add"
        << QStringList{"1 taken 0",       "2 taken 0", "taken",           "1 measured 1000",
                       "2 measured 1000", "measured",  "1 taken 1",       "2 taken 1",
                       "3 taken 1",       "taken",     "1 measured 1000", "2 measured 1000",
                       "3 measured 1000", "measured"};
    QTest::newRow("2 removed while told")
        << "remove" << QStringList{"1 taken 0", "taken", "1 measured 1000", "measured",
                                   "1 taken 1", "taken", "1 measured 1000", "measured"};
    // A box raised by the block opens once it is given back; from its event loop a view is
    // opened (3 added), another closed (2 removed), and a further block handled.
    QTest::newRow("changed from a box")
        << "box"
        << QStringList{
               "1 taken 0", "2 taken 0", "taken", "1 measured 1000", "2 measured 1000", "measured",
               "1 taken 1", "3 taken 1", "taken", "1 measured 1000", "3 measured 1000", "measured",
               "1 taken 2", "3 taken 2", "taken", "1 measured 1000", "3 measured 1000", "measured"};
}

void TestBlockHandler::sinksAreToldInOrder() {
    QFETCH(QString, change);
    QFETCH(QStringList, log);
    Bench bench;
    LoggingSink one(bench, "1");
    LoggingSink two(bench, "2");
    LoggingSink three(bench, "3");
    bench.blocks.addSink(one);
    bench.blocks.addSink(two);
    if (change == QLatin1String("add")) {
        one.onMeasured = [&] { bench.blocks.addSink(three); };
    } else if (change == QLatin1String("remove")) {
        one.onTaken = [&] { bench.blocks.removeSink(two); };
    } else if (change == QLatin1String("box")) {
        one.onMeasured = [&] { bench.held.showMessage(QStringLiteral("box")); };
        bench.boxes.whileOpen = [&] {
            bench.blocks.addSink(three);
            bench.blocks.removeSink(two);
            bench.service.deliverFrames(FramesPerBuffer);
            QVERIFY(bench.blocks.BufferDone());
        };
    }
    for (int block = 0; block < 2; ++block) {
        bench.service.deliverFrames(FramesPerBuffer);
        QVERIFY(bench.blocks.BufferDone());
    }
    bench.log.removeAll(QStringLiteral("events"));
    bench.log.removeAll(QStringLiteral("settings"));
    bench.log.replaceInStrings(QStringLiteral("taken 4096 held 1"), QStringLiteral("taken"));
    bench.log.replaceInStrings(QStringLiteral("measured 4096 1000"), QStringLiteral("measured"));
    QCOMPARE(bench.log, log);
}

QTEST_GUILESS_MAIN(TestBlockHandler)
#include "tst_blockhandler.moc"
