#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTcpSocket>
#include <QTimer>
#include <QToolButton>
#include <QtTest>
#include <atomic>

#include "../recording/wavcheck.h"
#include "app/oscilloscopeview.h"
#include "app/soundmeter.h"
#include "calibration/accalibration.h"
#include "calibration/calibrationprocedure.h"
#include "calibration/storedsettings.h"
#include "capture/captureevent.h"
#include "recording/capturedefinition.h"
#include "scripteddialogs.h"
#include "support/memorysettingsstore.h"
#include "support/sampledrecordingrows.h"
#include "support/simbench.h"
#include "support/twoscreens.h"
#include "trend/window/trendwindow.h"

using namespace veruziva;
using sim::SimWaveInput;

namespace {

// The signal of the test devices: channel A a DC level the test sets, channel B a square wave
// of 441 Hz (period 100 frames).
struct Signal {
    std::atomic<int> levelA{1000};
    std::atomic<int> squareA{-1};     // 0 or more: A is the square wave too, this many frames ahead
    std::atomic<bool> squareB{true};  // else B holds levelB
    std::atomic<int> levelB{0};
    static std::int16_t Square(std::uint64_t frame) { return frame % 100 < 50 ? 3000 : -3000; }
    StereoFrame operator()(std::uint64_t frame) const {
        const auto a = squareA >= 0 ? Square(frame + static_cast<std::uint64_t>(squareA.load()))
                                    : static_cast<std::int16_t>(levelA.load());
        return {a, squareB ? Square(frame) : static_cast<std::int16_t>(levelB.load())};
    }
};

// A machine for the window: devices and mixers (a microphone and a line input) by name, a
// settings store, the dialogs.
struct Machine : sim::SimBench {
    Signal signal;
    MemorySettingsStore settings;
    ScriptedDialogs dialogs;
    int endRequests = 0;

    Machine() : SimBench({"Microphone", "Line In"}) {}
    void addDevice(const std::string& name) {
        waveInput.addDevice(name, [this](std::uint64_t frame) { return signal(frame); });
    }
    void storeCompleteCalibration(int soundDevice, int mixer, int lineIn) {
        CalibrationState stored;
        stored.Device.MixerIndex = mixer;
        stored.Device.LineIn = lineIn;
        for (int r = FirstRange; r <= LastRange; ++r) {
            stored.RawCalibration[r] = {15000 * r, 10000, 10000};
        }
        sim::ScriptedMessageBoxes quiet;
        SaveSettings(settings, stored, soundDevice, quiet);
    }
    void defineContinual(const QString& file) {
        dialogs.definition.recordType = CaptureDefinition::Continual;
        dialogs.definition.nameOfFile = file;
    }
    // Full blocks, each handled as it comes.
    void deliverBlocks(int blocks) {
        for (int block = 0; block < blocks; ++block) {
            waveInput.deliverFrames(FramesPerBuffer);
            QCoreApplication::processEvents();
        }
    }
    std::unique_ptr<TSoundMeter> start() {
        return std::make_unique<TSoundMeter>(
            InstrumentServices{waveInput, mixers, settings, dialogs, [this] { ++endRequests; }});
    }
};

Machine& Standard(Machine& m) {
    m.addDevice("Sim Card");
    m.addMixer("Sim Card");
    return m;
}

QString Text(const QAbstractButton* button) {
    return button->text();
}

}  // namespace

class TestSoundMeter : public QObject {
    Q_OBJECT

private slots:
    void firstStart();
    void startWithAStoredCalibration();
    void noInputDevice();
    void startProcessesBlocksInSlotOrder();
    void stopHandlesThePartialBlockOnce();
    void notificationHandledInsideAnother();
    void deviceChange();
    void deviceChangeWithoutAMatchingMixer();
    void rawAndCalCaptions();
    void triggerButtonStates();
    void scopeFollowsItsControls();
    void lostDeviceStopsTheFlow();
    void stalledInputShowsNoData();
    void clippingAndRmsOnTheReadouts_data();
    void clippingAndRmsOnTheReadouts();
    void pictureFromTheContextMenu_data();
    void pictureFromTheContextMenu();
    void trendFromTheContextMenu();
    void contextMenuAsShown();
    void remoteControl();
    void inputLevelMovedFromOutside_data();
    void inputLevelMovedFromOutside();
    void helpAboutAndClose();
    void calibrationThroughTheWindow();
    void calibrationWithASine();
    void rangeCalibratedElsewhere_data();
    void rangeCalibratedElsewhere();
    void sampledRecordingThroughTheWindow_data();
    void sampledRecordingThroughTheWindow();
    void continualRecordingEndsWithTheWindow();
    void continualRecordingEndsWithItsLastByte();
    void continualRecordingWaitsForItsLastBlock();
    void cancelAtTheSizeQuestion();
    void lostDeviceEndsTheRecording();

private:
    QTemporaryDir m_dir;
};

void TestSoundMeter::firstStart() {
    Machine m;
    Standard(m);
    const auto window = m.start();
    const SoundMeterControls& ui = window->controls();
    QCOMPARE(window->windowTitle(), QStringLiteral("Veruziva & Multimeter"));
    QCOMPARE(window->size(), QSize(520, 340));
    QVERIFY(m.dialogs.boxes.shown().isEmpty());
    QVERIFY(!window->state().Calibrated);
    QVERIFY(window->state().RawDisplay);
    QCOMPARE(Text(ui.RawData), QStringLiteral("Raw"));
    QCOMPARE(Text(ui.StartStop), QStringLiteral("Start"));
    for (QAbstractButton* range : ui.RangeGroupL->buttons() + ui.RangeGroupR->buttons()) {
        QVERIFY2(!range->isEnabled(), qPrintable(range->objectName()));
    }
    QVERIFY(ui.L03->isChecked() && ui.R03->isChecked() && ui.FastScope->isChecked());
    QVERIFY(ui.ScopeL->isChecked() && ui.ScopeR->isChecked());
    QVERIFY(ui.ACactiveL->isChecked() && ui.ACactiveR->isChecked());
    QCOMPARE(ui.Oscilloscope->size(), QSize(265, 266));  // the picture's last row shows too
    QCOMPARE(ui.TrigLevelL->value(), 16000);
    QCOMPARE(ui.LZero->value(), 0);
    QCOMPARE(ui.LGain->value(), 0);
    QCOMPARE(Text(ui.TriggerEnable), QStringLiteral("Trigger"));
    QVERIFY(!ui.TriggerL->isEnabled() && !ui.TriggerR->isEnabled());
    QVERIFY(!ui.TriggerL->isChecked() && !ui.TriggerR->isChecked());
    QVERIFY(!ui.Synchronized->isEnabled());
    QCOMPARE(ui.DisplayL->text(), QStringLiteral("0  "));
    QCOMPARE(ui.RFrequency->text(), QStringLiteral("0 "));
    QCOMPARE(ui.ChannelL->title(), QStringLiteral("Channel A  "));
    QCOMPARE(ui.WaveInDevices->count(), 1);
    QCOMPARE(ui.WaveInDevices->currentText(), QStringLiteral("Sim Card"));
    // The capture is open, stopped; the line-in is turned up and unmuted.
    QVERIFY(m.waveInput.isOpen());
    QVERIFY(!m.waveInput.isRunning());
    QCOMPARE(window->state().Device.LineIn, 1);
    QCOMPARE(m.mixers.values(0, 3), (std::vector<std::int32_t>{65535, 65535}));
    QCOMPARE(m.mixers.values(0, 4), (std::vector<std::int32_t>{0, 0}));
    QCOMPARE(m.endRequests, 0);
}

