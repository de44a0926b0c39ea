#include <QtTest>
#include <functional>
#include <vector>

#include "capture/captureengine.h"
#include "instrument/blockhandler.h"
#include "platform/fatalerrors.h"
#include "platform/sim/simwaveinput.h"
#include "support/scriptedmessageboxes.h"

using namespace veruziva;
using sim::SimWaveInput;
using Call = SimWaveInput::Call;

namespace {

// Channel A counts the frames (modulo 2^15), channel B holds the device's number.
StereoFrame Ramp(std::uint64_t frame) {
    return {static_cast<std::int16_t>(frame % 32768), 7};
}

// The engine over the in-memory service, with the notifications it receives and the blocks
// the block handler took.
struct Rig : BlockView {
    SimWaveInput service;
    sim::ScriptedMessageBoxes boxes;
    int endRequests = 0;
    FatalErrors fatal{boxes, [this] { ++endRequests; }};
    std::vector<std::pair<WaveInHandle, WaveInEvent>> events;
    CaptureEngine engine{service, fatal, [this](WaveInHandle handle, WaveInEvent event) {
                             events.emplace_back(handle, event);
                         }};
    BlockHandler blocks{*this, ".", &engine};
    std::vector<bool> runningChanges;
    struct Processed {
        std::int32_t slot;
        std::size_t frames;
        std::int16_t firstA;
    };
    std::vector<Processed> processed;
    // What each handling under way (the innermost last) runs first and while its block is held.
    struct Handling {
        std::function<void()> pump;
        std::function<void()> whileHeld;
    };
    std::vector<Handling> handlings;

    Rig() {
        service.addDevice("Sim card", Ramp);
        engine.setRunningChanged([this](bool running) { runningChanges.push_back(running); });
        blocks.setPendingEvents([this] { run(handlings.back().pump); });
    }

    // A buffer-done notification handled: `pump` runs as the pending events, `whileHeld`
    // while the block is held.
    void handle(std::function<void()> pump = {}, std::function<void()> whileHeld = {}) {
        handlings.push_back({std::move(pump), std::move(whileHeld)});
        blocks.BufferDone();
        handlings.pop_back();
    }

    // Handles every pending notification in order, one handler call each.
    void handleAll() {
        while (!events.empty()) {
            events.erase(events.begin());
            handle();
        }
    }

    BlockSettings blockSettings() override { return {}; }
    void blockTaken(std::span<const StereoFrame> block) override {
        processed.push_back({engine.DoneBuffer(), block.size(),
                             block.empty() ? std::int16_t{-1} : block.front().a});
        run(handlings.back().whileHeld);
    }
    void blockMeasured(std::span<const StereoFrame>, const Readouts&) override {}

    static void run(const std::function<void()>& action) {
        if (action) {
            const auto copy = action;  // a nested handling may not outlive it
            copy();
        }
    }
};

}  // namespace

class TestCaptureEngine : public QObject {
    Q_OBJECT

private slots:
    void slotsComeBackInRingOrder();
    void openLeavesTheFlowStopped();
    void stopReturnsThePartialBlockOnce();
    void lateNotificationsAfterACloseAreIgnored();
    void notificationHandledInsideAnother();
    void notificationWhileABlockIsHeld();
    void grabsAlternateSlotsAndDeliverFreshData();
    void grabWaitsForARealTimeDevice();
    void grabTimesOut();
    void grabOfAnInterruptedBlock();
    void failureMessages_data();
    void failureMessages();
    void deviceLostWhileRunning();
    void startOpensALostDeviceAgain();
    void closeWhileRunning();
};

void TestCaptureEngine::slotsComeBackInRingOrder() {
    Rig rig;
    rig.engine.OpenWaveIn();
    rig.engine.StartStop();
    for (int block = 0; block < 4; ++block) {
        QCOMPARE(rig.service.deliverFrames(FramesPerBuffer), std::size_t(FramesPerBuffer));
        rig.handleAll();
    }
    QCOMPARE(rig.processed.size(), std::size_t(4));
    const std::vector<std::int32_t> order{1, 0, 1, 0};
    for (std::size_t i = 0; i < order.size(); ++i) {
        QCOMPARE(rig.processed[i].slot, order[i]);
        QCOMPARE(rig.processed[i].frames, std::size_t(FramesPerBuffer));
        QCOMPARE(rig.processed[i].firstA, static_cast<std::int16_t>(i * FramesPerBuffer));
    }
    QCOMPARE(rig.service.queuedBuffers(), std::size_t(2));
    QVERIFY(rig.boxes.shown().isEmpty());
}

