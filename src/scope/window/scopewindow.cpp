#include "scope/window/scopewindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>

#include "base/pngfile.h"
#include "platform/captureformat.h"
#include "platform/messageboxes.h"
#include "scope/scopeacquisition.h"
#include "scope/timebase.h"
#include "scope/window/livescope.h"
#include "scope/window/scopecsv.h"
#include "scope/window/scopeplot.h"
#include "scope/window/scopeunits.h"
#include "trend/savedfile.h"

namespace veruziva {

namespace {

// The time base a window opens with, and where it puts a channel's scale: its whole range
// over the eight divisions.
constexpr double DefaultSecondsPerDivision = 1e-3;
// The hysteresis a window opens with: 1 % of the source's range, above a line's hiss.
constexpr double DefaultHysteresisRaw = 328.0;
constexpr std::array<const char*, 5> StatisticsColumns{"", "Value", "Min", "Mean", "Max"};

QString CursorHint() {
    return QStringLiteral("Click: cursor 1; right or shift click: cursor 2; drag to move");
}

QString Letter(std::size_t channel) {
    return channel == 0 ? QStringLiteral("A") : QStringLiteral("B");
}

QComboBox* Combo(const char* name, QWidget* parent) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(QString::fromLatin1(name));
    return combo;
}

QPushButton* Button(const QString& text, const char* name, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::fromLatin1(name));
    return button;
}

QString UnitOf(WaveformUnit unit, const ChannelScale& scale) {
    return QString::fromStdString(WaveformUnitText(unit, scale));
}

QString ValueText(const std::optional<double>& value, WaveformUnit unit,
                  const ChannelScale& scale) {
    if (!value) {
        return QStringLiteral("--");
    }
    if (unit == WaveformUnit::Percent) {
        return QString::number(*value, 'f', 2) + QStringLiteral(" %");
    }
    return EngineeringText(*value, UnitOf(unit, scale));
}

bool SameScale(const ChannelScale& a, const ChannelScale& b) {
    return a.factor == b.factor && a.zero == b.zero && a.unit == b.unit;
}

// A level in the units of a spin box: as many decimals as a raw unit needs.
void SetLevelUnits(QDoubleSpinBox* box, const ChannelScale& scale, double minimum) {
    const double full = FullScale(scale);
    const int decimals =
        scale.calibrated()
            ? std::clamp(static_cast<int>(std::ceil(-std::log10(scale.factor))), 0, 6)
            : 0;
    box->setDecimals(decimals);
    box->setRange(minimum < 0 ? -full : 0.0, full);
    box->setSingleStep(full / 100.0);
    box->setSuffix(QLatin1Char(' ') + ChannelUnit(scale));
}

}  // namespace

