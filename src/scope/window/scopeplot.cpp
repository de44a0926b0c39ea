#include "scope/window/scopeplot.h"

#include <QMouseEvent>
#include <QPainter>
#include <cmath>

#include "base/scopecolours.h"
#include "platform/captureformat.h"
#include "scope/scopeacquisition.h"
#include "scope/timebase.h"
#include "scope/window/scopecsv.h"
#include "scope/window/scopeunits.h"

namespace veruziva {

namespace {

using namespace scopecolours;

constexpr QRgb ReferenceColour = 0xC0E0E0E0;
constexpr QRgb CursorColour = 0xFFFFFFFF;
// XY draws at most this many points of a long trace.
constexpr std::size_t MostXyPoints = 8192;

QColor TraceColour(int channel) {
    return QColor::fromRgba(channel == 0 ? Yellow : Aqua);
}

QString ChannelLetter(int channel) {
    return channel == 0 ? QStringLiteral("A") : QStringLiteral("B");
}

}  // namespace

ScopePlot::ScopePlot(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("ScopePlot"));
    setMinimumSize(400, 260);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ScopePlot::setView(const ScopePlotView& view) {
    const bool axesChanged = view.xy != m_view.xy;
    m_view = view;
    if (axesChanged) {
        clearCursors();
    }
    update();
}

void ScopePlot::setSource(const ScopeAcquisition* source) {
    m_source = source;
    update();
}

void ScopePlot::setStatus(const QString& status) {
    if (status != m_status) {
        m_status = status;
        update();
    }
}

void ScopePlot::setCursor(int index, const ScopeCursor& cursor) {
    m_cursors.at(static_cast<std::size_t>(index)) = cursor;
    update();
    emit cursorsChanged();
}

void ScopePlot::clearCursors() {
    m_cursors = {};
    update();
    emit cursorsChanged();
}

double ScopePlot::spanSeconds() const {
    return m_view.secondsPerDivision * ScopeDivisions;
}

double ScopePlot::timeLeft() const {
    if (m_view.rolling) {
        return -spanSeconds();  // the newest sample at the right edge
    }
    if (m_source == nullptr || m_source->shown().empty()) {
        return -spanSeconds() / 2.0;
    }
    const Acquisition& shown = m_source->shown();
    return (shown.leftEdge - TimeZero(shown, false)) / SampleRate;
}

std::pair<double, double> ScopePlot::yMapping(int channel) const {
    const ScopeChannelView& c = m_view.channels.at(static_cast<std::size_t>(channel));
    const double pixelsPerDivision = height() / double(ScopeVerticalDivisions);
    const double middle = height() / 2.0;
    // y = middle - (units / perDivision + offset) * pixelsPerDivision, units linear in raw.
    const double perRaw = c.scale.calibrated() ? c.scale.factor : 1.0;
    const double zero = c.scale.calibrated() ? c.scale.zero : 0.0;
    const double gain = -perRaw / c.perDivision * pixelsPerDivision;
    return {gain, middle - c.offsetDivisions * pixelsPerDivision - gain * zero};
}

ScopeCursor ScopePlot::cursorAt(QPointF point) const {
    const double w = std::max(width(), 1);
    const double h = std::max(height(), 1);
    const double across = point.x() / w * ScopeDivisions;  // divisions from the left
    const double up = (h / 2.0 - point.y()) / (h / ScopeVerticalDivisions);
    const ScopeChannelView& level =
        m_view.channels[m_view.xy || m_view.cursorChannel == ScopeChannel::B ? 1 : 0];
    ScopeCursor cursor;
    if (m_view.xy) {
        const ScopeChannelView& a = m_view.channels[0];
        cursor.x = (across - ScopeDivisions / 2.0 - a.offsetDivisions) * a.perDivision;
    } else {
        cursor.x = timeLeft() + across * m_view.secondsPerDivision;
    }
    cursor.y = (up - level.offsetDivisions) * level.perDivision;
    return cursor;
}

QPointF ScopePlot::pointOf(const ScopeCursor& cursor) const {
    const double w = width();
    const double h = height();
    const ScopeChannelView& level =
        m_view.channels[m_view.xy || m_view.cursorChannel == ScopeChannel::B ? 1 : 0];
    double across = 0.0;
    if (m_view.xy) {
        const ScopeChannelView& a = m_view.channels[0];
        across = cursor.x / a.perDivision + a.offsetDivisions + ScopeDivisions / 2.0;
    } else {
        across = (cursor.x - timeLeft()) / m_view.secondsPerDivision;
    }
    const double up = cursor.y / level.perDivision + level.offsetDivisions;
    return {across * w / ScopeDivisions, h / 2.0 - up * h / ScopeVerticalDivisions};
}

QString ScopePlot::cursorText() const {
    if (!m_cursors[0] && !m_cursors[1]) {
        return {};
    }
    const int levelChannel = m_view.xy || m_view.cursorChannel == ScopeChannel::B ? 1 : 0;
    const QString xUnit = m_view.xy ? ChannelUnit(m_view.channels[0].scale) : QStringLiteral("s");
    const QString xName = m_view.xy ? QStringLiteral("A") : QStringLiteral("t");
    const QString yUnit =
        ChannelUnit(m_view.channels[static_cast<std::size_t>(levelChannel)].scale);
    const QString yName = ChannelLetter(levelChannel);
    QStringList parts;
    for (std::size_t i = 0; i < 2; ++i) {
        if (m_cursors[i]) {
            parts.append(QStringLiteral("%1%2 %3").arg(xName).arg(i + 1).arg(
                EngineeringText(m_cursors[i]->x, xUnit)));
        }
    }
    if (m_cursors[0] && m_cursors[1]) {
        const double dx = m_cursors[1]->x - m_cursors[0]->x;
        parts.append(QStringLiteral("Δ%1 %2").arg(xName, EngineeringText(dx, xUnit)));
        if (!m_view.xy) {
            parts.append(QStringLiteral("1/Δt ") +
                         (dx == 0.0 ? QStringLiteral("--")
                                    : EngineeringText(1.0 / std::abs(dx), QStringLiteral("Hz"))));
        }
    }
    for (std::size_t i = 0; i < 2; ++i) {
        if (m_cursors[i]) {
            parts.append(QStringLiteral("%1%2 %3").arg(yName).arg(i + 1).arg(
                EngineeringText(m_cursors[i]->y, yUnit)));
        }
    }
    if (m_cursors[0] && m_cursors[1]) {
        parts.append(QStringLiteral("Δ%1 %2").arg(
            yName, EngineeringText(m_cursors[1]->y - m_cursors[0]->y, yUnit)));
    }
    return parts.join(QStringLiteral("   "));
}

void ScopePlot::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    m_divisions.clear();
}

