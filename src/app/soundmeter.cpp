#include "app/soundmeter.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTime>
#include <QTimer>
#include <QToolButton>

#include "app/dialogs.h"
#include "app/oscilloscopeview.h"
#include "base/pngfile.h"
#include "calibration/calibrationprocedure.h"
#include "calibration/filedescription.h"
#include "calibration/storedsettings.h"
#include "capture/captureevent.h"
#include "trend/window/trendwindow.h"

namespace veruziva {

// The window's device box as the input selection sees it.
class TSoundMeter::ComboDeviceBox : public DeviceBox {
public:
    void setCombo(QComboBox* combo) { m_combo = combo; }
    void insertItem(int index, const QString& name) override { m_combo->insertItem(index, name); }
    void setCurrentIndex(int index) override {
        const QSignalBlocker quiet(m_combo);
        m_combo->setCurrentIndex(index);
    }
    int currentIndex() const override { return m_combo->currentIndex(); }

private:
    QComboBox* m_combo = nullptr;
};

namespace {

const QColor Yellow(255, 255, 0);
const QColor Teal = QColor::fromRgb(ReadoutPanelRgb);
const QColor OverloadRed(160, 0, 0);
// Readings that do not hold at the present input level.
const QColor NotValidAmber(255, 176, 0);

// A readout panel's colour: teal, or red while its channel's input clips.
void ShowOverload(QFrame* panel, QLabel* display, bool overloaded) {
    const QColor colour = overloaded ? OverloadRed : Teal;
    if (panel->palette().color(QPalette::Window) != colour) {
        QPalette palette = panel->palette();
        palette.setColor(QPalette::Window, colour);
        panel->setPalette(palette);
        // The reading's label keeps its own palette, so the change does not reach it; it draws
        // on the panel's colour and may have been drawn already in this block (a level bar's
        // value repaints at once): draw it again, whether its text changed or not.
        display->update();
    }
}

// How long the note on restored ranges stays, unless a range is clicked first.
constexpr int RangesNoteMs = 20000;

// Boxes that show nothing: a failure already told once.
class QuietBoxes : public MessageBoxes {
public:
    void showMessage(const QString& /*text*/) override {}
    Answer confirm(const QString& /*text*/, ConfirmButtons /*buttons*/) override {
        return Answer::Cancel;
    }
    void showError(const QString& /*text*/) override {}
};

// The reading's tooltip: the true RMS of the channel's AC part.
void ShowRms(QLabel* display, const std::string& rmsText) {
    const QString tip = QStringLiteral("True RMS of the AC part: %1")
                            .arg(QString::fromStdString(rmsText).trimmed());
    if (display->toolTip() != tip) {
        display->setToolTip(tip);
    }
}

}  // namespace

TSoundMeter::TSoundMeter(InstrumentServices services, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::CustomizeWindowHint),
      m_services(std::move(services)),
      m_deviceBox(std::make_unique<ComboDeviceBox>()),
      m_heldBoxes(m_services.dialogs),
      m_fatal(m_heldBoxes, [this] { m_heldBoxes.later([this] { requestEnd(); }); }),
      m_mixer(m_services.mixers),
      m_engine(m_services.waveInput, m_fatal, PostTo(this)),
      m_selection(m_services.waveInput, m_mixer, m_engine, m_state.Device, FlagsOf(m_state),
                  *m_deviceBox, m_services.dialogs, m_fatal),
      m_inputWatch([this] { showNoData(); }, [this] { m_remote.inputChanged(); }),
      m_levelWatch(m_mixer, [this] { return m_state.Device.LineIn; }),
      m_timer(new QTimer(this)),
      m_timerAdapter(*m_timer),
      m_recording(m_heldBoxes, m_timerAdapter,
                  RecordingHooks{[this] { return m_engine.Running(); },
                                 [this] { StartStopClick(); },
                                 [this](bool recording) { recordingChanged(recording); },
                                 [this] { return m_ui.DisplayL->text(); },
                                 [this] { return m_ui.DisplayR->text(); },
                                 [] { return QLocale::system().decimalPoint(); },
                                 {}}),
      m_acCalibration(
          m_state, m_services.settings, m_heldBoxes,
          AcCalibrationHooks{
              [this] { return m_engine.Running(); },
              [this] {
                  m_mixer.SetLineLevel(1, m_state.Device.LineIn, 0xFFFF, 0xFFFF, 0);
                  lineInLevelSet();
              },
              [this] { return m_ui.WaveInDevices->currentIndex(); },
              [this] { return m_selection.DeviceIdentity(m_ui.WaveInDevices->currentIndex()); },
              [this](int range, bool a, bool b) { acCalibrated(range, a, b); }}),
      m_views(ViewTable(),
              ViewParts{m_trend, m_services.dialogs, m_heldBoxes, *this, m_acCalibration,
                        m_analysis, m_sampleClock, [this] { return fileMetadata(); }}),
      m_remote(RemoteControl::Window{
                   [this] {
                       return QByteArray::fromStdString(
                           m_selection.DeviceIdentity(m_ui.WaveInDevices->currentIndex()));
                   },
                   [this] { return ranges(); },
                   [this] {
                       return std::array{m_unitLetterL, m_unitLetterR};
                   },
                   [this] { return levelMarked(); }, [this] { return m_inputWatch.stalled(); },
                   [this] { return m_state.SampleClockPpm; },
                   [this](const QString& serving) {
                       setWindowTitle(serving.isEmpty() ? QString::fromLatin1(MainWindowCaption)
                                                        : QString::fromLatin1(MainWindowCaption) +
                                                              QStringLiteral(" \u2014 ") + serving);
                   }},
               m_services.dialogs),
      m_blocks(*this, QLocale::system().decimalPoint().toStdString(), &m_engine) {
    m_ui = LayOutSoundMeter(*this, m_scope);
    m_deviceBox->setCombo(m_ui.WaveInDevices);
    connectControls();
    addContextMenu();
    m_blocks.setHeldBoxes(&m_heldBoxes);
    m_blocks.addSink(m_inputWatchSink);
    m_blocks.addSink(m_recordingSink);
    m_views.addSinks(m_blocks);
    m_blocks.addSink(m_remote.sink());
    m_blocks.setPendingEvents([] { QCoreApplication::processEvents(); });
    m_timer->setObjectName(QStringLiteral("MyTimer"));
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, &TSoundMeter::MyTimerTimer);
    m_engine.setRunningChanged([this](bool running) { runningChanged(running); });
    addLevelMark();
    addRangesNote();
    FormCreate();
}