void TestCaptureEngine::openLeavesTheFlowStopped() {
    Rig rig;
    rig.engine.OpenWaveIn();
    QVERIFY(rig.service.isOpen());
    QVERIFY(rig.service.notifies());
    QVERIFY(!rig.service.isRunning());
    QVERIFY(!rig.engine.Running());
    QCOMPARE(rig.engine.CurrentBuffer(), 0);  // slot 1 queued first, slot 0 second
    QVERIFY(rig.engine.HeaderPrepared(0) && rig.engine.HeaderPrepared(1));
    QCOMPARE(rig.service.deliverFrames(100), std::size_t(0));
    rig.engine.StartStop();
    QVERIFY(rig.service.isRunning());
    QCOMPARE(rig.runningChanges, std::vector<bool>{true});
}

void TestCaptureEngine::stopReturnsThePartialBlockOnce() {
    Rig rig;
    rig.engine.OpenWaveIn();
    rig.engine.StartStop();
    rig.service.deliverFrames(FramesPerBuffer + 1000);
    rig.engine.StartStop();  // stop: the slot holding 1000 frames comes back
    QCOMPARE(rig.events.size(), std::size_t(2));
    rig.handleAll();
    QCOMPARE(rig.processed.size(), std::size_t(2));
    QCOMPARE(rig.processed[1].slot, 0);
    QCOMPARE(rig.processed[1].frames, std::size_t(1000));
    rig.handle();  // a further notification finds nothing done
    QCOMPARE(rig.processed.size(), std::size_t(2));
    QCOMPARE(rig.service.queuedBuffers(), std::size_t(2));
    // Restarted, the flow goes on in ring order with full blocks.
    rig.engine.StartStop();
    rig.service.deliverFrames(FramesPerBuffer);
    rig.handleAll();
    QCOMPARE(rig.processed.back().slot, 1);
    QCOMPARE(rig.processed.back().frames, std::size_t(FramesPerBuffer));
    QCOMPARE(rig.runningChanges, (std::vector<bool>{true, false, true}));
}

void TestCaptureEngine::lateNotificationsAfterACloseAreIgnored() {
    Rig rig;
    rig.engine.OpenWaveIn();
    rig.engine.StartStop();
    rig.service.deliverFrames(FramesPerBuffer);
    // Closed and reopened before the notifications are handled (a device change).
    rig.engine.CloseWaveIn();
    QVERIFY(!rig.engine.Running());
    QCOMPARE(rig.events.size(), std::size_t(2));  // the block, and the slot the reset returned
    rig.engine.OpenWaveIn();
    rig.handleAll();
    QVERIFY(rig.processed.empty());
    QCOMPARE(rig.service.queuedBuffers(), std::size_t(2));
    QVERIFY(rig.boxes.shown().isEmpty());
}

void TestCaptureEngine::notificationHandledInsideAnother() {
    Rig rig;
    rig.engine.OpenWaveIn();
    rig.engine.StartStop();
    rig.service.deliverFrames(2 * FramesPerBuffer);
    QCOMPARE(rig.events.size(), std::size_t(2));
    rig.events.clear();
    // The outer handler's event dispatch runs the second notification's handler to its end.
    rig.handle([&rig] { rig.handle(); });
    QCOMPARE(rig.processed.size(), std::size_t(2));
    QCOMPARE(rig.processed[0].slot, 1);
    QCOMPARE(rig.processed[0].firstA, std::int16_t{0});
    QCOMPARE(rig.processed[1].slot, 0);
    QCOMPARE(rig.processed[1].firstA, static_cast<std::int16_t>(FramesPerBuffer));
    QCOMPARE(rig.service.queuedBuffers(), std::size_t(2));
}

void TestCaptureEngine::notificationWhileABlockIsHeld() {
    // An event loop run while a block is held (a box, say) handles the next notification: it
    // may not take the held block again, and its block is not lost but handled afterwards.
    Rig rig;
    rig.engine.OpenWaveIn();
    rig.engine.StartStop();
    rig.service.deliverFrames(2 * FramesPerBuffer);
    rig.events.clear();
    rig.handle({}, [&rig] { rig.handle(); });
    QCOMPARE(rig.processed.size(), std::size_t(1));
    QCOMPARE(rig.events.size(), std::size_t(1));  // made good at the give-back
    rig.handleAll();
    QCOMPARE(rig.processed.size(), std::size_t(2));
    QCOMPARE(rig.processed[1].slot, 0);
    QCOMPARE(rig.processed[1].firstA, static_cast<std::int16_t>(FramesPerBuffer));
    QCOMPARE(rig.service.queuedBuffers(), std::size_t(2));
}

