#include <QtTest>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include "capture/captureengine.h"
#include "platform/alsa/alsawaveinput.h"
#include "platform/fatalerrors.h"
#include "support/scriptedmessageboxes.h"

using namespace veruziva;
using alsa::AlsaWaveInput;

namespace {

constexpr int FileBlocks = 24;

// The capture data of the test input: every frame different, so that order and gaps show.
std::vector<StereoFrame> FileFrames() {
    std::vector<StereoFrame> frames(static_cast<std::size_t>(FileBlocks * FramesPerBuffer));
    for (std::size_t i = 0; i < frames.size(); ++i) {
        frames[i] = {static_cast<std::int16_t>(i % 65536 - 32768),
                     static_cast<std::int16_t>(i / 4096)};
    }
    return frames;
}

// Notifications from the capture thread, waited for on the test's thread.
class Notifications {
public:
    WaveInNotify callback() {
        return [this](WaveInHandle, WaveInEvent event) {
            const std::lock_guard lock(m_mutex);
            m_events.push_back(event);
            m_changed.notify_all();
        };
    }
    bool waitFor(std::size_t count, int milliseconds = 5000) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                  [&] { return m_events.size() >= count; });
    }
    std::size_t count() {
        const std::lock_guard lock(m_mutex);
        return m_events.size();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<WaveInEvent> m_events;
};

struct Buffer {
    std::vector<std::byte> memory = std::vector<std::byte>(static_cast<std::size_t>(BufferBytes));
    WaveHeader header;
    Buffer() {
        header.data = memory.data();
        header.bufferLength = static_cast<std::uint32_t>(memory.size());
    }
};

}  // namespace

class TestAlsaWaveInput : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void configuredInputsAreListed();
    void capturesTheFileInOrder();
    void resetReturnsQueuedBuffers();
    void stopWithoutFramesReturnsNothing();
    void buffersStillQueuedCannotBeReleased();
    void missingDevices();
    void noCpuWhileNothingIsQueued();
    void engineOverAlsa();

private:
    unsigned deviceNamed(const char* pcm);
    QTemporaryDir m_dir;
    AlsaWaveInput m_service;
};

