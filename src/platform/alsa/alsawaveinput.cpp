#include "platform/alsa/alsawaveinput.h"

#include <alsa/asoundlib.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <thread>

#include "platform/captureformat.h"
#include "platform/wavestreams.h"

namespace veruziva::alsa {
namespace {

constexpr snd_pcm_uframes_t PeriodFrames = 1024;
constexpr snd_pcm_uframes_t BufferFrames = 8192;  // about 186 ms in ALSA's own ring

int OpenResult(int error) {
    switch (error) {
        case -ENOENT:
        case -ENODEV:
        case -ENXIO:
            return wave::BadDeviceId;
        case -EBUSY:
            return wave::Allocated;
        case -ENOMEM:
            return wave::NoMemory;
        case -EINVAL:
            return wave::BadFormat;
        default:
            return wave::Error;
    }
}

bool MeansLost(int error) {
    return error == -ENODEV || error == -ENOTTY || error == -EBADFD || error == -EIO;
}

double ThreadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

int Configure(snd_pcm_t* pcm) {
    snd_pcm_hw_params_t* hw = nullptr;
    snd_pcm_hw_params_alloca(&hw);
    unsigned rate = SampleRate;
    snd_pcm_uframes_t period = PeriodFrames;
    snd_pcm_uframes_t buffer = BufferFrames;
    if (snd_pcm_hw_params_any(pcm, hw) < 0 ||
        snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED) < 0 ||
        snd_pcm_hw_params_set_format(pcm, hw, SND_PCM_FORMAT_S16_LE) < 0 ||
        snd_pcm_hw_params_set_channels(pcm, hw, Channels) < 0 ||
        snd_pcm_hw_params_set_rate(pcm, hw, rate, 0) < 0) {
        return wave::BadFormat;
    }
    snd_pcm_hw_params_set_period_size_near(pcm, hw, &period, nullptr);
    snd_pcm_hw_params_set_buffer_size_near(pcm, hw, &buffer);
    if (snd_pcm_hw_params(pcm, hw) < 0) {
        return wave::BadFormat;
    }
    return wave::NoError;
}

}  // namespace

// One open device and its capture thread. Every PCM call happens on that thread; the program's
// thread hands it buffers and commands and waits for each command to be carried out.
class AlsaWaveInput::Stream {
public:
    Stream(snd_pcm_t* pcm, int wakeFd, WaveInHandle handle, WaveInNotify notify)
        : m_pcm(pcm), m_wakeFd(wakeFd), m_handle(handle), m_notify(std::move(notify)) {
        m_thread = std::thread([this] { run(); });
    }

    ~Stream() {
        command(Command::Close);
        m_thread.join();
        snd_pcm_close(m_pcm);
        ::close(m_wakeFd);
    }

    int addBuffer(WaveHeader& header) {
        const std::lock_guard lock(m_mutex);
        MarkQueued(header);
        m_queue.push_back(&header);
        wake();
        return wave::NoError;
    }

    int start() { return command(Command::Start); }
    int stop() { return command(Command::Stop); }
    int reset() { return command(Command::Reset); }
    bool queueEmpty() {
        const std::lock_guard lock(m_mutex);
        return m_queue.empty();
    }

    CaptureStatistics statistics() const {
        return {m_framesCaptured.load(), m_overruns.load(), m_cpuSeconds.load()};
    }

private:
    enum class Command { None, Start, Stop, Reset, Close };
    using Events = std::vector<WaveInEvent>;

    void wake() {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(m_wakeFd, &one, sizeof(one));
    }

    // Hands a command to the capture thread and waits until it has been carried out.
    int command(Command command) {
        std::unique_lock lock(m_mutex);
        m_commandDone.wait(lock, [this] { return m_command == Command::None; });
        m_command = command;
        wake();
        m_commandDone.wait(lock, [this] { return m_command == Command::None; });
        return m_commandResult;
    }

