// The measuring scope's window per acquisition: a block taken (measured, traces handed to the
// plot) and the plot drawn, at time bases from a triggered millisecond to a rolling 2 s.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QPainter>
#include <cmath>
#include <numbers>
#include <vector>

#include "platform/messageboxes.h"
#include "scope/window/livescope.h"
#include "scope/window/scopeplot.h"
#include "scope/window/scopewindow.h"
#include "trend/trendfiles.h"

using namespace veruziva;

namespace {

class NoFiles : public TrendFiles {
public:
    std::optional<QString> askSaveFileName(const QString&, const QString&) override { return {}; }
};

class NoBoxes : public MessageBoxes {
public:
    void showMessage(const QString&) override {}
    Answer confirm(const QString&, ConfirmButtons) override { return Answer::Ok; }
    void showError(const QString&) override {}
};

constexpr ChannelScale Volts{1.875e-4, 'V', 0.0};

// A 1 kHz sine on A, 500 Hz pulses on B: whole periods in a second.
std::vector<StereoFrame> OneSecond() {
    std::vector<StereoFrame> frames(static_cast<std::size_t>(SampleRate));
    for (std::size_t n = 0; n < frames.size(); ++n) {
        const double t = double(n) / SampleRate;
        frames[n] = {static_cast<std::int16_t>(
                         std::lround(10000 * std::sin(2 * std::numbers::pi * 1000 * t))),
                     static_cast<std::int16_t>(std::fmod(t * 500, 1.0) < 0.25 ? 10000 : 0)};
    }
    return frames;
}

// The window fed block after block.
class Bench {
public:
    explicit Bench(double secondsPerDivision) : m_window(m_live, m_files, m_boxes) {
        m_window.resize(1200, 760);
        QComboBox* timeBase = m_window.TimeBase();
        timeBase->setCurrentIndex(timeBase->findData(secondsPerDivision));
        m_live.blockTaken({}, Volts, Volts);
        for (int i = 0; i < 250; ++i) {  // 23 s: the longest span filled
            block();
        }
    }
    void block() {
        for (auto& frame : m_frames) {
            frame = m_second[m_frame];
            m_frame = (m_frame + 1) % m_second.size();
        }
        m_live.blockTaken(m_frames, Volts, Volts);
    }
    ScopePlot& plot() { return *m_window.Plot(); }

private:
    LiveScope m_live;
    NoFiles m_files;
    NoBoxes m_boxes;
    ScopeWindow m_window;
    std::vector<StereoFrame> m_second = OneSecond();
    std::vector<StereoFrame> m_frames = std::vector<StereoFrame>(FramesPerBuffer);
    std::size_t m_frame = 0;
};

// A triggered millisecond, a span of two blocks, the first rolling one and the longest.
void TimeBases(benchmark::internal::Benchmark* benchmark) {
    benchmark->ArgName("us_per_div")
        ->Arg(1000)
        ->Arg(20000)
        ->Arg(200000)
        ->Arg(2000000)
        ->Unit(benchmark::kMicrosecond);
}

double SecondsPerDivision(const benchmark::State& state) {
    return double(state.range(0)) * 1e-6;
}

void BM_ScopeWindowBlock(benchmark::State& state) {
    Bench bench(SecondsPerDivision(state));
    for (auto _ : state) {
        bench.block();
    }
}
BENCHMARK(BM_ScopeWindowBlock)->Apply(TimeBases);

// The plot at its size in a 1200 x 760 window (about 780 x 620 pixels), into an image.
void BM_ScopePlotPaint(benchmark::State& state) {
    Bench bench(SecondsPerDivision(state));
    ScopePlot& plot = bench.plot();
    plot.resize(780, 620);
    QImage image(plot.size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        QPainter painter(&image);
        plot.render(&painter);
    }
}
BENCHMARK(BM_ScopePlotPaint)->Apply(TimeBases);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
