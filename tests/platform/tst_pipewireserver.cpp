#include <signal.h>

#include <QtTest>
#include <chrono>
#include <cstring>
#include <vector>

#include "pipewireserver.h"

using veruziva::StereoFrame;
using Clock = std::chrono::steady_clock;

namespace {

// The fed signal from `first` on, `count` frames.
std::vector<StereoFrame> Fed(std::uint64_t first, std::size_t count) {
    std::vector<StereoFrame> frames(count);
    for (std::size_t i = 0; i < count; ++i) {
        frames[i] = {PipeWireServer::SampleA(first + i), PipeWireServer::SampleB(first + i)};
    }
    return frames;
}

bool Alive(qint64 pid) {
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH;
}

// parec recording the pipe source at 44100 frames/s through the server's PulseAudio service.
class Recording {
public:
    Recording() {
        m_parec.start(QStringLiteral("parec"), {"--rate=44100", "--format=s16le", "--channels=2",
                                                "--device=vzpipe", "--latency-msec=100", "--raw"});
    }
    ~Recording() {
        m_parec.terminate();
        m_parec.waitForFinished(3000);
    }
    // Waits until `count` frames have come in all, for 10 s at most.
    bool waitFor(std::size_t count) {
        const Clock::time_point deadline = Clock::now() + std::chrono::seconds(10);
        while (frames() < count && Clock::now() < deadline && readMore(100)) {
        }
        return frames() >= count;
    }
    // Waits until nothing has come in for `quiet`, for 10 s at most.
    bool waitForSilence(std::chrono::milliseconds quiet) {
        const Clock::time_point deadline = Clock::now() + std::chrono::seconds(10);
        Clock::time_point last = Clock::now();
        while (Clock::now() < deadline) {
            const std::size_t before = frames();
            if (!readMore(10)) {
                return false;
            }
            if (frames() != before) {
                last = Clock::now();
            } else if (Clock::now() - last >= quiet) {
                return true;
            }
        }
        return false;
    }
    std::size_t frames() const {
        return static_cast<std::size_t>(m_data.size()) / sizeof(StereoFrame);
    }
    std::vector<StereoFrame> take() const {
        std::vector<StereoFrame> frames(this->frames());
        std::memcpy(frames.data(), m_data.constData(), frames.size() * sizeof(StereoFrame));
        return frames;
    }
    QString error() { return QString::fromLocal8Bit(m_parec.readAllStandardError()); }

private:
    bool readMore(int milliseconds) {
        if (m_parec.state() == QProcess::NotRunning && m_parec.bytesAvailable() == 0) {
            return false;
        }
        m_parec.waitForReadyRead(milliseconds);
        m_data += m_parec.readAllStandardOutput();
        return true;
    }

    QProcess m_parec;
    QByteArray m_data;
};

// A new stream starts with its resamplers' response to the silence before it.
constexpr std::size_t Settling = 4410;

}  // namespace

class TestPipeWireServer : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void continuityTakesTheFedSignal();
    void continuityFindsEveryShortGapAndRepeat();
    void continuityFindsOtherSignals();
    void serverIsPipeWireAt48000();
    void recordingIsTheFedSignalResampled();
    void suspendingTheSourceDoesNotStallARecording();
    void frozenGraphStallsTheRecording();
    void stopLeavesNothingAndStartsAgain();

private:
    PipeWireServer m_server;
};

void TestPipeWireServer::initTestCase() {
    const Clock::time_point started = Clock::now();
    QVERIFY2(m_server.start(), qPrintable(m_server.error()));
    qInfo(
        "the servers started in %lld ms",
        static_cast<long long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started).count()));
}

void TestPipeWireServer::cleanupTestCase() {
    m_server.stop();
}

