#include "trend/window/trendwindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <limits>

#include "platform/messageboxes.h"
#include "trend/savedfile.h"
#include "trend/trendcsv.h"
#include "trend/trendfiles.h"
#include "trend/trendspans.h"
#include "trend/window/trendchartwidget.h"

namespace veruziva {

namespace {

constexpr int DefaultSpanIndex = 1;  // 5 min
constexpr QSize SmallestPicture(800, 400);
// A column of the statistics: a figure of one reading of the table over the blocks, or the
// count of blocks read at a moved input level (no reading).
enum class Figure { Minimum, Maximum, Average, Rms, Sum, LevelMoved };
struct StatisticsColumn {
    const char* title;
    std::size_t reading;
    Figure figure;
};
constexpr std::array<StatisticsColumn, 7> Columns{{
    {"Min", IndexOfMean, Figure::Minimum},
    {"Max", IndexOfMean, Figure::Maximum},
    {"Avg", IndexOfMean, Figure::Average},
    {"RMS", IndexOfMean, Figure::Rms},
    {"Overloads", IndexOfOverload, Figure::Sum},
    {"Signal RMS", IndexOfRms, Figure::Rms},
    {"Level moved", ReadingCount, Figure::LevelMoved},
}};
constexpr int StatisticsColumns = static_cast<int>(Columns.size());

double FigureOf(const TrendReadingStatistics& statistics, Figure figure) {
    switch (figure) {
        case Figure::Minimum:
            return statistics.minimum;
        case Figure::Maximum:
            return statistics.maximum;
        case Figure::Average:
            return statistics.average;
        case Figure::Rms:
            return statistics.rms;
        case Figure::Sum:
        case Figure::LevelMoved:
            break;
    }
    return statistics.sum;
}

// Blank until the column has blocks to tell of: a reading in its unit counts only the valid
// ones, a count every block.
QString ColumnText(const TrendRecorder& recorder, TrendChannel channel,
                   const StatisticsColumn& column) {
    const TrendStatistics blocks = recorder.statistics(channel);
    if (column.figure == Figure::LevelMoved) {
        return blocks.count + blocks.levelMoved > 0 ? QString::number(blocks.levelMoved)
                                                    : QString();
    }
    const TrendReadingStatistics reading = recorder.statistics(channel, column.reading);
    if (reading.count == 0) {
        return {};
    }
    const double value = FigureOf(reading, column.figure);
    return Readings[column.reading].unit == UnitRule::Scaled
               ? TrendReadingText(value, blocks.unit)
               : QString::number(static_cast<qint64>(value));
}

}  // namespace

QString TrendReadingText(double value, char unit) {
    const QString number = QString::number(value, 'g', 6);
    return number +
           (unit == ' ' ? QStringLiteral(" raw") : QStringLiteral(" ") + QLatin1Char(unit));
}

TrendWindow::TrendWindow(TrendRecorder& recorder, TrendFiles& files, MessageBoxes& boxes,
                         QWidget* parent)
    : QWidget(parent), m_recorder(recorder), m_files(files), m_boxes(boxes) {
    setWindowFlag(Qt::Window);
    setObjectName(QStringLiteral("TrendWindow"));
    setWindowTitle(QStringLiteral("Trend"));

    m_chart = new TrendChartWidget(recorder, this);
    m_span = new QComboBox(this);
    m_span->setObjectName(QStringLiteral("Span"));
    for (const std::int64_t span : TrendSpansMs) {
        m_span->addItem(TrendSpanText(span), QVariant::fromValue<qlonglong>(span));
    }
    m_span->setCurrentIndex(DefaultSpanIndex);
    m_autoScale = new QCheckBox(QStringLiteral("Autoscale"), this);
    m_autoScale->setObjectName(QStringLiteral("AutoScale"));
    m_autoScale->setChecked(true);
    m_minimum = new QDoubleSpinBox(this);
    m_maximum = new QDoubleSpinBox(this);
    m_minimum->setObjectName(QStringLiteral("Minimum"));
    m_maximum->setObjectName(QStringLiteral("Maximum"));
    for (QDoubleSpinBox* box : {m_minimum, m_maximum}) {
        box->setRange(-1e9, 1e9);
        box->setDecimals(4);
        box->setEnabled(false);
    }
    m_maximum->setValue(1);
    for (std::size_t c = 0; c < 2; ++c) {
        const QString name = c == 0 ? QStringLiteral("A") : QStringLiteral("B");
        m_show[c] = new QCheckBox(name, this);
        m_show[c]->setObjectName(QStringLiteral("Show") + name);
        m_show[c]->setChecked(true);
    }
    m_statistics = new QTableWidget(2, StatisticsColumns, this);
    m_statistics->setObjectName(QStringLiteral("Statistics"));
    QStringList titles;
    for (const StatisticsColumn& column : Columns) {
        titles.append(QString::fromLatin1(column.title));
    }
    m_statistics->setHorizontalHeaderLabels(titles);
    m_statistics->setVerticalHeaderLabels({QStringLiteral("A"), QStringLiteral("B")});
    m_statistics->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_statistics->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    for (int row = 0; row < 2; ++row) {
        for (int column = 0; column < StatisticsColumns; ++column) {
            m_statistics->setItem(row, column, new QTableWidgetItem);
        }
    }
    m_statistics->setMaximumHeight(m_statistics->verticalHeader()->length() +
                                   m_statistics->horizontalHeader()->height() + 4);
    auto* reset = new QPushButton(QStringLiteral("Reset"), this);
    reset->setObjectName(QStringLiteral("Reset"));
    auto* savePng = new QPushButton(QStringLiteral("Save PNG…"), this);
    savePng->setObjectName(QStringLiteral("SavePng"));
    auto* saveCsv = new QPushButton(QStringLiteral("Save CSV…"), this);
    saveCsv->setObjectName(QStringLiteral("SaveCsv"));
    m_hover = new QLabel(this);
    m_hover->setObjectName(QStringLiteral("HoverReadout"));

    auto* controls = new QHBoxLayout;
    controls->addWidget(new QLabel(QStringLiteral("Span"), this));
    controls->addWidget(m_span);
    controls->addWidget(m_autoScale);
    controls->addWidget(new QLabel(QStringLiteral("Min"), this));
    controls->addWidget(m_minimum);
    controls->addWidget(new QLabel(QStringLiteral("Max"), this));
    controls->addWidget(m_maximum);
    controls->addWidget(m_show[0]);
    controls->addWidget(m_show[1]);
    controls->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_hover, 1);
    buttons->addWidget(reset);
    buttons->addWidget(savePng);
    buttons->addWidget(saveCsv);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(controls);
    layout->addWidget(m_chart, 1);
    layout->addWidget(m_statistics);
    layout->addLayout(buttons);