void TestAlsaWaveInput::initTestCase() {
    QVERIFY(m_dir.isValid());
    const std::vector<StereoFrame> frames = FileFrames();
    QFile raw(m_dir.filePath("capture.raw"));
    QVERIFY(raw.open(QIODevice::WriteOnly));
    raw.write(reinterpret_cast<const char*>(frames.data()),
              static_cast<qint64>(frames.size() * sizeof(StereoFrame)));
    raw.close();
    const QString config = QStringLiteral(R"(
pcm.vztest {
    type file
    slave.pcm "null"
    file "/dev/null"
    infile "%1/capture.raw"
    format "raw"
    hint { show on description "Veruziva file input" }
}
ctl.vztest { type hw card 0 }
pcm.vznoctl {
    type file
    slave.pcm "null"
    file "/dev/null"
    infile "%1/capture.raw"
    hint { show on description "Input without a mixer" }
}
pcm.vzmissing {
    type file
    slave.pcm "null"
    file "/dev/null"
    infile "%1/no-such-file.raw"
    hint { show on description "Input with a missing file" }
}
ctl.vzmissing { type hw card 0 }
)")
                               .arg(m_dir.path());
    QFile file(m_dir.filePath("asound.conf"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(config.toUtf8());
    file.close();
    qputenv("ALSA_CONFIG_PATH",
            ("/usr/share/alsa/alsa.conf:" + m_dir.filePath("asound.conf")).toLocal8Bit());
}

unsigned TestAlsaWaveInput::deviceNamed(const char* pcm) {
    const auto& devices = m_service.devices();
    for (std::size_t i = 0; i < devices.size(); ++i) {
        if (devices[i].pcmName == pcm) {
            return static_cast<unsigned>(i);
        }
    }
    return UINT_MAX;
}

void TestAlsaWaveInput::configuredInputsAreListed() {
    const auto& devices = m_service.devices();
    QVERIFY(deviceNamed("vztest") != UINT_MAX);
    QVERIFY(deviceNamed("vzmissing") != UINT_MAX);
    // No mixer of its own: not an input of the instrument. ALSA's helpers are not either.
    for (const char* absent : {"vznoctl", "null", "default", "lavrate", "samplerate", "speex",
                               "upmix", "vdownmix", "jack"}) {
        QVERIFY2(deviceNamed(absent) == UINT_MAX, absent);
    }
    WaveInCaps caps;
    QCOMPARE(m_service.deviceCaps(deviceNamed("vztest"), caps), wave::NoError);
    QVERIFY(caps.productName.find(": Veruziva file input") != std::string::npos);
    QCOMPARE(caps.productName.front(), 'P');
    QCOMPARE(caps.systemName, std::string("vztest"));
    // Device and mixer names agree in their first five characters; devices differ in theirs.
    for (std::size_t i = 0; i < devices.size(); ++i) {
        QVERIFY(devices[i].name.size() <= 31);
        QCOMPARE(devices[i].name.substr(0, 5), devices[i].mixerName.substr(0, 5));
        for (std::size_t j = i + 1; j < devices.size(); ++j) {
            if (devices[i].ctlName != devices[j].ctlName) {
                QVERIFY(devices[i].name.substr(0, 5) != devices[j].name.substr(0, 5));
            }
        }
    }
    QCOMPARE(m_service.deviceCaps(static_cast<unsigned>(devices.size()), caps), wave::BadDeviceId);
}

void TestAlsaWaveInput::capturesTheFileInOrder() {
    Notifications notifications;
    WaveInHandle handle = 0;
    QCOMPARE(m_service.open(handle, deviceNamed("vztest"), WaveFormat{}, notifications.callback()),
             wave::NoError);
    Buffer buffers[2];
    for (Buffer& buffer : buffers) {
        QCOMPARE(m_service.prepareHeader(handle, buffer.header), wave::NoError);
        QCOMPARE(m_service.addBuffer(handle, buffer.header), wave::NoError);
    }
    QCOMPARE(m_service.start(handle), wave::NoError);
    const std::vector<StereoFrame> expected = FileFrames();
    const int blocks = FileBlocks - 4;
    for (int block = 0; block < blocks; ++block) {
        QVERIFY(notifications.waitFor(static_cast<std::size_t>(block + 1)));
        Buffer& buffer = buffers[block % 2];
        QVERIFY(buffer.header.done());
        QCOMPARE(buffer.header.bytesRecorded.load(), static_cast<std::uint32_t>(BufferBytes));
        QVERIFY2(std::memcmp(buffer.memory.data(),
                             expected.data() + static_cast<std::size_t>(block) * FramesPerBuffer,
                             static_cast<std::size_t>(BufferBytes)) == 0,
                 qPrintable(QStringLiteral("block %1 differs from the file").arg(block)));
        QCOMPARE(m_service.addBuffer(handle, buffer.header), wave::NoError);
    }
    QCOMPARE(m_service.reset(handle), wave::NoError);
    for (Buffer& buffer : buffers) {
        QVERIFY(buffer.header.done());
        QCOMPARE(m_service.unprepareHeader(handle, buffer.header), wave::NoError);
    }
    const auto statistics = m_service.statistics(handle);
    QVERIFY(statistics);
    QVERIFY(statistics->framesCaptured >= static_cast<std::uint64_t>(blocks) * FramesPerBuffer);
    QCOMPARE(m_service.close(handle), wave::NoError);
    QCOMPARE(m_service.start(handle), wave::InvalidHandle);
}

void TestAlsaWaveInput::resetReturnsQueuedBuffers() {
    Notifications notifications;
    WaveInHandle handle = 0;
    QCOMPARE(m_service.open(handle, deviceNamed("vztest"), WaveFormat{}, notifications.callback()),
             wave::NoError);
    Buffer buffers[2];
    for (Buffer& buffer : buffers) {
        m_service.prepareHeader(handle, buffer.header);
        m_service.addBuffer(handle, buffer.header);
    }
    QCOMPARE(m_service.reset(handle), wave::NoError);
    // Both come back marked done, and are reported, before reset returns.
    QCOMPARE(notifications.count(), std::size_t(2));
    for (Buffer& buffer : buffers) {
        QVERIFY(buffer.header.done());
        QCOMPARE(buffer.header.bytesRecorded.load(), 0u);
        QCOMPARE(buffer.header.flags.load() & WHDR_INQUEUE, 0u);
    }
    QCOMPARE(m_service.close(handle), wave::NoError);
}

void TestAlsaWaveInput::stopWithoutFramesReturnsNothing() {
    Notifications notifications;
    WaveInHandle handle = 0;
    QCOMPARE(m_service.open(handle, deviceNamed("vztest"), WaveFormat{}, notifications.callback()),
             wave::NoError);
    Buffer buffer;
    m_service.prepareHeader(handle, buffer.header);
    m_service.addBuffer(handle, buffer.header);
    QCOMPARE(m_service.stop(handle), wave::NoError);  // never started: nothing recorded
    QCOMPARE(notifications.count(), std::size_t(0));
    QVERIFY(!buffer.header.done());
    m_service.reset(handle);
    QCOMPARE(m_service.close(handle), wave::NoError);
}

void TestAlsaWaveInput::buffersStillQueuedCannotBeReleased() {
    WaveInHandle handle = 0;
    QCOMPARE(m_service.open(handle, deviceNamed("vztest"), WaveFormat{}, nullptr), wave::NoError);
    Buffer buffer;
    QCOMPARE(m_service.addBuffer(handle, buffer.header), wave::Unprepared);
    m_service.prepareHeader(handle, buffer.header);
    m_service.addBuffer(handle, buffer.header);
    QCOMPARE(m_service.addBuffer(handle, buffer.header), wave::StillRecording);
    QCOMPARE(m_service.unprepareHeader(handle, buffer.header), wave::StillRecording);
    QCOMPARE(m_service.close(handle), wave::StillRecording);
    m_service.reset(handle);
    QCOMPARE(m_service.unprepareHeader(handle, buffer.header), wave::NoError);
    QCOMPARE(m_service.close(handle), wave::NoError);
}

void TestAlsaWaveInput::missingDevices() {
    WaveInHandle handle = 0;
    QCOMPARE(m_service.open(handle, 9999, WaveFormat{}, nullptr), wave::BadDeviceId);
    QVERIFY(m_service.open(handle, deviceNamed("vzmissing"), WaveFormat{}, nullptr) !=
            wave::NoError);
    WaveFormat mono;
    mono.channels = 1;
    QCOMPARE(m_service.open(handle, deviceNamed("vztest"), mono, nullptr), wave::BadFormat);
    QCOMPARE(m_service.start(12345), wave::InvalidHandle);
}

void TestAlsaWaveInput::noCpuWhileNothingIsQueued() {
    WaveInHandle handle = 0;
    QCOMPARE(m_service.open(handle, deviceNamed("vztest"), WaveFormat{}, nullptr), wave::NoError);
    QCOMPARE(m_service.start(handle), wave::NoError);  // running, but no buffer to fill
    const double before = m_service.statistics(handle)->threadCpuSeconds;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    m_service.stop(handle);  // the thread wakes and records its CPU time
    const double used = m_service.statistics(handle)->threadCpuSeconds - before;
    QVERIFY2(used < 0.005, qPrintable(QString::number(used)));
    QCOMPARE(m_service.close(handle), wave::NoError);
}

void TestAlsaWaveInput::engineOverAlsa() {
    // The engine's ring over the real service: slots 1, 0, 1, ... carrying the file in order.
    sim::ScriptedMessageBoxes boxes;
    FatalErrors fatal(boxes, nullptr);
    Notifications notifications;
    CaptureEngine engine(m_service, fatal, notifications.callback());
    engine.setSoundDevice(static_cast<std::int32_t>(deviceNamed("vztest")));
    engine.OpenWaveIn();
    engine.StartStop();
    const std::vector<StereoFrame> expected = FileFrames();
    for (int block = 0; block < 10; ++block) {
        QVERIFY(notifications.waitFor(static_cast<std::size_t>(block + 1)));
        QVERIFY(engine.FindDoneBuffer());
        QCOMPARE(engine.DoneBuffer(), block % 2 == 0 ? 1 : 0);
        const auto frames = engine.DoneBlock();
        QCOMPARE(frames.size(), std::size_t(FramesPerBuffer));
        QCOMPARE(frames.front().a, expected[static_cast<std::size_t>(block) * FramesPerBuffer].a);
        QCOMPARE(frames.back().b, static_cast<std::int16_t>(block));
        engine.GiveBackBuffer();
    }
    engine.CloseWaveIn();
    QVERIFY(boxes.shown().isEmpty());
    // Polled grabs over the same device: consecutive file frames within each block.
    engine.OpenWaveInPolled();
    engine.GrabBlock();
    const std::vector<StereoFrame>& samples = engine.Samples();
    for (std::size_t i = 1; i < samples.size(); ++i) {
        QCOMPARE(samples[i].a, static_cast<std::int16_t>(samples[i - 1].a + 1));
    }
    engine.CloseWaveIn();
    QVERIFY(boxes.shown().isEmpty());
}

QTEST_GUILESS_MAIN(TestAlsaWaveInput)
#include "tst_alsawaveinput.moc"
