#pragma once

#include <array>
#include <cstdint>

#include "platform/captureformat.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace veruziva::detail {

// A channel's levels over a block: its extremes (the samples' own: a block of positive samples
// has a minimum above 0), and the sum and the sum of squares of its samples (exact: at most
// 2^27 and 2^42 for 4096 frames).
struct ChannelLevels {
    std::int32_t maximum = 0;
    std::int32_t minimum = 0;
    std::int64_t sum = 0;
    std::int64_t sumOfSquares = 0;
};

// The levels of both channels, taken four frames at a time with SSE2 where there is SSE2:
// extremes, sums and squares cost less that way than the extremes alone did one sample at a
// time, so true RMS comes for nothing within the one pass over the block.
class LevelSums {
public:
    // The extremes start at the block's first frame, one of its samples.
    explicit LevelSums(StereoFrame first) {
        for (std::size_t c = 0; c < 2; ++c) {
            const std::int32_t x = c == 0 ? first.a : first.b;
            m_single[c].maximum = x;
            m_single[c].minimum = x;
        }
#if defined(__SSE2__)
        m_maximum =
            _mm_set_epi16(first.b, first.b, first.b, first.b, first.a, first.a, first.a, first.a);
        m_minimum = m_maximum;
#endif
    }

    void addFour(const StereoFrame* frames) {
#if defined(__SSE2__)
        // a0 b0 a1 b1 a2 b2 a3 b3 -> a0 a1 a2 a3 b0 b1 b2 b3
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(frames));
        v = _mm_shufflelo_epi16(v, _MM_SHUFFLE(3, 1, 2, 0));
        v = _mm_shufflehi_epi16(v, _MM_SHUFFLE(3, 1, 2, 0));
        v = _mm_shuffle_epi32(v, _MM_SHUFFLE(3, 1, 2, 0));
        m_maximum = _mm_max_epi16(m_maximum, v);
        m_minimum = _mm_min_epi16(m_minimum, v);
        m_sums = _mm_add_epi32(m_sums, _mm_madd_epi16(v, _mm_set1_epi16(1)));
        // Two squares make at most 2^31: right as unsigned, widened before they add up.
        const __m128i squares = _mm_madd_epi16(v, v);
        m_squaresA = _mm_add_epi64(m_squaresA, _mm_unpacklo_epi32(squares, _mm_setzero_si128()));
        m_squaresB = _mm_add_epi64(m_squaresB, _mm_unpackhi_epi32(squares, _mm_setzero_si128()));
#else
        for (int k = 0; k < 4; ++k) {
            addOne(frames[k]);
        }
#endif
    }

    void addOne(StereoFrame frame) {
        add(m_single[0], frame.a);
        add(m_single[1], frame.b);
    }

    std::array<ChannelLevels, 2> finish() const;

private:
    static void add(ChannelLevels& levels, std::int32_t x) {
        levels.maximum = x > levels.maximum ? x : levels.maximum;
        levels.minimum = x < levels.minimum ? x : levels.minimum;
        levels.sum += x;
        levels.sumOfSquares += std::int64_t{x} * x;
    }

    std::array<ChannelLevels, 2> m_single;  // the frames taken one at a time
#if defined(__SSE2__)
    __m128i m_maximum;  // 16-bit lanes: a a a a b b b b
    __m128i m_minimum;
    __m128i m_sums = _mm_setzero_si128();      // 32-bit lanes: a a b b
    __m128i m_squaresA = _mm_setzero_si128();  // 64-bit lanes
    __m128i m_squaresB = _mm_setzero_si128();
#endif
};

}  // namespace veruziva::detail
