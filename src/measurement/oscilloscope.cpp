#include "measurement/oscilloscope.h"

#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/runtimeerror.h"

namespace veruziva {
namespace {

constexpr std::int32_t TraceWindow = 265;  // a trigger must leave this many frames after it
constexpr double ScaledLimit = 1e15;       // far outside the picture, safe to attenuate in 64 bits

// The device pixel where a logical coordinate starts.
int DeviceOf(int logical, qreal ratio) {
    return static_cast<int>(std::floor(logical * ratio + 1e-9));
}

// Background, grid lines and centre ticks, 1 device pixel wide at their logical places.
QImage Background(qreal ratio) {
    // Whole device pixels covering the logical picture (a ratio of 1.5 leaves half a pixel).
    const auto covering = [ratio](int logical) {
        return static_cast<int>(std::ceil(logical * ratio - 1e-9));
    };
    const int w = covering(Oscilloscope::Width);
    const int h = covering(Oscilloscope::Height);
    QImage image(w, h, QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    image.fill(QColor::fromRgb(Oscilloscope::Teal));
    for (int k = 0; k <= 6; ++k) {
        std::fill_n(reinterpret_cast<QRgb*>(image.scanLine(DeviceOf(40 * k + 13, ratio))), w,
                    Oscilloscope::White);
    }
    // The ticks on the centre line, from 3 above to 2 below it.
    const int h2 = Oscilloscope::Height / 2;
    for (int y = DeviceOf(h2 - 3, ratio); y < DeviceOf(h2 + 3, ratio); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int k = 0; k <= 7; ++k) {
            const int x = DeviceOf(44 * k, ratio);
            if (x < w) {
                line[x] = Oscilloscope::White;
            }
        }
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
      m_columns(image.width()),
      m_rows(image.height()),
      m_touched(&touched),
      m_columnsPerFrame(std::llround(std::ldexp(image.devicePixelRatio(), FixedPoint) /
                                     (settings.columnStep == 8 ? 8 : 1))),
      m_startFrame(startFrame) {
    // Samples are scaled to device rows; the complement and the attenuation's truncation stay
    // as they are in logical pixels at a ratio of 1.
    const qreal ratio = image.devicePixelRatio();
    auto setUp = [ratio](Trace& trace, bool show, const ChannelDisplay& channel, int attenuation,
                         int offset, QRgb colour, std::int16_t startSample) {
        trace.show = show;
        trace.scale = channel.scopeFactor * ratio;
        trace.zero = channel.zero;
        trace.keep = 100 - std::clamp(attenuation, 0, 100);
        trace.centre = DeviceOf(Oscilloscope::TraceCentre + std::clamp(offset, -128, 128), ratio);
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
    if (x < 0 || x >= m_columns || firstStep > lastStep) {
        return;
    }
    // Keep only the steps whose rows lie inside the picture.
    const std::int64_t top = 0;
    const std::int64_t bottom = m_rows - 1;
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
    const std::int64_t dx = x1 - x0;
    if (dx < 0) {
        throw RangeCheckError();
    }
    const std::int64_t dy = y1 - y0;
    const int direction = dy < 0 ? -1 : 1;
    const std::int64_t rise = dy < 0 ? -dy : dy;
    const std::int64_t steps = std::max(dx, rise);
    if (steps == 0) {
        return;  // a line of no length draws nothing
    }
    if (rise < dx) {
        // Flatter than a diagonal: a pixel a column, rows rounded (at a ratio of 1 only a level
        // step to the next column, its start point).
        for (std::int64_t k = 0; k < dx; ++k) {
            const std::int64_t row = y0 + direction * ((2 * k * rise + dx) / (2 * dx));
            fillColumn(x0 + static_cast<std::int32_t>(k), row, direction, 0, 0, trace);
        }
        return;
    }
    // A pixel a row: step k lies in the column nearest to k * dx / steps, halves rounded up.
    // At a ratio of 1 (dx 0 or 1) a steep step puts its first half in this column, the rest in
    // the next.
    for (std::int64_t c = 0; c <= dx; ++c) {
        const std::int64_t first = c == 0 ? 0 : ((2 * c - 1) * steps + 2 * dx - 1) / (2 * dx);
        const std::int64_t last =
            c == dx ? steps - 1
                    : std::min(steps - 1, ((2 * c + 1) * steps + 2 * dx - 1) / (2 * dx) - 1);
        fillColumn(x0 + static_cast<std::int32_t>(c), y0, direction, first, last, trace);
    }
}

void TouchedColumns::resize(int columns) {
    for (auto& spans : m_spans) {
        spans.assign(static_cast<std::size_t>(columns), Span{});
    }
}

void TouchedColumns::clear() {
    for (auto& spans : m_spans) {
        std::fill(spans.begin(), spans.end(), Span{});
    }
}

QRect TouchedColumns::bounds() const {
    const auto columns = static_cast<std::int32_t>(m_spans[0].size());
    std::int32_t left = columns;
    std::int32_t right = -1;
    std::int32_t top = std::numeric_limits<std::int32_t>::max();
    std::int32_t bottom = -1;
    for (const auto& spans : m_spans) {
        for (std::int32_t x = 0; x < columns; ++x) {
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
            for (std::size_t x = 0; x < spans.size(); ++x) {
                const Span& span = spans[x];
                for (std::int32_t y = span.first; y <= span.last; ++y) {
                    bits[y * stride + static_cast<qsizetype>(x)] =
                        background.pixel(static_cast<int>(x), y);
                }
            }
        }
    }
    clear();
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

Oscilloscope::Oscilloscope() : m_background(Background(1)), m_image(Background(1)) {
    m_touched.resize(m_image.width());
}

void Oscilloscope::setDevicePixelRatio(qreal ratio) {
    if (!(ratio > 0) || ratio == m_ratio) {
        return;
    }
    const qreal scale = ratio / m_ratio;
    m_ratio = ratio;
    const QImage shown = m_image;
    const BackgroundRows shownBackground = std::move(m_background);
    m_background = BackgroundRows(Background(ratio));
    m_image = Background(ratio);
    m_touched.resize(m_image.width());
    m_wholeChanged = true;
    if (!m_noData.isEmpty()) {
        drawNoData();
        return;
    }
    // The traces are drawn anew by the next block; until then (or while stopped) the last ones
    // are shown scaled over the new grid.
    const auto scaled = [scale](int d) { return static_cast<int>(std::floor(d * scale + 1e-9)); };
    for (int y = 0; y < shown.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(shown.constScanLine(y));
        for (int x = 0; x < shown.width(); ++x) {
            if (line[x] == shownBackground.pixel(x, y)) {
                continue;
            }
            for (int row = scaled(y); row < std::max(scaled(y + 1), scaled(y) + 1); ++row) {
                auto* target = reinterpret_cast<QRgb*>(m_image.scanLine(row));
                for (int column = scaled(x); column < std::max(scaled(x + 1), scaled(x) + 1);
                     ++column) {
                    target[column] = line[x];
                }
            }
        }
    }
}

ScopePlotter Oscilloscope::begin(std::span<const StereoFrame> frames, const ScopeSettings& settings,
                                 const DisplayParameters& display) {
    if (frames.empty()) {
        throw RangeCheckError();
    }
    if (m_wholeChanged) {
        m_background.paint(m_image);
        m_touched.clear();
        m_erased = m_image.rect();
        m_wholeChanged = false;
        m_noData.clear();
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

QRect Oscilloscope::logical(const QRect& device) const {
    if (device.isEmpty()) {
        return {};
    }
    // The logical pixels that hold the device pixels; where the ratio is not whole, one more
    // around them, as the window's rounding of the repainted area may differ.
    const auto toLogical = [this](int d) { return static_cast<int>(std::floor(d / m_ratio)); };
    const int margin = m_ratio == std::floor(m_ratio) ? 0 : 1;
    return QRect(QPoint(toLogical(device.left()), toLogical(device.top())),
                 QPoint(toLogical(device.right()), toLogical(device.bottom())))
        .adjusted(-margin, -margin, margin, margin)
        .intersected(QRect(0, 0, Width, Height));
}

QRect Oscilloscope::changedArea() const {
    return m_wholeChanged ? QRect(0, 0, Width, Height)
                          : logical(m_erased.united(m_touched.bounds()));
}

void Oscilloscope::showNoData(const QString& text) {
    m_noData = text;
    m_wholeChanged = true;
    m_synchronized = false;
    drawNoData();
}

void Oscilloscope::drawNoData() {
    m_background.paint(m_image);
    QPainter painter(&m_image);
    painter.setPen(QColor::fromRgb(White));
    painter.fillRect(QRect(8, TraceCentre - 30, Width - 16, 60), QColor::fromRgb(Teal));
    painter.drawText(QRect(8, TraceCentre - 30, Width - 16, 60), Qt::AlignCenter, m_noData);
}

void Oscilloscope::paint(QPainter& painter, const QRect& area) const {
    // The area's device pixels, shown at the area's logical size.
    const QRectF source(area.x() * m_ratio, area.y() * m_ratio, area.width() * m_ratio,
                        area.height() * m_ratio);
    painter.drawImage(QPointF(area.topLeft()), m_image, source);
}

}  // namespace veruziva
