#include "measurement/levelsums.h"

#include <algorithm>

namespace veruziva::detail {

std::array<ChannelLevels, 2> LevelSums::finish() const {
    std::array<ChannelLevels, 2> levels = m_single;
#if defined(__SSE2__)
    alignas(16) std::array<std::int16_t, 8> maximum{};
    alignas(16) std::array<std::int16_t, 8> minimum{};
    alignas(16) std::array<std::int32_t, 4> sums{};
    alignas(16) std::array<std::uint64_t, 2> squaresA{};
    alignas(16) std::array<std::uint64_t, 2> squaresB{};
    _mm_store_si128(reinterpret_cast<__m128i*>(maximum.data()), m_maximum);
    _mm_store_si128(reinterpret_cast<__m128i*>(minimum.data()), m_minimum);
    _mm_store_si128(reinterpret_cast<__m128i*>(sums.data()), m_sums);
    _mm_store_si128(reinterpret_cast<__m128i*>(squaresA.data()), m_squaresA);
    _mm_store_si128(reinterpret_cast<__m128i*>(squaresB.data()), m_squaresB);
    for (std::size_t c = 0; c < 2; ++c) {
        ChannelLevels& channel = levels[c];
        for (std::size_t lane = 4 * c; lane < 4 * c + 4; ++lane) {
            channel.maximum = std::max<std::int32_t>(channel.maximum, maximum[lane]);
            channel.minimum = std::min<std::int32_t>(channel.minimum, minimum[lane]);
        }
        channel.sum += std::int64_t{sums[2 * c]} + sums[2 * c + 1];
        const auto& squares = c == 0 ? squaresA : squaresB;
        channel.sumOfSquares += static_cast<std::int64_t>(squares[0] + squares[1]);
    }
#endif
    return levels;
}

}  // namespace veruziva::detail