void ScopePlot::mousePressEvent(QMouseEvent* event) {
    const bool second =
        event->button() == Qt::RightButton || (event->modifiers() & Qt::ShiftModifier) != 0;
    if (event->button() != Qt::LeftButton && event->button() != Qt::RightButton) {
        return;
    }
    m_dragging = second ? 1 : 0;
    setCursor(m_dragging, cursorAt(event->position()));
}

void ScopePlot::mouseMoveEvent(QMouseEvent* event) {
    if (m_dragging >= 0 && (event->buttons() & (Qt::LeftButton | Qt::RightButton)) != 0) {
        setCursor(m_dragging, cursorAt(event->position()));
    }
}

void ScopePlot::layOutGrid() {
    const double w = width();
    const double h = height();
    m_divisions.clear();
    m_axes.clear();
    for (int i = 1; i < ScopeDivisions; ++i) {
        m_divisions.append(QLineF(i * w / ScopeDivisions, 0, i * w / ScopeDivisions, h));
    }
    for (int i = 1; i < ScopeVerticalDivisions; ++i) {
        m_divisions.append(
            QLineF(0, i * h / ScopeVerticalDivisions, w, i * h / ScopeVerticalDivisions));
    }
    m_axes.append(QLineF(w / 2, 0, w / 2, h));
    m_axes.append(QLineF(0, h / 2, w, h / 2));
    for (int i = 0; i < ScopeDivisions * 5; ++i) {
        const double x = i * w / (ScopeDivisions * 5);
        m_axes.append(QLineF(x, h / 2 - 3, x, h / 2 + 3));
    }
    for (int i = 0; i < ScopeVerticalDivisions * 5; ++i) {
        const double y = i * h / (ScopeVerticalDivisions * 5);
        m_axes.append(QLineF(w / 2 - 3, y, w / 2 + 3, y));
    }
    m_axes.append(QLineF(0, 0, w - 1, 0));
    m_axes.append(QLineF(w - 1, 0, w - 1, h - 1));
    m_axes.append(QLineF(w - 1, h - 1, 0, h - 1));
    m_axes.append(QLineF(0, h - 1, 0, 0));
}

