#include "scope/framering.h"

#include <algorithm>
#include <cassert>
#include <utility>

namespace veruziva {

namespace {

std::int64_t ChunkOf(std::int64_t frame) {
    return frame / FrameRing::ChunkFrames;
}

// The extremes of raw samples, count > 0.
MinMax Extremes(const std::int16_t* samples, std::int64_t count) {
    std::int16_t low = samples[0];
    std::int16_t high = low;
    for (std::int64_t n = 1; n < count; ++n) {
        low = std::min(low, samples[n]);
        high = std::max(high, samples[n]);
    }
    return {float(low), float(high)};
}

}  // namespace

// Whole chunks: a chunk's frames never wrap round the storage.
FrameRing::FrameRing(std::int64_t capacity, std::int64_t first)
    : m_a(static_cast<std::size_t>((std::max<std::int64_t>(capacity, 1) + ChunkFrames - 1) /
                                   ChunkFrames * ChunkFrames)),
      m_b(m_a.size()),
      m_chunksA(m_a.size() / ChunkFrames),
      m_chunksB(m_chunksA.size()),
      m_end(first) {}

void FrameRing::append(std::span<const StereoFrame> frames) {
    const std::size_t size = m_a.size();
    if (frames.size() > size) {
        m_end += static_cast<std::int64_t>(frames.size() - size);
        frames = frames.last(size);
    }
    const std::int64_t from = m_end;
    std::size_t at = static_cast<std::size_t>(m_end % static_cast<std::int64_t>(size));
    while (!frames.empty()) {
        const std::size_t part = std::min(frames.size(), size - at);
        for (std::size_t n = 0; n < part; ++n) {
            m_a[at + n] = frames[n].a;
            m_b[at + n] = frames[n].b;
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
    const auto slot = static_cast<std::size_t>(chunk % static_cast<std::int64_t>(m_chunksA.size()));
    const MinMax a = Extremes(&m_a[at], last - first);
    const MinMax b = Extremes(&m_b[at], last - first);
    m_chunksA[slot] = {static_cast<std::int16_t>(a.min), static_cast<std::int16_t>(a.max)};
    m_chunksB[slot] = {static_cast<std::int16_t>(b.min), static_cast<std::int16_t>(b.max)};
}

void FrameRing::copy(std::int64_t first, std::size_t count, float* a, float* b) const {
    assert(first >= begin() && first + static_cast<std::int64_t>(count) <= m_end);
    const std::size_t size = m_a.size();
    std::size_t at = static_cast<std::size_t>(first % static_cast<std::int64_t>(size));
    while (count > 0) {
        const std::size_t part = std::min(count, size - at);
        std::copy_n(&m_a[at], part, a);
        std::copy_n(&m_b[at], part, b);
        a += part;
        b += part;
        count -= part;
        at = 0;
    }
}

MinMax FrameRing::extremes(ScopeChannel channel, std::int64_t first, std::int64_t count) const {
    assert(count > 0 && first >= begin() && first + count <= m_end);
    const std::vector<std::int16_t>& frames = channel == ScopeChannel::A ? m_a : m_b;
    const std::vector<Chunk>& chunks = channel == ScopeChannel::A ? m_chunksA : m_chunksB;
    const std::int64_t end = first + count;
    // The frames up to the first chunk boundary and from the last one one by one, whole chunks
    // between them by their extremes; a chunk kept in part lies at an end and is never whole.
    std::int64_t whole = ChunkOf(first + ChunkFrames - 1);
    const std::int64_t wholeEnd = std::max(whole, ChunkOf(end));
    const std::int64_t headEnd = std::min(end, whole * ChunkFrames);
    const std::int64_t tail = std::max(headEnd, wholeEnd * ChunkFrames);
    MinMax out{32767.0F, -32768.0F};
    const auto widen = [&out](MinMax more) {
        out.min = std::min(out.min, more.min);
        out.max = std::max(out.max, more.max);
    };
    for (const auto& [from, to] : {std::pair(first, headEnd), std::pair(tail, end)}) {
        if (from < to) {
            widen(Extremes(&frames[static_cast<std::size_t>(from % capacity())], to - from));
        }
    }
    const auto slots = static_cast<std::int64_t>(chunks.size());
    for (; whole < wholeEnd; ++whole) {
        const Chunk& chunk = chunks[static_cast<std::size_t>(whole % slots)];
        widen({float(chunk.min), float(chunk.max)});
    }
    return out;
}

std::size_t FrameRing::memoryBytes() const {
    return (m_a.capacity() + m_b.capacity()) * sizeof(std::int16_t) +
           (m_chunksA.capacity() + m_chunksB.capacity()) * sizeof(Chunk);
}

}  // namespace veruziva
