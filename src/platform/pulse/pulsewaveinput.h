#pragma once

#include <memory>

#include "platform/pulse/soundserver.h"
#include "platform/waveinput.h"
#include "platform/wavestreams.h"

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
    std::shared_ptr<SoundServer> m_server;
    WaveStreams<Stream> m_streams;
};

}  // namespace veruziva::pulse
