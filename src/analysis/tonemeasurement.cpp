#include "analysis/tonemeasurement.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace veruziva {

namespace {

// A tone stands out when its peak bin is this far above the spectrum's median bin.
constexpr double ToneAboveMedian = 100.0;  // 20 dB
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

double LobePower(const Spectrum& spectrum, const BinSpan& span) {
    double sum = 0.0;
    for (int k = span.first; k <= span.last; ++k) {
        sum += spectrum.power[static_cast<std::size_t>(k)];
    }
    return sum / spectrum.noiseBandwidthBins;
}

// The window's response at `offset` bins, as the spectrum's window.
double Response(const Spectrum& spectrum, double offset) {
    static thread_local std::optional<FftWindow> window;
    if (!window || window->kind() != spectrum.window) {
        window.emplace(spectrum.window, 16);  // the response does not depend on the size
    }
    return window->response(offset);
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

double Median(std::vector<double> values) {
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
    const double left = spectrum.power[static_cast<std::size_t>(bin - 1)];
    const double right = spectrum.power[static_cast<std::size_t>(bin + 1)];
    const double peak = spectrum.power[static_cast<std::size_t>(bin)];
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

ToneMeasurements MeasureTone(const Spectrum& spectrum, const ToneOptions& options) {
    ToneMeasurements tone;
    if (spectrum.empty()) {
        return tone;
    }
    tone.dc = spectrum.dc;
    const int bins = spectrum.bins();
    const int lobe = spectrum.lobeHalfWidth;
    const BinSpan dcSpan{0, std::min(lobe, bins - 1)};
    const double clock = 1.0 + options.clockPpm * 1e-6;

    int peak = -1;
    if (options.fundamentalHz) {
        const double near = *options.fundamentalHz / clock / spectrum.binHz();
        peak = HighestBin(spectrum, std::max(dcSpan.last + 1, int(std::floor(near)) - lobe - 1),
                          int(std::ceil(near)) + lobe + 1);
    } else {
        peak = HighestBin(spectrum, dcSpan.last + 1, bins - 1);
    }
    const double median = Median(spectrum.power);
    std::vector<bool> taken(static_cast<std::size_t>(bins), false);
    const auto take = [&](const BinSpan& span) {
        for (int k = span.first; k <= span.last; ++k) {
            taken[static_cast<std::size_t>(k)] = true;
        }
    };
    take(dcSpan);
    const auto noiseOfRest = [&](double& power, double& perBin, double& highest, int& highestBin) {
        power = 0.0;
        int count = 0;
        highest = 0.0;
        highestBin = -1;
        for (int k = 0; k < bins; ++k) {
            if (!taken[static_cast<std::size_t>(k)]) {
                const double p = spectrum.power[static_cast<std::size_t>(k)];
                power += p;
                ++count;
                if (p > highest) {
                    highest = p;
                    highestBin = k;
                }
            }
        }
        perBin = count > 0 ? power / count : 0.0;
        power /= spectrum.noiseBandwidthBins;
    };

    if (peak < 0 || spectrum.power[static_cast<std::size_t>(peak)] <= 0.0 ||
        spectrum.power[static_cast<std::size_t>(peak)] < ToneAboveMedian * median) {
        double unusedHighest = 0.0;
        int unusedBin = 0;
        double power = 0.0;
        noiseOfRest(power, tone.noiseFloorPower, unusedHighest, unusedBin);
        tone.noiseRms = std::sqrt(power);
        return tone;
    }
    tone.found = true;
    const double peakBin = InterpolatedPeakBin(spectrum, peak);
    tone.frequencyHz = peakBin * spectrum.binHz() * clock;
    tone.levelRms = std::sqrt(spectrum.power[static_cast<std::size_t>(peak)]) /
                    Response(spectrum, peakBin - peak);

    const BinSpan fundamentalSpan = LobeAround(spectrum, peakBin);
    const double fundamental = LobePower(spectrum, fundamentalSpan);
    take(fundamentalSpan);

    // Everything else but DC: harmonics and noise, before the harmonics are set apart.
    double rest = 0.0;
    double unusedPerBin = 0.0;
    double spur = 0.0;
    int spurBin = -1;
    noiseOfRest(rest, unusedPerBin, spur, spurBin);

    double harmonics = 0.0;
    for (int h = 2; h <= options.highestHarmonic; ++h) {
        const double at = peakBin * h;
        if (at + lobe >= bins - 1) {
            break;  // the harmonics from here on lie beyond Nyquist
        }
        const BinSpan span = LobeAround(spectrum, at);
        // Lobes that overlap the fundamental's or another harmonic's (a tone a few bins above
        // DC) count once.
        double power = 0.0;
        for (int k = span.first; k <= span.last; ++k) {
            if (!taken[static_cast<std::size_t>(k)]) {
                power += spectrum.power[static_cast<std::size_t>(k)];
            }
        }
        harmonics += power / spectrum.noiseBandwidthBins;
        take(span);
        ++tone.harmonics;
    }
    double noise = 0.0;
    double unusedHighest = 0.0;
    int unusedBin = 0;
    noiseOfRest(noise, tone.noiseFloorPower, unusedHighest, unusedBin);
    tone.noiseRms = std::sqrt(noise);

    tone.thdRatio = std::sqrt(harmonics / fundamental);
    tone.thdNoiseRatio = std::sqrt(rest / fundamental);
    tone.sinadDb = -Db(rest / fundamental);
    tone.snrDb = -Db(noise / fundamental);
    tone.sfdrDb = Db(tone.levelRms * tone.levelRms / std::max(spur, Tiny));
    tone.spurHz = spurBin >= 0 ? spurBin * spectrum.binHz() * clock : 0.0;
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