void TestSoundMeter::startWithAStoredCalibration() {
    Machine m;
    m.addDevice("Webcam");
    m.addDevice("Bench card");  // no mixer of its name: the stored numbers are used as they are
    m.addMixer("Mixer of the bench card");
    m.storeCompleteCalibration(1, 0, 1);
    const auto window = m.start();
    const SoundMeterControls& ui = window->controls();
    QVERIFY(m.dialogs.boxes.shown().isEmpty());
    QVERIFY(window->state().Calibrated);
    QVERIFY(!window->state().RawDisplay);
    QCOMPARE(Text(ui.RawData), QStringLiteral("Cal"));
    for (QAbstractButton* range : ui.RangeGroupL->buttons() + ui.RangeGroupR->buttons()) {
        QVERIFY(range->isEnabled());
    }
    QVERIFY(ui.L03->isChecked() && ui.R03->isChecked());
    QCOMPARE(ui.WaveInDevices->currentIndex(), 1);
    QCOMPARE(window->engine().SoundDevice(), 1);
    // Measuring reads volts: 10000 raw units on range 1 of a 1.5 V per 10000 calibration.
    m.signal.levelA = 10000;
    ui.StartStop->click();
    m.waveInput.deliverFrames(FramesPerBuffer);
    QCoreApplication::processEvents();
    QCOMPARE(ui.DisplayL->text(), QStringLiteral("1.500V "));
    QCOMPARE(window->UnitLetterL(), 'V');
}

void TestSoundMeter::inputLevelMovedFromOutside_data() {
    QTest::addColumn<QString>("display");  // "cal", "raw" (calibrated) or "uncalibrated"
    QTest::addColumn<QString>("change");   // to the line-in, by another program
    QTest::addColumn<QString>("marked");   // the channels whose readings are marked
    QTest::newRow("volume, calibrated") << "cal"
                                        << "volume"
                                        << "AB";
    QTest::newRow("B's volume alone") << "cal"
                                      << "volume of B"
                                      << "B";
    QTest::newRow("mute, calibrated") << "cal"
                                      << "mute"
                                      << "AB";
    QTest::newRow("volume, the mixer refuses it back") << "cal"
                                                       << "volume, refused"
                                                       << "AB";
    QTest::newRow("another line, calibrated") << "cal"
                                              << "other line"
                                              << "";
    QTest::newRow("volume, raw display") << "raw"
                                         << "volume"
                                         << "";
    QTest::newRow("volume, not calibrated") << "uncalibrated"
                                            << "volume"
                                            << "";
    QTest::newRow("the program's own settings") << "cal"
                                                << ""
                                                << "";
}

void TestSoundMeter::inputLevelMovedFromOutside() {
    QFETCH(QString, display);
    QFETCH(QString, change);
    QFETCH(QString, marked);
    Machine m;
    m.addDevice("Line card");
    const unsigned card = m.addMixer("Line card");
    if (display != "uncalibrated") {
        m.storeCompleteCalibration(0, 0, 1);
    }
    const auto window = m.start();
    const SoundMeterControls& ui = window->controls();
    if (display == "raw") {
        ui.RawData->click();
    }
    QCOMPARE(CalibratedDisplayInForce(window->state()), display == "cal");
    const TMixerDestination* recording = window->mixer().Destinations()->DestinationAt(1);
    const auto control = [&](int line, int index) {
        return recording->Connections.ConnectionAt(line)->Controls.ControlAt(index)->controlId;
    };
    const QColor green = ui.DisplayL->palette().color(QPalette::WindowText);
    // Which readouts are amber, which trend readings are set apart, whether the bar shows.
    const auto markedNow = [&] {
        QString amber;
        amber += ui.DisplayL->palette().color(QPalette::WindowText) != green ? "A" : "";
        amber += ui.DisplayR->palette().color(QPalette::WindowText) != green ? "B" : "";
        const bool bar = window->levelMark()->isVisibleTo(window.get());
        return bar == !amber.isEmpty() ? amber : amber + " (the bar does not agree)";
    };
    const auto flaggedInTrend = [&] {
        const TrendSample latest = *window->trend().latest();
        return QString(latest.levelMovedA ? "A" : "") + QString(latest.levelMovedB ? "B" : "");
    };
    ui.StartStop->click();
    m.deliverBlocks(1);  // a reading on the trend, where the moment is marked
    LineLevel before;
    QVERIFY(window->mixer().GetLineLevel(1, 1, before));
    if (change == "volume of B") {
        m.mixers.setFromOutside(card, control(1, 0), {65535, 30000});
    } else if (change.startsWith("volume")) {
        m.mixers.setFromOutside(card, control(1, 0), {30000, 30000});
    } else if (change == "mute") {
        m.mixers.setFromOutside(card, control(1, 1), {1, 1});
    } else if (change == "other line") {
        m.mixers.setFromOutside(card, control(0, 0), {30000, 30000});
    }
    QCoreApplication::processEvents();
    QCOMPARE(markedNow(), marked);
    const auto markerTexts = [&] {
        QStringList texts;
        for (const TrendMarker& marker :
             window->trend().markers(0, QDateTime::currentMSecsSinceEpoch() + 1)) {
            texts << marker.text;
        }
        return texts;
    };
    QCOMPARE(markerTexts().contains("Input level moved"), !marked.isEmpty());
    m.deliverBlocks(1);  // a block goes on with the mark, set apart on the trend
    QCOMPARE(markedNow(), marked);
    QCOMPARE(flaggedInTrend(), marked);
    if (display == "raw") {
        ui.RawData->click();  // readings in volts again: at the moved level
        marked = "AB";
        QCOMPARE(markedNow(), marked);
    }
    if (marked.isEmpty()) {
        return;
    }
    if (change.endsWith("refused")) {
        // The write does not take: the level stays where it was moved, and so does the mark.
        m.mixers.failCall(sim::SimMixerService::Call::SetControlValues, mixer::Error, 0, 10);
        window->levelMark()->click();
        QCoreApplication::processEvents();
        QCOMPARE(markedNow(), marked);
        QCOMPARE(m.dialogs.boxes.texts(),
                 QStringList{"Problem setting LineIn volume... Set AUDIO properly, please!"});
        return;
    }
    // One click sets the level back, and the mark goes; the messages of that write raise none.
    window->levelMark()->click();
    QCoreApplication::processEvents();
    QCOMPARE(markedNow(), QString());
    LineLevel after;
    QVERIFY(window->mixer().GetLineLevel(1, 1, after));
    QVERIFY(SameLevel(after, before));
    QVERIFY(markerTexts().contains("Input level set back"));
    QVERIFY(m.dialogs.boxes.shown().isEmpty());
    m.deliverBlocks(1);
    QCOMPARE(flaggedInTrend(), QString());
}

