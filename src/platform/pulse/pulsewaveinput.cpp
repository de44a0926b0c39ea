#include "platform/pulse/pulsewaveinput.h"

#include <pulse/pulseaudio.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <deque>

#include "platform/captureformat.h"
#include "platform/wavestreams.h"

namespace veruziva::pulse {
namespace {

// Wakes the caller waiting for a stream operation.
void OnStreamOperation(pa_stream*, int, void* mainloop) {
    pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(mainloop), 0);
}

double ThreadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

}  // namespace

// One record stream. Its callbacks run on the connection's thread with the mainloop locked;
// the program's calls take the same lock, so the queue needs no lock of its own.
class PulseWaveInput::Stream {
public:
    Stream(std::shared_ptr<PulseConnection> connection, WaveInHandle handle, WaveInNotify notify)
        : m_connection(std::move(connection)), m_handle(handle), m_notify(std::move(notify)) {}

    ~Stream() {
        if (m_stream == nullptr) {
            return;
        }
        MainloopLock lock(m_connection->mainloop());
        pa_stream_set_state_callback(m_stream, nullptr, nullptr);
        pa_stream_set_read_callback(m_stream, nullptr, nullptr);
        pa_stream_disconnect(m_stream);
        pa_stream_unref(m_stream);
    }

    // Connects the stream to the source, corked; a wave-input result.
    int connect(const std::string& source) {
        MainloopLock lock(m_connection->mainloop());
        const pa_sample_spec format{PA_SAMPLE_S16LE, SampleRate, Channels};
        pa_channel_map map;
        pa_channel_map_init_stereo(&map);
        pa_proplist* properties = pa_proplist_new();
        pa_proplist_sets(properties, PA_PROP_MEDIA_ROLE, "production");
        m_stream = pa_stream_new_with_proplist(m_connection->context(), "Measurement input",
                                               &format, &map, properties);
        pa_proplist_free(properties);
        if (m_stream == nullptr) {
            return wave::NoMemory;
        }
        pa_stream_set_state_callback(m_stream, OnState, this);
        pa_stream_set_read_callback(m_stream, OnRead, this);
        pa_buffer_attr attributes;
        attributes.maxlength = static_cast<std::uint32_t>(-1);
        attributes.tlength = static_cast<std::uint32_t>(-1);
        attributes.prebuf = static_cast<std::uint32_t>(-1);
        attributes.minreq = static_cast<std::uint32_t>(-1);
        attributes.fragsize = BufferBytes;  // one wake-up per block
        // Tied to this source: never moved to another one when it goes away.
        const auto flags = static_cast<pa_stream_flags_t>(
            PA_STREAM_START_CORKED | PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);
        if (pa_stream_connect_record(m_stream, source.c_str(), &attributes, flags) < 0) {
            return wave::Error;
        }
        m_connection->waitUntil([this] {
            const pa_stream_state_t now = pa_stream_get_state(m_stream);
            return now != PA_STREAM_CREATING && now != PA_STREAM_UNCONNECTED;
        });
        const pa_stream_state_t state = pa_stream_get_state(m_stream);
        if (state == PA_STREAM_CREATING || state == PA_STREAM_UNCONNECTED) {
            return wave::NotEnabled;  // the server did not answer in time
        }
        if (state != PA_STREAM_READY) {
            return pa_context_errno(m_connection->context()) == PA_ERR_NOENTITY ? wave::BadDeviceId
                                                                                : wave::NotEnabled;
        }
        m_connected = true;
        return wave::NoError;
    }

    int addBuffer(WaveHeader& header) {
        MainloopLock lock(m_connection->mainloop());
        MarkQueued(header);
        m_queue.push_back(&header);
        drain();  // frames may be waiting for a buffer
        return wave::NoError;
    }

    int start() {
        MainloopLock lock(m_connection->mainloop());
        if (m_lost) {
            return wave::DeviceLost;
        }
        if (!m_running) {
            m_running = true;
            if (!cork(false)) {
                loseDevice();
                return wave::DeviceLost;
            }
            drain();
        }
        return wave::NoError;
    }

