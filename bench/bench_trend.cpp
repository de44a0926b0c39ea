// The trend: a reading added per block, 24 hours fed, the chart drawn.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <QGuiApplication>
#include <QPainter>
#include <cmath>
#include <memory>
#include <vector>

#include "trend/trendchart.h"
#include "trend/trendrecorder.h"

using namespace veruziva;

namespace {

constexpr std::int64_t T0 = 1'800'000'000'000;
constexpr double BlockMs = 4096 * 1000.0 / 44100;  // 92.88 ms: 10.77 blocks a second
constexpr int BlocksIn24h = 933'120;               // at 10.8 a second

// A battery discharging with some noise on A, a drifting sensor on B; a clip now and then.
TrendSample Sample(int i) {
    const double hours = i * BlockMs / 3.6e6;
    const double noise = std::sin(i * 12.9898) * 0.01;
    return {T0 + std::llround(i * BlockMs),
            12.6 - 0.05 * hours + noise,
            0.3 + 0.02 * std::sin(hours),
            'V',
            'A',
            i % 5000 == 0,
            false};
}

// Bytes the allocator has handed out and not taken back, mapped blocks included.
std::size_t HeapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// The readings made beforehand: add() alone is measured.
void BM_TrendAdd(benchmark::State& bench) {
    auto recorder = std::make_unique<TrendRecorder>();
    constexpr int Made = 1 << 16;
    std::vector<TrendSample> samples;
    for (int i = 0; i < Made; ++i) {
        samples.push_back(Sample(i));
    }
    const std::int64_t lapMs = samples.back().msSinceEpoch + 93 - T0;
    std::int64_t i = 0;
    for (; i < 200'000; ++i) {  // every ring full: the steady state
        TrendSample sample = samples[static_cast<std::size_t>(i % Made)];
        sample.msSinceEpoch += i / Made * lapMs;
        recorder->add(sample);
    }
    for (auto _ : bench) {
        TrendSample sample = samples[static_cast<std::size_t>(i % Made)];
        sample.msSinceEpoch += i / Made * lapMs;
        recorder->add(sample);
        ++i;
    }
    bench.SetItemsProcessed(bench.iterations());
}
BENCHMARK(BM_TrendAdd);

// 24 hours of blocks (made beforehand) into a new recorder; the heap it holds then, against its
// budget.
void BM_TrendFeed24h(benchmark::State& bench) {
    std::vector<TrendSample> samples;
    samples.reserve(BlocksIn24h);
    for (int i = 0; i < BlocksIn24h; ++i) {
        samples.push_back(Sample(i));
    }
    std::size_t held = 0;
    for (auto _ : bench) {
        const std::size_t before = HeapInUse();
        auto recorder = std::make_unique<TrendRecorder>();
        for (const TrendSample& sample : samples) {
            recorder->add(sample);
        }
        held = HeapInUse() - before;
        benchmark::DoNotOptimize(recorder->latest());
    }
    bench.counters["budget_bytes"] = static_cast<double>(TrendRecorder::budgetBytes());
    bench.counters["heap_held_bytes"] = static_cast<double>(held);
    bench.SetItemsProcessed(bench.iterations() * BlocksIn24h);
}
BENCHMARK(BM_TrendFeed24h)->Unit(benchmark::kMillisecond)->Iterations(3);

// An 800 x 400 chart of both channels over a span (minutes) ending at the newest reading,
// after 24 hours, at a device pixel ratio (2: 1600 x 800 pixels, a column a device pixel).
void BM_TrendPaint(benchmark::State& bench) {
    static const auto recorder = [] {
        auto full = std::make_unique<TrendRecorder>();
        for (int i = 0; i < BlocksIn24h; ++i) {
            full->add(Sample(i));
        }
        full->mark(full->latest()->msSinceEpoch - 20 * 60'000, QStringLiteral("Range 30 V"));
        return full;
    }();
    TrendChartView view;
    view.t1Ms = recorder->latest()->msSinceEpoch;
    view.t0Ms = view.t1Ms - bench.range(0) * 60'000;
    const auto ratio = static_cast<qreal>(bench.range(1));
    QImage image(QSize(800, 400) * ratio, QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    for (auto _ : bench) {
        QPainter painter(&image);
        PaintTrendChart(painter, QRect(0, 0, 800, 400), *recorder, view);
    }
}
BENCHMARK(BM_TrendPaint)
    ->ArgNames({"span_min", "ratio"})
    ->Args({1, 1})
    ->Args({30, 1})
    ->Args({120, 1})
    ->Args({1440, 1})
    ->Args({1, 2})
    ->Args({30, 2})
    ->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    // Text needs a Gui application; no display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