ScopeWindow::ScopeWindow(LiveScope& live, TrendFiles& files, MessageBoxes& boxes, QWidget* parent)
    : QWidget(parent), m_live(live), m_files(files), m_boxes(boxes) {
    setWindowFlag(Qt::Window);
    setObjectName(QStringLiteral("ScopeWindow"));
    setWindowTitle(QStringLiteral("Scope"));
    m_scales = {live.scale(0), live.scale(1)};

    m_plot = new ScopePlot(this);
    m_timeBase = Combo("TimeBase", this);
    for (const double step : TimeBaseSteps) {
        m_timeBase->addItem(TimeBaseText(step), step);
    }
    m_timeBase->setCurrentIndex(m_timeBase->findData(DefaultSecondsPerDivision));
    m_source = Combo("Source", this);
    m_source->addItems({QStringLiteral("A"), QStringLiteral("B")});
    m_slope = Combo("Slope", this);
    m_slope->addItems({QStringLiteral("Rising"), QStringLiteral("Falling")});
    m_level = new QDoubleSpinBox(this);
    m_level->setObjectName(QStringLiteral("Level"));
    m_hysteresis = new QDoubleSpinBox(this);
    m_hysteresis->setObjectName(QStringLiteral("Hysteresis"));
    showTrigger(m_scales[0].calibrated() ? m_scales[0].zero : 0.0, DefaultHysteresisRaw);
    m_position = new QSpinBox(this);
    m_position->setObjectName(QStringLiteral("Position"));
    m_position->setRange(0, 100);
    m_position->setValue(50);
    m_position->setSuffix(QStringLiteral(" %"));
    m_mode = Combo("Mode", this);
    m_mode->addItems({QStringLiteral("Auto"), QStringLiteral("Normal"), QStringLiteral("Single")});
    m_arm = Button(QStringLiteral("Arm"), "Arm", this);
    m_arm->setEnabled(false);
    m_hold = Button(QStringLiteral("Hold"), "Hold", this);
    m_hold->setCheckable(true);
    for (std::size_t c = 0; c < 2; ++c) {
        m_show[c] = new QCheckBox(Letter(c), this);
        m_show[c]->setObjectName(QStringLiteral("Show") + Letter(c));
        m_show[c]->setChecked(true);
        m_perDivision[c] = Combo(c == 0 ? "PerDivisionA" : "PerDivisionB", this);
        m_offset[c] = new QDoubleSpinBox(this);
        m_offset[c]->setObjectName(QStringLiteral("Offset") + Letter(c));
        m_offset[c]->setRange(-4.0, 4.0);
        m_offset[c]->setSingleStep(0.5);
        m_offset[c]->setDecimals(1);
        m_offset[c]->setSuffix(QStringLiteral(" div"));
        fillPerDivision(static_cast<int>(c));
        m_tables[c] = new QTableWidget(static_cast<int>(WaveformMeasurementCount), 5, this);
        m_tables[c]->setObjectName(QStringLiteral("Measurements") + Letter(c));
        QStringList headers;
        for (const char* column : StatisticsColumns) {
            headers.append(QString::fromLatin1(column));
        }
        headers[0] = QStringLiteral("Channel ") + Letter(c);
        m_tables[c]->setHorizontalHeaderLabels(headers.mid(0, 5));
        m_tables[c]->verticalHeader()->hide();
        m_tables[c]->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 2);
        m_tables[c]->setEditTriggers(QAbstractItemView::NoEditTriggers);
        m_tables[c]->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
        m_tables[c]->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
        m_tables[c]->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        m_tables[c]->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        m_tables[c]->setFixedSize(
            fontMetrics().horizontalAdvance(QStringLiteral("Positive width -888.8 mV")) +
                fontMetrics().horizontalAdvance(QStringLiteral("-10000 raw")) * 4,
            // Every row on show: the header, the rows at the style's height, the frame.
            m_tables[c]->horizontalHeader()->sizeHint().height() +
                m_tables[c]->verticalHeader()->defaultSectionSize() *
                    static_cast<int>(WaveformMeasurementCount) +
                2 * m_tables[c]->frameWidth());
        for (std::size_t row = 0; row < WaveformMeasurementCount; ++row) {
            const std::string_view caption = WaveformMeasurements[row].caption;
            m_tables[c]->setItem(static_cast<int>(row), 0,
                                 new QTableWidgetItem(QString::fromUtf8(
                                     caption.data(), static_cast<qsizetype>(caption.size()))));
            for (int column = 1; column < 5; ++column) {
                m_tables[c]->setItem(static_cast<int>(row), column,
                                     new QTableWidgetItem(QStringLiteral("--")));
            }
        }
    }
    m_xy = new QCheckBox(QStringLiteral("XY"), this);
    m_xy->setObjectName(QStringLiteral("Xy"));
    m_average = new QSpinBox(this);
    m_average->setObjectName(QStringLiteral("Average"));
    m_average->setRange(1, 256);
    m_average->setPrefix(QStringLiteral("Average "));
    m_cursorChannel = Combo("CursorChannel", this);
    m_cursorChannel->addItems({QStringLiteral("Cursors on A"), QStringLiteral("Cursors on B")});
    auto* storeReference = Button(QStringLiteral("Store reference"), "StoreReference", this);
    auto* clearReference = Button(QStringLiteral("Clear reference"), "ClearReference", this);
    auto* resetStatistics = Button(QStringLiteral("Reset statistics"), "ResetStatistics", this);
    auto* savePng = Button(QStringLiteral("Save picture..."), "SavePng", this);
    auto* saveCsv = Button(QStringLiteral("Save trace..."), "SaveCsv", this);
    m_cursorReadout = new QLabel(this);
    m_cursorReadout->setObjectName(QStringLiteral("CursorReadout"));
    m_cursorReadout->setText(CursorHint());

    auto* trigger = new QHBoxLayout;
    trigger->addWidget(new QLabel(QStringLiteral("Time"), this));
    trigger->addWidget(m_timeBase);
    trigger->addSpacing(12);
    trigger->addWidget(new QLabel(QStringLiteral("Trigger"), this));
    trigger->addWidget(m_source);
    trigger->addWidget(m_slope);
    trigger->addWidget(new QLabel(QStringLiteral("Level"), this));
    trigger->addWidget(m_level);
    trigger->addWidget(new QLabel(QStringLiteral("Hysteresis"), this));
    trigger->addWidget(m_hysteresis);
    trigger->addWidget(new QLabel(QStringLiteral("Position"), this));
    trigger->addWidget(m_position);
    trigger->addWidget(m_mode);
    trigger->addWidget(m_arm);
    trigger->addStretch();
    trigger->addWidget(m_hold);
    auto* channels = new QHBoxLayout;
    for (std::size_t c = 0; c < 2; ++c) {
        channels->addWidget(m_show[c]);
        channels->addWidget(m_perDivision[c]);
        channels->addWidget(m_offset[c]);
        channels->addSpacing(12);
    }
    channels->addWidget(m_xy);
    channels->addWidget(m_average);
    channels->addWidget(storeReference);
    channels->addWidget(clearReference);
    channels->addStretch();
    auto* plotColumn = new QVBoxLayout;
    plotColumn->addWidget(m_plot, 1);
    auto* cursorRow = new QHBoxLayout;
    cursorRow->addWidget(m_cursorChannel);
    cursorRow->addWidget(m_cursorReadout, 1);
    plotColumn->addLayout(cursorRow);
    auto* tables = new QVBoxLayout;
    tables->addWidget(m_tables[0]);
    tables->addWidget(m_tables[1]);
    tables->addStretch();
    auto* middle = new QHBoxLayout;
    middle->addLayout(plotColumn, 1);
    middle->addLayout(tables);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(resetStatistics);
    buttons->addStretch();
    buttons->addWidget(savePng);
    buttons->addWidget(saveCsv);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(trigger);
    layout->addLayout(channels);
    layout->addLayout(middle, 1);
    layout->addLayout(buttons);

    connect(m_timeBase, &QComboBox::currentIndexChanged, this, &ScopeWindow::timeBaseChanged);
    for (QComboBox* combo : {m_source, m_slope, m_mode}) {
        connect(combo, &QComboBox::currentIndexChanged, this, &ScopeWindow::triggerChanged);
    }
    for (QDoubleSpinBox* box : {m_level, m_hysteresis}) {
        connect(box, &QDoubleSpinBox::valueChanged, this, &ScopeWindow::triggerChanged);
    }
    connect(m_position, &QSpinBox::valueChanged, this, &ScopeWindow::triggerChanged);
    for (std::size_t c = 0; c < 2; ++c) {
        connect(m_show[c], &QCheckBox::toggled, this, &ScopeWindow::viewChanged);
        connect(m_perDivision[c], &QComboBox::currentIndexChanged, this, &ScopeWindow::viewChanged);
        connect(m_offset[c], &QDoubleSpinBox::valueChanged, this, &ScopeWindow::viewChanged);
    }
    connect(m_xy, &QCheckBox::toggled, this, &ScopeWindow::viewChanged);
    connect(m_cursorChannel, &QComboBox::currentIndexChanged, this, [this] {
        m_plot->clearCursors();
        viewChanged();
    });
    connect(m_average, &QSpinBox::valueChanged, this, [this](int count) {
        acquisition().setAveraging(count);
        ResetStatisticsClick();
    });
    connect(m_hold, &QPushButton::toggled, this, &ScopeWindow::holdToggled);
    connect(m_arm, &QPushButton::clicked, this, &ScopeWindow::ArmClick);
    connect(storeReference, &QPushButton::clicked, this, &ScopeWindow::StoreReferenceClick);
    connect(clearReference, &QPushButton::clicked, this, &ScopeWindow::ClearReferenceClick);
    connect(resetStatistics, &QPushButton::clicked, this, &ScopeWindow::ResetStatisticsClick);
    connect(savePng, &QPushButton::clicked, this, &ScopeWindow::SavePngClick);
    connect(saveCsv, &QPushButton::clicked, this, &ScopeWindow::SaveCsvClick);
    connect(m_plot, &ScopePlot::cursorsChanged, this, &ScopeWindow::showCursors);

    m_plot->setSource(&acquisition());
    // The window may outlive the data or the other way round as the program ends.
    m_live.setListener([window = QPointer<ScopeWindow>(this)] {
        if (window) {
            window->acquired();
        }
    });
    timeBaseChanged();
    triggerChanged();
    m_tableTimer.setSingleShot(true);
    connect(&m_tableTimer, &QTimer::timeout, this, &ScopeWindow::showTables);
    m_tableClock.start();
    m_rollClock.start();
    resize(1200, 760);
}

