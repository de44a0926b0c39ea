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

}  // namespace

class TestBlockHandler : public QObject {
    Q_OBJECT

private slots:
    void handlesABlockInItsOrder();
    void boxesWaitUntilTheBlockIsGivenBack();
    void failureGivesTheBlockBack();
    void blocksFromElsewhereAreMeasuredAlike();
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

QTEST_GUILESS_MAIN(TestBlockHandler)
#include "tst_blockhandler.moc"
