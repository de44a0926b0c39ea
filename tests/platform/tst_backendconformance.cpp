#include <QtTest>
#include <memory>
#include <thread>

#include "arrivals.h"
#include "mixer/audiomixer.h"
#include "platform/alsa/alsamixerservice.h"
#include "platform/alsa/alsawaveinput.h"
#include "platform/lineinkeys.h"
#include "platform/pulse/pulsemixerservice.h"
#include "platform/pulse/pulsewaveinput.h"
#include "pulseserver.h"
#include "support/simbench.h"

using namespace veruziva;
using Clock = std::chrono::steady_clock;

namespace {

StereoFrame FeedFrame(std::uint64_t frame) {
    return {PulseServer::SampleA(frame), PulseServer::SampleB(frame)};
}

struct Buffer {
    explicit Buffer(std::uint32_t length = static_cast<std::uint32_t>(BufferBytes),
                    bool memory = true)
        : bytes(length) {
        header.data = memory ? bytes.data() : nullptr;
        header.bufferLength = length;
    }
    std::vector<std::byte> bytes;
    WaveHeader header;

    bool queued() const { return (header.flags.load() & WHDR_INQUEUE) != 0; }
    std::span<const StereoFrame> frames() const {
        return {reinterpret_cast<const StereoFrame*>(bytes.data()),
                header.bytesRecorded.load() / sizeof(StereoFrame)};
    }
};

bool WaitUntilDone(const WaveHeader& header, int milliseconds = 6000) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    while (!header.done() && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return header.done();
}

// A device opened for a test: a test that fails leaves it reset and closed before its buffers
// and the receiver of its notifications go.
class Session {
public:
    explicit Session(WaveInput& input) : m_input(input) {}
    ~Session() {
        m_input.reset(handle);
        m_input.close(handle);
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    int open(unsigned device, WaveInNotify notify) {
        return m_input.open(handle, device, WaveFormat{}, std::move(notify));
    }
    WaveInHandle handle = 0;

private:
    WaveInput& m_input;
};

enum class Kind { Simulated, Alsa, SoundServer };

// One back end: its two services, the input fed with the signal, and another program's way to
// set a volume on its mixer.
struct BackEnd {
    WaveInput* input = nullptr;
    MixerService* mixers = nullptr;
    std::string systemName;
    std::function<bool(unsigned mixer, std::uint32_t controlId, std::int32_t level)> outside;
};

}  // namespace

Q_DECLARE_METATYPE(Kind)

// What every audio back end does alike (CONTRIBUTING.md, "Writing an audio back end"), on the
// simulated one, on ALSA (a file input whose control device is the test control plugin) and on
// a private sound server; each test runs on each.
class TestBackendConformance : public QObject {
    Q_OBJECT

private slots:
    void initTestCase_data();
    void initTestCase();
    void cleanupTestCase();
    void devicesAndTheirMixers();
    void rejectedCalls_data();
    void rejectedCalls();
    void rejectedHeaders_data();
    void rejectedHeaders();
    void blocksArriveInOrder_data();
    void blocksArriveInOrder();
    void stopAndReset_data();
    void stopAndReset();
    void mixerLines();
    void lineLevels_data();
    void lineLevels();
    void changeMessages_data();
    void changeMessages();

private:
    BackEnd& backEnd();
    unsigned device();
    int matchingMixer();
    int lineIn(const TAudioMixer& component);