    connect(m_span, &QComboBox::currentIndexChanged, this, &TrendWindow::refresh);
    connect(m_autoScale, &QCheckBox::toggled, this, &TrendWindow::autoScaleToggled);
    connect(m_minimum, &QDoubleSpinBox::valueChanged, this, &TrendWindow::refresh);
    connect(m_maximum, &QDoubleSpinBox::valueChanged, this, &TrendWindow::refresh);
    for (QCheckBox* show : m_show) {
        connect(show, &QCheckBox::toggled, this, &TrendWindow::refresh);
    }
    connect(reset, &QPushButton::clicked, this, &TrendWindow::ResetClick);
    connect(savePng, &QPushButton::clicked, this, &TrendWindow::SavePngClick);
    connect(saveCsv, &QPushButton::clicked, this, &TrendWindow::SaveCsvClick);
    connect(m_chart, &TrendChartWidget::hovered, this, &TrendWindow::showHover);
    connect(m_chart, &TrendChartWidget::left, m_hover, &QLabel::clear);

    // One repaint per tick at most, whatever the block rate.
    m_refreshTimer.setInterval(RefreshMs);
    connect(&m_refreshTimer, &QTimer::timeout, this, [this] {
        if (m_shownRevision == m_recorder.revision()) {
            return;
        }
        // The figures every second; the chart, which costs the most, every other second.
        if (++m_ticks % ChartTicks == 0) {
            refresh();
        } else {
            updateStatistics();
        }
    });
    refresh();
    resize(900, 600);
}

void TrendWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    m_refreshTimer.start();
    refresh();
}

void TrendWindow::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    m_refreshTimer.stop();
}

void TrendWindow::add(const TrendSample& sample) {
    m_recorder.add(sample);
}

void TrendWindow::mark(std::int64_t msSinceEpoch, const QString& text) {
    m_recorder.mark(msSinceEpoch, text);
}

