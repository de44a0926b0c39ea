#include "livemeter.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLocale>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <optional>

#include "base/endsignals.h"
#include "blockprinter.h"
#include "calibration/accalibration.h"
#include "capture/captureengine.h"
#include "capture/captureevent.h"
#include "capture/inputwatch.h"
#include "instrument/inputwatchsink.h"
#include "instrument/recordingsink.h"
#include "levelreport.h"
#include "metertool.h"
#include "platform/audio/audiosystem.h"
#include "platform/fatalerrors.h"
#include "recording/recordingcontrol.h"
#include "recording/recordingtimer.h"
#include "scpi/meter/meterserver.h"
#include "streammessageboxes.h"

namespace veruziva::meter {
namespace {

using Clock = std::chrono::steady_clock;

// How long blocks waited to be handled: kept as figures, not per block, since serving runs for
// weeks.
struct Statistics {
    long long blocks = 0;
    double waitSum = 0;
    double waitMax = 0;
    Clock::time_point started = Clock::now();

    void waited(double milliseconds) {
        ++blocks;
        waitSum += milliseconds;
        waitMax = std::max(waitMax, milliseconds);
    }
    void report(std::FILE* err, const std::optional<CaptureStatistics>& capture) const {
        QString text = QStringLiteral("veruziva-meter: %1 block(s)").arg(blocks);
        if (blocks > 0) {
            text += QStringLiteral("; notification to handling: mean %1 ms, max %2 ms")
                        .arg(waitSum / static_cast<double>(blocks), 0, 'f', 3)
                        .arg(waitMax, 0, 'f', 3);
        }
        if (capture) {
            const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
            text += QStringLiteral("; capture thread CPU: %1 % of one core over %2 s; overruns: %3")
                        .arg(100.0 * capture->threadCpuSeconds / seconds, 0, 'f', 3)
                        .arg(seconds, 0, 'f', 1)
                        .arg(capture->overruns);
        }
        Print(err, text + QLatin1Char('\n'));
    }
};

// Handles the notifications as the window's buffer-done handler does, printing each block.
class LiveReceiver : public QObject {
public:
    LiveReceiver(const Options& options, BlockPrinter& printer, std::FILE* out, std::FILE* err,
                 Statistics& statistics)
        : m_options(options),
          m_printer(printer),
          m_out(out),
          m_err(err),
          m_statistics(statistics),
          m_watch([this] { stalled(); }, [this] { resumed(); }) {}

