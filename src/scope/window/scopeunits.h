#pragma once

#include <QString>
#include <array>
#include <vector>

#include "analysis/tonemeasurement.h"

namespace veruziva {

// A raw sample in the channel's unit (volts or amperes about its zero when scaled), and back.
inline double ToUnits(double raw, const ChannelScale& scale) {
    return scale.calibrated() ? (raw - scale.zero) * scale.factor : raw;
}
inline double ToRaw(double value, const ChannelScale& scale) {
    return scale.calibrated() ? value / scale.factor + scale.zero : value;
}
// A difference of levels (a hysteresis) in raw units, and back: no zero in it.
inline double RawStep(double value, const ChannelScale& scale) {
    return scale.calibrated() ? value / scale.factor : value;
}
inline double UnitsStep(double raw, const ChannelScale& scale) {
    return scale.calibrated() ? raw * scale.factor : raw;
}

// "V", "A" or "raw".
QString ChannelUnit(const ChannelScale& scale);

// The channel's whole input range (a full-scale sample) in its unit.
double FullScale(const ChannelScale& scale);

// A value with an SI prefix and `digits` significant digits: "2.500 ms", "400.0 Hz",
// "-12.30 mV"; raw units have no prefix ("1234 raw").
QString EngineeringText(double value, const QString& unit, int digits = 4);

// The 1-2-5 steps per division offered for a channel: from a thousandth of its full scale over
// eight divisions up to twice that.
std::vector<double> VerticalSteps(const ChannelScale& scale);

// A step per division without needless zeros: "1 ms/div", "20 µs/div", "500 mV/div".
QString PerDivisionText(double step, const QString& unit);
inline QString TimeBaseText(double secondsPerDivision) {
    return PerDivisionText(secondsPerDivision, QStringLiteral("s"));
}

}  // namespace veruziva
