#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace veruziva {

// Result codes of the wave-input service: 0 is success.
namespace wave {
inline constexpr int NoError = 0;
inline constexpr int Error = 1;        // unspecified failure
inline constexpr int BadDeviceId = 2;  // no such device
inline constexpr int NotEnabled = 3;   // the device cannot be opened now
inline constexpr int Allocated = 4;    // the device is busy
inline constexpr int InvalidHandle = 5;
inline constexpr int NoMemory = 7;
inline constexpr int InvalidParameter = 11;
inline constexpr int BadFormat = 32;       // the format is not supported
inline constexpr int StillRecording = 33;  // the buffer is still queued
inline constexpr int Unprepared = 34;      // the buffer is not prepared
inline constexpr int DeviceLost = 35;      // the device has gone away
}  // namespace wave

// Header flags.
inline constexpr std::uint32_t WHDR_DONE = 0x01;
inline constexpr std::uint32_t WHDR_PREPARED = 0x02;
inline constexpr std::uint32_t WHDR_INQUEUE = 0x10;

// A capture buffer handed to the service. The service sets bytesRecorded, then the done flag
// (with release ordering) when it returns the buffer; until then it owns the data.
struct WaveHeader {
    std::byte* data = nullptr;
    std::uint32_t bufferLength = 0;
    std::atomic<std::uint32_t> bytesRecorded{0};
    std::atomic<std::uint32_t> flags{0};

    bool done() const { return (flags.load(std::memory_order_acquire) & WHDR_DONE) != 0; }
};

// The one capture format: PCM, 2 channels, 44100 frames/s, 16 bits.
struct WaveFormat {
    std::uint16_t formatTag = 1;
    std::uint16_t channels = 2;
    std::uint32_t samplesPerSecond = 44100;
    std::uint32_t averageBytesPerSecond = 176400;
    std::uint16_t blockAlign = 4;
    std::uint16_t bitsPerSample = 16;
    std::uint16_t extraSize = 0;
};

struct WaveInCaps {
    std::string productName;  // at most 31 characters
    std::string systemName;   // how the platform names the device (for tools and messages)
    // What names the device across runs and replugging, for a stored calibration; the product
    // name when empty.
    std::string identity;
};

using WaveInHandle = std::uint32_t;

// What an open device's stream has done so far.
struct CaptureStatistics {
    std::uint64_t framesCaptured = 0;
    std::uint64_t overruns = 0;     // frames were lost (recovered overruns, gaps in the stream)
    double threadCpuSeconds = 0.0;  // CPU time of the thread that moves the frames
};

// What the service tells the program about an open device. It may come from another thread;
// the program turns it into an event of its own event loop.
enum class WaveInEvent {
    BufferDone,  // a buffer has been returned marked done
    DeviceLost,  // the device has gone away; the stream has ended
};
using WaveInNotify = std::function<void(WaveInHandle, WaveInEvent)>;

// The platform's wave-input service: input devices in one fixed format, capturing into
// buffers that the program queues and the service returns marked done.
class WaveInput {
public:
    virtual ~WaveInput();

    virtual unsigned deviceCount() = 0;
    virtual int deviceCaps(unsigned device, WaveInCaps& caps) = 0;

    // Opens a device, stopped. With a notify function the service reports every returned
    // buffer; without one it reports nothing and the program polls the done flags.
    virtual int open(WaveInHandle& handle, unsigned device, const WaveFormat& format,
                     WaveInNotify notify) = 0;
    virtual int prepareHeader(WaveInHandle handle, WaveHeader& header) = 0;
    virtual int addBuffer(WaveInHandle handle, WaveHeader& header) = 0;
    virtual int unprepareHeader(WaveInHandle handle, WaveHeader& header) = 0;
    virtual int start(WaveInHandle handle) = 0;
    // Stops; the buffer being filled is returned marked done when it holds any frame.
    virtual int stop(WaveInHandle handle) = 0;
    // Stops and returns every queued buffer marked done.
    virtual int reset(WaveInHandle handle) = 0;
    virtual int close(WaveInHandle handle) = 0;

    // For tools and reports; nothing when the service does not count.
    virtual std::optional<CaptureStatistics> statistics(WaveInHandle handle);
};

}  // namespace veruziva
