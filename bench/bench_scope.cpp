// The measuring scope's work per block: the block through the acquisition engine at a few time
// bases, and the longest span brought down to a plot's columns.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "scope/minmaxcolumns.h"
#include "scope/scopeacquisition.h"

using namespace veruziva;

namespace {

// A 1 kHz sine on A, a 50 Hz hum with noise on B.
std::vector<StereoFrame> BenchBlock() {
    std::vector<StereoFrame> frames(FramesPerBuffer);
    for (std::size_t n = 0; n < frames.size(); ++n) {
        const double t = double(n) / SampleRate;
        const double a = 16000 * std::sin(2 * std::numbers::pi * 1000 * t);
        const double b =
            3000 * std::sin(2 * std::numbers::pi * 50 * t) + std::sin(double(n) * 12.9898) * 40;
        frames[n] = {static_cast<std::int16_t>(std::lround(a)),
                     static_cast<std::int16_t>(std::lround(b))};
    }
    return frames;
}

// One block, the time base in microseconds per division: triggered below 200 ms/div, rolling
// from there on; the averaged row averages 16.
void BM_BlockThroughEngine(benchmark::State& state) {
    const std::vector<StereoFrame> block = BenchBlock();
    ScopeAcquisition scope;
    scope.setSecondsPerDivision(double(state.range(0)) * 1e-6);
    ScopeTrigger trigger;
    trigger.mode = TriggerMode::Auto;
    scope.setTrigger(trigger);
    scope.setAveraging(static_cast<int>(state.range(1)));
    // The ring full, as after a while.
    for (int n = 0; n < 220; ++n) {
        scope.addFrames(block);
    }
    for (auto _ : state) {
        scope.addFrames(block);
        benchmark::DoNotOptimize(scope.shown().a.data());
    }
}
BENCHMARK(BM_BlockThroughEngine)
    ->Args({1000, 1})
    ->Args({1000, 16})
    ->Args({100000, 1})
    ->Args({2000000, 1})
    ->Unit(benchmark::kMicrosecond);

// Both channels of the longest span (2 s/div, 882002 samples) into 1000 columns.
void BM_ColumnsOfLongestSpan(benchmark::State& state) {
    const std::vector<StereoFrame> block = BenchBlock();
    ScopeAcquisition scope;
    scope.setSecondsPerDivision(2.0);
    for (int n = 0; n < 220; ++n) {
        scope.addFrames(block);
    }
    const Acquisition& shown = scope.shown();
    std::vector<MinMax> a;
    std::vector<MinMax> b;
    for (auto _ : state) {
        MinMaxColumns(shown.a, 1000, a);
        MinMaxColumns(shown.b, 1000, b);
        benchmark::DoNotOptimize(a.data());
        benchmark::DoNotOptimize(b.data());
    }
    state.counters["samples"] = double(shown.a.size());
}
BENCHMARK(BM_ColumnsOfLongestSpan)->Unit(benchmark::kMicrosecond);

// Bytes the allocator has handed out and not taken back, mapped blocks included.
std::size_t HeapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// The engine's heap after a while at a time base (microseconds per division), averaging 16 on
// request; the third argument, when not 0, is the time base it came from after a while there.
void BM_EngineHeap(benchmark::State& state) {
    const std::vector<StereoFrame> block = BenchBlock();
    const std::size_t before = HeapInUse();
    std::size_t heap = 0;
    std::size_t engine = 0;
    for (auto _ : state) {
        ScopeAcquisition scope;
        scope.setAveraging(static_cast<int>(state.range(1)));
        for (const std::int64_t microseconds : {state.range(2), state.range(0)}) {
            if (microseconds == 0) {
                continue;
            }
            scope.setSecondsPerDivision(double(microseconds) * 1e-6);
            for (int n = 0; n < 220; ++n) {
                scope.addFrames(block);
                benchmark::DoNotOptimize(scope.shown().a.data());
            }
        }
        scope.storeReference();
        heap = HeapInUse() - before;
        engine = scope.memoryBytes();
    }
    state.counters["heap_KiB"] = double(heap) / 1024.0;
    state.counters["engine_KiB"] = double(engine) / 1024.0;
}
BENCHMARK(BM_EngineHeap)
    ->Args({1000, 1, 0})
    ->Args({20000, 1, 0})
    ->Args({20000, 16, 0})
    ->Args({200000, 1, 0})
    ->Args({2000000, 1, 0})
    ->Args({1000, 1, 2000000})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// What the window does per block: the block in and both channels' columns for an 800-pixel
// plot, with the trace shown built and brought down (second argument 0) or the columns straight
// from the engine (1).
void BM_BlockShownColumns(benchmark::State& state) {
    const std::vector<StereoFrame> block = BenchBlock();
    ScopeAcquisition scope;
    scope.setSecondsPerDivision(double(state.range(0)) * 1e-6);
    for (int n = 0; n < 220; ++n) {
        scope.addFrames(block);
    }
    std::vector<MinMax> a;
    std::vector<MinMax> b;
    for (auto _ : state) {
        scope.addFrames(block);
        if (state.range(1) == 0) {
            const Acquisition& shown = scope.shown();
            MinMaxColumns(shown.a, 800, a);
            MinMaxColumns(shown.b, 800, b);
        } else {
            scope.columns(ScopeChannel::A, 800, a);
            scope.columns(ScopeChannel::B, 800, b);
        }
        benchmark::DoNotOptimize(a.data());
        benchmark::DoNotOptimize(b.data());
    }
}
BENCHMARK(BM_BlockShownColumns)
    ->Args({1000, 0})
    ->Args({1000, 1})
    ->Args({2000000, 0})
    ->Args({2000000, 1})
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
