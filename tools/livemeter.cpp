#include "livemeter.h"

#include <QCoreApplication>
#include <QEvent>
#include <algorithm>
#include <chrono>

#include "blockprinter.h"
#include "capture/captureengine.h"
#include "metertool.h"
#include "platform/alsa/alsawaveinput.h"
#include "platform/fatalerrors.h"
#include "streammessageboxes.h"

namespace veruziva::meter {
namespace {

using Clock = std::chrono::steady_clock;

// The service's notification, carried to the program's thread as an event.
class CaptureEvent : public QEvent {
public:
    static QEvent::Type EventType() {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }
    CaptureEvent(WaveInHandle handle, WaveInEvent kind)
        : QEvent(EventType()), m_handle(handle), m_kind(kind), m_posted(Clock::now()) {}
    WaveInHandle handle() const { return m_handle; }
    WaveInEvent kind() const { return m_kind; }
    Clock::time_point posted() const { return m_posted; }

private:
    WaveInHandle m_handle;
    WaveInEvent m_kind;
    Clock::time_point m_posted;
};

struct Statistics {
    std::vector<double> waitMilliseconds;
    Clock::time_point started = Clock::now();

    void report(std::FILE* err, const std::optional<alsa::CaptureStatistics>& capture) const {
        QString text = QStringLiteral("veruziva-meter: %1 block(s)").arg(waitMilliseconds.size());
        if (!waitMilliseconds.empty()) {
            double sum = 0;
            for (const double wait : waitMilliseconds) {
                sum += wait;
            }
            text += QStringLiteral("; notification to handling: mean %1 ms, max %2 ms")
                        .arg(sum / static_cast<double>(waitMilliseconds.size()), 0, 'f', 3)
                        .arg(*std::max_element(waitMilliseconds.begin(), waitMilliseconds.end()), 0,
                             'f', 3);
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
    LiveReceiver(const Options& options, CaptureEngine& engine, BlockPrinter& printer,
                 std::FILE* out, std::FILE* err, Statistics& statistics)
        : m_options(options),
          m_engine(engine),
          m_printer(printer),
          m_out(out),
          m_err(err),
          m_statistics(statistics) {}

    int exitCode() const { return m_exitCode; }

protected:
    void customEvent(QEvent* event) override {
        if (event->type() != CaptureEvent::EventType() || m_finished) {
            return;
        }
        const auto* capture = static_cast<CaptureEvent*>(event);
        if (capture->kind() == WaveInEvent::DeviceLost) {
            if (m_engine.HandleDeviceLost(capture->handle())) {
                Print(m_err, QStringLiteral("veruziva-meter: the input device was lost after %1 "
                                            "block(s)\n")
                                 .arg(m_printer.blocksMeasured()));
                finish(ExitFailure);
            }
            return;
        }
        if (!m_engine.FindDoneBuffer()) {
            return;
        }
        m_statistics.waitMilliseconds.push_back(
            std::chrono::duration<double, std::milli>(Clock::now() - capture->posted()).count());
        const auto frames = m_engine.DoneBlock();
        if (!frames.empty()) {
            const std::string line = m_printer.measure(frames);
            std::fwrite(line.data(), 1, line.size(), m_out);
        }
        m_engine.GiveBackBuffer();
        if (m_printer.blocksMeasured() >= m_options.blocks) {
            finish(ExitSuccess);
        }
    }

private:
    void finish(int exitCode) {
        m_finished = true;
        m_exitCode = exitCode;
        QCoreApplication::exit(exitCode);
    }

    const Options& m_options;
    CaptureEngine& m_engine;
    BlockPrinter& m_printer;
    std::FILE* m_out;
    std::FILE* m_err;
    Statistics& m_statistics;
    bool m_finished = false;
    int m_exitCode = ExitSuccess;
};

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

int RunList(std::FILE* out, std::FILE* err) {
    alsa::AlsaWaveInput service;
    std::string text = "device;name;alsa\n";
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

int RunLive(const Options& options, std::FILE* out, std::FILE* err) {
    BlockPrinter printer(options, err);
    if (const auto message = printer.loadCalibration()) {
        Print(err, QStringLiteral("veruziva-meter: %1\n").arg(*message));
        return ExitBadInput;
    }
    int argc = 1;
    char name[] = "veruziva-meter";
    char* argv[] = {name, nullptr};
    QCoreApplication application(argc, argv);

    alsa::AlsaWaveInput service;
    StreamMessageBoxes boxes(err);
    FatalErrors fatal(boxes, [] { QCoreApplication::exit(ExitFailure); });
    LiveReceiver* receiver = nullptr;
    CaptureEngine engine(service, fatal, [&receiver](WaveInHandle handle, WaveInEvent event) {
        QCoreApplication::postEvent(receiver, new CaptureEvent(handle, event));
    });
    engine.setSoundDevice(options.device);
    Statistics statistics;
    LiveReceiver live(options, engine, printer, out, err, statistics);
    receiver = &live;
    std::fwrite(BlockPrinter::Header().data(), 1, BlockPrinter::Header().size(), out);

    int status = ExitSuccess;
    if (options.grab) {
        engine.OpenWaveInPolled();
        for (long long block = 0; block < options.blocks && !fatal.endRequested(); ++block) {
            engine.GrabBlock();
            if (!fatal.endRequested()) {
                const std::string line = printer.measure(engine.Samples());
                std::fwrite(line.data(), 1, line.size(), out);
            }
        }
    } else {
        engine.OpenWaveIn();
        if (!fatal.endRequested()) {
            statistics.started = Clock::now();
            engine.StartStop();
            status = QCoreApplication::exec();
        }
    }
    if (options.stats) {
        statistics.report(err, service.statistics(engine.Handle()));
    }
    engine.CloseWaveIn();
    if (fatal.endRequested()) {
        status = ExitFailure;
    }
    return Finish(status, printer, out, err);
}

}  // namespace veruziva::meter
