#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace veruziva {

// Nearest integer, halves to the even neighbour (2.5 -> 2, 3.5 -> 4).
double RoundHalfEven(double value);

// RoundHalfEven as a 32-bit integer; nothing when the result does not fit.
std::optional<std::int32_t> RoundToInt32(double value);

// Fixed-point format: rounded to at most `precision` significant digits and at most `decimals`
// decimals, then written with exactly `decimals` digits after the separator (none when 0).
// A value whose integer part needs more than `precision` digits is written in the general
// format with `precision` significant digits instead. A value that rounds to zero carries no
// minus sign.
std::string FormatFixed(double value, int precision, int decimals,
                        std::string_view decimalSeparator);

// General format: the shortest form with up to `precision` significant digits, no trailing
// zeros, no separator for whole numbers; scientific notation ("1.5E-7", "1E20") when the
// integer part needs more than `precision` digits or the magnitude is below 0.00001.
std::string FormatGeneral(double value, std::string_view decimalSeparator, int precision = 15);

// Turns text typed by the user into a non-negative number. Only the digits and the decimal
// point are kept, in their order, every comma counting as a point; everything else (signs,
// blanks, letters) is dropped. No digit left gives 0. The kept characters read as a decimal
// number whatever the locale; a leading point reads as 0.x, and a second point ends the
// number ("1.2.3" reads as 1.2). Texts of more than 255 characters throw RangeCheckError.
double TextToNumber(std::string_view utf8Text);

inline constexpr std::size_t TextToNumberMaxLength = 255;

}  // namespace veruziva
