#pragma once

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <span>

#include "measurement/levelsums.h"
#include "platform/captureformat.h"
#include "platform/runtimeerror.h"

namespace veruziva {

// What one pass needs per channel: the AC box and the zero offset subtracted in the display
// in force.
struct ChannelPassSettings {
    bool ac = true;
    std::int32_t zero = 0;
};

struct PassSettings {
    ChannelPassSettings a;
    ChannelPassSettings b;
};

// Result of one pass over a block, per channel.
struct ChannelMeasurement {
    std::int64_t mean = 0;     // accumulator div recorded frames, truncated toward zero
    std::int32_t maximum = 0;  // the extremes with 0 among them: the bar's and the scope's
    std::int32_t minimum = 0;
    std::int32_t peak = 0;         // largest magnitude of any raw sample, 0 to 32768
    std::int32_t peakToPeak = 0;   // highest raw sample minus the lowest, 0 to 65535
    std::int32_t barPosition = 0;  // peak div 128, 0 to 256
    std::int32_t crossingCount = -1;
    std::uint32_t periodSum = 0;
    std::optional<double> frequency;  // whole hertz; absent when the AC box is clear
    double acRms = 0.0;               // RMS about the block's mean, in raw units
    bool overloaded = false;          // a sample at the card's limit, -32768 or 32767
};

struct BlockMeasurement {
    ChannelMeasurement a;
    ChannelMeasurement b;
};

// The larger of the two magnitudes.
constexpr std::int32_t MaxAbs(std::int32_t a, std::int32_t b) {
    const std::int32_t magnitudeA = a < 0 ? -a : a;
    const std::int32_t magnitudeB = b < 0 ? -b : b;
    return magnitudeA > magnitudeB ? magnitudeA : magnitudeB;
}

// A plotter that draws nothing: the measurement alone pays nothing for the scope.
struct NoPlot {
    void operator()(std::int32_t /*frame*/, std::int16_t /*a*/, std::int16_t /*b*/) const {}
};

namespace detail {

// Working values of one channel during a pass.
class ChannelAccumulator {
public:
    ChannelAccumulator(ChannelPassSettings settings, std::int16_t startSample)
        : m_ac(settings.ac), m_zero(settings.zero), m_previous(startSample) {}

    // The extremes, sums and squares are the LevelSums' (taken for both channels at once).
    void add(std::int16_t sample) {
        const std::int32_t x = sample;
        // Rising zero crossing on raw samples: no offset, no hysteresis.
        if (x >= 0 && m_previous < 0) {
            m_periodSum += m_sinceCrossing;
            ++m_crossingCount;
            m_seenCrossing = true;
            m_sinceCrossing = 1;
        } else if (m_seenCrossing) {
            ++m_sinceCrossing;
        }
        m_previous = x;
        const std::int64_t corrected = std::int64_t{x} - m_zero;
        m_accumulator += m_ac ? std::llabs(corrected) : corrected;
    }

    ChannelMeasurement finish(std::int32_t recordedFrames, const ChannelLevels& levels) const;

private:
    bool m_ac;
    std::int64_t m_zero;
    std::int64_t m_accumulator = 0;
    std::int32_t m_crossingCount = -1;
    std::uint32_t m_periodSum = 0;
    std::uint16_t m_sinceCrossing = 0;
    bool m_seenCrossing = false;
    std::int32_t m_previous;
};

}  // namespace detail

// One pass over the recorded frames of a block: readings, peaks and zero crossings, and
// `plot(i, a, b)` for every frame i after it has been measured, so that the scope draws in
// the same loop. Crossings are counted over the whole block from frame 0, whatever frame the
// scope's trace starts at: a reading never depends on a display control. The block must hold
// at least one frame and at most FramesPerBuffer.
template <typename Plot>
BlockMeasurement MeasureBlock(std::span<const StereoFrame> frames, const PassSettings& settings,
                              Plot&& plot) {
    if (frames.empty() || frames.size() > static_cast<std::size_t>(FramesPerBuffer)) {
        throw RangeCheckError();
    }
    const StereoFrame first = frames.front();
    detail::ChannelAccumulator a(settings.a, first.a);
    detail::ChannelAccumulator b(settings.b, first.b);
    detail::LevelSums levels(first);
    const auto count = static_cast<std::int32_t>(frames.size());
    const auto each = [&](std::int32_t i) {
        const StereoFrame frame = frames[static_cast<std::size_t>(i)];
        a.add(frame.a);
        b.add(frame.b);
        plot(i, frame.a, frame.b);
    };
    std::int32_t i = 0;
    for (; i + 4 <= count; i += 4) {
        levels.addFour(&frames[static_cast<std::size_t>(i)]);
        each(i);
        each(i + 1);
        each(i + 2);
        each(i + 3);
    }
    for (; i < count; ++i) {
        levels.addOne(frames[static_cast<std::size_t>(i)]);
        each(i);
    }
    const std::array<detail::ChannelLevels, 2> level = levels.finish();
    return {a.finish(count, level[0]), b.finish(count, level[1])};
}

BlockMeasurement MeasureBlock(std::span<const StereoFrame> frames, const PassSettings& settings);

}  // namespace veruziva
