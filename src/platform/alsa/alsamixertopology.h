#pragma once

#include <alsa/asoundlib.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/alsa/alsaselemside.h"
#include "platform/mixerservice.h"

namespace veruziva::alsa {

// A volume control runs from 0 to this, mapped linearly onto its element's range.
inline constexpr std::int32_t FullScale = 65535;

// A volume or mute of one element on one side, a capture source's mute, or the capture-source
// selector.
enum class ControlKind { Volume, Mute, SourceMute, Selector };

struct TopologyControl {
    MixerControlInfo info;
    ControlKind kind = ControlKind::Volume;
    snd_mixer_elem_t* elem = nullptr;
    const SelemSide* side = nullptr;  // of a volume or mute
    // A source's mute: its own capture switch, the master's when it shares the master's
    // volume, and its entry in the selector.
    snd_mixer_elem_t* ownSwitch = nullptr;
    snd_mixer_elem_t* masterSwitch = nullptr;
    int selectorIndex = -1;
};

struct TopologyLine {
    MixerLine line;
    std::vector<std::uint32_t> controls;
};

struct TopologyDestination {
    TopologyLine line;
    std::vector<TopologyLine> sources;
};

// The capture-source selector: an enumerated capture element or, without one, a group of
// exclusive capture switches; the names of its entries and the source lines they stand for.
struct CaptureSelector {
    snd_mixer_elem_t* enumeration = nullptr;
    std::vector<snd_mixer_elem_t*> switches;
    std::vector<std::string> names;
    std::vector<std::uint32_t> lineIds;
};

// A mixer's lines and controls: destination 0 is the playback side, destination 1 the capture
// side. A control's id is its index in controls plus one.
struct MixerTopology {
    std::vector<TopologyDestination> destinations;
    std::vector<TopologyControl> controls;
    CaptureSelector selector;
};

// Builds the topology of a loaded simple mixer from its active elements. Control ids are given
// in building order: the playback side's, the capture sources', then the capture side's own.
class MixerTopologyBuilder {
public:
    static MixerTopology Build(snd_mixer_t* mixer);

private:
    explicit MixerTopologyBuilder(snd_mixer_t* mixer);

    snd_mixer_elem_t* named(const std::string& name, bool (*wanted)(snd_mixer_elem_t*)) const;
    TopologyControl& addControl(TopologyLine& line, ControlKind kind, std::uint32_t type,
                                bool uniform, const std::string& name);
    void addVolume(TopologyLine& line, snd_mixer_elem_t* elem, const SelemSide& side,
                   const std::string& name);
    void addElementControls(TopologyLine& line, snd_mixer_elem_t* elem, const SelemSide& side);

    TopologyDestination playbackDestination();

    void findSelector();
    bool findEnumeratedSelector();
    void findExclusiveSwitches();
    int selectorIndexOf(const std::string& name) const;

    TopologyDestination captureDestination();
    std::vector<std::string> captureSourceNames() const;
    void addCaptureSource(TopologyDestination& capture, const std::string& name);
    void addSourceMute(TopologyLine& source, const std::string& name, snd_mixer_elem_t* ownSwitch,
                       snd_mixer_elem_t* masterSwitch, int selectorIndex);
    void linkSelectorLines(const std::vector<TopologyLine>& sources);
    void addSelectorControl(TopologyLine& line);

    std::vector<snd_mixer_elem_t*> m_elems;
    snd_mixer_elem_t* m_captureMaster = nullptr;
    std::uint32_t m_masterChannels = 2;
    MixerTopology m_topology;
};

}  // namespace veruziva::alsa