    int stop() {
        MainloopLock lock(m_connection->mainloop());
        halt();
        if (!m_queue.empty() && HoldsFrames(*m_queue.front())) {
            returnHead();
        }
        return wave::NoError;
    }

    int reset() {
        MainloopLock lock(m_connection->mainloop());
        halt();
        while (!m_queue.empty()) {
            returnHead();
        }
        return wave::NoError;
    }

    bool queueEmpty() {
        MainloopLock lock(m_connection->mainloop());
        return m_queue.empty();
    }

    CaptureStatistics statistics() const {
        return {m_framesCaptured.load(), m_overruns.load(), m_cpuSeconds.load()};
    }

private:
    static void OnState(pa_stream* stream, void* userdata) {
        auto* self = static_cast<Stream*>(userdata);
        const pa_stream_state_t state = pa_stream_get_state(stream);
        if (self->m_connected && (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED)) {
            self->loseDevice();
        }
        pa_threaded_mainloop_signal(self->m_connection->mainloop(), 0);
    }

    static void OnRead(pa_stream*, std::size_t, void* userdata) {
        auto* self = static_cast<Stream*>(userdata);
        self->drain();
        self->m_cpuSeconds.store(ThreadCpuSeconds());
    }

    // Corks or uncorks and waits for the server; false when the stream has broken.
    bool cork(bool corked) {
        return m_connection->wait(
            pa_stream_cork(m_stream, corked ? 1 : 0, OnStreamOperation, m_connection->mainloop()));
    }

    // Stops the flow: nothing captured while stopped reaches a buffer, and the next start
    // begins with fresh frames. A server that does not answer in time loses the device.
    void halt() {
        if (!m_running) {
            return;
        }
        m_running = false;
        if (!m_lost &&
            (!cork(true) || !m_connection->wait(pa_stream_flush(m_stream, OnStreamOperation,
                                                                m_connection->mainloop())))) {
            loseDevice();
        }
        m_carry.clear();
        m_carryOffset = 0;
    }

    // Moves what the stream holds into the queued buffers, in order, until one or the other
    // runs out; what is left of a fragment waits in the carry for the next buffer.
    void drain() {
        while (m_running && !m_lost && !m_queue.empty()) {
            WaveHeader* head = m_queue.front();
            if (m_carryOffset < m_carry.size()) {
                const std::size_t moved =
                    fill(*head, m_carry.data() + m_carryOffset, m_carry.size() - m_carryOffset);
                m_carryOffset += moved;
                // Less than a frame left (the server sends whole ones) would never move.
                if (m_carryOffset == m_carry.size() || moved == 0) {
                    m_carry.clear();
                    m_carryOffset = 0;
                }
            } else {
                const void* data = nullptr;
                std::size_t bytes = 0;
                if (pa_stream_peek(m_stream, &data, &bytes) < 0) {
                    loseDevice();
                    return;
                }
                if (bytes == 0) {
                    return;  // nothing more for now
                }
                if (data == nullptr) {
                    // A gap the server reports in the stream: its length in silence, counted.
                    m_carry.assign(bytes, std::byte{0});
                    m_overruns += 1;
                } else {
                    const auto* frames = static_cast<const std::byte*>(data);
                    const std::size_t moved = fill(*head, frames, bytes);
                    m_carry.assign(frames + moved, frames + bytes);
                }
                m_carryOffset = 0;
                pa_stream_drop(m_stream);
            }
            if (FramesFree(*head) == 0) {
                returnHead();
            }
        }
    }

    // Whole frames only: the server's fragments are, and what is left waits in the carry.
    std::size_t fill(WaveHeader& header, const std::byte* data, std::size_t bytes) {
        const std::uint32_t recorded = header.bytesRecorded.load(std::memory_order_relaxed);
        const std::size_t frames = std::min<std::size_t>(bytes / BytesPerFrame, FramesFree(header));
        std::memcpy(header.data + recorded, data, frames * BytesPerFrame);
        RecordFrames(header, static_cast<std::uint32_t>(frames));
        m_framesCaptured += frames;
        return frames * BytesPerFrame;
    }