ScopeAcquisition& ScopeWindow::acquisition() {
    return m_live.acquisition();
}

void ScopeWindow::fillPerDivision(int channel) {
    const auto c = static_cast<std::size_t>(channel);
    QComboBox* combo = m_perDivision[c];
    const ChannelScale& scale = m_scales[c];
    const double was = combo->count() > 0 ? combo->currentData().toDouble() : 0.0;
    const QSignalBlocker quiet(combo);
    combo->clear();
    const std::vector<double> steps = VerticalSteps(scale);
    for (const double step : steps) {
        combo->addItem(PerDivisionText(step, ChannelUnit(scale)), step);
    }
    // The same step when it is still offered, else the whole range over the divisions.
    const double wanted = was > 0.0 ? was : FullScale(scale) / (ScopeVerticalDivisions / 2.0);
    int index = static_cast<int>(steps.size()) - 1;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        if (steps[i] >= wanted * 0.999) {
            index = static_cast<int>(i);
            break;
        }
    }
    combo->setCurrentIndex(index);
}

std::size_t ScopeWindow::source() const {
    return m_source->currentIndex() == 1 ? 1 : 0;
}

// The trigger's level and hysteresis, held in raw units, shown in the source's unit: they keep
// their place on the input when the unit changes (another source, a range switched, a
// calibration made).
void ScopeWindow::showTrigger(double levelRaw, double hysteresisRaw) {
    const ChannelScale& scale = m_scales[source()];
    const QSignalBlocker quietLevel(m_level);
    const QSignalBlocker quietHysteresis(m_hysteresis);
    SetLevelUnits(m_level, scale, -1.0);
    SetLevelUnits(m_hysteresis, scale, 0.0);
    m_level->setValue(ToUnits(levelRaw, scale));
    m_hysteresis->setValue(UnitsStep(hysteresisRaw, scale));
}

