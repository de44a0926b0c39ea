#include "app/soundmeter.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTime>
#include <QTimer>
#include <QToolButton>

#include "app/appicon.h"
#include "app/dialogs.h"
#include "app/oscilloscopeview.h"
#include "app/readoutlabel.h"
#include "calibration/calibrationprocedure.h"
#include "calibration/storedsettings.h"
#include "capture/captureevent.h"

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

// The recording timer as the recording control sees it.
class TSoundMeter::TimerAdapter : public RecordingTimer {
public:
    explicit TimerAdapter(QTimer& timer) : m_timer(timer) {}
    void start(int intervalMs) override { m_timer.start(intervalMs); }
    void stop() override { m_timer.stop(); }

private:
    QTimer& m_timer;
};

namespace {

const QColor Teal(0, 128, 128);
const QColor Lime(0, 255, 0);
const QColor Yellow(255, 255, 0);

// The seven-segment face of the readouts: NI7SEG when installed, else DSEG7, else the
// platform's choice.
QFont ReadoutFont(int pixelSize, bool bold) {
    QFont font;
    const QStringList families = QFontDatabase::families();
    for (const char* family : {"NI7SEG", "DSEG7 Classic", "DSEG7 Modern"}) {
        if (families.contains(QString::fromLatin1(family))) {
            font.setFamily(QString::fromLatin1(family));
            break;
        }
    }
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    font.setItalic(true);
    return font;
}

// A teal panel holding a right-aligned lime label.
QFrame* ReadoutPanel(QWidget* parent, const QString& name, const QRect& geometry, QLabel*& label,
                     const QString& labelName, const QString& text, const QFont& font) {
    auto* panel = new QFrame(parent);
    panel->setObjectName(name);
    panel->setGeometry(geometry);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setAutoFillBackground(true);
    QPalette palette = panel->palette();
    palette.setColor(QPalette::Window, Teal);
    palette.setColor(QPalette::WindowText, Lime);
    panel->setPalette(palette);
    label = new ReadoutLabel(text, panel);
    label->setObjectName(labelName);
    label->setGeometry(4, 1, geometry.width() - 8, geometry.height() - 2);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setFont(font);
    label->setPalette(palette);
    return panel;
}

QToolButton* SpeedButton(QWidget* parent, const QString& name, const QString& caption,
                         const QRect& geometry, bool checkable = true) {
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setText(caption);
    button->setGeometry(geometry);
    button->setCheckable(checkable);
    return button;
}

QPushButton* Button(QWidget* parent, const QString& name, const QString& caption,
                    const QRect& geometry) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setGeometry(geometry);
    return button;
}

QScrollBar* Bar(QWidget* parent, const QString& name, int minimum, int maximum,
                const QRect& geometry, const QString& tip) {
    auto* bar = new QScrollBar(Qt::Vertical, parent);
    bar->setObjectName(name);
    bar->setRange(minimum, maximum);
    bar->setPageStep(std::max(1, (maximum - minimum) / 16));
    bar->setSingleStep(std::max(1, (maximum - minimum) / 128));
    bar->setGeometry(geometry);
    bar->setToolTip(tip);
    return bar;
}

QLabel* Caption(QWidget* parent, const QString& text, const QRect& geometry) {
    auto* label = new QLabel(text, parent);
    label->setGeometry(geometry);
    return label;
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
      m_selection(m_services.waveInput, m_mixer, m_engine, m_state, *m_deviceBox,
                  m_services.dialogs, m_fatal),
      m_inputWatch([this] { showNoData(); }),
      m_timer(new QTimer(this)),
      m_timerAdapter(std::make_unique<TimerAdapter>(*m_timer)),
      m_recording(
          m_heldBoxes, *m_timerAdapter,
          RecordingHooks{[this] { return m_engine.Running(); }, [this] { StartStopClick(); },
                         [this](bool recording) { recordingChanged(recording); },
                         [this] { return m_ui.DisplayL->text(); },
                         [this] { return m_ui.DisplayR->text(); },
                         [] { return QLocale::system().decimalPoint(); }}),
      m_decimalSeparator(QLocale::system().decimalPoint().toStdString()) {
    createControls();
    m_timer->setObjectName(QStringLiteral("MyTimer"));
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, &TSoundMeter::MyTimerTimer);
    m_engine.setRunningChanged([this](bool running) { runningChanged(running); });
    FormCreate();
}

