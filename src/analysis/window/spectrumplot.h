#pragma once

#include <QPixmap>
#include <QPointF>
#include <QString>
#include <QWidget>
#include <array>
#include <memory>
#include <optional>
#include <vector>

#include "analysis/spectrum.h"
#include "analysis/tonemeasurement.h"

namespace veruziva {

// How the plot shows the spectra.
struct SpectrumPlotView {
    bool logFrequency = true;
    bool volts = false;                    // the level axis in RMS units, else in dB
    std::array<bool, 2> show{true, true};  // A, B
    double clockPpm = 0.0;                 // the frequencies read are corrected by it
    bool operator==(const SpectrumPlotView&) const = default;
};

// One cursor: a bin of a channel, placed by a click.
struct SpectrumCursor {
    int channel = 0;
    int bin = 0;
    double hz = 0.0;     // the peak's frequency, interpolated and clock corrected
    double power = 0.0;  // its power, the window's scalloping corrected at a peak
};

// Both channels' spectra as an instrument draws them: a frequency axis (log from 20 Hz or one
// bin, linear from 0) to Nyquist, a level axis in dB or RMS units, the tone's fundamental and
// harmonics marked, two cursors (left click the first, right or shift click the second).
class SpectrumPlot : public QWidget {
    Q_OBJECT

public:
    // A click snaps to the highest bin within this many pixels.
    static constexpr int SnapPixels = 6;

    explicit SpectrumPlot(QWidget* parent = nullptr);

    // New spectra, their scales and tones (a tone not found: no markers).
    void setSpectra(const std::array<const Spectrum*, 2>& spectra,
                    const std::array<ChannelScale, 2>& scales,
                    const std::array<ToneMeasurements, 2>& tones);
    void setView(const SpectrumPlotView& view);
    const SpectrumPlotView& view() const { return m_view; }
    const Spectrum& spectrum(int channel) const {
        return m_spectra.at(static_cast<std::size_t>(channel));
    }
    const ChannelScale& scale(int channel) const {
        return m_scales.at(static_cast<std::size_t>(channel));
    }

    // The plot's rectangle inside the axes, and where a frequency lies on it.
    const QRect& plot() const { return m_plot; }
    double xOf(double hz) const;

    // Places cursor 0 or 1 at the highest bin near x (widget coordinates); none near: cleared.
    void placeCursor(int cursor, int x);
    void clearCursors();
    const std::optional<SpectrumCursor>& cursor(int index) const {
        return m_cursors.at(static_cast<std::size_t>(index));
    }
    // "A 1000.00 Hz  -6.02 dBFS", the difference "Δ 1000.00 Hz  -20.00 dB"; empty when not set.
    QString cursorText(int index) const;
    QString deltaText() const;

signals:
    void cursorsChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Axis {
        double fLow = 20.0;
        double fHigh = 22050.0;
        // Per channel: in RMS units of two kinds (volts and raw), a range each, B's on the right.
        std::array<double, 2> levelLow{-160.0, -160.0};
        std::array<double, 2> levelHigh{0.0, 0.0};
        bool separate = false;
        bool operator==(const Axis&) const = default;
    };
    double levelOf(int channel, double power) const;
    double binHz(int channel) const;
    double hzAt(double x) const;
    double yOf(int channel, double level) const;
    void paintGrid(QPainter& painter);
    void paintLevelAxis(QPainter& painter, int channel, bool right);
    void updateAxis();
    void placePlot();
    // Per channel, the polyline through the highest bin of each pixel column (or each bin where
    // bins are wider than a column): made once per new spectrum, not per paint.
    void updateTraces();
    SpectrumCursor cursorAt(int channel, int bin);
    void refreshCursors();
    const FftWindow& window(int channel);
    QString levelText(int channel, double level) const;
    QString levelUnit(int channel) const;

    SpectrumPlotView m_view;
    std::array<Spectrum, 2> m_spectra;
    std::array<ChannelScale, 2> m_scales;
    std::array<ToneMeasurements, 2> m_tones;
    std::array<std::vector<QPointF>, 2> m_traces;
    std::array<std::optional<SpectrumCursor>, 2> m_cursors;
    std::unique_ptr<FftWindow> m_window;  // for the scalloping's correction at a cursor
    Axis m_axis;
    QRect m_plot;  // placed as the axes and the size change, not at every bin
    QPixmap m_grid;
    SpectrumPlotView m_gridView;  // the view the grid was drawn for
};

}  // namespace veruziva
