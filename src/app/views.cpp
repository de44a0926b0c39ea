#include "app/views.h"

#include <QAction>

#include "analysis/window/analyzerwindow.h"
#include "app/scopesink.h"
#include "app/spectrumsink.h"
#include "calibration/accalibration.h"
#include "calibration/dialog/accalibrationwindow.h"
#include "instrument/blockhandler.h"
#include "instrument/trendsink.h"
#include "scope/window/scopewindow.h"
#include "trend/window/trendwindow.h"

namespace veruziva {

namespace {

// The running capture's blocks, raw, to the calibration with a sine.
class AcCalibrationSink : public BlockSink {
public:
    explicit AcCalibrationSink(AcCalibration& calibration) : m_calibration(calibration) {}
    void blockMeasured(const MeasuredBlock& block) override {
        m_calibration.blockTaken(block.frames);
    }

private:
    AcCalibration& m_calibration;
};

// A new view is one more line here; the menu lists them in this order, before "Save picture...".
const ViewEntry Table[] = {
    {"OpenTrend", "Trend...", Qt::CTRL | Qt::Key_T,
     [](const ViewParts& parts) -> std::unique_ptr<BlockSink> {
         return std::make_unique<TrendSink>(parts.trend);
     },
     [](const ViewParts& parts, BlockSink* /*sink*/) -> QWidget* {
         auto* window = new TrendWindow(parts.trend, parts.files, parts.boxes, &parts.window);
         window->setMetadata(parts.metadata);
         return window;
     },
     [](QWidget& window) { static_cast<TrendWindow&>(window).refresh(); }},
    {"OpenAnalyzer", "Analyzer...", Qt::CTRL | Qt::Key_Y,
     [](const ViewParts& parts) -> std::unique_ptr<BlockSink> {
         return std::make_unique<SpectrumSink>(parts.analysis);
     },
     [](const ViewParts& parts, BlockSink* /*sink*/) -> QWidget* {
         auto* window = new AnalyzerWindow(parts.analysis, parts.sampleClock, parts.files,
                                           parts.boxes, &parts.window);
         window->setMetadata(parts.metadata);
         return window;
     },
     nullptr},
    {"OpenScope", "Scope...", Qt::CTRL | Qt::Key_J,
     [](const ViewParts& /*parts*/) -> std::unique_ptr<BlockSink> {
         return std::make_unique<ScopeSink>();
     },
     [](const ViewParts& parts, BlockSink* sink) -> QWidget* {
         auto* window = new ScopeWindow(static_cast<ScopeSink*>(sink)->live(), parts.files,
                                        parts.boxes, &parts.window);
         window->setMetadata(parts.metadata);
         return window;
     },
     nullptr},
    {"CalibrateWithSine", "Calibrate with a sine...", Qt::CTRL | Qt::Key_K,
     [](const ViewParts& parts) -> std::unique_ptr<BlockSink> {
         return std::make_unique<AcCalibrationSink>(parts.acCalibration);
     },
     [](const ViewParts& parts, BlockSink* /*sink*/) -> QWidget* {
         return new AcCalibrationWindow(parts.acCalibration, &parts.window);
     },
     nullptr},
};

}  // namespace

std::span<const ViewEntry> ViewTable() {
    return Table;
}

Views::Views(std::span<const ViewEntry> table, const ViewParts& parts)
    : m_table(table), m_parts(parts), m_windows(table.size()) {
    for (const ViewEntry& view : m_table) {
        m_sinks.push_back(view.sink != nullptr ? view.sink(m_parts) : nullptr);
    }
}

Views::~Views() = default;

void Views::addSinks(BlockHandler& blocks) {
    for (const std::unique_ptr<BlockSink>& sink : m_sinks) {
        if (sink) {
            blocks.addSink(*sink);
        }
    }
}

void Views::addActions() {
    for (std::size_t i = 0; i < m_table.size(); ++i) {
        const ViewEntry& view = m_table[i];
        auto* action = new QAction(QString::fromLatin1(view.caption), &m_parts.window);
        action->setObjectName(QString::fromLatin1(view.name));
        action->setShortcut(QKeySequence(view.shortcut));
        QObject::connect(action, &QAction::triggered, &m_parts.window, [this, i] { open(i); });
        m_parts.window.addAction(action);
    }
}

void Views::open(std::size_t view) {
    QPointer<QWidget>& window = m_windows[view];
    if (!window) {
        window = m_table[view].make(m_parts, m_sinks[view].get());
    }
    window->show();
    window->raise();
    window->activateWindow();
    if (m_table[view].opened != nullptr) {
        m_table[view].opened(*window);
    }
}

QWidget* Views::window(std::string_view name) const {
    for (std::size_t i = 0; i < m_table.size(); ++i) {
        if (m_table[i].name == name) {
            return m_windows[i];
        }
    }
    return nullptr;
}

}  // namespace veruziva
