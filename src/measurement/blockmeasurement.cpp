#include "measurement/blockmeasurement.h"

#include <cmath>

namespace veruziva::detail {

ChannelMeasurement ChannelAccumulator::finish(std::int32_t recordedFrames) const {
    ChannelMeasurement result;
    result.mean = m_accumulator / recordedFrames;
    result.maximum = m_maximum;
    result.minimum = m_minimum;
    result.peak = MaxAbs(m_maximum, m_minimum);
    result.barPosition = result.peak / 128;
    result.crossingCount = m_crossingCount;
    result.periodSum = m_periodSum;
    result.overloaded = m_maximum >= 32767 || m_minimum <= -32768;
    // The variance from exact integer sums: n*S2 - S1^2 (each at most 2^54 for 4096 frames)
    // loses nothing, unlike E[x^2] - E[x]^2 in floating point.
    const std::int64_t spread = std::int64_t{recordedFrames} * m_sumOfSquares - m_sum * m_sum;
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
