#include <QtTest>

#include "arrivals.h"
#include "capture/captureengine.h"
#include "capture/inputwatch.h"
#include "pipewireserver.h"
#include "platform/fatalerrors.h"
#include "platform/pulse/pulsewaveinput.h"
#include "sourcelevel.h"
#include "support/scriptedmessageboxes.h"

using namespace veruziva;
using Clock = std::chrono::steady_clock;

// The server backend on PipeWire's PulseAudio service, whose graph runs at 48000 frames/s: the
// stream at 44100 is resampled, and must still bring every fed frame once and in order.
class TestPipeWireBackend : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void startUpTakesTheLineInSource();
    void everyFedFrameOnceAcrossBlocks();
    void stoppedGraphIsAStalledInput();
    void serverGoneIsALostDevice();  // last: it stops and restarts the server

private:
    std::int32_t fedDevice();
    // Hands back every done block, as the window does, until `done` holds or time is up.
    bool handleBlocksUntil(CaptureEngine& engine, const std::function<bool()>& done,
                           const std::function<void()>& perBlock = {});

    PipeWireServer m_server;
    std::unique_ptr<pulse::PulseWaveInput> m_service;
};

void TestPipeWireBackend::initTestCase() {
    QVERIFY2(m_server.start(), qPrintable(m_server.error()));
    std::shared_ptr<pulse::SoundServer> server = pulse::SoundServer::Find();
    QVERIFY(server);
    m_service = std::make_unique<pulse::PulseWaveInput>(server);
}

void TestPipeWireBackend::cleanupTestCase() {
    m_service.reset();
    m_server.stop();
}

std::int32_t TestPipeWireBackend::fedDevice() {
    for (unsigned device = 0; device < m_service->deviceCount(); ++device) {
        WaveInCaps caps;
        if (m_service->deviceCaps(device, caps) == wave::NoError && caps.systemName == "vzpipe") {
            return static_cast<std::int32_t>(device);
        }
    }
    return -1;
}

bool TestPipeWireBackend::handleBlocksUntil(CaptureEngine& engine,
                                            const std::function<bool()>& done,
                                            const std::function<void()>& perBlock) {
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(8);
    while (!done() && Clock::now() < deadline) {
        QTest::qWait(10);
        while (engine.FindDoneBuffer()) {
            if (perBlock) {
                perBlock();
            }
            engine.GiveBackBuffer();
        }
    }
    return done();
}

void TestPipeWireBackend::startUpTakesTheLineInSource() {
    // The fed source is first (a line input by its name), the output's monitor last.
    QCOMPARE(fedDevice(), 0);
    WaveInCaps caps;
    QCOMPARE(m_service->deviceCaps(0, caps), wave::NoError);
    QCOMPARE(caps.productName, std::string("0: Bench line in"));
    const auto pactl = [this](const QStringList& arguments) { return m_server.pactl(arguments); };
    QVERIFY(pactl({"set-source-volume", "vzpipe", "19661"}));
    QVERIFY(pactl({"set-source-mute", "vzpipe", "1"}));
    const SourceLevel monitor = SourceLevel::Of(pactl, "vznull.monitor");
    QProcess tool;
    QTemporaryDir settings;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_CONFIG_HOME", settings.path());
    tool.setProcessEnvironment(environment);
    tool.start(QStringLiteral(METER_TOOL), {"--line-in"});
    QVERIFY(tool.waitForFinished(30000));
    const QString output = QString::fromLocal8Bit(tool.readAllStandardOutput());
    QCOMPARE(tool.exitCode(), 0);
    QVERIFY2(output.contains("line-in: source 0 \"Bench line in\""), qPrintable(output));
    QCOMPARE(SourceLevel::Of(pactl, "vzpipe"), (SourceLevel{{65536, 65536}, false}));
    QCOMPARE(SourceLevel::Of(pactl, "vznull.monitor"), monitor);
}

