#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "calibration/calibrationstate.h"

namespace veruziva {

class MessageBoxes;
class SettingsStore;

// The 17 stored values in the order in which they are written and read. The names are exact,
// blanks included: two after "Raw Value", and "30 V" with a blank.
inline constexpr std::array<const char*, 17> StoredValueNames{"Sound device",
                                                              "Mixer",
                                                              "LINE IN",
                                                              "Zero left",
                                                              "Zero right",
                                                              "Raw Value  0.3V",
                                                              "Raw Value  3.0V",
                                                              "Raw Value  30 V",
                                                              "Raw Value  3.0A",
                                                              "Raw Factor 0.3V left",
                                                              "Raw Factor 3.0V left",
                                                              "Raw Factor 30 V left",
                                                              "Raw Factor 3.0A left",
                                                              "Raw Factor 0.3V right",
                                                              "Raw Factor 3.0V right",
                                                              "Raw Factor 30 V right",
                                                              "Raw Factor 3.0A right"};

// Stored after the 17: the name of the device whose number is "Sound device", so that a
// calibration is never applied to another input that has come to bear that number.
inline constexpr const char* SoundDeviceNameValue = "Sound device name";

// Stored after the device's name, per range and channel: the AC factor (a decimal text), how
// the range was calibrated ("DC" or "AC"), when (ISO 8601, UTC) and on which input device; and
// the ranges the board was last set to. Files without them mean what they always meant.
QString AcFactorValueName(int range, Side side);
QString MethodValueName(int range, Side side);
QString MadeAtValueName(int range, Side side);
QString MadeOnValueName(int range, Side side);
inline constexpr const char* RangeLeftValue = "Range left";
inline constexpr const char* RangeRightValue = "Range right";
// Last, the sample clock's error in parts per million (a decimal text), as the analyzer
// measured it against a reference; it corrects the analyzer's frequencies only.
inline constexpr const char* SampleClockValue = "Sample clock ppm";
inline constexpr double MaxStoredClockPpm = 2000.0;

// Highest device number a stored "Sound device" may name (device counts are 8-bit).
inline constexpr std::int32_t MaxStoredSoundDevice = 254;

// Reads every stored value that exists into the state, in table order, then the device name. A
// value that is not an integer is reported ("Invalid data type for '<name>'") and skipped; a "Sound
// device" outside 0 to MaxStoredSoundDevice is skipped. A store that cannot be opened changes
// nothing.
void LoadSettings(SettingsStore& store, CalibrationState& state, MessageBoxes& boxes);

// Writes all 17 values in table order, then the device name (SoundDeviceName); "Sound device"
// is written from `selectedDevice`, the entry selected in the device box. The first value that
// cannot be written is reported
// ("Failed to set data for '<name>'") and ends the save. True when everything was written.
bool SaveSettings(SettingsStore& store, const CalibrationState& state, std::int32_t selectedDevice,
                  MessageBoxes& boxes);

// The device values ("Sound device" from `selectedDevice`, "Mixer", "LINE IN", the device's
// name) and every range's calibration that is in force, after a calibration with a sine; the
// DC records stay as stored. Reported and ended at the first failed write, as SaveSettings.
bool SaveAcCalibration(SettingsStore& store, const CalibrationState& state,
                       std::int32_t selectedDevice, MessageBoxes& boxes);

// The ranges the board is set to, whenever they change.
bool SaveRanges(SettingsStore& store, RangeSelection ranges, MessageBoxes& boxes);

// The sample clock's correction, as the analyzer's clock calibration stores it.
bool SaveSampleClock(SettingsStore& store, double ppm, MessageBoxes& boxes);

// The start-up sequence of the calibration: defaults, the stored values, the derived factors
// and Calibrated, each range's later calibration in force.
void LoadCalibrationAtStartup(SettingsStore& store, CalibrationState& state, MessageBoxes& boxes);

QString InvalidDataTypeText(const QString& name);
QString FailedToSetDataText(const QString& name);

}  // namespace veruziva
