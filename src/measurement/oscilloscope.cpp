#include "measurement/oscilloscope.h"

#include <QPainter>
#include <algorithm>
#include <cstring>

#include "platform/runtimeerror.h"

namespace veruziva {
namespace {

constexpr std::int32_t TraceWindow = 265;  // a trigger must leave this many frames after it
constexpr double ScaledLimit = 1e15;       // far outside the picture, safe to attenuate in 64 bits

QPen GridPen() {
    QPen pen{QColor::fromRgb(Oscilloscope::White)};
    pen.setWidth(0);
    pen.setCapStyle(Qt::FlatCap);  // like the line primitive: the end point is not drawn
    return pen;
}

// Background, grid lines and centre ticks; with the centre line for a repaint.
QImage Background(bool centreLine) {
    const int w = Oscilloscope::Width;
    const int h = Oscilloscope::Height;
    QImage image(w, h, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.fillRect(0, 0, w, h, QColor::fromRgb(Oscilloscope::Teal));
    painter.setPen(GridPen());
    if (centreLine) {
        painter.drawLine(0, h / 2, w, h / 2);
    }
    for (int k = 0; k <= 7; ++k) {
        painter.drawLine(44 * k, h / 2 - 3, 44 * k, h / 2 + 3);
    }
    for (int k = 0; k <= 6; ++k) {
        painter.drawLine(0, 40 * k + 13, w, 40 * k + 13);
    }
    return image;
}

// One search on a channel: moves through the frames until a rising step through the level or
// the end of the search range. It continues from the index and current frame that an earlier
// search left.
bool SearchRisingStep(std::span<const StereoFrame> frames, std::int16_t StereoFrame::*channel,
                      std::int32_t level, std::int32_t& i, std::size_t& currentFrame) {
    const auto n = static_cast<std::int32_t>(frames.size());
    std::int32_t previous = 0;
    std::int32_t current = 0;
    do {
        previous = frames[currentFrame].*channel;
        currentFrame = static_cast<std::size_t>(i);
        current = frames[currentFrame].*channel;
        ++i;
    } while (!(current > previous && current >= level && previous <= level) &&
             !(i > n - TraceWindow));
    return i < n - TraceWindow;
}

}  // namespace

TriggerResult FindTrigger(std::span<const StereoFrame> frames, const ScopeSettings& settings) {
    TriggerResult result;
    const auto n = static_cast<std::int32_t>(frames.size());
    if (!(settings.triggerSourceAEnabled || settings.triggerSourceBEnabled) ||
        n - TraceWindow <= 1) {
        // Triggering is off, or the block is too short for a trigger to leave a whole window.
        return result;
    }
    std::int32_t i = 1;
    std::size_t currentFrame = 0;
    if (settings.triggerSourceADown &&
        SearchRisingStep(frames, &StereoFrame::a, TriggerLevelTop - settings.triggerLevelPositionA,
                         i, currentFrame)) {
        result = {i, true};
    }
    if (settings.triggerSourceBDown &&
        SearchRisingStep(frames, &StereoFrame::b, TriggerLevelTop - settings.triggerLevelPositionB,
                         i, currentFrame)) {
        result = {i, true};
    }
    // S stays below N - 265, so the window of 266 frames always lies inside the block.
    return result;
}

std::int64_t ScopePlotter::Trace::scaled(std::int16_t sample) const {
    const double value = std::nearbyint((static_cast<double>(sample) - zero) * scale);
    // An absurd calibration factor can put a trace anywhere; keep it within 64-bit arithmetic.
    return static_cast<std::int64_t>(std::clamp(value, -ScaledLimit, ScaledLimit));
}

ScopePlotter::ScopePlotter(QImage& image, TouchedColumns& touched, const ScopeSettings& settings,
                           const DisplayParameters& display, std::int32_t startFrame,
                           StereoFrame start)
    : m_bits(image.bits()),
      m_bytesPerLine(image.bytesPerLine()),
      m_touched(&touched),
      m_columnStep(settings.columnStep == 8 ? 8 : 1),
      m_startFrame(startFrame) {
    auto setUp = [](Trace& trace, bool show, const ChannelDisplay& channel, int attenuation,
                    int offset, QRgb colour, std::int16_t startSample) {
        trace.show = show;
        trace.scale = channel.scopeFactor;
        trace.zero = channel.zero;
        trace.keep = 100 - std::clamp(attenuation, 0, 100);
        trace.centre = Oscilloscope::TraceCentre + std::clamp(offset, -128, 128);
        trace.colour = colour;
        trace.yPrevious = trace.keep * (-trace.scaled(startSample) - 1) / 100;
    };
    setUp(m_a, settings.showA, display.a, settings.attenuationA, settings.offsetA,
          Oscilloscope::Yellow, start.a);
    setUp(m_b, settings.showB, display.b, settings.attenuationB, settings.offsetB,
          Oscilloscope::Aqua, start.b);
    m_b.index = 1;
}

void ScopePlotter::fillColumn(std::int32_t x, std::int64_t y0, int direction,
                              std::int64_t firstStep, std::int64_t lastStep, const Trace& trace) {
    if (x < 0 || x >= Oscilloscope::Width || firstStep > lastStep) {
        return;
    }
    // Keep only the steps whose rows lie inside the picture.
    const std::int64_t top = 0;
    const std::int64_t bottom = Oscilloscope::Height - 1;
    if (direction > 0) {
        firstStep = std::max(firstStep, top - y0);
        lastStep = std::min(lastStep, bottom - y0);
    } else {
        firstStep = std::max(firstStep, y0 - bottom);
        lastStep = std::min(lastStep, y0 - top);
    }
    if (firstStep > lastStep) {
        return;
    }
    const std::int64_t firstY = y0 + direction * firstStep;
    const std::int64_t lastY = y0 + direction * lastStep;
    m_touched->touch(trace.index, x, static_cast<std::int32_t>(std::min(firstY, lastY)),
                     static_cast<std::int32_t>(std::max(firstY, lastY)));
    for (std::int64_t k = firstStep; k <= lastStep; ++k) {
        const std::int64_t y = y0 + direction * k;
        auto* line = reinterpret_cast<std::uint32_t*>(m_bits + y * m_bytesPerLine);
        line[x] = trace.colour;
    }
}

void ScopePlotter::drawStep(std::int32_t x0, std::int64_t y0, std::int32_t x1, std::int64_t y1,
                            const Trace& trace) {
    const std::int32_t dx = x1 - x0;
    if (dx != 0 && dx != 1) {
        throw RangeCheckError();
    }
    const std::int64_t dy = y1 - y0;
    const int direction = dy < 0 ? -1 : 1;
    const std::int64_t steps = std::max<std::int64_t>(dx, dy < 0 ? -dy : dy);
    if (steps == 0) {
        return;  // a line of no length draws nothing
    }
    if (dx == 0 || steps == 1) {
        // Straight down or up one column, or a single step right: n pixels from the start.
        fillColumn(x0, y0, direction, 0, steps - 1, trace);
        return;
    }
    // Steep step to the next column: the first half in this column, the rest in the next.
    const std::int64_t switchStep = (steps + 1) / 2;
    fillColumn(x0, y0, direction, 0, switchStep - 1, trace);
    fillColumn(x1, y0, direction, switchStep, steps - 1, trace);
}

QRect TouchedColumns::bounds() const {
    std::int32_t left = Columns;
    std::int32_t right = -1;
    std::int32_t top = std::numeric_limits<std::int32_t>::max();
    std::int32_t bottom = -1;
    for (const auto& spans : m_spans) {
        for (int x = 0; x < Columns; ++x) {
            const Span& span = spans[static_cast<std::size_t>(x)];
            if (span.first <= span.last) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, span.first);
                bottom = std::max(bottom, span.last);
            }
        }
    }
    return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

void TouchedColumns::restore(QImage& image, const BackgroundRows& background) {
    std::int64_t pixels = 0;
    for (const auto& spans : m_spans) {
        for (const Span& span : spans) {
            pixels += span.first <= span.last ? span.last - span.first + 1 : 0;
        }
    }
    // Dense traces (a fast signal at 1:8) cover much of the picture: whole rows are then
    // cheaper to lay than pixel after pixel down the columns.
    if (pixels > static_cast<std::int64_t>(image.width()) * image.height() / 8) {
        background.paint(image);
    } else {
        auto* bits = reinterpret_cast<std::uint32_t*>(image.bits());
        const qsizetype stride =
            image.bytesPerLine() / static_cast<qsizetype>(sizeof(std::uint32_t));
        for (const auto& spans : m_spans) {
            for (int x = 0; x < Columns; ++x) {
                const Span& span = spans[static_cast<std::size_t>(x)];
                for (std::int32_t y = span.first; y <= span.last; ++y) {
                    bits[y * stride + x] = background.pixel(x, y);
                }
            }
        }
    }
    m_spans = {};
}

BackgroundRows::BackgroundRows(const QImage& background) {
    const auto width = static_cast<std::size_t>(background.width());
    for (int y = 0; y < background.height(); ++y) {
        const auto* line = reinterpret_cast<const std::uint32_t*>(background.constScanLine(y));
        std::vector<std::uint32_t> row(line, line + width);
        auto same = std::find(m_rows.begin(), m_rows.end(), row);
        if (same == m_rows.end()) {
            same = m_rows.insert(m_rows.end(), std::move(row));
        }
        m_rowOf.push_back(static_cast<std::size_t>(same - m_rows.begin()));
    }
}

void BackgroundRows::paint(QImage& image) const {
    for (int y = 0; y < image.height(); ++y) {
        const std::vector<std::uint32_t>& row = m_rows[m_rowOf[static_cast<std::size_t>(y)]];
        std::memcpy(image.scanLine(y), row.data(), row.size() * sizeof(std::uint32_t));
    }
}

Oscilloscope::Oscilloscope() : m_background(Background(false)), m_image(Background(true)) {}

ScopePlotter Oscilloscope::begin(std::span<const StereoFrame> frames, const ScopeSettings& settings,
                                 const DisplayParameters& display) {
    if (frames.empty()) {
        throw RangeCheckError();
    }
    if (m_wholeChanged) {
        m_background.paint(m_image);
        m_touched = TouchedColumns();
        m_erased = m_image.rect();
        m_wholeChanged = false;
    } else {
        // Only the last traces' pixels differ from the background: no new picture each block.
        m_erased = m_touched.bounds();
        m_touched.restore(m_image, m_background);
    }
    m_triggerEnabled = settings.triggerSourceAEnabled || settings.triggerSourceBEnabled;
    const TriggerResult trigger = FindTrigger(frames, settings);
    m_synchronized = trigger.synchronized;
    return ScopePlotter(m_image, m_touched, settings, display, trigger.startFrame,
                        frames[static_cast<std::size_t>(trigger.startFrame)]);
}

QRect Oscilloscope::changedArea() const {
    return m_wholeChanged ? m_image.rect() : m_erased.united(m_touched.bounds());
}

void Oscilloscope::showNoData(const QString& text) {
    m_image = Background(true);
    m_wholeChanged = true;
    m_synchronized = false;
    QPainter painter(&m_image);
    painter.setPen(QColor::fromRgb(White));
    painter.fillRect(QRect(8, TraceCentre - 30, Width - 16, 60), QColor::fromRgb(Teal));
    painter.drawText(QRect(8, TraceCentre - 30, Width - 16, 60), Qt::AlignCenter, text);
}

void Oscilloscope::paint(QPainter& painter, const QRect& area) const {
    painter.drawImage(area.topLeft(), m_image, area);
}

}  // namespace veruziva
