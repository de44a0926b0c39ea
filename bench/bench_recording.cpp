// What a recording costs the event loop: one block appended to a WAV file, one sampled row
// written and synced to the disk.
#include <benchmark/benchmark.h>

#include <QDir>
#include <QTemporaryDir>
#include <vector>

#include "platform/captureformat.h"
#include "recording/csvwriter.h"
#include "recording/wavwriter.h"

namespace {

using namespace veruziva;

void BM_WavAppendBlock(benchmark::State& state) {
    QTemporaryDir dir(QDir::currentPath() + "/bench-XXXXXX");
    const std::vector<std::byte> block(static_cast<std::size_t>(BufferBytes), std::byte{3});
    WavWriter wav;
    // The longest recording a file holds, so that the loop never reaches the cut.
    wav.create(dir.filePath("bench.wav"), 2'147'000'000u);
    std::int64_t blocks = 0;
    for (auto _ : state) {
        wav.append(block);
        ++blocks;
        if (blocks % 2000 == 0) {
            // Keep the file small: start over now and then, outside the timing.
            state.PauseTiming();
            wav.close();
            wav.create(dir.filePath("bench.wav"), 2'147'000'000u);
            state.ResumeTiming();
        }
    }
    wav.close();
    state.SetBytesProcessed(blocks * BufferBytes);
}
BENCHMARK(BM_WavAppendBlock)->Unit(benchmark::kMicrosecond);

void BM_SampledRow(benchmark::State& state) {
    QTemporaryDir dir(QDir::currentPath() + "/bench-XXXXXX");
    CsvWriter csv;
    csv.create(dir.filePath("bench.csv"), 'V', 'V');
    for (auto _ : state) {
        csv.row(QStringLiteral("1234.25"), QStringLiteral("-1.234"), QStringLiteral("12.35"));
    }
    csv.close();
}
BENCHMARK(BM_SampledRow)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
