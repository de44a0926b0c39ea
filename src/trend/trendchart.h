#pragma once

#include <QColor>
#include <QImage>
#include <QRect>
#include <array>
#include <cstdint>
#include <vector>

#include "base/filemetadata.h"
#include "trend/trendrecorder.h"

class QFontMetrics;
class QPainter;

namespace veruziva {

enum class TrendTheme {
    Dark,   // the instrument's scope: teal, white grid, yellow A, aqua B
    Light,  // for print: white, grey grid, darker traces
};

struct TrendChartColours {
    QColor background;
    QColor grid;
    QColor text;
    std::array<QColor, 2> trace;  // A, B
    QColor marker;
    QColor overload;
    QColor levelMoved;  // the band behind readings taken at a moved input level
};

TrendChartColours TrendColours(TrendTheme theme);

// What the chart shows.
struct TrendChartView {
    std::int64_t t0Ms = 0;
    std::int64_t t1Ms = 60'000;
    bool autoScale = true;
    double minimum = 0;  // the value range when not autoscaled
    double maximum = 1;
    std::array<bool, 2> show{true, true};  // A, B
    TrendTheme theme = TrendTheme::Dark;
    // The time axis in seconds since originMs (a recording's start), else clock time.
    bool elapsedTime = false;
    std::int64_t originMs = 0;
    // Columns without a reading between two with readings are bridged over gaps up to this
    // long (or two buckets' width); a longer gap, a stall of the input, breaks the line.
    std::int64_t bridgeMs = 1500;
};

// Where the plot sits in the chart's rectangle (inside the axis labels), and the mapping
// between its pixels and times and values.
class TrendChartGeometry {
public:
    // rightAxis: room for B's own value labels on the right.
    TrendChartGeometry(const QRect& bounds, const QFontMetrics& metrics, bool rightAxis = false);
    // A plot placed already (the same in device pixels, say).
    explicit TrendChartGeometry(const QRect& plot);

    const QRect& plot() const { return m_plot; }
    // Column x of the plot (0 = its left edge) covers this time on.
    static std::int64_t timeAt(int column, int columns, const TrendChartView& view);
    // The plot row of a value in [minimum, maximum] (the minimum on the bottom row).
    int rowOf(double value, double minimum, double maximum) const;

private:
    QRect m_plot;
};

// The value range drawn: the view's, or the shown channels' readings with a margin.
std::pair<double, double> TrendValueRange(const TrendColumns& columns, const TrendChartView& view);
// Channels shown in different units (volts and amperes) get an axis each, B's on the right;
// otherwise they share one. An axis shows one unit.
bool TrendSeparateScales(const TrendRecorder& recorder, const TrendChartView& view);
// The value range of each channel (A, B): autoscaled a range each when separate, else the
// view's or a shared one.
std::array<std::pair<double, double>, 2> TrendValueRanges(const TrendColumns& columns,
                                                          const TrendChartView& view,
                                                          bool separate);

struct TrendTimeTick {
    std::int64_t ms = 0;
    QString label;  // "10:15" or "10:15:30" clock time, or whole seconds since the origin
};
// The time axis's ticks over a plot `width` pixels wide, at least labelWidth + 16 pixels apart:
// on whole seconds, minutes, hours or days, of the clock or from the view's origin.
std::vector<TrendTimeTick> TrendTimeTicks(const TrendChartView& view, int width, int labelWidth);

// Draws the chart: grid, time ticks with the axis's title, value ticks with their unit, per
// shown channel the min/max band and the mean line of its readings in one unit (those in
// another are named in a note above the plot), overloaded stretches as red ticks under the plot,
// readings at a moved input level as a band behind it, markers as dashed lines.
// Needs no widget: the meter tool draws its pictures with it too. Texts and the plot's place are
// in the painter's logical pixels; the plot's contents and lines are drawn 1 device pixel wide
// at the painter's device pixel ratio, readings taken at a column a device pixel.
void PaintTrendChart(QPainter& painter, const QRect& bounds, const TrendRecorder& recorder,
                     const TrendChartView& view);
// A picture of size logical pixels at a device pixel ratio.
QImage RenderTrendChart(const TrendRecorder& recorder, const TrendChartView& view, QSize size,
                        qreal ratio = 1);
// The chart as a PNG file's bytes, the metadata in its text chunks.
QByteArray TrendPng(const TrendRecorder& recorder, const TrendChartView& view, QSize size,
                    const FileMetadata& metadata = {});

}  // namespace veruziva
