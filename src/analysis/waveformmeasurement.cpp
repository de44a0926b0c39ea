#include "analysis/waveformmeasurement.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>
#include <vector>

namespace veruziva {

namespace {

constexpr int HistogramBins = 256;
constexpr double FlatTopShare = 0.05;
constexpr double HysteresisShare = 0.1;

// The samples' histogram from minimum to maximum: its count and sum of samples per bin.
struct Histogram {
    std::array<long long, HistogramBins> counts{};
    std::array<double, HistogramBins> sums{};
};

// The low and high state levels between `minimum` and `maximum`.
std::pair<double, double> StateLevels(const Histogram& histogram, double minimum, double maximum) {
    if (maximum <= minimum) {
        return {minimum, maximum};
    }
    const auto& counts = histogram.counts;
    const auto level = [&](std::size_t first, std::size_t last, double extreme) {
        long long total = 0;
        std::size_t fullest = first;
        for (std::size_t bin = first; bin < last; ++bin) {
            total += counts[bin];
            if (counts[bin] > counts[fullest]) {
                fullest = bin;
            }
        }
        const bool flatTop = total > 0 && static_cast<double>(counts[fullest]) >=
                                              FlatTopShare * static_cast<double>(total);
        return flatTop ? histogram.sums[fullest] / static_cast<double>(counts[fullest]) : extreme;
    };
    constexpr auto Half = static_cast<std::size_t>(HistogramBins / 2);
    return {level(0, Half, minimum), level(Half, 2 * Half, maximum)};
}

struct Crossing {
    double at;  // in samples, between two of them
    bool rising;
};

// Where the signal passes `level` between samples i - 1 and i, in samples.
template <typename T>
double Interpolated(std::span<const T> s, std::size_t i, double level) {
    const double before = s[i - 1];
    return static_cast<double>(i - 1) + (level - before) / (double(s[i]) - before);
}

// The mid crossings that go from one side of the hysteresis band to the other; they alternate.
template <typename T>
std::vector<Crossing> MidCrossings(std::span<const T> s, double mid, double band) {
    enum class Side { Unknown, Below, Above } side = Side::Unknown;
    std::vector<Crossing> crossings;
    double lastUp = 0.0;
    double lastDown = 0.0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (i > 0 && s[i - 1] < mid && s[i] >= mid) {
            lastUp = Interpolated(s, i, mid);
        } else if (i > 0 && s[i - 1] >= mid && s[i] < mid) {
            lastDown = Interpolated(s, i, mid);
        }
        if (s[i] >= mid + band && side != Side::Above) {
            if (side == Side::Below) {
                crossings.push_back({lastUp, true});
            }
            side = Side::Above;
        } else if (s[i] <= mid - band && side != Side::Below) {
            if (side == Side::Above) {
                crossings.push_back({lastDown, false});
            }
            side = Side::Below;
        }
        // Samples on the side already reached, after one there, change nothing: passed over,
        // eight at a time while they can be.
        if (side != Side::Unknown && (s[i] >= mid) == (side == Side::Above)) {
            const bool above = side == Side::Above;
            while (i + 8 < s.size()) {
                bool stay = true;
                for (std::size_t k = 1; k <= 8; ++k) {
                    stay &= (s[i + k] >= mid) == above;
                }
                if (!stay) {
                    break;
                }
                i += 8;
            }
            while (i + 1 < s.size() && (s[i + 1] >= mid) == above) {
                ++i;
            }
        }
    }
    return crossings;
}

// The time in samples an edge takes from level `from` to level `to`: from the last crossing of
// `from` before the mid crossing to the first of `to` after it, searching no further than the
// crossings about it (`before`, `after`); none when the edge does not get that far.
template <typename T>
std::optional<double> EdgeTime(std::span<const T> s, double at, double before, double after,
                               double from, double to) {
    const bool rising = to > from;
    const auto beyond = [rising](double x, double level) {
        return rising ? x >= level : x <= level;
    };
    const auto shortOf = [rising](double x, double level) {
        return rising ? x <= level : x >= level;
    };
    auto i = static_cast<std::size_t>(at);  // the sample before the mid crossing
    const auto first = static_cast<std::size_t>(std::max(0.0, std::ceil(before)));
    while (i > first && !shortOf(s[i], from)) {
        --i;
    }
    if (!shortOf(s[i], from)) {
        return std::nullopt;
    }
    const double start = Interpolated(s, i + 1, from);
    auto k = static_cast<std::size_t>(at) + 1;
    const auto last = std::min(s.size() - 1, static_cast<std::size_t>(after));
    while (k < last && !beyond(s[k], to)) {
        ++k;
    }
    if (!beyond(s[k], to)) {
        return std::nullopt;
    }
    return Interpolated(s, k, to) - start;
}

std::optional<double> Mean(double sum, int count) {
    return count > 0 ? std::optional(sum / count) : std::nullopt;
}

// Periods, widths and edges from the mid crossings.
template <typename T>
void MeasureTransitions(std::span<const T> s, double sampleRate, WaveformMeasurement& m) {
    if (m.high - m.low < MinTransitionSpan) {
        return;  // a line's hiss, not edges
    }
    const double span = m.high - m.low;
    const double mid = m.low + span / 2;
    const std::vector<Crossing> crossings = MidCrossings(s, mid, HysteresisShare * span);
    std::array<std::vector<double>, 2> byDirection;  // falling, rising
    for (const Crossing& c : crossings) {
        byDirection[c.rising ? 1 : 0].push_back(c.at);
    }
    const std::vector<double>& edges = byDirection[1].size() >= 2 ? byDirection[1] : byDirection[0];
    if (edges.size() >= 2) {
        m.period =
            (edges.back() - edges.front()) / static_cast<double>(edges.size() - 1) / sampleRate;
    }
    std::array<double, 2> widths{};  // negative, positive
    std::array<int, 2> pulses{};
    std::array<double, 2> edgeTimes{};  // fall, rise
    std::array<int, 2> edgeCount{};
    const double ref10 = m.low + 0.1 * span;
    const double ref90 = m.low + 0.9 * span;
    for (std::size_t k = 0; k < crossings.size(); ++k) {
        const Crossing& c = crossings[k];
        const std::size_t direction = c.rising ? 1 : 0;
        if (k + 1 < crossings.size()) {
            widths[direction] += crossings[k + 1].at - c.at;
            pulses[direction] += 1;
        }
        const double before = k > 0 ? crossings[k - 1].at : 0.0;
        const double after =
            k + 1 < crossings.size() ? crossings[k + 1].at : static_cast<double>(s.size());
        if (const auto time = c.rising ? EdgeTime(s, c.at, before, after, ref10, ref90)
                                       : EdgeTime(s, c.at, before, after, ref90, ref10)) {
            edgeTimes[direction] += *time;
            edgeCount[direction] += 1;
        }
    }
    const auto seconds = [sampleRate](std::optional<double> samples) {
        return samples ? std::optional(*samples / sampleRate) : std::nullopt;
    };
    m.positiveWidth = seconds(Mean(widths[1], pulses[1]));
    m.negativeWidth = seconds(Mean(widths[0], pulses[0]));
    m.riseTime = seconds(Mean(edgeTimes[1], edgeCount[1]));
    m.fallTime = seconds(Mean(edgeTimes[0], edgeCount[0]));
}

// Partial sums and extremes in this many lanes: each lane's additions wait on its own, not on
// every sample's.
constexpr std::size_t Lanes = 4;

template <typename T>
WaveformMeasurement Measure(std::span<const T> samples, double sampleRate,
                            const ChannelScale& scale) {
    WaveformMeasurement m;
    m.samples = samples.size();
    if (samples.empty()) {
        return m;
    }
    const std::size_t size = samples.size();
    const std::size_t lanesEnd = size / Lanes * Lanes;
    std::array<double, Lanes> lows;
    lows.fill(samples[0]);
    std::array<double, Lanes> highs = lows;
    std::array<double, Lanes> sums{};
    for (std::size_t n = 0; n < lanesEnd; n += Lanes) {
        for (std::size_t lane = 0; lane < Lanes; ++lane) {
            const double x = samples[n + lane];
            lows[lane] = std::min(lows[lane], x);
            highs[lane] = std::max(highs[lane], x);
            sums[lane] += x;
        }
    }
    for (std::size_t n = lanesEnd; n < size; ++n) {
        const double x = samples[n];
        lows[0] = std::min(lows[0], x);
        highs[0] = std::max(highs[0], x);
        sums[0] += x;
    }
    m.minimum = *std::min_element(lows.begin(), lows.end());
    m.maximum = *std::max_element(highs.begin(), highs.end());
    const double sum = (sums[0] + sums[1]) + (sums[2] + sums[3]);
    m.mean = sum / static_cast<double>(size);

    // The deviations and the histogram in one pass; a histogram a lane, so that a flat top's
    // samples, one bin after another, do not wait on each other.
    std::array<double, Lanes> squares{};
    std::array<Histogram, Lanes> histograms{};
    const bool binned = m.maximum > m.minimum;
    const double perBin = binned ? HistogramBins / (m.maximum - m.minimum) : 0.0;
    const auto add = [&](std::size_t lane, double x) {
        squares[lane] += (x - m.mean) * (x - m.mean);
        if (binned) {
            const auto bin = static_cast<std::size_t>(
                std::min(HistogramBins - 1, static_cast<int>((x - m.minimum) * perBin)));
            histograms[lane].counts[bin] += 1;
            histograms[lane].sums[bin] += x;
        }
    };
    for (std::size_t n = 0; n < lanesEnd; n += Lanes) {
        for (std::size_t lane = 0; lane < Lanes; ++lane) {
            add(lane, samples[n + lane]);
        }
    }
    for (std::size_t n = lanesEnd; n < size; ++n) {
        add(0, samples[n]);
    }
    Histogram& histogram = histograms[0];
    for (std::size_t lane = 1; lane < Lanes; ++lane) {
        for (std::size_t bin = 0; bin < HistogramBins; ++bin) {
            histogram.counts[bin] += histograms[lane].counts[bin];
            histogram.sums[bin] += histograms[lane].sums[bin];
        }
    }
    m.acRms = std::sqrt(((squares[0] + squares[1]) + (squares[2] + squares[3])) /
                        static_cast<double>(size));
    std::tie(m.low, m.high) = StateLevels(histogram, m.minimum, m.maximum);
    MeasureTransitions(samples, sampleRate, m);

    // Levels about the channel's zero, all of them through its factor; times stay.
    const double factor = scale.calibrated() ? scale.factor : 1.0;
    const double zero = scale.calibrated() ? scale.zero : 0.0;
    m.rms = factor * std::hypot(m.acRms, m.mean - zero);
    m.acRms *= factor;
    for (double* level : {&m.minimum, &m.maximum, &m.mean, &m.low, &m.high}) {
        *level = (*level - zero) * factor;
    }
    return m;
}

}  // namespace

