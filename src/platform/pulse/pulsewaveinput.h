#pragma once

#include <map>
#include <memory>
#include <mutex>

#include "platform/pulse/soundserver.h"
#include "platform/waveinput.h"

namespace veruziva::pulse {

// The wave-input service on the sound server: the devices are its sources, and each open device
// is a record stream of 16-bit stereo at 44100 frames/s (the server resamples when the card runs
// at another rate) in fragments of one block, corked while the flow is stopped. The stream is
// tied to its source: when the source goes, or the server, the device is lost.
class PulseWaveInput : public WaveInput {
public:
    explicit PulseWaveInput(std::shared_ptr<SoundServer> server);
    ~PulseWaveInput() override;

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
    std::optional<CaptureStatistics> statistics(WaveInHandle handle) override;

    class Stream;

private:
    Stream* find(WaveInHandle handle);

    std::shared_ptr<SoundServer> m_server;
    std::mutex m_mutex;
    std::map<WaveInHandle, std::unique_ptr<Stream>> m_streams;
    WaveInHandle m_nextHandle = 1;
};

}  // namespace veruziva::pulse