TSoundMeter::~TSoundMeter() = default;

void TSoundMeter::connectControls() {
    const SoundMeterControls& ui = m_ui;
    connect(ui.StartStop, &QPushButton::clicked, this, &TSoundMeter::StartStopClick);
    connect(ui.Calibrate, &QPushButton::clicked, this, &TSoundMeter::CalibrateClick);
    connect(ui.RawData, &QToolButton::clicked, this, &TSoundMeter::RawDataClick);
    connect(ui.TriggerEnable, &QPushButton::clicked, this, &TSoundMeter::TriggerEnableClick);
    connect(ui.TriggerL, &QToolButton::clicked, this, [this] { m_trigger.pressSourceA(); });
    connect(ui.TriggerR, &QToolButton::clicked, this, [this] { m_trigger.pressSourceB(); });
    connect(ui.WaveInDevices, &QComboBox::activated, this, &TSoundMeter::WaveInDevicesChange);
    connect(ui.Close, &QPushButton::clicked, this, &TSoundMeter::CloseClick);
    connect(ui.Help, &QPushButton::clicked, this, &TSoundMeter::HelpClick);
    connect(ui.About, &QPushButton::clicked, this, &TSoundMeter::AboutClick);
    connect(ui.Saving, &QPushButton::clicked, this, &TSoundMeter::SavingClick);
    connect(ui.Definition, &QPushButton::clicked, this, &TSoundMeter::DefinitionClick);
    for (const bool a : {true, false}) {
        connect(a ? ui.RangeGroupL : ui.RangeGroupR, &QButtonGroup::idToggled, this,
                [this, a](int id, bool checked) {
                    if (checked) {
                        const QButtonGroup* group = a ? m_ui.RangeGroupL : m_ui.RangeGroupR;
                        markTrend((a ? QStringLiteral("A: ") : QStringLiteral("B: ")) +
                                  group->button(id)->text());
                        rangeChosen();
                        showLevelMark();
                    }
                });
    }
}

