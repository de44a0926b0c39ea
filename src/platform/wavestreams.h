#pragma once

#include <map>
#include <memory>
#include <mutex>

#include "platform/waveinput.h"

namespace veruziva {

// The buffer rules every wave-input service keeps, whatever moves its frames (the simulated
// one included, so that what the tests see of it holds for the real ones).
// InvalidParameter for no memory or less than one frame of it.
int PrepareWaveHeader(WaveHeader& header);
// NoError when the header may be queued: prepared, and not queued already.
int QueueableWaveHeader(const WaveHeader& header);
int UnprepareWaveHeader(WaveHeader& header);
// Queued: empty, not done. Returned: done, its bytes visible to whoever sees the flag.
void MarkQueued(WaveHeader& header);
void MarkReturned(WaveHeader& header);
// Only whole frames are written: the frames that still fit after bytesRecorded. A buffer whose
// length is not a whole number of frames comes back with its tail unused.
std::uint32_t FramesFree(const WaveHeader& header);
// Counts frames written at data + bytesRecorded; true when no further frame fits, and the
// buffer is to be returned.
bool RecordFrames(WaveHeader& header, std::uint32_t frames);
// Holding any frame: what a stop, or a lost device, returns of the buffer being filled.
bool HoldsFrames(const WaveHeader& header);

// A service's open streams by handle. Stream needs addBuffer, start, stop, reset, queueEmpty
// and statistics; the service's calls on a handle go through `call`. The lock guards the table
// only: the program makes every call on a handle, its close included, from one thread, so a
// stream that `find` returns stays alive for the call that asked.
template <typename Stream>
class WaveStreams {
public:
    WaveInHandle reserve() {
        const std::lock_guard lock(m_mutex);
        return m_nextHandle++;
    }
    void insert(WaveInHandle handle, std::unique_ptr<Stream> stream) {
        const std::lock_guard lock(m_mutex);
        m_streams.emplace(handle, std::move(stream));
    }
    Stream* find(WaveInHandle handle) {
        const std::lock_guard lock(m_mutex);
        const auto it = m_streams.find(handle);
        return it == m_streams.end() ? nullptr : it->second.get();
    }
    // The stream's answer, or InvalidHandle.
    template <typename Call>
    int call(WaveInHandle handle, Call&& what) {
        Stream* stream = find(handle);
        return stream == nullptr ? wave::InvalidHandle : what(*stream);
    }
    int prepare(WaveInHandle handle, WaveHeader& header) {
        return find(handle) == nullptr ? wave::InvalidHandle : PrepareWaveHeader(header);
    }
    int add(WaveInHandle handle, WaveHeader& header) {
        return call(handle, [&header](Stream& stream) {
            const int queueable = QueueableWaveHeader(header);
            return queueable != wave::NoError ? queueable : stream.addBuffer(header);
        });
    }
    int unprepare(WaveInHandle handle, WaveHeader& header) {
        return find(handle) == nullptr ? wave::InvalidHandle : UnprepareWaveHeader(header);
    }
    // Closes a stream whose buffers have all been returned; the stream ends outside the lock.
    int close(WaveInHandle handle) {
        std::unique_ptr<Stream> closed;
        {
            const std::lock_guard lock(m_mutex);
            const auto it = m_streams.find(handle);
            if (it == m_streams.end()) {
                return wave::InvalidHandle;
            }
            if (!it->second->queueEmpty()) {
                return wave::StillRecording;
            }
            closed = std::move(it->second);
            m_streams.erase(it);
        }
        return wave::NoError;
    }
    std::optional<CaptureStatistics> statistics(WaveInHandle handle) {
        Stream* stream = find(handle);
        return stream == nullptr ? std::nullopt : std::optional(stream->statistics());
    }

private:
    std::mutex m_mutex;
    std::map<WaveInHandle, std::unique_ptr<Stream>> m_streams;
    WaveInHandle m_nextHandle = 1;
};

}  // namespace veruziva
