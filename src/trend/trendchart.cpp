#include "trend/trendchart.h"

#include <QDateTime>
#include <QFontMetrics>
#include <QPainter>
#include <QPolygon>
#include <algorithm>
#include <cmath>
#include <limits>

#include "base/pngfile.h"
#include "base/scopecolours.h"

namespace veruziva {

namespace {

// Differences and products of times need more than 64 bits: a view may hold any 64-bit times.
__extension__ typedef __int128 Wide;

constexpr int StripHeight = 3;  // an overload strip under the plot, one per channel
constexpr int TickLength = 4;

int StripTop(const QRect& plot, std::size_t channel) {
    return plot.bottom() + 2 + static_cast<int>(channel) * (StripHeight + 1);
}

QString UnitText(char unit) {
    return unit == ' ' ? QStringLiteral("raw") : QString(QLatin1Char(unit));
}

QChar ChannelLetter(std::size_t channel) {
    return channel == 0 ? QLatin1Char('A') : QLatin1Char('B');
}

// 1, 2 or 5 times a power of ten, for a grid line every 40 pixels or more; 0 when there is none.
double NiceStep(double span, int height) {
    const double raw = span / std::max(2, height / 40);
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    const double normalized = raw / magnitude;
    const double factor = normalized <= 1 ? 1 : normalized <= 2 ? 2 : normalized <= 5 ? 5 : 10;
    const double step = factor * magnitude;
    return std::isfinite(step) && step > 0 ? step : 0;
}

// Whole seconds, minutes and hours up to half a day, then 1, 2 and 5 times a power of ten days,
// for a label every labelWidth + 16 pixels.
Wide TimeStepMs(Wide spanMs, int width, int labelWidth) {
    const auto fits = [&](Wide stepMs) {
        return static_cast<double>(stepMs) * width / static_cast<double>(spanMs) >= labelWidth + 16;
    };
    static constexpr std::array<std::int64_t, 17> StepsS = {
        1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600, 7200, 10800, 21600, 43200};
    for (const std::int64_t s : StepsS) {
        if (fits(s * 1000)) {
            return s * 1000;
        }
    }
    // Ends: a step as long as the longest span times the widest label fits.
    for (Wide days = 86'400'000;; days *= 10) {
        for (const int factor : {1, 2, 5}) {
            if (fits(days * factor)) {
                return days * factor;
            }
        }
    }
}

Wide SpanMs(const TrendChartView& view) {
    return std::max<Wide>(1, Wide{view.t1Ms} - view.t0Ms);
}

int XOf(std::int64_t ms, const QRect& plot, const TrendChartView& view) {
    const Wide column = (Wide{ms} - view.t0Ms) * plot.width() / SpanMs(view);
    return plot.left() + static_cast<int>(std::clamp<Wide>(column, 0, plot.width() - 1));
}

// Lines 1 device pixel wide at any device pixel ratio: where a pixel of the painter is a device
// pixel, a pen 1 wide (the raster engine's faster path, the same pixels), else a cosmetic one.
QPen Line(const QPainter& painter, const QColor& colour, Qt::PenStyle style = Qt::SolidLine) {
    const QTransform transform = painter.deviceTransform();
    const bool devicePixels = transform.m11() == 1 && transform.m22() == 1;
    return QPen(colour, devicePixels && style == Qt::SolidLine ? 1 : 0, style);
}

// The device pixel ratio the painter draws at (a world scale counts too).
qreal DeviceRatio(const QPainter& painter) {
    const QTransform transform = painter.deviceTransform();
    return transform.type() <= QTransform::TxScale && transform.m11() > 0 ? transform.m11() : 1;
}

// The device pixels a logical rectangle covers.
QRect DeviceRect(const QRect& logical, qreal ratio) {
    const auto device = [ratio](int v) { return static_cast<int>(std::lround(v * ratio)); };
    return QRect(QPoint(device(logical.left()), device(logical.top())),
                 QPoint(device(logical.right() + 1) - 1, device(logical.bottom() + 1) - 1));
}

// The plot and what lies in it (traces, grid lines, ticks, bands) are drawn in device pixels,
// texts in logical ones: the plot, its mapping and its columns at the device's resolution.
struct Plots {
    qreal ratio = 1;
    TrendChartGeometry logical;
    TrendChartGeometry device;
};

// Runs draw with the painter's coordinates in device pixels.
template <typename Draw>
void InDevicePixels(QPainter& painter, qreal ratio, Draw draw) {
    painter.save();
    if (ratio != 1) {
        painter.scale(1 / ratio, 1 / ratio);
    }
    draw();
    painter.restore();
}

// Value labels beside the plot, left or right of it, with grid lines or ticks, and the unit
// over them.
void PaintValueAxis(QPainter& painter, const Plots& plots, std::pair<double, double> range,
                    bool right, char unit, const QColor& gridColour, const QColor& textColour) {
    const TrendChartGeometry& geometry = plots.logical;
    const QRect& plot = geometry.plot();
    const QRect& devicePlot = plots.device.plot();
    const QFontMetrics metrics = painter.fontMetrics();
    const int labelWidth = metrics.horizontalAdvance(QStringLiteral("-0000.000"));
    const int unitTop = plot.top() - metrics.height() - 3;
    painter.setPen(textColour);
    const QString title = QStringLiteral("[%1]").arg(UnitText(unit));
    if (right) {
        painter.drawText(
            QRect(plot.right() + TickLength + 3, unitTop, labelWidth, metrics.height()),
            Qt::AlignLeft | Qt::AlignVCenter, title);
    } else {
        painter.drawText(QRect(0, unitTop, plot.left() - TickLength - 2, metrics.height()),
                         Qt::AlignRight | Qt::AlignVCenter, title);
    }
    const auto [minimum, maximum] = range;
    const double step = NiceStep(maximum - minimum, plot.height());
    const double first = step > 0 ? std::ceil(minimum / step) : 0;
    const double lines = step > 0 ? std::floor(maximum / step) - first : -1;
    // Far more lines than pixels: values too large for their differences to show; no labels.
    if (!(lines >= 0 && lines <= plot.height())) {
        return;
    }
    // Lines and labels do not overlap: the lines go in one pass in device pixels.
    const int tickLength = DeviceRect(QRect(0, 0, TickLength, 1), plots.ratio).width();
    QList<QLine> deviceLines;
    painter.setPen(textColour);
    for (int i = 0; i <= static_cast<int>(lines); ++i) {
        const double v = (first + i) * step;
        const double value = std::abs(v) < step * 1e-6 ? 0 : v;
        const int y = geometry.rowOf(value, minimum, maximum);
        const int deviceY = plots.device.rowOf(value, minimum, maximum);
        const QString label = QString::number(value, 'g', 6);
        if (right) {
            deviceLines.append(
                QLine(devicePlot.right() + 1, deviceY, devicePlot.right() + tickLength, deviceY));
            painter.drawText(QRect(plot.right() + TickLength + 3, y - metrics.height() / 2,
                                   labelWidth, metrics.height()),
                             Qt::AlignLeft | Qt::AlignVCenter, label);
        } else {
            deviceLines.append(QLine(devicePlot.left(), deviceY, devicePlot.right(), deviceY));
            painter.drawText(
                QRect(0, y - metrics.height() / 2, plot.left() - TickLength - 2, metrics.height()),
                Qt::AlignRight | Qt::AlignVCenter, label);
        }
    }
    InDevicePixels(painter, plots.ratio, [&] {
        painter.setPen(Line(painter, right ? textColour : gridColour));
        painter.drawLines(deviceLines);
    });
}

// A label under each tick and the axis's title under them.
void PaintTimeAxis(QPainter& painter, const Plots& plots, const TrendChartView& view,
                   const TrendChartColours& colours) {
    const QRect& plot = plots.logical.plot();
    const QRect& devicePlot = plots.device.plot();
    const int tickLength = DeviceRect(QRect(0, 0, 1, TickLength), plots.ratio).height();
    const QFontMetrics metrics = painter.fontMetrics();
    const int labelWidth = metrics.horizontalAdvance(QStringLiteral("00:00:00"));
    const int labelTop = StripTop(plot, 2) + 1;
    // Grid lines, ticks and labels do not overlap: the lines go in one pass in device pixels.
    QList<QLine> gridLines;
    QList<QLine> ticks;
    painter.setPen(colours.text);
    for (const TrendTimeTick& tick : TrendTimeTicks(view, plot.width(), labelWidth)) {
        const int x = XOf(tick.ms, plot, view);
        const int deviceX = XOf(tick.ms, devicePlot, view);
        gridLines.append(QLine(deviceX, devicePlot.top(), deviceX, devicePlot.bottom()));
        ticks.append(
            QLine(deviceX, devicePlot.bottom() + 1, deviceX, devicePlot.bottom() + tickLength));
        painter.drawText(QRect(x - labelWidth, labelTop, 2 * labelWidth, metrics.height()),
                         Qt::AlignHCenter | Qt::AlignTop, tick.label);
    }
    InDevicePixels(painter, plots.ratio, [&] {
        painter.setPen(Line(painter, colours.grid));
        painter.drawLines(gridLines);
        painter.setPen(Line(painter, colours.text));
        painter.drawLines(ticks);
    });
    const QString title =
        view.elapsedTime ? QStringLiteral("time from the start [s]") : QStringLiteral("local time");
    painter.drawText(
        QRect(plot.left(), labelTop + metrics.height(), plot.width(), metrics.height()),
        Qt::AlignHCenter | Qt::AlignTop, title);
}

void PaintGrid(QPainter& painter, const Plots& plots, const TrendChartView& view,
               const TrendChartColours& colours, const TrendColumns& columns,
               const std::array<std::pair<double, double>, 2>& ranges, bool separate) {
    // With a scale each, the labels take their channel's colour.
    const std::size_t left = view.show[0] || !view.show[1] ? 0 : 1;
    PaintValueAxis(painter, plots, ranges[left], false, columns.units[left], colours.grid,
                   separate ? colours.trace[0] : colours.text);
    if (separate) {
        PaintValueAxis(painter, plots, ranges[1], true, columns.units[1], colours.grid,
                       colours.trace[1]);
    }
    PaintTimeAxis(painter, plots, view, colours);
}

void PaintChannel(QPainter& painter, const TrendChartGeometry& geometry,
                  const TrendColumns& columns, std::size_t channel, const TrendChartView& view,
                  const QColor& colour, double minimum, double maximum) {
    const QRect& plot = geometry.plot();
    const auto count = static_cast<std::int64_t>(columns.columns.size());
    const double columnMs = static_cast<double>(SpanMs(view)) / static_cast<double>(count);
    // Columns without a point between two with points are bridged, unless the gap is longer
    // than a stall of the input: then the line breaks.
    const double bridgeMs = std::max(static_cast<double>(view.bridgeMs),
                                     2.0 * static_cast<double>(columns.resolutionMs));
    QColor band = colour;
    band.setAlpha(90);

    std::vector<std::vector<int>> runs;
    int previous = -1;
    for (int x = 0; x < count; ++x) {
        if (columns.columns[static_cast<std::size_t>(x)][channel].empty()) {
            continue;
        }
        if (previous < 0 || (x - previous) * columnMs > bridgeMs) {
            runs.emplace_back();
        }
        runs.back().push_back(x);
        previous = x;
    }

    // The band as one bar a column, those between two readings bridged in a straight line: a
    // polygon of a noisy trace crosses itself at every column and takes far longer to fill.
    QList<QLine> bars;
    const auto bar = [&](int x, double low, double high) {
        const int top = geometry.rowOf(high, minimum, maximum);
        const int bottom = geometry.rowOf(low, minimum, maximum);
        bars.append(QLine(plot.left() + x, top, plot.left() + x, bottom));
    };
    for (const std::vector<int>& run : runs) {
        for (std::size_t i = 0; i < run.size(); ++i) {
            const TrendExtent& e = columns.columns[static_cast<std::size_t>(run[i])][channel];
            bar(run[i], e.minimum, e.maximum);
            if (i + 1 == run.size()) {
                continue;
            }
            const TrendExtent& next =
                columns.columns[static_cast<std::size_t>(run[i + 1])][channel];
            const int gap = run[i + 1] - run[i];
            for (int k = 1; k < gap; ++k) {
                const double f = static_cast<double>(k) / gap;
                bar(run[i] + k, e.minimum + f * (next.minimum - e.minimum),
                    e.maximum + f * (next.maximum - e.maximum));
            }
        }
    }
    painter.setPen(Line(painter, band));
    painter.drawLines(bars);
    painter.setPen(Line(painter, colour));
    for (const std::vector<int>& run : runs) {
        QPolygon mean;
        for (const int x : run) {
            const TrendExtent& e = columns.columns[static_cast<std::size_t>(x)][channel];
            mean << QPoint(plot.left() + x, geometry.rowOf(e.mean, minimum, maximum));
        }
        if (mean.size() == 1) {
            painter.drawPoint(mean[0]);
        } else {
            painter.drawPolyline(mean);
        }
    }
}

bool LevelMoved(const std::array<TrendExtent, 2>& column, const TrendChartView& view) {
    return (view.show[0] && column[0].levelMoved > 0) || (view.show[1] && column[1].levelMoved > 0);
}

// Behind the plot, the stretches of readings taken at a moved input level: columns that hold
// such readings, and the columns without a reading between two of them (a block does not come
// for every column of a short span), so that a stretch is one band.
void PaintLevelMoved(QPainter& painter, const QRect& plot, const TrendColumns& columns,
                     const TrendChartView& view, const QColor& colour) {
    const auto holdsReadings = [&](const std::array<TrendExtent, 2>& column) {
        for (std::size_t c = 0; c < 2; ++c) {
            if (view.show[c] && (column[c].count > 0 || column[c].levelMoved > 0)) {
                return true;
            }
        }
        return false;
    };
    int runStart = -1;  // the first column of the stretch being drawn
    int lastMoved = -1;
    const auto drawRun = [&] {
        if (runStart >= 0) {
            painter.fillRect(plot.left() + runStart, plot.top(), lastMoved - runStart + 1,
                             plot.height(), colour);
        }
        runStart = -1;
    };
    for (std::size_t x = 0; x < columns.columns.size(); ++x) {
        const std::array<TrendExtent, 2>& column = columns.columns[x];
        if (LevelMoved(column, view)) {
            if (runStart < 0) {
                runStart = static_cast<int>(x);
            }
            lastMoved = static_cast<int>(x);
        } else if (holdsReadings(column)) {
            drawRun();
        }
    }
    drawRun();
}

// In device pixels: a tick a device column.
void PaintOverloads(QPainter& painter, const Plots& plots, const TrendColumns& columns,
                    const TrendChartView& view, const QColor& colour) {
    const QRect& plot = plots.logical.plot();
    for (std::size_t channel = 0; channel < 2; ++channel) {
        if (!view.show[channel]) {
            continue;
        }
        const QRect strip = DeviceRect(
            QRect(plot.left(), StripTop(plot, channel), plot.width(), StripHeight), plots.ratio);
        for (std::size_t x = 0; x < columns.columns.size(); ++x) {
            if (columns.columns[x][channel].overloads > 0) {
                painter.fillRect(strip.left() + static_cast<int>(x), strip.top(), 1, strip.height(),
                                 colour);
            }
        }
    }
}

void PaintMarkers(QPainter& painter, const Plots& plots, const TrendRecorder& recorder,
                  const TrendChartView& view, const QColor& colour) {
    const QRect& plot = plots.logical.plot();
    const QRect& devicePlot = plots.device.plot();
    const QFontMetrics metrics = painter.fontMetrics();
    // Labels close together go on the next line down rather than over each other.
    constexpr int Lines = 4;
    std::array<int, Lines> freeFrom{};
    freeFrom.fill(std::numeric_limits<int>::min());
    for (const TrendMarker& marker : recorder.markers(view.t0Ms, view.t1Ms)) {
        const int x = XOf(marker.msSinceEpoch, plot, view);
        const int deviceX = XOf(marker.msSinceEpoch, devicePlot, view);
        InDevicePixels(painter, plots.ratio, [&] {
            painter.setPen(Line(painter, colour, Qt::DashLine));
            painter.drawLine(deviceX, devicePlot.top(), deviceX, devicePlot.bottom());
        });
        painter.setPen(colour);
        // Right of the line, or left of it where the plot ends.
        const int width = metrics.horizontalAdvance(marker.text);
        const int left = x + 3 + width <= plot.right() ? x + 3 : x - 3 - width;
        int line = 0;
        while (line + 1 < Lines && freeFrom[static_cast<std::size_t>(line)] > left) {
            ++line;
        }
        freeFrom[static_cast<std::size_t>(line)] = left + width + metrics.averageCharWidth();
        painter.drawText(left, plot.top() + metrics.ascent() + 2 + line * metrics.lineSpacing(),
                         marker.text);
    }
}

// Above the plot: each channel shown with the unit drawn, readings in another unit that are
// not drawn, and the key to the band of a moved input level.
void PaintLegend(QPainter& painter, const QRect& bounds, const QRect& plot,
                 const TrendColumns& columns, const TrendChartView& view,
                 const TrendChartColours& colours) {
    const QFontMetrics metrics = painter.fontMetrics();
    const int baseline = bounds.top() + metrics.ascent() + 2;
    const int gap = 2 * metrics.horizontalAdvance(QLatin1Char(' '));
    int x = plot.left();
    const auto text = [&](const QString& shown, const QColor& colour) {
        painter.setPen(colour);
        painter.drawText(x, baseline, shown);
        x += metrics.horizontalAdvance(shown) + gap;
    };
    QStringList notDrawn;
    for (std::size_t channel = 0; channel < 2; ++channel) {
        if (!view.show[channel]) {
            continue;
        }
        text(
            QStringLiteral("%1 [%2]").arg(ChannelLetter(channel), UnitText(columns.units[channel])),
            colours.trace[channel]);
        QStringList others;
        for (const char unit : columns.otherUnits[channel]) {
            others.append(UnitText(unit));
        }
        if (!others.isEmpty()) {
            notDrawn.append(QStringLiteral("%1 in %2")
                                .arg(ChannelLetter(channel), others.join(QLatin1Char('/'))));
        }
    }
    if (!notDrawn.isEmpty()) {
        text(QStringLiteral("(not drawn: %1)").arg(notDrawn.join(QStringLiteral(", "))),
             colours.text);
    }
    if (std::any_of(columns.columns.begin(), columns.columns.end(),
                    [&](const auto& column) { return LevelMoved(column, view); })) {
        const int height = metrics.ascent() - 2;
        painter.fillRect(x, baseline - height, height, height, colours.levelMoved);
        painter.setPen(Line(painter, colours.text));
        painter.drawRect(x, baseline - height, height, height);
        x += height + metrics.horizontalAdvance(QLatin1Char(' '));
        text(QStringLiteral("input level moved"), colours.text);
    }
}

}  // namespace

std::vector<TrendTimeTick> TrendTimeTicks(const TrendChartView& view, int width, int labelWidth) {
    const Wide span = SpanMs(view);
    const QString format =
        span <= 15 * 60'000 ? QStringLiteral("HH:mm:ss") : QStringLiteral("HH:mm");
    const Wide stepMs = TimeStepMs(span, std::max(1, width), labelWidth);
    // Ticks on whole local minutes and hours (not on whole UTC ones), or on whole seconds,
    // minutes and hours from the origin.
    const Wide offsetMs =
        view.elapsedTime ? -Wide{view.originMs}
                         : Wide{QDateTime::fromMSecsSinceEpoch(view.t0Ms).offsetFromUtc()} * 1000;
    const Wide local = Wide{view.t0Ms} + offsetMs;
    Wide first = local / stepMs * stepMs;
    if (first < local) {
        first += stepMs;
    }
    std::vector<TrendTimeTick> ticks;
    // The step keeps the labels apart, so there are no more ticks than labels fit.
    for (Wide t = first - offsetMs; t <= view.t1Ms; t += stepMs) {
        const auto ms = static_cast<std::int64_t>(t);
        ticks.push_back({ms, view.elapsedTime
                                 ? QString::number(static_cast<qint64>((t + offsetMs) / 1000))
                                 : QDateTime::fromMSecsSinceEpoch(ms).toString(format)});
    }
    return ticks;
}

TrendChartColours TrendColours(TrendTheme theme) {
    if (theme == TrendTheme::Dark) {
        return {QColor::fromRgb(scopecolours::Teal),
                QColor(255, 255, 255, 80),
                QColor::fromRgb(scopecolours::White),
                {QColor::fromRgb(scopecolours::Yellow), QColor::fromRgb(scopecolours::Aqua)},
                QColor::fromRgb(scopecolours::White),
                QColor(Qt::red),
                QColor(64, 140, 96)};  // a quarter of amber over the teal
    }
    // The scope's hues, darkened to print on white.
    return {QColor(Qt::white),    QColor(200, 200, 200),
            QColor(Qt::black),    {QColor(150, 130, 0), QColor(0, 130, 150)},
            QColor(90, 90, 90),   QColor(Qt::red),
            QColor(255, 235, 191)};  // a quarter of amber over the white
}

TrendChartGeometry::TrendChartGeometry(const QRect& bounds, const QFontMetrics& metrics,
                                       bool rightAxis) {
    const int labels = metrics.horizontalAdvance(QStringLiteral("-0000.000")) + TickLength + 4;
    const int left = labels;
    const int top = metrics.height() + 4;
    // The overload strips, the time labels and the time axis's title.
    const int bottom = 2 + 2 * (StripHeight + 1) + 1 + 2 * metrics.height() + 2;
    const int right =
        rightAxis ? labels : metrics.horizontalAdvance(QStringLiteral("00:00:00")) / 2 + 2;
    m_plot = bounds.adjusted(left, top, -right, -bottom);
    if (m_plot.width() < 1 || m_plot.height() < 2) {
        m_plot = QRect(bounds.topLeft(),
                       QSize(std::max(1, bounds.width()), std::max(2, bounds.height())));
    }
}

TrendChartGeometry::TrendChartGeometry(const QRect& plot) : m_plot(plot) {}

std::int64_t TrendChartGeometry::timeAt(int column, int columns, const TrendChartView& view) {
    return static_cast<std::int64_t>(Wide{view.t0Ms} +
                                     (Wide{view.t1Ms} - view.t0Ms) * column / std::max(1, columns));
}

int TrendChartGeometry::rowOf(double value, double minimum, double maximum) const {
    double fraction = (maximum - value) / (maximum - minimum);
    if (std::isnan(fraction)) {
        fraction = 1;  // a reading that is not a number: on the bottom row
    }
    const double row = std::clamp(fraction * (m_plot.height() - 1), -1e5, 1e5);
    return m_plot.top() + static_cast<int>(std::lround(row));
}

std::pair<double, double> TrendValueRange(const TrendColumns& columns, const TrendChartView& view) {
    if (!view.autoScale && view.maximum > view.minimum) {
        return {view.minimum, view.maximum};
    }
    double low = std::numeric_limits<double>::infinity();
    double high = -std::numeric_limits<double>::infinity();
    for (const auto& column : columns.columns) {
        for (std::size_t channel = 0; channel < 2; ++channel) {
            if (view.show[channel] && !column[channel].empty()) {
                low = std::min(low, column[channel].minimum);
                high = std::max(high, column[channel].maximum);
            }
        }
    }
    if (low > high) {
        return {0, 1};
    }
    if (high - low < 1e-12 * std::max(1.0, std::abs(high))) {
        const double pad = low == 0 ? 0.5 : std::abs(low) * 0.05;
        return {low - pad, high + pad};
    }
    const double margin = (high - low) * 0.05;
    return {low - margin, high + margin};
}

bool TrendSeparateScales(const TrendRecorder& recorder, const TrendChartView& view) {
    const std::array<char, 2> units = recorder.unitsIn(view.t0Ms, view.t1Ms);
    return view.show[0] && view.show[1] && units[0] != units[1];
}

std::array<std::pair<double, double>, 2> TrendValueRanges(const TrendColumns& columns,
                                                          const TrendChartView& view,
                                                          bool separate) {
    if (!separate || !view.autoScale) {
        const std::pair<double, double> shared = TrendValueRange(columns, view);
        return {shared, shared};
    }
    std::array<std::pair<double, double>, 2> ranges;
    for (std::size_t channel = 0; channel < 2; ++channel) {
        TrendChartView alone = view;
        alone.show = {channel == 0, channel == 1};
        ranges[channel] = TrendValueRange(columns, alone);
    }
    return ranges;
}

void PaintTrendChart(QPainter& painter, const QRect& bounds, const TrendRecorder& recorder,
                     const TrendChartView& view) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    const TrendChartColours colours = TrendColours(view.theme);
    painter.fillRect(bounds, colours.background);
    const bool separate = TrendSeparateScales(recorder, view);
    const TrendChartGeometry geometry(bounds, painter.fontMetrics(), separate);
    const qreal ratio = DeviceRatio(painter);
    const Plots plots{ratio, geometry, TrendChartGeometry(DeviceRect(geometry.plot(), ratio))};
    const QRect& plot = geometry.plot();
    const QRect& devicePlot = plots.device.plot();
    const TrendColumns columns = recorder.columns(view.t0Ms, view.t1Ms, devicePlot.width());
    const std::array<std::pair<double, double>, 2> ranges =
        TrendValueRanges(columns, view, separate);

