#include "scope/framering.h"

#include <algorithm>
#include <cassert>
#include <utility>

namespace veruziva {

namespace {

std::int64_t ChunkOf(std::int64_t frame) {
    return frame / FrameRing::ChunkFrames;
}

// Widens [low, high] to `count` raw samples.
// Copies, not the references: these may be samples too, and the loop would not be vectorised.
void Widen(const std::int16_t* samples, std::int64_t count, std::int16_t& low, std::int16_t& high) {
    std::int16_t least = low;
    std::int16_t most = high;
    for (std::int64_t n = 0; n < count; ++n) {
        least = std::min(least, samples[n]);
        most = std::max(most, samples[n]);
    }
    low = least;
    high = most;
}

}  // namespace

// Whole chunks: a chunk's frames never wrap round the storage.
FrameRing::FrameRing(std::int64_t capacity, std::int64_t first) : m_end(first) {
    const auto frames = static_cast<std::size_t>(
        (std::max<std::int64_t>(capacity, 1) + ChunkFrames - 1) / ChunkFrames * ChunkFrames);
    for (Channel& kept : m_channels) {
        kept.frames.resize(frames);
        kept.lows.resize(frames / ChunkFrames);
        kept.highs.resize(frames / ChunkFrames);
    }
}

void FrameRing::append(std::span<const StereoFrame> frames) {
    const auto size = static_cast<std::size_t>(capacity());
    if (frames.size() > size) {
        m_end += static_cast<std::int64_t>(frames.size() - size);
        frames = frames.last(size);
    }
    const std::int64_t from = m_end;
    std::size_t at = static_cast<std::size_t>(m_end % static_cast<std::int64_t>(size));
    std::int16_t* a = m_channels[0].frames.data();
    std::int16_t* b = m_channels[1].frames.data();
    while (!frames.empty()) {
        const std::size_t part = std::min(frames.size(), size - at);
        for (std::size_t n = 0; n < part; ++n) {
            a[at + n] = frames[n].a;
            b[at + n] = frames[n].b;
        }
        frames = frames.subspan(part);
        m_end += static_cast<std::int64_t>(part);
        m_kept = std::min(size, m_kept + part);
        at = 0;
    }
    for (std::int64_t chunk = ChunkOf(from); chunk <= ChunkOf(m_end - 1); ++chunk) {
        summarize(chunk);
    }
}

void FrameRing::summarize(std::int64_t chunk) {
    const std::int64_t first = std::max(chunk * ChunkFrames, begin());
    const std::int64_t last = std::min((chunk + 1) * ChunkFrames, m_end);
    if (first >= last) {
        return;
    }
    const auto at = static_cast<std::size_t>(first % capacity());
    for (Channel& kept : m_channels) {
        const auto slot = static_cast<std::size_t>(chunk % std::int64_t(kept.lows.size()));
        kept.lows[slot] = kept.frames[at];
        kept.highs[slot] = kept.frames[at];
        Widen(&kept.frames[at], last - first, kept.lows[slot], kept.highs[slot]);
    }
}

void FrameRing::copy(std::int64_t first, std::size_t count, float* a, float* b) const {
    assert(first >= begin() && first + static_cast<std::int64_t>(count) <= m_end);
    const auto size = static_cast<std::size_t>(capacity());
    std::size_t at = static_cast<std::size_t>(first % static_cast<std::int64_t>(size));
    while (count > 0) {
        const std::size_t part = std::min(count, size - at);
        std::copy_n(&m_channels[0].frames[at], part, a);
        std::copy_n(&m_channels[1].frames[at], part, b);
        a += part;
        b += part;
        count -= part;
        at = 0;
    }
}

MinMax FrameRing::extremes(ScopeChannel which, std::int64_t first, std::int64_t count) const {
    assert(count > 0 && first >= begin() && first + count <= m_end);
    const Channel& kept = channel(which);
    const std::int64_t end = first + count;
    // The frames up to the first chunk boundary and from the last one one by one, whole chunks
    // between them by their extremes; a chunk kept in part lies at an end and is never whole.
    const std::int64_t whole = ChunkOf(first + ChunkFrames - 1);
    const std::int64_t wholeEnd = std::max(whole, ChunkOf(end));
    const std::int64_t headEnd = std::min(end, whole * ChunkFrames);
    const std::int64_t tail = std::max(headEnd, wholeEnd * ChunkFrames);
    std::int16_t low = kept.frames[static_cast<std::size_t>(first % capacity())];
    std::int16_t high = low;
    for (const auto& [from, to] : {std::pair(first, headEnd), std::pair(tail, end)}) {
        if (from < to) {
            Widen(&kept.frames[static_cast<std::size_t>(from % capacity())], to - from, low, high);
        }
    }
    // The whole chunks' slots in at most two runs, where they wrap round.
    const auto slots = static_cast<std::int64_t>(kept.lows.size());
    std::int64_t slot = whole % slots;
    for (std::int64_t left = wholeEnd - whole; left > 0;) {
        const std::int64_t run = std::min(left, slots - slot);
        const auto at = static_cast<std::size_t>(slot);
        low = std::min(low, *std::min_element(&kept.lows[at], &kept.lows[at] + run));
        high = std::max(high, *std::max_element(&kept.highs[at], &kept.highs[at] + run));
        left -= run;
        slot = 0;
    }
    return {float(low), float(high)};
}

std::size_t FrameRing::memoryBytes() const {
    std::size_t bytes = 0;
    for (const Channel& kept : m_channels) {
        bytes += (kept.frames.capacity() + kept.lows.capacity() + kept.highs.capacity()) *
                 sizeof(std::int16_t);
    }
    return bytes;
}

}  // namespace veruziva
