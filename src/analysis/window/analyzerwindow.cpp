#include "analysis/window/analyzerwindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cmath>

#include "analysis/liveanalysis.h"
#include "analysis/spectrumcsv.h"
#include "analysis/window/spectrumplot.h"
#include "base/pngfile.h"
#include "platform/messageboxes.h"
#include "trend/savedfile.h"

namespace veruziva {

namespace {

struct AveragingChoice {
    const char* caption;
    AveragingMode mode;
};
constexpr std::array<AveragingChoice, 4> AveragingChoices{{
    {"None", AveragingMode::None},
    {"Linear", AveragingMode::Linear},
    {"Exponential", AveragingMode::Exponential},
    {"Peak hold", AveragingMode::PeakHold},
}};

QString ChannelName(std::size_t channel) {
    return channel == 0 ? QStringLiteral("A") : QStringLiteral("B");
}

// "+12.3 ppm", "-4.0 ppm".
QString ClockText(double ppm) {
    return (ppm < 0 ? QString() : QStringLiteral("+")) + QString::number(ppm, 'f', 1) +
           QStringLiteral(" ppm");
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

}  // namespace

AnalyzerWindow::AnalyzerWindow(LiveAnalysis& analysis, SampleClockStore& clock, TrendFiles& files,
                               MessageBoxes& boxes, QWidget* parent)
    : QWidget(parent), m_analysis(analysis), m_clock(clock), m_files(files), m_boxes(boxes) {
    setWindowFlag(Qt::Window);
    setObjectName(QStringLiteral("AnalyzerWindow"));
    setWindowTitle(QStringLiteral("Analyzer"));
    const AnalyzerSettings settings = analysis.analyzer().settings();

    m_plot = new SpectrumPlot(this);
    m_size = Combo("Size", this);
    for (const int size : SpectrumSizes) {
        m_size->addItem(QString::number(size), size);
    }
    m_size->setCurrentIndex(m_size->findData(settings.size));
    m_window = Combo("Window", this);
    for (const WindowKind kind : WindowKinds) {
        m_window->addItem(QString::fromUtf8(WindowCaption(kind).data(),
                                            static_cast<qsizetype>(WindowCaption(kind).size())),
                          static_cast<int>(kind));
    }
    m_window->setCurrentIndex(m_window->findData(static_cast<int>(settings.window)));
    m_averaging = Combo("Averaging", this);
    for (const AveragingChoice& choice : AveragingChoices) {
        m_averaging->addItem(QString::fromLatin1(choice.caption), static_cast<int>(choice.mode));
    }
    m_averaging->setCurrentIndex(m_averaging->findData(static_cast<int>(settings.averaging.mode)));
    m_averageCount = new QSpinBox(this);
    m_averageCount->setObjectName(QStringLiteral("AverageCount"));
    m_averageCount->setRange(2, 1000);
    m_averageCount->setValue(settings.averaging.count);
    m_averageCount->setPrefix(QStringLiteral("N = "));
    auto* resetAverages = Button(QStringLiteral("Reset averages"), "ResetAverages", this);
    m_freeze = Button(QStringLiteral("Freeze"), "Freeze", this);
    m_freeze->setCheckable(true);
    m_frequencyAxis = Combo("FrequencyAxis", this);
    m_frequencyAxis->addItems({QStringLiteral("Log"), QStringLiteral("Linear")});
    m_levelAxis = Combo("LevelAxis", this);
    m_levelAxis->addItems({QStringLiteral("dB"), QStringLiteral("Volts RMS")});
    for (std::size_t c = 0; c < 2; ++c) {
        m_show[c] = new QCheckBox(ChannelName(c), this);
        m_show[c]->setObjectName(QStringLiteral("Show") + ChannelName(c));
        m_show[c]->setChecked(true);
        m_measurements[c] = new QTableWidget(0, 2, this);
        m_measurements[c]->setObjectName(QStringLiteral("Measurements") + ChannelName(c));
        m_measurements[c]->setHorizontalHeaderLabels(
            {QStringLiteral("Channel ") + ChannelName(c), QString()});
        m_measurements[c]->verticalHeader()->hide();
        m_measurements[c]->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
        m_measurements[c]->setEditTriggers(QAbstractItemView::NoEditTriggers);
        m_measurements[c]->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    }
    m_cursorReadout = new QLabel(this);
    m_cursorReadout->setObjectName(QStringLiteral("CursorReadout"));
    m_cursorReadout->setText(QStringLiteral("Click: cursor 1; right or shift click: cursor 2"));
    m_reference = new QDoubleSpinBox(this);
    m_reference->setObjectName(QStringLiteral("Reference"));
    m_reference->setRange(1.0, SampleRate / 2.0);
    m_reference->setDecimals(3);
    m_reference->setValue(1000.0);
    m_reference->setSuffix(QStringLiteral(" Hz"));
    auto* calibrate = Button(QStringLiteral("Calibrate clock"), "CalibrateClock", this);
    m_clockCorrection = new QLabel(this);
    m_clockCorrection->setObjectName(QStringLiteral("ClockCorrection"));
    auto* savePng = Button(QStringLiteral("Save picture..."), "SavePng", this);
    auto* saveCsv = Button(QStringLiteral("Save spectrum..."), "SaveCsv", this);

    auto* controls = new QHBoxLayout;
    controls->addWidget(new QLabel(QStringLiteral("Size"), this));
    controls->addWidget(m_size);
    controls->addWidget(new QLabel(QStringLiteral("Window"), this));
    controls->addWidget(m_window);
    controls->addWidget(new QLabel(QStringLiteral("Averaging"), this));
    controls->addWidget(m_averaging);
    controls->addWidget(m_averageCount);
    controls->addWidget(resetAverages);
    controls->addSpacing(12);
    controls->addWidget(new QLabel(QStringLiteral("Frequency"), this));
    controls->addWidget(m_frequencyAxis);
    controls->addWidget(new QLabel(QStringLiteral("Level"), this));
    controls->addWidget(m_levelAxis);
    controls->addWidget(m_show[0]);
    controls->addWidget(m_show[1]);
    controls->addStretch();
    controls->addWidget(m_freeze);
    auto* tables = new QVBoxLayout;
    tables->addWidget(m_measurements[0]);
    tables->addWidget(m_measurements[1]);
    auto* middle = new QHBoxLayout;
    auto* plotColumn = new QVBoxLayout;
    plotColumn->addWidget(m_plot, 1);
    plotColumn->addWidget(m_cursorReadout);
    middle->addLayout(plotColumn, 1);
    middle->addLayout(tables);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(new QLabel(QStringLiteral("Reference"), this));
    buttons->addWidget(m_reference);
    buttons->addWidget(calibrate);
    buttons->addWidget(m_clockCorrection);
    buttons->addStretch();
    buttons->addWidget(savePng);
    buttons->addWidget(saveCsv);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(controls);
    layout->addLayout(middle, 1);
    layout->addLayout(buttons);
    for (QTableWidget* table : m_measurements) {
        table->setFixedWidth(fontMetrics().horizontalAdvance(QStringLiteral("THD+N -100.00 dB")) *
                             2);
    }

    for (QComboBox* combo : {m_size, m_window, m_averaging}) {
        connect(combo, &QComboBox::currentIndexChanged, this, &AnalyzerWindow::settingsChanged);
    }
    connect(m_averageCount, &QSpinBox::valueChanged, this, &AnalyzerWindow::settingsChanged);
    for (QComboBox* combo : {m_frequencyAxis, m_levelAxis}) {
        connect(combo, &QComboBox::currentIndexChanged, this, &AnalyzerWindow::viewChanged);
    }
    for (QCheckBox* show : m_show) {
        connect(show, &QCheckBox::toggled, this, &AnalyzerWindow::viewChanged);
    }
    connect(m_freeze, &QPushButton::toggled, this, &AnalyzerWindow::freezeToggled);
    connect(resetAverages, &QPushButton::clicked, this, &AnalyzerWindow::ResetAveragesClick);
    connect(savePng, &QPushButton::clicked, this, &AnalyzerWindow::SavePngClick);
    connect(saveCsv, &QPushButton::clicked, this, &AnalyzerWindow::SaveCsvClick);
    connect(calibrate, &QPushButton::clicked, this, &AnalyzerWindow::CalibrateClockClick);
    connect(m_plot, &SpectrumPlot::cursorsChanged, this, &AnalyzerWindow::showCursors);

    m_refreshTimer.setInterval(RefreshMs);
    connect(&m_refreshTimer, &QTimer::timeout, this, &AnalyzerWindow::tick);
    m_averageCount->setEnabled(settings.averaging.mode == AveragingMode::Linear ||
                               settings.averaging.mode == AveragingMode::Exponential);
    showClock();
    refresh();
    resize(1150, 720);
}

void AnalyzerWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!frozen()) {
        m_refreshTimer.start();
    }
    tick();
}

