#include "measurement/numberformat.h"

#include <array>
#include <charconv>
#include <cmath>
#include <limits>

#include "platform/runtimeerror.h"

namespace veruziva {
namespace {

// Mantissa digits and decimal exponent of a finite non-zero value rounded to `precision`
// significant digits.
struct Decimal {
    bool negative = false;
    std::string digits;  // no leading zero, trailing zeros kept
    int exponent = 0;    // value = 0.d1d2d3... x 10^(exponent + 1)
};

Decimal ToDecimal(double value, int precision) {
    std::array<char, 64> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                      std::chars_format::scientific, precision - 1);
    const std::string_view text(buffer.data(),
                                static_cast<std::size_t>(result.ptr - buffer.data()));
    Decimal decimal;
    std::size_t pos = 0;
    if (text[pos] == '-') {
        decimal.negative = true;
        ++pos;
    }
    const std::size_t e = text.find('e');
    for (std::size_t i = pos; i < e; ++i) {
        if (text[i] != '.') {
            decimal.digits.push_back(text[i]);
        }
    }
    std::from_chars(text.data() + e + 1 + (text[e + 1] == '+' ? 1 : 0), text.data() + text.size(),
                    decimal.exponent);
    return decimal;
}

std::string NonFiniteText(double value) {
    if (std::isnan(value)) {
        return "NAN";
    }
    return value < 0 ? "-INF" : "INF";
}

std::string FixedDigits(double value, int decimals) {
    std::array<char, 400> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                      std::chars_format::fixed, decimals);
    return std::string(buffer.data(), result.ptr);
}

// Drops the sign of a text that rounded to zero and puts the locale's separator in place.
std::string Finish(std::string text, std::string_view decimalSeparator) {
    if (!text.empty() && text.front() == '-' &&
        text.find_first_of("123456789") == std::string::npos) {
        text.erase(0, 1);
    }
    const std::size_t point = text.find('.');
    if (point != std::string::npos) {
        text.replace(point, 1, decimalSeparator);
    }
    return text;
}

}  // namespace

double RoundHalfEven(double value) {
    // nearbyint follows the current rounding mode, which is round-to-nearest-even by default.
    return std::nearbyint(value);
}

std::optional<std::int32_t> RoundToInt32(double value) {
    const double rounded = RoundHalfEven(value);
    if (!(rounded >= std::numeric_limits<std::int32_t>::min() &&
          rounded <= std::numeric_limits<std::int32_t>::max())) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(rounded);
}

std::string FormatGeneral(double value, std::string_view decimalSeparator, int precision) {
    if (!std::isfinite(value)) {
        return NonFiniteText(value);
    }
    if (value == 0.0) {
        return "0";
    }
    Decimal decimal = ToDecimal(value, precision);
    while (decimal.digits.size() > 1 && decimal.digits.back() == '0') {
        decimal.digits.pop_back();
    }
    std::string text = decimal.negative ? "-" : "";
    const int exponent = decimal.exponent;
    const auto digitCount = static_cast<int>(decimal.digits.size());
    if (exponent >= precision || std::fabs(value) < 0.00001) {
        text += decimal.digits.front();
        if (digitCount > 1) {
            text += decimalSeparator;
            text.append(decimal.digits, 1);
        }
        text += 'E';
        text += std::to_string(exponent);
        return text;
    }
    if (exponent < 0) {
        text += '0';
        text += decimalSeparator;
        text.append(static_cast<std::size_t>(-exponent - 1), '0');
        text += decimal.digits;
        return text;
    }
    const std::size_t integerDigits = static_cast<std::size_t>(exponent) + 1;
    if (decimal.digits.size() <= integerDigits) {
        text += decimal.digits;
        text.append(integerDigits - decimal.digits.size(), '0');
    } else {
        text.append(decimal.digits, 0, integerDigits);
        text += decimalSeparator;
        text.append(decimal.digits, integerDigits);
    }
    return text;
}

std::string FormatFixed(double value, int precision, int decimals,
                        std::string_view decimalSeparator) {
    if (!std::isfinite(value)) {
        return NonFiniteText(value);
    }
    int integerDigits = 1;
    if (value != 0.0) {
        integerDigits = ToDecimal(value, precision).exponent + 1;
    }
    if (integerDigits > precision) {
        return FormatGeneral(value, decimalSeparator, precision);
    }
    // Small magnitudes have negative integerDigits: their significant digits start further right.
    const int roundingDecimals = std::min(decimals, precision - integerDigits);
    std::string text = FixedDigits(value, roundingDecimals);
    if (decimals > roundingDecimals) {
        if (roundingDecimals == 0) {
            text += '.';
        }
        text.append(static_cast<std::size_t>(decimals - roundingDecimals), '0');
    }
    return Finish(std::move(text), decimalSeparator);
}

double TextToNumber(std::string_view utf8Text) {
    std::size_t characters = 0;
    for (const char c : utf8Text) {
        // Count code points: every byte that does not continue a UTF-8 sequence.
        if ((static_cast<unsigned char>(c) & 0xC0U) != 0x80U) {
            ++characters;
        }
    }
    if (characters > TextToNumberMaxLength) {
        throw RangeCheckError();
    }
    std::string kept;
    bool anyDigit = false;
    for (const char c : utf8Text) {
        if (c >= '0' && c <= '9') {
            kept.push_back(c);
            anyDigit = true;
        } else if (c == '.' || c == ',') {
            kept.push_back('.');
        }
    }
    if (!anyDigit) {
        return 0.0;
    }
    if (kept.front() == '.') {
        kept.insert(kept.begin(), '0');
    }
    double value = 0.0;
    const auto result = std::from_chars(kept.data(), kept.data() + kept.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        // Only an absurdly long run of digits gets here; it cannot be told from infinity.
        return std::numeric_limits<double>::max();
    }
    return value;
}

}  // namespace veruziva