    void loseDevice() {
        if (m_lost) {
            return;
        }
        if (!m_queue.empty() && HoldsFrames(*m_queue.front())) {
            returnHead();
        }
        m_lost = true;
        m_running = false;
        send(WaveInEvent::DeviceLost);
    }

    // Marks the head of the queue done and takes it off.
    void returnHead() {
        WaveHeader* header = m_queue.front();
        m_queue.pop_front();
        MarkReturned(*header);
        send(WaveInEvent::BufferDone);
    }

    void send(WaveInEvent event) {
        if (m_notify) {
            m_notify(m_handle, event);
        }
    }

    std::shared_ptr<PulseConnection> m_connection;
    WaveInHandle m_handle;
    WaveInNotify m_notify;
    pa_stream* m_stream = nullptr;
    bool m_connected = false;
    bool m_running = false;
    bool m_lost = false;
    std::deque<WaveHeader*> m_queue;
    std::vector<std::byte> m_carry;
    std::size_t m_carryOffset = 0;
    std::atomic<std::uint64_t> m_framesCaptured{0};
    std::atomic<std::uint64_t> m_overruns{0};
    std::atomic<double> m_cpuSeconds{0.0};
};

PulseWaveInput::PulseWaveInput(std::shared_ptr<SoundServer> server) : m_server(std::move(server)) {}

PulseWaveInput::~PulseWaveInput() = default;

unsigned PulseWaveInput::deviceCount() {
    return static_cast<unsigned>(m_server->sources().size());
}

int PulseWaveInput::deviceCaps(unsigned device, WaveInCaps& caps) {
    const std::vector<ListedSource>& sources = m_server->sources();
    if (device >= sources.size()) {
        return wave::BadDeviceId;
    }
    caps.productName = sources[device].deviceName;
    caps.systemName = sources[device].sourceName;
    caps.identity = sources[device].sourceName;  // the position tag may change, the name does not
    return wave::NoError;
}

int PulseWaveInput::open(WaveInHandle& handle, unsigned device, const WaveFormat& format,
                         WaveInNotify notify) {
    if (format.formatTag != 1 || format.channels != Channels ||
        format.samplesPerSecond != SampleRate || format.bitsPerSample != 16) {
        return wave::BadFormat;
    }
    const std::vector<ListedSource>& sources = m_server->sources();
    if (device >= sources.size()) {
        return wave::BadDeviceId;
    }
    std::shared_ptr<PulseConnection> connection = m_server->connection();
    if (!connection) {
        return wave::NotEnabled;  // the server has gone away
    }
    const WaveInHandle opened = m_streams.reserve();
    auto stream = std::make_unique<Stream>(std::move(connection), opened, std::move(notify));
    if (const int result = stream->connect(sources[device].sourceName); result != wave::NoError) {
        return result;
    }
    handle = opened;
    m_streams.insert(handle, std::move(stream));
    return wave::NoError;
}

int PulseWaveInput::prepareHeader(WaveInHandle handle, WaveHeader& header) {
    return m_streams.prepare(handle, header);
}

int PulseWaveInput::addBuffer(WaveInHandle handle, WaveHeader& header) {
    return m_streams.add(handle, header);
}

int PulseWaveInput::unprepareHeader(WaveInHandle handle, WaveHeader& header) {
    return m_streams.unprepare(handle, header);
}

int PulseWaveInput::start(WaveInHandle handle) {
    return m_streams.call(handle, [](Stream& stream) { return stream.start(); });
}

int PulseWaveInput::stop(WaveInHandle handle) {
    return m_streams.call(handle, [](Stream& stream) { return stream.stop(); });
}

int PulseWaveInput::reset(WaveInHandle handle) {
    return m_streams.call(handle, [](Stream& stream) { return stream.reset(); });
}

int PulseWaveInput::close(WaveInHandle handle) {
    return m_streams.close(handle);
}

std::optional<CaptureStatistics> PulseWaveInput::statistics(WaveInHandle handle) {
    return m_streams.statistics(handle);
}

}  // namespace veruziva::pulse
