#pragma once

#include <QColor>
#include <QImage>
#include <QRect>
#include <array>
#include <cstdint>

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
    // The time axis as time since t0 (a recording's own), else clock time.
    bool elapsedTime = false;
};

// Where the plot sits in the chart's rectangle (inside the axis labels), and the mapping
// between its pixels and times and values.
class TrendChartGeometry {
public:
    // rightAxis: room for B's own value labels on the right.
    TrendChartGeometry(const QRect& bounds, const QFontMetrics& metrics, bool rightAxis = false);

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
// Autoscaled channels in different units (volts and amperes) get a scale each, B's on the right
// axis; otherwise they share one.
bool TrendSeparateScales(const TrendRecorder& recorder, const TrendChartView& view);
// The value range of each channel (A, B).
std::array<std::pair<double, double>, 2> TrendValueRanges(const TrendColumns& columns,
                                                          const TrendChartView& view,
                                                          bool separate);

// Draws the chart: grid, clock-time ticks, value ticks, per shown channel the min/max band and
// the mean line, overloaded stretches as red ticks under the plot, markers as dashed lines.
// Needs no widget: the meter tool draws its pictures with it too.
void PaintTrendChart(QPainter& painter, const QRect& bounds, const TrendRecorder& recorder,
                     const TrendChartView& view);
QImage RenderTrendChart(const TrendRecorder& recorder, const TrendChartView& view, QSize size);
// The chart as a PNG file's bytes.
QByteArray TrendPng(const TrendRecorder& recorder, const TrendChartView& view, QSize size);

}  // namespace veruziva
