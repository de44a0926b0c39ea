#include "measurement/blockmeasurement.h"

#include <algorithm>
#include <cmath>

namespace veruziva::detail {

ChannelMeasurement ChannelAccumulator::finish(std::int32_t recordedFrames,
                                              const ChannelLevels& levels) const {
    ChannelMeasurement result;
    result.mean = m_accumulator / recordedFrames;
    result.maximum = std::max(levels.maximum, 0);
    result.minimum = std::min(levels.minimum, 0);
    result.peakToPeak = levels.maximum - levels.minimum;
    result.peak = MaxAbs(result.maximum, result.minimum);
    result.barPosition = result.peak / 128;
    result.crossingCount = m_crossingCount;
    result.periodSum = m_periodSum;
    result.overloaded = result.maximum >= 32767 || result.minimum <= -32768;
    // The variance from exact integer sums: n*S2 - S1^2 (each at most 2^54 for 4096 frames)
    // loses nothing, unlike E[x^2] - E[x]^2 in floating point.
    const std::int64_t spread =
        std::int64_t{recordedFrames} * levels.sumOfSquares - levels.sum * levels.sum;
    result.acRms = std::sqrt(static_cast<double>(spread)) / recordedFrames;
    if (m_ac) {
        // Whole periods between the first and the last rising crossing over their duration.
        double frequency = 0.0;
        if (m_crossingCount > 0) {
            frequency = double{SampleRate} * m_crossingCount / m_periodSum;
        }
        result.frequency = std::trunc(frequency);
    }
    return result;
}

}  // namespace veruziva::detail

namespace veruziva {

BlockMeasurement MeasureBlock(std::span<const StereoFrame> frames, const PassSettings& settings) {
    return MeasureBlock(frames, settings, NoPlot{});
}

}  // namespace veruziva
