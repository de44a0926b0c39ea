#include "analysis/window/spectrumplot.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <limits>

#include "base/scopecolours.h"

namespace veruziva {

namespace {

constexpr double LowestLogHz = 20.0;
constexpr double DbSpan = 160.0;  // a 16-bit converter's floor at the longest span fits
constexpr double DbStep = 20.0;
constexpr double DbHeadroom = 10.0;  // room over the highest peak for its marker
constexpr int MinLabelGap = 12;
constexpr double HarmonicOverFloor = 10.0;  // 10 dB over the mean noise per bin

const QColor Background = QColor::fromRgb(scopecolours::Teal);
const QColor Text = QColor::fromRgb(scopecolours::White);
const std::array<QColor, 2> Traces{QColor::fromRgb(scopecolours::Yellow),
                                   QColor::fromRgb(scopecolours::Aqua)};
const QColor Cursor = QColor(255, 96, 96);

QColor Grid(int alpha) {
    QColor colour = Text;
    colour.setAlpha(alpha);
    return colour;
}

// 1, 2 or 5 times a power of ten, at least `value`.
double NiceCeiling(double value) {
    if (value <= 0.0) {
        return 1.0;
    }
    const double decade = std::pow(10.0, std::floor(std::log10(value)));
    for (const double step : {1.0, 2.0, 5.0, 10.0}) {
        if (step * decade >= value * (1 - 1e-9)) {
            return step * decade;
        }
    }
    return 10.0 * decade;
}

QString HzLabel(double hz) {
    return hz >= 1000.0 ? QString::number(hz / 1000.0, 'g', 4) + QLatin1Char('k')
                        : QString::number(hz, 'g', 4);
}

QString ChannelName(int channel) {
    return channel == 0 ? QStringLiteral("A") : QStringLiteral("B");
}

}  // namespace

SpectrumPlot::SpectrumPlot(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("SpectrumPlot"));
    setMinimumSize(400, 250);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void SpectrumPlot::setSpectra(const std::array<const Spectrum*, 2>& spectra,
                              const std::array<ChannelScale, 2>& scales,
                              const std::array<ToneMeasurements, 2>& tones) {
    for (std::size_t c = 0; c < 2; ++c) {
        if (spectra[c] == &m_spectra[c]) {
            continue;  // the plot's own, measured again
        }
        // Copied into vectors kept from the last time: no allocation once the size is set.
        m_spectra[c].sampleRate = spectra[c]->sampleRate;
        m_spectra[c].size = spectra[c]->size;
        m_spectra[c].window = spectra[c]->window;
        m_spectra[c].noiseBandwidthBins = spectra[c]->noiseBandwidthBins;
        m_spectra[c].lobeHalfWidth = spectra[c]->lobeHalfWidth;
        m_spectra[c].power.assign(spectra[c]->power.begin(), spectra[c]->power.end());
        m_spectra[c].dc = spectra[c]->dc;
    }
    m_scales = scales;
    m_tones = tones;
    refreshCursors();
    updateAxis();
    update();
}

void SpectrumPlot::setView(const SpectrumPlotView& view) {
    if (view == m_view) {
        return;
    }
    m_view = view;
    refreshCursors();
    updateAxis();
    update();
}

void SpectrumPlot::placePlot() {
    const QFontMetrics metrics = fontMetrics();
    const int left = metrics.horizontalAdvance(QStringLiteral("-160.0")) + 10;
    const int top = metrics.height() * 2 + 4;
    const int bottom = metrics.height() * 2 + 8;
    const int right =
        m_axis.separate ? left : metrics.horizontalAdvance(QStringLiteral("20k")) / 2 + 6;
    m_plot = rect().adjusted(left, top, -right, -bottom);
}

double SpectrumPlot::binHz(int channel) const {
    const Spectrum& spectrum = m_spectra.at(static_cast<std::size_t>(channel));
    return spectrum.binHz() * (1.0 + m_view.clockPpm / 1e6);
}

double SpectrumPlot::xOf(double hz) const {
    const QRect& area = m_plot;
    double fraction = 0.0;
    if (m_view.logFrequency) {
        fraction =
            std::log(std::max(hz, 1e-9) / m_axis.fLow) / std::log(m_axis.fHigh / m_axis.fLow);
    } else {
        fraction = (hz - m_axis.fLow) / (m_axis.fHigh - m_axis.fLow);
    }
    return area.left() + fraction * area.width();
}

double SpectrumPlot::hzAt(double x) const {
    const QRect& area = m_plot;
    if (area.width() <= 0) {
        return m_axis.fLow;
    }
    const double fraction = (x - area.left()) / area.width();
    if (m_view.logFrequency) {
        return m_axis.fLow * std::pow(m_axis.fHigh / m_axis.fLow, fraction);
    }
    return m_axis.fLow + fraction * (m_axis.fHigh - m_axis.fLow);
}

double SpectrumPlot::yOf(int channel, double level) const {
    const QRect& area = m_plot;
    const auto c = static_cast<std::size_t>(channel);
    const double fraction = std::clamp(
        (level - m_axis.levelLow[c]) / (m_axis.levelHigh[c] - m_axis.levelLow[c]), 0.0, 1.0);
    return area.top() + (1.0 - fraction) * area.height();
}

double SpectrumPlot::levelOf(int channel, double power) const {
    const ChannelScale& scale = m_scales.at(static_cast<std::size_t>(channel));
    if (m_view.volts) {
        return PowerToRms(power, scale);
    }
    return power > 0.0 ? PowerToDb(power, scale) : -1000.0;
}

QString SpectrumPlot::levelUnit(int channel) const {
    const ChannelScale& scale = m_scales.at(static_cast<std::size_t>(channel));
    if (m_view.volts) {
        return scale.calibrated() ? QString(QLatin1Char(scale.unit)) : QStringLiteral("raw");
    }
    return scale.calibrated() ? QStringLiteral("dB") + QLatin1Char(scale.unit)
                              : QStringLiteral("dBFS");
}

QString SpectrumPlot::levelText(int channel, double level) const {
    if (m_view.volts) {
        return QString::number(level, 'g', 4) + QLatin1Char(' ') + levelUnit(channel);
    }
    return QString::number(level, 'f', 2) + QLatin1Char(' ') + levelUnit(channel);
}

void SpectrumPlot::updateAxis() {
    double sampleRate = SampleRate;
    double lowestBin = 0.0;
    std::array<double, 2> highest{m_view.volts ? 0.0 : -1000.0, m_view.volts ? 0.0 : -1000.0};
    for (int c = 0; c < 2; ++c) {
        const Spectrum& spectrum = m_spectra[static_cast<std::size_t>(c)];
        if (spectrum.empty() || !m_view.show[static_cast<std::size_t>(c)]) {
            continue;
        }
        sampleRate = spectrum.sampleRate;
        lowestBin = std::max(lowestBin, binHz(c));
        const auto peak = std::max_element(spectrum.power.begin() + 1, spectrum.power.end());
        highest[static_cast<std::size_t>(c)] = levelOf(c, *peak);
    }
    const Axis before = m_axis;
    const QRect placed = m_plot;
    placePlot();
    m_axis.fHigh = sampleRate / 2 * (1.0 + m_view.clockPpm / 1e6);
    m_axis.fLow = m_view.logFrequency ? std::max(LowestLogHz, lowestBin) : 0.0;
    // Levels in dB share an axis; RMS levels too unless one is in volts and the other raw.
    m_axis.separate =
        m_view.volts && m_view.show[0] && m_view.show[1] && levelUnit(0) != levelUnit(1);
    if (!m_axis.separate) {
        highest.fill(std::max(highest[0], highest[1]));
    }
    for (std::size_t c = 0; c < 2; ++c) {
        if (m_view.volts) {
            m_axis.levelLow[c] = 0.0;
            m_axis.levelHigh[c] = NiceCeiling(highest[c] * 1.1);
        } else {
            m_axis.levelHigh[c] =
                highest[c] > -1000.0 ? std::ceil((highest[c] + DbHeadroom) / DbStep) * DbStep : 0.0;
            m_axis.levelLow[c] = m_axis.levelHigh[c] - DbSpan;
        }
    }
    if (!(m_axis == before) || m_plot != placed || m_gridView != m_view) {
        m_grid = QPixmap();
        m_gridView = m_view;
    }
    updateTraces();
}

void SpectrumPlot::updateTraces() {
    const double ratio = devicePixelRatioF();
    const int firstColumn = static_cast<int>(std::floor(m_plot.left() * ratio));
    const int endColumn = static_cast<int>(std::ceil((m_plot.right() + 2) * ratio));
    for (int c = 0; c < 2; ++c) {
        std::vector<QPointF>& trace = m_traces[static_cast<std::size_t>(c)];
        trace.clear();
        const Spectrum& spectrum = m_spectra[static_cast<std::size_t>(c)];
        if (spectrum.empty() || !m_view.show[static_cast<std::size_t>(c)]) {
            continue;
        }
        const double step = binHz(c);
        // A device pixel column at a time, its highest bin, so that no peak is lost; where
        // bins are wider than a column, each bin where it lies. A logarithm per column, not per
        // bin.
        int low = std::max(1, static_cast<int>(std::ceil(hzAt(firstColumn / ratio) / step)));
        for (int column = firstColumn; column < endColumn && low < spectrum.bins(); ++column) {
            const int high = std::min(
                spectrum.bins(), static_cast<int>(std::ceil(hzAt((column + 1) / ratio) / step)));
            if (high <= low) {
                continue;
            }
            const auto begin = spectrum.power.begin();
            const auto best = std::max_element(begin + low, begin + high);
            const int bin = static_cast<int>(best - begin);
            trace.emplace_back(xOf(bin * step), yOf(c, levelOf(c, *best)));
            low = high;
        }
    }
}

void SpectrumPlot::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    m_grid = QPixmap();
    placePlot();
    updateTraces();
}

