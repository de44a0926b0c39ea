#include "calibration/displaymode.h"

#include <QDateTime>

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
    return (state.Calibrated || AnyRangeInForce(state)) && !state.RawDisplay;
}

std::array<bool, 2> ChannelsCalibrated(const CalibrationState& state, RangeSelection ranges) {
    const bool display = CalibratedDisplayInForce(state);
    return {display && RangeInForce(state, ranges.a, Side::Left),
            display && RangeInForce(state, ranges.b, Side::Right)};
}

DisplayParameters DeriveDisplayParameters(const CalibrationState& state, RangeSelection ranges) {
    // Raw: G = 1/128, P = 5, D = 0, blank unit letter, zero offset 0.
    DisplayParameters display;
    const std::array<bool, 2> calibrated = ChannelsCalibrated(state, ranges);
    if (calibrated[0]) {
        display.a = CalibratedChannel(state.CalFactor[ranges.a].Left, ranges.a, state.ZeroLeft);
    }
    if (calibrated[1]) {
        display.b = CalibratedChannel(state.CalFactor[ranges.b].Right, ranges.b, state.ZeroRight);
    }
    return display;
}

PassSettings MakePassSettings(const DisplayParameters& display, bool acA, bool acB) {
    return {{acA, display.a.zero}, {acB, display.b.zero}};
}

std::optional<std::string_view> RawDataClick(CalibrationState& state) {
    if (!state.RawDisplay) {
        state.RawDisplay = true;
        return "Raw";
    }
    if (state.Calibrated || AnyRangeInForce(state)) {
        state.RawDisplay = false;
        return "Cal";
    }
    return std::nullopt;
}

QString RangeToolTip(const CalibrationState& state, int range, Side side) {
    if (!RangeInForce(state, range, side)) {
        return QStringLiteral(
            "Not calibrated: reads raw units. Calibrate it with a sine (right-click) or with "
            "Calibrate.");
    }
    const RangeCalibration& made = MadeOf(state.Made[range], side);
    QString text = made.method == CalibrationMethod::Ac
                       ? QStringLiteral("Calibrated with a sine of known RMS")
                       : QStringLiteral("Calibrated with known DC values");
    if (made.madeAtMs > 0) {
        text += QStringLiteral(" on %1").arg(QDateTime::fromMSecsSinceEpoch(made.madeAtMs)
                                                 .toString(QStringLiteral("yyyy-MM-dd HH:mm")));
    }
    if (!made.device.empty()) {
        text += QStringLiteral(", input %1").arg(QString::fromStdString(made.device));
    }
    return text;
}

std::string_view RawDataCaptionAtStartup(const CalibrationState& state) {
    return state.Calibrated || AnyRangeInForce(state) ? "Cal" : "Raw";
}

}  // namespace veruziva