void TSoundMeter::addLevelMark() {
    m_levelMark = new QPushButton(QStringLiteral("Input level moved:\n"
                                                 "readings are not valid at this level.\n"
                                                 "Click to set it back."),
                                  this);
    m_levelMark->setObjectName(QStringLiteral("LevelMark"));
    // Over the top of the scope, where the eye is while measuring.
    const QRect scope = m_ui.Oscilloscope->geometry();
    m_levelMark->setGeometry(scope.x() + 4, scope.y() + 4, scope.width() - 8, 60);
    QPalette markPalette = m_levelMark->palette();
    markPalette.setColor(QPalette::Button, NotValidAmber);
    markPalette.setColor(QPalette::ButtonText, Qt::black);
    m_levelMark->setPalette(markPalette);
    m_levelMark->hide();
    connect(m_levelMark, &QPushButton::clicked, this, &TSoundMeter::SetLevelBackClick);
    const auto lineOrControlChanged = [this](TAudioMixer&, std::int32_t, std::int32_t) {
        m_levelWatch.check();
    };
    m_mixer.OnLineChange = lineOrControlChanged;
    m_mixer.OnControlChange = lineOrControlChanged;
    m_levelWatch.onMovedChanged = [this] { showLevelMark(); };
}

void TSoundMeter::addRangesNote() {
    m_rangeTextColour = m_ui.L03->palette().color(QPalette::Active, QPalette::ButtonText);
    m_rangesNote = new QPushButton(this);
    m_rangesNote->setObjectName(QStringLiteral("RangesNote"));
    const QRect channelB = m_ui.ChannelR->geometry();
    m_rangesNote->setGeometry(channelB.x(), channelB.bottom() + 2, channelB.width(), 40);
    QPalette palette = m_rangesNote->palette();
    palette.setColor(QPalette::Button, QColor(255, 255, 160));
    palette.setColor(QPalette::ButtonText, Qt::black);
    m_rangesNote->setPalette(palette);
    QFont font = m_rangesNote->font();
    font.setPointSizeF(font.pointSizeF() * 0.85);
    m_rangesNote->setFont(font);
    m_rangesNote->hide();
    connect(m_rangesNote, &QPushButton::clicked, m_rangesNote, &QWidget::hide);
}

void TSoundMeter::addContextMenu() {
    // The panel's own layout stays as it is; these live in its context menu, with shortcuts.
    setContextMenuPolicy(Qt::ActionsContextMenu);
    m_views.addActions();
    auto* picture = new QAction(QStringLiteral("Save picture..."), this);
    picture->setObjectName(QStringLiteral("SavePicture"));
    picture->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    connect(picture, &QAction::triggered, this, &TSoundMeter::savePicture);
    addAction(picture);
    auto* remote = new QAction(QStringLiteral("Remote control..."), this);
    remote->setObjectName(QStringLiteral("RemoteControl"));
    connect(remote, &QAction::triggered, this, [this] { m_remote.toggle(); });
    addAction(remote);
}

TrendWindow* TSoundMeter::trendWindow() const {
    return qobject_cast<TrendWindow*>(m_views.window("OpenTrend"));
}

void TSoundMeter::markTrend(const QString& text) {
    if (m_trend.empty()) {
        return;  // no readings yet (start-up sets its buttons): nothing changes on the chart
    }
    m_trend.mark(QDateTime::currentMSecsSinceEpoch(), text);
}