TrendChartView TrendWindow::view() const {
    TrendChartView view;
    const std::int64_t span = m_span->currentData().toLongLong();
    const std::optional<TrendSample> latest = m_recorder.latest();
    view.t1Ms = latest ? latest->msSinceEpoch : QDateTime::currentMSecsSinceEpoch();
    view.t0Ms = view.t1Ms < std::numeric_limits<std::int64_t>::min() + span
                    ? std::numeric_limits<std::int64_t>::min()
                    : view.t1Ms - span;
    view.autoScale = m_autoScale->isChecked();
    view.minimum = m_minimum->value();
    view.maximum = m_maximum->value();
    view.show = {m_show[0]->isChecked(), m_show[1]->isChecked()};
    view.theme = TrendTheme::Dark;
    return view;
}

void TrendWindow::refresh() {
    m_shownRevision = m_recorder.revision();
    m_chart->setView(view());
    updateStatistics();
}

void TrendWindow::autoScaleToggled(bool on) {
    if (!on) {
        // Manual scaling starts from what is shown.
        TrendChartView shown = view();
        shown.autoScale = true;
        const auto [low, high] = TrendValueRange(
            m_recorder.columns(shown.t0Ms, shown.t1Ms, m_chart->plot().width()), shown);
        const QSignalBlocker blockMinimum(m_minimum);
        const QSignalBlocker blockMaximum(m_maximum);
        m_minimum->setValue(low);
        m_maximum->setValue(high);
    }
    m_minimum->setEnabled(!on);
    m_maximum->setEnabled(!on);
    refresh();
}

void TrendWindow::updateStatistics() {
    for (std::size_t c = 0; c < 2; ++c) {
        const int row = static_cast<int>(c);
        for (int column = 0; column < StatisticsColumns; ++column) {
            m_statistics->item(row, column)
                ->setText(ColumnText(m_recorder, static_cast<TrendChannel>(c),
                                     Columns[static_cast<std::size_t>(column)]));
        }
    }
}

void TrendWindow::ResetClick() {
    m_recorder.reset();
    m_hover->clear();
    refresh();
}

void TrendWindow::SavePngClick() {
    const std::optional<QString> name =
        m_files.askSaveFileName(QStringLiteral("Save PNG"), QStringLiteral("PNG images (*.png)"));
    if (!name) {
        return;
    }
    TrendChartView light = m_chart->view();
    light.theme = TrendTheme::Light;
    const QByteArray png =
        TrendPng(m_recorder, light, m_chart->size().expandedTo(SmallestPicture), metadata());
    if (const auto error = SaveFileChecked(*name, png)) {
        m_boxes.showError(*error);
    }
}

void TrendWindow::SaveCsvClick() {
    const std::optional<QString> name =
        m_files.askSaveFileName(QStringLiteral("Save CSV"), QStringLiteral("CSV files (*.csv)"));
    if (!name) {
        return;
    }
    const TrendChartView shown = m_chart->view();
    if (const auto error = SaveTrendCsv(*name, m_recorder, shown.t0Ms, shown.t1Ms, metadata())) {
        m_boxes.showError(*error);
    }
}

void TrendWindow::showHover(int x) {
    const QRect plot = m_chart->plot();
    if (x < plot.left() || x > plot.right() || m_recorder.empty()) {
        m_hover->clear();
        return;
    }
    const TrendChartView& shown = m_chart->view();
    const int column = x - plot.left();
    const std::int64_t t0 = TrendChartGeometry::timeAt(column, plot.width(), shown);
    const std::int64_t t1 = TrendChartGeometry::timeAt(column + 1, plot.width(), shown);
    // The mean there in the unit of the newest reading there: it may differ from the chart's
    // where the unit changed.
    const TrendColumns here = m_recorder.columns(t0, t1, 1);
    QString text = QDateTime::fromMSecsSinceEpoch(t0).toString(QStringLiteral("HH:mm:ss"));
    for (std::size_t c = 0; c < 2; ++c) {
        const TrendExtent& extent = here.columns.front()[c];
        QString reading =
            extent.empty() ? QStringLiteral("-") : TrendReadingText(extent.mean, here.units[c]);
        if (extent.levelMoved > 0) {
            reading += QStringLiteral(" (level moved)");
        }
        text += QStringLiteral("   %1 %2")
                    .arg(c == 0 ? QStringLiteral("A") : QStringLiteral("B"), reading);
    }
    m_hover->setText(text);
}

}  // namespace veruziva
