#include "calibration/displaymode.h"

namespace veruziva {
namespace {

ChannelDisplay CalibratedChannel(double factor, int range, std::int32_t zero) {
    ChannelDisplay display;
    display.calibrated = true;
    display.factor = factor;
    // A signal at the range's full scale spans 120 scope pixels.
    display.scopeFactor = 120.0 * factor / RangeFullScale(range);
    display.precision = 4;
    display.decimals = range == 3 ? 2 : 3;
    display.unitLetter = range >= AmpereRange ? 'A' : 'V';
    display.zero = zero;
    return display;
}

}  // namespace

bool CalibratedDisplayInForce(const CalibrationState& state) {
    return state.Calibrated && !state.RawDisplay;
}

DisplayParameters DeriveDisplayParameters(const CalibrationState& state, RangeSelection ranges) {
    if (!CalibratedDisplayInForce(state)) {
        return {};  // raw: G = 1/128, P = 5, D = 0, blank unit letters, zero offsets 0
    }
    return {CalibratedChannel(state.CalFactor[ranges.a].Left, ranges.a, state.ZeroLeft),
            CalibratedChannel(state.CalFactor[ranges.b].Right, ranges.b, state.ZeroRight)};
}

PassSettings MakePassSettings(const DisplayParameters& display, bool acA, bool acB) {
    return {{acA, display.a.zero}, {acB, display.b.zero}};
}

std::optional<std::string_view> RawDataClick(CalibrationState& state) {
    if (!state.RawDisplay) {
        state.RawDisplay = true;
        return "Raw";
    }
    if (state.Calibrated) {
        state.RawDisplay = false;
        return "Cal";
    }
    return std::nullopt;
}

std::string_view RawDataCaptionAtStartup(const CalibrationState& state) {
    return state.Calibrated ? "Cal" : "Raw";
}

}  // namespace veruziva
