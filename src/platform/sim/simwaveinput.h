#pragma once

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/captureformat.h"
#include "platform/waveinput.h"

namespace veruziva::sim {

// A wave-input service in memory: devices with scripted signals, delivered on request, at once,
// or paced in real time by a worker thread; and scripted failures of any call.
class SimWaveInput : public WaveInput {
public:
    // The signal of a device: the frame at a running frame index.
    using Signal = std::function<StereoFrame(std::uint64_t frame)>;

    enum class Call { DeviceCaps, Open, Prepare, AddBuffer, Unprepare, Start, Stop, Reset, Close };
    enum class Delivery {
        Manual,     // frames arrive only through deliverFrames()
        Immediate,  // while running, every queued buffer is filled at once
        Paced,      // a worker thread delivers 44100 frames per second
    };

    SimWaveInput();
    ~SimWaveInput() override;

    void addDevice(std::string name, Signal signal);
    // What names the last added device across runs (as a sound server's source name does).
    void setIdentity(std::string identity) { m_devices.back().identity = std::move(identity); }
    void setDelivery(Delivery delivery);
    // The next `times` calls of the kind after `successesFirst` successful ones answer `result`
    // (times < 0: every one of them).
    void failCall(Call call, int result, int successesFirst = 0, int times = 1);

    // Fills queued buffers of the running stream with the next frames of its signal; returns
    // how many frames were delivered (fewer when the queue runs dry).
    std::size_t deliverFrames(std::size_t frames);
    // The open device goes away: the buffer being filled comes back with what it holds, the
    // stream ends and the loss is reported.
    void loseDevice();
    // The open device goes away once this many more frames have been delivered.
    void loseDeviceAfter(std::uint64_t frames);

    // Inspection for tests.
    bool isOpen() const;
    bool isRunning() const;
    bool notifies() const;
    WaveInHandle openHandle() const;
    std::size_t queuedBuffers() const;
    std::uint64_t framesDelivered() const;
    int calls(Call call) const;

    unsigned deviceCount() override;
    int deviceCaps(unsigned device, WaveInCaps& caps) override;
    int open(WaveInHandle& handle, unsigned device, const WaveFormat& format,
             WaveInNotify notify) override;
    int prepareHeader(WaveInHandle handle, WaveHeader& header) override;
    int addBuffer(WaveInHandle handle, WaveHeader& header) override;
    int unprepareHeader(WaveInHandle handle, WaveHeader& header) override;
    int start(WaveInHandle handle) override;
    int stop(WaveInHandle handle) override;
    int reset(WaveInHandle handle) override;
    int close(WaveInHandle handle) override;

private:
    struct Device {
        std::string name;
        Signal signal;
        std::string identity;
    };
    struct Failure {
        int result = 0;
        int successesFirst = 0;
        int times = 0;
    };
    using Lock = std::unique_lock<std::mutex>;

    int scripted(Call call);  // the scripted answer of this call, or 0
    bool validHandle(WaveInHandle handle) const;
    // Fills from the head of the queue; returns frames delivered. Notifications are collected
    // and sent after the lock is released.
    std::size_t fill(std::size_t frames, std::vector<WaveInEvent>& events);
    void returnHead(std::vector<WaveInEvent>& events);
    void lose(std::vector<WaveInEvent>& events);
    void send(Lock& lock, const std::vector<WaveInEvent>& events);
    void startPacing();
    void stopPacing();
    void pace();

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::vector<Device> m_devices;
    std::map<Call, Failure> m_failures;
    std::map<Call, int> m_calls;
    Delivery m_delivery = Delivery::Manual;

    bool m_open = false;
    bool m_running = false;
    bool m_lost = false;
    unsigned m_device = 0;
    WaveInHandle m_handle = 0;
    WaveInHandle m_nextHandle = 1;
    WaveInNotify m_notify;
    std::deque<WaveHeader*> m_queue;
    std::uint64_t m_frame = 0;  // next frame index of the device's signal
    std::uint64_t m_loseAt = UINT64_MAX;

    std::thread m_pacer;
    bool m_pacerStop = false;
};

}  // namespace veruziva::sim