void ScopeWindow::followScales() {
    const std::array<ChannelScale, 2> now{m_live.scale(0), m_live.scale(1)};
    bool changed = false;
    for (std::size_t c = 0; c < 2; ++c) {
        if (!SameScale(now[c], m_scales[c])) {
            const ChannelScale was = m_scales[c];
            m_scales[c] = now[c];
            fillPerDivision(static_cast<int>(c));
            if (c == source()) {
                showTrigger(ToRaw(m_level->value(), was), RawStep(m_hysteresis->value(), was));
            }
            changed = true;
        }
    }
    if (changed) {
        triggerChanged();
        viewChanged();
    }
}

void ScopeWindow::timeBaseChanged() {
    acquisition().setSecondsPerDivision(m_timeBase->currentData().toDouble());
    m_shownCount = acquisition().count();
    ResetStatisticsClick();
    viewChanged();
}

void ScopeWindow::triggerChanged() {
    const std::size_t channel = source();
    ScopeTrigger trigger;
    trigger.condition.source = channel == 1 ? ScopeChannel::B : ScopeChannel::A;
    trigger.condition.slope =
        m_slope->currentIndex() == 1 ? TriggerSlope::Falling : TriggerSlope::Rising;
    trigger.condition.level = ToRaw(m_level->value(), m_scales[channel]);
    trigger.condition.hysteresis = RawStep(m_hysteresis->value(), m_scales[channel]);
    trigger.mode = static_cast<TriggerMode>(m_mode->currentIndex());
    trigger.positionPercent = m_position->value();
    const ScopeTrigger& was = acquisition().trigger();
    if (was.condition.source != trigger.condition.source) {
        // Another source, another unit: the level keeps its place on the new source's input.
        showTrigger(was.condition.level, was.condition.hysteresis);
        trigger.condition.level = was.condition.level;
        trigger.condition.hysteresis = was.condition.hysteresis;
    }
    m_arm->setEnabled(trigger.mode == TriggerMode::Single);
    acquisition().setTrigger(trigger);
    ResetStatisticsClick();
    viewChanged();
}

