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