void TestSoundMeter::noInputDevice() {
    Machine m;
    m.addMixer("Sim Card");
    const auto window = m.start();
    QCOMPARE(m.dialogs.boxes.texts(), QStringList{"Input devices are not available"});
    QVERIFY(window->endRequested());
    QVERIFY(m.endRequests >= 1);
}

void TestSoundMeter::startProcessesBlocksInSlotOrder() {
    Machine m;
    Standard(m);
    const auto window = m.start();
    const SoundMeterControls& ui = window->controls();
    ui.StartStop->click();
    QCOMPARE(Text(ui.StartStop), QStringLiteral("Stop"));
    QVERIFY(!ui.WaveInDevices->isEnabled());
    QVERIFY(!ui.Calibrate->isEnabled());
    QVERIFY(m.waveInput.isRunning());
    const std::vector<std::int32_t> order{1, 0, 1, 0};
    for (std::size_t block = 0; block < order.size(); ++block) {
        m.signal.levelA = 1000 + static_cast<int>(block);
        m.waveInput.deliverFrames(FramesPerBuffer);
        QCoreApplication::processEvents();
        QCOMPARE(window->blocksProcessed(), static_cast<long long>(block + 1));
        QCOMPARE(window->engine().DoneBuffer(), order[block]);
        QCOMPARE(ui.DisplayL->text(), QStringLiteral("%1  ").arg(1000 + block));
    }
    QCOMPARE(ui.RFrequency->text(), QStringLiteral("441 "));
    QCOMPARE(ui.DisplayR->text(), QStringLiteral("3000  "));
    QCOMPARE(ui.VUL->value(), 7);   // 1003 div 128
    QCOMPARE(ui.VUR->value(), 23);  // 3000 div 128
    QCOMPARE(ui.LFrequency->text(), QStringLiteral("0 "));
    // The scope shows A at 1003 / 128 -> 8 pixels (+1) above centre.
    QCOMPARE(window->scope().image().pixel(100, 133 - 9), Oscilloscope::Yellow);
}

void TestSoundMeter::stopHandlesThePartialBlockOnce() {
    Machine m;
    Standard(m);
    const auto window = m.start();
    const SoundMeterControls& ui = window->controls();
    ui.StartStop->click();
    m.waveInput.deliverFrames(FramesPerBuffer);
    QCoreApplication::processEvents();
    m.signal.levelA = -2500;
    m.waveInput.deliverFrames(1000);
    ui.StartStop->click();  // stop: the block holding 1000 frames comes back
    QCOMPARE(Text(ui.StartStop), QStringLiteral("Start"));
    QVERIFY(ui.WaveInDevices->isEnabled());
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    QCOMPARE(window->blocksProcessed(), 2LL);
    QCOMPARE(ui.DisplayL->text(), QStringLiteral("2500  "));  // AC: over its 1000 frames only
    QCOMPARE(m.waveInput.queuedBuffers(), std::size_t(2));
}

void TestSoundMeter::notificationHandledInsideAnother() {
    Machine m;
    Standard(m);
    const auto window = m.start();
    window->controls().StartStop->click();
    m.signal.levelA = 1000;
    m.waveInput.deliverFrames(FramesPerBuffer);
    m.signal.levelA = 2000;
    m.waveInput.deliverFrames(FramesPerBuffer);
    // One dispatch: the first handler's own dispatch runs the second notification's handler,
    // which takes the older block; the outer one then takes the newer.
    QCoreApplication::sendPostedEvents(window.get(), CaptureEvent::EventType());
    QCOMPARE(window->blocksProcessed(), 2LL);
    QCOMPARE(window->controls().DisplayL->text(), QStringLiteral("2000  "));
    QCoreApplication::processEvents();
    QCOMPARE(window->blocksProcessed(), 2LL);
}

void TestSoundMeter::deviceChange() {
    Machine m;
    m.addDevice("Alpha card");
    m.addDevice("Bravo card");
    m.addMixer("Alpha card");
    const unsigned bravo = m.addMixer("Bravo card");
    m.storeCompleteCalibration(0, 0, 1);
    const auto window = m.start();
    const SoundMeterControls& ui = window->controls();
    QVERIFY(window->state().Calibrated);
    const WaveInHandle before = window->engine().Handle();
    ui.WaveInDevices->setCurrentIndex(1);
    emit ui.WaveInDevices->activated(1);
    QCOMPARE(window->engine().SoundDevice(), 1);
    QVERIFY(window->engine().Handle() != before);
    QVERIFY(!window->state().Calibrated);
    QVERIFY(window->state().RawDisplay);
    QCOMPARE(Text(ui.RawData), QStringLiteral("Cal"));  // the caption is left as it was
    QVERIFY(ui.L03->isEnabled());                       // and so are the range buttons
    QCOMPARE(m.mixers.values(bravo, 3), (std::vector<std::int32_t>{65535, 65535}));
    QVERIFY(m.dialogs.boxes.shown().isEmpty());
}

void TestSoundMeter::deviceChangeWithoutAMatchingMixer() {
    Machine m;
    m.addDevice("Alpha card");
    m.addDevice("Lonely device");
    m.addMixer("Alpha card");
    const auto window = m.start();
    const SoundMeterControls& ui = window->controls();
    const WaveInHandle before = window->engine().Handle();
    ui.WaveInDevices->setCurrentIndex(1);
    emit ui.WaveInDevices->activated(1);
    QCOMPARE(ui.WaveInDevices->currentIndex(), 0);
    QCOMPARE(window->engine().Handle(), before);
    QVERIFY(m.waveInput.isOpen());
}

