#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/alsa/alsadevices.h"
#include "platform/waveinput.h"
#include "platform/wavestreams.h"

namespace veruziva::alsa {

// The wave-input service on ALSA. Each open device has a capture thread that reads into the
// head of its queue; a full buffer is marked done and reported through the notify function.
class AlsaWaveInput : public WaveInput {
public:
    explicit AlsaWaveInput(ServerDevices server = ServerDevices::Listed);
    ~AlsaWaveInput() override;

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

    // The devices as enumerated when first asked for (numbering stays fixed for the run).
    const std::vector<CaptureDevice>& devices();
    std::optional<CaptureStatistics> statistics(WaveInHandle handle) override;

    class Stream;

private:
    ServerDevices m_server;
    std::mutex m_mutex;  // the device list
    std::optional<std::vector<CaptureDevice>> m_devices;
    WaveStreams<Stream> m_streams;
};

}  // namespace veruziva::alsa
