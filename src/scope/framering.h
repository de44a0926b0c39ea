#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/captureformat.h"
#include "scope/minmaxcolumns.h"
#include "scope/triggerdetector.h"

namespace veruziva {

// The newest frames, a bounded number of them, each known by its index since the first. Each
// channel apart, with the least and greatest of every chunk of frames beside them, so that a
// long span's columns need not look at every frame.
class FrameRing {
public:
    // Frames a chunk's extremes cover.
    static constexpr std::int64_t ChunkFrames = 64;

    // Room for `capacity` frames at least; the first frame appended has index `first`.
    explicit FrameRing(std::int64_t capacity = 0, std::int64_t first = 0);

    void append(std::span<const StereoFrame> frames);
    // The oldest frame kept and one past the newest.
    std::int64_t begin() const { return m_end - static_cast<std::int64_t>(m_kept); }
    std::int64_t end() const { return m_end; }
    std::int64_t capacity() const { return static_cast<std::int64_t>(m_channels[0].frames.size()); }
    // Frames [first, first + count), all kept, into both channels' traces.
    void copy(std::int64_t first, std::size_t count, float* a, float* b) const;
    // The least and greatest of a channel's frames [first, first + count), all kept, count > 0.
    MinMax extremes(ScopeChannel channel, std::int64_t first, std::int64_t count) const;
    std::size_t memoryBytes() const;

private:
    // A channel's frames and its chunks' extremes, by index modulo their count.
    struct Channel {
        std::vector<std::int16_t> frames;
        std::vector<std::int16_t> lows;
        std::vector<std::int16_t> highs;
    };
    const Channel& channel(ScopeChannel which) const {
        return m_channels[which == ScopeChannel::A ? 0 : 1];
    }
    // Its extremes anew from the frames of it kept.
    void summarize(std::int64_t chunk);

    std::array<Channel, 2> m_channels;
    std::int64_t m_end = 0;
    std::size_t m_kept = 0;
};

}  // namespace veruziva
