#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "base/descriptortable.h"
#include "measurement/blockmeasurement.h"
#include "measurement/displayparameters.h"

namespace veruziva {

// How a reading's value is scaled and written.
enum class UnitRule {
    Scaled,  // the reading's unit: x K (volts, amperes) when calibrated, raw otherwise; written
             // as the reading is ("1.500V ", "1234  ")
    Hertz,   // whole hertz in the general format and a blank ("440 "); 0 with the AC box clear
    Whole,   // a whole number ("255", "1")
};

// Where a reading shows when nothing names it.
enum ReadingShown : unsigned {
    ShownNowhere = 0,
    ShownInTool = 1,   // the meter tool's columns
    ShownInTrend = 2,  // the trend: kept with every block, in its statistics
};

// One reading of a channel, taken from the block's one measurement pass.
struct ReadingDescriptor {
    std::string_view id;      // its name in the tool's options
    std::string_view column;  // its columns in the tool: column + "A", column + "B"
    std::string_view name;    // what it is, for the tool's help
    UnitRule unit;
    double (*measure)(const ChannelMeasurement&);  // before the unit rule
    unsigned shown;                                // ReadingShown flags
};

// Every reading, in the order of the tool's columns. A new reading: its measurement in
// ChannelMeasurement and one line here.
inline constexpr ReadingDescriptor Readings[] = {
    {"mean", "", "the mean reading", UnitRule::Scaled,
     [](const ChannelMeasurement& m) { return static_cast<double>(m.mean); },
     ShownInTool | ShownInTrend},
    {"freq", "f", "the frequency", UnitRule::Hertz,
     [](const ChannelMeasurement& m) { return m.frequency.value_or(0.0); }, ShownInTool},
    {"bar", "bar", "the level bar's position", UnitRule::Whole,
     [](const ChannelMeasurement& m) { return static_cast<double>(m.barPosition); }, ShownInTool},
    {"rms", "rms", "the true RMS of the AC part", UnitRule::Scaled,
     [](const ChannelMeasurement& m) { return m.acRms; }, ShownInTrend},
    {"over", "over", "1 where the block clipped, else 0", UnitRule::Whole,
     [](const ChannelMeasurement& m) { return m.overloaded ? 1.0 : 0.0; }, ShownInTrend},
    {"pp", "pp", "peak-to-peak (highest minus lowest)", UnitRule::Scaled,
     [](const ChannelMeasurement& m) { return static_cast<double>(m.peakToPeak); }, ShownNowhere},
};

inline constexpr std::size_t ReadingCount = std::size(Readings);

// A reading's place in the table; the count when there is none of that id.
constexpr std::size_t ReadingIndex(std::string_view id) {
    return IndexById(Readings, id);
}

// The readings that the window's readouts and the trend name.
inline constexpr std::size_t IndexOfMean = ReadingIndex("mean");
inline constexpr std::size_t IndexOfFrequency = ReadingIndex("freq");
inline constexpr std::size_t IndexOfBar = ReadingIndex("bar");
inline constexpr std::size_t IndexOfRms = ReadingIndex("rms");
inline constexpr std::size_t IndexOfOverload = ReadingIndex("over");
static_assert(IndexOfMean < ReadingCount && IndexOfFrequency < ReadingCount &&
              IndexOfBar < ReadingCount && IndexOfRms < ReadingCount &&
              IndexOfOverload < ReadingCount);

// A reading's value in its unit, per the display of its channel.
double ReadingValue(const ReadingDescriptor& reading, const ChannelMeasurement& measurement,
                    const ChannelDisplay& display);

// The value as the window and the tool write it.
std::string ReadingValueText(const ReadingDescriptor& reading, double value,
                             const ChannelDisplay& display, std::string_view decimalSeparator);

}  // namespace veruziva