void TestCaptureEngine::grabsAlternateSlotsAndDeliverFreshData() {
    Rig rig;
    rig.service.setDelivery(SimWaveInput::Delivery::Immediate);
    rig.engine.OpenWaveInPolled();
    QVERIFY(!rig.service.notifies());
    std::int64_t previousLast = -1;
    for (const std::int32_t slot : {1, 0, 1}) {
        const std::uint64_t framesBefore = rig.service.framesDelivered();
        rig.engine.GrabBlock();
        QCOMPARE(rig.engine.DoneBuffer(), slot);
        const std::vector<StereoFrame>& samples = rig.engine.Samples();
        // All frames of the block were captured after the grab began, in order.
        QVERIFY(samples.front().a >= static_cast<std::int16_t>(framesBefore % 32768));
        QVERIFY(samples.front().a > previousLast);
        for (std::size_t i = 1; i < samples.size(); ++i) {
            QCOMPARE(samples[i].a, static_cast<std::int16_t>(samples[i - 1].a + 1));
        }
        previousLast = samples.back().a;
        QVERIFY(!rig.service.isRunning());
    }
    QVERIFY(rig.events.empty());
    QVERIFY(rig.boxes.shown().isEmpty());
}

void TestCaptureEngine::grabWaitsForARealTimeDevice() {
    Rig rig;
    rig.service.setDelivery(SimWaveInput::Delivery::Paced);
    rig.engine.OpenWaveInPolled();
    rig.engine.GrabBlock();
    rig.engine.GrabBlock();
    QVERIFY(rig.boxes.shown().isEmpty());
    const std::vector<StereoFrame>& samples = rig.engine.Samples();
    for (std::size_t i = 1; i < samples.size(); ++i) {
        QCOMPARE(samples[i].a, static_cast<std::int16_t>(samples[i - 1].a + 1));
    }
    QVERIFY(samples.front().a >= static_cast<std::int16_t>(FramesPerBuffer));
}

void TestCaptureEngine::grabTimesOut() {
    Rig rig;
    QCOMPARE(rig.engine.grabTimeout(), std::chrono::milliseconds(2000));
    rig.engine.setGrabTimeout(std::chrono::milliseconds(50));
    rig.engine.OpenWaveInPolled();  // a device that delivers nothing
    rig.engine.GrabBlock();
    QCOMPARE(rig.boxes.texts(), QStringList{capturemessages::GrabTimeout});
    QVERIFY(rig.fatal.endRequested());
    QVERIFY(QString(capturemessages::GrabTimeout).endsWith("Application will terminate."));
    // The grab ran on to its end: a slot is queued again and the device stopped.
    QCOMPARE(rig.service.queuedBuffers(), std::size_t(1));
    QVERIFY(!rig.service.isRunning());
}

void TestCaptureEngine::grabOfAnInterruptedBlock() {
    Rig rig;
    rig.service.setDelivery(SimWaveInput::Delivery::Immediate);
    rig.engine.OpenWaveInPolled();
    rig.engine.GrabBlock();
    const std::vector<StereoFrame> before = rig.engine.Samples();
    rig.service.loseDeviceAfter(1000);
    rig.engine.GrabBlock();
    QCOMPARE(rig.boxes.texts(), QStringList{capturemessages::GrabIncomplete});
    QCOMPARE(rig.engine.Samples().front().a, before.front().a);  // no half block copied
}

void TestCaptureEngine::failureMessages_data() {
    QTest::addColumn<int>("call");
    QTest::addColumn<int>("successesFirst");
    QTest::addColumn<QString>("sequence");
    QTest::addColumn<QString>("message");
    const auto row = [](const char* name, Call call, int successes, const char* sequence,
                        const char* message) {
        QTest::newRow(name) << static_cast<int>(call) << successes << sequence << message;
    };
    using namespace capturemessages;
    row("open, notified", Call::Open, 0, "open", OpenNotified);
    row("open, polled", Call::Open, 0, "polled", OpenPolled);
    row("prepare", Call::Prepare, 0, "open", PrepareHeader);
    row("second prepare", Call::Prepare, 1, "open", PrepareHeader);
    row("first queue, notified", Call::AddBuffer, 0, "open", FirstAddNotified);
    row("first queue, polled", Call::AddBuffer, 0, "polled", FirstAddPolled);
    row("second queue, notified", Call::AddBuffer, 1, "open", SecondAdd);
    row("second queue, polled", Call::AddBuffer, 1, "polled", SecondAdd);
    row("give back: unprepare", Call::Unprepare, 0, "open block", GiveBackUnprepare);
    row("give back: queue", Call::AddBuffer, 2, "open block", GiveBackAdd);
    row("grab: unprepare", Call::Unprepare, 0, "polled grab", GrabUnprepare);
    row("grab: queue", Call::AddBuffer, 2, "polled grab", GrabAdd);
    row("grab: queue after the copy", Call::AddBuffer, 4, "polled grab", GrabAdd);
    row("close: unprepare", Call::Unprepare, 0, "open close", CloseUnprepare);
}

