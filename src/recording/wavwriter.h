#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <span>

#include "base/outputfile.h"

namespace veruziva {

// The 44-byte header of a RIFF/WAVE PCM file of the capture format, for a data size.
std::array<std::uint8_t, 44> WavHeader(std::uint32_t dataSize);

// A continual recording: the header for the planned size, then the raw blocks, cut at that
// size. When it is closed the header's sizes are made true to the bytes actually written.
class WavWriter {
public:
    void create(const QString& path, std::uint32_t plannedSize);
    // Appends what fits below the planned size; returns the bytes written.
    std::uint32_t append(std::span<const std::byte> bytes);
    void close();

    bool isOpen() const { return m_file.isOpen(); }
    std::uint32_t savedCount() const { return m_saved; }
    std::uint32_t plannedSize() const { return m_planned; }

private:
    OutputFile m_file;
    std::uint32_t m_planned = 0;
    std::uint32_t m_saved = 0;
};

}  // namespace veruziva
