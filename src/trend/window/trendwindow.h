#pragma once

#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>

#include "base/filemetadata.h"
#include "trend/trendchart.h"
#include "trend/trendrecorder.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QTableWidget;

namespace veruziva {

class MessageBoxes;
class TrendChartWidget;
class TrendFiles;

// The trend window: the live chart of the last span up to the newest reading, its statistics,
// and its export as a picture or as text. Readings come in per block; the chart and the table
// follow at most four times a second, and only when something came.
class TrendWindow : public QWidget {
    Q_OBJECT

public:
    // A trend moves slowly: once a second is enough, and keeps the redraws' cost small.
    static constexpr int RefreshMs = 1000;
    static constexpr int ChartTicks = 2;

    TrendWindow(TrendRecorder& recorder, TrendFiles& files, MessageBoxes& boxes,
                QWidget* parent = nullptr);

    // What the saved files say they were measured with, asked as each is saved.
    void setMetadata(std::function<FileMetadata()> metadata) { m_metadata = std::move(metadata); }

    // The recorder's, for callers that hold only the window; it redraws whatever reaches the
    // recorder, by any way.
    void add(const TrendSample& sample);
    void mark(std::int64_t msSinceEpoch, const QString& text);
    // Shows what came since the last refresh (the timer's job; user actions call it at once).
    void refresh();

    void ResetClick();
    void SavePngClick();
    void SaveCsvClick();
    // The readout of the chart's column under x (chart coordinates); outside the plot, none.
    void showHover(int x);

    TrendChartView view() const;

    QComboBox* Span() const { return m_span; }
    QCheckBox* AutoScale() const { return m_autoScale; }
    QDoubleSpinBox* Minimum() const { return m_minimum; }
    QDoubleSpinBox* Maximum() const { return m_maximum; }
    QCheckBox* ShowA() const { return m_show[0]; }
    QCheckBox* ShowB() const { return m_show[1]; }
    QTableWidget* Statistics() const { return m_statistics; }
    QLabel* HoverReadout() const { return m_hover; }
    TrendChartWidget* Chart() const { return m_chart; }

protected:
    // The refresh timer runs only while the window is shown: a closed trend costs nothing.
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void refreshLater();
    void autoScaleToggled(bool on);
    void updateStatistics();
    FileMetadata metadata() const { return m_metadata ? m_metadata() : FileMetadata{}; }

    TrendRecorder& m_recorder;
    TrendFiles& m_files;
    MessageBoxes& m_boxes;
    std::function<FileMetadata()> m_metadata;
    TrendChartWidget* m_chart;
    QComboBox* m_span;
    QCheckBox* m_autoScale;
    QDoubleSpinBox* m_minimum;
    QDoubleSpinBox* m_maximum;
    std::array<QCheckBox*, 2> m_show{};
    QTableWidget* m_statistics;
    QLabel* m_hover;
    QTimer m_refreshTimer;
    std::uint64_t m_shownRevision = 0;  // the recorder's, as last drawn
    int m_ticks = 0;
};

// "1.234 V", "-12 A", "512 raw".
QString TrendReadingText(double value, char unit);

}  // namespace veruziva
