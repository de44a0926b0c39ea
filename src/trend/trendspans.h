#pragma once

#include <QString>
#include <array>
#include <cstdint>

namespace veruziva {

// The spans the trend chart shows, shortest first.
inline constexpr std::array<std::int64_t, 9> TrendSpansMs = {
    60'000, 300'000, 900'000, 1'800'000, 3'600'000, 7'200'000, 21'600'000, 43'200'000, 86'400'000};

// "1 min", "30 min", "1 h", "24 h".
QString TrendSpanText(std::int64_t spanMs);

}  // namespace veruziva
