#include "analysis/tonemeasurement.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

namespace veruziva {

namespace {

// A tone stands out when its peak bin is this far above the spectrum's median bin.
constexpr double ToneAboveMedian = 100.0;  // 20 dB
// and is more than the rounding of the transform: a sine of 0.01 units RMS, far under what a
// 16-bit converter resolves.
constexpr double MinTonePower = 1e-4;
constexpr double Tiny = 1e-300;

double Db(double ratio) {
    return 10.0 * std::log10(std::max(ratio, Tiny));
}

// The bins [first, last] a part of the spectrum occupies, clipped to the spectrum.
struct BinSpan {
    int first = 0;
    int last = -1;
};

BinSpan LobeAround(const Spectrum& spectrum, double bin) {
    const int centre = static_cast<int>(std::lround(bin));
    return {std::max(0, centre - spectrum.lobeHalfWidth),
            std::min(spectrum.bins() - 1, centre + spectrum.lobeHalfWidth)};
}

// The spectrum's window, for its response (which does not depend on the size).
const FftWindow& WindowOf(const Spectrum& spectrum) {
    static thread_local std::optional<FftWindow> window;
    if (!window || window->kind() != spectrum.window) {
        window.emplace(spectrum.window, 16);
    }
    return *window;
}

double Response(const Spectrum& spectrum, double offset) {
    return WindowOf(spectrum).response(offset);
}

int HighestBin(const Spectrum& spectrum, int first, int last) {
    int best = -1;
    for (int k = std::max(first, 0); k <= std::min(last, spectrum.bins() - 1); ++k) {
        if (best < 0 || spectrum.power[static_cast<std::size_t>(k)] >
                            spectrum.power[static_cast<std::size_t>(best)]) {
            best = k;
        }
    }
    return best;
}

// The median bin: the noise floor, however many bins tones and their skirts take. Every
// fourth bin tells it as well as all of them, in a quarter of the time.
double MedianBin(const std::vector<double>& power) {
    std::vector<double> values;
    values.reserve(power.size() / 4 + 1);
    for (std::size_t k = 0; k < power.size(); k += 4) {
        values.push_back(power[k]);
    }
    if (values.empty()) {
        return 0.0;
    }
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

std::string Format(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

}  // namespace

double InterpolatedPeakBin(const Spectrum& spectrum, int bin) {
    // The two highest bins of a sine's lobe stand in the ratio of the window's response at the
    // sine's distances from them: that ratio gives the distance, found by bisection (it grows
    // with the distance, from the response one bin away to 1 half-way).
    if (bin <= 0 || bin >= spectrum.bins() - 1) {
        return bin;
    }
    const auto at = static_cast<std::size_t>(bin);
    const double left = spectrum.power[at - 1];
    const double right = spectrum.power[at + 1];
    const double peak = spectrum.power[at];
    if (peak <= 0.0) {
        return bin;
    }
    const int direction = right >= left ? 1 : -1;
    const double ratio = std::sqrt(std::max(left, right) / peak);
    const auto ratioAt = [&](double offset) {
        return Response(spectrum, 1.0 - offset) / Response(spectrum, offset);
    };
    double low = 0.0;
    double high = 0.5;
    if (ratio <= ratioAt(low)) {
        return bin;
    }
    if (ratio >= ratioAt(high)) {
        return bin + direction * 0.5;
    }
    for (int i = 0; i < 50; ++i) {
        const double middle = (low + high) / 2.0;
        (ratioAt(middle) < ratio ? low : high) = middle;
    }
    return bin + direction * (low + high) / 2.0;
}

namespace {

// The bins of one spectrum sorted into what each reading sums.
class BinMap {
public:
    enum Kind : unsigned char { Noise, Dc, Fundamental, Harmonic, Skirt };

    explicit BinMap(const Spectrum& spectrum)
        : m_spectrum(spectrum), m_kinds(static_cast<std::size_t>(spectrum.bins()), Noise) {}

    Kind kind(int k) const { return m_kinds[static_cast<std::size_t>(k)]; }

    // Marks a lobe's bins that are still noise; their power over the noise bandwidth.
    double takeLobe(const BinSpan& span, Kind kind) {
        double sum = 0.0;
        for (int k = span.first; k <= span.last; ++k) {
            if (m_kinds[static_cast<std::size_t>(k)] == Noise) {
                m_kinds[static_cast<std::size_t>(k)] = kind;
                sum += m_spectrum.power[static_cast<std::size_t>(k)];
            }
        }
        return sum / m_spectrum.noiseBandwidthBins;
    }

    // Marks the bins on either side of a lobe where what a source of `power` at `bin` leaks
    // through the window's side lobes stands above a tenth of the noise floor: they are left
    // out of the noise, and the noise under them is taken as the mean of the rest (IEEE 1241's
    // handling of the bins about the tone). A window whose skirt would cover more than a
    // quarter of the spectrum (rectangular, a loud tone) leaks into the rest as it shows.
    void markSkirt(double bin, double power, double floor) {
        const double threshold = floor / 10.0;
        const int centre = static_cast<int>(std::lround(bin));
        const int reach = m_spectrum.bins() / 4;
        const double sine = std::abs(std::sin(std::numbers::pi * (bin - centre)));
        for (const int direction : {-1, 1}) {
            for (int d = m_spectrum.lobeHalfWidth + 1; d <= reach; ++d) {
                const int k = centre + direction * d;
                if (k < 0 || k >= m_spectrum.bins()) {
                    break;
                }
                // Outside the main lobe the response is the envelope times |sin(pi offset)|,
                // the same at every bin.
                const double envelope = power * Squared(Envelope(k - bin));
                if (envelope <= threshold) {
                    break;
                }
                if (envelope * sine * sine > threshold &&
                    m_kinds[static_cast<std::size_t>(k)] == Noise) {
                    m_kinds[static_cast<std::size_t>(k)] = Skirt;
                }
            }
        }
    }

    // The noise: the mean of the noise bins, over every bin that is not DC, fundamental or
    // harmonic.
    struct NoiseSum {
        double power = 0.0;  // over the noise bandwidth
        double perBin = 0.0;
    };
    NoiseSum noise() const {
        double sum = 0.0;
        int counted = 0;
        int covered = 0;
        for (int k = 0; k < m_spectrum.bins(); ++k) {
            const Kind kind = m_kinds[static_cast<std::size_t>(k)];
            if (kind == Noise) {
                sum += m_spectrum.power[static_cast<std::size_t>(k)];
                ++counted;
            }
            covered += kind == Noise || kind == Skirt ? 1 : 0;
        }
        if (counted == 0) {
            return {};
        }
        const double perBin = sum / counted;
        return {perBin * covered / m_spectrum.noiseBandwidthBins, perBin};
    }

    // The highest bin that is neither DC, the fundamental nor a skirt.
    int highestSpur() const {
        int best = -1;
        for (int k = 0; k < m_spectrum.bins(); ++k) {
            const Kind kind = m_kinds[static_cast<std::size_t>(k)];
            if ((kind == Noise || kind == Harmonic) &&
                (best < 0 || m_spectrum.power[static_cast<std::size_t>(k)] >
                                 m_spectrum.power[static_cast<std::size_t>(best)])) {
                best = k;
            }
        }
        return best;
    }

private:
    static double Squared(double value) { return value * value; }
    double Envelope(double offset) const { return WindowOf(m_spectrum).sideLobeEnvelope(offset); }

    const Spectrum& m_spectrum;
    std::vector<Kind> m_kinds;
};

}  // namespace

ToneMeasurements MeasureTone(const Spectrum& spectrum, const ToneOptions& options) {
    ToneMeasurements tone;
    if (spectrum.empty()) {
        return tone;
    }
    tone.dc = spectrum.dc;
    const int bins = spectrum.bins();
    const int lobe = spectrum.lobeHalfWidth;
    const double clock = 1.0 + options.clockPpm * 1e-6;
    const double floor = MedianBin(spectrum.power);

    BinMap map(spectrum);
    const BinSpan dcSpan{0, std::min(lobe, bins - 1)};
    map.takeLobe(dcSpan, BinMap::Dc);

    int peak = -1;
    if (options.fundamentalHz) {
        const double near = *options.fundamentalHz / clock / spectrum.binHz();
        peak = HighestBin(spectrum, std::max(dcSpan.last + 1, int(std::floor(near)) - lobe - 1),
                          int(std::ceil(near)) + lobe + 1);
    } else {
        peak = HighestBin(spectrum, dcSpan.last + 1, bins - 1);
    }
    const double peakPower = peak >= 0 ? spectrum.power[static_cast<std::size_t>(peak)] : 0.0;
    if (peakPower <= MinTonePower || peakPower < ToneAboveMedian * floor) {
        map.markSkirt(0.0, spectrum.dc * spectrum.dc, floor);
        const BinMap::NoiseSum noise = map.noise();
        tone.noiseRms = std::sqrt(noise.power);
        tone.noiseFloorPower = noise.perBin;
        return tone;
    }
    tone.found = true;
    const double peakBin = InterpolatedPeakBin(spectrum, peak);
    tone.frequencyHz = peakBin * spectrum.binHz() * clock;
    tone.levelRms = std::sqrt(peakPower) / Response(spectrum, peakBin - peak);
    const double fundamental = map.takeLobe(LobeAround(spectrum, peakBin), BinMap::Fundamental);

    double harmonics = 0.0;
    std::vector<std::pair<double, double>> harmonicPowers;
    for (int h = 2; h <= options.highestHarmonic; ++h) {
        const double at = peakBin * h;
        if (at + lobe >= bins - 1) {
            break;  // the harmonics from here on lie beyond Nyquist
        }
        // A lobe that overlaps the fundamental's or another harmonic's counts once.
        const double power = map.takeLobe(LobeAround(spectrum, at), BinMap::Harmonic);
        harmonics += power;
        harmonicPowers.emplace_back(at, power);
        ++tone.harmonics;
    }
    map.markSkirt(0.0, spectrum.dc * spectrum.dc, floor);
    map.markSkirt(peakBin, tone.levelRms * tone.levelRms, floor);
    for (const auto& [at, power] : harmonicPowers) {
        map.markSkirt(at, power, floor);
    }
    const BinMap::NoiseSum noise = map.noise();
    tone.noiseRms = std::sqrt(noise.power);
    tone.noiseFloorPower = noise.perBin;
    const double rest = harmonics + noise.power;

    tone.thdRatio = std::sqrt(harmonics / fundamental);
    tone.thdNoiseRatio = std::sqrt(rest / fundamental);
    tone.sinadDb = -Db(rest / fundamental);
    tone.snrDb = -Db(noise.power / fundamental);
    const int spur = map.highestSpur();
    if (spur >= 0) {
        // The spur's level and place are read as the fundamental's: between bins.
        const double spurBin = InterpolatedPeakBin(spectrum, spur);
        const double spurPower = spectrum.power[static_cast<std::size_t>(spur)] /
                                 std::pow(Response(spectrum, spurBin - spur), 2.0);
        tone.sfdrDb = Db(tone.levelRms * tone.levelRms / std::max(spurPower, Tiny));
        tone.spurHz = spurBin * spectrum.binHz() * clock;
    }
    return tone;
}

double PowerToDb(double power, const ChannelScale& scale) {
    if (scale.calibrated()) {
        return Db(power * scale.factor * scale.factor);
    }
    return Db(power / (FullScaleRms * FullScaleRms));
}

double PowerToRms(double power, const ChannelScale& scale) {
    return std::sqrt(std::max(power, 0.0)) * (scale.calibrated() ? scale.factor : 1.0);
}

std::vector<ToneField> ToneFields(const ToneMeasurements& tone,
                                  [[maybe_unused]] const Spectrum& spectrum,
                                  const ChannelScale& scale) {
    std::vector<ToneField> fields;
    const bool scaled = scale.calibrated();
    const std::string unit(1, scale.unit);
    const std::string lower(1, static_cast<char>(scale.unit == 'A' ? 'a' : 'v'));
    const auto add = [&](std::string key, std::string caption, double value, const char* format) {
        fields.push_back({std::move(key), std::move(caption), value, Format(format, value)});
    };
    if (tone.found) {
        const double power = tone.levelRms * tone.levelRms;
        add("frequency_hz", "Frequency", tone.frequencyHz, "%.2f Hz");
        add("level_dbfs", "Level", PowerToDb(power, ChannelScale{}), "%.2f dBFS");
        if (scaled) {
            add("level_" + lower, "Level", PowerToRms(power, scale), ("%.5g " + unit).c_str());
            add("level_db" + lower, "Level", PowerToDb(power, scale), ("%.2f dB" + unit).c_str());
        }
        add("thd_percent", "THD", tone.thdRatio * 100.0, "%.4g %%");
        add("thd_db", "THD", 2.0 * Db(tone.thdRatio), "%.2f dB");
        add("thdn_percent", "THD+N", tone.thdNoiseRatio * 100.0, "%.4g %%");
        add("thdn_db", "THD+N", 2.0 * Db(tone.thdNoiseRatio), "%.2f dB");
        add("snr_db", "SNR", tone.snrDb, "%.2f dB");
        add("sinad_db", "SINAD", tone.sinadDb, "%.2f dB");
        add("sfdr_db", "SFDR", tone.sfdrDb, "%.2f dBc");
    }
    if (scaled) {
        add("noise_floor_db" + lower, "Noise floor", PowerToDb(tone.noiseFloorPower, scale),
            ("%.1f dB" + unit).c_str());
        add("dc_" + lower, "DC", (tone.dc - scale.zero) * scale.factor, ("%.5g " + unit).c_str());
    } else {
        add("noise_floor_dbfs", "Noise floor", PowerToDb(tone.noiseFloorPower, scale), "%.1f dBFS");
        add("dc_raw", "DC", tone.dc, "%.1f");
    }
    return fields;
}

double ClockPpmFor(double measuredHz, double referenceHz) {
    return (referenceHz / measuredHz - 1.0) * 1e6;
}

}  // namespace veruziva
