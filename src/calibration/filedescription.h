#pragma once

#include <QString>
#include <array>
#include <optional>

#include "base/filemetadata.h"
#include "calibration/calibrationstate.h"

namespace veruziva {

// What a saved file was measured with, besides the calibration itself.
struct MeasurementContext {
    QString program;  // "Veruziva 0.1.0"
    QString device;   // the input device's name, or the recording read; empty when not known
    RangeSelection ranges;
    // Per channel (A, B): the line-in level is the one the calibration holds at; none when the
    // level was not looked at (a recording read from a file).
    std::optional<std::array<bool, 2>> levelAsCalibrated;
    bool rawDisplay = false;  // the readouts show raw units whatever is calibrated
};

// The lines a file carries: program, input device, sample rate and format; per channel its
// range and unit; each calibration in force (method, factor, when, on which device); per
// channel whether the level is still the calibrated one.
FileMetadata DescribeMeasurement(const CalibrationState& state, const MeasurementContext& context);

// Its first two lines alone, for a file drawn from readings measured elsewhere: program and
// source.
FileMetadata DescribeSource(const QString& program, const QString& source);

}  // namespace veruziva
