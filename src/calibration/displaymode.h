#pragma once

#include <optional>
#include <string_view>

#include "calibration/calibrationstate.h"
#include "measurement/blockmeasurement.h"
#include "measurement/displayparameters.h"

namespace veruziva {

// The range number (the tag of the range button that is down) of each channel.
struct RangeSelection {
    int a = FirstRange;
    int b = FirstRange;
};

// The calibrated display is in force when Calibrated is true and RawDisplay false.
bool CalibratedDisplayInForce(const CalibrationState& state);

// Display parameters of both channels for one buffer. In the raw display the zero offsets
// used are 0 while the stored ones stay as they are, so that going back to the calibrated
// display reads as before.
DisplayParameters DeriveDisplayParameters(const CalibrationState& state, RangeSelection ranges);

// What one pass subtracts and how it accumulates, from the display and the AC boxes.
PassSettings MakePassSettings(const DisplayParameters& display, bool acA, bool acB);

// The "Raw"/"Cal" button: switches RawDisplay and gives the button's new caption, or nothing
// when the click changes nothing (raw display while not calibrated).
std::optional<std::string_view> RawDataClick(CalibrationState& state);

// The caption the button shows at start-up.
std::string_view RawDataCaptionAtStartup(const CalibrationState& state);

}  // namespace veruziva
