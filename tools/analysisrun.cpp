#include "analysisrun.h"

#include <QFileInfo>
#include <QLocale>
#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "analysis/realfft.h"
#include "analysis/spectrum.h"
#include "analysis/spectrumcsv.h"
#include "analysis/tonemeasurement.h"
#include "analysis/waveformmeasurement.h"
#include "blockprinter.h"
#include "instrument/channelscale.h"
#include "livemeter.h"
#include "metertool.h"
#include "wavreader.h"

namespace veruziva::meter {
namespace {

// Both channels' spectra of successive whole spans, summed for their linear mean. Without a
// size given, the size is the largest the frames fill: MaxSpectrumSize once that many came,
// else the largest that the frames held at the end fill.
class SpanSpectra {
public:
    // `maxSpans` 0: no limit.
    SpanSpectra(WindowKind window, int size, int maxSpans)
        : m_kind(window), m_size(size), m_maxSpans(maxSpans) {}

    void add(std::span<const StereoFrame> frames) {
        for (const StereoFrame& frame : frames) {
            if (full()) {
                return;
            }
            ++m_frames;
            m_pending.push_back(frame);
            if (m_size == 0 && m_pending.size() == static_cast<std::size_t>(MaxSpectrumSize)) {
                m_size = MaxSpectrumSize;
            }
            if (m_size != 0 && m_pending.size() == static_cast<std::size_t>(m_size)) {
                transform(m_pending);
                m_pending.clear();
            }
        }
    }
    bool full() const { return m_maxSpans > 0 && m_spans >= m_maxSpans; }

    // After the last frames: false when they fill no span.
    bool finish() {
        if (m_size == 0) {
            for (const int size : SpectrumSizes) {
                if (static_cast<std::size_t>(size) <= m_pending.size()) {
                    m_size = size;
                }
            }
            for (std::size_t start = 0;
                 m_size != 0 && start + static_cast<std::size_t>(m_size) <= m_pending.size();
                 start += static_cast<std::size_t>(m_size)) {
                transform(std::span(m_pending).subspan(start, static_cast<std::size_t>(m_size)));
            }
        }
        m_pending.clear();
        return m_spans > 0;
    }

    int size() const { return m_size; }
    int spans() const { return m_spans; }
    long long frames() const { return m_frames; }
    // Channel 0 is A, 1 is B.
    Spectrum mean(int channel) const {
        Spectrum mean = m_sums.at(static_cast<std::size_t>(channel));
        for (double& power : mean.power) {
            power /= m_spans;
        }
        mean.dc /= m_spans;
        return mean;
    }

private:
    void transform(std::span<const StereoFrame> frames) {
        if (!m_fft) {
            m_fft = std::make_unique<RealFft>(m_size);
            m_window = std::make_unique<FftWindow>(m_kind, m_size);
            m_samples.resize(static_cast<std::size_t>(m_size));
        }
        for (std::size_t channel = 0; channel < m_sums.size(); ++channel) {
            for (std::size_t i = 0; i < frames.size(); ++i) {
                m_samples[i] = channel == 0 ? frames[i].a : frames[i].b;
            }
            Spectrum spectrum = ComputeSpectrum(m_samples, *m_window, *m_fft);
            Spectrum& sum = m_sums[channel];
            if (m_spans == 0) {
                sum = std::move(spectrum);
                continue;
            }
            for (std::size_t bin = 0; bin < sum.power.size(); ++bin) {
                sum.power[bin] += spectrum.power[bin];
            }
            sum.dc += spectrum.dc;
        }
        ++m_spans;
    }