void TSoundMeter::FormCreate() {
    // Capture parameters, sample buffer, Running false and the slots' headers are the engine's
    // from its construction.
    // Without an input device the end is requested, and start-up runs on to its end.
    m_selection.CheckDevicesAvailable();
    LoadCalibrationAtStartup(m_services.settings, m_state, m_services.dialogs);
    // A calibration of some ranges keeps its device as a complete one does, when the settings
    // name the device and its line input (the meter tool stores neither): the device is used as
    // stored. Either way only the ranges calibrated on the device in use hold.
    const bool deviceStored = !m_state.Device.SoundDeviceName.empty() && m_state.Device.LineIn >= 0;
    const bool keepDevice = m_state.Calibrated || (AnyRangeInForce(m_state) && deviceStored);
    m_state.Calibrated = keepDevice;
    m_selection.StartUp();
    if (keepDevice && !m_state.Calibrated) {
        ForgetRangesInForce(m_state);  // the stored device is not there
    } else {
        KeepCalibrationsOfDevice(
            m_state, StoredDeviceName(m_selection.DeviceIdentity(m_state.Device.SoundDevice)));
    }
    lineInLevelSet();
    m_engine.OpenWaveIn();
    m_ui.StartStop->setText(QStringLiteral("Start"));

    // Scope state.
    for (QScrollBar* bar : {m_ui.LZero, m_ui.RZero, m_ui.LGain, m_ui.RGain}) {
        bar->setValue(0);
    }
    m_ui.ScopeL->setChecked(true);
    m_ui.ScopeR->setChecked(true);
    m_ui.TriggerL->setEnabled(false);
    m_ui.TriggerR->setEnabled(false);
    m_ui.TrigLevelL->setValue(TriggerLevelTop);
    m_ui.TrigLevelR->setValue(TriggerLevelTop);
    m_ui.ACactiveL->setChecked(true);
    m_ui.ACactiveR->setChecked(true);
    showSynchronized();
    m_ui.TriggerEnable->setText(QString::fromLatin1(
        m_trigger.caption().data(), static_cast<qsizetype>(m_trigger.caption().size())));

    const bool usable = AnyRangeInForce(m_state);
    if (!usable) {
        m_state.RawDisplay = true;
        for (QAbstractButton* button : m_ui.RangeGroupL->buttons() + m_ui.RangeGroupR->buttons()) {
            button->setEnabled(false);
        }
    }
    restoreRanges();
    m_ui.FastScope->setChecked(true);
    const std::string_view caption = RawDataCaptionAtStartup(m_state);
    m_ui.RawData->setText(
        QString::fromLatin1(caption.data(), static_cast<qsizetype>(caption.size())));
    m_state.RawDisplay = !usable;
    showRangeCalibration();
}

void TSoundMeter::restoreRanges() {
    const RangeSelection stored = m_state.StoredRanges.value_or(RangeSelection{});
    m_ui.RangeGroupL->button(stored.a)->setChecked(true);
    m_ui.RangeGroupR->button(stored.b)->setChecked(true);
    m_savedRanges = stored;
    if (stored == RangeSelection{}) {
        return;
    }
    // The board may have been reset since: say once which ranges the readings assume.
    m_rangesNote->setText(QStringLiteral("Last ranges: A %1, B %2.\nSet the board to match.")
                              .arg(RangeCaption(stored.a), RangeCaption(stored.b)));
    m_rangesNote->show();
    QTimer::singleShot(RangesNoteMs, m_rangesNote, &QWidget::hide);
}

void TSoundMeter::rangeChosen() {
    m_rangesNote->hide();
    const RangeSelection now = ranges();
    if (now == m_savedRanges) {
        return;
    }
    m_savedRanges = now;
    // A failure is told once: the ranges are chosen again at every click.
    QuietBoxes quiet;
    MessageBoxes& boxes = m_rangesSaveFailed ? static_cast<MessageBoxes&>(quiet) : m_heldBoxes;
    if (!SaveRanges(m_services.settings, now, boxes)) {
        m_rangesSaveFailed = true;
    }
}

