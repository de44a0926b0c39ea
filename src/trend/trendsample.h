#pragma once

#include <QString>
#include <array>
#include <cstdint>

#include "measurement/readings.h"

namespace veruziva {

// One measured block as the readouts show it: volts, amperes or raw ('V', 'A' or ' ').
struct TrendSample {
    TrendSample() = default;
    // The readings the trend charts and counts: each channel's reading, whether it clipped,
    // and its true RMS of the AC part; the table's other readings 0.
    TrendSample(std::int64_t ms, double a, double b, char unitOfA, char unitOfB,
                bool overloadA = false, bool overloadB = false, double rmsA = 0, double rmsB = 0,
                bool movedA = false, bool movedB = false)
        : msSinceEpoch(ms),
          unitA(unitOfA),
          unitB(unitOfB),
          levelMovedA(movedA),
          levelMovedB(movedB) {
        values[IndexOfMean] = {a, b};
        values[IndexOfOverload] = {overloadA ? 1.0 : 0.0, overloadB ? 1.0 : 0.0};
        values[IndexOfRms] = {rmsA, rmsB};
    }

    std::int64_t msSinceEpoch = 0;
    char unitA = ' ';
    char unitB = ' ';
    // Per reading of the table, channels A and B, each in its unit.
    std::array<std::array<double, 2>, ReadingCount> values{};
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
