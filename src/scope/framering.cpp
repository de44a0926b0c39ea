#include "scope/framering.h"

#include <algorithm>
#include <cassert>

namespace veruziva {

FrameRing::FrameRing(std::int64_t capacity) : m_frames(static_cast<std::size_t>(capacity)) {}

void FrameRing::append(std::span<const StereoFrame> frames) {
    const std::size_t size = m_frames.size();
    if (frames.size() > size) {
        m_end += static_cast<std::int64_t>(frames.size() - size);
        frames = frames.last(size);
    }
    std::size_t at = static_cast<std::size_t>(m_end % static_cast<std::int64_t>(size));
    while (!frames.empty()) {
        const std::size_t part = std::min(frames.size(), size - at);
        std::copy_n(frames.begin(), part, m_frames.begin() + static_cast<std::ptrdiff_t>(at));
        frames = frames.subspan(part);
        m_end += static_cast<std::int64_t>(part);
        m_kept = std::min(size, m_kept + part);
        at = 0;
    }
}

void FrameRing::copy(std::int64_t first, std::size_t count, float* a, float* b) const {
    assert(first >= begin() && first + static_cast<std::int64_t>(count) <= m_end);
    const std::size_t size = m_frames.size();
    std::size_t at = static_cast<std::size_t>(first % static_cast<std::int64_t>(size));
    while (count > 0) {
        const std::size_t part = std::min(count, size - at);
        for (std::size_t n = 0; n < part; ++n) {
            a[n] = m_frames[at + n].a;
            b[n] = m_frames[at + n].b;
        }
        a += part;
        b += part;
        count -= part;
        at = 0;
    }
}

}  // namespace veruziva
