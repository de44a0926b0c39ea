#include "scope/minmaxcolumns.h"

#include <algorithm>
#include <cstdint>

namespace veruziva {

std::vector<MinMax> MinMaxColumns(std::span<const float> trace, int columns) {
    std::vector<MinMax> out;
    MinMaxColumns(trace, columns, out);
    return out;
}

void MinMaxColumns(std::span<const float> trace, int columns, std::vector<MinMax>& out) {
    out.clear();
    if (columns <= 0) {
        return;
    }
    const auto samples = static_cast<std::uint64_t>(trace.size());
    const auto wanted = static_cast<std::uint64_t>(columns);
    if (samples <= wanted) {
        out.reserve(trace.size());
        for (const float sample : trace) {
            out.push_back({sample, sample});
        }
        return;
    }
    out.reserve(static_cast<std::size_t>(columns));
    std::size_t from = 0;
    for (std::uint64_t column = 1; column <= wanted; ++column) {
        const auto to = static_cast<std::size_t>(column * samples / wanted);
        const auto [low, high] =
            std::minmax_element(trace.begin() + static_cast<std::ptrdiff_t>(from),
                                trace.begin() + static_cast<std::ptrdiff_t>(to));
        out.push_back({*low, *high});
        from = to;
    }
}

}  // namespace veruziva
