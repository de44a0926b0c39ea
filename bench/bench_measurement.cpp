// One measurement pass over a 4096-frame block, as the buffer-done handler runs it.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <vector>

#include "calibration/displaymode.h"
#include "capture/inputwatch.h"
#include "instrument/blockhandler.h"
#include "instrument/inputwatchsink.h"
#include "instrument/trendsink.h"
#include "measurement/blockmeasurement.h"
#include "measurement/oscilloscope.h"
#include "measurement/readouts.h"
#include "trend/trendrecorder.h"

using namespace veruziva;

namespace {

// A 50 Hz sine with a DC offset on A and a noisy DC level on B: crossings on A, none on B.
std::vector<StereoFrame> SignalBlock() {
    std::vector<StereoFrame> frames(FramesPerBuffer);
    unsigned noise = 12345;
    for (int i = 0; i < FramesPerBuffer; ++i) {
        noise = noise * 1103515245u + 12345u;
        const double a = 1500 + 8000 * std::sin(2 * M_PI * 50 * i / 44100.0);
        frames[static_cast<std::size_t>(i)] =
            StereoFrame{static_cast<std::int16_t>(std::lround(a)),
                        static_cast<std::int16_t>(6000 + static_cast<int>((noise >> 16) % 64))};
    }
    return frames;
}

CalibrationState State(bool calibrated) {
    CalibrationState state;
    for (int r = FirstRange; r <= LastRange; ++r) {
        state.CalFactor[r] = {1.8e-4, 1.8e-4};
    }
    state.ZeroLeft = 12;
    state.ZeroRight = -7;
    state.Calibrated = calibrated;
    state.RawDisplay = !calibrated;
    return state;
}

// Arguments: calibrated (0/1), AC (0/1).
void BM_MeasurementPass(benchmark::State& bench) {
    const std::vector<StereoFrame> block = SignalBlock();
    const bool calibrated = bench.range(0) != 0;
    const bool ac = bench.range(1) != 0;
    const CalibrationState state = State(calibrated);
    for (auto _ : bench) {
        const DisplayParameters display = DeriveDisplayParameters(state, {2, 2});
        BlockMeasurement result = MeasureBlock(block, MakePassSettings(display, ac, ac));
        benchmark::DoNotOptimize(result);
    }
    bench.SetItemsProcessed(bench.iterations() * FramesPerBuffer);
}
BENCHMARK(BM_MeasurementPass)
    ->ArgNames({"calibrated", "ac"})
    ->Args({0, 1})
    ->Args({0, 0})
    ->Args({1, 1})
    ->Args({1, 0});

// The pass with the readout texts, as the window writes them once per block.
void BM_PassAndReadouts(benchmark::State& bench) {
    const std::vector<StereoFrame> block = SignalBlock();
    const CalibrationState state = State(bench.range(0) != 0);
    Readouts readouts;
    for (auto _ : bench) {
        const DisplayParameters display = DeriveDisplayParameters(state, {2, 2});
        ShowMeasurement(readouts, MeasureBlock(block, MakePassSettings(display, true, true)),
                        display, ".");
        benchmark::DoNotOptimize(readouts);
    }
}
BENCHMARK(BM_PassAndReadouts)->ArgNames({"calibrated"})->Arg(0)->Arg(1);

// One whole pass as the window runs it: scope preparation, then measurement and both traces
// in one loop. Arguments: column step (1/8), trigger on A (0/1), device pixel ratio (1/2: a
// screen at 200 %, four times the pixels).
void BM_ScopePass(benchmark::State& bench) {
    const std::vector<StereoFrame> block = SignalBlock();
    const CalibrationState state = State(true);
    ScopeSettings settings;
    settings.columnStep = static_cast<int>(bench.range(0));
    if (bench.range(1) != 0) {
        settings.triggerSourceAEnabled = true;
        settings.triggerSourceBEnabled = true;
        settings.triggerSourceADown = true;
        settings.triggerLevelPositionA = TriggerLevelTop - 1000;
    }
    Oscilloscope scope;
    scope.setDevicePixelRatio(static_cast<qreal>(bench.range(2)));
    for (auto _ : bench) {
        const DisplayParameters display = DeriveDisplayParameters(state, {2, 2});
        ScopePlotter plotter = scope.begin(block, settings, display);
        BlockMeasurement result =
            MeasureBlock(block, MakePassSettings(display, true, true), plotter);
        benchmark::DoNotOptimize(result);
    }
    bench.counters["synchronized"] = scope.synchronized() ? 1 : 0;
}
BENCHMARK(BM_ScopePass)
    ->ArgNames({"step", "trigger", "ratio"})
    ->Args({1, 0, 1})
    ->Args({1, 1, 1})
    ->Args({8, 0, 1})
    ->Args({8, 1, 1})
    ->Args({1, 0, 2})
    ->Args({1, 1, 2})
    ->Args({8, 0, 2})
    ->Args({8, 1, 2});

// A measured block through the block handler as the window has it handled: its settings asked
// of the view, the scope pass at 1:1, the readout texts, the view told.
class WindowLikeView : public BlockView {
public:
    BlockSettings blockSettings() override {
        BlockSettings settings;
        settings.display = DeriveDisplayParameters(m_state, {2, 2});
        settings.pass = MakePassSettings(settings.display, true, true);
        settings.scope = &m_scope;
        return settings;
    }
    void blockMeasured(std::span<const StereoFrame> /*frames*/, const Readouts& readouts) override {
        benchmark::DoNotOptimize(readouts.a.readingText.data());
    }

private:
    CalibrationState m_state = State(true);
    Oscilloscope m_scope;
};

void BM_BlockHandler(benchmark::State& bench) {
    const std::vector<StereoFrame> block = SignalBlock();
    WindowLikeView view;
    BlockHandler handler(view, ".");
    for (auto _ : bench) {
        handler.measure(block);
    }
}
BENCHMARK(BM_BlockHandler);

// The same with the window's sinks that take every block: the input watch (running, on a timer
// that is never due) and the trend.
void BM_BlockHandlerWithSinks(benchmark::State& bench) {
    const std::vector<StereoFrame> block = SignalBlock();
    WindowLikeView view;
    BlockHandler handler(view, ".");
    InputWatch watch([] {});
    watch.setTiming(
        {[] { return InputWatch::Clock::now(); }, [](std::chrono::milliseconds) {}, [] {}});
    watch.setRunning(true);
    InputWatchSink watchSink(watch);
    TrendRecorder trend;
    TrendSink trendSink(trend);
    handler.addSink(watchSink);
    handler.addSink(trendSink);
    for (auto _ : bench) {
        handler.measure(block);
    }
}
BENCHMARK(BM_BlockHandlerWithSinks);

}  // namespace

BENCHMARK_MAIN();