TSoundMeter::~TSoundMeter() = default;

void TSoundMeter::createControls() {
    setObjectName(QStringLiteral("SoundMeter"));
    setWindowTitle(QString::fromLatin1(MainWindowCaption));
    setWindowIcon(AppIcon());
    setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
    setFixedSize(520, 340);
    SoundMeterControls& ui = m_ui;

    // The scope group: the trace area, its indicator and switches, and the sliders.
    ui.Panel3 = new QFrame(this);
    ui.Panel3->setObjectName(QStringLiteral("Panel3"));
    ui.Panel3->setGeometry(4, 4, 344, 302);
    ui.Panel3->setFrameStyle(QFrame::Panel | QFrame::Raised);
    ui.Panel3->setAutoFillBackground(true);
    QPalette silver = ui.Panel3->palette();
    silver.setColor(QPalette::Window, QColor(192, 192, 192));
    ui.Panel3->setPalette(silver);
    QWidget* scope = ui.Panel3;

    ui.Synchronized = new QFrame(scope);
    ui.Synchronized->setObjectName(QStringLiteral("Synchronized"));
    ui.Synchronized->setGeometry(6, 8, 9, 9);
    ui.Synchronized->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    ui.Synchronized->setAutoFillBackground(true);
    ui.Synchronized->setToolTip(QStringLiteral("Lit when the trace is triggered"));
    Caption(scope, QStringLiteral("Enable:"), QRect(20, 6, 44, 14));
    ui.ScopeL = new QCheckBox(QStringLiteral("A"), scope);
    ui.ScopeL->setObjectName(QStringLiteral("ScopeL"));
    ui.ScopeL->setGeometry(68, 5, 32, 16);
    ui.ScopeR = new QCheckBox(QStringLiteral("B"), scope);
    ui.ScopeR->setObjectName(QStringLiteral("ScopeR"));
    ui.ScopeR->setGeometry(100, 5, 32, 16);
    ui.TriggerEnable = Button(scope, QStringLiteral("TriggerEnable"), QStringLiteral("Trigger"),
                              QRect(132, 3, 76, 21));
    ui.TriggerL =
        SpeedButton(scope, QStringLiteral("TriggerL"), QStringLiteral("A"), QRect(212, 3, 24, 21));
    ui.TriggerR =
        SpeedButton(scope, QStringLiteral("TriggerR"), QStringLiteral("B"), QRect(238, 3, 24, 21));
    auto* triggerGroup = new QButtonGroup(this);
    triggerGroup->addButton(ui.TriggerL);
    triggerGroup->addButton(ui.TriggerR);

    ui.Oscilloscope = new OscilloscopeView(m_scope, scope);
    ui.Oscilloscope->setObjectName(QStringLiteral("Oscilloscope"));
    ui.Oscilloscope->setGeometry(4, 30, Oscilloscope::Width, Oscilloscope::Height);

    Caption(scope, QStringLiteral("A  B"), QRect(274, 14, 34, 14))
        ->setToolTip(QStringLiteral("Trace offsets"));
    ui.LZero = Bar(scope, QStringLiteral("LZero"), -128, 128, QRect(274, 30, 15, 266),
                   QStringLiteral("Offset of trace A"));
    ui.RZero = Bar(scope, QStringLiteral("RZero"), -128, 128, QRect(291, 30, 15, 266),
                   QStringLiteral("Offset of trace B"));
    Caption(scope, QStringLiteral("A"), QRect(313, 14, 10, 14));
    ui.LGain = Bar(scope, QStringLiteral("LGain"), 0, 100, QRect(310, 30, 15, 124),
                   QStringLiteral("Attenuation of trace A"));
    Caption(scope, QStringLiteral("B"), QRect(313, 156, 10, 14));
    ui.RGain = Bar(scope, QStringLiteral("RGain"), 0, 100, QRect(310, 172, 15, 124),
                   QStringLiteral("Attenuation of trace B"));
    Caption(scope, QStringLiteral("A"), QRect(330, 14, 10, 14));
    ui.TrigLevelL = Bar(scope, QStringLiteral("TrigLevelL"), 0, 16000, QRect(327, 30, 15, 124),
                        QStringLiteral("Trigger level of A"));
    Caption(scope, QStringLiteral("B"), QRect(330, 156, 10, 14));
    ui.TrigLevelR = Bar(scope, QStringLiteral("TrigLevelR"), 0, 16000, QRect(327, 172, 15, 124),
                        QStringLiteral("Trigger level of B"));

    // One group per channel: reading, frequency, AC box and range buttons.
    const QFont valueFont = ReadoutFont(22, true);
    const QFont frequencyFont = ReadoutFont(13, false);
    auto channel = [&](bool a, int top) {
        const QString side = a ? QStringLiteral("L") : QStringLiteral("R");
        auto* group =
            new QGroupBox(a ? QStringLiteral("Channel A  ") : QStringLiteral("Channel B  "), this);
        group->setObjectName(QStringLiteral("Channel") + side);
        group->setGeometry(352, top, 164, 100);
        QLabel*& display = a ? ui.DisplayL : ui.DisplayR;
        QLabel*& frequency = a ? ui.LFrequency : ui.RFrequency;
        (a ? ui.ValueL : ui.ValueR) =
            ReadoutPanel(group, QStringLiteral("Value") + side, QRect(6, 17, 152, 34), display,
                         QStringLiteral("Display") + side, QStringLiteral("0  "), valueFont);
        (a ? ui.FrequencyL : ui.FrequencyR) = ReadoutPanel(
            group, QStringLiteral("Frequency") + side, QRect(6, 54, 104, 20), frequency,
            side + QStringLiteral("Frequency"), QStringLiteral("0 "), frequencyFont);
        QCheckBox*& ac = a ? ui.ACactiveL : ui.ACactiveR;
        ac = new QCheckBox(group);
        ac->setObjectName(QStringLiteral("ACactive") + side);
        ac->setGeometry(114, 56, 18, 16);
        ac->setToolTip(QStringLiteral("AC measurement (frequency counter on)"));
        Caption(group, QStringLiteral("Hz"), QRect(134, 57, 24, 14));
        auto* rangeGroup = new QButtonGroup(this);
        const QStringList captions{QStringLiteral("0.3 V"), QStringLiteral("3 V"),
                                   QStringLiteral("30 V"), QStringLiteral("3 A")};
        const QStringList names{QStringLiteral("03"), QStringLiteral("3"), QStringLiteral("30"),
                                QStringLiteral("3A")};
        for (int i = 0; i < 4; ++i) {
            QToolButton* button =
                SpeedButton(group, side + names[i], captions[i], QRect(6 + 38 * i, 77, 37, 19));
            rangeGroup->addButton(button, i + 1);  // the tag is the range number
        }
        (a ? ui.RangeGroupL : ui.RangeGroupR) = rangeGroup;
        return group;
    };
    ui.ChannelL = channel(true, 2);
    ui.ChannelR = channel(false, 104);
    ui.L03 = ui.ChannelL->findChild<QToolButton*>(QStringLiteral("L03"));
    ui.L3 = ui.ChannelL->findChild<QToolButton*>(QStringLiteral("L3"));
    ui.L30 = ui.ChannelL->findChild<QToolButton*>(QStringLiteral("L30"));
    ui.L3A = ui.ChannelL->findChild<QToolButton*>(QStringLiteral("L3A"));
    ui.R03 = ui.ChannelR->findChild<QToolButton*>(QStringLiteral("R03"));
    ui.R3 = ui.ChannelR->findChild<QToolButton*>(QStringLiteral("R3"));
    ui.R30 = ui.ChannelR->findChild<QToolButton*>(QStringLiteral("R30"));
    ui.R3A = ui.ChannelR->findChild<QToolButton*>(QStringLiteral("R3A"));

    // Level bars.
    Caption(this, QStringLiteral("A"), QRect(354, 208, 10, 12));
    Caption(this, QStringLiteral("B"), QRect(354, 224, 10, 12));
    for (const bool a : {true, false}) {
        QProgressBar*& bar = a ? ui.VUL : ui.VUR;
        bar = new QProgressBar(this);
        bar->setObjectName(a ? QStringLiteral("VUL") : QStringLiteral("VUR"));
        bar->setRange(0, 128);
        bar->setValue(0);
        bar->setTextVisible(false);
        bar->setGeometry(366, a ? 208 : 224, 150, 12);
    }

    ui.Calibrate = Button(this, QStringLiteral("Calibrate"), QStringLiteral("Calibrate"),
                          QRect(352, 242, 80, 22));
    ui.StartStop =
        Button(this, QStringLiteral("StartStop"), QStringLiteral("Start"), QRect(436, 242, 80, 22));
    ui.Help = Button(this, QStringLiteral("Help"), QStringLiteral("Help"), QRect(352, 266, 80, 22));
    ui.Saving = Button(this, QStringLiteral("Saving"), QStringLiteral("Start saving"),
                       QRect(436, 266, 80, 22));
    ui.About =
        Button(this, QStringLiteral("About"), QStringLiteral("About"), QRect(352, 290, 80, 22));
    ui.Close =
        Button(this, QStringLiteral("Close"), QStringLiteral("Close"), QRect(436, 290, 80, 22));

    // The bottom row.
    ui.WaveInDevices = new QComboBox(this);
    ui.WaveInDevices->setObjectName(QStringLiteral("WaveInDevices"));
    ui.WaveInDevices->setGeometry(4, 314, 200, 22);
    ui.WaveInDevices->setToolTip(QStringLiteral("Input device"));
    m_deviceBox->setCombo(ui.WaveInDevices);
    ui.SlowScope = SpeedButton(this, QStringLiteral("SlowScope"), QStringLiteral("1:8"),
                               QRect(208, 314, 36, 22));
    ui.FastScope = SpeedButton(this, QStringLiteral("FastScope"), QStringLiteral("1:1"),
                               QRect(246, 314, 36, 22));
    auto* stepGroup = new QButtonGroup(this);
    stepGroup->addButton(ui.SlowScope);
    stepGroup->addButton(ui.FastScope);
    ui.RawData = SpeedButton(this, QStringLiteral("RawData"), QStringLiteral("Raw"),
                             QRect(286, 314, 40, 22), false);
    ui.Definition = Button(this, QStringLiteral("Definition"), QStringLiteral("Saving definition"),
                           QRect(330, 314, 118, 22));

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
}

