#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "capture/devicechoice.h"
#include "platform/runtimeerror.h"

namespace veruziva {

// Ranges of the switch board, numbered as the range buttons' tags.
inline constexpr int FirstRange = 1;
inline constexpr int LastRange = 4;
inline constexpr int RangeCount = 4;
inline constexpr int AmpereRange = 4;

// A table indexed by range number 1 to 4; any other index is a range check error.
template <typename T>
class RangeTable {
public:
    T& operator[](int range) { return m_items[Index(range)]; }
    const T& operator[](int range) const { return m_items[Index(range)]; }
    void fill(const T& value) { m_items.fill(value); }
    bool operator==(const RangeTable&) const = default;

private:
    static std::size_t Index(int range) {
        if (range < FirstRange || range > LastRange) {
            throw RangeCheckError();
        }
        return static_cast<std::size_t>(range - FirstRange);
    }
    std::array<T, RangeCount> m_items{};
};

// Full-scale value of each range: 0.3 V, 3 V, 30 V, 3 A.
double RangeFullScale(int range);

// What a calibration measured for one range: the value applied (in 0.1 mV or 0.1 mA) and each
// channel's mean raw reading meanwhile, zero offset not subtracted. The mean keeps its sign, so
// that an inverting input reads after a restart what it read when it was calibrated; files of
// earlier versions hold its magnitude, which is the same for the usual, positive mean.
struct RawCalibrationRecord {
    std::int32_t RawValue = 0;
    std::int32_t RawFactorLeft = 0;
    std::int32_t RawFactorRight = 0;
    bool operator==(const RawCalibrationRecord&) const = default;
};

// Volts (ranges 1 to 3) or amperes (range 4) per raw unit; 0.0 = not calibrated.
struct CalFactorPair {
    double Left = 0.0;
    double Right = 0.0;
    bool operator==(const CalFactorPair&) const = default;
};

// The instrument's calibration and the remembered device settings: one instance, owned by
// whoever owns the instrument.
struct CalibrationState {
    std::int32_t ZeroLeft = 0;
    std::int32_t ZeroRight = 0;
    RangeTable<RawCalibrationRecord> RawCalibration;
    RangeTable<CalFactorPair> CalFactor;
    bool Calibrated = false;
    bool RawDisplay = false;
    double CalibrationValue = 0.0;

    DeviceChoice Device;
};

// The flags the choice of device reads and clears.
inline CalibrationFlags FlagsOf(CalibrationState& state) {
    return {state.Calibrated, state.RawDisplay};
}

// Start-up steps 1 and 2: factors cleared, device settings and zero offsets at their defaults.
// The raw calibration records are left as they are.
void ApplyStartupDefaults(CalibrationState& state);

// One factor from a stored record: rawValue / (|rawFactor - zero| x 10000), the factor the
// calibration itself computed from the zero-corrected mean. A difference of zero, or a divisor
// that does not fit 32 bits, derives no factor (0.0).
double DeriveCalFactor(std::int32_t rawValue, std::int32_t rawFactor, std::int32_t zero);

// Start-up steps 4 and 5: when all four ranges hold a stored value, derive the eight factors
// from the stored records; then Calibrated is true exactly when all eight are above 0.0.
void DeriveCalFactors(CalibrationState& state);

// All eight factors greater than 0.0.
bool AllFactorsPositive(const CalibrationState& state);

}  // namespace veruziva
