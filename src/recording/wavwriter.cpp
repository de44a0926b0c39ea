#include "recording/wavwriter.h"

#include <algorithm>
#include <cstring>

#include "platform/captureformat.h"
#include "platform/runtimeerror.h"

namespace veruziva {
namespace {

constexpr std::uint64_t WavHeaderSize = 44;

void Put32(std::uint8_t* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

void Put16(std::uint8_t* at, std::uint16_t value) {
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}

}  // namespace

std::array<std::uint8_t, 44> WavHeader(std::uint32_t dataSize) {
    std::array<std::uint8_t, 44> header{};
    std::memcpy(header.data(), "RIFF", 4);
    Put32(header.data() + 4, dataSize + 36);
    std::memcpy(header.data() + 8, "WAVE", 4);
    std::memcpy(header.data() + 12, "fmt ", 4);
    Put32(header.data() + 16, 16);
    Put16(header.data() + 20, 1);
    Put16(header.data() + 22, Channels);
    Put32(header.data() + 24, SampleRate);
    Put32(header.data() + 28, static_cast<std::uint32_t>(BytesPerSecond));
    Put16(header.data() + 32, static_cast<std::uint16_t>(BytesPerFrame));
    Put16(header.data() + 34, static_cast<std::uint16_t>(BytesPerSample * 8));
    std::memcpy(header.data() + 36, "data", 4);
    Put32(header.data() + 40, dataSize);
    return header;
}

void WavWriter::create(const QString& path, std::uint32_t plannedSize) {
    m_planned = plannedSize;
    m_saved = 0;
    m_file.create(path);
    const auto header = WavHeader(plannedSize);
    m_file.write(header.data(), header.size());
}

std::uint32_t WavWriter::append(std::span<const std::byte> bytes) {
    // Never past the planned size, and whole frames only.
    std::uint32_t count =
        static_cast<std::uint32_t>(std::min<std::size_t>(bytes.size(), m_planned - m_saved));
    count -= count % static_cast<std::uint32_t>(BytesPerFrame);
    if (count == 0) {
        return 0;
    }
    try {
        m_file.write(bytes.data(), count);
    } catch (const RuntimeError&) {
        // What reached the file before the failure, in whole frames, is what it keeps.
        const std::uint64_t data = m_file.written() - WavHeaderSize;
        m_saved =
            static_cast<std::uint32_t>(data - data % static_cast<std::uint64_t>(BytesPerFrame));
        throw;
    }
    m_saved += count;
    return count;
}

void WavWriter::close() {
    if (!m_file.isOpen()) {
        return;
    }
    if (m_saved != m_planned) {
        // Ended early: the header tells the truth about what the file holds, and the file
        // holds nothing beyond it.
        if (m_file.written() != WavHeaderSize + m_saved) {
            m_file.truncate(WavHeaderSize + m_saved);
        }
        const auto header = WavHeader(m_saved);
        m_file.writeAt(0, header.data(), header.size());
    }
    m_file.close();
}

}  // namespace veruziva
