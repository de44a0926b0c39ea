#pragma once

#include <cstddef>
#include <iterator>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "analysis/tonemeasurement.h"
#include "base/descriptortable.h"

namespace veruziva {

// What a bench scope measures on one channel's trace, in the channel's unit (volts or amperes
// through its ChannelScale, raw units while it reads raw) and in seconds, hertz or percent.
// A measurement the trace cannot give (no full period, no edge) is absent.
//
// Amplitudes, over every sample: maximum, minimum, peak-to-peak (maximum - minimum), mean, RMS
// (about zero) and AC RMS (about the mean).
//
// Transitions (IEEE 181): the low and high state levels are the modes of the histogram's lower
// and upper halves (256 bins from minimum to maximum, the mean of the samples in the fullest bin)
// where that bin holds a flat top: at least 5 % of its half's samples; else the minimum or the
// maximum (a triangle has no flat top; a sine's fullest bins are its peaks anyway). The mid
// reference level is halfway between them, the 10 % and 90 % reference levels are 10 % and 90 %
// of the way from low to high. A crossing of the mid level counts once the signal has gone from
// below mid - 10 % to above mid + 10 % of the span (or back): noise about an edge adds none. Its
// instant is that of the last mid crossing before the far side was reached, interpolated
// linearly between the two samples about it.
//
// Transitions need the high level at least MinTransitionSpan raw units (1/1024 of the range)
// above the low one: closer, the trace is taken for a line's hiss, whose crossings are no edges.
//
// Period: from the first to the last rising mid crossing (falling ones when there are fewer than
// two rising), divided by the periods between them; frequency its inverse. Positive width: the
// mean time from a rising to the next falling mid crossing, negative width the reverse; duty
// (+ and -): the width over the period, in %. Rise time: from the last 10 % crossing before a
// rising edge's mid crossing to the first 90 % crossing after it, averaged over the edges that
// get from one to the other between their neighbouring mid crossings; fall time the same from
// 90 % down to 10 %.
inline constexpr double MinTransitionSpan = 64.0;

struct WaveformMeasurement {
    std::size_t samples = 0;
    double maximum = 0.0;
    double minimum = 0.0;
    double mean = 0.0;
    double rms = 0.0;
    double acRms = 0.0;
    double low = 0.0;  // the state levels the transitions are measured between
    double high = 0.0;
    std::optional<double> period;  // seconds
    std::optional<double> positiveWidth;
    std::optional<double> negativeWidth;
    std::optional<double> riseTime;
    std::optional<double> fallTime;

    std::optional<double> frequency() const {
        return period ? std::optional(1.0 / *period) : std::nullopt;
    }
    // A width over the period, in %.
    std::optional<double> duty(const std::optional<double>& width) const {
        return width && period ? std::optional(100.0 * *width / *period) : std::nullopt;
    }
};

// Measures the samples (raw units) taken at `sampleRate` per second.
WaveformMeasurement MeasureWaveform(std::span<const double> samples, double sampleRate,
                                    const ChannelScale& scale = {});
// The same of a scope's trace, its samples as they are.
WaveformMeasurement MeasureWaveform(std::span<const float> samples, double sampleRate,
                                    const ChannelScale& scale = {});

// What a measurement is written in.
enum class WaveformUnit {
    Channel,  // the channel's: volts or amperes when scaled, raw units otherwise
    Hertz,
    Seconds,
    Percent,
};

// One automatic measurement of the scope.
struct WaveformDescriptor {
    std::string_view id;  // its name in the tool's options and its columns
    std::string_view caption;
    WaveformUnit unit;
    std::optional<double> (*measure)(const WaveformMeasurement&);
};

// Every measurement, in the order the tool prints them. A new one: what it needs in
// WaveformMeasurement and one line here.
inline constexpr WaveformDescriptor WaveformMeasurements[] = {
    {"max", "Maximum", WaveformUnit::Channel,
     [](const WaveformMeasurement& m) {
         return m.samples ? std::optional(m.maximum) : std::nullopt;
     }},
    {"min", "Minimum", WaveformUnit::Channel,
     [](const WaveformMeasurement& m) {
         return m.samples ? std::optional(m.minimum) : std::nullopt;
     }},
    {"pp", "Peak-to-peak", WaveformUnit::Channel,
     [](const WaveformMeasurement& m) {
         return m.samples ? std::optional(m.maximum - m.minimum) : std::nullopt;
     }},
    {"mean", "Mean", WaveformUnit::Channel,
     [](const WaveformMeasurement& m) { return m.samples ? std::optional(m.mean) : std::nullopt; }},
    {"rms", "RMS", WaveformUnit::Channel,
     [](const WaveformMeasurement& m) { return m.samples ? std::optional(m.rms) : std::nullopt; }},
    {"acrms", "AC RMS", WaveformUnit::Channel,
     [](const WaveformMeasurement& m) {
         return m.samples ? std::optional(m.acRms) : std::nullopt;
     }},
    {"freq", "Frequency", WaveformUnit::Hertz,
     [](const WaveformMeasurement& m) { return m.frequency(); }},
    {"period", "Period", WaveformUnit::Seconds,
     [](const WaveformMeasurement& m) { return m.period; }},
    {"duty+", "Positive duty", WaveformUnit::Percent,
     [](const WaveformMeasurement& m) { return m.duty(m.positiveWidth); }},
    {"duty-", "Negative duty", WaveformUnit::Percent,
     [](const WaveformMeasurement& m) { return m.duty(m.negativeWidth); }},
    {"width+", "Positive width", WaveformUnit::Seconds,
     [](const WaveformMeasurement& m) { return m.positiveWidth; }},
    {"width-", "Negative width", WaveformUnit::Seconds,
     [](const WaveformMeasurement& m) { return m.negativeWidth; }},
    {"rise", "Rise time", WaveformUnit::Seconds,
     [](const WaveformMeasurement& m) { return m.riseTime; }},
    {"fall", "Fall time", WaveformUnit::Seconds,
     [](const WaveformMeasurement& m) { return m.fallTime; }},
};

inline constexpr std::size_t WaveformMeasurementCount = std::size(WaveformMeasurements);

// A measurement's place in the table; the count when there is none of that id.
constexpr std::size_t WaveformMeasurementIndex(std::string_view id) {
    return IndexById(WaveformMeasurements, id);
}

// "V", "A", "raw", "Hz", "s" or "%".
std::string WaveformUnitText(WaveformUnit unit, const ChannelScale& scale);

// One measurement's figures over successive acquisitions; an absent value is not counted.
class MeasurementStatistics {
public:
    void add(std::optional<double> value);
    void reset() { *this = {}; }

    long long count() const { return m_count; }
    // Absent before the first value.
    std::optional<double> minimum() const;
    std::optional<double> maximum() const;
    std::optional<double> mean() const;

private:
    long long m_count = 0;
    double m_minimum = 0.0;
    double m_maximum = 0.0;
    double m_sum = 0.0;
};

}  // namespace veruziva