void TestSoundMeter::rawAndCalCaptions() {
    Machine m;
    Standard(m);
    m.storeCompleteCalibration(0, 0, 1);
    const auto window = m.start();
    QToolButton* raw = window->controls().RawData;
    raw->click();
    QCOMPARE(raw->text(), QStringLiteral("Raw"));
    QVERIFY(window->state().RawDisplay);
    raw->click();
    QCOMPARE(raw->text(), QStringLiteral("Cal"));
    QVERIFY(!window->state().RawDisplay);
    QVERIFY(!raw->isChecked());  // it does not stay down

    Machine uncalibrated;
    Standard(uncalibrated);
    const auto second = uncalibrated.start();
    second->controls().RawData->click();
    QCOMPARE(second->controls().RawData->text(), QStringLiteral("Raw"));
    QVERIFY(second->state().RawDisplay);
}

void TestSoundMeter::triggerButtonStates() {
    Machine m;
    Standard(m);
    const auto window = m.start();
    const SoundMeterControls& ui = window->controls();
    ui.TriggerEnable->click();
    QCOMPARE(Text(ui.TriggerEnable), QStringLiteral("Trig.disable"));
    QVERIFY(ui.TriggerL->isEnabled() && ui.TriggerR->isEnabled());
    QVERIFY(ui.TriggerL->isChecked());
    QVERIFY(ui.Synchronized->isEnabled());
    ui.TriggerR->click();
    QVERIFY(ui.TriggerR->isChecked() && !ui.TriggerL->isChecked());
    ui.TriggerEnable->click();
    QCOMPARE(Text(ui.TriggerEnable), QStringLiteral("Trigger"));
    QVERIFY(!ui.TriggerL->isEnabled() && !ui.TriggerR->isEnabled());
    QVERIFY(ui.TriggerR->isChecked());  // down but disabled
    QVERIFY(!ui.Synchronized->isEnabled());
    ui.TriggerEnable->click();
    QVERIFY(ui.TriggerL->isChecked() && !ui.TriggerR->isChecked());
}

void TestSoundMeter::scopeFollowsItsControls() {
    // Channel B (a 441 Hz square) triggers at level 0: the trace starts on the frame after the
    // rise, and the indicator lights; disabling A leaves only B's trace. The readings do not
    // depend on the trigger: A, the same square 49 frames ahead, is below zero in the trigger
    // frame 101 and above it in frame 0, and still reads 441 Hz.
    Machine m;
    Standard(m);
    m.signal.squareA = 49;
    const auto window = m.start();
    const SoundMeterControls& ui = window->controls();
    ui.TriggerEnable->click();
    ui.TriggerR->click();
    ui.ScopeL->setChecked(false);
    ui.StartStop->click();
    m.waveInput.deliverFrames(FramesPerBuffer);
    QCoreApplication::processEvents();
    QVERIFY(window->scope().synchronized());
    QCOMPARE(ui.Synchronized->palette().color(QPalette::Window), QColor(255, 255, 0));
    QCOMPARE(ui.LFrequency->text(), QStringLiteral("441 "));
    QCOMPARE(ui.RFrequency->text(), QStringLiteral("441 "));
    const QImage picture = window->scope().image();
    // 3000 / 128 -> 23: the high half at y = 133 - 24, starting at x = 0.
    QCOMPARE(picture.pixel(0, 133 - 24), Oscilloscope::Aqua);
    bool yellow = false;
    for (int x = 0; x < picture.width(); ++x) {
        for (int y = 0; y < picture.height(); ++y) {
            yellow = yellow || picture.pixel(x, y) == Oscilloscope::Yellow;
        }
    }
    QVERIFY(!yellow);
}

void TestSoundMeter::lostDeviceStopsTheFlow() {
    Machine m;
    Standard(m);
    const auto window = m.start();
    const SoundMeterControls& ui = window->controls();
    ui.StartStop->click();
    m.waveInput.deliverFrames(FramesPerBuffer + 700);
    m.waveInput.loseDevice();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    QCOMPARE(window->blocksProcessed(), 2LL);  // the full block and the 700 frames
    QCOMPARE(m.dialogs.boxes.shown().size(), 1);
    QVERIFY(m.dialogs.boxes.texts().front().contains("input device has stopped working"));
    QCOMPARE(Text(ui.StartStop), QStringLiteral("Start"));
    QVERIFY(ui.WaveInDevices->isEnabled());
    QVERIFY(!window->endRequested());
    // Start while it is still away: the user is told, and nothing runs.
    m.waveInput.failCall(SimWaveInput::Call::Open, wave::BadDeviceId);
    ui.StartStop->click();
    QCOMPARE(Text(ui.StartStop), QStringLiteral("Start"));
    QCOMPARE(m.dialogs.boxes.shown().size(), 2);
    QVERIFY(m.dialogs.boxes.texts().last().contains("\"Sim Card\" cannot be opened"));
    // Reconnected: Start opens it again and blocks come.
    ui.StartStop->click();
    QCOMPARE(Text(ui.StartStop), QStringLiteral("Stop"));
    m.waveInput.deliverFrames(FramesPerBuffer);
    QCoreApplication::processEvents();
    QCOMPARE(window->blocksProcessed(), 3LL);
    QVERIFY(!window->endRequested());
}

void TestSoundMeter::stalledInputShowsNoData() {
    // The input stops delivering while running: the readouts and the scope say so instead of
    // showing the last block as live, and come back with the next block.
    Machine m;
    Standard(m);
    const auto window = m.start();
    const SoundMeterControls& ui = window->controls();
    window->inputWatch().setLimit(std::chrono::milliseconds(50));
    ui.StartStop->click();
    m.waveInput.deliverFrames(FramesPerBuffer);
    QCoreApplication::processEvents();
    QCOMPARE(ui.DisplayL->text(), QStringLiteral("1000  "));
    QTRY_COMPARE(ui.DisplayL->text(), QStringLiteral("----  "));
    QCOMPARE(ui.RFrequency->text(), QStringLiteral("---- "));
    QCOMPARE(ui.VUR->value(), 0);
    QCOMPARE(window->scope().image().pixel(4, 133 - 9), Oscilloscope::Teal);  // no trace
    m.waveInput.deliverFrames(FramesPerBuffer);
    QCoreApplication::processEvents();
    QCOMPARE(ui.DisplayL->text(), QStringLiteral("1000  "));
    QCOMPARE(ui.RFrequency->text(), QStringLiteral("441 "));
    QCOMPARE(window->scope().image().pixel(4, 133 - 9), Oscilloscope::Yellow);
    // A stopped capture is not stalled: what it last showed stays.
    ui.StartStop->click();
    QTest::qWait(150);
    QCOMPARE(ui.DisplayL->text(), QStringLiteral("1000  "));
}

