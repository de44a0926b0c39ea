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
    state.AcFactor.fill(CalFactorPair{});
    state.Made.fill(RangeCalibrationPair{});
    state.StoredRanges.reset();
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

namespace {

template <typename Visit>
void ForEachRangeSide(Visit visit) {
    for (int r = FirstRange; r <= LastRange; ++r) {
        for (const Side side : {Side::Left, Side::Right}) {
            visit(r, side);
        }
    }
}

bool MadeInForce(const CalibrationState& state, int range, Side side) {
    return MadeOf(state.Made[range], side).method != CalibrationMethod::None &&
           FactorOf(state.CalFactor[range], side) > 0.0;
}

}  // namespace

bool RangeInForce(const CalibrationState& state, int range, Side side) {
    // A complete calibration holds on every range, however it was made.
    return FactorOf(state.CalFactor[range], side) > 0.0 &&
           (state.Calibrated || MadeOf(state.Made[range], side).method != CalibrationMethod::None);
}

bool AnyRangeInForce(const CalibrationState& state) {
    bool any = false;
    ForEachRangeSide([&](int r, Side side) { any = any || RangeInForce(state, r, side); });
    return any;
}

bool AllRangesInForce(const CalibrationState& state) {
    bool all = true;
    ForEachRangeSide([&](int r, Side side) { all = all && MadeInForce(state, r, side); });
    return all;
}

void ApplyRangeCalibrations(CalibrationState& state) {
    ForEachRangeSide([&](int r, Side side) {
        RangeCalibration& made = MadeOf(state.Made[r], side);
        double& factor = FactorOf(state.CalFactor[r], side);
        const double ac = FactorOf(state.AcFactor[r], side);
        switch (made.method) {
            case CalibrationMethod::Ac:
                // An AC record without its factor (a damaged file) leaves the range raw.
                factor = ac > 0.0 ? ac : 0.0;
                break;
            case CalibrationMethod::Dc:
                break;
            case CalibrationMethod::None:
                // A file of an earlier version records no method: its DC factors are what it
                // was calibrated with, on the device it names.
                if (factor > 0.0) {
                    made = {CalibrationMethod::Dc, 0, state.Device.SoundDeviceName};
                } else if (ac > 0.0) {
                    made = {CalibrationMethod::Ac, 0, state.Device.SoundDeviceName};
                    factor = ac;
                }
                break;
        }
    });
    state.Calibrated = AllRangesInForce(state);
}

void KeepCalibrationsOfDevice(CalibrationState& state, const std::string& deviceName) {
    ForEachRangeSide([&](int r, Side side) {
        RangeCalibration& made = MadeOf(state.Made[r], side);
        if (!made.device.empty() && !deviceName.empty() && made.device != deviceName) {
            made = RangeCalibration{};
        }
    });
    state.Calibrated = AllRangesInForce(state);
}

void ForgetRangesInForce(CalibrationState& state) {
    state.Made.fill(RangeCalibrationPair{});
    state.Calibrated = false;
}

void ApplyAcFactor(CalibrationState& state, int range, Side side, double factor,
                   std::int64_t madeAtMs, const std::string& device) {
    FactorOf(state.AcFactor[range], side) = factor;
    FactorOf(state.CalFactor[range], side) = factor;
    MadeOf(state.Made[range], side) = {CalibrationMethod::Ac, madeAtMs, device};
    state.Calibrated = AllRangesInForce(state);
}

void MarkDcCalibration(CalibrationState& state, std::int64_t madeAtMs, const std::string& device) {
    state.Made.fill(
        {{CalibrationMethod::Dc, madeAtMs, device}, {CalibrationMethod::Dc, madeAtMs, device}});
}

}  // namespace veruziva