WaveformMeasurement MeasureWaveform(std::span<const double> samples, double sampleRate,
                                    const ChannelScale& scale) {
    return Measure(samples, sampleRate, scale);
}

WaveformMeasurement MeasureWaveform(std::span<const float> samples, double sampleRate,
                                    const ChannelScale& scale) {
    return Measure(samples, sampleRate, scale);
}

std::string WaveformUnitText(WaveformUnit unit, const ChannelScale& scale) {
    switch (unit) {
        case WaveformUnit::Channel:
            return scale.calibrated() ? std::string(1, scale.unit) : std::string("raw");
        case WaveformUnit::Hertz:
            return "Hz";
        case WaveformUnit::Seconds:
            return "s";
        case WaveformUnit::Percent:
            return "%";
    }
    return {};
}

void MeasurementStatistics::add(std::optional<double> value) {
    if (!value) {
        return;
    }
    m_minimum = m_count == 0 ? *value : std::min(m_minimum, *value);
    m_maximum = m_count == 0 ? *value : std::max(m_maximum, *value);
    m_sum += *value;
    ++m_count;
}

std::optional<double> MeasurementStatistics::minimum() const {
    return m_count > 0 ? std::optional(m_minimum) : std::nullopt;
}

std::optional<double> MeasurementStatistics::maximum() const {
    return m_count > 0 ? std::optional(m_maximum) : std::nullopt;
}

std::optional<double> MeasurementStatistics::mean() const {
    return m_count > 0 ? std::optional(m_sum / static_cast<double>(m_count)) : std::nullopt;
}

}  // namespace veruziva