    WindowKind m_kind;
    int m_size;
    int m_maxSpans;
    int m_spans = 0;
    long long m_frames = 0;
    std::vector<StereoFrame> m_pending;
    std::unique_ptr<FftWindow> m_window;
    std::unique_ptr<RealFft> m_fft;
    std::vector<double> m_samples;
    std::array<Spectrum, 2> m_sums;
};

int Fail(std::FILE* err, const QString& message, int status = ExitBadInput) {
    Print(err, QStringLiteral("veruziva-meter: %1\n").arg(message));
    return status;
}

// The recording's frames from its start, until the spectra are full or it ends.
std::optional<QString> ReadRecording(const QString& path, SpanSpectra& spectra) {
    WavReader reader;
    if (!reader.open(path)) {
        return reader.errorText();
    }
    for (auto frames = reader.nextBlock(); !frames.empty() && !spectra.full();
         frames = reader.nextBlock()) {
        spectra.add(frames);
    }
    if (!reader.errorText().isEmpty()) {
        return reader.errorText();
    }
    return std::nullopt;
}

// The spectra of the options' recording or live device; ExitSuccess, or the status of a
// failure told on `err`.
int Gather(const Options& options, long long liveBlocks, SpanSpectra& spectra,
           BlockPrinter& printer, std::FILE* err) {
    if (const auto message = printer.loadCalibration()) {
        return Fail(err, *message);
    }
    if (options.device >= 0) {
        QString source;
        const int status = CaptureBlocks(
            options, liveBlocks, [&spectra](auto frames) { spectra.add(frames); }, source, err);
        printer.setSource(source);
        if (status != ExitSuccess) {
            return status;
        }
    } else {
        printer.setSource(QFileInfo(options.file).fileName());
        if (const auto message = ReadRecording(options.file, spectra)) {
            return Fail(err, *message);
        }
    }
    if (!spectra.finish()) {
        const int size = std::max(options.spectrumSize, MinSpectrumSize);
        return Fail(err,
                    QStringLiteral("%1 is too short for a spectrum of %2 frames: it holds %3")
                        .arg(options.device >= 0 ? QStringLiteral("the capture") : options.file)
                        .arg(size)
                        .arg(spectra.frames()));
    }
    return ExitSuccess;
}

bool EndsWith(const std::string& text, const char* end) {
    const std::string_view tail(end);
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Hertz to the thousandth, decibels to the hundredth, percentages to 4 significant digits,
// levels (volts, amperes, raw units) to 6.
QString FieldValue(const std::string& key, double value) {
    QString text;
    if (EndsWith(key, "_hz")) {
        text = QString::number(value, 'f', 3);
    } else if (key.find("_db") != std::string::npos) {
        text = QString::number(value, 'f', 2);
    } else if (EndsWith(key, "_pct") || EndsWith(key, "_percent")) {
        text = QString::number(value, 'g', 4);
    } else {
        text = QString::number(value, 'g', 6);
    }
    return text.replace(QLatin1Char('.'), QLocale::system().decimalPoint());
}

bool Written(std::FILE* out, const QByteArray& text, std::FILE* err) {
    std::fwrite(text.constData(), 1, static_cast<std::size_t>(text.size()), out);
    if (std::fflush(out) != 0 || std::ferror(out)) {
        Print(err, QStringLiteral("veruziva-meter: cannot write the results\n"));
        return false;
    }
    return true;
}

// The waveform measurements of each block, a line per block.
class BlockMeasurements {
public:
    BlockMeasurements(const Options& options, const std::array<ChannelScale, 2>& scales)
        : m_options(options), m_scales(scales) {}

    QString header() const {
        QString header = QStringLiteral("block");
        for (const std::size_t index : m_options.measurements) {
            const WaveformDescriptor& measurement = WaveformMeasurements[index];
            for (std::size_t channel = 0; channel < m_scales.size(); ++channel) {
                header += QStringLiteral(";%1%2[%3]")
                              .arg(QLatin1String(measurement.id.data(),
                                                 static_cast<qsizetype>(measurement.id.size())),
                                   channel == 0 ? QStringLiteral("A") : QStringLiteral("B"),
                                   QString::fromStdString(
                                       WaveformUnitText(measurement.unit, m_scales[channel])));
            }
        }
        return header + QLatin1Char('\n');
    }

    // The block's line.
    QString measure(std::span<const StereoFrame> frames) {
        std::array<WaveformMeasurement, 2> measured;
        for (std::size_t channel = 0; channel < measured.size(); ++channel) {
            m_samples.clear();
            for (const StereoFrame& frame : frames) {
                m_samples.push_back(channel == 0 ? frame.a : frame.b);
            }
            measured[channel] = MeasureWaveform(m_samples, SampleRate, m_scales[channel]);
        }
        QString line = QString::number(m_block++);
        for (const std::size_t index : m_options.measurements) {
            for (const WaveformMeasurement& channel : measured) {
                line += QLatin1Char(';');
                if (const auto value = WaveformMeasurements[index].measure(channel)) {
                    line += QString::number(*value, 'g', 6)
                                .replace(QLatin1Char('.'), QLocale::system().decimalPoint());
                }
            }
        }
        return line + QLatin1Char('\n');
    }

private:
    const Options& m_options;
    std::array<ChannelScale, 2> m_scales;
    std::vector<double> m_samples;
    long long m_block = 0;
};

}  // namespace

int RunMeasure(const Options& options, std::FILE* out, std::FILE* err) {
    BlockPrinter printer(options, err);
    if (const auto message = printer.loadCalibration()) {
        return Fail(err, *message);
    }
    BlockMeasurements blocks(options, {ScaleOf(printer.display().a), ScaleOf(printer.display().b)});
    QString text = blocks.header();
    const TakeFrames take = [&](std::span<const StereoFrame> frames) {
        text += blocks.measure(frames);
    };
    if (options.device >= 0) {
        QString source;
        if (const int status = CaptureBlocks(options, options.blocks, take, source, err);
            status != ExitSuccess) {
            return status;
        }
    } else {
        WavReader reader;
        if (!reader.open(options.file)) {
            return Fail(err, reader.errorText());
        }
        for (auto frames = reader.nextBlock(); !frames.empty(); frames = reader.nextBlock()) {
            take(frames);
        }
        if (!reader.errorText().isEmpty()) {
            return Fail(err, reader.errorText());
        }
    }
    return Written(out, text.toLocal8Bit(), err) ? ExitSuccess : ExitFailure;
}

int RunDistortion(const Options& options, std::FILE* out, std::FILE* err) {
    BlockPrinter printer(options, err);
    SpanSpectra spectra(options.window, 0, 0);
    if (const int status = Gather(options, options.blocks, spectra, printer, err);
        status != ExitSuccess) {
        return status;
    }
    ToneOptions tone;
    tone.fundamentalHz = options.fundamentalHz;
    tone.clockPpm = printer.state().SampleClockPpm;
    QString text;
    for (const auto& [channel, display] :
         {std::pair{0, &printer.display().a}, std::pair{1, &printer.display().b}}) {
        const Spectrum spectrum = spectra.mean(channel);
        const ToneMeasurements measured = MeasureTone(spectrum, tone);
        text += channel == 0 ? QStringLiteral("A") : QStringLiteral("B");
        if (!measured.found) {
            text += QStringLiteral(" no tone");
        }
        for (const ToneField& field : ToneFields(measured, spectrum, ScaleOf(*display))) {
            text += QStringLiteral(" %1=%2").arg(QString::fromStdString(field.key),
                                                 FieldValue(field.key, field.value));
        }
        text += QLatin1Char('\n');
    }
    return Written(out, text.toLocal8Bit(), err) ? ExitSuccess : ExitFailure;
}

int RunSpectrum(const Options& options, std::FILE* out, std::FILE* err) {
    BlockPrinter printer(options, err);
    SpanSpectra spectra(options.window, options.spectrumSize, options.averages);
    const long long blocks =
        static_cast<long long>(options.averages) * options.spectrumSize / FramesPerBuffer;
    if (const int status = Gather(options, blocks, spectra, printer, err); status != ExitSuccess) {
        return status;
    }
    FileMetadata metadata = printer.metadata();
    metadata.emplace_back(
        QStringLiteral("Window"),
        QString::fromLatin1(WindowName(options.window).data(),
                            static_cast<qsizetype>(WindowName(options.window).size())));
    metadata.emplace_back(QStringLiteral("Spectrum size"),
                          QStringLiteral("%1 frames, %2 Hz a bin")
                              .arg(spectra.size())
                              .arg(static_cast<double>(SampleRate) / spectra.size(), 0, 'f', 3));
    metadata.emplace_back(
        QStringLiteral("Averages"),
        QStringLiteral("%1 (linear mean of successive spans from the start)").arg(spectra.spans()));
    const QByteArray csv =
        SpectrumCsv(spectra.mean(0), spectra.mean(1), ScaleOf(printer.display().a),
                    ScaleOf(printer.display().b), metadata);
    return Written(out, csv, err) ? ExitSuccess : ExitFailure;
}

}  // namespace veruziva::meter
