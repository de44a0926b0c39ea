#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <span>

#include "calibration/calibrationstate.h"
#include "calibration/displaymode.h"
#include "capture/captureengine.h"
#include "capture/devicebox.h"
#include "capture/inputselection.h"
#include "capture/inputwatch.h"
#include "measurement/oscilloscope.h"
#include "measurement/readouts.h"
#include "measurement/triggercontrols.h"
#include "mixer/audiomixer.h"
#include "platform/fatalerrors.h"
#include "platform/heldblockboxes.h"
#include "recording/recordingcontrol.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QScrollBar;
class QTimer;
class QToolButton;

namespace veruziva {

class Dialogs;
class MixerService;
class OscilloscopeView;
class SettingsStore;
class WaveInput;

// What the instrument runs on: the platform's services, the settings store, the boxes and
// dialogs, and how to ask the application to end.
struct InstrumentServices {
    WaveInput& waveInput;
    MixerService& mixers;
    SettingsStore& settings;
    Dialogs& dialogs;
    std::function<void()> requestEnd;
};

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

// The instrument's front panel: oscilloscope, two channels of readings and the controls. Its
// creation brings the instrument up; the capture's notifications arrive as events.
class TSoundMeter : public QWidget {
    Q_OBJECT

public:
    explicit TSoundMeter(InstrumentServices services, QWidget* parent = nullptr);
    ~TSoundMeter() override;

    void StartStopClick();
    void CalibrateClick();
    void SavingClick();
    void DefinitionClick();
    void MyTimerTimer();
    void RawDataClick();
    void TriggerEnableClick();
    void WaveInDevicesChange(int index);
    void CloseClick();
    void HelpClick();
    void AboutClick();
    // The handler of a capture buffer coming back.
    void BufferDone();

    const SoundMeterControls& controls() const { return m_ui; }
    CalibrationState& state() { return m_state; }
    CaptureEngine& engine() { return m_engine; }
    TAudioMixer& mixer() { return m_mixer; }
    const Oscilloscope& scope() const { return m_scope; }
    const Readouts& readouts() const { return m_readouts; }
    RecordingControl& recording() { return m_recording; }
    QTimer* MyTimer() const { return m_timer; }
    char UnitLetterL() const { return m_unitLetterL; }
    char UnitLetterR() const { return m_unitLetterR; }
    long long blocksProcessed() const { return m_blocksProcessed; }
    // Sees every block the handler processes, after its measurement (soak tests and probes).
    using BlockObserver = std::function<void(std::span<const StereoFrame>)>;
    void setBlockObserver(BlockObserver observer) { m_blockObserver = std::move(observer); }
    bool endRequested() const { return m_fatal.endRequested(); }
    InputWatch& inputWatch() { return m_inputWatch; }

protected:
    void customEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    class ComboDeviceBox;
    class TimerAdapter;

    void createControls();
    void FormCreate();
    RangeSelection ranges() const;
    ScopeSettings scopeSettings(int columnStep) const;
    void showReadouts();
    void showSynchronized();
    void runningChanged(bool running);
    void recordingChanged(bool recording);
    void deviceLost(WaveInHandle handle);
    void requestEnd();
    // Measures, draws and shows the done block; the caller holds it.
    void processBlock(int columnStep, const DisplayParameters& display);
    void giveBackBlock();
    // The running input has delivered nothing for a while: no reading is shown as live.
    void showNoData();

    InstrumentServices m_services;
    SoundMeterControls m_ui;
    std::unique_ptr<ComboDeviceBox> m_deviceBox;
    HeldBlockBoxes m_heldBoxes;
    FatalErrors m_fatal;
    CalibrationState m_state;
    Oscilloscope m_scope;
    Readouts m_readouts;
    TriggerControls m_trigger;
    TAudioMixer m_mixer;
    CaptureEngine m_engine;
    InputSelection m_selection;
    InputWatch m_inputWatch;
    QTimer* m_timer;
    std::unique_ptr<TimerAdapter> m_timerAdapter;
    RecordingControl m_recording;
    std::string m_decimalSeparator;
    char m_unitLetterL = ' ';
    char m_unitLetterR = ' ';
    long long m_blocksProcessed = 0;
    BlockObserver m_blockObserver;
};

// The caption of the main window.
inline constexpr const char* MainWindowCaption = "Veruziva & Multimeter";

}  // namespace veruziva