void TSoundMeter::showRangeCalibration() {
    for (const Side side : {Side::Left, Side::Right}) {
        const QButtonGroup* group = side == Side::Left ? m_ui.RangeGroupL : m_ui.RangeGroupR;
        for (int r = FirstRange; r <= LastRange; ++r) {
            QAbstractButton* button = group->button(r);
            const bool inForce = RangeInForce(m_state, r, side);
            QPalette palette = button->palette();
            palette.setColor(QPalette::Active, QPalette::ButtonText,
                             inForce ? m_rangeTextColour
                                     : palette.color(QPalette::Disabled, QPalette::ButtonText));
            palette.setColor(QPalette::Inactive, QPalette::ButtonText,
                             palette.color(QPalette::Active, QPalette::ButtonText));
            button->setPalette(palette);
            button->setToolTip(RangeToolTip(m_state, r, side));
        }
    }
}

void TSoundMeter::acCalibrated(int range, bool a, bool b) {
    for (QAbstractButton* button : m_ui.RangeGroupL->buttons() + m_ui.RangeGroupR->buttons()) {
        button->setEnabled(true);
    }
    if (a) {
        m_ui.RangeGroupL->button(range)->setChecked(true);
    }
    if (b) {
        m_ui.RangeGroupR->button(range)->setChecked(true);
    }
    const std::string_view caption = m_state.RawDisplay ? "Raw" : "Cal";
    m_ui.RawData->setText(
        QString::fromLatin1(caption.data(), static_cast<qsizetype>(caption.size())));
    showRangeCalibration();
    markTrend(QStringLiteral("Calibration"));
    showLevelMark();
}

RangeSelection TSoundMeter::ranges() const {
    return {std::max(m_ui.RangeGroupL->checkedId(), FirstRange),
            std::max(m_ui.RangeGroupR->checkedId(), FirstRange)};
}

ScopeSettings TSoundMeter::scopeSettings(int columnStep) const {
    ScopeSettings settings;
    settings.showA = m_ui.ScopeL->isChecked();
    settings.showB = m_ui.ScopeR->isChecked();
    settings.offsetA = m_ui.LZero->value();
    settings.offsetB = m_ui.RZero->value();
    settings.attenuationA = m_ui.LGain->value();
    settings.attenuationB = m_ui.RGain->value();
    settings.triggerLevelPositionA = m_ui.TrigLevelL->value();
    settings.triggerLevelPositionB = m_ui.TrigLevelR->value();
    settings.triggerSourceAEnabled = m_ui.TriggerL->isEnabled();
    settings.triggerSourceBEnabled = m_ui.TriggerR->isEnabled();
    settings.triggerSourceADown = m_ui.TriggerL->isChecked();
    settings.triggerSourceBDown = m_ui.TriggerR->isChecked();
    settings.columnStep = columnStep;
    return settings;
}

void TSoundMeter::customEvent(QEvent* event) {
    if (event->type() != CaptureEvent::EventType()) {
        QWidget::customEvent(event);
        return;
    }
    const auto* capture = static_cast<CaptureEvent*>(event);
    if (capture->kind() == WaveInEvent::DeviceLost) {
        deviceLost(capture->handle());
    } else {
        BufferDone();
    }
}

void TSoundMeter::BufferDone() {
    m_blocks.BufferDone();
}

BlockSettings TSoundMeter::blockSettings() {
    BlockSettings settings;
    settings.display = DeriveDisplayParameters(m_state, ranges());
    m_unitLetterL = settings.display.a.unitLetter;
    m_unitLetterR = settings.display.b.unitLetter;
    settings.pass = MakePassSettings(settings.display, m_ui.ACactiveL->isChecked(),
                                     m_ui.ACactiveR->isChecked());
    settings.scope = &m_scope;
    settings.scopeSettings = scopeSettings(m_ui.FastScope->isChecked() ? 1 : 8);
    settings.levelMoved = levelMarked();
    return settings;
}