const FftWindow& SpectrumPlot::window(int channel) {
    const Spectrum& spectrum = m_spectra.at(static_cast<std::size_t>(channel));
    if (!m_window || m_window->kind() != spectrum.window || m_window->size() != spectrum.size) {
        m_window = std::make_unique<FftWindow>(spectrum.window, spectrum.size);
    }
    return *m_window;
}

SpectrumCursor SpectrumPlot::cursorAt(int channel, int bin) {
    const Spectrum& spectrum = m_spectra.at(static_cast<std::size_t>(channel));
    const auto& power = spectrum.power;
    const auto k = static_cast<std::size_t>(bin);
    SpectrumCursor cursor{channel, bin, bin * binHz(channel), power[k]};
    // At a peak the frequency between bins and the level the window's scalloping took off.
    if (bin > 0 && bin + 1 < spectrum.bins() && power[k] >= power[k - 1] &&
        power[k] >= power[k + 1] && power[k] > 0.0) {
        const double peak = InterpolatedPeakBin(spectrum, bin);
        const double response = window(channel).response(peak - bin);
        cursor.hz = peak * binHz(channel);
        if (response > 0.0) {
            cursor.power = power[k] / (response * response);
        }
    }
    return cursor;
}

void SpectrumPlot::placeCursor(int cursor, int x) {
    std::optional<SpectrumCursor>& placed = m_cursors.at(static_cast<std::size_t>(cursor));
    placed.reset();
    double best = -1.0;
    for (int c = 0; c < 2; ++c) {
        const Spectrum& spectrum = m_spectra[static_cast<std::size_t>(c)];
        if (spectrum.empty() || !m_view.show[static_cast<std::size_t>(c)]) {
            continue;
        }
        const double step = binHz(c);
        const int low = std::max(1, static_cast<int>(std::ceil(hzAt(x - SnapPixels) / step)));
        const int high = std::min(spectrum.bins() - 1,
                                  static_cast<int>(std::floor(hzAt(x + SnapPixels) / step)));
        for (int bin = low; bin <= high; ++bin) {
            const double power = spectrum.power[static_cast<std::size_t>(bin)];
            if (power > best) {
                best = power;
                placed = SpectrumCursor{c, bin, 0.0, 0.0};
            }
        }
    }
    refreshCursors();
    update();
    emit cursorsChanged();
}