    void run() {
        std::vector<pollfd> fds;
        while (true) {
            Events events;
            bool capturing = false;
            {
                std::unique_lock lock(m_mutex);
                if (m_command != Command::None) {
                    const Command command = m_command;
                    m_commandResult = carryOut(command, events);
                    lock.unlock();
                    send(events);  // the returned buffers are reported before the caller goes on
                    lock.lock();
                    m_command = Command::None;
                    m_commandDone.notify_all();
                    if (command == Command::Close) {
                        break;
                    }
                    continue;
                }
                capturing = m_running && !m_lost && !m_queue.empty();
            }
            m_cpuSeconds.store(ThreadCpuSeconds());
            if (capturing && !m_started && !begin()) {
                loseDevice(events);
                send(events);
                continue;
            }
            // Wait, without spinning, for a command, or for frames when there is room for them.
            fds.assign(1, pollfd{m_wakeFd, POLLIN, 0});
            if (capturing) {
                const int count = snd_pcm_poll_descriptors_count(m_pcm);
                fds.resize(1 + static_cast<std::size_t>(std::max(count, 0)));
                snd_pcm_poll_descriptors(m_pcm, fds.data() + 1, static_cast<unsigned>(count));
            }
            // While capturing, look at the PCM at least once a second: a device can also fall
            // silent without a sign on its descriptors.
            const int ready = ::poll(fds.data(), fds.size(), capturing ? 1000 : -1);
            if (ready < 0) {
                continue;
            }
            if ((fds[0].revents & POLLIN) != 0) {
                std::uint64_t counter = 0;
                [[maybe_unused]] const ssize_t bytes = ::read(m_wakeFd, &counter, sizeof(counter));
            }
            if (capturing) {
                // Whenever the PCM's descriptors woke the poll, or it timed out, read: the read
                // brings out new frames, nothing (-EAGAIN), an overrun or a lost device. Asking
                // the translated events first is not enough: a plugin can show its descriptor
                // readable and report no event while its stream has failed.
                bool pcmWoke = false;
                for (std::size_t i = 1; i < fds.size(); ++i) {
                    pcmWoke = pcmWoke || fds[i].revents != 0;
                }
                if (pcmWoke || ready == 0) {
                    read(events);
                }
            }
            send(events);
        }
        m_cpuSeconds.store(ThreadCpuSeconds());
    }

    int carryOut(Command command, Events& events) {
        switch (command) {
            case Command::Start:
                if (m_lost) {
                    return wave::DeviceLost;
                }
                if (!m_running) {
                    m_running = true;
                    m_started = false;  // the PCM starts when there is a buffer to fill
                }
                return wave::NoError;
            case Command::Stop:
                if (m_running) {
                    halt();
                    if (!m_queue.empty() && HoldsFrames(*m_queue.front())) {
                        returnHead(events);
                    }
                }
                return wave::NoError;
            case Command::Reset:
                halt();
                while (!m_queue.empty()) {
                    returnHead(events);
                }
                return wave::NoError;
            case Command::Close:
                halt();
                return wave::NoError;
            case Command::None:
                break;
        }
        return wave::NoError;
    }

    void halt() {
        if (m_started) {
            snd_pcm_drop(m_pcm);
        }
        m_running = false;
        m_started = false;
    }

    // Starts the PCM afresh (after a stop or an overrun).
    bool begin() {
        int error = snd_pcm_prepare(m_pcm);
        if (error >= 0) {
            error = snd_pcm_start(m_pcm);
        }
        if (error < 0) {
            return false;
        }
        m_started = true;
        return true;
    }

    void read(Events& events) {
        WaveHeader* head = nullptr;
        {
            const std::lock_guard lock(m_mutex);
            if (!m_running || m_queue.empty()) {
                return;
            }
            head = m_queue.front();
        }
        const std::uint32_t recorded = head->bytesRecorded.load(std::memory_order_relaxed);
        const snd_pcm_sframes_t got =
            snd_pcm_readi(m_pcm, head->data + recorded, FramesFree(*head));
        if (got > 0) {
            m_failedRecoveries = 0;
            m_framesCaptured += static_cast<std::uint64_t>(got);
            if (RecordFrames(*head, static_cast<std::uint32_t>(got))) {
                const std::lock_guard lock(m_mutex);
                returnHead(events);
            }
            return;
        }
        const int error = static_cast<int>(got);
        if (error == -EAGAIN || error == 0) {
            return;
        }
        if (snd_pcm_state(m_pcm) == SND_PCM_STATE_DISCONNECTED || MeansLost(error)) {
            loseDevice(events);
            return;
        }
        // An overrun (or a suspend): recover, count it, and capture on. A device that overruns
        // again and again without a frame in between is gone.
        if (snd_pcm_recover(m_pcm, error, 1) < 0 || !begin() ||
            ++m_failedRecoveries > MaxFailedRecoveries) {
            loseDevice(events);
            return;
        }
        ++m_overruns;
    }

    void loseDevice(Events& events) {
        const std::lock_guard lock(m_mutex);
        if (!m_queue.empty() && HoldsFrames(*m_queue.front())) {
            returnHead(events);
        }
        m_lost = true;
        m_running = false;
        m_started = false;
        events.push_back(WaveInEvent::DeviceLost);
    }