void ScopePlot::drawGrid(QPainter& painter) {
    if (m_divisions.isEmpty()) {
        layOutGrid();
    }
    // Opaque colours: blending lines is the slow path of the raster engine.
    painter.fillRect(rect(), QColor::fromRgba(Teal));
    painter.setPen(QPen(QColor(60, 158, 158), 0));
    painter.drawLines(m_divisions);
    painter.setPen(QPen(QColor(120, 188, 188), 0));
    painter.drawLines(m_axes);
}

void ScopePlot::drawTrace(QPainter& painter, const Acquisition& acquisition, int channel,
                          const QColor& colour) {
    const std::span<const float> trace =
        acquisition.trace(channel == 0 ? ScopeChannel::A : ScopeChannel::B);
    if (trace.empty()) {
        return;
    }
    const auto [gain, offset] = yMapping(channel);
    // Sample i's x: its time from the trace's zero against the screen's left edge.
    const double pixelsPerSample = width() / (spanSeconds() * SampleRate);
    const double x0 = ((-TimeZero(acquisition, m_view.rolling)) / SampleRate - timeLeft()) *
                      width() / spanSeconds();
    const auto xOf = [&](double i) { return x0 + i * pixelsPerSample; };
    const auto n = static_cast<std::ptrdiff_t>(trace.size());
    const auto first = std::clamp<std::ptrdiff_t>(
        static_cast<std::ptrdiff_t>(std::floor(-x0 / pixelsPerSample)), 0, n - 1);
    const auto last = std::clamp<std::ptrdiff_t>(
        static_cast<std::ptrdiff_t>(std::ceil((width() - x0) / pixelsPerSample)), 0, n - 1);
    m_line.clear();
    const std::ptrdiff_t samples = last - first + 1;
    if (samples <= 2 * width()) {
        for (std::ptrdiff_t i = first; i <= last; ++i) {
            m_line.append(
                QPointF(xOf(double(i)), gain * trace[static_cast<std::size_t>(i)] + offset));
        }
    } else {
        const double left = xOf(double(first));
        const int columns = std::max(1, static_cast<int>(std::lround(xOf(double(last)) - left)));
        MinMaxColumns(
            trace.subspan(static_cast<std::size_t>(first), static_cast<std::size_t>(samples)),
            columns, m_columns);
        drawColumns(painter, left, channel, colour);
        return;
    }
    painter.setPen(QPen(colour, 0));
    painter.drawPolyline(m_line);
}

// A rolling trace's columns come from the frames kept, the newest at the right edge.
void ScopePlot::drawRolling(QPainter& painter, int channel, const QColor& colour) {
    const std::int64_t samples = m_source->rollingFrames().second;
    const double span = m_view.secondsPerDivision * ScopeDivisions * SampleRate;
    const int columns =
        std::clamp(static_cast<int>(std::lround(double(samples) / span * width())), 0, width());
    if (columns == 0) {
        return;
    }
    m_source->columns(channel == 0 ? ScopeChannel::A : ScopeChannel::B, columns, m_columns);
    drawColumns(painter, width() - columns, channel, colour);
}

void ScopePlot::drawColumns(QPainter& painter, double left, int channel, const QColor& colour) {
    const auto [gain, offset] = yMapping(channel);
    m_line.clear();
    // Down one column and up the next: one line joins them, nothing between is lost.
    for (std::size_t c = 0; c < m_columns.size(); ++c) {
        const double x = left + double(c) + 0.5;
        const double top = gain * m_columns[c].max + offset;
        const double bottom = gain * m_columns[c].min + offset;
        const bool down = c % 2 == 0;
        m_line.append(QPointF(x, down ? std::min(top, bottom) : std::max(top, bottom)));
        m_line.append(QPointF(x, down ? std::max(top, bottom) : std::min(top, bottom)));
    }
    painter.setPen(QPen(colour, 0));
    painter.drawPolyline(m_line);
}

void ScopePlot::drawXy(QPainter& painter, const Acquisition& acquisition, const QColor& colour) {
    const auto [gainA, offsetA] = yMapping(0);
    const auto [gainB, offsetB] = yMapping(1);
    // A across: the same mapping as up, turned, with ten divisions across.
    const double across =
        double(width()) / ScopeDivisions / (double(height()) / ScopeVerticalDivisions);
    const double middleX = width() / 2.0;
    const double middleY = height() / 2.0;
    const std::size_t n = acquisition.a.size();
    const std::size_t stride = std::max<std::size_t>(1, n / MostXyPoints);
    m_line.clear();
    for (std::size_t i = 0; i < n; i += stride) {
        const double yA = gainA * acquisition.a[i] + offsetA;
        m_line.append(
            QPointF(middleX + (middleY - yA) * across, gainB * acquisition.b[i] + offsetB));
    }
    painter.setPen(QPen(colour, 0));
    painter.drawPolyline(m_line);
}

