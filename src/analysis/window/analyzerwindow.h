#pragma once

#include <QTimer>
#include <QWidget>
#include <array>
#include <functional>

#include "analysis/tonemeasurement.h"
#include "base/filemetadata.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace veruziva {

class LiveAnalysis;
class MessageBoxes;
class SampleClockStore;
class SpectrumPlot;
class TrendFiles;

// The analyzer: both channels' spectra with their cursors, each channel's tone measurements,
// the spectrum's export as a picture or as text, and the sample clock's calibration against a
// reference tone. It takes a spectrum from the live data at most four times a second, only
// while shown and not frozen, and only when frames came.
class AnalyzerWindow : public QWidget {
    Q_OBJECT

public:
    static constexpr int RefreshMs = 250;

    AnalyzerWindow(LiveAnalysis& analysis, SampleClockStore& clock, TrendFiles& files,
                   MessageBoxes& boxes, QWidget* parent = nullptr);

    // What the saved files say they were measured with, asked as each is saved.
    void setMetadata(std::function<FileMetadata()> metadata) { m_metadata = std::move(metadata); }

    // The timer's job: a new spectrum from the frames that came, measured and shown.
    void tick();
    // Shows the spectra held, measured again (a changed view or clock).
    void refresh();

    void ResetAveragesClick();
    void SavePngClick();
    void SaveCsvClick();
    void CalibrateClockClick();

    const ToneMeasurements& tone(int channel) const {
        return m_tones.at(static_cast<std::size_t>(channel));
    }
    bool frozen() const;

    SpectrumPlot* Plot() const { return m_plot; }
    QComboBox* Size() const { return m_size; }
    QComboBox* Window() const { return m_window; }
    QComboBox* Averaging() const { return m_averaging; }
    QSpinBox* AverageCount() const { return m_averageCount; }
    QComboBox* FrequencyAxis() const { return m_frequencyAxis; }
    QComboBox* LevelAxis() const { return m_levelAxis; }
    QCheckBox* ShowA() const { return m_show[0]; }
    QCheckBox* ShowB() const { return m_show[1]; }
    QPushButton* Freeze() const { return m_freeze; }
    QTableWidget* MeasurementsA() const { return m_measurements[0]; }
    QTableWidget* MeasurementsB() const { return m_measurements[1]; }
    QLabel* CursorReadout() const { return m_cursorReadout; }
    QDoubleSpinBox* Reference() const { return m_reference; }
    QLabel* ClockCorrection() const { return m_clockCorrection; }

protected:
    // The timer runs only while the window is shown: a closed analyzer costs nothing.
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void settingsChanged();
    void viewChanged();
    void freezeToggled(bool frozen);
    void measure();
    void showMeasurements();
    void showCursors();
    void showClock();
    FileMetadata metadata() const;

    LiveAnalysis& m_analysis;
    SampleClockStore& m_clock;
    TrendFiles& m_files;
    MessageBoxes& m_boxes;
    std::function<FileMetadata()> m_metadata;
    std::array<ToneMeasurements, 2> m_tones;
    SpectrumPlot* m_plot;
    QComboBox* m_size;
    QComboBox* m_window;
    QComboBox* m_averaging;
    QSpinBox* m_averageCount;
    QComboBox* m_frequencyAxis;
    QComboBox* m_levelAxis;
    std::array<QCheckBox*, 2> m_show{};
    QPushButton* m_freeze;
    std::array<QTableWidget*, 2> m_measurements{};
    QLabel* m_cursorReadout;
    QDoubleSpinBox* m_reference;
    QLabel* m_clockCorrection;
    QTimer m_refreshTimer;
};

}  // namespace veruziva
