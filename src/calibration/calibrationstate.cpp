#include "calibration/calibrationstate.h"

#include <limits>

namespace veruziva {

double RangeFullScale(int range) {
    static constexpr std::array<double, RangeCount> FullScale{0.3, 3.0, 30.0, 3.0};
    if (range < FirstRange || range > LastRange) {
        throw RangeCheckError();
    }
    return FullScale[static_cast<std::size_t>(range - FirstRange)];
}

void ApplyStartupDefaults(CalibrationState& state) {
    state.CalFactor.fill(CalFactorPair{});
    state.Device.SoundDevice = 0;
    state.Device.MixerIndex = 0;
    state.Device.LineIn = -1;
    state.Device.SoundDeviceName.clear();
    state.ZeroLeft = 0;
    state.ZeroRight = 0;
}

double DeriveCalFactor(std::int32_t rawValue, std::int32_t rawFactor, std::int32_t zero) {
    // The divisor is a 32-bit quantity; one that is zero or does not fit gives no factor,
    // so a damaged store can never make the instrument look calibrated.
    const std::int64_t difference = std::int64_t{rawFactor} - zero;
    const std::int64_t divisor = (difference < 0 ? -difference : difference) * 10000;
    if (divisor == 0 || divisor > std::numeric_limits<std::int32_t>::max()) {
        return 0.0;
    }
    return static_cast<double>(rawValue) / static_cast<double>(divisor);
}

void DeriveCalFactors(CalibrationState& state) {
    bool allStored = true;
    for (int r = FirstRange; r <= LastRange; ++r) {
        allStored = allStored && state.RawCalibration[r].RawValue != 0;
    }
    if (allStored) {
        for (int r = FirstRange; r <= LastRange; ++r) {
            const RawCalibrationRecord& record = state.RawCalibration[r];
            state.CalFactor[r].Left =
                DeriveCalFactor(record.RawValue, record.RawFactorLeft, state.ZeroLeft);
            state.CalFactor[r].Right =
                DeriveCalFactor(record.RawValue, record.RawFactorRight, state.ZeroRight);
        }
    }
    state.Calibrated = AllFactorsPositive(state);
}

bool AllFactorsPositive(const CalibrationState& state) {
    for (int r = FirstRange; r <= LastRange; ++r) {
        if (!(state.CalFactor[r].Left > 0.0) || !(state.CalFactor[r].Right > 0.0)) {
            return false;
        }
    }
    return true;
}

}  // namespace veruziva