void TestPipeWireServer::continuityTakesTheFedSignal() {
    QCOMPARE(PipeWireServer::continuity(Fed(0, 88200)), QString());
    QCOMPARE(PipeWireServer::continuity(Fed(123457, 4096)), QString());
    QCOMPARE(PipeWireServer::continuity(Fed(99, 441)), QString());
    // A run shorter than one window says nothing either way.
    QVERIFY(!PipeWireServer::continuity(Fed(0, 440)).isEmpty());
}

void TestPipeWireServer::continuityFindsEveryShortGapAndRepeat() {
    // The shifts where both phases come closest to a whole turn, and a block's multiples.
    std::vector<std::size_t> shifts = {441, 882, 1024, 2048, 4096, 4410, 8192};
    for (std::size_t shift = 1; shift <= 64; ++shift) {
        shifts.push_back(shift);
    }
    for (std::size_t shift = 1; shift <= 8192; ++shift) {
        const auto off = [](int frequency, std::size_t frames) {
            const double turns =
                static_cast<double>(frames) * frequency / static_cast<double>(veruziva::SampleRate);
            return std::abs(turns - std::round(turns)) * 2.0 * M_PI;
        };
        if (std::max(off(PipeWireServer::FrequencyA, shift),
                     off(PipeWireServer::FrequencyB, shift)) < 0.07) {
            shifts.push_back(shift);
        }
    }
    for (const std::size_t shift : shifts) {
        for (const std::size_t at : {std::size_t{4096}, std::size_t{5000}}) {
            // Frames [at, at + shift) lost, and repeated.
            std::vector<StereoFrame> gap = Fed(0, at);
            const std::vector<StereoFrame> after = Fed(at + shift, 4096);
            gap.insert(gap.end(), after.begin(), after.end());
            QVERIFY2(!PipeWireServer::continuity(gap).isEmpty(),
                     qPrintable(QStringLiteral("%1 frames lost at %2").arg(shift).arg(at)));
            std::vector<StereoFrame> repeat = Fed(0, at);
            const std::vector<StereoFrame> again = Fed(at - shift, 4096);
            repeat.insert(repeat.end(), again.begin(), again.end());
            QVERIFY2(!PipeWireServer::continuity(repeat).isEmpty(),
                     qPrintable(QStringLiteral("%1 frames repeated at %2").arg(shift).arg(at)));
        }
    }
}

void TestPipeWireServer::continuityFindsOtherSignals() {
    std::vector<StereoFrame> frames = Fed(0, 8820);
    // Silence within.
    std::vector<StereoFrame> silent = frames;
    std::fill(silent.begin() + 5000, silent.begin() + 5100, StereoFrame{});
    QVERIFY(!PipeWireServer::continuity(silent).isEmpty());
    // The channels swapped.
    std::vector<StereoFrame> swapped = frames;
    for (StereoFrame& frame : swapped) {
        std::swap(frame.a, frame.b);
    }
    QVERIFY(!PipeWireServer::continuity(swapped).isEmpty());
    // Half the level.
    std::vector<StereoFrame> quiet = frames;
    for (StereoFrame& frame : quiet) {
        frame = {static_cast<std::int16_t>(frame.a / 2), static_cast<std::int16_t>(frame.b / 2)};
    }
    QVERIFY(!PipeWireServer::continuity(quiet).isEmpty());
}

void TestPipeWireServer::serverIsPipeWireAt48000() {
    const auto info = m_server.pactl({"info"});
    QVERIFY2(info, qPrintable(m_server.error()));
    QVERIFY2(info->contains(QRegularExpression(
                 QStringLiteral("^Server Name: PulseAudio \\(on PipeWire \\d+\\.\\d+\\.\\d+\\)$"),
                 QRegularExpression::MultilineOption)),
             qPrintable(*info));
    QVERIFY2(
        info->contains(QRegularExpression(QStringLiteral("^Default Sample \\S+: \\S+ 2ch 48000Hz$"),
                                          QRegularExpression::MultilineOption)),
        qPrintable(*info));
    QVERIFY2(info->contains(QStringLiteral("Default Source: vzpipe\n")), qPrintable(*info));
    QCOMPARE(qgetenv("PULSE_SERVER"), ("unix:" + m_server.socket()).toLocal8Bit());
    // The source is the pipe at the rate it is fed.
    const auto sources = m_server.pactl({"list", "short", "sources"});
    QVERIFY2(sources, qPrintable(m_server.error()));
    QVERIFY2(
        sources->contains(QRegularExpression(QStringLiteral("\\tvzpipe\\t.*\\ts16le 2ch 44100Hz"))),
        qPrintable(*sources));
}

