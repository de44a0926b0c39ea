#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "analysis/fftwindow.h"
#include "platform/captureformat.h"

namespace veruziva {

class RealFft;

// Spectrum sizes: one block (4096 frames) to 16 blocks joined.
inline constexpr int MinSpectrumSize = 4096;
inline constexpr int MaxSpectrumSize = 65536;
inline constexpr int SpectrumSizes[] = {4096, 8192, 16384, 32768, 65536};
bool ValidSpectrumSize(int size);

// One channel's spectrum: per bin, the power a sine centred on it shows as its RMS squared, in
// the input's units (raw sample units until scaled). Noise of density D (units^2 per Hz) reads
// D x binHz x noiseBandwidthBins per bin.
struct Spectrum {
    double sampleRate = SampleRate;
    int size = 0;
    WindowKind window = WindowKind::Hann;
    double noiseBandwidthBins = 1.0;
    int lobeHalfWidth = 1;
    std::vector<double> power;  // size/2 + 1 bins; bin 0 holds the DC's square
    // The signed DC of the span (its mean, weighted with the window), in the input's units: the
    // power spectrum loses its sign.
    double dc = 0.0;

    double binHz() const { return sampleRate / size; }
    int bins() const { return static_cast<int>(power.size()); }
    bool empty() const { return power.empty(); }
};

// How successive spectra are combined.
enum class AveragingMode {
    None,         // each spectrum as it is
    Linear,       // the mean of N, then the next N (the last complete mean is shown meanwhile)
    Exponential,  // each new spectrum weighs 1/N (1/k for the first k < N)
    PeakHold,     // the highest power each bin has had since the last reset
};

struct AveragingSettings {
    AveragingMode mode = AveragingMode::None;
    int count = 8;
};

// Successive power spectra of one channel folded into one.
class SpectrumAverager {
public:
    explicit SpectrumAverager(AveragingSettings settings = {}) : m_settings(settings) {}
    void reset();
    void add(const Spectrum& spectrum);
    // The combined spectrum; empty before the first add().
    const Spectrum& result() const { return m_result; }
    // Spectra in the mean shown (linear: the one being built until the first is complete).
    int taken() const { return m_taken; }

private:
    AveragingSettings m_settings;
    Spectrum m_result;
    std::vector<double> m_linearSum;
    double m_linearDcSum = 0.0;
    int m_linearCount = 0;
    int m_taken = 0;
};

// The power spectrum of one channel's samples: the window applied, scaled as Spectrum says.
Spectrum ComputeSpectrum(std::span<const double> samples, const FftWindow& window, RealFft& fft,
                         double sampleRate = SampleRate);
// The same of the samples already in the transform's input (which it overwrites).
Spectrum ComputeSpectrumInPlace(const FftWindow& window, RealFft& fft,
                                double sampleRate = SampleRate);

struct AnalyzerSettings {
    int size = 16384;
    WindowKind window = WindowKind::BlackmanHarris;
    AveragingSettings averaging;
    bool operator==(const AnalyzerSettings&) const = default;
};

// Both channels: keeps the last MaxSpectrumSize frames as they come, and on update() takes the
// spectrum of the newest `size` of them into each channel's average. Raw sample units.
class SpectrumAnalyzer {
public:
    explicit SpectrumAnalyzer(AnalyzerSettings settings = {});
    ~SpectrumAnalyzer();
    SpectrumAnalyzer(const SpectrumAnalyzer&) = delete;
    SpectrumAnalyzer& operator=(const SpectrumAnalyzer&) = delete;

    const AnalyzerSettings& settings() const { return m_settings; }
    // A new size or window starts the averages again; the frames held stay.
    void setSettings(const AnalyzerSettings& settings);
    void resetAverages();
    // Frames in; frames since the last update() are counted.
    void addFrames(std::span<const StereoFrame> frames);
    void clearFrames();
    // Frames held (up to MaxSpectrumSize) and frames added since the last update().
    int framesHeld() const { return m_held; }
    std::int64_t framesSinceUpdate() const { return m_sinceUpdate; }
    // Transforms the newest `size` frames of both channels into the averages; false (nothing
    // done) while fewer are held.
    bool update();
    // Channel 0 is A (left), 1 is B (right).
    const Spectrum& spectrum(int channel) const;
    int averagesTaken() const { return m_averagers[0].taken(); }

private:
    void makePlan();
    AnalyzerSettings m_settings;
    std::vector<StereoFrame> m_ring;  // MaxSpectrumSize frames, m_next the oldest
    int m_next = 0;
    int m_held = 0;
    std::int64_t m_sinceUpdate = 0;
    std::unique_ptr<FftWindow> m_window;
    std::unique_ptr<RealFft> m_fft;
    std::array<SpectrumAverager, 2> m_averagers;
};

}  // namespace veruziva