void ScopeWindow::viewChanged() {
    ScopePlotView view;
    for (std::size_t c = 0; c < 2; ++c) {
        view.channels[c].shown = m_show[c]->isChecked();
        view.channels[c].perDivision = m_perDivision[c]->currentData().toDouble();
        view.channels[c].offsetDivisions = m_offset[c]->value();
        view.channels[c].scale = m_scales[c];
    }
    view.secondsPerDivision = m_timeBase->currentData().toDouble();
    view.rolling = acquisition().rolling();
    view.xy = m_xy->isChecked();
    view.triggerSource = m_source->currentIndex() == 1 ? ScopeChannel::B : ScopeChannel::A;
    view.triggerLevel = m_level->value();
    view.cursorChannel = m_cursorChannel->currentIndex() == 1 ? ScopeChannel::B : ScopeChannel::A;
    m_cursorChannel->setEnabled(!view.xy);
    m_plot->setView(view);
    m_plot->setStatus(status());
    showCursors();
}

void ScopeWindow::holdToggled(bool held) {
    acquisition().setRunning(!held);
    m_plot->setStatus(status());
}

QString ScopeWindow::status() const {
    const ScopeAcquisition& scope = m_live.acquisition();
    if (!scope.running()) {
        return QStringLiteral("Hold");
    }
    if (scope.rolling()) {
        return QStringLiteral("Roll");
    }
    switch (scope.trigger().mode) {
        case TriggerMode::Single:
            return scope.singleDone() ? QStringLiteral("Stop") : QStringLiteral("Armed");
        case TriggerMode::Auto:
            return scope.latest().triggered ? QStringLiteral("Trig'd") : QStringLiteral("Auto");
        case TriggerMode::Normal:
            break;
    }
    return scope.latest().triggered && scope.count() > 0 ? QStringLiteral("Trig'd")
                                                         : QStringLiteral("Waiting");
}

void ScopeWindow::acquired() {
    followScales();
    ScopeAcquisition& scope = acquisition();
    m_plot->setStatus(status());
    if (scope.count() == m_shownCount) {
        return;
    }
    m_shownCount = scope.count();
    // A rolling trace is the whole span again after every block, built only to be measured:
    // once a second.
    if (!scope.rolling() || m_rollClock.elapsed() >= RollMeasureMs) {
        m_rollClock.restart();
        measure(scope.shown());
    }
    m_plot->update();
    // The newest figures are shown at the latest when the refresh is due, even when no other
    // acquisition follows (a single shot, a trigger that stops coming).
    if (m_tableClock.elapsed() >= TableRefreshMs) {
        showTables();
    } else if (!m_tableTimer.isActive()) {
        m_tableTimer.start(static_cast<int>(TableRefreshMs - m_tableClock.elapsed()));
    }
}

void ScopeWindow::measure(const Acquisition& shown) {
    if (shown.empty()) {
        return;
    }
    const auto samples = static_cast<std::ptrdiff_t>(shown.a.size());
    const auto first = std::clamp<std::ptrdiff_t>(
        static_cast<std::ptrdiff_t>(std::ceil(shown.leftEdge - 1e-9)), 0, samples);
    // The span's samples, its right edge left out: a whole number of periods measures exactly.
    const auto last = std::clamp<std::ptrdiff_t>(
        static_cast<std::ptrdiff_t>(std::ceil(shown.leftEdge + shown.spanFrames - 1e-9)) - 1, first,
        samples - 1);
    for (std::size_t c = 0; c < 2; ++c) {
        const std::span<const float> trace =
            shown.trace(c == 0 ? ScopeChannel::A : ScopeChannel::B);
        m_measurements[c] =
            MeasureWaveform(trace.subspan(static_cast<std::size_t>(first),
                                          static_cast<std::size_t>(last - first + 1)),
                            SampleRate, m_scales[c]);
        for (std::size_t i = 0; i < WaveformMeasurementCount; ++i) {
            m_statistics[c][i].add(WaveformMeasurements[i].measure(m_measurements[c]));
        }
    }
}