void TSoundMeter::FormCreate() {
    // Capture parameters, sample buffer, Running false and the slots' headers are the engine's
    // from its construction.
    // Without an input device the end is requested, and start-up runs on to its end.
    m_selection.CheckDevicesAvailable();
    LoadCalibrationAtStartup(m_services.settings, m_state, m_services.dialogs);
    m_selection.StartUp();
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

    if (!m_state.Calibrated) {
        m_state.RawDisplay = true;
        for (QAbstractButton* button : m_ui.RangeGroupL->buttons() + m_ui.RangeGroupR->buttons()) {
            button->setEnabled(false);
        }
    }
    m_ui.L03->setChecked(true);
    m_ui.R03->setChecked(true);
    m_ui.FastScope->setChecked(true);
    const std::string_view caption = RawDataCaptionAtStartup(m_state);
    m_ui.RawData->setText(
        QString::fromLatin1(caption.data(), static_cast<qsizetype>(caption.size())));
    m_state.RawDisplay = !m_state.Calibrated;
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
    const int columnStep = m_ui.FastScope->isChecked() ? 1 : 8;
    // Pending events run first: clicks, repaints, and possibly further buffers, whose handling
    // takes the older done slot before this one looks for its own.
    QCoreApplication::processEvents();
    const DisplayParameters display = DeriveDisplayParameters(m_state, ranges());
    m_unitLetterL = display.a.unitLetter;
    m_unitLetterR = display.b.unitLetter;
    if (!m_engine.FindDoneBuffer()) {
        return;
    }
    // No box opens while the block is held: its event loop would handle further blocks
    // meanwhile. Boxes raised by the block wait until it is given back.
    m_heldBoxes.hold();
    try {
        processBlock(columnStep, display);
    } catch (...) {
        giveBackBlock();
        throw;  // for the general error handler, now that nothing is held
    }
    giveBackBlock();
}

