#pragma once

#include <optional>
#include <string>
#include <vector>

#include "analysis/spectrum.h"

namespace veruziva {

// The RMS of a sine whose peaks just reach the converter's full scale: 0 dBFS (AES17).
inline constexpr double FullScaleRms = 32768.0 / 1.4142135623730951;

// How a channel's raw units become volts or amperes: its calibration's factor per raw unit, or
// none (0) while its range reads raw.
struct ChannelScale {
    double factor = 0.0;
    char unit = 'V';    // 'V' or 'A'
    double zero = 0.0;  // the channel's zero offset in raw units, taken from the DC when scaled
    bool calibrated() const { return factor > 0.0; }
};

struct ToneOptions {
    // Where to look for the fundamental (the highest peak within a few bins of it); none: the
    // highest peak above DC.
    std::optional<double> fundamentalHz;
    // Harmonics 2 to this (or to Nyquist) make the THD.
    int highestHarmonic = 10;
    // The sample clock's error, parts per million: frequencies read are scaled by 1 + ppm/1e6.
    double clockPpm = 0.0;
};

// What a spectrum says of the sine it holds, in the spectrum's units (raw until scaled). Ratios
// follow IEEE 1241 and AES17: THD = harmonics 2..H over the fundamental (RMS ratio); THD+N =
// everything but DC and the fundamental over the fundamental; SINAD = 1 / THD+N; SNR =
// fundamental over everything but DC, the fundamental and harmonics 2..H; SFDR = fundamental
// over the highest other bin. Each part's power is the sum over its lobe's bins divided by the
// window's noise bandwidth, so sines and noise both read their true power.
struct ToneMeasurements {
    bool found = false;          // a tone stands out of the spectrum
    double frequencyHz = 0.0;    // interpolated between bins, clock corrected
    double levelRms = 0.0;       // the fundamental's RMS (the window's scalloping corrected)
    double dc = 0.0;             // the span's mean
    double thdRatio = 0.0;       // harmonics' RMS / fundamental's RMS
    double thdNoiseRatio = 0.0;  // (harmonics + noise) RMS / fundamental's RMS
    double snrDb = 0.0;
    double sinadDb = 0.0;
    double sfdrDb = 0.0;           // dBc
    double spurHz = 0.0;           // where the highest spur is
    double noiseRms = 0.0;         // everything but DC, fundamental and harmonics
    double noiseFloorPower = 0.0;  // the mean noise power per bin (the floor a plot shows)
    int harmonics = 0;             // harmonics below Nyquist that were counted
};

ToneMeasurements MeasureTone(const Spectrum& spectrum, const ToneOptions& options = {});

// The interpolated frequency of the peak at `bin` (fractional bins), from the window's response.
double InterpolatedPeakBin(const Spectrum& spectrum, int bin);

// One reading as the tool prints it (`key=value`) and the analyzer lists it (caption, text).
struct ToneField {
    std::string key;      // "frequency_hz", "thd_db", ...: units in the name
    std::string caption;  // "Frequency", "THD", ...
    double value = 0.0;
    std::string text;  // the value with its unit, as the analyzer shows it
};

// The readings of one channel in a fixed order: frequency, level (dBFS; V/A RMS and dBV/dBA
// when scaled), THD (% and dB), THD+N (% and dB), SNR, SINAD, SFDR, noise floor, DC. None when
// no tone was found but the noise and DC.
std::vector<ToneField> ToneFields(const ToneMeasurements& tone, const Spectrum& spectrum,
                                  const ChannelScale& scale);

// A spectrum bin's power as a level: dBFS while raw, dBV (dBA) when scaled; and as RMS in volts.
double PowerToDb(double power, const ChannelScale& scale);
double PowerToRms(double power, const ChannelScale& scale);

// Sample clock: the correction that makes `measuredHz` (read at the nominal rate, uncorrected)
// read `referenceHz`.
double ClockPpmFor(double measuredHz, double referenceHz);
// Corrections beyond this are a wrong reference, not a crystal.
inline constexpr double MaxClockPpm = 2000.0;

}  // namespace veruziva