    // Marks the head of the queue done and takes it off; called with the mutex held.
    void returnHead(Events& events) {
        WaveHeader* header = m_queue.front();
        m_queue.pop_front();
        MarkReturned(*header);
        events.push_back(WaveInEvent::BufferDone);
    }

    void send(const Events& events) {
        if (!m_notify) {
            return;
        }
        for (const WaveInEvent event : events) {
            m_notify(m_handle, event);
        }
    }

    snd_pcm_t* m_pcm;
    int m_wakeFd;
    WaveInHandle m_handle;
    WaveInNotify m_notify;
    std::thread m_thread;

    std::mutex m_mutex;
    std::condition_variable m_commandDone;
    Command m_command = Command::None;
    int m_commandResult = wave::NoError;
    std::deque<WaveHeader*> m_queue;
    bool m_running = false;  // the program has started the flow
    bool m_started = false;  // the PCM is capturing (thread only)
    bool m_lost = false;

    static constexpr int MaxFailedRecoveries = 5;
    int m_failedRecoveries = 0;  // recoveries since the last frame (thread only)
    std::atomic<std::uint64_t> m_framesCaptured{0};
    std::atomic<std::uint64_t> m_overruns{0};
    std::atomic<double> m_cpuSeconds{0.0};
};

AlsaWaveInput::AlsaWaveInput(ServerDevices server) : m_server(server) {}

AlsaWaveInput::~AlsaWaveInput() = default;

const std::vector<CaptureDevice>& AlsaWaveInput::devices() {
    const std::lock_guard lock(m_mutex);
    if (!m_devices) {
        m_devices = EnumerateCaptureDevices(m_server);
    }
    return *m_devices;
}

unsigned AlsaWaveInput::deviceCount() {
    return static_cast<unsigned>(devices().size());
}

int AlsaWaveInput::deviceCaps(unsigned device, WaveInCaps& caps) {
    const std::vector<CaptureDevice>& list = devices();
    if (device >= list.size()) {
        return wave::BadDeviceId;
    }
    caps.productName = list[device].name;
    caps.systemName = list[device].pcmName;
    return wave::NoError;
}

int AlsaWaveInput::open(WaveInHandle& handle, unsigned device, const WaveFormat& format,
                        WaveInNotify notify) {
    if (format.formatTag != 1 || format.channels != Channels ||
        format.samplesPerSecond != SampleRate || format.bitsPerSample != 16) {
        return wave::BadFormat;
    }
    const std::vector<CaptureDevice>& list = devices();
    if (device >= list.size()) {
        return wave::BadDeviceId;
    }
    snd_pcm_t* pcm = nullptr;
    const int error =
        snd_pcm_open(&pcm, list[device].pcmName.c_str(), SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK);
    if (error < 0) {
        return OpenResult(error);
    }
    if (const int result = Configure(pcm); result != wave::NoError) {
        snd_pcm_close(pcm);
        return result;
    }
    const int wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd < 0) {
        snd_pcm_close(pcm);
        return wave::NoMemory;
    }
    handle = m_streams.reserve();
    m_streams.insert(handle, std::make_unique<Stream>(pcm, wakeFd, handle, std::move(notify)));
    return wave::NoError;
}

int AlsaWaveInput::prepareHeader(WaveInHandle handle, WaveHeader& header) {
    return m_streams.prepare(handle, header);
}

int AlsaWaveInput::addBuffer(WaveInHandle handle, WaveHeader& header) {
    return m_streams.add(handle, header);
}

int AlsaWaveInput::unprepareHeader(WaveInHandle handle, WaveHeader& header) {
    return m_streams.unprepare(handle, header);
}

int AlsaWaveInput::start(WaveInHandle handle) {
    return m_streams.call(handle, [](Stream& stream) { return stream.start(); });
}

int AlsaWaveInput::stop(WaveInHandle handle) {
    return m_streams.call(handle, [](Stream& stream) { return stream.stop(); });
}

int AlsaWaveInput::reset(WaveInHandle handle) {
    return m_streams.call(handle, [](Stream& stream) { return stream.reset(); });
}

int AlsaWaveInput::close(WaveInHandle handle) {
    return m_streams.close(handle);  // the stream joins its capture thread as it ends
}

std::optional<CaptureStatistics> AlsaWaveInput::statistics(WaveInHandle handle) {
    return m_streams.statistics(handle);
}

}  // namespace veruziva::alsa
