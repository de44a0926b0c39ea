#include "support/simbench.h"

#include <utility>

namespace veruziva::sim {

SimBench::SimBench(std::vector<std::string> recordingLines, LineControls controls)
    : m_recordingLines(std::move(recordingLines)), m_controls(controls) {}

unsigned SimBench::addMixer(const std::string& name) {
    return addMixer(name, m_recordingLines);
}

unsigned SimBench::addMixer(const std::string& name,
                            const std::vector<std::string>& recordingLines) {
    const unsigned device = mixers.addDevice(name);
    mixers.addDestination(device, "Volume Control");
    mixers.addDestination(device, "Recording Control");
    for (const std::string& line : recordingLines) {
        const int source = static_cast<int>(mixers.addSource(device, 1, line));
        if (m_controls != LineControls::None) {
            mixers.addVolume(device, 1, source, 100);
        }
        if (m_controls == LineControls::VolumeAndMute) {
            mixers.addMute(device, 1, source, 1);
        }
    }
    return device;
}

void SimBench::addCard(const std::string& name, SimWaveInput::Signal signal) {
    waveInput.addDevice(name, std::move(signal));
    addMixer(name);
}

}  // namespace veruziva::sim
