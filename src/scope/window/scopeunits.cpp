#include "scope/window/scopeunits.h"

#include <cmath>

#include "platform/captureformat.h"

namespace veruziva {

namespace {

constexpr double FullScaleRaw = 32768.0;
constexpr int VerticalDivisions = 8;

}  // namespace

QString ChannelUnit(const ChannelScale& scale) {
    return scale.calibrated() ? QString(QLatin1Char(scale.unit)) : QStringLiteral("raw");
}

double FullScale(const ChannelScale& scale) {
    return scale.calibrated() ? FullScaleRaw * scale.factor : FullScaleRaw;
}

QString EngineeringText(double value, const QString& unit, int digits) {
    if (!std::isfinite(value)) {
        return QStringLiteral("--");
    }
    if (unit == QLatin1String("raw")) {
        return QString::number(value, 'f', std::abs(value) < 10.0 ? 2 : 0) + QStringLiteral(" raw");
    }
    static constexpr std::array<const char*, 7> Prefixes{"n", "µ", "m", "", "k", "M", "G"};
    int exponent = 0;
    if (value != 0.0) {
        exponent = static_cast<int>(std::floor(std::log10(std::abs(value)) / 3.0)) * 3;
        exponent = std::clamp(exponent, -9, 9);
    }
    double scaled = value / std::pow(10.0, exponent);
    int whole = scaled == 0.0 ? 1 : static_cast<int>(std::floor(std::log10(std::abs(scaled)))) + 1;
    // Rounded to its digits, 9.9996 takes one more whole digit and 999.96 the next prefix.
    if (std::abs(std::round(scaled * std::pow(10.0, digits - std::max(whole, 1)))) >=
        std::pow(10.0, digits)) {
        if (whole >= 3 && exponent < 9) {
            exponent += 3;
            scaled /= 1000.0;
            whole = 1;
        } else {
            ++whole;
        }
    }
    const int decimals = std::max(0, digits - std::max(whole, 1));
    return QString::number(scaled, 'f', decimals) + QLatin1Char(' ') +
           QString::fromUtf8(Prefixes.at(static_cast<std::size_t>(exponent + 9) / 3)) + unit;
}

std::vector<double> VerticalSteps(const ChannelScale& scale) {
    const double widest = 2.0 * FullScale(scale) / VerticalDivisions;
    const double narrowest = widest / 2000.0;
    std::vector<double> steps;
    double decade = std::pow(10.0, std::floor(std::log10(narrowest)));
    while (steps.empty() || steps.back() < widest) {
        for (const double mantissa : {1.0, 2.0, 5.0}) {
            const double step = mantissa * decade;
            if (step >= narrowest && (steps.empty() || steps.back() < widest)) {
                steps.push_back(step);
            }
        }
        decade *= 10.0;
    }
    if (!scale.calibrated()) {
        // Raw units come in whole numbers.
        std::erase_if(steps, [](double step) { return step < 1.0; });
    }
    return steps;
}

QString PerDivisionText(double step, const QString& unit) {
    QString text = EngineeringText(step, unit, 3);
    const qsizetype space = text.indexOf(QLatin1Char(' '));
    if (text.left(space).contains(QLatin1Char('.'))) {
        qsizetype end = space;
        while (text[end - 1] == QLatin1Char('0')) {
            --end;
        }
        if (text[end - 1] == QLatin1Char('.')) {
            --end;
        }
        text.remove(end, space - end);
    }
    return text + QStringLiteral("/div");
}

}  // namespace veruziva