void AnalyzerWindow::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    m_refreshTimer.stop();
}

bool AnalyzerWindow::frozen() const {
    return m_freeze->isChecked();
}

void AnalyzerWindow::tick() {
    SpectrumAnalyzer& analyzer = m_analysis.analyzer();
    if (frozen() || analyzer.framesSinceUpdate() <= 0 || !analyzer.update()) {
        return;
    }
    refresh();
}

void AnalyzerWindow::refresh() {
    SpectrumPlotView view;
    view.logFrequency = m_frequencyAxis->currentIndex() == 0;
    view.volts = m_levelAxis->currentIndex() == 1;
    view.show = {m_show[0]->isChecked(), m_show[1]->isChecked()};
    view.clockPpm = m_clock.ppm();
    m_plot->setView(view);
    // Frozen, the picture's own spectra are measured again (a new clock), not the live ones.
    const SpectrumAnalyzer& analyzer = m_analysis.analyzer();
    std::array<const Spectrum*, 2> spectra{&analyzer.spectrum(0), &analyzer.spectrum(1)};
    std::array<ChannelScale, 2> scales{m_analysis.scale(0), m_analysis.scale(1)};
    if (frozen()) {
        spectra = {&m_plot->spectrum(0), &m_plot->spectrum(1)};
        scales = {m_plot->scale(0), m_plot->scale(1)};
    }
    ToneOptions options;
    options.clockPpm = view.clockPpm;
    for (std::size_t c = 0; c < 2; ++c) {
        m_tones[c] = spectra[c]->empty() ? ToneMeasurements{} : MeasureTone(*spectra[c], options);
    }
    m_plot->setSpectra(spectra, scales, m_tones);
    showMeasurements();
    showCursors();
}