void TSoundMeter::blockMeasured(std::span<const StereoFrame> frames, const Readouts& readouts) {
    m_ui.DisplayL->setText(QString::fromStdString(readouts.a.readingText));
    m_ui.DisplayR->setText(QString::fromStdString(readouts.b.readingText));
    m_ui.LFrequency->setText(QString::fromStdString(readouts.a.frequencyText));
    m_ui.RFrequency->setText(QString::fromStdString(readouts.b.frequencyText));
    m_ui.VUL->setValue(std::min(readouts.a.barPosition, 128));
    m_ui.VUR->setValue(std::min(readouts.b.barPosition, 128));
    ShowOverload(m_ui.ValueL, m_ui.DisplayL, readouts.a.overloaded);
    ShowOverload(m_ui.ValueR, m_ui.DisplayR, readouts.b.overloaded);
    // The tooltips change only with the RMS text: no new text each block for a steady one.
    if (m_rmsShown[0] != readouts.a.rmsText) {
        m_rmsShown[0] = readouts.a.rmsText;
        ShowRms(m_ui.DisplayL, readouts.a.rmsText);
    }
    if (m_rmsShown[1] != readouts.b.rmsText) {
        m_rmsShown[1] = readouts.b.rmsText;
        ShowRms(m_ui.DisplayR, readouts.b.rmsText);
    }
    showSynchronized();
    m_ui.Oscilloscope->update(m_scope.changedArea());
    if (m_blockObserver) {
        m_blockObserver(frames);
    }
}

void TSoundMeter::showNoData() {
    m_recording.InputStalled();
    m_remote.inputChanged();
    const QString since = QTime::currentTime()
                              .addMSecs(-static_cast<int>(NoDataLimit.count()))
                              .toString(QStringLiteral("HH:mm:ss"));
    m_scope.showNoData(QStringLiteral("No data from the input device\nsince %1").arg(since));
    m_ui.Oscilloscope->update();
    for (QLabel* display : {m_ui.DisplayL, m_ui.DisplayR}) {
        display->setText(QStringLiteral("----  "));
    }
    for (QLabel* frequency : {m_ui.LFrequency, m_ui.RFrequency}) {
        frequency->setText(QStringLiteral("---- "));
    }
    m_ui.VUL->setValue(0);
    m_ui.VUR->setValue(0);
    ShowOverload(m_ui.ValueL, m_ui.DisplayL, false);
    ShowOverload(m_ui.ValueR, m_ui.DisplayR, false);
    showSynchronized();
}

void TSoundMeter::showSynchronized() {
    m_ui.Synchronized->setEnabled(m_ui.TriggerL->isEnabled() || m_ui.TriggerR->isEnabled());
    const QColor colour = m_scope.synchronized() && m_ui.Synchronized->isEnabled()
                              ? Yellow
                              : palette().color(QPalette::Button);
    if (m_ui.Synchronized->palette().color(QPalette::Window) != colour) {
        QPalette palette = m_ui.Synchronized->palette();
        palette.setColor(QPalette::Window, colour);
        m_ui.Synchronized->setPalette(palette);
    }
}

void TSoundMeter::StartStopClick() {
    if (!m_engine.StartStop()) {
        m_heldBoxes.showMessage(
            QStringLiteral(
                "The input device \"%1\" cannot be opened (is it connected?). Capture stays "
                "stopped; reconnect it and press Start, or choose another input device.")
                .arg(m_ui.WaveInDevices->currentText()));
    }
}

void TSoundMeter::CalibrateClick() {
    CalibrationHooks hooks;
    hooks.setLineInToFullLevel = [this] {
        m_mixer.SetLineLevel(1, m_state.Device.LineIn, 0xFFFF, 0xFFFF, 0);
        lineInLevelSet();
    };
    hooks.setRangeButtonsEnabled = [this](bool enabled) {
        for (QAbstractButton* button : m_ui.RangeGroupL->buttons() + m_ui.RangeGroupR->buttons()) {
            button->setEnabled(enabled);
        }
    };
    hooks.rangeButtonsEnabled = [this] { return m_ui.L03->isEnabled(); };
    hooks.dispatchEvents = [] { QCoreApplication::processEvents(); };
    hooks.selectedDevice = [this] { return m_ui.WaveInDevices->currentIndex(); };
    hooks.selectedDeviceName = [this] {
        return m_selection.DeviceIdentity(m_ui.WaveInDevices->currentIndex());
    };
    CalibrationProcedure procedure(m_state, m_engine, m_services.dialogs, m_services.dialogs,
                                   m_services.settings, std::move(hooks));
    const auto before = m_state.RawCalibration;
    procedure.CalibrateClick();
    showRangeCalibration();
    if (m_state.RawCalibration != before) {
        markTrend(QStringLiteral("Calibration"));
    }
    showLevelMark();
}

