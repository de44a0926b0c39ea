#pragma once

#include <QString>
#include <array>
#include <cstdint>

#include "measurement/readings.h"

namespace veruziva {

// The readings of the table that the trend keeps, in its order: those it shows.
inline constexpr std::size_t TrendReadingCount = [] {
    std::size_t count = 0;
    for (const ReadingDescriptor& reading : Readings) {
        count += (reading.shown & ShownInTrend) != 0 ? 1 : 0;
    }
    return count;
}();
inline constexpr std::array<std::size_t, TrendReadingCount> TrendReadings = [] {
    std::array<std::size_t, TrendReadingCount> kept{};
    std::size_t k = 0;
    for (std::size_t i = 0; i < ReadingCount; ++i) {
        if ((Readings[i].shown & ShownInTrend) != 0) {
            kept[k++] = i;
        }
    }
    return kept;
}();

// A reading's place among the trend's; TrendReadingCount for one it does not keep.
constexpr std::size_t TrendSlot(std::size_t reading) {
    std::size_t k = 0;
    while (k < TrendReadingCount && TrendReadings[k] != reading) {
        ++k;
    }
    return k;
}

// The trend charts the reading, counts the blocks that clipped and takes the signal's RMS.
inline constexpr std::size_t TrendMean = TrendSlot(IndexOfMean);
inline constexpr std::size_t TrendOverload = TrendSlot(IndexOfOverload);
inline constexpr std::size_t TrendRms = TrendSlot(IndexOfRms);
static_assert(TrendMean < TrendReadingCount && TrendOverload < TrendReadingCount &&
              TrendRms < TrendReadingCount);

// One measured block as the readouts show it: volts, amperes or raw ('V', 'A' or ' ').
struct TrendSample {
    TrendSample() = default;
    // The readings the trend charts and counts: each channel's reading, whether it clipped,
    // and its true RMS of the AC part; any other the trend keeps 0.
    TrendSample(std::int64_t ms, double a, double b, char unitOfA, char unitOfB,
                bool overloadA = false, bool overloadB = false, double rmsA = 0, double rmsB = 0,
                bool movedA = false, bool movedB = false)
        : msSinceEpoch(ms),
          unitA(unitOfA),
          unitB(unitOfB),
          levelMovedA(movedA),
          levelMovedB(movedB) {
        values[TrendMean] = {a, b};
        values[TrendOverload] = {overloadA ? 1.0 : 0.0, overloadB ? 1.0 : 0.0};
        values[TrendRms] = {rmsA, rmsB};
    }

    std::int64_t msSinceEpoch = 0;
    char unitA = ' ';
    char unitB = ' ';
    // Per reading the trend keeps (TrendReadings), channels A and B, each in its unit.
    std::array<std::array<double, 2>, TrendReadingCount> values{};
    // The channel was read at a line-in level moved from the one its calibration holds at:
    // the reading is not valid.
    bool levelMovedA = false;
    bool levelMovedB = false;
};

// Where the unit or the scale changed: a calibration, a range change, Raw/Cal.
struct TrendMarker {
    std::int64_t msSinceEpoch = 0;
    QString text;
};

enum class TrendChannel { A = 0, B = 1 };

}  // namespace veruziva