void SpectrumPlot::clearCursors() {
    m_cursors = {};
    update();
    emit cursorsChanged();
}

void SpectrumPlot::refreshCursors() {
    for (std::optional<SpectrumCursor>& cursor : m_cursors) {
        if (!cursor) {
            continue;
        }
        const Spectrum& spectrum = m_spectra.at(static_cast<std::size_t>(cursor->channel));
        if (cursor->bin >= spectrum.bins() ||
            !m_view.show.at(static_cast<std::size_t>(cursor->channel))) {
            cursor.reset();  // a new size: the bin is another frequency now
            continue;
        }
        cursor = cursorAt(cursor->channel, cursor->bin);
    }
}

QString SpectrumPlot::cursorText(int index) const {
    const std::optional<SpectrumCursor>& cursor = m_cursors.at(static_cast<std::size_t>(index));
    if (!cursor) {
        return {};
    }
    return QStringLiteral("%1: %2 %3 Hz  %4")
        .arg(index + 1)
        .arg(ChannelName(cursor->channel), QString::number(cursor->hz, 'f', 2),
             levelText(cursor->channel, levelOf(cursor->channel, cursor->power)));
}

QString SpectrumPlot::deltaText() const {
    if (!m_cursors[0] || !m_cursors[1] || m_cursors[0]->power <= 0.0) {
        return {};
    }
    const double hz = m_cursors[1]->hz - m_cursors[0]->hz;
    const double db = 10.0 * std::log10(m_cursors[1]->power / m_cursors[0]->power);
    return QStringLiteral("\u0394 %1 Hz  %2 dB")
        .arg(QString::number(hz, 'f', 2), QString::number(db, 'f', 2));
}

