#include <QtTest>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "arrivals.h"
#include "capture/captureengine.h"
#include "capture/inputwatch.h"
#include "platform/alsa/alsawaveinput.h"
#include "platform/fatalerrors.h"
#include "platform/pulse/pulsewaveinput.h"
#include "pulseserver.h"
#include "support/scriptedmessageboxes.h"

using namespace veruziva;
using Clock = std::chrono::steady_clock;

// Every test runs on both ways to the sound server: the ALSA "pulse" PCM, and the server's own
// client library.
class TestPulseCapture : public QObject {
    Q_OBJECT

private slots:
    void initTestCase_data();
    void initTestCase();
    void cleanupTestCase();
    void blocksArriveInRealTimeWithTheFedData();
    void stopReturnsThePartialBlock();
    void heldBuffersLoseNoFrame();
    void suspendedSourceIsAStalledInput();
    void stoppedServerLosesTheDevice();
    void serverGoneIsALostDevice();  // last: it stops and restarts the server

private:
    WaveInput& service();
    std::int32_t pulseDevice();
    PulseServer m_server;
    std::unique_ptr<alsa::AlsaWaveInput> m_alsa;
    std::unique_ptr<pulse::PulseWaveInput> m_pulse;
};

void TestPulseCapture::initTestCase_data() {
    QTest::addColumn<bool>("client");
    QTest::newRow("ALSA pulse PCM") << false;
    QTest::newRow("client library") << true;
}

void TestPulseCapture::initTestCase() {
    QVERIFY2(m_server.start(), qPrintable(m_server.error()));
    qputenv("ALSA_CONFIG_PATH",
            ("/usr/share/alsa/alsa.conf:" + m_server.alsaConfig()).toLocal8Bit());
    m_alsa = std::make_unique<alsa::AlsaWaveInput>();
    std::shared_ptr<pulse::SoundServer> server = pulse::SoundServer::Find();
    QVERIFY(server);
    m_pulse = std::make_unique<pulse::PulseWaveInput>(server);
}

void TestPulseCapture::cleanupTestCase() {
    m_alsa.reset();
    m_pulse.reset();
    m_server.stop();
}

WaveInput& TestPulseCapture::service() {
    QFETCH_GLOBAL(bool, client);
    return client ? static_cast<WaveInput&>(*m_pulse) : *m_alsa;
}

// The fed source: the PCM "vzpulse" through ALSA, the source "vzpipe" on the server.
std::int32_t TestPulseCapture::pulseDevice() {
    for (unsigned device = 0; device < service().deviceCount(); ++device) {
        WaveInCaps caps;
        if (service().deviceCaps(device, caps) == wave::NoError &&
            (caps.systemName == "vzpulse" || caps.systemName == "vzpipe")) {
            return static_cast<std::int32_t>(device);
        }
    }
    return -1;
}

void TestPulseCapture::blocksArriveInRealTimeWithTheFedData() {
    QVERIFY(pulseDevice() >= 0);
    sim::ScriptedMessageBoxes boxes;
    FatalErrors fatal(boxes, nullptr);
    Arrivals arrivals;
    CaptureEngine engine(service(), fatal, arrivals.callback());
    engine.setSoundDevice(pulseDevice());
    engine.OpenWaveIn();
    const Clock::time_point started = Clock::now();
    engine.StartStop();
    const std::size_t warmUp = 3;  // a new stream may stall for a while at first
    const std::size_t measured = 20;
    std::optional<std::uint64_t> expectedNext;
    for (std::size_t block = 0; block < warmUp + measured; ++block) {
        QVERIFY2(arrivals.waitFor(block + 1, 6000), "no block from the pulse input");
        QVERIFY(engine.FindDoneBuffer());
        const auto frames = engine.DoneBlock();
        QCOMPARE(frames.size(), std::size_t(FramesPerBuffer));
        // The frames are the fed ones, consecutive within and across blocks.
        if (expectedNext) {
            QCOMPARE(PulseServer::Position(frames.front()), *expectedNext);
        }
        for (std::size_t i = 1; i < frames.size(); ++i) {
            QCOMPARE(PulseServer::Position(frames[i]), PulseServer::Position(frames[i - 1]) + 1);
        }
        expectedNext = PulseServer::Position(frames.back()) + 1;
        engine.GiveBackBuffer();
    }
    const double seconds =
        std::chrono::duration<double>(arrivals.at(warmUp + measured - 1) - arrivals.at(warmUp - 1))
            .count();
    const double rate = static_cast<double>(measured) / seconds;
    const auto statistics = service().statistics(engine.Handle());
    QVERIFY(statistics);
    const double cpuShare =
        statistics->threadCpuSeconds /
        std::chrono::duration<double>(arrivals.at(warmUp + measured - 1) - started).count();
    qInfo("blocks per second: %.2f; capture thread CPU: %.3f %% of one core; overruns: %llu", rate,
          100.0 * cpuShare, static_cast<unsigned long long>(statistics->overruns));
    QVERIFY2(rate > 9.5 && rate < 12.5, qPrintable(QString::number(rate)));
    engine.CloseWaveIn();
    QVERIFY(boxes.shown().isEmpty());
}