void TestPipeWireServer::recordingIsTheFedSignalResampled() {
    Recording recording;
    QVERIFY2(recording.waitFor(Settling + 2 * 44100), qPrintable(recording.error()));
    const std::vector<StereoFrame> frames = recording.take();
    const QString broken = PipeWireServer::continuity(std::span(frames).subspan(Settling));
    QVERIFY2(broken.isEmpty(), qPrintable(broken));
}

void TestPipeWireServer::suspendingTheSourceDoesNotStallARecording() {
    Recording recording;
    QVERIFY2(recording.waitFor(Settling + 22050), qPrintable(recording.error()));
    const std::size_t suspended = recording.frames();
    QVERIFY2(m_server.suspendSource(true), qPrintable(m_server.error()));
    // PipeWire suspends the source for a moment, and a few frames may go or come twice then.
    QVERIFY2(recording.waitFor(suspended + 22050), qPrintable(recording.error()));
    QVERIFY2(m_server.suspendSource(false), qPrintable(m_server.error()));
    const std::vector<StereoFrame> frames = recording.take();
    const QString broken =
        PipeWireServer::continuity(std::span(frames).subspan(Settling, suspended - Settling));
    QVERIFY2(broken.isEmpty(), qPrintable(broken));
}

void TestPipeWireServer::frozenGraphStallsTheRecording() {
    Recording recording;
    QVERIFY2(recording.waitFor(Settling + 22050), qPrintable(recording.error()));
    m_server.freezeGraph(true);
    // What the buffers held comes, then nothing.
    const bool stalled = recording.waitForSilence(std::chrono::milliseconds(500));
    const std::size_t before = recording.frames();
    m_server.freezeGraph(false);
    QVERIFY(stalled);
    QVERIFY2(recording.waitFor(before + 44100), qPrintable(recording.error()));
    const std::vector<StereoFrame> frames = recording.take();
    // Unbroken up to the stall; PipeWire's recovery may lose or repeat some frames after it,
    // and a while after it the signal is whole again.
    const QString broken =
        PipeWireServer::continuity(std::span(frames).subspan(Settling, before - Settling));
    QVERIFY2(broken.isEmpty(), qPrintable(broken));
    const QString recovered = PipeWireServer::continuity(std::span(frames).last(11025));
    QVERIFY2(recovered.isEmpty(), qPrintable(recovered));
}

void TestPipeWireServer::stopLeavesNothingAndStartsAgain() {
    const QList<qint64> pids = m_server.processIds();
    QCOMPARE(pids.size(), 3);
    for (const qint64 pid : pids) {
        QVERIFY(Alive(pid));
    }
    m_server.stop();
    for (const qint64 pid : pids) {
        QVERIFY2(!Alive(pid), qPrintable(QString::number(pid)));
    }
    QVERIFY(m_server.processIds().isEmpty());
    const QDir folder = QFileInfo(m_server.socket()).dir();
    QCOMPARE(
        folder.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System),
        QStringList({"pipewire-pulse.log", "pipewire.log", "wireplumber.log"}));
    QVERIFY(!m_server.pactl({"info"}));
    QVERIFY2(m_server.start(), qPrintable(m_server.error()));
    const auto info = m_server.pactl({"info"});
    QVERIFY2(info && info->contains(QStringLiteral("Default Source: vzpipe\n")),
             qPrintable(m_server.error()));
}

QTEST_GUILESS_MAIN(TestPipeWireServer)
#include "tst_pipewireserver.moc"