    InDevicePixels(painter, ratio, [&] {
        PaintLevelMoved(painter, devicePlot, columns, view, colours.levelMoved);
    });
    PaintGrid(painter, plots, view, colours, columns, ranges, separate);
    PaintLegend(painter, bounds, plot, columns, view, colours);
    InDevicePixels(painter, ratio,
                   [&] { PaintOverloads(painter, plots, columns, view, colours.overload); });
    painter.save();
    painter.setClipRect(plot);
    InDevicePixels(painter, ratio, [&] {
        for (std::size_t channel = 0; channel < 2; ++channel) {
            if (view.show[channel] && view.t1Ms > view.t0Ms) {
                PaintChannel(painter, plots.device, columns, channel, view, colours.trace[channel],
                             ranges[channel].first, ranges[channel].second);
            }
        }
    });
    PaintMarkers(painter, plots, recorder, view, colours.marker);
    painter.restore();
    InDevicePixels(painter, ratio, [&] {
        painter.setPen(Line(painter, colours.text));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(devicePlot.adjusted(-1, -1, 0, 0));
    });
    painter.restore();
}

QImage RenderTrendChart(const TrendRecorder& recorder, const TrendChartView& view, QSize size,
                        qreal ratio) {
    QImage image(size * ratio, QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    QPainter painter(&image);
    PaintTrendChart(painter, QRect(QPoint(), size), recorder, view);
    return image;
}

QByteArray TrendPng(const TrendRecorder& recorder, const TrendChartView& view, QSize size,
                    const FileMetadata& metadata) {
    return PngBytes(RenderTrendChart(recorder, view, size), metadata);
}

}  // namespace veruziva
