#pragma once

#include <QColor>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "analysis/liveanalysis.h"
#include "app/remotecontrol.h"
#include "app/soundmeterlayout.h"
#include "app/storedsampleclock.h"
#include "app/views.h"
#include "calibration/accalibration.h"
#include "calibration/calibrationstate.h"
#include "calibration/displaymode.h"
#include "capture/captureengine.h"
#include "capture/devicebox.h"
#include "capture/inputlevelwatch.h"
#include "capture/inputselection.h"
#include "capture/inputwatch.h"
#include "instrument/blockhandler.h"
#include "instrument/inputwatchsink.h"
#include "instrument/recordingsink.h"
#include "measurement/oscilloscope.h"
#include "measurement/readouts.h"
#include "measurement/triggercontrols.h"
#include "mixer/audiomixer.h"
#include "platform/fatalerrors.h"
#include "platform/heldblockboxes.h"
#include "recording/recordingcontrol.h"
#include "recording/recordingtimer.h"
#include "trend/trendrecorder.h"

class QPushButton;
class QTimer;

namespace veruziva {

class Dialogs;
class MixerService;
class OscilloscopeView;
class TrendWindow;
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

// The instrument's front panel: oscilloscope, two channels of readings and the controls. Its
// creation brings the instrument up; the capture's notifications arrive as events.
class TSoundMeter : public QWidget, private BlockView {
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
    // From the window's context menu: the scope with both readouts and level bars as a
    // picture, and the picture saved as a PNG file.
    QImage readoutPicture();
    void savePicture();
    // What a saved picture or trend file was measured with: device, ranges, calibration, level.
    FileMetadata fileMetadata() const;
    // The readings over time, recorded from the start whether the trend window (a view in the
    // context menu, Ctrl+T) is open or not.
    TrendRecorder& trend() { return m_trend; }
    TrendWindow* trendWindow() const;
    // The handler of a capture buffer coming back.
    void BufferDone();

    const SoundMeterControls& controls() const { return m_ui; }
    CalibrationState& state() { return m_state; }
    CaptureEngine& engine() { return m_engine; }
    TAudioMixer& mixer() { return m_mixer; }
    const Oscilloscope& scope() const { return m_scope; }
    const Readouts& readouts() const { return m_blocks.readouts(); }
    RecordingControl& recording() { return m_recording; }
    QTimer* MyTimer() const { return m_timer; }
    char UnitLetterL() const { return m_unitLetterL; }
    char UnitLetterR() const { return m_unitLetterR; }
    long long blocksProcessed() const { return m_blocks.blocksMeasured(); }
    // Sees every block the handler processes, after its measurement (soak tests and probes).
    using BlockObserver = std::function<void(std::span<const StereoFrame>)>;
    void setBlockObserver(BlockObserver observer) { m_blockObserver = std::move(observer); }
    bool endRequested() const { return m_fatal.endRequested(); }
    InputWatch& inputWatch() { return m_inputWatch; }
    InputLevelWatch& levelWatch() { return m_levelWatch; }
    // Shown over the scope while the calibrated display is in force and the line-in is not at
    // the level it was set to; a click sets the level back.
    QPushButton* levelMark() const { return m_levelMark; }
    void SetLevelBackClick();
    // Shown once at start-up over the level bars when the ranges of the last run are restored.
    QPushButton* rangesNote() const { return m_rangesNote; }
    // The calibration with a sine of known RMS (a view of the context menu).
    AcCalibration& acCalibration() { return m_acCalibration; }
    // The analyzer's data (a view of the context menu, Ctrl+Y).
    LiveAnalysis& analysis() { return m_analysis; }
    // The measurement served to SCPI clients ("Remote control..." in the context menu).
    RemoteControl& remoteControl() { return m_remote; }

protected:
    void customEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    class ComboDeviceBox;

    void connectControls();
    void addContextMenu();
    // The bar over the scope that marks readings taken at a moved line-in level, and the
    // mixer's messages that move it.
    void addLevelMark();
    // A marker on the trend where the unit or the scale of the readings changes.
    void markTrend(const QString& text);
    void FormCreate();
    RangeSelection ranges() const;
    ScopeSettings scopeSettings(int columnStep) const;
    void showSynchronized();
    void runningChanged(bool running);
    void recordingChanged(bool recording);
    void deviceLost(WaveInHandle handle);
    void requestEnd();
    // The block handler's view: the controls' settings in, the readouts and traces out.
    BlockSettings blockSettings() override;
    void blockMeasured(std::span<const StereoFrame> frames, const Readouts& readouts) override;
    // The running input has delivered nothing for a while: no reading is shown as live.
    void showNoData();
    // The program has set the line-in's level: that is the level the readings hold at.
    void lineInLevelSet();
    void showLevelMark();
    // The ranges of the last run, chosen at start-up; a change is stored at once.
    void addRangesNote();
    void restoreRanges();
    void rangeChosen();
    // Each range button's caption greyed, with a tooltip, where its range reads raw.
    void showRangeCalibration();
    void acCalibrated(int range, bool a, bool b);
    // Per channel (A, B): its readings are in volts or amperes at a line-in level moved from
    // the one they hold at.
    std::array<bool, 2> levelMarked() const;

    InstrumentServices m_services;
    SoundMeterControls m_ui;
    std::unique_ptr<ComboDeviceBox> m_deviceBox;
    HeldBlockBoxes m_heldBoxes;
    FatalErrors m_fatal;
    CalibrationState m_state;
    Oscilloscope m_scope;
    TriggerControls m_trigger;
    TAudioMixer m_mixer;
    CaptureEngine m_engine;
    InputSelection m_selection;
    InputWatch m_inputWatch;
    InputLevelWatch m_levelWatch;
    QPushButton* m_levelMark = nullptr;
    std::array<bool, 2> m_levelMarkShown{false, false};
    std::array<QColor, 2> m_readoutColour;
    QPushButton* m_rangesNote = nullptr;
    RangeSelection m_savedRanges;
    bool m_rangesSaveFailed = false;
    QColor m_rangeTextColour;
    QTimer* m_timer;
    QtRecordingTimer m_timerAdapter;
    RecordingControl m_recording;
    TrendRecorder m_trend;
    AcCalibration m_acCalibration;
    // The analyzer's data, fed from the start, and the sample clock's correction it reads with.
    LiveAnalysis m_analysis;
    StoredSampleClock m_sampleClock{m_state, m_services.settings, m_heldBoxes};
    // The handler's sinks, made before it and gone after it.
    InputWatchSink m_inputWatchSink{m_inputWatch};
    RecordingSink m_recordingSink{m_recording};
    Views m_views;
    RemoteControl m_remote;
    BlockHandler m_blocks;
    char m_unitLetterL = ' ';
    std::array<std::string, 2> m_rmsShown;  // the RMS texts in the readouts' tooltips
    char m_unitLetterR = ' ';
    BlockObserver m_blockObserver;
};

}  // namespace veruziva
