#pragma once

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QScrollBar;
class QToolButton;
class QWidget;

namespace veruziva {

class Oscilloscope;
class OscilloscopeView;

// The controls of the main window, named by their role.
struct SoundMeterControls {
    QFrame* Panel3 = nullptr;
    OscilloscopeView* Oscilloscope = nullptr;
    QFrame* Synchronized = nullptr;
    QCheckBox* ScopeL = nullptr;
    QCheckBox* ScopeR = nullptr;
    QPushButton* TriggerEnable = nullptr;
    QToolButton* TriggerL = nullptr;
    QToolButton* TriggerR = nullptr;
    QScrollBar* LZero = nullptr;
    QScrollBar* RZero = nullptr;
    QScrollBar* LGain = nullptr;
    QScrollBar* RGain = nullptr;
    QScrollBar* TrigLevelL = nullptr;
    QScrollBar* TrigLevelR = nullptr;
    QGroupBox* ChannelL = nullptr;
    QGroupBox* ChannelR = nullptr;
    QFrame* ValueL = nullptr;
    QFrame* ValueR = nullptr;
    QLabel* DisplayL = nullptr;
    QLabel* DisplayR = nullptr;
    QFrame* FrequencyL = nullptr;
    QFrame* FrequencyR = nullptr;
    QLabel* LFrequency = nullptr;
    QLabel* RFrequency = nullptr;
    QCheckBox* ACactiveL = nullptr;
    QCheckBox* ACactiveR = nullptr;
    QToolButton* L03 = nullptr;
    QToolButton* L3 = nullptr;
    QToolButton* L30 = nullptr;
    QToolButton* L3A = nullptr;
    QToolButton* R03 = nullptr;
    QToolButton* R3 = nullptr;
    QToolButton* R30 = nullptr;
    QToolButton* R3A = nullptr;
    QProgressBar* VUL = nullptr;
    QProgressBar* VUR = nullptr;
    QPushButton* Calibrate = nullptr;
    QPushButton* StartStop = nullptr;
    QPushButton* Help = nullptr;
    QPushButton* Saving = nullptr;
    QPushButton* About = nullptr;
    QPushButton* Close = nullptr;
    QComboBox* WaveInDevices = nullptr;
    QToolButton* SlowScope = nullptr;
    QToolButton* FastScope = nullptr;
    QToolButton* RawData = nullptr;
    QPushButton* Definition = nullptr;
    QButtonGroup* RangeGroupL = nullptr;
    QButtonGroup* RangeGroupR = nullptr;
};

// The caption of the main window.
inline constexpr const char* MainWindowCaption = "Veruziva & Multimeter";

// The readout panels' colour.
inline constexpr unsigned ReadoutPanelRgb = 0x008080;

// Lays out the main window's controls at their fixed places, on `window`, the trace area
// showing `traces`.
SoundMeterControls LayOutSoundMeter(QWidget& window, Oscilloscope& traces);

}  // namespace veruziva
