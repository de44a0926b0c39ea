#pragma once

#include <array>
#include <cmath>

#include "platform/captureformat.h"

namespace veruziva {

inline constexpr int ScopeDivisions = 10;

// The time bases offered, in seconds per division: a few samples per division up to seconds.
inline constexpr std::array<double, 16> TimeBaseSteps{
    20e-6, 50e-6, 100e-6, 200e-6, 500e-6, 1e-3,   2e-3, 5e-3,
    10e-3, 20e-3, 50e-3,  100e-3, 200e-3, 500e-3, 1.0,  2.0};

// From here on the trace rolls: a trigger would come too rarely to wait for.
inline constexpr double RollFromSecondsPerDivision = 0.2;

// The ring of frames holds the longest span.
inline constexpr double LongestSecondsPerDivision = TimeBaseSteps.back();

// The span's length in frames; not whole below a few samples per division. Rounded to a
// millionth, so that a decimal time base's whole span is not a hair above its frames.
inline double SpanFrames(double secondsPerDivision) {
    return std::round(secondsPerDivision * ScopeDivisions * SampleRate * 1e6) / 1e6;
}

inline bool Rolls(double secondsPerDivision) {
    return secondsPerDivision >= RollFromSecondsPerDivision;
}

// Samples an acquisition holds: the span and one beyond each edge, so that lines reach both.
inline int SpanSamples(double spanFrames) {
    return static_cast<int>(std::ceil(spanFrames)) + 2;
}

}  // namespace veruziva
