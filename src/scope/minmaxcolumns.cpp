#include "scope/minmaxcolumns.h"

#include <algorithm>
#include <array>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace veruziva {

namespace {

// The least and greatest of a column's samples (at least one). The compiler does not turn a
// float minimum into vector instructions by itself (NaN's rules), so SSE does it here: a
// column of the longest span holds some 900 samples.
MinMax Extremes(std::span<const float> samples) {
    float low = samples[0];
    float high = low;
    std::size_t n = 0;
#if defined(__SSE2__)
    if (samples.size() >= 4) {
        __m128 lows = _mm_set1_ps(low);
        __m128 highs = lows;
        for (; n + 4 <= samples.size(); n += 4) {
            const __m128 four = _mm_loadu_ps(&samples[n]);
            lows = _mm_min_ps(lows, four);
            highs = _mm_max_ps(highs, four);
        }
        std::array<float, 4> lanes{};
        _mm_storeu_ps(lanes.data(), lows);
        low = *std::min_element(lanes.begin(), lanes.end());
        _mm_storeu_ps(lanes.data(), highs);
        high = *std::max_element(lanes.begin(), lanes.end());
    }
#endif
    for (; n < samples.size(); ++n) {
        low = std::min(low, samples[n]);
        high = std::max(high, samples[n]);
    }
    return {low, high};
}

}  // namespace

std::vector<MinMax> MinMaxColumns(std::span<const float> trace, int columns) {
    std::vector<MinMax> out;
    MinMaxColumns(trace, columns, out);
    return out;
}

void MinMaxColumns(std::span<const float> trace, int columns, std::vector<MinMax>& out) {
    MinMaxColumnsOf(trace.size(), columns, out, [trace](std::size_t from, std::size_t to) {
        return Extremes(trace.subspan(from, to - from));
    });
}

}  // namespace veruziva