void TestSoundMeter::clippingAndRmsOnTheReadouts_data() {
    // Channel A's level block after block, and the colour its panel must show on screen after
    // each, red while it clips. A steady text keeps its cached picture: the panel must still
    // show what is true.
    QTest::addColumn<QList<int>>("levels");
    QTest::addColumn<QList<bool>>("red");
    QTest::newRow("clipped, then below") << QList<int>{32767, 32766} << QList<bool>{true, false};
    QTest::newRow("clipped, then a steady text")
        << QList<int>{32767, 10000, 10000, 10000} << QList<bool>{true, false, false, false};
    QTest::newRow("a text that does not change as it clips")
        << QList<int>{32767, 32767, 32767, 32766, 32767, 32767}
        << QList<bool>{true, true, true, false, true, true};
}

void TestSoundMeter::clippingAndRmsOnTheReadouts() {
    QFETCH(QList<int>, levels);
    QFETCH(QList<bool>, red);
    Machine m;
    Standard(m);
    const auto window = m.start();
    const SoundMeterControls& ui = window->controls();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    // What the screen shows in the middle of A's and B's reading panels (under the text's
    // right edge, where the text leaves the panel's colour).
    const auto onScreen = [&](QFrame* panel) {
        QTest::qWait(20);  // the window's repaint comes on the platform's next update
        const QImage shown = window->screen()->grabWindow(window->winId()).toImage();
        return shown.pixelColor(panel->mapTo(window.get(), QPoint(panel->width() / 2, 3)));
    };
    const QColor teal(0, 128, 128);
    const QColor darkRed(160, 0, 0);
    ui.StartStop->click();
    for (qsizetype i = 0; i < levels.size(); ++i) {
        m.signal.levelA = levels[i];
        m.deliverBlocks(1);
        QCOMPARE(onScreen(ui.ValueL), red[i] ? darkRed : teal);
        QCOMPARE(onScreen(ui.ValueR), teal);
    }
    // B's square wave of +-3000 about 0: RMS 3000; A's DC has no AC part.
    QCOMPARE(ui.DisplayR->toolTip(), QStringLiteral("True RMS of the AC part: 3000"));
    QCOMPARE(ui.DisplayL->toolTip(), QStringLiteral("True RMS of the AC part: 0"));
}

void TestSoundMeter::pictureFromTheContextMenu_data() {
    QTest::addColumn<QString>("screen");
    QTest::addColumn<qreal>("ratio");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("dotsPerMetre");
    QTest::newRow("ratio 1") << QStringLiteral("one") << qreal{1} << QSize(520, 310) << 3780;
    // As sharp as shown: twice the pixels, twice the dots per inch to print as large.
    QTest::newRow("ratio 2") << QStringLiteral("two") << qreal{2} << QSize(1040, 620) << 7560;
}

void TestSoundMeter::pictureFromTheContextMenu() {
    QFETCH(QString, screen);
    QFETCH(qreal, ratio);
    QFETCH(QSize, size);
    QFETCH(int, dotsPerMetre);
    Machine m;
    Standard(m);
    const auto window = m.start();
    const SoundMeterControls& ui = window->controls();
    // Moved to the screen: the scope's picture follows its ratio.
    window->winId();
    for (QScreen* s : QGuiApplication::screens()) {
        if (s->name() == screen) {
            window->windowHandle()->setScreen(s);
        }
    }
    QCOMPARE(window->scope().devicePixelRatio(), ratio);
    QCOMPARE(window->scope().image().size(), QSize(265, 266) * ratio);
    ui.StartStop->click();
    m.deliverBlocks(1);
    auto* save = window->findChild<QAction*>(QStringLiteral("SavePicture"));
    QVERIFY(save && window->actions().contains(save));
    QCOMPARE(save->shortcut(), QKeySequence(QStringLiteral("Ctrl+P")));
    m.dialogs.saveNames = {m_dir.filePath("panel.png"), QStringLiteral("/dev/full")};
    save->trigger();
    QImage picture(m_dir.filePath("panel.png"));
    QCOMPARE(picture.size(), size);
    QCOMPARE(picture.dotsPerMeterX(), dotsPerMetre);
    QCOMPARE(picture.dotsPerMeterY(), dotsPerMetre);
    QCOMPARE(picture.text("Software"), QStringLiteral("Veruziva 0.1.0"));
    QCOMPARE(picture.text("Unit A"), QStringLiteral("raw units"));
    QCOMPARE(picture.text("Level as calibrated B"), QStringLiteral("yes"));
    // The scope's background, the reading's panel, and no buttons: the window colour there.
    const QPoint scope = ui.Oscilloscope->mapTo(window.get(), QPoint(2, 2)) * ratio;
    QCOMPARE(picture.pixelColor(scope), QColor::fromRgb(Oscilloscope::Teal));
    QCOMPARE(picture.pixelColor(ui.ValueL->mapTo(window.get(), QPoint(3, 3)) * ratio),
             QColor(0, 128, 128));
    QCOMPARE(picture.pixelColor(ui.StartStop->geometry().center() * ratio),
             window->palette().color(QPalette::Window));
    // The scope as drawn, pixel for pixel: its traces not scaled.
    const QImage traces = window->scope().image();
    const QPoint origin = ui.Oscilloscope->mapTo(window.get(), QPoint()) * ratio;
    QImage shownScope = picture.copy(QRect(origin, traces.size())).convertToFormat(traces.format());
    shownScope.setDevicePixelRatio(ratio);
    QCOMPARE(shownScope, traces);
    save->trigger();  // a full disk: said, and the window goes on
    QCOMPARE(m.dialogs.boxes.texts().value(0),
             QStringLiteral("The picture cannot be saved as /dev/full: Disk full"));
    save->trigger();  // cancelled: nothing
    QCOMPARE(m.dialogs.saveCaptions.size(), 3);
    QCOMPARE(m.dialogs.boxes.texts().size(), 1);
}

