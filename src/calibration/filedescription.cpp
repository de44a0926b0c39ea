#include "calibration/filedescription.h"

#include <QDateTime>

#include "platform/captureformat.h"

namespace veruziva {
namespace {

constexpr std::array<Side, 2> Sides{Side::Left, Side::Right};

QString Channel(Side side) {
    return side == Side::Left ? QStringLiteral("A") : QStringLiteral("B");
}

int RangeOf(const RangeSelection& ranges, Side side) {
    return side == Side::Left ? ranges.a : ranges.b;
}

QString RangeCaption(int range) {
    return QString::number(RangeFullScale(range)) +
           (range >= AmpereRange ? QStringLiteral(" A") : QStringLiteral(" V"));
}

QString Known(const QString& text) {
    return text.isEmpty() ? QStringLiteral("unknown") : text;
}

QString MethodText(CalibrationMethod method) {
    switch (method) {
        case CalibrationMethod::Dc:
            return QStringLiteral("DC");
        case CalibrationMethod::Ac:
            return QStringLiteral("AC");
        case CalibrationMethod::None:
            break;
    }
    return QStringLiteral("unknown");
}

QString UtcTime(std::int64_t msSinceEpoch) {
    return msSinceEpoch == 0
               ? QStringLiteral("unknown")
               : QDateTime::fromMSecsSinceEpoch(msSinceEpoch, Qt::UTC).toString(Qt::ISODate);
}

QString RangeLine(const CalibrationState& /*state*/, const MeasurementContext& context, Side side) {
    return RangeCaption(RangeOf(context.ranges, side));
}

QString UnitLine(const CalibrationState& state, const MeasurementContext& context, Side side) {
    const int range = RangeOf(context.ranges, side);
    if (context.rawDisplay || !RangeInForce(state, range, side)) {
        return QStringLiteral("raw units");
    }
    return range >= AmpereRange ? QStringLiteral("A") : QStringLiteral("V");
}

QString LevelLine(const CalibrationState& /*state*/, const MeasurementContext& context, Side side) {
    if (!context.levelAsCalibrated) {
        return QStringLiteral("not checked");
    }
    return (*context.levelAsCalibrated)[side == Side::Left ? 0 : 1] ? QStringLiteral("yes")
                                                                    : QStringLiteral("no");
}

// One line per channel each, in this order; the key's %1 is the channel's letter.
struct ChannelLine {
    const char* key;
    QString (*value)(const CalibrationState& state, const MeasurementContext& context, Side side);
};

constexpr ChannelLine ChannelLines[] = {
    {"Range %1", RangeLine},
    {"Unit %1", UnitLine},
    {"Level as calibrated %1", LevelLine},
};

// "DC, factor 1.23456789e-05, made 2026-12-08T10:15:02Z, on Line In".
QString CalibrationText(const CalibrationState& state, int range, Side side) {
    const RangeCalibration& made = MadeOf(state.Made[range], side);
    return QStringLiteral("%1, factor %2, made %3, on %4")
        .arg(MethodText(made.method),
             QString::number(FactorOf(state.CalFactor[range], side), 'g', 9),
             UtcTime(made.madeAtMs), Known(QString::fromStdString(made.device)));
}

}  // namespace

FileMetadata DescribeSource(const QString& program, const QString& source) {
    return {{QStringLiteral("Software"), program}, {QStringLiteral("Source"), Known(source)}};
}

FileMetadata DescribeMeasurement(const CalibrationState& state, const MeasurementContext& context) {
    FileMetadata lines = DescribeSource(context.program, context.device);
    lines.emplace_back(QStringLiteral("Sample rate"), QStringLiteral("%1 Hz").arg(SampleRate));
    lines.emplace_back(QStringLiteral("Format"),
                       QStringLiteral("%1-bit stereo").arg(BytesPerSample * 8));
    for (const ChannelLine& line : ChannelLines) {
        for (const Side side : Sides) {
            lines.emplace_back(QString::fromLatin1(line.key).arg(Channel(side)),
                               line.value(state, context, side));
        }
    }
    for (const Side side : Sides) {
        for (int range = FirstRange; range <= LastRange; ++range) {
            if (RangeInForce(state, range, side)) {
                lines.emplace_back(
                    QStringLiteral("Calibration %1 %2").arg(Channel(side), RangeCaption(range)),
                    CalibrationText(state, range, side));
            }
        }
    }
    return lines;
}

}  // namespace veruziva