void TestCaptureEngine::failureMessages() {
    QFETCH(int, call);
    QFETCH(int, successesFirst);
    QFETCH(QString, sequence);
    QFETCH(QString, message);
    Rig rig;
    rig.service.setDelivery(SimWaveInput::Delivery::Immediate);
    rig.engine.setGrabTimeout(std::chrono::milliseconds(20));
    // The failing call fails from then on, so later steps fail as well: only the first
    // message is seen.
    rig.service.failCall(static_cast<Call>(call), wave::Error, successesFirst, -1);
    const QStringList steps = sequence.split(' ');
    for (const QString& step : steps) {
        if (step == "open") {
            rig.engine.OpenWaveIn();
        } else if (step == "polled") {
            rig.engine.OpenWaveInPolled();
        } else if (step == "block") {
            rig.engine.StartStop();
            rig.handle();
        } else if (step == "grab") {
            rig.engine.GrabBlock();
        } else if (step == "close") {
            rig.engine.CloseWaveIn();
        }
    }
    QCOMPARE(rig.boxes.texts(), QStringList{message});
    QVERIFY(rig.fatal.endRequested());
    QVERIFY(rig.endRequests >= 1);
    if (steps.front() == "open" || steps.front() == "polled") {
        // The open ran on after its failure: both queue attempts were made.
        QVERIFY(rig.service.calls(Call::AddBuffer) >= 2);
    }
}

void TestCaptureEngine::deviceLostWhileRunning() {
    Rig rig;
    rig.engine.OpenWaveIn();
    rig.engine.StartStop();
    const WaveInHandle lostHandle = rig.engine.Handle();
    rig.service.deliverFrames(FramesPerBuffer + 300);
    rig.service.loseDevice();
    QCOMPARE(rig.events.back().second, WaveInEvent::DeviceLost);
    // The window handles the blocks first, then the loss.
    rig.events.pop_back();
    rig.handleAll();
    QCOMPARE(rig.processed.size(), std::size_t(2));
    QCOMPARE(rig.processed[1].frames, std::size_t(300));
    QVERIFY(rig.engine.HandleDeviceLost(lostHandle));
    QVERIFY(!rig.engine.Running());
    QCOMPARE(rig.runningChanges, (std::vector<bool>{true, false}));
    // Another device can be opened: nothing fails on the way.
    rig.engine.CloseWaveIn();
    rig.engine.OpenWaveIn();
    QVERIFY(rig.boxes.shown().isEmpty());
    QVERIFY(!rig.engine.HandleDeviceLost(lostHandle));  // a late report of the old device
    rig.engine.StartStop();
    rig.service.deliverFrames(FramesPerBuffer);
    rig.handleAll();
    QCOMPARE(rig.processed.back().frames, std::size_t(FramesPerBuffer));
}

void TestCaptureEngine::startOpensALostDeviceAgain() {
    Rig rig;
    rig.engine.OpenWaveIn();
    rig.engine.StartStop();
    rig.service.loseDevice();
    QVERIFY(rig.engine.HandleDeviceLost(rig.engine.Handle()));
    rig.handleAll();
    // Still unplugged: the start fails without ending anything, and can be tried again.
    rig.service.failCall(Call::Open, wave::BadDeviceId, 0, -1);
    QVERIFY(!rig.engine.StartStop());
    QVERIFY(!rig.engine.Running());
    QVERIFY(!rig.service.isOpen());
    QVERIFY(!rig.engine.StartStop());  // closed now: opened again, and fails again
    QVERIFY(!rig.engine.Running());
    // Plugged back in: Start opens it and the flow runs.
    rig.service.failCall(Call::Open, wave::NoError, 0, 0);
    QVERIFY(rig.engine.StartStop());
    QVERIFY(rig.engine.Running() && rig.service.isRunning());
    rig.events.clear();
    rig.service.deliverFrames(FramesPerBuffer);
    rig.handleAll();
    QCOMPARE(rig.processed.back().frames, std::size_t(FramesPerBuffer));
    QVERIFY(rig.boxes.shown().isEmpty());
    QVERIFY(!rig.fatal.endRequested());
}

void TestCaptureEngine::closeWhileRunning() {
    Rig rig;
    rig.engine.OpenWaveIn();
    rig.engine.StartStop();
    rig.engine.CloseWaveIn();
    QVERIFY(!rig.engine.Running());
    QCOMPARE(rig.runningChanges, (std::vector<bool>{true, false}));
    QVERIFY(!rig.service.isOpen());
    QVERIFY(!rig.engine.HeaderPrepared(0) && !rig.engine.HeaderPrepared(1));
    QVERIFY(rig.boxes.shown().isEmpty());
}

QTEST_GUILESS_MAIN(TestCaptureEngine)
#include "tst_captureengine.moc"