void TestSoundMeter::trendFromTheContextMenu() {
    // Every measured block reaches the trend, open or not; unit and scale changes mark it.
    Machine m;
    Standard(m);
    m.storeCompleteCalibration(0, 0, 1);
    const auto window = m.start();
    const SoundMeterControls& ui = window->controls();
    ui.StartStop->click();
    m.deliverBlocks(3);
    const TrendStatistics a = window->trend().statistics(TrendChannel::A);
    QCOMPARE(a.count, 3);
    QCOMPARE(a.unit, 'V');
    QCOMPARE(a.average, window->readouts().a.reading);
    // B's square wave: each block's true RMS, the same in every block.
    QCOMPARE(window->trend().statistics(TrendChannel::B).signalRms, window->readouts().b.rms);
    ui.R3->click();
    ui.RawData->click();
    m.deliverBlocks(1);
    QStringList marks;
    for (const TrendMarker& marker :
         window->trend().markers(0, std::numeric_limits<qint64>::max())) {
        marks << marker.text;
    }
    QCOMPARE(marks, QStringList({"B: 3 V", "Raw"}));
    QCOMPARE(window->trend().statistics(TrendChannel::A).unit, ' ');  // raw from there on
    auto* open = window->findChild<QAction*>(QStringLiteral("OpenTrend"));
    QVERIFY(open && window->actions().contains(open));
    QCOMPARE(open->shortcut(), QKeySequence(QStringLiteral("Ctrl+T")));
    QVERIFY(!window->trendWindow());
    open->trigger();
    QVERIFY(window->trendWindow() && window->trendWindow()->isVisible());
    QCOMPARE(window->trendWindow()->windowTitle(), QStringLiteral("Trend"));
    open->trigger();  // the same window again
    QCOMPARE(window->findChildren<TrendWindow*>().size(), 1);
    // Its file says what the window measured with.
    m.dialogs.saveNames = {m_dir.filePath("trend.csv")};
    window->trendWindow()->SaveCsvClick();
    QFile csv(m_dir.filePath("trend.csv"));
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = csv.readAll().split('\n');
    QCOMPARE(lines.mid(0, 2),
             QList<QByteArray>({"# Software: Veruziva 0.1.0", "# Source: Sim Card"}));
    QCOMPARE(lines.mid(5, 3),
             QList<QByteArray>({"# Range B: 3 V", "# Unit A: raw units", "# Unit B: raw units"}));
    QCOMPARE(lines.value(15), "# Calibration B 3 V: DC, factor 0.0003, made unknown, on unknown");
    QCOMPARE(lines.value(18), "time;elapsed_s;A [V];B [V];level_moved");
}

void TestSoundMeter::contextMenuAsShown() {
    // The views' table, then the picture: text, shortcut, enabled.
    Machine m;
    Standard(m);
    const auto window = m.start();
    QCOMPARE(window->contextMenuPolicy(), Qt::ActionsContextMenu);
    QStringList menu;
    for (const QAction* action : window->actions()) {
        menu << QStringLiteral("%1 %2 %3")
                    .arg(action->text(), action->shortcut().toString())
                    .arg(action->isEnabled());
    }
    QCOMPARE(menu, QStringList({"Trend... Ctrl+T 1", "Analyzer... Ctrl+Y 1", "Scope... Ctrl+J 1",
                                "Calibrate with a sine... Ctrl+K 1", "Save picture... Ctrl+P 1",
                                "Remote control...  1"}));
}

void TestSoundMeter::remoteControl() {
    // "Remote control..." serves the window's readings to SCPI clients, the caption saying so;
    // the ranges stay the window's; asked again, it stops.
    Machine m;
    Standard(m);
    const auto window = m.start();
    window->inputWatch().setLimit(std::chrono::milliseconds(50));
    auto* action = window->findChild<QAction*>(QStringLiteral("RemoteControl"));
    QVERIFY(action != nullptr);
    m.dialogs.texts = {"port 80", "127.0.0.1:0"};
    action->trigger();
    QVERIFY(!window->remoteControl().serving());
    QCOMPARE(m.dialogs.boxes.texts(),
             QStringList{"\"port 80\" is not [address:]port, as 5025 or 127.0.0.1:5025."});
    action->trigger();
    QVERIFY(window->remoteControl().serving());
    const quint16 port = window->remoteControl().port();
    QCOMPARE(
        window->windowTitle(),
        QStringLiteral("Veruziva & Multimeter \u2014 remote control on 127.0.0.1:%1").arg(port));

    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, port);
    const auto line = [&client] {
        (void)QTest::qWaitFor([&] { return client.canReadLine(); }, 5000);
        return client.readLine().trimmed();
    };
    client.write("UNIT?;RANG?\nRANG 3,(@1);:SYST:ERR?\nMEAS:VOLT? (@1)\n");
    QCOMPARE(line(), QByteArray("RAW,RAW;0.3V,0.3V"));
    QCOMPARE(line(), QByteArray(R"(-221,"Settings conflict;the ranges are set in the window")"));
    window->controls().StartStop->click();
    m.deliverBlocks(1);
    QCOMPARE(line(), QByteArray("+1.0E+03"));
    // The input stalls: a waiting reading is answered as not taken.
    client.write("MEAS:VOLT? (@1);:SYST:STAL?\n");
    QCOMPARE(line(), QByteArray("+9.91E+37;1"));

    m.dialogs.boxes.queueAnswer(Answer::Yes);
    action->trigger();
    QVERIFY(!window->remoteControl().serving());
    QCOMPARE(window->windowTitle(), QStringLiteral("Veruziva & Multimeter"));
    QTRY_COMPARE(client.state(), QAbstractSocket::UnconnectedState);
}

void TestSoundMeter::helpAboutAndClose() {
    Machine m;
    Standard(m);
    const auto window = m.start();
    window->controls().Help->click();
    QCOMPARE(m.dialogs.helpTopics, QStringList{"Description"});
    window->controls().About->click();
    QCOMPARE(m.dialogs.aboutShown, 1);
    window->controls().Close->click();
    QCOMPARE(m.endRequests, 1);
    QVERIFY(window->endRequested());
}