    int exitCode() const { return m_exitCode; }
    void setEngine(CaptureEngine& engine) {
        m_engine = &engine;
        m_blocks.emplace(m_printer, QLocale::system().decimalPoint().toStdString(), &engine);
        m_blocks->addSink(m_watchSink);
        engine.setRunningChanged([this](bool running) { m_watch.setRunning(running); });
    }
    // Recording: blocks go to the recording, and are measured for its rows, not printed.
    void setRecording(RecordingControl* recording) {
        m_recording = recording;
        if (m_recordingSink) {
            m_blocks->removeSink(*m_recordingSink);
            m_recordingSink.reset();
        }
        if (recording != nullptr) {
            m_blocks->addSink(m_recordingSink.emplace(*recording));
        }
    }
    // Blocks go to the sink only, none is printed.
    void setCollecting(BlockSink& sink) {
        m_collecting = true;
        m_blocks->addSink(sink);
    }
    // Blocks go to the sink until the program is ended; a stalled input is told, not the end,
    // and `inputChanged` is called when it stalls or delivers again.
    void setServing(BlockSink& sink, std::function<void()> inputChanged) {
        setCollecting(sink);
        m_serving = true;
        m_inputChanged = std::move(inputChanged);
    }
    bool stalledNow() const { return m_watch.stalled(); }
    // The input stalled at some time: what was recorded is not the whole time.
    bool inputStalled() const { return m_stalls > 0; }

protected:
    void customEvent(QEvent* event) override {
        if (event->type() != CaptureEvent::EventType() || m_finished || m_engine == nullptr) {
            return;
        }
        const auto* capture = static_cast<CaptureEvent*>(event);
        if (capture->kind() == WaveInEvent::DeviceLost) {
            if (m_engine->HandleDeviceLost(capture->handle())) {
                Print(m_err, QStringLiteral("veruziva-meter: the input device was lost after %1 "
                                            "block(s)\n")
                                 .arg(m_printer.blocksMeasured()));
                if (m_recording != nullptr) {
                    m_recording->EndRecording();
                }
                finish(ExitFailure);
            }
            return;
        }
        const auto waited = Clock::now() - capture->posted();
        if (!m_blocks->BufferDone()) {
            return;
        }
        m_statistics.waited(std::chrono::duration<double, std::milli>(waited).count());
        const std::string lines = m_printer.takeLines();
        if (m_recording != nullptr) {
            return;  // measured for the recording's rows, not printed
        }
        if (m_collecting) {
            if (!m_serving && m_printer.blocksMeasured() >= m_options.blocks) {
                finish(ExitSuccess);
            }
            return;
        }
        // Each block's line as it comes: the reader of a pipe sees the input live.
        std::fwrite(lines.data(), 1, lines.size(), m_out);
        if (std::fflush(m_out) != 0 || std::ferror(m_out)) {
            // Nobody reads on (a pipe's reader has gone): the run is over.
            Print(m_err, QStringLiteral("veruziva-meter: cannot write the results\n"));
            finish(ExitFailure);
        } else if (m_printer.blocksMeasured() >= m_options.blocks) {
            finish(ExitSuccess);
        }
    }

private:
    void stalled() {
        ++m_stalls;
        if (m_serving) {
            Print(m_err, QStringLiteral("veruziva-meter: no data from the input device for %1 "
                                        "seconds; readings are answered with an error until it "
                                        "delivers again\n")
                             .arg(NoDataLimit.count() / 1000));
            m_inputChanged();
            return;
        }
        if (m_recording != nullptr) {
            m_recording->InputStalled();
        }
        const QString limit = QString::number(NoDataLimit.count() / 1000);
        if (m_recording == nullptr) {
            Print(m_err, QStringLiteral("veruziva-meter: no data from the input device for %1 "
                                        "seconds after %2 block(s)\n")
                             .arg(limit)
                             .arg(m_printer.blocksMeasured()));
            finish(ExitFailure);
        } else {
            Print(m_err, QStringLiteral("veruziva-meter: no data from the input device for %1 "
                                        "seconds; nothing is recorded until it delivers again\n")
                             .arg(limit));
        }
    }
    void resumed() {
        if (m_recording != nullptr || m_serving) {
            Print(m_err, QStringLiteral("veruziva-meter: the input device delivers again\n"));
        }
        if (m_serving) {
            m_inputChanged();
        }
    }

    void finish(int exitCode) {
        m_finished = true;
        m_exitCode = exitCode;
        QCoreApplication::exit(exitCode);
    }

    const Options& m_options;
    CaptureEngine* m_engine = nullptr;
    RecordingControl* m_recording = nullptr;
    BlockPrinter& m_printer;
    std::FILE* m_out;
    std::FILE* m_err;
    Statistics& m_statistics;
    bool m_finished = false;
    bool m_collecting = false;
    bool m_serving = false;
    std::function<void()> m_inputChanged;
    int m_exitCode = ExitSuccess;
    InputWatch m_watch;
    InputWatchSink m_watchSink{m_watch};
    std::optional<RecordingSink> m_recordingSink;
    std::optional<BlockHandler> m_blocks;
    int m_stalls = 0;
};

// What every live mode sets up: the application, the sound system, the capture engine and its
// receiver on the options' device, and the watch of that device's line-in level.
struct LiveSetup {
    LiveSetup(const Options& options, BlockPrinter& printer, std::FILE* out, std::FILE* err)
        : application(argc, argv),
          audio(OpenAudioTelling(err)),
          boxes(err),
          fatal(boxes, [] { QCoreApplication::exit(ExitFailure); }),
          live(options, printer, out, err, statistics),
          engine(*audio.waveInput, fatal, PostTo(&live)) {
        live.setEngine(engine);
        engine.setSoundDevice(options.device);
        WaveInCaps device;
        if (options.device >= 0 &&
            audio.waveInput->deviceCaps(static_cast<unsigned>(options.device), device) ==
                wave::NoError) {
            level.emplace(*audio.mixers, device.productName, err);
            // Named as the calibration names its device.
            source = QString::fromStdString(device.identity.empty() ? device.productName
                                                                    : device.identity);
        }
    }
    // Opens the device and captures until the event loop is ended: its status.
    int captureUntilEnded(std::FILE* err) {
        engine.OpenWaveIn();
        if (fatal.endRequested()) {
            return ExitFailure;
        }
        statistics.started = Clock::now();
        if (!engine.StartStop()) {
            Print(err, QStringLiteral("veruziva-meter: the input device cannot be opened\n"));
            return ExitFailure;
        }
        return QCoreApplication::exec();
    }

