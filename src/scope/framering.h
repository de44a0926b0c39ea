#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/captureformat.h"

namespace veruziva {

// The newest frames, a bounded number of them, each known by its index since the first.
class FrameRing {
public:
    explicit FrameRing(std::int64_t capacity);

    void append(std::span<const StereoFrame> frames);
    // The oldest frame kept and one past the newest.
    std::int64_t begin() const { return m_end - static_cast<std::int64_t>(m_kept); }
    std::int64_t end() const { return m_end; }
    std::int64_t capacity() const { return static_cast<std::int64_t>(m_frames.size()); }
    // Frames [first, first + count), all kept, into both channels' traces.
    void copy(std::int64_t first, std::size_t count, float* a, float* b) const;

private:
    std::vector<StereoFrame> m_frames;
    std::int64_t m_end = 0;
    std::size_t m_kept = 0;
};

}  // namespace veruziva