void TSoundMeter::processBlock(int columnStep, const DisplayParameters& display) {
    const std::span<const StereoFrame> frames = m_engine.DoneBlock();
    // The recorded bytes go to a continual recording before any other use of the block.
    m_recording.AppendBlock(std::as_bytes(frames));
    if (frames.empty()) {
        return;
    }
    ScopePlotter plotter = m_scope.begin(frames, scopeSettings(columnStep), display);
    const BlockMeasurement measurement = MeasureBlock(
        frames, MakePassSettings(display, m_ui.ACactiveL->isChecked(), m_ui.ACactiveR->isChecked()),
        plotter);
    ShowMeasurement(m_readouts, measurement, display, m_decimalSeparator);
    m_inputWatch.blockArrived();
    m_recording.BlockMeasured();
    showReadouts();
    showSynchronized();
    m_ui.Oscilloscope->update();
    ++m_blocksProcessed;
    if (m_blockObserver) {
        m_blockObserver(frames);
    }
}

void TSoundMeter::giveBackBlock() {
    m_engine.GiveBackBuffer();
    m_heldBoxes.release();
}

void TSoundMeter::showReadouts() {
    m_ui.DisplayL->setText(QString::fromStdString(m_readouts.a.readingText));
    m_ui.DisplayR->setText(QString::fromStdString(m_readouts.b.readingText));
    m_ui.LFrequency->setText(QString::fromStdString(m_readouts.a.frequencyText));
    m_ui.RFrequency->setText(QString::fromStdString(m_readouts.b.frequencyText));
    m_ui.VUL->setValue(std::min(m_readouts.a.barPosition, 128));
    m_ui.VUR->setValue(std::min(m_readouts.b.barPosition, 128));
}

