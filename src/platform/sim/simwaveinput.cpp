#include "platform/sim/simwaveinput.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "platform/wavestreams.h"

namespace veruziva::sim {

SimWaveInput::SimWaveInput() = default;

SimWaveInput::~SimWaveInput() {
    stopPacing();
}

void SimWaveInput::addDevice(std::string name, Signal signal) {
    const Lock lock(m_mutex);
    m_devices.push_back({std::move(name), std::move(signal), {}});
}

void SimWaveInput::setDelivery(Delivery delivery) {
    stopPacing();
    {
        const Lock lock(m_mutex);
        m_delivery = delivery;
    }
    if (delivery == Delivery::Paced) {
        startPacing();
    }
}

void SimWaveInput::failCall(Call call, int result, int successesFirst, int times) {
    const Lock lock(m_mutex);
    m_failures[call] = {result, successesFirst, times};
}

int SimWaveInput::scripted(Call call) {
    ++m_calls[call];
    const auto it = m_failures.find(call);
    if (it == m_failures.end() || it->second.times == 0) {
        return wave::NoError;
    }
    Failure& failure = it->second;
    if (failure.successesFirst > 0) {
        --failure.successesFirst;
        return wave::NoError;
    }
    if (failure.times > 0) {
        --failure.times;
    }
    return failure.result;
}

bool SimWaveInput::validHandle(WaveInHandle handle) const {
    return m_open && handle == m_handle;
}

std::size_t SimWaveInput::fill(std::size_t frames, std::vector<WaveInEvent>& events) {
    std::size_t delivered = 0;
    while (delivered < frames && m_running && !m_lost && !m_queue.empty()) {
        WaveHeader& header = *m_queue.front();
        const std::uint32_t recorded = header.bytesRecorded.load(std::memory_order_relaxed);
        const std::size_t count =
            std::min({static_cast<std::size_t>(FramesFree(header)), frames - delivered,
                      static_cast<std::size_t>(m_loseAt - m_frame)});
        for (std::size_t i = 0; i < count; ++i) {
            const StereoFrame frame = m_devices[m_device].signal(m_frame++);
            std::memcpy(header.data + recorded + i * sizeof(StereoFrame), &frame, sizeof(frame));
        }
        delivered += count;
        if (RecordFrames(header, static_cast<std::uint32_t>(count))) {
            returnHead(events);
        }
        if (m_frame >= m_loseAt) {
            lose(events);
        }
    }
    return delivered;
}

void SimWaveInput::returnHead(std::vector<WaveInEvent>& events) {
    WaveHeader& header = *m_queue.front();
    m_queue.pop_front();
    MarkReturned(header);
    events.push_back(WaveInEvent::BufferDone);
}

void SimWaveInput::send(Lock& lock, const std::vector<WaveInEvent>& events) {
    const WaveInNotify notify = m_notify;
    const WaveInHandle handle = m_handle;
    lock.unlock();
    if (notify) {
        for (const WaveInEvent event : events) {
            notify(handle, event);
        }
    }
}

std::size_t SimWaveInput::deliverFrames(std::size_t frames) {
    Lock lock(m_mutex);
    std::vector<WaveInEvent> events;
    const std::size_t delivered = fill(frames, events);
    send(lock, events);
    return delivered;
}

void SimWaveInput::lose(std::vector<WaveInEvent>& events) {
    if (!m_queue.empty() && HoldsFrames(*m_queue.front())) {
        returnHead(events);
    }
    m_lost = true;
    m_running = false;
    m_loseAt = UINT64_MAX;
    events.push_back(WaveInEvent::DeviceLost);
}

void SimWaveInput::loseDevice() {
    Lock lock(m_mutex);
    if (!m_open || m_lost) {
        return;
    }
    std::vector<WaveInEvent> events;
    lose(events);
    send(lock, events);
}

void SimWaveInput::loseDeviceAfter(std::uint64_t frames) {
    const Lock lock(m_mutex);
    m_loseAt = m_frame + frames;
}

bool SimWaveInput::isOpen() const {
    const Lock lock(m_mutex);
    return m_open;
}

bool SimWaveInput::isRunning() const {
    const Lock lock(m_mutex);
    return m_running;
}

bool SimWaveInput::notifies() const {
    const Lock lock(m_mutex);
    return static_cast<bool>(m_notify);
}

WaveInHandle SimWaveInput::openHandle() const {
    const Lock lock(m_mutex);
    return m_open ? m_handle : 0;
}

std::size_t SimWaveInput::queuedBuffers() const {
    const Lock lock(m_mutex);
    return m_queue.size();
}

std::uint64_t SimWaveInput::framesDelivered() const {
    const Lock lock(m_mutex);
    return m_frame;
}

int SimWaveInput::calls(Call call) const {
    const Lock lock(m_mutex);
    const auto it = m_calls.find(call);
    return it == m_calls.end() ? 0 : it->second;
}

unsigned SimWaveInput::deviceCount() {
    const Lock lock(m_mutex);
    return static_cast<unsigned>(m_devices.size());
}

int SimWaveInput::deviceCaps(unsigned device, WaveInCaps& caps) {
    const Lock lock(m_mutex);
    if (const int result = scripted(Call::DeviceCaps)) {
        return result;
    }
    if (device >= m_devices.size()) {
        return wave::BadDeviceId;
    }
    caps.productName = m_devices[device].name.substr(0, 31);
    caps.systemName = "sim:" + std::to_string(device);
    caps.identity = m_devices[device].identity;
    return wave::NoError;
}

int SimWaveInput::open(WaveInHandle& handle, unsigned device, const WaveFormat& format,
                       WaveInNotify notify) {
    const Lock lock(m_mutex);
    if (const int result = scripted(Call::Open)) {
        return result;
    }
    if (device >= m_devices.size()) {
        return wave::BadDeviceId;
    }
    if (m_open) {
        return wave::Allocated;
    }
    if (format.formatTag != 1 || format.channels != 2 || format.samplesPerSecond != SampleRate ||
        format.bitsPerSample != 16) {
        return wave::BadFormat;
    }
    m_open = true;
    m_running = false;
    m_lost = false;
    m_device = device;
    m_handle = m_nextHandle++;
    m_notify = std::move(notify);
    handle = m_handle;
    return wave::NoError;
}

int SimWaveInput::prepareHeader(WaveInHandle handle, WaveHeader& header) {
    const Lock lock(m_mutex);
    if (const int result = scripted(Call::Prepare)) {
        return result;
    }
    if (!validHandle(handle)) {
        return wave::InvalidHandle;
    }
    return PrepareWaveHeader(header);
}

int SimWaveInput::addBuffer(WaveInHandle handle, WaveHeader& header) {
    Lock lock(m_mutex);
    if (const int result = scripted(Call::AddBuffer)) {
        return result;
    }
    if (!validHandle(handle)) {
        return wave::InvalidHandle;
    }
    if (const int queueable = QueueableWaveHeader(header); queueable != wave::NoError) {
        return queueable;
    }
    MarkQueued(header);
    m_queue.push_back(&header);
    std::vector<WaveInEvent> events;
    if (m_delivery == Delivery::Immediate) {
        fill(m_queue.size() * static_cast<std::size_t>(FramesPerBuffer), events);
    }
    m_wake.notify_all();
    send(lock, events);
    return wave::NoError;
}

int SimWaveInput::unprepareHeader(WaveInHandle handle, WaveHeader& header) {
    const Lock lock(m_mutex);
    if (const int result = scripted(Call::Unprepare)) {
        return result;
    }
    if (!validHandle(handle)) {
        return wave::InvalidHandle;
    }
    return UnprepareWaveHeader(header);
}

int SimWaveInput::start(WaveInHandle handle) {
    Lock lock(m_mutex);
    if (const int result = scripted(Call::Start)) {
        return result;
    }
    if (!validHandle(handle)) {
        return wave::InvalidHandle;
    }
    if (m_lost) {
        return wave::DeviceLost;
    }
    m_running = true;
    std::vector<WaveInEvent> events;
    if (m_delivery == Delivery::Immediate) {
        fill(m_queue.size() * static_cast<std::size_t>(FramesPerBuffer), events);
    }
    m_wake.notify_all();
    send(lock, events);
    return wave::NoError;
}

int SimWaveInput::stop(WaveInHandle handle) {
    Lock lock(m_mutex);
    if (const int result = scripted(Call::Stop)) {
        return result;
    }
    if (!validHandle(handle)) {
        return wave::InvalidHandle;
    }
    std::vector<WaveInEvent> events;
    if (m_running && !m_queue.empty() && HoldsFrames(*m_queue.front())) {
        returnHead(events);
    }
    m_running = false;
    send(lock, events);
    return wave::NoError;
}

int SimWaveInput::reset(WaveInHandle handle) {
    Lock lock(m_mutex);
    if (const int result = scripted(Call::Reset)) {
        return result;
    }
    if (!validHandle(handle)) {
        return wave::InvalidHandle;
    }
    m_running = false;
    std::vector<WaveInEvent> events;
    while (!m_queue.empty()) {
        returnHead(events);
    }
    send(lock, events);
    return wave::NoError;
}

int SimWaveInput::close(WaveInHandle handle) {
    const Lock lock(m_mutex);
    if (const int result = scripted(Call::Close)) {
        return result;
    }
    if (!validHandle(handle)) {
        return wave::InvalidHandle;
    }
    if (!m_queue.empty()) {
        return wave::StillRecording;
    }
    m_open = false;
    m_running = false;
    m_notify = nullptr;
    return wave::NoError;
}

void SimWaveInput::startPacing() {
    const Lock lock(m_mutex);
    m_pacerStop = false;
    m_pacer = std::thread([this] { pace(); });
}

void SimWaveInput::stopPacing() {
    {
        const Lock lock(m_mutex);
        if (!m_pacer.joinable()) {
            return;
        }
        m_pacerStop = true;
        m_wake.notify_all();
    }
    m_pacer.join();
}

void SimWaveInput::pace() {
    using Clock = std::chrono::steady_clock;
    Lock lock(m_mutex);
    bool flowing = false;
    Clock::time_point since;
    std::uint64_t due = 0;  // frames delivered since `since`
    while (!m_pacerStop) {
        if (!m_running || m_lost || m_queue.empty()) {
            // Nothing to fill: sleep until something changes. A queue that ran dry loses the
            // frames that pass meanwhile, as a card would.
            flowing = false;
            m_wake.wait(lock);
            continue;
        }
        if (!flowing) {
            flowing = true;
            since = Clock::now();
            due = 0;
        }
        // Sleep until the head buffer is due full, as a card hands on whole periods: one wake
        // a block. A change (stop, a buffer given back) wakes it sooner.
        const std::uint32_t room = FramesFree(*m_queue.front());
        const auto full =
            since + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
                        static_cast<double>(due + room) / SampleRate));
        if (m_wake.wait_until(lock, full) == std::cv_status::no_timeout) {
            continue;
        }
        if (!m_running || m_queue.empty()) {
            continue;
        }
        const auto elapsed = std::chrono::duration<double>(Clock::now() - since).count();
        const auto target = static_cast<std::uint64_t>(elapsed * SampleRate);
        std::vector<WaveInEvent> events;
        due += fill(target - due, events);
        if (due < target) {
            flowing = false;  // ran dry: start counting afresh when buffers come back
        }
        send(lock, events);
        lock.lock();
    }
}

}  // namespace veruziva::sim
