#pragma once

#include <array>
#include <cstdint>
#include <optional>
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

// How one channel's range came to its factor: with known DC values on all ranges, or with a
// sine of known RMS on that range alone.
enum class CalibrationMethod { None, Dc, Ac };

// The calibration in force on one range of one channel, and when and where it was made.
struct RangeCalibration {
    CalibrationMethod method = CalibrationMethod::None;
    std::int64_t madeAtMs = 0;  // milliseconds since the epoch, UTC; 0 when not known
    std::string device;         // the input device's name; empty when not known
    bool operator==(const RangeCalibration&) const = default;
};

struct RangeCalibrationPair {
    RangeCalibration Left;
    RangeCalibration Right;
    bool operator==(const RangeCalibrationPair&) const = default;
};

// The channels, as the tables name them: A is left, B is right.
enum class Side { Left, Right };

// The range number (the tag of the range button that is down) of each channel.
struct RangeSelection {
    int a = FirstRange;
    int b = FirstRange;
    bool operator==(const RangeSelection&) const = default;
};

// The instrument's calibration and the remembered device settings: one instance, owned by
// whoever owns the instrument.
struct CalibrationState {
    std::int32_t ZeroLeft = 0;
    std::int32_t ZeroRight = 0;
    RangeTable<RawCalibrationRecord> RawCalibration;
    // The factor in force on each range: from the DC records, or the range's AC factor when
    // that was made later.
    RangeTable<CalFactorPair> CalFactor;
    bool Calibrated = false;
    bool RawDisplay = false;
    double CalibrationValue = 0.0;

    DeviceChoice Device;

    // Volts (amperes) RMS per raw RMS unit, from a sine of known RMS; 0.0 = none.
    RangeTable<CalFactorPair> AcFactor;
    // Which factor is in force on each range, and since when; None = the range reads raw.
    RangeTable<RangeCalibrationPair> Made;
    // The ranges the board was last set to, when stored.
    std::optional<RangeSelection> StoredRanges;
    // The sample clock's error in parts per million (0: none measured).
    double SampleClockPpm = 0.0;
};

template <typename T>
T& OfSide(T& left, T& right, Side side) {
    return side == Side::Left ? left : right;
}
inline double& FactorOf(CalFactorPair& pair, Side side) {
    return OfSide(pair.Left, pair.Right, side);
}
inline double FactorOf(const CalFactorPair& pair, Side side) {
    return side == Side::Left ? pair.Left : pair.Right;
}
inline RangeCalibration& MadeOf(RangeCalibrationPair& pair, Side side) {
    return OfSide(pair.Left, pair.Right, side);
}
inline const RangeCalibration& MadeOf(const RangeCalibrationPair& pair, Side side) {
    return side == Side::Left ? pair.Left : pair.Right;
}

// A range of one channel reads in volts or amperes: a calibration is in force on it.
bool RangeInForce(const CalibrationState& state, int range, Side side);
// Some range of some channel is calibrated: the range buttons and the calibrated display are
// usable.
bool AnyRangeInForce(const CalibrationState& state);
// All eight ranges are calibrated: the state Calibrated stands for.
bool AllRangesInForce(const CalibrationState& state);

// After the stored values are read and the DC factors derived: each range's later calibration
// in force (an AC factor made after the DC records replaces the DC factor), and DC factors of
// files that record no method marked as made by DC on the stored device. Calibrated follows.
void ApplyRangeCalibrations(CalibrationState& state);

// The input in use is `deviceName` (as stored): calibrations made on another device no longer
// hold, nor do any when `deviceName` is empty. Calibrated follows.
void KeepCalibrationsOfDevice(CalibrationState& state, const std::string& deviceName);

// Nothing in force (a change of input device): the tables stay, for the stored values.
void ForgetRangesInForce(CalibrationState& state);

// A calibration with a sine of known RMS on `range` of one channel: factor, when, where.
void ApplyAcFactor(CalibrationState& state, int range, Side side, double factor,
                   std::int64_t madeAtMs, const std::string& device);

// A completed DC calibration: all eight ranges in force by DC, made now on `device`.
void MarkDcCalibration(CalibrationState& state, std::int64_t madeAtMs, const std::string& device);

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