void TSoundMeter::showNoData() {
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
    showSynchronized();
}

void TSoundMeter::showSynchronized() {
    m_ui.Synchronized->setEnabled(m_ui.TriggerL->isEnabled() || m_ui.TriggerR->isEnabled());
    QPalette palette = m_ui.Synchronized->palette();
    palette.setColor(QPalette::Window, m_scope.synchronized() && m_ui.Synchronized->isEnabled()
                                           ? Yellow
                                           : this->palette().color(QPalette::Button));
    m_ui.Synchronized->setPalette(palette);
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
        m_mixer.SetLineLevel(1, m_state.LineIn, 0xFFFF, 0xFFFF, 0);
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
    procedure.CalibrateClick();
}

void TSoundMeter::runningChanged(bool running) {
    m_inputWatch.setRunning(running);
    m_ui.StartStop->setText(running ? QStringLiteral("Stop") : QStringLiteral("Start"));
    m_ui.WaveInDevices->setEnabled(!running);
    m_ui.Calibrate->setEnabled(!running);
}

void TSoundMeter::RawDataClick() {
    if (const auto caption = veruziva::RawDataClick(m_state)) {
        m_ui.RawData->setText(
            QString::fromLatin1(caption->data(), static_cast<qsizetype>(caption->size())));
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
    m_selection.WaveInDevicesChange(index, [] { QCoreApplication::processEvents(); });
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
    units.calibratedDisplay = CalibratedDisplayInForce(m_state);
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

void TSoundMeter::AboutClick() {
    m_services.dialogs.showAbout();
}

}  // namespace veruziva