void TestPipeWireBackend::everyFedFrameOnceAcrossBlocks() {
    sim::ScriptedMessageBoxes boxes;
    FatalErrors fatal(boxes, nullptr);
    Arrivals arrivals;
    CaptureEngine engine(*m_service, fatal, arrivals.callback());
    engine.setSoundDevice(fedDevice());
    engine.OpenWaveIn();
    QVERIFY(engine.StartStop());
    // The first two blocks may begin before the source's first frames; the rest are joined.
    const std::size_t skipped = 2;
    const std::size_t joined = 30;
    std::size_t blocks = 0;
    std::uint64_t captured = 0;
    std::vector<StereoFrame> frames;
    QVERIFY(handleBlocksUntil(
        engine, [&] { return blocks >= skipped + joined; },
        [&] {
            const auto block = engine.DoneBlock();
            QCOMPARE(block.size(), std::size_t(FramesPerBuffer));
            captured += block.size();
            if (blocks++ >= skipped) {
                frames.insert(frames.end(), block.begin(), block.end());
            }
        }));
    QCOMPARE(PipeWireServer::continuity(frames), QString());
    // Stopped, with the partial block handed back: the frames counted are the ones delivered.
    QVERIFY(engine.StartStop());
    while (engine.FindDoneBuffer()) {
        captured += engine.DoneBlock().size();
        engine.GiveBackBuffer();
    }
    const auto statistics = m_service->statistics(engine.Handle());
    QVERIFY(statistics);
    QCOMPARE(statistics->framesCaptured, captured);
    engine.CloseWaveIn();
    QVERIFY(boxes.shown().isEmpty());
}

void TestPipeWireBackend::stoppedGraphIsAStalledInput() {
    sim::ScriptedMessageBoxes boxes;
    FatalErrors fatal(boxes, nullptr);
    CaptureEngine engine(*m_service, fatal, nullptr);
    int stalls = 0;
    int resumes = 0;
    InputWatch watch([&stalls] { ++stalls; }, [&resumes] { ++resumes; });
    engine.setRunningChanged([&watch](bool running) { watch.setRunning(running); });
    engine.setSoundDevice(fedDevice());
    engine.OpenWaveIn();
    QVERIFY(engine.StartStop());
    long long blocks = 0;
    const auto count = [&] {
        ++blocks;
        watch.blockArrived();
    };
    QVERIFY(handleBlocksUntil(
        engine, [&] { return blocks >= 3; }, count));
    m_server.freezeGraph(true);
    QVERIFY2(handleBlocksUntil(
                 engine, [&] { return stalls == 1; }, count),
             "no stall seen");
    const long long blocksWhileStalled = blocks;
    m_server.freezeGraph(false);
    QVERIFY2(handleBlocksUntil(
                 engine, [&] { return resumes == 1 && blocks >= blocksWhileStalled + 3; }, count),
             "the input did not come back");
    QCOMPARE(stalls, 1);
    engine.CloseWaveIn();
    QVERIFY(boxes.shown().isEmpty());
}

void TestPipeWireBackend::serverGoneIsALostDevice() {
    sim::ScriptedMessageBoxes boxes;
    FatalErrors fatal(boxes, nullptr);
    Arrivals arrivals;
    CaptureEngine engine(*m_service, fatal, arrivals.callback());
    engine.setSoundDevice(fedDevice());
    engine.OpenWaveIn();
    QVERIFY(engine.StartStop());
    QVERIFY(arrivals.waitFor(2, 6000));
    const WaveInHandle handle = engine.Handle();
    m_server.stop();
    QVERIFY(handleBlocksUntil(engine, [&] { return arrivals.waitForLoss(0); }));
    QVERIFY(engine.HandleDeviceLost(handle));
    QVERIFY(!engine.StartStop());  // nothing to open while the server is away
    QVERIFY2(m_server.start(), qPrintable(m_server.error()));
    QVERIFY(engine.StartStop());
    const std::size_t before = arrivals.count();
    QVERIFY2(handleBlocksUntil(engine, [&] { return arrivals.count() >= before + 3; }),
             "no block after the server came back");
    engine.CloseWaveIn();
    QVERIFY(boxes.shown().isEmpty());
}

QTEST_GUILESS_MAIN(TestPipeWireBackend)
#include "tst_pipewirebackend.moc"