void TSoundMeter::lineInLevelSet() {
    m_levelWatch.levelSet();
    showLevelMark();
}

std::array<bool, 2> TSoundMeter::levelMarked() const {
    // Only readings in volts or amperes depend on the level: raw units are what they are.
    const std::array<bool, 2> calibrated = ChannelsCalibrated(m_state, ranges());
    return {calibrated[0] && m_levelWatch.moved(0), calibrated[1] && m_levelWatch.moved(1)};
}

void TSoundMeter::showLevelMark() {
    m_remote.inputChanged();
    const std::array<bool, 2> marked = levelMarked();
    if (marked == m_levelMarkShown) {
        return;
    }
    const bool wasShown = m_levelMarkShown[0] || m_levelMarkShown[1];
    const bool show = marked[0] || marked[1];
    std::array<QLabel*, 2> displays = {m_ui.DisplayL, m_ui.DisplayR};
    for (std::size_t c = 0; c < 2; ++c) {
        if (marked[c] == m_levelMarkShown[c]) {
            continue;
        }
        if (marked[c]) {
            m_readoutColour[c] = displays[c]->palette().color(QPalette::WindowText);
        }
        QPalette palette = displays[c]->palette();
        palette.setColor(QPalette::WindowText, marked[c] ? NotValidAmber : m_readoutColour[c]);
        displays[c]->setPalette(palette);
    }
    m_levelMarkShown = marked;
    m_levelMark->setVisible(show);
    if (show != wasShown) {
        markTrend(show ? QStringLiteral("Input level moved")
                       : QStringLiteral("Input level set back"));
    }
}

void TSoundMeter::SetLevelBackClick() {
    if (!m_levelWatch.restore()) {
        m_heldBoxes.showMessage(QString::fromLatin1(selectionmessages::SetLevelFailed));
    }
    showLevelMark();
}

void TSoundMeter::runningChanged(bool running) {
    m_inputWatch.setRunning(running);
    if (!running) {
        m_acCalibration.cancel();  // no more blocks will come to measure
    }
    m_ui.StartStop->setText(running ? QStringLiteral("Stop") : QStringLiteral("Start"));
    m_ui.WaveInDevices->setEnabled(!running);
    m_ui.Calibrate->setEnabled(!running);
}

void TSoundMeter::RawDataClick() {
    if (const auto caption = veruziva::RawDataClick(m_state)) {
        m_ui.RawData->setText(
            QString::fromLatin1(caption->data(), static_cast<qsizetype>(caption->size())));
        markTrend(m_state.RawDisplay ? QStringLiteral("Raw") : QStringLiteral("Calibrated"));
        showLevelMark();
    }
}

void TSoundMeter::TriggerEnableClick() {
    m_trigger.TriggerEnableClick();
    m_ui.TriggerEnable->setText(QString::fromLatin1(
        m_trigger.caption().data(), static_cast<qsizetype>(m_trigger.caption().size())));
    m_ui.TriggerL->setEnabled(m_trigger.sourceAEnabled());
    m_ui.TriggerR->setEnabled(m_trigger.sourceBEnabled());
    if (m_trigger.TriggerEnabled()) {
        m_ui.TriggerL->setChecked(m_trigger.sourceADown());
        m_ui.TriggerR->setChecked(m_trigger.sourceBDown());
    }
    showSynchronized();
}

void TSoundMeter::WaveInDevicesChange(int index) {
    const int device = m_state.Device.SoundDevice;
    m_selection.WaveInDevicesChange(index, [] { QCoreApplication::processEvents(); });
    if (m_state.Device.SoundDevice != device) {
        // The calibration was made on the other device: on this one every range reads raw.
        ForgetRangesInForce(m_state);
        showRangeCalibration();
        lineInLevelSet();
    }
}