void ScopeWindow::showTables() {
    m_tableClock.restart();
    m_tableTimer.stop();
    for (std::size_t c = 0; c < 2; ++c) {
        QTableWidget* table = m_tables[c];
        for (std::size_t i = 0; i < WaveformMeasurementCount; ++i) {
            const WaveformDescriptor& descriptor = WaveformMeasurements[i];
            const MeasurementStatistics& statistics = m_statistics[c][i];
            const std::array<std::optional<double>, 4> values{
                m_statistics[c][i].count() > 0 ? descriptor.measure(m_measurements[c])
                                               : std::nullopt,
                statistics.minimum(), statistics.mean(), statistics.maximum()};
            for (std::size_t column = 0; column < values.size(); ++column) {
                const QString text = ValueText(values[column], descriptor.unit, m_scales[c]);
                QTableWidgetItem* item =
                    table->item(static_cast<int>(i), static_cast<int>(column) + 1);
                if (item->text() != text) {
                    item->setText(text);  // an unchanged text is not laid out again
                }
            }
        }
    }
}

void ScopeWindow::showCursors() {
    const QString text = m_plot->cursorText();
    m_cursorReadout->setText(text.isEmpty() ? CursorHint() : text);
}

void ScopeWindow::ArmClick() {
    m_hold->setChecked(false);
    acquisition().arm();
    m_plot->setStatus(status());
}

void ScopeWindow::StoreReferenceClick() {
    acquisition().storeReference();
    viewChanged();
}

void ScopeWindow::ClearReferenceClick() {
    acquisition().clearReference();
    viewChanged();
}

void ScopeWindow::ResetStatisticsClick() {
    m_measurements = {};
    for (auto& channel : m_statistics) {
        for (MeasurementStatistics& statistics : channel) {
            statistics.reset();
        }
    }
    showTables();
}

FileMetadata ScopeWindow::metadata() const {
    FileMetadata pairs = m_metadata ? m_metadata() : FileMetadata{};
    const std::size_t channel = source();
    pairs.emplace_back(QStringLiteral("Time base"), m_timeBase->currentText());
    pairs.emplace_back(
        QStringLiteral("Trigger"),
        QStringLiteral("%1 %2 at %3, hysteresis %4, position %5 %, %6")
            .arg(Letter(channel), m_slope->currentText().toLower(),
                 EngineeringText(m_level->value(), ChannelUnit(m_scales[channel])),
                 EngineeringText(m_hysteresis->value(), ChannelUnit(m_scales[channel])))
            .arg(m_position->value())
            .arg(m_mode->currentText().toLower()));
    for (std::size_t c = 0; c < 2; ++c) {
        pairs.emplace_back(Letter(c) + QStringLiteral(" scale"),
                           m_perDivision[c]->currentText() + QStringLiteral(", offset ") +
                               QString::number(m_offset[c]->value(), 'f', 1) +
                               QStringLiteral(" div"));
    }
    pairs.emplace_back(QStringLiteral("Averaging"), QString::number(m_average->value()));
    pairs.emplace_back(QStringLiteral("Reference"), m_live.acquisition().reference().empty()
                                                        ? QStringLiteral("none")
                                                        : QStringLiteral("shown"));
    if (!m_plot->cursorText().isEmpty()) {
        pairs.emplace_back(QStringLiteral("Cursors"), m_plot->cursorText());
    }
    return pairs;
}

void ScopeWindow::SavePngClick() {
    AskAndSave(m_files, m_boxes, QStringLiteral("Save picture"),
               QStringLiteral("PNG images (*.png)"),
               [this] { return PngBytes(m_plot->grab().toImage(), metadata()); });
}

void ScopeWindow::SaveCsvClick() {
    if (acquisition().shown().empty()) {
        m_boxes.showMessage(QStringLiteral("No trace to save yet: the scope has taken none."));
        return;
    }
    AskAndSave(m_files, m_boxes, QStringLiteral("Save trace"), QStringLiteral("CSV files (*.csv)"),
               [this] {
                   return ScopeCsv(acquisition().shown(), acquisition().rolling(), m_scales,
                                   metadata());
               });
}

}  // namespace veruziva
