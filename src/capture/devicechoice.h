#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace veruziva {

// The input device the capture opens, its mixer and the mixer's line-in source, as chosen at
// start-up or by the user and stored beside a calibration.
struct DeviceChoice {
    std::int32_t SoundDevice = 0;
    std::int32_t MixerIndex = 0;
    std::int32_t LineIn = -1;
    // The name of the input device the stored calibration was made on; empty when unknown (a
    // file of an earlier version).
    std::string SoundDeviceName;
    bool operator==(const DeviceChoice&) const = default;
};

// What the choice of device reads and clears of the calibration: a calibration holds only on
// the device it was made on.
struct CalibrationFlags {
    bool& calibrated;
    bool& rawDisplay;
};

// A device name as stored and compared: control characters as blanks, no blanks around it.
std::string StoredDeviceName(std::string_view name);

}  // namespace veruziva
