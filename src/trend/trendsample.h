#pragma once

#include <QString>
#include <cstdint>

namespace veruziva {

// One measured block as the readouts show it: volts, amperes or raw ('V', 'A' or ' ').
struct TrendSample {
    std::int64_t msSinceEpoch = 0;
    double a = 0;
    double b = 0;
    char unitA = ' ';
    char unitB = ' ';
    bool overloadA = false;  // the block clipped on that channel
    bool overloadB = false;
    // The block's true RMS of each channel's AC part, in the reading's unit.
    double rmsA = 0;
    double rmsB = 0;
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
