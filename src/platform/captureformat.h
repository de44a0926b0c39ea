#pragma once

#include <cstdint>

namespace veruziva {

// The one capture format of the instrument: 16-bit stereo at 44100 frames per second,
// in blocks of 4096 frames. Everything sized by the capture derives from these values.
inline constexpr std::uint8_t BufferBlocks = 8;  // block length in units of 512 frames
inline constexpr std::uint8_t BufferCount = 2;   // slots in the capture ring
inline constexpr std::uint8_t Channels = 2;      // left = channel A, right = channel B
inline constexpr std::uint8_t BytesPerSample = 2;
inline constexpr std::uint16_t SampleRate = 44100;
inline constexpr std::int32_t FramesPerBuffer = BufferBlocks * 512;
inline constexpr std::int32_t BufferBytes = Channels * BytesPerSample * FramesPerBuffer;
inline constexpr std::int32_t BytesPerFrame = Channels * BytesPerSample;
inline constexpr std::int32_t BytesPerSecond = SampleRate * BytesPerFrame;

// One stereo frame as it lies in a capture buffer and in a WAV file (little-endian):
// channel A's signed sample in the low half, channel B's in the high half.
struct StereoFrame {
    std::int16_t a = 0;
    std::int16_t b = 0;
};
static_assert(sizeof(StereoFrame) == 4, "a stereo frame is 32 bits");

}  // namespace veruziva
