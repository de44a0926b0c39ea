#pragma once

#include <string>
#include <vector>

#include "platform/sim/simmixerservice.h"
#include "platform/sim/simwaveinput.h"

namespace veruziva::sim {

// A machine's sound hardware in memory: input devices, and mixers laid out as a sound card's
// driver lays them out, with a playback destination (0, "Volume Control") and a recording
// destination (1, "Recording Control") whose source lines are the card's inputs.
class SimBench {
public:
    // What each recording line has of its own: a volume at 100, then a mute that is on.
    // Controls are numbered from 1 in the order they are added.
    enum class LineControls { None, Volume, VolumeAndMute };

    explicit SimBench(std::vector<std::string> recordingLines = {"Line In"},
                      LineControls controls = LineControls::VolumeAndMute);

    // A mixer with the bench's recording lines, or with these; returns its device index.
    unsigned addMixer(const std::string& name);
    unsigned addMixer(const std::string& name, const std::vector<std::string>& recordingLines);
    // A sound card: an input device that delivers `signal` and its mixer, of the same name.
    void addCard(const std::string& name, SimWaveInput::Signal signal);

    SimWaveInput waveInput;
    SimMixerService mixers;

private:
    std::vector<std::string> m_recordingLines;
    LineControls m_controls;
};

}  // namespace veruziva::sim
