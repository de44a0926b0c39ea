#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace veruziva {

struct MinMax {
    float min = 0.0F;
    float max = 0.0F;
};

// A trace brought down to a plot's pixel columns: each column the least and the greatest of
// its samples, every sample in one column, so that nothing narrow is lost. With fewer samples
// than columns, the samples themselves (min = max), to be joined by lines.
std::vector<MinMax> MinMaxColumns(std::span<const float> trace, int columns);
// The same into `out`, whose room is kept from call to call.
void MinMaxColumns(std::span<const float> trace, int columns, std::vector<MinMax>& out);

// The same for a trace of `samples` known by the extremes of its samples [from, to).
template <typename Extremes>
void MinMaxColumnsOf(std::size_t samples, int columns, std::vector<MinMax>& out,
                     Extremes extremes) {
    out.clear();
    if (columns <= 0) {
        return;
    }
    const auto wanted = static_cast<std::uint64_t>(columns);
    if (samples <= wanted) {
        out.reserve(samples);
        for (std::size_t n = 0; n < samples; ++n) {
            out.push_back(extremes(n, n + 1));
        }
        return;
    }
    out.reserve(static_cast<std::size_t>(columns));
    std::size_t from = 0;
    for (std::uint64_t column = 1; column <= wanted; ++column) {
        const auto to = static_cast<std::size_t>(column * samples / wanted);
        out.push_back(extremes(from, to));
        from = to;
    }
}

}  // namespace veruziva
