#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "analysis/tonemeasurement.h"
#include "analysis/waveformmeasurement.h"
#include "base/filemetadata.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace veruziva {

struct Acquisition;
class LiveScope;
class MessageBoxes;
class ScopeAcquisition;
class ScopePlot;
class TrendFiles;

// The measuring scope: both channels in their units with a trigger (source, level, slope,
// hysteresis, position; auto, normal or single; run or hold), time bases from microseconds to
// seconds, averaging, a reference trace, XY, two cursors, each channel's automatic measurements
// with their statistics over acquisitions, and the trace saved as a picture or as text.
class ScopeWindow : public QWidget {
    Q_OBJECT

public:
    // The measurement tables are written at most this often; statistics take every acquisition.
    static constexpr int TableRefreshMs = 500;
    // A rolling trace is measured this often.
    static constexpr int RollMeasureMs = 1000;

    ScopeWindow(LiveScope& live, TrendFiles& files, MessageBoxes& boxes, QWidget* parent = nullptr);

    void setMetadata(std::function<FileMetadata()> metadata) { m_metadata = std::move(metadata); }

    // What a block brought: a new acquisition measured and drawn, the scales followed.
    void acquired();

    void ArmClick();
    void StoreReferenceClick();
    void ClearReferenceClick();
    void ResetStatisticsClick();
    void SavePngClick();
    void SaveCsvClick();

    const WaveformMeasurement& measurement(int channel) const {
        return m_measurements.at(static_cast<std::size_t>(channel));
    }
    const MeasurementStatistics& statistics(int channel, std::size_t measurement) const {
        return m_statistics.at(static_cast<std::size_t>(channel)).at(measurement);
    }
    // The status the plot shows: "Trig'd", "Auto", "Waiting", "Armed", "Stop", "Roll", "Hold".
    QString status() const;

    ScopePlot* Plot() const { return m_plot; }
    QComboBox* TimeBase() const { return m_timeBase; }
    QComboBox* Source() const { return m_source; }
    QComboBox* Slope() const { return m_slope; }
    QDoubleSpinBox* Level() const { return m_level; }
    QDoubleSpinBox* Hysteresis() const { return m_hysteresis; }
    QSpinBox* Position() const { return m_position; }
    QComboBox* Mode() const { return m_mode; }
    QPushButton* Hold() const { return m_hold; }
    QCheckBox* Show(int channel) const { return m_show.at(static_cast<std::size_t>(channel)); }
    QComboBox* PerDivision(int channel) const {
        return m_perDivision.at(static_cast<std::size_t>(channel));
    }
    QCheckBox* Xy() const { return m_xy; }
    QSpinBox* Average() const { return m_average; }
    QComboBox* CursorChannel() const { return m_cursorChannel; }
    QTableWidget* Measurements(int channel) const {
        return m_tables.at(static_cast<std::size_t>(channel));
    }
    QLabel* CursorReadout() const { return m_cursorReadout; }

private:
    ScopeAcquisition& acquisition();
    void followScales();
    void fillPerDivision(int channel);
    // 0 (A) or 1 (B): the trigger's source.
    std::size_t source() const;
    void showTrigger(double levelRaw, double hysteresisRaw);
    void timeBaseChanged();
    void triggerChanged();
    void viewChanged();
    void holdToggled(bool held);
    void measure(const Acquisition& shown);
    void showTables();
    void showCursors();
    FileMetadata metadata() const;

    LiveScope& m_live;
    TrendFiles& m_files;
    MessageBoxes& m_boxes;
    std::function<FileMetadata()> m_metadata;
    std::array<ChannelScale, 2> m_scales;
    std::uint64_t m_shownCount = 0;
    QElapsedTimer m_tableClock;
    QTimer m_tableTimer;
    QElapsedTimer m_rollClock;
    std::array<WaveformMeasurement, 2> m_measurements;
    std::array<std::array<MeasurementStatistics, WaveformMeasurementCount>, 2> m_statistics;

    ScopePlot* m_plot;
    QComboBox* m_timeBase;
    QComboBox* m_source;
    QComboBox* m_slope;
    QDoubleSpinBox* m_level;
    QDoubleSpinBox* m_hysteresis;
    QSpinBox* m_position;
    QComboBox* m_mode;
    QPushButton* m_arm;
    QPushButton* m_hold;
    std::array<QCheckBox*, 2> m_show{};
    std::array<QComboBox*, 2> m_perDivision{};
    std::array<QDoubleSpinBox*, 2> m_offset{};
    QCheckBox* m_xy;
    QSpinBox* m_average;
    QComboBox* m_cursorChannel;
    std::array<QTableWidget*, 2> m_tables{};
    QLabel* m_cursorReadout;
};

}  // namespace veruziva