void SpectrumPlot::mousePressEvent(QMouseEvent* event) {
    const bool second =
        event->button() == Qt::RightButton ||
        (event->button() == Qt::LeftButton && (event->modifiers() & Qt::ShiftModifier) != 0);
    if (event->button() != Qt::LeftButton && !second) {
        QWidget::mousePressEvent(event);
        return;
    }
    placeCursor(second ? 1 : 0, qRound(event->position().x()));
}

void SpectrumPlot::paintLevelAxis(QPainter& painter, int channel, bool right) {
    const QRect area = plot();
    const QFontMetrics metrics = fontMetrics();
    const auto c = static_cast<std::size_t>(channel);
    const double low = m_axis.levelLow[c];
    const double high = m_axis.levelHigh[c];
    const double step = m_view.volts ? high / 5 : DbStep;
    QPen hairline(Grid(110));
    hairline.setWidthF(1.0 / devicePixelRatioF());
    hairline.setCosmetic(true);
    for (int i = 0; low + i * step <= high + step / 2; ++i) {
        const double level = low + i * step;
        const double y = yOf(channel, level);
        if (!right) {
            painter.setPen(hairline);
            painter.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
        }
        painter.setPen(m_axis.separate ? Traces[c] : Text);
        const QString label = QString::number(level, 'g', 5);
        const QRect box =
            right ? QRect(area.right() + 5, qRound(y) - metrics.height() / 2,
                          width() - area.right() - 5, metrics.height())
                  : QRect(0, qRound(y) - metrics.height() / 2, area.left() - 5, metrics.height());
        const Qt::Alignment side = right ? Qt::AlignLeft : Qt::AlignRight;
        painter.drawText(box, static_cast<int>(side | Qt::AlignVCenter), label);
    }
    // The axis's unit over it: per channel when they differ.
    QString unit = levelUnit(channel);
    if (!right && !m_axis.separate && m_view.show[0] && m_view.show[1] && levelUnit(1) != unit) {
        unit = QStringLiteral("A %1, B %2").arg(unit, levelUnit(1));
    } else if (m_axis.separate) {
        unit = ChannelName(channel) + QLatin1Char(' ') + unit;
    }
    if (m_view.volts) {
        unit += QStringLiteral(" RMS");
    }
    painter.setPen(m_axis.separate ? Traces[c] : Text);
    painter.drawText(
        QRect(right ? area.right() - 200 : 4, 2, 200, metrics.height()),
        static_cast<int>(Qt::Alignment(right ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter),
        unit);
}

void SpectrumPlot::paintGrid(QPainter& painter) {
    painter.fillRect(rect(), Background);
    const QRect area = plot();
    const QFontMetrics metrics = fontMetrics();
    const double ratio = devicePixelRatioF();
    QPen hairline(Grid(90));
    hairline.setWidthF(1.0 / ratio);
    hairline.setCosmetic(true);

    // Frequency grid: every 1..9 of a decade on a log axis (labels where they fit), nice steps
    // on a linear one.
    std::vector<std::pair<double, bool>> ticks;  // frequency, labelled
    if (m_view.logFrequency) {
        for (double decade = 1.0; decade <= m_axis.fHigh; decade *= 10.0) {
            for (int m = 1; m < 10; ++m) {
                const double hz = m * decade;
                if (hz >= m_axis.fLow && hz <= m_axis.fHigh) {
                    ticks.emplace_back(hz, m == 1 || m == 2 || m == 5);
                }
            }
        }
    } else {
        const double span = m_axis.fHigh - m_axis.fLow;
        const double step =
            NiceCeiling(span * (metrics.horizontalAdvance(QStringLiteral("20.05k")) + MinLabelGap) /
                        std::max(1, area.width()));
        for (double hz = 0.0; hz <= m_axis.fHigh; hz += step) {
            ticks.emplace_back(hz, true);
        }
    }
    painter.setPen(Text);
    int labelRight = std::numeric_limits<int>::min();
    for (const auto& [hz, labelled] : ticks) {
        const double x = xOf(hz);
        hairline.setColor(Grid(labelled ? 110 : 45));
        painter.setPen(hairline);
        painter.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
        if (!labelled) {
            continue;
        }
        const QString label = HzLabel(hz);
        const int width = metrics.horizontalAdvance(label);
        const int left = qRound(x) - width / 2;
        if (left < labelRight + MinLabelGap) {
            continue;
        }
        labelRight = left + width;
        painter.setPen(Text);
        painter.drawText(left, area.bottom() + 4 + metrics.ascent(), label);
    }
    painter.setPen(Text);
    painter.drawText(
        QRect(area.left(), area.bottom() + 4 + metrics.height(), area.width(), metrics.height()),
        Qt::AlignHCenter, QStringLiteral("Frequency (Hz)"));

    // Level grid, and B's own labels on the right when it has an axis of its own.
    const int first = m_view.show[0] || !m_view.show[1] ? 0 : 1;
    paintLevelAxis(painter, first, false);
    if (m_axis.separate) {
        paintLevelAxis(painter, 1, true);
    }
    hairline.setColor(Grid(200));
    painter.setPen(hairline);
    painter.drawRect(QRectF(area).adjusted(0, 0, -1.0 / ratio, -1.0 / ratio));
}

void SpectrumPlot::paintEvent(QPaintEvent* /*event*/) {
    const double ratio = devicePixelRatioF();
    // Background, grid and axes change with the axes alone: drawn once for many spectra.
    if (m_grid.isNull() || m_grid.size() != size() * ratio || m_grid.devicePixelRatio() != ratio) {
        m_grid = QPixmap(size() * ratio);
        m_grid.setDevicePixelRatio(ratio);
        QPainter gridPainter(&m_grid);
        paintGrid(gridPainter);
    }
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_grid);
    const QRect area = plot();
    const QFontMetrics metrics = fontMetrics();

    painter.save();
    painter.setClipRect(area.adjusted(0, -metrics.height(), 1, 1));
    // The cursors under the traces: a dashed line each, numbered at the top.
    for (int i = 0; i < 2; ++i) {
        const std::optional<SpectrumCursor>& cursor = m_cursors[static_cast<std::size_t>(i)];
        if (!cursor) {
            continue;
        }
        const double x = xOf(cursor->bin * binHz(cursor->channel));
        QPen pen(Cursor);
        pen.setStyle(Qt::DashLine);
        pen.setCosmetic(true);
        painter.setPen(pen);
        painter.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
        painter.setPen(Cursor);
        painter.drawText(QPointF(x + 3, area.top() + metrics.ascent()), QString::number(i + 1));
    }
    for (std::size_t c = 0; c < 2; ++c) {
        if (m_traces[c].empty()) {
            continue;
        }
        QPen pen(Traces[c]);
        pen.setWidthF(1.0 / ratio);
        pen.setCosmetic(true);
        painter.setPen(pen);
        painter.drawPolyline(m_traces[c].data(), static_cast<int>(m_traces[c].size()));
    }
    painter.setRenderHint(QPainter::Antialiasing, false);

    // The tone's fundamental and harmonics, each marked at its highest bin.
    for (int c = 0; c < 2; ++c) {
        const ToneMeasurements& tone = m_tones[static_cast<std::size_t>(c)];
        const Spectrum& spectrum = m_spectra[static_cast<std::size_t>(c)];
        if (!tone.found || spectrum.empty() || !m_view.show[static_cast<std::size_t>(c)]) {
            continue;
        }
        for (int n = 1; n <= tone.harmonics + 1; ++n) {
            const double hz = n * tone.frequencyHz;
            if (hz < m_axis.fLow || hz > m_axis.fHigh) {
                continue;
            }
            const int centre = static_cast<int>(std::lround(hz / binHz(c)));
            int peak = centre;
            for (int bin = std::max(1, centre - spectrum.lobeHalfWidth);
                 bin <= std::min(spectrum.bins() - 1, centre + spectrum.lobeHalfWidth); ++bin) {
                if (spectrum.power[static_cast<std::size_t>(bin)] >
                    spectrum.power[static_cast<std::size_t>(peak)]) {
                    peak = bin;
                }
            }
            // Harmonics lost in the noise are not marked: they would hide the floor.
            const double power =
                peak < spectrum.bins() ? spectrum.power[static_cast<std::size_t>(peak)] : 0.0;
            if (n > 1 && (power < HarmonicOverFloor * tone.noiseFloorPower ||
                          levelOf(c, power) <= m_axis.levelLow[static_cast<std::size_t>(c)] ||
                          (m_view.volts && yOf(c, levelOf(c, power)) > plot().bottom() - 8))) {
                continue;
            }
            const QPointF tip(xOf(hz), yOf(c, levelOf(c, power)) - 3);
            const QPointF triangle[3] = {tip, tip + QPointF(-4, -7), tip + QPointF(4, -7)};
            painter.setPen(Qt::NoPen);
            painter.setBrush(Traces[static_cast<std::size_t>(c)]);
            painter.drawPolygon(triangle, 3);
            const QString label =
                n == 1 ? QStringLiteral("%1 %2 Hz").arg(ChannelName(c), QString::number(hz, 'f', 2))
                       : QString::number(n);
            painter.setPen(Text);
            const int width = metrics.horizontalAdvance(label);
            const double left =
                std::clamp(tip.x() - width / 2.0, area.left() + 2.0, area.right() - width - 2.0);
            // B's tone label a line above A's: on the same tone they would cover each other.
            const double lift = n == 1 && c == 1 ? metrics.height() : 0.0;
            painter.drawText(QPointF(left, tip.y() - 9 - lift), label);
        }
    }

    painter.restore();

    // The readouts of the cursors over the plot.
    painter.setPen(Text);
    QStringList parts;
    for (const QString& part : {cursorText(0), cursorText(1), deltaText()}) {
        if (!part.isEmpty()) {
            parts.append(part);
        }
    }
    const QString readout = parts.join(QStringLiteral("    "));
    painter.drawText(QRect(area.left(), 2 + metrics.height(), area.width(), metrics.height()),
                     Qt::AlignLeft | Qt::AlignVCenter, readout);
}

}  // namespace veruziva