    QTemporaryDir m_dir;
    PulseServer m_server;
    std::map<Kind, BackEnd> m_backEnds;
    std::unique_ptr<sim::SimBench> m_bench;
    std::unique_ptr<alsa::AlsaWaveInput> m_alsaInput;
    std::unique_ptr<alsa::AlsaMixerService> m_alsaMixers;
    std::shared_ptr<pulse::SoundServer> m_soundServer;
    std::unique_ptr<pulse::PulseWaveInput> m_pulseInput;
    std::unique_ptr<pulse::PulseMixerService> m_pulseMixers;
};

void TestBackendConformance::initTestCase_data() {
    QTest::addColumn<Kind>("kind");
    QTest::newRow("simulated") << Kind::Simulated;
    QTest::newRow("ALSA") << Kind::Alsa;
    QTest::newRow("sound server") << Kind::SoundServer;
}

void TestBackendConformance::initTestCase() {
    if (m_bench) {
        return;  // every back end is made at the first row
    }
    QVERIFY(m_dir.isValid());
    // Simulated: two cards, delivering in real time.
    m_bench = std::make_unique<sim::SimBench>(std::vector<std::string>{"Mic", "Line In"});
    m_bench->addCard("0: Simulated card", FeedFrame);
    m_bench->addCard("1: Simulated USB", [](std::uint64_t) { return StereoFrame{}; });
    m_bench->waveInput.setDelivery(sim::SimWaveInput::Delivery::Paced);
    m_backEnds[Kind::Simulated] = {
        &m_bench->waveInput, &m_bench->mixers, "sim:0",
        [this](unsigned mixer, std::uint32_t controlId, std::int32_t level) {
            m_bench->mixers.setFromOutside(mixer, controlId, {level, level});
            return true;
        }};

    // ALSA: the signal in a file, read by the file plugin; the HDA layout's control device.
    QFile raw(m_dir.filePath("capture.raw"));
    QVERIFY(raw.open(QIODevice::WriteOnly));
    for (std::uint64_t frame = 0; frame < 64 * FramesPerBuffer; ++frame) {
        const StereoFrame sample = FeedFrame(frame);
        raw.write(reinterpret_cast<const char*>(&sample), sizeof(sample));
    }
    raw.close();
    QFile config(m_dir.filePath("asound.conf"));
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write(QStringLiteral("ctl_type.vzctl { lib \"%1\" }\n"
                                "pcm.vzcard { type file slave.pcm \"null\" file \"/dev/null\" "
                                "infile \"%2/capture.raw\" format \"raw\" "
                                "hint { show on description \"Conformance card\" } }\n"
                                "ctl.vzcard { type vzctl layout \"hda\" state \"%2/vzcard.state\" "
                                "log \"%2/vzcard.log\" }\n")
                     .arg(QStringLiteral(CTL_PLUGIN), m_dir.path())
                     .toUtf8());
    config.close();
    qputenv("ALSA_CONFIG_PATH", ("/usr/share/alsa/alsa.conf:" + config.fileName()).toLocal8Bit());
    m_alsaInput = std::make_unique<alsa::AlsaWaveInput>(alsa::ServerDevices::Left);
    m_alsaMixers = std::make_unique<alsa::AlsaMixerService>(alsa::ServerDevices::Left);
    m_backEnds[Kind::Alsa] = {m_alsaInput.get(), m_alsaMixers.get(), "vzcard",
                              [](unsigned mixer, std::uint32_t controlId, std::int32_t level) {
                                  alsa::AlsaMixerService other(alsa::ServerDevices::Left);
                                  MixerHandle handle = 0;
                                  return other.open(handle, mixer, nullptr) == mixer::NoError &&
                                         other.setControlValues(handle, controlId, 1, 0, {level}) ==
                                             mixer::NoError &&
                                         other.close(handle) == mixer::NoError;
                              }};

    // The sound server: its pipe source fed with the signal.
    QVERIFY2(m_server.start(), qPrintable(m_server.error()));
    m_soundServer = pulse::SoundServer::Find();
    QVERIFY(m_soundServer);
    m_pulseInput = std::make_unique<pulse::PulseWaveInput>(m_soundServer);
    m_pulseMixers = std::make_unique<pulse::PulseMixerService>(m_soundServer);
    m_backEnds[Kind::SoundServer] = {
        m_pulseInput.get(), m_pulseMixers.get(), "vzpipe",
        [this](unsigned, std::uint32_t, std::int32_t level) {
            const qint64 volume = (static_cast<qint64>(level) * 65536 + 32767) / 65535;
            return m_server.pactl({"set-source-volume", "vzpipe", QString::number(volume)})
                .has_value();
        }};
}

void TestBackendConformance::cleanupTestCase() {
    m_pulseInput.reset();
    m_pulseMixers.reset();
    m_soundServer.reset();
    m_server.stop();
}

BackEnd& TestBackendConformance::backEnd() {
    QFETCH_GLOBAL(Kind, kind);
    return m_backEnds.at(kind);
}

unsigned TestBackendConformance::device() {
    WaveInput& input = *backEnd().input;
    for (unsigned device = 0; device < input.deviceCount(); ++device) {
        WaveInCaps caps;
        if (input.deviceCaps(device, caps) == wave::NoError &&
            caps.systemName == backEnd().systemName) {
            return device;
        }
    }
    return UINT_MAX;
}

// The mixer of the fed input: the first whose name agrees with the device's in five characters.
int TestBackendConformance::matchingMixer() {
    WaveInCaps caps;
    if (backEnd().input->deviceCaps(device(), caps) != wave::NoError) {
        return -1;
    }
    for (unsigned mixer = 0; mixer < backEnd().mixers->deviceCount(); ++mixer) {
        MixerCaps mixerCaps;
        if (backEnd().mixers->caps(mixer, mixerCaps) == mixer::NoError &&
            mixerCaps.productName.substr(0, 5) == caps.productName.substr(0, 5)) {
            return static_cast<int>(mixer);
        }
    }
    return -1;
}

// The recording destination's line-in, by start-up's keys.
int TestBackendConformance::lineIn(const TAudioMixer& component) {
    const TMixerDestination* recording = component.Destinations()->DestinationAt(1);
    for (int line = 0; recording != nullptr && line < recording->Connections.ConnectionCount();
         ++line) {
        if (NameHoldsKey(recording->Connections.ConnectionAt(line)->LineInfo.name,
                         StartupLineInKeys)) {
            return line;
        }
    }
    return -1;
}

void TestBackendConformance::devicesAndTheirMixers() {
    WaveInput& input = *backEnd().input;
    MixerService& mixers = *backEnd().mixers;
    QVERIFY(device() != UINT_MAX);
    std::vector<std::string> names;
    for (unsigned device = 0; device < input.deviceCount(); ++device) {
        WaveInCaps caps;
        QCOMPARE(input.deviceCaps(device, caps), wave::NoError);
        QVERIFY(!caps.productName.empty() && caps.productName.size() <= 31);
        QVERIFY(!caps.systemName.empty());
        // Different devices differ in the five characters that pair them with their mixers.
        for (const std::string& earlier : names) {
            QVERIFY2(earlier.substr(0, 5) != caps.productName.substr(0, 5),
                     caps.productName.c_str());
        }
        names.push_back(caps.productName);
    }
    WaveInCaps caps;
    QCOMPARE(input.deviceCaps(input.deviceCount(), caps), wave::BadDeviceId);
    // The fed input's mixer: the recording side is destination 1 of 2.
    const int mixer = matchingMixer();
    QVERIFY(mixer >= 0);
    MixerCaps mixerCaps;
    QCOMPARE(mixers.caps(static_cast<unsigned>(mixer), mixerCaps), mixer::NoError);
    QCOMPARE(mixerCaps.destinations, 2u);
    QVERIFY(mixerCaps.productName.size() <= 31);
    QCOMPARE(mixers.caps(mixers.deviceCount(), mixerCaps), mixer::BadDeviceId);
    MixerHandle handle = 0;
    QCOMPARE(mixers.open(handle, mixers.deviceCount(), nullptr), mixer::BadDeviceId);
}

void TestBackendConformance::rejectedCalls_data() {
    QTest::addColumn<QString>("call");
    QTest::addColumn<int>("result");
    QTest::newRow("open a device past the last") << "open past" << wave::BadDeviceId;
    QTest::newRow("open in mono") << "open mono" << wave::BadFormat;
    QTest::newRow("open at 48000 frames/s") << "open 48000" << wave::BadFormat;
    for (const char* call : {"prepare", "add", "unprepare", "start", "stop", "reset", "close"}) {
        QTest::addRow("%s on a closed handle", call) << call << wave::InvalidHandle;
    }
}

void TestBackendConformance::rejectedCalls() {
    QFETCH(QString, call);
    QFETCH(int, result);
    WaveInput& input = *backEnd().input;
    WaveInHandle handle = 0;
    WaveFormat format;
    if (call.startsWith("open")) {
        format.channels = call == "open mono" ? 1 : 2;
        format.samplesPerSecond = call == "open 48000" ? 48000 : 44100;
        const unsigned opened = call == "open past" ? input.deviceCount() : device();
        QCOMPARE(input.open(handle, opened, format, nullptr), result);
        return;
    }
    QCOMPARE(input.open(handle, device(), format, nullptr), wave::NoError);
    Buffer buffer;
    QCOMPARE(input.prepareHeader(handle, buffer.header), wave::NoError);
    QCOMPARE(input.unprepareHeader(handle, buffer.header), wave::NoError);
    QCOMPARE(input.close(handle), wave::NoError);
    const std::map<QString, std::function<int()>> calls{
        {"prepare", [&] { return input.prepareHeader(handle, buffer.header); }},
        {"add", [&] { return input.addBuffer(handle, buffer.header); }},
        {"unprepare", [&] { return input.unprepareHeader(handle, buffer.header); }},
        {"start", [&] { return input.start(handle); }},
        {"stop", [&] { return input.stop(handle); }},
        {"reset", [&] { return input.reset(handle); }},
        {"close", [&] { return input.close(handle); }}};
    QCOMPARE(calls.at(call)(), result);
}

void TestBackendConformance::rejectedHeaders_data() {
    QTest::addColumn<bool>("memory");
    QTest::addColumn<std::uint32_t>("length");
    QTest::addColumn<bool>("prepared");
    QTest::addColumn<int>("adds");
    QTest::addColumn<int>("prepareResult");
    QTest::addColumn<int>("addResult");  // of the last add
    QTest::newRow("no memory") << false << 16384u << true << 1 << wave::InvalidParameter
                               << wave::Unprepared;
    QTest::newRow("no length") << true << 0u << true << 1 << wave::InvalidParameter
                               << wave::Unprepared;
    QTest::newRow("shorter than a frame")
        << true << 3u << true << 1 << wave::InvalidParameter << wave::Unprepared;
    QTest::newRow("one frame") << true << 4u << true << 1 << wave::NoError << wave::NoError;
    QTest::newRow("not prepared") << true << 16384u << false << 1 << wave::NoError
                                  << wave::Unprepared;
    QTest::newRow("queued twice") << true << 16384u << true << 2 << wave::NoError
                                  << wave::StillRecording;
}

void TestBackendConformance::rejectedHeaders() {
    QFETCH(bool, memory);
    QFETCH(std::uint32_t, length);
    QFETCH(bool, prepared);
    QFETCH(int, adds);
    QFETCH(int, prepareResult);
    QFETCH(int, addResult);
    WaveInput& input = *backEnd().input;
    Buffer buffer(length, memory);
    Session session(input);
    const WaveInHandle& handle = session.handle;
    QCOMPARE(session.open(device(), nullptr), wave::NoError);
    if (prepared) {
        QCOMPARE(input.prepareHeader(handle, buffer.header), prepareResult);
    }
    int added = wave::NoError;
    for (int add = 0; add < adds; ++add) {
        added = input.addBuffer(handle, buffer.header);
    }
    QCOMPARE(added, addResult);
    if (buffer.queued()) {
        // The service holds the buffer: neither it nor the device can be let go.
        QCOMPARE(input.unprepareHeader(handle, buffer.header), wave::StillRecording);
        QCOMPARE(input.close(handle), wave::StillRecording);
    }
    QCOMPARE(input.reset(handle), wave::NoError);
    QVERIFY(!buffer.queued());
    QCOMPARE(input.unprepareHeader(handle, buffer.header), wave::NoError);
    QCOMPARE(buffer.header.flags.load() & WHDR_PREPARED, 0u);
    QCOMPARE(input.close(handle), wave::NoError);
}

void TestBackendConformance::blocksArriveInOrder_data() {
    QTest::addColumn<std::uint32_t>("length");
    QTest::addColumn<bool>("notified");
    QTest::addColumn<std::uint32_t>("recorded");
    QTest::newRow("blocks, notified") << 16384u << true << 16384u;
    QTest::newRow("blocks, polled") << 16384u << false << 16384u;
    QTest::newRow("a length of frames and a half") << 4002u << true << 4000u;
}

void TestBackendConformance::blocksArriveInOrder() {
    QFETCH(std::uint32_t, length);
    QFETCH(bool, notified);
    QFETCH(std::uint32_t, recorded);
    WaveInput& input = *backEnd().input;
    Arrivals arrivals;
    Buffer buffers[2]{Buffer(length), Buffer(length)};
    Session session(input);
    const WaveInHandle& handle = session.handle;
    QCOMPARE(session.open(device(), notified ? arrivals.callback() : nullptr), wave::NoError);
    for (Buffer& buffer : buffers) {
        QCOMPARE(input.prepareHeader(handle, buffer.header), wave::NoError);
        QCOMPARE(input.addBuffer(handle, buffer.header), wave::NoError);
    }
    QCOMPARE(input.start(handle), wave::NoError);
    constexpr std::size_t Blocks = 6;
    std::optional<std::uint64_t> next;
    for (std::size_t block = 0; block < Blocks; ++block) {
        Buffer& buffer = buffers[block % 2];
        if (notified) {
            QVERIFY2(arrivals.waitFor(block + 1, 6000), "no notification");
            QVERIFY(buffer.header.done());  // done before it is reported
        } else {
            QVERIFY2(WaitUntilDone(buffer.header), "no buffer came back");
        }
        QVERIFY(!buffer.queued());
        QCOMPARE(buffer.header.bytesRecorded.load(), recorded);
        // The frames of the signal, one after the other, within and across buffers.
        for (const StereoFrame frame : buffer.frames()) {
            if (next) {
                QCOMPARE(PulseServer::Position(frame), *next);
            }
            next = PulseServer::Position(frame) + 1;
        }
        QCOMPARE(input.addBuffer(handle, buffer.header), wave::NoError);
    }
    QCOMPARE(input.reset(handle), wave::NoError);
    QCOMPARE(arrivals.count(), notified ? Blocks + 2 : 0);
    for (Buffer& buffer : buffers) {
        QCOMPARE(input.unprepareHeader(handle, buffer.header), wave::NoError);
    }
    QCOMPARE(input.close(handle), wave::NoError);
}

void TestBackendConformance::stopAndReset_data() {
    QTest::addColumn<bool>("started");  // one block has come back, and has been queued again
    QTest::addColumn<bool>("reset");    // else stop
    QTest::newRow("stop before the start") << false << false;
    QTest::newRow("reset before the start") << false << true;
    QTest::newRow("stop while running") << true << false;
    QTest::newRow("reset while running") << true << true;
}

void TestBackendConformance::stopAndReset() {
    QFETCH(bool, started);
    QFETCH(bool, reset);
    WaveInput& input = *backEnd().input;
    Arrivals arrivals;
    Buffer buffers[2];
    Session session(input);
    const WaveInHandle& handle = session.handle;
    QCOMPARE(session.open(device(), arrivals.callback()), wave::NoError);
    for (Buffer& buffer : buffers) {
        input.prepareHeader(handle, buffer.header);
        input.addBuffer(handle, buffer.header);
    }
    if (started) {
        QCOMPARE(input.start(handle), wave::NoError);
        QVERIFY(arrivals.waitFor(1, 6000));
        QCOMPARE(input.addBuffer(handle, buffers[0].header), wave::NoError);
        QThread::msleep(40);  // into the next block
    }
    const std::size_t before = arrivals.count();
    const bool queued[2]{buffers[0].queued(), buffers[1].queued()};
    QCOMPARE(reset ? input.reset(handle) : input.stop(handle), wave::NoError);
    // What the call returned is reported before it returns: with a reset, every queued buffer;
    // with a stop, the one being filled when it holds a frame, and only then.
    std::size_t returned = 0;
    for (int i = 0; i < 2; ++i) {
        const WaveHeader& header = buffers[i].header;
        if (queued[i] && header.done()) {
            ++returned;
            QVERIFY(!buffers[i].queued());
            QCOMPARE(header.bytesRecorded.load() % 4, 0u);
            QVERIFY(reset || header.bytesRecorded.load() > 0);
        } else if (queued[i]) {
            QVERIFY(!reset && buffers[i].queued());
            QCOMPARE(header.bytesRecorded.load(), 0u);
        }
    }
    QCOMPARE(arrivals.count() - before, returned);
    QVERIFY(reset || returned <= 1);
    QThread::msleep(250);  // stopped: nothing more comes
    QCOMPARE(arrivals.count(), before + returned);
    QCOMPARE(input.reset(handle), wave::NoError);
    for (Buffer& buffer : buffers) {
        QVERIFY(buffer.header.done());
        QCOMPARE(input.unprepareHeader(handle, buffer.header), wave::NoError);
    }
    QCOMPARE(input.close(handle), wave::NoError);
}

void TestBackendConformance::mixerLines() {
    MixerService& mixers = *backEnd().mixers;
    MixerHandle handle = 0;
    QCOMPARE(mixers.open(handle, static_cast<unsigned>(matchingMixer()), nullptr), mixer::NoError);
    bool lineInFound = false;
    for (std::uint32_t d = 0; d < 2; ++d) {
        MixerLine destination;
        QCOMPARE(mixers.lineByDestination(handle, d, destination), mixer::NoError);
        QCOMPARE(destination.lineId, 0xFFFF0000u + d);
        QCOMPARE(destination.destination, d);
        std::vector<MixerLine> lines{destination};
        for (std::uint32_t s = 0; s < destination.connections; ++s) {
            MixerLine source;
            QCOMPARE(mixers.lineBySource(handle, d, s, source), mixer::NoError);
            QCOMPARE(source.lineId, s * 0x10000u + d);
            QCOMPARE(source.destination, d);
            QCOMPARE(source.source, s);
            lineInFound = lineInFound || (d == 1 && NameHoldsKey(source.name, StartupLineInKeys));
            lines.push_back(source);
        }
        MixerLine past;
        QCOMPARE(mixers.lineBySource(handle, d, destination.connections, past), mixer::InvalidLine);
        for (const MixerLine& line : lines) {
            QVERIFY(line.name.size() <= 63 && line.shortName.size() <= 15);
            std::vector<MixerControlInfo> controls;
            QCOMPARE(mixers.lineControls(handle, line.lineId, controls), mixer::NoError);
            QCOMPARE(controls.size(), std::size_t{line.controls});
            for (const MixerControlInfo& control : controls) {
                // Values come as channels x items, a uniform control as one channel.
                const std::uint32_t channels =
                    (control.flags & mixer::UniformFlag) != 0 ? 1 : line.channels;
                const std::uint32_t items =
                    (control.flags & mixer::MultipleFlag) != 0 ? control.items : 0;
                std::vector<std::int32_t> values;
                QCOMPARE(mixers.controlValues(handle, control.controlId, channels, items, values),
                         mixer::NoError);
                QCOMPARE(values.size(), std::size_t{channels * std::max(items, 1u)});
                for (const std::int32_t value : values) {
                    QVERIFY(value >= control.minimum && value <= control.maximum);
                }
                // A selector's entries stand for source lines of its destination.
                std::vector<MixerListText> texts;
                if ((control.type & mixer::ClassMask) == mixer::ListClass) {
                    QCOMPARE(mixers.listTexts(handle, control.controlId, 1, control.items, texts),
                             mixer::NoError);
                    for (const MixerListText& text : texts) {
                        QCOMPARE(text.lineId & 0xFFFFu, d);
                    }
                }
            }
        }
    }
    QVERIFY2(lineInFound, "no line-in among the recording sources");
    MixerLine past;
    QCOMPARE(mixers.lineByDestination(handle, 2, past), mixer::InvalidLine);
    QCOMPARE(mixers.close(handle), mixer::NoError);
    QCOMPARE(mixers.close(handle), mixer::InvalidHandle);
    QCOMPARE(mixers.lineByDestination(handle, 0, past), mixer::InvalidHandle);
}

void TestBackendConformance::lineLevels_data() {
    QTest::addColumn<std::int32_t>("left");
    QTest::addColumn<std::int32_t>("right");
    QTest::addColumn<std::int32_t>("mute");
    QTest::newRow("full, live") << 65535 << 65535 << 0;
    QTest::newRow("low, muted") << 20000 << 20000 << 1;
    QTest::newRow("left and right apart") << 30000 << 50000 << 0;
}

// The line-in's level through the component, read back as the device keeps it: to the
// nearest of its steps (a card has 64 here).
void TestBackendConformance::lineLevels() {
    QFETCH(std::int32_t, left);
    QFETCH(std::int32_t, right);
    QFETCH(std::int32_t, mute);
    TAudioMixer component(*backEnd().mixers);
    component.setMixerId(matchingMixer());
    const int line = lineIn(component);
    QVERIFY(line >= 0);
    QVERIFY(component.SetLineLevel(1, line, left, right, mute));
    LineLevel level;
    QVERIFY(component.GetLineLevel(1, line, level));
    QVERIFY(level.stereo);
    QVERIFY2(std::abs(level.left - left) <= 520, qPrintable(QString::number(level.left)));
    QVERIFY2(std::abs(level.right - right) <= 520, qPrintable(QString::number(level.right)));
    QCOMPARE(level.mute, mute);
    QVERIFY(component.SetLineLevel(1, line, 65535, 65535, 0));
}

void TestBackendConformance::changeMessages_data() {
    QTest::addColumn<bool>("outside");  // by another program, else the component
    QTest::addColumn<std::int32_t>("level");
    QTest::addColumn<bool>("messages");
    QTest::newRow("another program sets the volume") << true << 20000 << true;
    QTest::newRow("the component sets the volume") << false << 20000 << true;
    QTest::newRow("the same volume again") << true << 65535 << false;
}

// A change of the line-in's volume: a message for every control whose values it changed, all of
// them volumes, on the thread that opened the mixer, from its event loop.
void TestBackendConformance::changeMessages() {
    QFETCH(bool, outside);
    QFETCH(std::int32_t, level);
    QFETCH(bool, messages);
    TAudioMixer component(*backEnd().mixers);
    component.setMixerId(matchingMixer());
    QVERIFY(component.Notifying());
    const int line = lineIn(component);
    QVERIFY(component.SetLineLevel(1, line, 65535, 65535, 0));
    std::map<std::int32_t, std::uint32_t> types;
    std::int32_t volume = -1;
    const TMixerDestination* recording = component.Destinations()->DestinationAt(1);
    for (int l = -1; l < recording->Connections.ConnectionCount(); ++l) {
        const TMixerControls& controls =
            l < 0 ? recording->Controls : recording->Connections.ConnectionAt(l)->Controls;
        for (int k = 0; k < controls.ControlCount(); ++k) {
            const MixerControlInfo& control = *controls.ControlAt(k);
            types[static_cast<std::int32_t>(control.controlId)] = control.type;
            if (l == line && control.type == mixer::VolumeControl && volume < 0) {
                volume = static_cast<std::int32_t>(control.controlId);
            }
        }
    }
    QVERIFY(volume > 0);
    QTest::qWait(200);  // the messages of the setting above
    QList<std::int32_t> seen;
    const std::thread::id thread = std::this_thread::get_id();
    component.OnControlChange = [&](TAudioMixer&, std::int32_t, std::int32_t id) {
        QCOMPARE(std::this_thread::get_id(), thread);
        seen << id;
    };
    if (outside) {
        QVERIFY(backEnd().outside(static_cast<unsigned>(matchingMixer()),
                                  static_cast<std::uint32_t>(volume), level));
    } else {
        QVERIFY(component.SetLineLevel(1, line, level, level, -1));
        QVERIFY(seen.isEmpty());  // never from inside a call
    }
    if (!messages) {
        QTest::qWait(300);
        QCOMPARE(seen, QList<std::int32_t>{});
        return;
    }
    QTRY_VERIFY(seen.contains(volume));
    QTest::qWait(100);
    for (const std::int32_t id : seen) {
        QCOMPARE(types[id], mixer::VolumeControl);
    }
    component.OnControlChange = nullptr;
    QVERIFY(component.SetLineLevel(1, line, 65535, 65535, 0));
}

QTEST_GUILESS_MAIN(TestBackendConformance)
#include "tst_backendconformance.moc"
