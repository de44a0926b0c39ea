#pragma once

#include <QImage>
#include <QRect>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "base/scopecolours.h"
#include "measurement/displayparameters.h"
#include "measurement/scopesettings.h"
#include "platform/captureformat.h"

class QPainter;

namespace veruziva {

// The scope's background and grid, kept as its few distinct rows (plain, grid line, centre
// ticks) rather than as a whole picture.
class BackgroundRows {
public:
    explicit BackgroundRows(const QImage& background);

    std::uint32_t pixel(int x, int y) const {
        return m_rows[m_rowOf[static_cast<std::size_t>(y)]][static_cast<std::size_t>(x)];
    }
    // Lays the background into the picture, which has its size.
    void paint(QImage& image) const;

private:
    std::vector<std::vector<std::uint32_t>> m_rows;
    std::vector<std::size_t> m_rowOf;  // per row of the picture, its pattern
};

// The rows each trace of a block drew in each column of the picture, so that the next block
// restores only those pixels and a repaint shows only what changed.
class TouchedColumns {
public:
    static constexpr std::size_t Traces = 2;

    // Room for a picture this many columns wide; forgets every touch.
    void resize(int columns);
    void touch(std::size_t trace, std::int32_t x, std::int32_t firstRow, std::int32_t lastRow) {
        Span& span = m_spans[trace][static_cast<std::size_t>(x)];
        span.first = std::min(span.first, firstRow);
        span.last = std::max(span.last, lastRow);
    }
    // The smallest rectangle holding every touched pixel (empty when none was).
    QRect bounds() const;
    // Puts the background's pixels back where the traces were, and forgets them.
    void restore(QImage& image, const BackgroundRows& background);
    void clear();

private:
    struct Span {
        std::int32_t first = std::numeric_limits<std::int32_t>::max();  // empty: first above last
        std::int32_t last = -1;
    };
    std::array<std::vector<Span>, Traces> m_spans;
};

// Where the trigger search puts the start of the trace.
struct TriggerResult {
    std::int32_t startFrame = 0;  // S: the first frame of the trace
    bool synchronized = false;    // a start frame was found: the indicator lights
};

// The trigger search over the recorded frames of a block: the first rising step through the
// level on the source channel, at most N - 266 frames into the block. Nothing is searched
// when no source button is enabled.
TriggerResult FindTrigger(std::span<const StereoFrame> frames, const ScopeSettings& settings);

// Draws the traces of one block while the measurement pass walks its frames: the plotter of
// MeasureBlock.
class ScopePlotter {
public:
    void operator()(std::int32_t frame, std::int16_t a, std::int16_t b) {
        // The trace starts at frame S, one or eight frames to a column of the logical picture,
        // and ends where it has left the picture.
        if (frame < m_startFrame || m_xPrevious >= m_columns) {
            return;
        }
        const auto x = static_cast<std::int32_t>(
            (static_cast<std::int64_t>(frame - m_startFrame) * m_columnsPerFrame) >> FixedPoint);
        m_a.plot(a, m_xPrevious, x, *this);
        m_b.plot(b, m_xPrevious, x, *this);
        m_xPrevious = x;
    }

    std::int32_t startFrame() const { return m_startFrame; }

private:
    friend class Oscilloscope;
    // Device columns a frame moves the trace on, in units of 2^-16: exact for the usual ratios.
    static constexpr int FixedPoint = 16;

    struct Trace {
        bool show = true;
        double scale = 1.0 / 128;  // G, times the device pixel ratio
        std::int32_t zero = 0;
        std::int64_t keep = 100;  // 100 - attenuation
        std::int64_t centre = 0;  // trace centre plus offset, in device rows
        std::int64_t yPrevious = 0;
        std::uint32_t colour = 0;
        std::size_t index = 0;  // of the trace in the touched columns

