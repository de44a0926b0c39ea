#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "measurement/blockmeasurement.h"
#include "measurement/displayparameters.h"
#include "measurement/readings.h"

namespace veruziva {

// What the readouts of one channel show: the reading label, the frequency label and the
// level bar. The texts start as the window's layout shows them before the first block.
struct ChannelReadout {
    std::string readingText = "0  ";
    std::string frequencyText = "0 ";
    double reading = 0.0;
    std::int32_t barPosition = 0;
    double rms = 0.0;             // true RMS of the AC part, in the reading's units
    std::string rmsText = "0  ";  // formatted as the reading
    bool overloaded = false;
    // Every reading of the table in its unit, and the display they were taken in; the fields
    // above are the window's view of them.
    std::array<double, ReadingCount> values{};
    ChannelDisplay display;
};

struct Readouts {
    ChannelReadout a;
    ChannelReadout b;
    std::string decimalSeparator = ".";
};

// A reading of the table as the window and the tool write it. Written when asked for: a block
// writes only the texts that someone shows.
std::string ReadoutText(const Readouts& readouts, const ChannelReadout& channel,
                        std::size_t reading);

// The reading in fixed-point format (precision P, D decimals), the unit letter, one blank:
// "1.500V ", "12.50V ", "1234  ".
std::string ReadingText(double reading, const ChannelDisplay& display,
                        std::string_view decimalSeparator);

// The frequency cut to whole hertz in the general format and one blank ("440 "); "0 " when
// the channel's AC box is clear.
std::string FrequencyText(std::optional<double> frequency, std::string_view decimalSeparator);

// The reading of a channel: mean x K in the calibrated display, the mean itself otherwise.
double Reading(const ChannelMeasurement& measurement, const ChannelDisplay& display);

// The true RMS of a channel's AC part in the reading's units: volts or amperes in the calibrated
// display, raw units otherwise.
double RmsReading(const ChannelMeasurement& measurement, const ChannelDisplay& display);

// Writes one measured block into the readouts, A then B.
void ShowMeasurement(Readouts& readouts, const BlockMeasurement& measurement,
                     const DisplayParameters& display, std::string_view decimalSeparator);

}  // namespace veruziva