    int argc = 1;
    char name[15] = "veruziva-meter";
    char* argv[2] = {name, nullptr};
    QCoreApplication application;
    AudioSystem audio;
    StreamMessageBoxes boxes;
    FatalErrors fatal;
    Statistics statistics;
    LiveReceiver live;
    CaptureEngine engine;
    std::optional<LevelReport> level;
    QString source;  // the device as the calibration names it; empty when it has no caps
};

// The tool as the remote instrument's host: the printer's ranges and calibration, the level
// report's watch, the receiver's stall.
class ServeHost : public MeterHost {
public:
    ServeHost(BlockPrinter& printer, LiveSetup& setup) : m_printer(printer), m_setup(setup) {}

    QByteArray deviceIdentity() const override { return m_setup.source.toUtf8(); }
    int range(int channel) const override {
        return channel == 0 ? m_printer.ranges().a : m_printer.ranges().b;
    }
    bool setRange(int channel, int range) override {
        m_printer.setRange(channel, range);
        return true;
    }
    char unitLetter(int channel) const override {
        return channel == 0 ? m_printer.display().a.unitLetter : m_printer.display().b.unitLetter;
    }
    // As the window marks it: only readings in volts or amperes depend on the level.
    std::array<bool, 2> levelMoved() const override {
        const std::array<bool, 2> moved =
            m_setup.level ? m_setup.level->moved() : std::array<bool, 2>{false, false};
        return {moved[0] && unitLetter(0) != ' ', moved[1] && unitLetter(1) != ' '};
    }
    bool stalled() const override { return m_setup.live.stalledNow(); }
    double sampleClockPpm() const override { return m_printer.state().SampleClockPpm; }

private:
    BlockPrinter& m_printer;
    LiveSetup& m_setup;
};

// Hands on the frames of every block from the `skip`th on.
class FrameSink : public BlockSink {
public:
    FrameSink(long long skip, const TakeFrames& take) : m_skip(skip), m_take(take) {}
    void blockMeasured(const MeasuredBlock& block) override {
        if (m_seen++ >= m_skip) {
            m_take(block.frames);
        }
    }

private:
    long long m_skip;
    long long m_seen = 0;
    const TakeFrames& m_take;
};

// A recording from a terminal: every box is a line on the error stream; the size question is
// answered OK (the user asked for this recording).
class RecordingBoxes : public StreamMessageBoxes {
public:
    using StreamMessageBoxes::StreamMessageBoxes;
    Answer confirm(const QString& text, ConfirmButtons buttons) override {
        showMessage(text);
        return buttons == ConfirmButtons::YesNo ? Answer::Yes : Answer::Ok;
    }
    void showError(const QString& text) override {
        failed = true;
        StreamMessageBoxes::showError(text);
    }
    bool failed = false;
};

// How the tool's recording options read as a capture definition.
CaptureDefinition Definition(const Options& options) {
    CaptureDefinition definition;
    definition.recordType =
        options.wavFile.isEmpty() ? CaptureDefinition::Sampled : CaptureDefinition::Continual;
    definition.nameOfFile = options.wavFile.isEmpty() ? options.csvFile : options.wavFile;
    definition.samplingPeriod = std::max(options.periodIndex, 0);
    // The options allow whole minutes only above 9999 s, so the time is taken as given.
    if (options.seconds <= MaxCaptureTime) {
        definition.captureTime = QString::number(options.seconds);
        definition.timeMeasure = 0;
    } else {
        definition.captureTime = QString::number(options.seconds / 60);
        definition.timeMeasure = 1;
    }
    return definition;
}

// Records as the program's "Start saving" does, until the capturing time is over or Ctrl+C.
int RunRecording(const Options& options, BlockPrinter& printer, LiveReceiver& live,
                 CaptureEngine& engine, FatalErrors& fatal, std::FILE* err) {
    RecordingBoxes boxes(err);
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    QtRecordingTimer timerAdapter(timer);
    bool started = false;
    RecordingHooks hooks{
        [&engine] { return engine.Running(); },
        [&engine, err] {
            if (!engine.StartStop()) {
                Print(err, QStringLiteral("veruziva-meter: the input device cannot be opened\n"));
            }
        },
        [&started, &boxes](bool recording) {
            if (recording) {
                started = true;
            } else if (started) {
                QCoreApplication::exit(boxes.failed ? ExitFailure : ExitSuccess);
            }
        },
        [&printer] { return QString::fromStdString(printer.readouts().a.readingText); },
        [&printer] { return QString::fromStdString(printer.readouts().b.readingText); },
        [] { return QLocale::system().decimalPoint(); },
        {}};
    RecordingControl recording(boxes, timerAdapter, hooks);
    recording.setDashIsStandardOutput(true);
    QObject::connect(&timer, &QTimer::timeout, [&recording] { recording.MyTimerTimer(); });
    live.setRecording(&recording);

    engine.OpenWaveIn();
    if (fatal.endRequested()) {
        live.setRecording(nullptr);
        return ExitFailure;
    }
    ReadoutUnits units;
    units.calibratedA = printer.calibratedChannels()[0];
    units.calibratedB = printer.calibratedChannels()[1];
    units.ampereA = options.ranges.a == AmpereRange;
    units.ampereB = options.ranges.b == AmpereRange;
    recording.SavingClick(Definition(options), units);
    if (!recording.SavingActive()) {
        live.setRecording(nullptr);
        return ExitFailure;  // its box said why
    }
    int status = ExitSuccess;
    {
        // Ctrl+C, a closed terminal or a logout ends the recording with its file complete.
        const EndSignals ending([&recording] { recording.EndRecording(); });
        status = QCoreApplication::exec();
        recording.EndRecording();
    }
    live.setRecording(nullptr);
    return boxes.failed || fatal.endRequested() || live.inputStalled() ? ExitFailure : status;
}

int Finish(int status, BlockPrinter& printer, std::FILE* out, std::FILE* err) {
    if (status != ExitSuccess) {
        return status;
    }
    if (const auto message = printer.missingPicture()) {
        Print(err, QStringLiteral("veruziva-meter: %1\n").arg(*message));
        return ExitFailure;
    }
    if (!printer.savePicture()) {
        return ExitFailure;
    }
    if (std::fflush(out) != 0 || std::ferror(out)) {
        Print(err, QStringLiteral("veruziva-meter: cannot write the results\n"));
        return ExitFailure;
    }
    return ExitSuccess;
}

}  // namespace

AudioSystem OpenAudioTelling(std::FILE* err) {
    AudioSystem audio = OpenAudioSystem();
    if (!audio.problem.empty()) {
        Print(err,
              QStringLiteral("veruziva-meter: %1\n").arg(QString::fromStdString(audio.problem)));
    }
    return audio;
}

int RunList(std::FILE* out, std::FILE* err) {
    const AudioSystem audio = OpenAudioTelling(err);
    WaveInput& service = *audio.waveInput;
    std::string text =
        audio.kind == AudioSystemKind::Alsa ? "device;name;alsa\n" : "device;name;source\n";
    const unsigned count = service.deviceCount();
    for (unsigned device = 0; device < count; ++device) {
        WaveInCaps caps;
        if (service.deviceCaps(device, caps) == wave::NoError) {
            text += std::to_string(device) + ';' + caps.productName + ';' + caps.systemName + '\n';
        }
    }
    std::fwrite(text.data(), 1, text.size(), out);
    if (count == 0) {
        Print(err, QStringLiteral("veruziva-meter: no input devices\n"));
    }
    if (std::fflush(out) != 0 || std::ferror(out)) {
        Print(err, QStringLiteral("veruziva-meter: cannot write the results\n"));
        return ExitFailure;
    }
    return ExitSuccess;
}

int CaptureBlocks(const Options& options, long long blocks, const TakeFrames& take, QString& source,
                  std::FILE* err) {
    Options counted = options;
    counted.blocks = AcSettleBlocks + blocks;
    BlockPrinter printer(counted, err);  // measures raw: the blocks are only counted
    LiveSetup setup(counted, printer, nullptr, err);
    FrameSink sink(AcSettleBlocks, take);
    setup.live.setCollecting(sink);
    source = setup.source;
    const int status = setup.captureUntilEnded(err);
    setup.engine.CloseWaveIn();
    return setup.fatal.endRequested() ? ExitFailure : status;
}

int RunServe(const Options& options, std::FILE* err) {
    BlockPrinter printer(options, err);
    if (const auto message = printer.loadCalibration()) {
        Print(err, QStringLiteral("veruziva-meter: %1\n").arg(*message));
        return ExitBadInput;
    }
    LiveSetup setup(options, printer, nullptr, err);
    printer.setSource(setup.source);
    ServeHost host(printer, setup);
    MeterServer server(host);
    if (!server.listen(options.serveAddress, options.servePort)) {
        Print(err, QStringLiteral("veruziva-meter: cannot listen on %1 port %2: %3\n")
                       .arg(options.serveAddress.toString())
                       .arg(options.servePort)
                       .arg(server.errorString()));
        return ExitFailure;
    }
    setup.live.setServing(server.sink(), [&server] { server.inputChanged(); });
    if (setup.level) {
        setup.level->onMovedChanged = [&server] { server.inputChanged(); };
    }
    Print(err, QStringLiteral("veruziva-meter: serving on %1 port %2\n")
                   .arg(options.serveAddress.toString())
                   .arg(server.serverPort()));
    int status = ExitFailure;
    {
        // Ctrl+C or a closed terminal ends the serving, the capture closed.
        const EndSignals ending([] { QCoreApplication::exit(ExitSuccess); });
        status = setup.captureUntilEnded(err);
    }
    setup.engine.CloseWaveIn();
    return setup.fatal.endRequested() ? ExitFailure : status;
}

int RunLive(const Options& options, std::FILE* out, std::FILE* err) {
    BlockPrinter printer(options, err);
    if (const auto message = printer.loadCalibration()) {
        Print(err, QStringLiteral("veruziva-meter: %1\n").arg(*message));
        return ExitBadInput;
    }
    LiveSetup setup(options, printer, out, err);
    printer.setSource(setup.source);
    CaptureEngine& engine = setup.engine;
    FatalErrors& fatal = setup.fatal;
    if (!options.wavFile.isEmpty() || !options.csvFile.isEmpty()) {
        const int recorded = RunRecording(options, printer, setup.live, engine, fatal, err);
        engine.CloseWaveIn();
        return recorded;
    }
    const std::string header = printer.header();
    std::fwrite(header.data(), 1, header.size(), out);

    int status = ExitSuccess;
    if (options.grab) {
        BlockHandler grabbed(printer, QLocale::system().decimalPoint().toStdString());
        engine.OpenWaveInPolled();
        for (long long block = 0; block < options.blocks && !fatal.endRequested(); ++block) {
            engine.GrabBlock();
            QCoreApplication::processEvents();  // the mixer's change messages
            if (!fatal.endRequested()) {
                grabbed.measure(engine.Samples());
                const std::string line = printer.takeLines();
                std::fwrite(line.data(), 1, line.size(), out);
            }
        }
    } else {
        status = setup.captureUntilEnded(err);
    }
    if (options.stats) {
        setup.statistics.report(err, setup.audio.waveInput->statistics(engine.Handle()));
    }
    engine.CloseWaveIn();
    if (fatal.endRequested()) {
        status = ExitFailure;
    }
    return Finish(status, printer, out, err);
}

}  // namespace veruziva::meter