void TSoundMeter::deviceLost(WaveInHandle handle) {
    if (m_engine.HandleDeviceLost(handle)) {
        m_recording.EndRecording();
        m_services.dialogs.showMessage(QStringLiteral(
            "The input device has stopped working (was it unplugged?). Capture has stopped; "
            "choose another input device, or reconnect it and press Start."));
    }
}

void TSoundMeter::CloseClick() {
    requestEnd();
}

void TSoundMeter::closeEvent(QCloseEvent* event) {
    requestEnd();
    event->accept();
}

void TSoundMeter::requestEnd() {
    m_fatal.noteEndRequested();
    // A recording running at the end is completed: its file closed, its header true.
    m_recording.EndRecording();
    if (m_services.requestEnd) {
        m_services.requestEnd();
    }
}

void TSoundMeter::SavingClick() {
    ReadoutUnits units;
    const std::array<bool, 2> calibrated = ChannelsCalibrated(m_state, ranges());
    units.calibratedA = calibrated[0];
    units.calibratedB = calibrated[1];
    units.ampereA = m_ui.L3A->isChecked();
    units.ampereB = m_ui.R3A->isChecked();
    m_recording.SavingClick(m_services.dialogs.captureDefinition(), units);
}

void TSoundMeter::DefinitionClick() {
    m_services.dialogs.showCaptureDefinition();
}

void TSoundMeter::MyTimerTimer() {
    m_recording.MyTimerTimer();
}

void TSoundMeter::recordingChanged(bool recording) {
    m_ui.Saving->setText(recording ? QStringLiteral("Stop saving")
                                   : QStringLiteral("Start saving"));
    m_services.dialogs.setRecordTypeEnabled(!recording);
}

void TSoundMeter::HelpClick() {
    m_services.dialogs.showHelp(QStringLiteral("Description"));
}

QImage TSoundMeter::readoutPicture() {
    // The scope group, both channel groups and the level bars: the window without its buttons.
    // As sharp as the screen shows it: at the window's device pixel ratio, the scope's traces
    // as they were drawn; marked with as many more dots per inch, so that it prints as large.
    const QRegion shown = QRegion(0, 0, 350, height()) + QRegion(350, 0, width() - 350, 240);
    const qreal ratio = devicePixelRatioF();
    QImage picture(size() * ratio, QImage::Format_RGB32);
    picture.setDevicePixelRatio(ratio);
    picture.fill(palette().color(QPalette::Window));
    QPainter painter(&picture);
    render(&painter, QPoint(), shown, QWidget::DrawChildren);
    painter.end();
    picture = picture.copy(QRect(QPoint(), QSize(width(), 310) * ratio));
    picture.setDotsPerMeterX(qRound(picture.dotsPerMeterX() * ratio));
    picture.setDotsPerMeterY(qRound(picture.dotsPerMeterY() * ratio));
    return picture;
}

void TSoundMeter::savePicture() {
    const std::optional<QString> name = m_services.dialogs.askSaveFileName(
        QStringLiteral("Save picture"), QStringLiteral("PNG pictures (*.png)"));
    if (!name) {
        return;
    }
    try {
        SavePng(readoutPicture(), *name, fileMetadata());
    } catch (const RuntimeError& error) {
        m_heldBoxes.showMessage(QStringLiteral("The picture cannot be saved as %1: %2")
                                    .arg(*name, QString::fromUtf8(error.what())));
    }
}

void TSoundMeter::AboutClick() {
    m_services.dialogs.showAbout();
}

FileMetadata TSoundMeter::fileMetadata() const {
    MeasurementContext context;
    context.program = QStringLiteral("Veruziva ") + ProgramVersion();
    context.device =
        QString::fromStdString(m_selection.DeviceIdentity(m_ui.WaveInDevices->currentIndex()));
    context.ranges = ranges();
    context.levelAsCalibrated = {!m_levelWatch.moved(0), !m_levelWatch.moved(1)};
    context.rawDisplay = m_state.RawDisplay;
    return DescribeMeasurement(m_state, context);
}

}  // namespace veruziva
