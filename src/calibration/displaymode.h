#pragma once

#include <QString>
#include <array>
#include <optional>
#include <string_view>

#include "calibration/calibrationstate.h"
#include "measurement/blockmeasurement.h"
#include "measurement/displayparameters.h"

namespace veruziva {

// The calibrated display is in force when a calibration is (all ranges, or some) and RawDisplay
// is false; each channel then reads in volts or amperes on a range that is calibrated.
bool CalibratedDisplayInForce(const CalibrationState& state);
// Per channel (A, B): reads in volts or amperes on the ranges selected.
std::array<bool, 2> ChannelsCalibrated(const CalibrationState& state, RangeSelection ranges);

// Display parameters of both channels for one buffer. In the raw display, and on a channel
// whose range is not calibrated, the zero offsets used are 0 while the stored ones stay as they
// are, so that going back to the calibrated display reads as before.
DisplayParameters DeriveDisplayParameters(const CalibrationState& state, RangeSelection ranges);

// What one pass subtracts and how it accumulates, from the display and the AC boxes.
PassSettings MakePassSettings(const DisplayParameters& display, bool acA, bool acB);

// The "Raw"/"Cal" button: switches RawDisplay and gives the button's new caption, or nothing
// when the click changes nothing (raw display while no range is calibrated).
std::optional<std::string_view> RawDataClick(CalibrationState& state);

// A range button's tooltip: how and when its range was calibrated, or that it reads raw.
QString RangeToolTip(const CalibrationState& state, int range, Side side);

// The caption the button shows at start-up.
std::string_view RawDataCaptionAtStartup(const CalibrationState& state);

}  // namespace veruziva