void TestPulseCapture::stopReturnsThePartialBlock() {
    sim::ScriptedMessageBoxes boxes;
    FatalErrors fatal(boxes, nullptr);
    Arrivals arrivals;
    CaptureEngine engine(service(), fatal, arrivals.callback());
    engine.setSoundDevice(pulseDevice());
    engine.OpenWaveIn();
    engine.StartStop();
    QVERIFY(arrivals.waitFor(1, 6000));
    QVERIFY(engine.FindDoneBuffer());
    engine.GiveBackBuffer();
    QVERIFY(arrivals.waitFor(2, 3000));
    QThread::msleep(40);  // about half-way into the next block
    engine.StartStop();
    // The stop has returned the block being filled, and reported it, before returning.
    QCOMPARE(arrivals.count(), std::size_t(3));
    QVERIFY(engine.FindDoneBuffer());
    engine.GiveBackBuffer();  // the full second block
    QVERIFY(engine.FindDoneBuffer());
    const std::size_t partial = engine.DoneBlock().size();
    QVERIFY2(partial > 0 && partial < std::size_t(FramesPerBuffer),
             qPrintable(QString::number(partial)));
    engine.GiveBackBuffer();
    QVERIFY(!engine.FindDoneBuffer());
    engine.CloseWaveIn();
    QVERIFY(boxes.shown().isEmpty());
}

void TestPulseCapture::heldBuffersLoseNoFrame() {
    // The program holds both buffers for 3 s (a long modal step): the server's stream keeps
    // what comes meanwhile, and the blocks after it carry on where the held ones ended. The
    // count of frames captured is exactly the frames the blocks brought.
    sim::ScriptedMessageBoxes boxes;
    FatalErrors fatal(boxes, nullptr);
    Arrivals arrivals;
    CaptureEngine engine(service(), fatal, arrivals.callback());
    engine.setSoundDevice(pulseDevice());
    engine.OpenWaveIn();
    engine.StartStop();
    std::vector<StereoFrame> frames;
    const auto handle = [&] {
        while (engine.FindDoneBuffer()) {
            const auto block = engine.DoneBlock();
            frames.insert(frames.end(), block.begin(), block.end());
            engine.GiveBackBuffer();
        }
    };
    QVERIFY(arrivals.waitFor(2, 6000));
    QThread::sleep(3);
    const std::size_t held = arrivals.count();
    handle();
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(8);
    while (arrivals.count() < held + 5 && Clock::now() < deadline) {
        QThread::msleep(20);
        handle();
    }
    QVERIFY(arrivals.count() >= held + 5);
    engine.StartStop();  // the partial block comes back too
    handle();
    std::uint64_t missing = 0;
    for (std::size_t i = 1; i < frames.size(); ++i) {
        missing += PulseServer::Position(frames[i]) - PulseServer::Position(frames[i - 1]) - 1;
    }
    const auto statistics = service().statistics(engine.Handle());
    QVERIFY(statistics);
    QCOMPARE(statistics->framesCaptured, std::uint64_t{frames.size()});
    QCOMPARE(missing, std::uint64_t{0});
    QCOMPARE(statistics->overruns, std::uint64_t{0});
    engine.CloseWaveIn();
    QVERIFY(boxes.shown().isEmpty());
}

void TestPulseCapture::suspendedSourceIsAStalledInput() {
    // A suspended source delivers nothing, and says nothing: the watch sees the input stall,
    // and sees it come back with the source.
    sim::ScriptedMessageBoxes boxes;
    FatalErrors fatal(boxes, nullptr);
    Arrivals arrivals;
    CaptureEngine engine(service(), fatal, arrivals.callback());
    int stalls = 0;
    int resumes = 0;
    InputWatch watch([&stalls] { ++stalls; }, [&resumes] { ++resumes; });
    engine.setRunningChanged([&watch](bool running) { watch.setRunning(running); });
    engine.setSoundDevice(pulseDevice());
    engine.OpenWaveIn();
    engine.StartStop();
    long long blocks = 0;
    // Handles blocks as the window does until `done` holds or 8 seconds have passed.
    auto runUntil = [&](const std::function<bool()>& done) {
        const Clock::time_point deadline = Clock::now() + std::chrono::seconds(8);
        while (!done() && Clock::now() < deadline) {
            QTest::qWait(10);
            while (engine.FindDoneBuffer()) {
                ++blocks;
                watch.blockArrived();
                engine.GiveBackBuffer();
            }
        }
        return done();
    };
    QVERIFY(runUntil([&] { return blocks >= 3; }));
    QVERIFY(m_server.suspendSource(true));
    QVERIFY2(runUntil([&] { return stalls == 1; }), "the stall was not seen");
    QVERIFY(watch.stalled());
    const long long blocksWhileStalled = blocks;
    QVERIFY(m_server.suspendSource(false));
    QVERIFY2(runUntil([&] { return resumes == 1 && blocks >= blocksWhileStalled + 3; }),
             "the input did not come back");
    QVERIFY(!watch.stalled());
    QCOMPARE(stalls, 1);
    engine.CloseWaveIn();
    QVERIFY(boxes.shown().isEmpty());
}