void AnalyzerWindow::showMeasurements() {
    for (std::size_t c = 0; c < 2; ++c) {
        QTableWidget* table = m_measurements[c];
        const Spectrum& spectrum = m_plot->spectrum(static_cast<int>(c));
        const std::vector<ToneField> fields =
            spectrum.empty() ? std::vector<ToneField>{}
                             : ToneFields(m_tones[c], spectrum, m_plot->scale(static_cast<int>(c)));
        const int rows = static_cast<int>(fields.size());
        if (table->rowCount() != rows) {
            table->setRowCount(rows);
        }
        for (int row = 0; row < rows; ++row) {
            const ToneField& field = fields[static_cast<std::size_t>(row)];
            for (int column = 0; column < 2; ++column) {
                const QString text =
                    QString::fromStdString(column == 0 ? field.caption : field.text);
                QTableWidgetItem* item = table->item(row, column);
                if (item == nullptr) {
                    table->setItem(row, column, new QTableWidgetItem(text));
                } else if (item->text() != text) {
                    item->setText(text);  // an unchanged text is not laid out again
                }
            }
        }
    }
}

void AnalyzerWindow::showCursors() {
    QStringList parts;
    for (const QString& part :
         {m_plot->cursorText(0), m_plot->cursorText(1), m_plot->deltaText()}) {
        if (!part.isEmpty()) {
            parts.append(part);
        }
    }
    if (!parts.isEmpty()) {
        m_cursorReadout->setText(parts.join(QStringLiteral("    ")));
    }
}

void AnalyzerWindow::showClock() {
    m_clockCorrection->setText(QStringLiteral("Clock: ") + ClockText(m_clock.ppm()));
}