void TestSoundMeter::calibrationWithASine() {
    // Nothing calibrated; channel A's 3 V range with a 1 V RMS square (3000 raw units RMS),
    // then a restart: the range is in force again, the others read raw.
    Machine m;
    Standard(m);
    m.signal.squareA = 0;
    m.waveInput.setDelivery(SimWaveInput::Delivery::Immediate);
    auto window = m.start();
    const SoundMeterControls* ui = &window->controls();
    QVERIFY(!ui->L3->isEnabled());
    ui->StartStop->click();
    for (QAction* action : window->actions()) {
        if (action->objectName() == QLatin1String("CalibrateWithSine")) {
            action->trigger();
        }
    }
    auto* sine = window->findChild<QWidget*>(QStringLiteral("AcCalibrationWindow"));
    QVERIFY(sine);
    sine->findChild<QComboBox*>(QStringLiteral("AcRange"))->setCurrentIndex(1);
    sine->findChild<QCheckBox*>(QStringLiteral("AcChannelB"))->setChecked(false);
    sine->findChild<QLineEdit*>(QStringLiteral("AcValue"))->setText(QStringLiteral("1,000"));
    auto* calibrate = sine->findChild<QPushButton*>(QStringLiteral("AcCalibrate"));
    calibrate->click();
    ui->StartStop->click();  // stopped while measuring: nothing changes, nothing waits
    QCOMPARE(calibrate->text(), QStringLiteral("Calibrate"));
    QVERIFY(!window->acCalibration().measuring());
    ui->StartStop->click();
    calibrate->click();
    m.deliverBlocks(AcSettleBlocks + AcCalibrationBlocks + 1);
    const QString status = sine->findChild<QLabel*>(QStringLiteral("AcStatus"))->text();
    QVERIFY2(status.startsWith(QStringLiteral("The 3 V range is calibrated")), qPrintable(status));
    const double factor = window->state().AcFactor[2].Left;
    QVERIFY(std::abs(factor * 3000 - 1.0) < 0.002);
    QCOMPARE(window->state().AcFactor[2].Right, 0.0);
    QVERIFY(ui->L3->isChecked() && ui->R03->isChecked());
    QCOMPARE(Text(ui->RawData), QStringLiteral("Cal"));
    QCOMPARE(ui->DisplayL->text(), QStringLiteral("1.000V "));               // a square: mean = RMS
    QCOMPARE(ui->DisplayR->text().trimmed().right(1), QStringLiteral("0"));  // raw, no unit
    QVERIFY(ui->L03->toolTip().startsWith(QStringLiteral("Not calibrated")));
    QVERIFY(ui->L3->toolTip().startsWith(QStringLiteral("Calibrated with a sine")));
    QVERIFY(ui->L03->isEnabled());

    window.reset();
    window = m.start();
    ui = &window->controls();
    QVERIFY(ui->L3->isChecked() && ui->R03->isChecked());
    QVERIFY(window->rangesNote()->isVisibleTo(window.get()));
    QCOMPARE(window->state().CalFactor[2].Left, factor);
    QVERIFY(!window->state().Calibrated);
    QCOMPARE(Text(ui->RawData), QStringLiteral("Cal"));
    ui->StartStop->click();
    m.deliverBlocks(1);
    QCOMPARE(ui->DisplayL->text(), QStringLiteral("1.000V "));
    ui->L03->click();  // a range that reads raw; the choice is stored at once
    m.deliverBlocks(1);
    QVERIFY(!ui->DisplayL->text().contains(QLatin1Char('V')));
    QVERIFY(!window->rangesNote()->isVisibleTo(window.get()));
    QCOMPARE(m.settings.values().value("Range left").toInt(), 1);
}

void TestSoundMeter::rangeCalibratedElsewhere_data() {
    // A's 3 V range calibrated with a sine by the meter tool, which stores no device of the
    // window's, on an input the tool names (or none, from a recording).
    QTest::addColumn<QString>("madeOn");
    QTest::addColumn<bool>("inForce");
    QTest::newRow("a recording") << "" << true;
    QTest::newRow("this card") << "Sim Card" << true;
    QTest::newRow("another card") << "Other card" << false;
}

void TestSoundMeter::rangeCalibratedElsewhere() {
    QFETCH(QString, madeOn);
    QFETCH(bool, inForce);
    Machine m;
    Standard(m);
    m.settings.plant(AcFactorValueName(2, Side::Left), QStringLiteral("0.0002"));
    m.settings.plant(MethodValueName(2, Side::Left), QStringLiteral("AC"));
    m.settings.plant(MadeOnValueName(2, Side::Left), madeOn);
    const auto window = m.start();
    QCOMPARE(m.dialogs.boxes.texts(), QStringList());  // chosen as on a first run, silently
    QCOMPARE(RangeInForce(window->state(), 2, Side::Left), inForce);
    QVERIFY(!RangeInForce(window->state(), 2, Side::Right));
    QCOMPARE(window->controls().L3->isEnabled(), inForce);
    QCOMPARE(Text(window->controls().RawData),
             inForce ? QStringLiteral("Cal") : QStringLiteral("Raw"));
}

void TestSoundMeter::calibrationThroughTheWindow() {
    Machine m;
    Standard(m);
    m.signal.squareB = false;
    m.waveInput.setDelivery(SimWaveInput::Delivery::Immediate);
    // The bench: grounded for the zero step, then for each range a DC value whose reading puts
    // the range's full scale at 16000 raw units.
    const std::array<double, 4> values{0.15, 1.5, 10, 1};
    m.dialogs.onConfirm = [&m, values](const QString& text, Answer answer) {
        if (answer != Answer::Ok) {
            return;
        }
        if (text == QString::fromLatin1(calibrationmessages::ZeroQuestion)) {
            m.signal.levelA = 12;
            m.signal.levelB = -7;
        }
        for (int range = FirstRange; range <= LastRange; ++range) {
            if (text == calibrationmessages::RangeQuestion(range)) {
                const int raw = static_cast<int>(values[static_cast<std::size_t>(range - 1)] /
                                                 RangeFullScale(range) * 16000);
                m.signal.levelA = 12 + raw;
                m.signal.levelB = -7 + raw;
            }
        }
    };
    m.dialogs.entries = {QStringLiteral("0.15"), QStringLiteral("1.5"), QStringLiteral("10"),
                         QStringLiteral("1")};
    auto window = m.start();
    const SoundMeterControls& ui = window->controls();
    ui.Calibrate->click();
    QCOMPARE(m.dialogs.boxes.texts().last(), QStringLiteral("Calibration was completed!"));
    QCOMPARE(m.dialogs.valueDialogs, 4);
    QVERIFY(window->state().Calibrated);
    QVERIFY(window->state().RawDisplay);                // still raw, as before the calibration
    QCOMPARE(Text(ui.RawData), QStringLiteral("Raw"));  // until the user switches
    for (QAbstractButton* range : ui.RangeGroupL->buttons() + ui.RangeGroupR->buttons()) {
        QVERIFY(range->isEnabled());
    }
    QVERIFY(m.waveInput.notifies());  // back in notified mode, stopped
    QVERIFY(!m.waveInput.isRunning());
    QCOMPARE(m.settings.writeOrder().size(), 18 + 3 * 8);  // the 18, then how/when/where per range
    QCOMPARE(m.settings.values().value("Sound device name"), QVariant("Sim Card"));
    ui.RawData->click();
    QCOMPARE(Text(ui.RawData), QStringLiteral("Cal"));
    // The next start restores it.
    window.reset();
    m.dialogs.boxes.clear();
    const auto restarted = m.start();
    QVERIFY(restarted->state().Calibrated);
    QCOMPARE(Text(restarted->controls().RawData), QStringLiteral("Cal"));
    QVERIFY(restarted->controls().L3A->isEnabled());
    QVERIFY(m.dialogs.boxes.shown().isEmpty());
}

void TestSoundMeter::sampledRecordingThroughTheWindow_data() {
    AddSampledRecordingRows("1000;3000");
}