        std::int64_t scaled(std::int16_t sample) const;
        void plot(std::int16_t sample, std::int32_t xPrevious, std::int32_t x,
                  ScopePlotter& plotter) {
            std::int64_t v = scaled(sample);
            if (show) {
                // The complement makes positive samples point up.
                v = keep * (-v - 1) / 100;
                plotter.drawStep(xPrevious, centre + yPrevious, x, centre + v, *this);
            }
            yPrevious = v;
        }
    };

    ScopePlotter(QImage& image, TouchedColumns& touched, const ScopeSettings& settings,
                 const DisplayParameters& display, std::int32_t startFrame, StereoFrame start);

    // A line from (x0, y0) to (x1, y1), x1 not left of x0: the start point drawn, the end point
    // not, clipped to the image.
    void drawStep(std::int32_t x0, std::int64_t y0, std::int32_t x1, std::int64_t y1,
                  const Trace& trace);
    void fillColumn(std::int32_t x, std::int64_t y0, int direction, std::int64_t firstStep,
                    std::int64_t lastStep, const Trace& trace);

    uchar* m_bits = nullptr;
    qsizetype m_bytesPerLine = 0;
    std::int32_t m_columns = 0;  // of the image, in device pixels
    std::int64_t m_rows = 0;
    TouchedColumns* m_touched = nullptr;
    std::int64_t m_columnsPerFrame = std::int64_t{1} << FixedPoint;
    std::int32_t m_startFrame = 0;
    std::int32_t m_xPrevious = 0;
    Trace m_a;
    Trace m_b;
};

// The oscilloscope's picture: a back buffer of 265 x 266 logical pixels that every handled block
// redraws, and that a repaint shows as the last block left it. It holds as many device pixels as
// the screen shows there (at a ratio of 2, 530 x 532), so that the traces are drawn at the
// screen's resolution; grid and texts keep their logical places.
class Oscilloscope {
public:
    static constexpr int Width = 265;  // logical pixels
    static constexpr int Height = 266;
    static constexpr int TraceCentre = 133;  // the fourth grid line

    static constexpr QRgb Teal = scopecolours::Teal;
    static constexpr QRgb White = scopecolours::White;
    static constexpr QRgb Yellow = scopecolours::Yellow;  // trace A, lit indicator
    static constexpr QRgb Aqua = scopecolours::Aqua;      // trace B

    Oscilloscope();

    // The preparation of one block: background and grid, trigger state and search, starting
    // points. The returned plotter draws the traces during the measurement pass; the block
    // must hold at least one frame.
    ScopePlotter begin(std::span<const StereoFrame> frames, const ScopeSettings& settings,
                       const DisplayParameters& display);

    // Draws at this many device pixels per logical pixel from the next block on; until then the
    // last picture is shown scaled. Allocates only when the ratio changes.
    void setDevicePixelRatio(qreal ratio);
    qreal devicePixelRatio() const { return m_ratio; }

    // In device pixels, with the device pixel ratio set.
    const QImage& image() const { return m_image; }
    // In logical pixels: where the picture may differ from the one before the last begin: the
    // traces it erased and those drawn since (the whole picture after the no-data text).
    QRect changedArea() const;
    // Triggering was on for the last block (the indicator is enabled).
    bool triggerEnabled() const { return m_triggerEnabled; }
    // The last block's trigger search found a start frame (the indicator is yellow).
    bool synchronized() const { return m_synchronized; }

    // No block has come for a while: the grid with the text in place of the traces, which
    // would be stale.
    void showNoData(const QString& text);

    // Shows the picture's area (logical) at its place from the painter's origin.
    void paint(QPainter& painter, const QRect& area) const;
    void paint(QPainter& painter) const { paint(painter, QRect(0, 0, Width, Height)); }

private:
    QRect logical(const QRect& device) const;
    void drawNoData();

    qreal m_ratio = 1;
    BackgroundRows m_background;
    QImage m_image;
    TouchedColumns m_touched;
    QRect m_erased;
    bool m_wholeChanged = true;  // the picture is not the background with traces
    bool m_triggerEnabled = false;
    bool m_synchronized = false;
    QString m_noData;  // the text shown in place of the traces, if any
};

}  // namespace veruziva