void AnalyzerWindow::settingsChanged() {
    AnalyzerSettings settings;
    settings.size = m_size->currentData().toInt();
    settings.window = static_cast<WindowKind>(m_window->currentData().toInt());
    settings.averaging.mode = static_cast<AveragingMode>(m_averaging->currentData().toInt());
    settings.averaging.count = m_averageCount->value();
    m_averageCount->setEnabled(settings.averaging.mode == AveragingMode::Linear ||
                               settings.averaging.mode == AveragingMode::Exponential);
    SpectrumAnalyzer& analyzer = m_analysis.analyzer();
    const AnalyzerSettings& now = analyzer.settings();
    if (settings.size == now.size && settings.window == now.window &&
        settings.averaging.mode == now.averaging.mode &&
        settings.averaging.count == now.averaging.count) {
        return;
    }
    analyzer.setSettings(settings);
    // The frames held make the new spectrum at once, unless the picture is frozen.
    if (!frozen()) {
        analyzer.update();
        refresh();
    }
}

void AnalyzerWindow::viewChanged() {
    refresh();
}

void AnalyzerWindow::freezeToggled(bool frozen) {
    if (frozen) {
        m_refreshTimer.stop();
    } else if (isVisible()) {
        m_refreshTimer.start();
        tick();
    }
}

void AnalyzerWindow::ResetAveragesClick() {
    m_analysis.analyzer().resetAverages();
}

FileMetadata AnalyzerWindow::metadata() const {
    FileMetadata pairs = m_metadata ? m_metadata() : FileMetadata{};
    const Spectrum& spectrum = m_plot->spectrum(m_plot->spectrum(0).empty() ? 1 : 0);
    pairs.emplace_back(QStringLiteral("Spectrum size"), QString::number(spectrum.size));
    pairs.emplace_back(QStringLiteral("Window"), m_window->currentText());
    pairs.emplace_back(QStringLiteral("Averaging"), m_averageCount->isEnabled()
                                                        ? QStringLiteral("%1, N = %2")
                                                              .arg(m_averaging->currentText())
                                                              .arg(m_averageCount->value())
                                                        : m_averaging->currentText());
    pairs.emplace_back(QStringLiteral("Sample clock"), ClockText(m_clock.ppm()));
    return pairs;
}

void AnalyzerWindow::SavePngClick() {
    AskAndSave(m_files, m_boxes, QStringLiteral("Save picture"),
               QStringLiteral("PNG images (*.png)"),
               [this] { return PngBytes(m_plot->grab().toImage(), metadata()); });
}

void AnalyzerWindow::SaveCsvClick() {
    AskAndSave(m_files, m_boxes, QStringLiteral("Save spectrum"),
               QStringLiteral("CSV files (*.csv)"), [this] {
                   return SpectrumCsv(m_plot->spectrum(0), m_plot->spectrum(1), m_plot->scale(0),
                                      m_plot->scale(1), metadata());
               });
}

void AnalyzerWindow::CalibrateClockClick() {
    // The tone as read at the nominal rate: the correction replaces the one in force.
    std::optional<double> measured;
    for (int c = 0; c < 2 && !measured; ++c) {
        if (!m_plot->spectrum(c).empty()) {
            const ToneMeasurements tone = MeasureTone(m_plot->spectrum(c));
            if (tone.found) {
                measured = tone.frequencyHz;
            }
        }
    }
    const double reference = m_reference->value();
    if (!measured) {
        m_boxes.showMessage(
            QStringLiteral("No tone to calibrate the clock with: feed the reference to A or B."));
        return;
    }
    const double ppm = ClockPpmFor(*measured, reference);
    if (!(std::abs(ppm) <= MaxClockPpm)) {
        m_boxes.showMessage(QStringLiteral("The tone measured at %1 Hz is %2 ppm from the "
                                           "reference %3 Hz, more than %4 ppm: check the "
                                           "reference frequency. The clock is left as it was.")
                                .arg(QString::number(*measured, 'f', 2),
                                     QString::number(ppm, 'f', 0),
                                     QString::number(reference, 'f', 3))
                                .arg(MaxClockPpm));
        return;
    }
    if (m_clock.store(ppm)) {
        showClock();
        refresh();
    }
}

}  // namespace veruziva
