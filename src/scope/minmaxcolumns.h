#pragma once

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

}  // namespace veruziva