void TestSoundMeter::sampledRecordingThroughTheWindow() {
    QFETCH(QString, time);
    QFETCH(int, unit);
    QFETCH(int, period);
    QFETCH(int, rows);
    QFETCH(QString, last);
    Machine m;
    Standard(m);
    m.dialogs.definition.captureTime = time;
    m.dialogs.definition.timeMeasure = unit;
    m.dialogs.definition.samplingPeriod = period;
    m.dialogs.definition.nameOfFile = m_dir.filePath("window.csv");
    const auto window = m.start();
    const SoundMeterControls& ui = window->controls();
    ui.Saving->click();  // the capture was stopped: it starts
    QVERIFY(m.waveInput.isRunning());
    QCOMPARE(Text(ui.Saving), QStringLiteral("Stop saving"));
    QVERIFY(!m.dialogs.recordTypeEnabled);
    QVERIFY(window->MyTimer()->isActive());
    QCOMPARE(window->MyTimer()->interval(), SamplingInterval(period));
    window->MyTimer()->stop();  // the test ticks it, between the blocks it delivers
    ui.Definition->click();     // usable during a recording
    QCOMPARE(m.dialogs.definitionShown, 1);
    // A block comes before each tick, except in periods 3 and 4, when the input stalls: their
    // rows are left out rather than repeat the last reading.
    const QSet<int> stalled = rows > 4 ? QSet<int>{3, 4} : QSet<int>{};
    for (int tick = 1; tick <= rows; ++tick) {
        if (!stalled.contains(tick)) {
            m.waveInput.deliverFrames(FramesPerBuffer);
            QCoreApplication::processEvents();
        }
        window->MyTimerTimer();
    }
    // It ended by itself: capture stopped, caption and record type back.
    QVERIFY(!window->recording().SavingActive());
    QVERIFY(!m.waveInput.isRunning());
    QCOMPARE(Text(ui.Saving), QStringLiteral("Start saving"));
    QVERIFY(m.dialogs.recordTypeEnabled);
    QVERIFY(!window->MyTimer()->isActive());
    QFile file(m_dir.filePath("window.csv"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split("\r\n", Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), rows + 1 - static_cast<int>(stalled.size()));
    QCOMPARE(lines.front(), QStringLiteral("time;A[ ];B[ ]"));
    QCOMPARE(lines.last(), last);
    if (!stalled.isEmpty()) {
        QCOMPARE(lines.mid(1, 3),
                 (QStringList{"0.25;1000;3000", "0.5;1000;3000", "1.25;1000;3000"}));
    }
}

void TestSoundMeter::continualRecordingEndsWithTheWindow() {
    Machine m;
    Standard(m);
    m.dialogs.definition.recordType = CaptureDefinition::Continual;
    m.dialogs.definition.captureTime = QStringLiteral("10");
    m.dialogs.definition.nameOfFile = m_dir.filePath("window.wav");
    auto window = m.start();
    window->controls().Saving->click();
    QCOMPARE(m.dialogs.boxes.texts(),
             QStringList{"The size of the WAV file will be 1722kB. Proceed?"});
    QCOMPARE(window->MyTimer()->interval(), 10000 + ContinualGraceMs);
    for (int block = 0; block < 3; ++block) {
        m.signal.levelA = 100 * (block + 1);
        m.waveInput.deliverFrames(FramesPerBuffer);
        QCoreApplication::processEvents();
    }
    window->controls().Close->click();  // the window closes during the recording
    window.reset();
    QFile file(m_dir.filePath("window.wav"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const QString problem = wavcheck::Problem(m_dir.filePath("window.wav"), 3 * 16384);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    // The raw frames as captured: A's level of each block, B's square wave.
    auto sample = [&bytes](int frame, int channel) {
        const int at = 44 + 4 * frame + 2 * channel;
        return static_cast<std::int16_t>(static_cast<std::uint8_t>(bytes[at]) |
                                         static_cast<std::uint8_t>(bytes[at + 1]) << 8);
    };
    QCOMPARE(sample(0, 0), std::int16_t{100});
    QCOMPARE(sample(2 * FramesPerBuffer + 5, 0), std::int16_t{300});
    QCOMPARE(sample(0, 1), std::int16_t{3000});
    QCOMPARE(sample(50, 1), std::int16_t{-3000});
}

void TestSoundMeter::continualRecordingEndsWithItsLastByte() {
    Machine m;
    Standard(m);
    m.defineContinual(m_dir.filePath("second.wav"));
    const auto window = m.start();
    window->controls().Saving->click();
    // Eleven blocks hold the second's 44100 frames; the capture stops with the recording.
    m.deliverBlocks(11);
    QCoreApplication::processEvents();
    QVERIFY(!window->recording().SavingActive());
    QVERIFY(!m.waveInput.isRunning());
    QCOMPARE(Text(window->controls().Saving), QStringLiteral("Start saving"));
    QCOMPARE(Text(window->controls().StartStop), QStringLiteral("Start"));
    const QString problem = wavcheck::Problem(m_dir.filePath("second.wav"), 176400);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

void TestSoundMeter::continualRecordingWaitsForItsLastBlock() {
    // The block that completes a second of recording comes after the second is over (a card
    // delivers whole blocks): the recording still takes it, and its file is whole.
    Machine m;
    Standard(m);
    m.defineContinual(m_dir.filePath("late.wav"));
    const auto window = m.start();
    window->controls().Saving->click();
    m.deliverBlocks(10);
    QTest::qWait(1300);
    QVERIFY(window->recording().SavingActive());
    m.waveInput.deliverFrames(FramesPerBuffer);
    QTRY_VERIFY(!window->recording().SavingActive());
    const QString problem = wavcheck::Problem(m_dir.filePath("late.wav"), 176400);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

void TestSoundMeter::cancelAtTheSizeQuestion() {
    Machine m;
    Standard(m);
    m.defineContinual(m_dir.filePath("never.wav"));
    m.dialogs.boxes.queueAnswer(Answer::Cancel);
    const auto window = m.start();
    window->controls().Saving->click();
    QCOMPARE(m.dialogs.boxes.texts().last(), QStringLiteral("O.K. Data will not be saved."));
    QVERIFY(!QFile::exists(m_dir.filePath("never.wav")));
    QVERIFY(!m.waveInput.isRunning());
    QCOMPARE(Text(window->controls().Saving), QStringLiteral("Start saving"));
}

void TestSoundMeter::lostDeviceEndsTheRecording() {
    Machine m;
    Standard(m);
    m.defineContinual(m_dir.filePath("lost.wav"));
    const auto window = m.start();
    window->controls().Saving->click();
    m.waveInput.deliverFrames(FramesPerBuffer + 500);
    m.waveInput.loseDevice();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    QVERIFY(!window->recording().SavingActive());
    // The full block and the 500 frames before the loss.
    const QString problem = wavcheck::Problem(m_dir.filePath("lost.wav"), 16384 + 2000);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

QTEST_MAIN_WRAPPER(TestSoundMeter, sim::UseTwoScreens(); QTEST_MAIN_SETUP())
#include "tst_soundmeter.moc"