QString ScopePlot::axisText() const {
    QStringList parts;
    for (int c = 0; c < 2; ++c) {
        const ScopeChannelView& channel = m_view.channels[static_cast<std::size_t>(c)];
        if (channel.shown || m_view.xy) {
            parts.append(ChannelLetter(c) + QLatin1Char(' ') +
                         PerDivisionText(channel.perDivision, ChannelUnit(channel.scale)));
        }
    }
    if (!m_view.xy) {
        parts.append(TimeBaseText(m_view.secondsPerDivision));
    }
    return parts.join(QStringLiteral("   "));
}

void ScopePlot::drawMarks(QPainter& painter) {
    // Laid out again only when their texts change.
    painter.setPen(QColor::fromRgba(White));
    const QString axes = axisText();
    if (m_axisText.text() != axes) {
        m_axisText.setText(axes);
    }
    if (m_statusText.text() != m_status) {
        m_statusText.setText(m_status);
    }
    painter.drawStaticText(QPointF(6, 3), m_axisText);
    painter.drawStaticText(QPointF(width() - 6 - m_statusText.size().width(), 3), m_statusText);
    if (m_view.xy || m_view.rolling) {
        return;
    }
    // The trigger's level at the right edge and its instant at the top, in the source's colour.
    const int source = m_view.triggerSource == ScopeChannel::B ? 1 : 0;
    const ScopeChannelView& channel = m_view.channels[static_cast<std::size_t>(source)];
    const double raw = ToRaw(m_view.triggerLevel, channel.scale);
    const auto [gain, offset] = yMapping(source);
    const double y = gain * raw + offset;
    const double x = -timeLeft() / spanSeconds() * width();
    painter.setPen(Qt::NoPen);
    painter.setBrush(TraceColour(source));
    const double w = width();
    painter.drawPolygon(QPolygonF({QPointF(w, y), QPointF(w - 8, y - 5), QPointF(w - 8, y + 5)}));
    painter.drawPolygon(QPolygonF({QPointF(x, 8), QPointF(x - 5, 0), QPointF(x + 5, 0)}));
    painter.setBrush(Qt::NoBrush);
}

void ScopePlot::drawCursors(QPainter& painter) {
    QPen pen(QColor::fromRgba(CursorColour), 0, Qt::DashLine);
    for (std::size_t i = 0; i < 2; ++i) {
        if (!m_cursors[i]) {
            continue;
        }
        const QPointF point = pointOf(*m_cursors[i]);
        pen.setStyle(i == 0 ? Qt::DashLine : Qt::DotLine);
        painter.setPen(pen);
        painter.drawLine(QPointF(point.x(), 0), QPointF(point.x(), height()));
        painter.drawLine(QPointF(0, point.y()), QPointF(width(), point.y()));
        painter.drawText(point + QPointF(4, -4), QString::number(i + 1));
    }
    const QString text = cursorText();
    if (!text.isEmpty()) {
        painter.setPen(QColor::fromRgba(White));
        painter.drawText(QPointF(6, height() - 6), text);
    }
}

void ScopePlot::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    drawGrid(painter);
    painter.setClipRect(rect());
    if (m_source == nullptr) {
        drawMarks(painter);
        drawCursors(painter);
        return;
    }
    // A rolling trace is drawn from its columns alone: building it would copy the whole span.
    const bool fromColumns = m_view.rolling && !m_view.xy;
    const Acquisition empty;
    for (const auto& [acquisition, reference] :
         {std::pair{&m_source->reference(), true},
          std::pair{fromColumns ? &empty : &m_source->shown(), false}}) {
        if (!reference && fromColumns) {
            for (int c = 0; c < 2; ++c) {
                if (m_view.channels[static_cast<std::size_t>(c)].shown) {
                    drawRolling(painter, c, TraceColour(c));
                }
            }
            continue;
        }
        if (acquisition->empty()) {
            continue;
        }
        if (m_view.xy) {
            drawXy(painter, *acquisition,
                   reference ? QColor::fromRgba(ReferenceColour) : TraceColour(0));
            continue;
        }
        for (int c = 0; c < 2; ++c) {
            if (m_view.channels[static_cast<std::size_t>(c)].shown) {
                QColor colour = reference ? QColor::fromRgba(ReferenceColour) : TraceColour(c);
                drawTrace(painter, *acquisition, c, colour);
            }
        }
    }
    drawMarks(painter);
    drawCursors(painter);
}

}  // namespace veruziva
