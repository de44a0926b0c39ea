#include "scpi/scpinumber.h"

#include <array>
#include <charconv>
#include <cmath>

namespace veruziva {

QByteArray ScpiNumber(double value) {
    if (std::isnan(value)) {
        return QByteArrayLiteral("+9.91E+37");
    }
    if (std::abs(value) >= ScpiOverload) {
        return value > 0 ? QByteArrayLiteral("+9.9E+37") : QByteArrayLiteral("-9.9E+37");
    }
    // to_chars, not printf: the program's locale may write a decimal comma.
    std::array<char, 32> digits{};
    const auto written = std::to_chars(digits.data(), digits.data() + digits.size(),
                                       std::abs(value), std::chars_format::scientific, 8);
    QByteArray text(digits.data(), written.ptr - digits.data());  // d.dddddddde±xx
    const qsizetype e = text.indexOf('e');
    qsizetype end = e;
    while (text[end - 1] == '0' && text[end - 2] != '.') {
        --end;
    }
    QByteArray result(std::signbit(value) && value != 0 ? "-" : "+");
    result += text.left(end);
    result += 'E';
    result += text.mid(e + 1);
    return result;
}

}  // namespace veruziva