void TestPulseCapture::stoppedServerLosesTheDevice() {
    // A server that is stopped (hung, or its machine suspended) keeps its socket and answers
    // nothing. Stop gives the input up as lost while the server is still stopped, instead of
    // waiting for it; once it runs again, Start opens the input anew.
    QFETCH_GLOBAL(bool, client);
    if (!client) {
        QSKIP("ALSA's pulse plugin is the server's own client: it waits as long as the server");
    }
    sim::ScriptedMessageBoxes boxes;
    FatalErrors fatal(boxes, nullptr);
    Arrivals arrivals;
    CaptureEngine engine(service(), fatal, arrivals.callback());
    engine.setSoundDevice(pulseDevice());
    engine.OpenWaveIn();
    engine.StartStop();
    QVERIFY(arrivals.waitFor(2, 6000));
    const WaveInHandle handle = engine.Handle();
    m_server.pause(true);
    // The server runs again by itself after 15 s, well before the client library's own limit.
    std::mutex mutex;
    std::condition_variable cancel;
    bool cancelled = false;
    std::atomic<bool> resumed{false};
    std::thread resumer([&] {
        std::unique_lock lock(mutex);
        cancel.wait_for(lock, std::chrono::seconds(15), [&] { return cancelled; });
        m_server.pause(false);
        resumed = true;
    });
    engine.StartStop();  // Stop
    const bool lostWhileStopped = arrivals.waitForLoss(0) && !resumed;
    {
        const std::lock_guard lock(mutex);
        cancelled = true;
    }
    cancel.notify_all();
    resumer.join();
    QVERIFY2(lostWhileStopped, "Stop waited for the stopped server");
    QVERIFY(engine.HandleDeviceLost(handle));
    QVERIFY(!engine.Running());
    // Start, as a user does again until the input is back.
    const std::size_t before = arrivals.count();
    bool started = false;
    for (int attempt = 0; attempt < 100 && !started; ++attempt) {
        started = engine.StartStop();
        if (!started) {
            QThread::msleep(100);
        }
    }
    QVERIFY(started);
    QVERIFY2(arrivals.waitFor(before + 2, 6000), "no block after the server ran again");
    engine.CloseWaveIn();
    QVERIFY(boxes.shown().isEmpty());
}

void TestPulseCapture::serverGoneIsALostDevice() {
    // The server going away mid-capture is what a pulled USB card looks like to the program:
    // the loss is reported (not a silent, spinning stream) and the engine stays usable.
    sim::ScriptedMessageBoxes boxes;
    FatalErrors fatal(boxes, nullptr);
    Arrivals arrivals;
    CaptureEngine engine(service(), fatal, arrivals.callback());
    engine.setSoundDevice(pulseDevice());
    engine.OpenWaveIn();
    engine.StartStop();
    QVERIFY(arrivals.waitFor(2, 6000));
    const WaveInHandle handle = engine.Handle();
    m_server.stop();
    // Blocks are handed back as the window does, so that the service has room to capture.
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(3);
    while (!arrivals.waitForLoss(20) && Clock::now() < deadline) {
        while (engine.FindDoneBuffer()) {
            engine.GiveBackBuffer();
        }
    }
    QVERIFY2(arrivals.waitForLoss(0), "the loss of the server was not reported");
    QVERIFY(engine.HandleDeviceLost(handle));
    QVERIFY(!engine.Running());
    // Start while the server is away: it cannot be opened, and nothing runs.
    QVERIFY(!engine.StartStop());
    QVERIFY(!engine.Running());
    // The server is back: Start opens the input again and blocks come.
    QVERIFY2(m_server.start(), qPrintable(m_server.error()));
    QVERIFY(engine.StartStop());
    const std::size_t before = arrivals.count();
    const Clock::time_point back = Clock::now() + std::chrono::seconds(6);
    while (arrivals.count() < before + 3 && Clock::now() < back) {
        QThread::msleep(20);
        while (engine.FindDoneBuffer()) {
            engine.GiveBackBuffer();
        }
    }
    QVERIFY2(arrivals.count() >= before + 3, "no block after the server came back");
    engine.CloseWaveIn();
    QVERIFY(boxes.shown().isEmpty());
}

QTEST_GUILESS_MAIN(TestPulseCapture)
#include "tst_pulsecapture.moc"
