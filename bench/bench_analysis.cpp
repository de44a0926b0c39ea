// The analyzer's work per update: both channels transformed and measured, at every size.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "analysis/spectrum.h"
#include "analysis/tonemeasurement.h"
#include "analysis/waveformmeasurement.h"

using namespace veruziva;

namespace {

// A 1 kHz sine with a little second harmonic on A, a 50 Hz hum with noise on B.
std::vector<StereoFrame> BenchFrames() {
    std::vector<StereoFrame> frames(MaxSpectrumSize);
    for (std::size_t n = 0; n < frames.size(); ++n) {
        const double t = double(n) / SampleRate;
        const double a = 16000 * std::sin(2 * std::numbers::pi * 1000 * t) +
                         16 * std::sin(2 * std::numbers::pi * 2000 * t);
        const double b =
            3000 * std::sin(2 * std::numbers::pi * 50 * t) + std::sin(double(n) * 12.9898) * 40;
        frames[n] = {static_cast<std::int16_t>(std::lround(a)),
                     static_cast<std::int16_t>(std::lround(b))};
    }
    return frames;
}

// Bytes the allocator has handed out and not taken back, mapped blocks included.
std::size_t HeapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// What a redraw costs: the newest span of both channels into their averages. The heap the
// analyzer holds after two updates and a measurement is counted too.
void BM_SpectrumUpdate(benchmark::State& state) {
    const std::vector<StereoFrame> frames = BenchFrames();
    const std::size_t before = HeapInUse();
    SpectrumAnalyzer analyzer({static_cast<int>(state.range(0)),
                               WindowKind::BlackmanHarris,
                               {AveragingMode::Exponential, 8}});
    analyzer.addFrames(frames);
    analyzer.update();
    analyzer.update();
    benchmark::DoNotOptimize(MeasureTone(analyzer.spectrum(0)));
    const double heap = double(HeapInUse() - before) / 1024.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(analyzer.update());
    }
    state.counters["heap_KiB"] = heap;
}
BENCHMARK(BM_SpectrumUpdate)
    ->RangeMultiplier(2)
    ->Range(MinSpectrumSize, MaxSpectrumSize)
    ->Unit(benchmark::kMicrosecond);

// Both channels' measurements of one spectrum each.
void BM_MeasureTone(benchmark::State& state) {
    SpectrumAnalyzer analyzer({static_cast<int>(state.range(0)), WindowKind::BlackmanHarris, {}});
    analyzer.addFrames(BenchFrames());
    analyzer.update();
    for (auto _ : state) {
        benchmark::DoNotOptimize(MeasureTone(analyzer.spectrum(0)));
        benchmark::DoNotOptimize(MeasureTone(analyzer.spectrum(1)));
    }
}
BENCHMARK(BM_MeasureTone)
    ->RangeMultiplier(2)
    ->Range(MinSpectrumSize, MaxSpectrumSize)
    ->Unit(benchmark::kMicrosecond);

// What every block costs while the analyzer's window is closed: its frames kept.
void BM_FramesKept(benchmark::State& state) {
    SpectrumAnalyzer analyzer;
    const std::vector<StereoFrame> frames = BenchFrames();
    const std::span<const StereoFrame> block(frames.data(), FramesPerBuffer);
    for (auto _ : state) {
        analyzer.addFrames(block);
    }
}
BENCHMARK(BM_FramesKept)->Unit(benchmark::kMicrosecond);

// A scope trace's measurements: a span of 441 samples (1 ms/div) and the longest, 882000
// (2 s/div), of a 1 kHz square with 4-sample edges and a little noise.
void BM_MeasureWaveform(benchmark::State& state) {
    std::vector<double> trace(static_cast<std::size_t>(state.range(0)));
    for (std::size_t n = 0; n < trace.size(); ++n) {
        const double at = std::fmod(double(n), 44.1);
        const double edge = std::min(1.0, at / 4) - std::clamp((at - 22.05) / 4, 0.0, 1.0);
        trace[n] = std::round(-12000 + 24000 * edge + std::sin(double(n) * 12.9898) * 40);
    }
    // A scope's trace is float (second argument 1).
    const std::vector<float> floats(trace.begin(), trace.end());
    for (auto _ : state) {
        if (state.range(1) == 0) {
            benchmark::DoNotOptimize(MeasureWaveform(trace, SampleRate));
        } else {
            benchmark::DoNotOptimize(MeasureWaveform(std::span<const float>(floats), SampleRate));
        }
    }
}
BENCHMARK(BM_MeasureWaveform)
    ->Args({441, 0})
    ->Args({441, 1})
    ->Args({882000, 0})
    ->Args({882000, 1})
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
