#pragma once

#include <QByteArray>

namespace veruziva {

// SCPI's stand-ins for values that are not numbers: +9.9E+37 an overload (its infinity, negative
// below), 9.91E+37 no value at all (its NaN).
inline constexpr double ScpiOverload = 9.9e37;
inline constexpr double ScpiNotANumber = 9.91e37;

// A value as an NR3 response, the way SCPI instruments write it: a sign, nine significant digits
// at most with the trailing zeros dropped (one decimal kept), and a signed exponent of two digits
// or more: +1.23456789E+00, -4.5E-03, +0.0E+00. Infinities and magnitudes from 9.9E37 on read as
// the overload, NaN as SCPI's NaN.
QByteArray ScpiNumber(double value);

}  // namespace veruziva
