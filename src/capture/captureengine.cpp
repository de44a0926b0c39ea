#include "capture/captureengine.h"

#include <QString>
#include <cstring>
#include <thread>

#include "platform/fatalerrors.h"
#include "platform/runtimeerror.h"

namespace veruziva {

PolledInput::~PolledInput() = default;

namespace {

const WaveFormat& Format() {
    static const WaveFormat format{1,
                                   Channels,
                                   SampleRate,
                                   static_cast<std::uint32_t>(BytesPerSecond),
                                   static_cast<std::uint16_t>(BytesPerFrame),
                                   static_cast<std::uint16_t>(BytesPerSample * 8),
                                   0};
    return format;
}

}  // namespace

CaptureEngine::CaptureEngine(WaveInput& service, FatalErrors& fatal, WaveInNotify notify)
    : m_service(service),
      m_fatal(fatal),
      m_notify(std::move(notify)),
      m_samples(static_cast<std::size_t>(FramesPerBuffer)) {}

CaptureEngine::~CaptureEngine() {
    if (m_open) {
        // Leaving: hand nothing to the service any more, quietly.
        m_service.reset(m_handle);
        for (std::int32_t slot = 0; slot < BufferCount; ++slot) {
            if (m_headerPrepared[Slot(slot)]) {
                m_service.unprepareHeader(m_handle, m_headers[Slot(slot)]);
            }
        }
        m_service.close(m_handle);
    }
}

std::size_t CaptureEngine::Slot(std::int32_t slot) {
    if (slot < 0 || slot >= BufferCount) {
        throw RangeCheckError();
    }
    return static_cast<std::size_t>(slot);
}

void CaptureEngine::fail(const char* message) {
    if (m_quietFailures) {
        m_quietFailures->push_back(message);
        return;
    }
    m_fatal.fail(QString::fromLatin1(message));
}

void CaptureEngine::setRunning(bool running) {
    m_running = running;
    if (m_runningChanged) {
        m_runningChanged(running);
    }
}

void CaptureEngine::prepareSlot(std::int32_t slot) {
    WaveHeader& header = m_headers[Slot(slot)];
    releaseSlot(slot);
    m_memory[Slot(slot)] = std::make_unique<std::byte[]>(static_cast<std::size_t>(BufferBytes));
    header.data = m_memory[Slot(slot)].get();
    header.bufferLength = static_cast<std::uint32_t>(BufferBytes);
    header.bytesRecorded.store(0, std::memory_order_relaxed);
    header.flags.store(0, std::memory_order_relaxed);
    if (m_service.prepareHeader(m_handle, header) != wave::NoError) {
        fail(capturemessages::PrepareHeader);
    }
    m_headerPrepared[Slot(slot)] = true;
}

void CaptureEngine::releaseSlot(std::int32_t slot) {
    WaveHeader& header = m_headers[Slot(slot)];
    if ((header.flags.load(std::memory_order_acquire) & WHDR_INQUEUE) != 0 &&
        m_memory[Slot(slot)]) {
        // The service still owns this memory (a failed reset): keep it alive until the end.
        m_heldByService.push_back(std::move(m_memory[Slot(slot)]));
    }
    m_memory[Slot(slot)].reset();
    header.data = nullptr;
    header.bytesRecorded.store(0, std::memory_order_relaxed);
    header.flags.store(0, std::memory_order_relaxed);
}

void CaptureEngine::PrepareNextBuffer() {
    m_currentBuffer = (m_currentBuffer + 1) % BufferCount;
    prepareSlot(m_currentBuffer);
}

void CaptureEngine::open(WaveInNotify notify, const char* openFailure,
                         const char* firstAddFailure) {
    if (m_service.open(m_handle, static_cast<unsigned>(m_soundDevice), Format(),
                       std::move(notify)) != wave::NoError) {
        fail(openFailure);
    } else {
        m_open = true;
        m_lost = false;
    }
    m_currentBuffer = BufferCount;  // so that the first prepare lands on slot 1
    PrepareNextBuffer();
    if (m_service.addBuffer(m_handle, m_headers[Slot(m_currentBuffer)]) != wave::NoError) {
        fail(firstAddFailure);
    }
    PrepareNextBuffer();
    if (m_service.addBuffer(m_handle, m_headers[Slot(m_currentBuffer)]) != wave::NoError) {
        fail(capturemessages::SecondAdd);
    }
}

void CaptureEngine::OpenWaveIn() {
    open(m_notify, capturemessages::OpenNotified, capturemessages::FirstAddNotified);
}

void CaptureEngine::OpenWaveInPolled() {
    open(nullptr, capturemessages::OpenPolled, capturemessages::FirstAddPolled);
}

bool CaptureEngine::FindDoneBuffer() {
    if (m_holding) {
        // A handler running inside another while it reads its block: this notification is
        // made good when that block is given back.
        m_missedNotice = true;
        return false;
    }
    m_doneBuffer = (m_currentBuffer - 1 + BufferCount) % BufferCount;
    m_holding = m_headers[Slot(m_doneBuffer)].done();
    return m_holding;
}

std::span<const StereoFrame> CaptureEngine::DoneBlock() const {
    const WaveHeader& header = m_headers[Slot(m_doneBuffer)];
    if (header.data == nullptr || !header.done()) {
        return {};
    }
    const std::size_t frames =
        std::min<std::size_t>(header.bytesRecorded.load(std::memory_order_relaxed),
                              header.bufferLength) /
        sizeof(StereoFrame);
    return {reinterpret_cast<const StereoFrame*>(header.data), frames};
}

void CaptureEngine::GiveBackBuffer() {
    m_holding = false;
    if (m_service.unprepareHeader(m_handle, m_headers[Slot(m_doneBuffer)]) != wave::NoError) {
        fail(capturemessages::GiveBackUnprepare);
    }
    m_headerPrepared[Slot(m_doneBuffer)] = false;
    releaseSlot(m_doneBuffer);
    PrepareNextBuffer();
    if (m_service.addBuffer(m_handle, m_headers[Slot(m_currentBuffer)]) != wave::NoError) {
        fail(capturemessages::GiveBackAdd);
    }
    if (m_missedNotice) {
        m_missedNotice = false;
        if (m_notify) {
            m_notify(m_handle, WaveInEvent::BufferDone);
        }
    }
}

void CaptureEngine::renewSlot(std::int32_t slot) {
    if (m_service.unprepareHeader(m_handle, m_headers[Slot(slot)]) != wave::NoError) {
        fail(capturemessages::GrabUnprepare);
    }
    m_headerPrepared[Slot(slot)] = false;
    prepareSlot(slot);
    if (m_service.addBuffer(m_handle, m_headers[Slot(slot)]) != wave::NoError) {
        fail(capturemessages::GrabAdd);
    }
}

bool CaptureEngine::waitForDoneSlot() {
    // The user-interface thread waits here without handling events, but never for ever.
    const auto deadline = std::chrono::steady_clock::now() + m_grabTimeout;
    const WaveHeader& header = m_headers[Slot(m_doneBuffer)];
    while (!header.done()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

void CaptureEngine::GrabBlock() {
    // The reset returns both queued slots unfilled or holding frames from before this grab:
    // give them back fresh, oldest first, so that the block read below is all new.
    m_service.reset(m_handle);
    const std::int32_t older = (m_currentBuffer - 1 + BufferCount) % BufferCount;
    renewSlot(older);
    renewSlot(m_currentBuffer);
    m_service.start(m_handle);
    m_doneBuffer = (m_currentBuffer - 1 + BufferCount) % BufferCount;
    WaveHeader& header = m_headers[Slot(m_doneBuffer)];
    if (!waitForDoneSlot()) {
        fail(capturemessages::GrabTimeout);
        m_service.reset(m_handle);  // take the slot back before it is released
    } else if (header.bytesRecorded.load(std::memory_order_relaxed) <
               static_cast<std::uint32_t>(BufferBytes)) {
        fail(capturemessages::GrabIncomplete);
    } else {
        std::memcpy(m_samples.data(), header.data, static_cast<std::size_t>(BufferBytes));
    }
    if (m_service.unprepareHeader(m_handle, header) != wave::NoError) {
        fail(capturemessages::GrabUnprepare);
    }
    m_headerPrepared[Slot(m_doneBuffer)] = false;
    releaseSlot(m_doneBuffer);
    PrepareNextBuffer();
    if (m_service.addBuffer(m_handle, m_headers[Slot(m_currentBuffer)]) != wave::NoError) {
        fail(capturemessages::GrabAdd);
    }
    m_service.stop(m_handle);
}

void CaptureEngine::CloseWaveIn() {
    m_holding = false;
    m_missedNotice = false;
    if (m_running) {
        m_service.stop(m_handle);
        setRunning(false);
    }
    if (!m_open) {
        // An open that failed when a lost device was tried again left nothing with the
        // service: only the slots' memory is ours to release.
        for (std::int32_t slot = 0; slot < BufferCount; ++slot) {
            releaseSlot(slot);
            m_headerPrepared[Slot(slot)] = false;
        }
        return;
    }
    m_service.stop(m_handle);
    m_service.reset(m_handle);
    for (std::int32_t slot = 0; slot < BufferCount; ++slot) {
        if (!m_headerPrepared[Slot(slot)]) {
            continue;
        }
        if (m_service.unprepareHeader(m_handle, m_headers[Slot(slot)]) != wave::NoError) {
            fail(capturemessages::CloseUnprepare);
        }
        releaseSlot(slot);
        m_headerPrepared[Slot(slot)] = false;
    }
    m_service.close(m_handle);
    m_open = false;
}

bool CaptureEngine::StartStop() {
    if (m_running) {
        m_service.stop(m_handle);
        setRunning(false);
        return true;
    }
    // A device that went away (a card unplugged, a sound server restarted) may be back: it is
    // closed and opened again, as the user who reconnected it and pressed Start expects.
    if ((!m_open || m_lost || m_service.start(m_handle) != wave::NoError) &&
        (!reopen() || m_service.start(m_handle) != wave::NoError)) {
        return false;
    }
    setRunning(true);
    return true;
}

bool CaptureEngine::reopen() {
    std::vector<const char*> failures;
    m_quietFailures = &failures;
    CloseWaveIn();
    OpenWaveIn();
    m_quietFailures = nullptr;
    if (!failures.empty()) {
        return false;
    }
    m_lost = false;
    return true;
}

bool CaptureEngine::HandleDeviceLost(WaveInHandle handle) {
    if (!m_open || handle != m_handle) {
        return false;
    }
    m_lost = true;
    if (m_running) {
        StartStop();
    }
    return true;
}

}  // namespace veruziva
