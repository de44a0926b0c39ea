#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "capture/polledinput.h"
#include "platform/captureformat.h"
#include "platform/waveinput.h"

namespace veruziva {

class FatalErrors;

// The failure messages of the capture, shown before the program ends.
namespace capturemessages {
inline constexpr const char* PrepareHeader =
    "Problem with WaveInPrepareHdr! Application will terminate.";
inline constexpr const char* OpenNotified = "Problem with WaveInOpen! Application will terminate.";
inline constexpr const char* OpenPolled =
    "Problem with WaveInOpen via hard way! Application will terminate.";
inline constexpr const char* FirstAddNotified =
    "The 1st WaveInAddBuffer NOT successful! Application will termiante.";
inline constexpr const char* FirstAddPolled =
    "The 1st WaveInAddBuffer NOT successful! Application will terminate;";
inline constexpr const char* SecondAdd =
    "The 2nd WaveInAddBuffer NOT successful! Application will terminate.";
inline constexpr const char* GiveBackUnprepare =
    "Problem with WaveInUnprepareHdr(3). Application will terminate.";
inline constexpr const char* GiveBackAdd =
    "Problem with WaveInAddBuffer(4). Application will terminate.";
inline constexpr const char* GrabUnprepare =
    "Problem with WaveInUnprepareHdr(H 3). Application will terminate. ";
inline constexpr const char* GrabAdd =
    "Problem with WaveInAddBuffer(H 4). Application will terminate.";
inline constexpr const char* CloseUnprepare =
    "Problem with final WaveInUnprepareHdr! Application will terminate.";
inline constexpr const char* GrabTimeout =
    "Problem with WaveInStart(H 2): no data from the input device for 2 seconds. "
    "Application will terminate.";
inline constexpr const char* GrabIncomplete =
    "Problem with WaveInStart(H 2): the input device stopped in the middle of a block. "
    "Application will terminate.";
}  // namespace capturemessages

// The capture engine: the program's one input device, a ring of two capture slots queued with
// the wave-input service, in notified mode (the service reports every filled slot) or polled
// mode (single blocks grabbed on request). Every failing service call shows its message and
// requests the end of the program; the operation runs on.
class CaptureEngine : public PolledInput {
public:
    CaptureEngine(WaveInput& service, FatalErrors& fatal, WaveInNotify notify);
    ~CaptureEngine() override;
    CaptureEngine(const CaptureEngine&) = delete;
    CaptureEngine& operator=(const CaptureEngine&) = delete;

    // The device that both opens use.
    void setSoundDevice(std::int32_t device) { m_soundDevice = device; }
    std::int32_t SoundDevice() const { return m_soundDevice; }
    // Called whenever Running changes (the Start/Stop button follows it).
    void setRunningChanged(std::function<void(bool)> changed) {
        m_runningChanged = std::move(changed);
    }
    void setGrabTimeout(std::chrono::milliseconds timeout) { m_grabTimeout = timeout; }
    std::chrono::milliseconds grabTimeout() const { return m_grabTimeout; }

    void PrepareNextBuffer();
    void OpenWaveIn() override;
    void OpenWaveInPolled() override;
    // Sets DoneBuffer, the older of the two queued slots; true when it is back and filled. The
    // block is then held until GiveBackBuffer; while it is, no other block is found.
    bool FindDoneBuffer();
    // The frames the service recorded into the done slot.
    std::span<const StereoFrame> DoneBlock() const;
    void GiveBackBuffer();
    // Captures one block into Samples(), all of it recorded after the grab began.
    void GrabBlock() override;
    std::span<const StereoFrame> GrabbedFrames() const override { return m_samples; }
    void CloseWaveIn() override;
    // Starts or stops the flow. A start on a device that was lost, or that does not start,
    // first closes it and opens it again; false when that fails: the flow stays stopped.
    bool StartStop();
    // The service reported the device gone: a running flow stops as if "Stop" had been
    // pressed. False when the report concerns a device closed since.
    bool HandleDeviceLost(WaveInHandle handle);

    bool Running() const { return m_running; }
    WaveInHandle Handle() const { return m_handle; }
    std::int32_t CurrentBuffer() const { return m_currentBuffer; }
    std::int32_t DoneBuffer() const { return m_doneBuffer; }
    bool HeaderPrepared(std::int32_t slot) const { return m_headerPrepared[Slot(slot)]; }
    const std::vector<StereoFrame>& Samples() const { return m_samples; }

private:
    static std::size_t Slot(std::int32_t slot);
    // A failing service call: the end of the program, or while a lost device is opened
    // again, a reason for that to fail.
    void fail(const char* message);
    // Closes and opens the device again; false when the open failed.
    bool reopen();
    void setRunning(bool running);
    // Opens and queues both slots: the steps shared by both modes.
    void open(WaveInNotify notify, const char* openFailure, const char* firstAddFailure);
    // Allocates fresh zeroed memory for a slot and prepares its header.
    void prepareSlot(std::int32_t slot);
    // Frees a slot's memory, unless the service still holds it.
    void releaseSlot(std::int32_t slot);
    // Gives a slot returned by a reset back to the service with fresh memory.
    void renewSlot(std::int32_t slot);
    bool waitForDoneSlot();

    WaveInput& m_service;
    FatalErrors& m_fatal;
    WaveInNotify m_notify;
    std::function<void(bool)> m_runningChanged;
    std::chrono::milliseconds m_grabTimeout{2000};

    std::int32_t m_soundDevice = 0;
    std::array<WaveHeader, BufferCount> m_headers;
    std::array<std::unique_ptr<std::byte[]>, BufferCount> m_memory;
    std::array<bool, BufferCount> m_headerPrepared{};
    std::vector<std::unique_ptr<std::byte[]>> m_heldByService;
    std::int32_t m_currentBuffer = 0;
    std::int32_t m_doneBuffer = 0;
    WaveInHandle m_handle = 0;
    bool m_open = false;
    bool m_running = false;
    bool m_lost = false;  // the service reported the device gone
    std::vector<const char*>* m_quietFailures = nullptr;
    bool m_holding = false;       // a done block is being read
    bool m_missedNotice = false;  // a notification came while it was

    std::vector<StereoFrame> m_samples;
};

}  // namespace veruziva
