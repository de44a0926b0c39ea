#pragma once

#include <QLineF>
#include <QStaticText>
#include <QWidget>
#include <array>
#include <optional>
#include <vector>

#include "analysis/tonemeasurement.h"
#include "scope/acquisition.h"
#include "scope/minmaxcolumns.h"

namespace veruziva {

inline constexpr int ScopeVerticalDivisions = 8;

struct ScopeChannelView {
    bool shown = true;
    double perDivision = 1.0;      // the channel's unit per vertical division
    double offsetDivisions = 0.0;  // its zero's place, divisions above the middle
    ChannelScale scale;
};

// How the plot draws: the channels' scales, the time base, XY, and what its marks show.
struct ScopePlotView {
    std::array<ScopeChannelView, 2> channels;
    double secondsPerDivision = 1e-3;
    bool rolling = false;
    bool xy = false;
    ScopeChannel triggerSource = ScopeChannel::A;
    double triggerLevel = 0.0;  // in the source's unit
    // The level cursors read this channel's unit (B's in XY, where the time cursors read A's).
    ScopeChannel cursorChannel = ScopeChannel::A;
};

// A cursor pair's place: x in seconds from the time zero (A's unit in XY), y in the cursor
// channel's unit (B's in XY).
struct ScopeCursor {
    double x = 0.0;
    double y = 0.0;
};

// The scope's screen: ten divisions across, eight up; each trace brought down to the pixel
// columns' least and greatest samples (nothing narrow is lost), lines through the samples
// when there are fewer than columns; the reference beside them; XY; and two cursors, each a
// time and a level line: click (cursor 1) or right or shift click (cursor 2), drag to move.
class ScopeAcquisition;

class ScopePlot : public QWidget {
    Q_OBJECT

public:
    explicit ScopePlot(QWidget* parent = nullptr);

    void setView(const ScopePlotView& view);
    const ScopePlotView& view() const { return m_view; }
    // Where the traces come from, for as long as the plot lives: the trace shown and the
    // reference are taken from it as the plot is drawn; a rolling trace's columns too, without
    // building the trace.
    void setSource(const ScopeAcquisition* source);
    void setStatus(const QString& status);

    void setCursor(int index, const ScopeCursor& cursor);
    void clearCursors();
    const std::optional<ScopeCursor>& cursor(int index) const {
        return m_cursors.at(static_cast<std::size_t>(index));
    }
    // The cursors' places, differences and 1/dt, as the window shows them; empty without any.
    QString cursorText() const;

    // A point on the screen in the cursors' terms, and back.
    ScopeCursor cursorAt(QPointF point) const;
    QPointF pointOf(const ScopeCursor& cursor) const;

signals:
    void cursorsChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    // Raw sample to y pixel: y = gain * raw + offset.
    std::pair<double, double> yMapping(int channel) const;
    double timeLeft() const;
    double spanSeconds() const;
    // The divisions' lines and the axes' ticks for this size.
    void layOutGrid();
    void drawGrid(QPainter& painter);
    void drawTrace(QPainter& painter, const Acquisition& acquisition, int channel,
                   const QColor& colour);
    void drawRolling(QPainter& painter, int channel, const QColor& colour);
    void drawColumns(QPainter& painter, double left, int channel, const QColor& colour);
    void drawXy(QPainter& painter, const Acquisition& acquisition, const QColor& colour);
    void drawMarks(QPainter& painter);
    void drawCursors(QPainter& painter);
    QString axisText() const;

    ScopePlotView m_view;
    const ScopeAcquisition* m_source = nullptr;
    QString m_status;
    std::array<std::optional<ScopeCursor>, 2> m_cursors;
    int m_dragging = -1;
    // Drawn afresh each time: filling and a few lines cost less than copying a cached picture.
    QList<QLineF> m_divisions;
    QList<QLineF> m_axes;
    QStaticText m_axisText;
    QStaticText m_statusText;
    std::vector<MinMax> m_columns;
    QPolygonF m_line;
};

}  // namespace veruziva
