#include "platform/wavestreams.h"

#include "platform/captureformat.h"

namespace veruziva {

int PrepareWaveHeader(WaveHeader& header) {
    if (header.data == nullptr || header.bufferLength < static_cast<std::uint32_t>(BytesPerFrame)) {
        return wave::InvalidParameter;
    }
    header.flags.fetch_or(WHDR_PREPARED, std::memory_order_relaxed);
    return wave::NoError;
}

int QueueableWaveHeader(const WaveHeader& header) {
    const std::uint32_t flags = header.flags.load(std::memory_order_acquire);
    if ((flags & WHDR_PREPARED) == 0) {
        return wave::Unprepared;
    }
    return (flags & WHDR_INQUEUE) != 0 ? wave::StillRecording : wave::NoError;
}

int UnprepareWaveHeader(WaveHeader& header) {
    if ((header.flags.load(std::memory_order_acquire) & WHDR_INQUEUE) != 0) {
        return wave::StillRecording;
    }
    header.flags.fetch_and(~WHDR_PREPARED, std::memory_order_relaxed);
    return wave::NoError;
}

void MarkQueued(WaveHeader& header) {
    header.bytesRecorded.store(0, std::memory_order_relaxed);
    header.flags.store((header.flags.load(std::memory_order_relaxed) & ~WHDR_DONE) | WHDR_INQUEUE,
                       std::memory_order_relaxed);
}

void MarkReturned(WaveHeader& header) {
    const std::uint32_t flags = header.flags.load(std::memory_order_relaxed);
    header.flags.store((flags & ~WHDR_INQUEUE) | WHDR_DONE, std::memory_order_release);
}

std::uint32_t FramesFree(const WaveHeader& header) {
    const std::uint32_t recorded = header.bytesRecorded.load(std::memory_order_relaxed);
    return recorded >= header.bufferLength
               ? 0
               : (header.bufferLength - recorded) / static_cast<std::uint32_t>(BytesPerFrame);
}

bool RecordFrames(WaveHeader& header, std::uint32_t frames) {
    header.bytesRecorded.fetch_add(frames * static_cast<std::uint32_t>(BytesPerFrame),
                                   std::memory_order_relaxed);
    return FramesFree(header) == 0;
}

bool HoldsFrames(const WaveHeader& header) {
    return header.bytesRecorded.load(std::memory_order_relaxed) > 0;
}

}  // namespace veruziva
