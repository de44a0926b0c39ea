#include "analysis/spectrum.h"

#include <algorithm>
#include <stdexcept>

#include "analysis/realfft.h"

namespace veruziva {

bool ValidSpectrumSize(int size) {
    return std::find(std::begin(SpectrumSizes), std::end(SpectrumSizes), size) !=
           std::end(SpectrumSizes);
}

Spectrum ComputeSpectrum(std::span<const double> samples, const FftWindow& window, RealFft& fft,
                         double sampleRate) {
    if (static_cast<int>(samples.size()) != fft.size()) {
        throw std::invalid_argument("spectrum span");
    }
    std::copy(samples.begin(), samples.end(), fft.input().begin());
    return ComputeSpectrumInPlace(window, fft, sampleRate);
}

Spectrum ComputeSpectrumInPlace(const FftWindow& window, RealFft& fft, double sampleRate) {
    const int size = fft.size();
    if (window.size() != size) {
        throw std::invalid_argument("spectrum window");
    }
    const std::span<const double> weights = window.weights();
    const std::span<double> input = fft.input();
    for (std::size_t n = 0; n < input.size(); ++n) {
        input[n] *= weights[n];
    }
    fft.transform();

    Spectrum spectrum;
    spectrum.sampleRate = sampleRate;
    spectrum.size = size;
    spectrum.window = window.kind();
    spectrum.noiseBandwidthBins = window.noiseBandwidthBins();
    spectrum.lobeHalfWidth = window.lobeHalfWidth();
    // Bin 0 is the weighted sum of the samples: their mean weighted as the bins are, so that a
    // tone of a part period adds nothing to it.
    spectrum.dc = fft.output()[0].real() / (window.coherentGain() * size);
    // A sine of amplitude A at a bin centre gives |X| = A / 2 x sum(w): its RMS squared is
    // 2 |X|^2 / sum(w)^2. DC and Nyquist have no mirror bin.
    const double gain = window.coherentGain() * size;
    const double scale = 2.0 / (gain * gain);
    const std::span<const std::complex<double>> bins = fft.output();
    spectrum.power.resize(bins.size());
    for (std::size_t k = 0; k < bins.size(); ++k) {
        const bool edge = k == 0 || k + 1 == bins.size();
        spectrum.power[k] = std::norm(bins[k]) * (edge ? scale / 2.0 : scale);
    }
    return spectrum;
}

void SpectrumAverager::reset() {
    m_result = Spectrum{};
    m_linearSum.clear();
    m_linearDcSum = 0.0;
    m_linearCount = 0;
    m_taken = 0;
}

void SpectrumAverager::add(const Spectrum& spectrum) {
    if (m_result.size != spectrum.size || m_result.window != spectrum.window) {
        reset();
    }
    const int count = std::max(1, m_settings.count);
    switch (m_settings.mode) {
        case AveragingMode::None:
            m_result = spectrum;
            m_taken = 1;
            break;
        case AveragingMode::Exponential: {
            if (m_taken == 0) {
                m_result = spectrum;
                m_taken = 1;
                break;
            }
            m_taken = std::min(m_taken + 1, count);
            const double weight = 1.0 / m_taken;
            for (std::size_t k = 0; k < spectrum.power.size(); ++k) {
                m_result.power[k] += weight * (spectrum.power[k] - m_result.power[k]);
            }
            m_result.dc += weight * (spectrum.dc - m_result.dc);
            break;
        }
        case AveragingMode::PeakHold:
            if (m_taken == 0) {
                m_result = spectrum;
            } else {
                for (std::size_t k = 0; k < spectrum.power.size(); ++k) {
                    m_result.power[k] = std::max(m_result.power[k], spectrum.power[k]);
                }
                m_result.dc = spectrum.dc;
            }
            m_taken = std::min(m_taken + 1, count);
            break;
        case AveragingMode::Linear: {
            if (m_linearSum.size() != spectrum.power.size()) {
                m_linearSum.assign(spectrum.power.size(), 0.0);
            }
            for (std::size_t k = 0; k < spectrum.power.size(); ++k) {
                m_linearSum[k] += spectrum.power[k];
            }
            m_linearDcSum += spectrum.dc;
            ++m_linearCount;
            const bool complete = m_linearCount == count;
            // Until the first mean is complete it is shown as it grows; then each complete one.
            if (complete || m_taken < count) {
                m_result = spectrum;
                for (std::size_t k = 0; k < m_linearSum.size(); ++k) {
                    m_result.power[k] = m_linearSum[k] / m_linearCount;
                }
                m_result.dc = m_linearDcSum / m_linearCount;
                m_taken = m_linearCount;
            }
            if (complete) {
                std::fill(m_linearSum.begin(), m_linearSum.end(), 0.0);
                m_linearDcSum = 0.0;
                m_linearCount = 0;
            }
            break;
        }
    }
}

SpectrumAnalyzer::SpectrumAnalyzer(AnalyzerSettings settings)
    : m_settings(settings), m_ring(MaxSpectrumSize) {
    setSettings(settings);
}

SpectrumAnalyzer::~SpectrumAnalyzer() = default;

void SpectrumAnalyzer::setSettings(const AnalyzerSettings& settings) {
    if (!ValidSpectrumSize(settings.size)) {
        throw std::invalid_argument("spectrum size");
    }
    const bool replan =
        !m_fft || settings.size != m_settings.size || settings.window != m_settings.window;
    m_settings = settings;
    if (replan) {
        m_window = std::make_unique<FftWindow>(settings.window, settings.size);
        m_fft = std::make_unique<RealFft>(settings.size);
    }
    for (SpectrumAverager& averager : m_averagers) {
        averager = SpectrumAverager(settings.averaging);
    }
}

void SpectrumAnalyzer::resetAverages() {
    for (SpectrumAverager& averager : m_averagers) {
        averager.reset();
    }
}

void SpectrumAnalyzer::addFrames(std::span<const StereoFrame> frames) {
    // Only the newest MaxSpectrumSize frames can ever be transformed.
    if (frames.size() > m_ring.size()) {
        m_sinceUpdate += static_cast<std::int64_t>(frames.size() - m_ring.size());
        frames = frames.last(m_ring.size());
    }
    for (const StereoFrame& frame : frames) {
        m_ring[static_cast<std::size_t>(m_next)] = frame;
        m_next = (m_next + 1) % MaxSpectrumSize;
    }
    m_held = std::min<int>(MaxSpectrumSize, m_held + static_cast<int>(frames.size()));
    m_sinceUpdate += static_cast<std::int64_t>(frames.size());
}

void SpectrumAnalyzer::clearFrames() {
    m_next = 0;
    m_held = 0;
    m_sinceUpdate = 0;
}

bool SpectrumAnalyzer::update() {
    const int size = m_settings.size;
    if (m_held < size) {
        return false;
    }
    const int start = (m_next - size + MaxSpectrumSize) % MaxSpectrumSize;
    // The span lies in the ring in at most two pieces: from its start to the ring's end, and on
    // from the ring's beginning.
    const auto first = m_ring.begin() + start;
    const auto firstPiece = std::min<std::ptrdiff_t>(size, MaxSpectrumSize - start);
    for (int channel = 0; channel < 2; ++channel) {
        const auto sample = [channel](const StereoFrame& frame) {
            return double(channel == 0 ? frame.a : frame.b);
        };
        const auto next = std::transform(first, first + firstPiece, m_fft->input().begin(), sample);
        std::transform(m_ring.begin(), m_ring.begin() + (size - firstPiece), next, sample);
        m_averagers[static_cast<std::size_t>(channel)].add(
            ComputeSpectrumInPlace(*m_window, *m_fft));
    }
    m_sinceUpdate = 0;
    return true;
}

const Spectrum& SpectrumAnalyzer::spectrum(int channel) const {
    return m_averagers.at(static_cast<std::size_t>(channel)).result();
}

}  // namespace veruziva
