#include "platform/alsa/alsamixertopology.h"

#include <algorithm>

namespace veruziva::alsa {
namespace {

constexpr std::uint32_t PlaybackDestination = 0;
constexpr std::uint32_t CaptureDestination = 1;

std::string Name(snd_mixer_elem_t* elem) {
    return snd_mixer_selem_get_name(elem);
}

bool IsGainStage(const std::string& name) {
    return name.find("Boost") != std::string::npos;
}

bool HasPlayback(snd_mixer_elem_t* elem) {
    return snd_mixer_selem_has_playback_volume(elem) || snd_mixer_selem_has_playback_switch(elem);
}

bool HasCapture(snd_mixer_elem_t* elem) {
    return snd_mixer_selem_has_capture_volume(elem) || snd_mixer_selem_has_capture_switch(elem);
}

// A capture level: the capture master or a source, not an enumerated selector.
bool IsCaptureLevel(snd_mixer_elem_t* elem) {
    return HasCapture(elem) && !snd_mixer_selem_is_enumerated(elem);
}

bool IsCaptureSource(snd_mixer_elem_t* elem) {
    return IsCaptureLevel(elem) && !IsGainStage(Name(elem));
}

// The element when there is one and it has what is asked for.
snd_mixer_elem_t* IfHas(snd_mixer_elem_t* elem, int (*has)(snd_mixer_elem_t*)) {
    return elem != nullptr && has(elem) ? elem : nullptr;
}

std::uint32_t Channels(const SelemSide& side, snd_mixer_elem_t* elem) {
    return side.isMono(elem) ? 1 : 2;
}

std::uint32_t Count(const auto& items) {
    return static_cast<std::uint32_t>(items.size());
}

TopologyLine MakeLine(std::uint32_t lineId, std::uint32_t destination, std::uint32_t source,
                      const std::string& name, std::uint32_t channels) {
    TopologyLine line;
    line.line.destination = destination;
    line.line.source = source;
    line.line.lineId = lineId;
    line.line.channels = channels;
    line.line.shortName = name.substr(0, 15);
    line.line.name = name.substr(0, 63);
    return line;
}

TopologyLine DestinationLine(std::uint32_t destination, const std::string& name,
                             std::uint32_t channels) {
    return MakeLine(mixer::DestinationLineId(destination), destination, 0, name, channels);
}

TopologyLine SourceLine(std::uint32_t destination, std::uint32_t source, const std::string& name,
                        std::uint32_t channels) {
    return MakeLine(mixer::SourceLineId(destination, source), destination, source, name, channels);
}

std::vector<std::string> EnumItemNames(snd_mixer_elem_t* elem) {
    std::vector<std::string> names;
    const int items = snd_mixer_selem_get_enum_items(elem);
    for (int item = 0; item < items; ++item) {
        char name[64] = {};
        snd_mixer_selem_get_enum_item_name(elem, static_cast<unsigned>(item), sizeof(name), name);
        names.emplace_back(name);
    }
    return names;
}

}  // namespace

MixerTopology MixerTopologyBuilder::Build(snd_mixer_t* mixer) {
    MixerTopologyBuilder builder(mixer);
    TopologyDestination playback = builder.playbackDestination();
    TopologyDestination capture = builder.captureDestination();
    builder.m_topology.destinations = {std::move(playback), std::move(capture)};
    return std::move(builder.m_topology);
}

MixerTopologyBuilder::MixerTopologyBuilder(snd_mixer_t* mixer) {
    for (snd_mixer_elem_t* elem = snd_mixer_first_elem(mixer); elem != nullptr;
         elem = snd_mixer_elem_next(elem)) {
        if (snd_mixer_selem_is_active(elem)) {
            m_elems.push_back(elem);
        }
    }
}

snd_mixer_elem_t* MixerTopologyBuilder::named(const std::string& name,
                                              bool (*wanted)(snd_mixer_elem_t*)) const {
    const auto found = std::find_if(m_elems.begin(), m_elems.end(), [&](snd_mixer_elem_t* elem) {
        return Name(elem) == name && wanted(elem);
    });
    return found == m_elems.end() ? nullptr : *found;
}

TopologyControl& MixerTopologyBuilder::addControl(TopologyLine& line, ControlKind kind,
                                                  std::uint32_t type, bool uniform,
                                                  const std::string& name) {
    TopologyControl& control = m_topology.controls.emplace_back();
    control.kind = kind;
    control.info.controlId = Count(m_topology.controls);
    control.info.type = type;
    control.info.flags = uniform ? mixer::UniformFlag : 0;
    control.info.maximum = type == mixer::VolumeControl ? FullScale : 1;
    control.info.shortName = name.substr(0, 15);
    control.info.name = name.substr(0, 63);
    line.controls.push_back(control.info.controlId);
    line.line.controls = Count(line.controls);
    return control;
}

void MixerTopologyBuilder::addVolume(TopologyLine& line, snd_mixer_elem_t* elem,
                                     const SelemSide& side, const std::string& name) {
    TopologyControl& volume =
        addControl(line, ControlKind::Volume, mixer::VolumeControl,
                   side.isMono(elem) || side.hasVolumeJoined(elem), name + " Volume");
    volume.elem = elem;
    volume.side = &side;
}

// The element's own volume and mute on one side, named after it.
void MixerTopologyBuilder::addElementControls(TopologyLine& line, snd_mixer_elem_t* elem,
                                              const SelemSide& side) {
    if (side.hasVolume(elem)) {
        addVolume(line, elem, side, Name(elem));
    }
    if (side.hasSwitch(elem)) {
        TopologyControl& mute =
            addControl(line, ControlKind::Mute, mixer::MuteControl, true, Name(elem) + " Mute");
        mute.elem = elem;
        mute.side = &side;
    }
}

// Destination 0: the master's controls, and every other playback element but gain stages as
// a source line.
TopologyDestination MixerTopologyBuilder::playbackDestination() {
    TopologyDestination playback{DestinationLine(PlaybackDestination, "Playback", 2), {}};
    snd_mixer_elem_t* master = named("Master", HasPlayback);
    if (master != nullptr) {
        addElementControls(playback.line, master, PlaybackSide);
    }
    for (snd_mixer_elem_t* elem : m_elems) {
        if (elem != master && HasPlayback(elem) && !IsGainStage(Name(elem))) {
            const std::uint32_t index = Count(playback.sources);
            TopologyLine& source = playback.sources.emplace_back(
                SourceLine(PlaybackDestination, index, Name(elem), Channels(PlaybackSide, elem)));
            addElementControls(source, elem, PlaybackSide);
        }
    }
    playback.line.line.connections = Count(playback.sources);
    return playback;
}

void MixerTopologyBuilder::findSelector() {
    if (!findEnumeratedSelector()) {
        findExclusiveSwitches();
    }
}

// The first enumerated capture element, its items the entries.
bool MixerTopologyBuilder::findEnumeratedSelector() {
    for (snd_mixer_elem_t* elem : m_elems) {
        if (snd_mixer_selem_is_enumerated(elem) && snd_mixer_selem_is_enum_capture(elem)) {
            m_topology.selector.enumeration = elem;
            m_topology.selector.names = EnumItemNames(elem);
            return true;
        }
    }
    return false;
}

// The exclusive capture switches in the first such switch's group.
void MixerTopologyBuilder::findExclusiveSwitches() {
    CaptureSelector& selector = m_topology.selector;
    for (snd_mixer_elem_t* elem : m_elems) {
        if (snd_mixer_selem_has_capture_switch_exclusive(elem) &&
            (selector.switches.empty() ||
             snd_mixer_selem_get_capture_group(elem) ==
                 snd_mixer_selem_get_capture_group(selector.switches.front()))) {
            selector.switches.push_back(elem);
            selector.names.push_back(Name(elem));
        }
    }
}

int MixerTopologyBuilder::selectorIndexOf(const std::string& name) const {
    const std::vector<std::string>& names = m_topology.selector.names;
    const auto entry = std::find(names.begin(), names.end(), name);
    return entry == names.end() ? -1 : static_cast<int>(entry - names.begin());
}

// Destination 1: a source line for each selector entry and other capture element, then the
// capture master's controls and the selector.
TopologyDestination MixerTopologyBuilder::captureDestination() {
    m_captureMaster = named("Capture", IsCaptureLevel);
    findSelector();
    m_masterChannels = m_captureMaster != nullptr ? Channels(CaptureSide, m_captureMaster) : 2;
    TopologyDestination capture{DestinationLine(CaptureDestination, "Recording", m_masterChannels),
                                {}};
    for (const std::string& name : captureSourceNames()) {
        addCaptureSource(capture, name);
    }
    linkSelectorLines(capture.sources);
    if (m_captureMaster != nullptr) {
        // Named "Capture", its controls are "Capture Volume" and "Capture Mute".
        addElementControls(capture.line, m_captureMaster, CaptureSide);
    }
    addSelectorControl(capture.line);
    capture.line.line.connections = Count(capture.sources);
    return capture;
}

// The selector's entries first, then the other capture elements but gain stages.
std::vector<std::string> MixerTopologyBuilder::captureSourceNames() const {
    std::vector<std::string> names = m_topology.selector.names;
    for (snd_mixer_elem_t* elem : m_elems) {
        const std::string name = Name(elem);
        if (elem != m_captureMaster && IsCaptureSource(elem) &&
            std::find(names.begin(), names.end(), name) == names.end()) {
            names.push_back(name);
        }
    }
    return names;
}

// A source's volume is its own capture volume or, for a selector entry without one, the
// master's; its mute covers its own switch, the master's then, and its selector entry.
void MixerTopologyBuilder::addCaptureSource(TopologyDestination& capture, const std::string& name) {
    snd_mixer_elem_t* own = named(name, IsCaptureSource);
    const int selectorIndex = selectorIndexOf(name);
    const bool ownVolume = own != nullptr && snd_mixer_selem_has_capture_volume(own);
    snd_mixer_elem_t* shared = !ownVolume && selectorIndex >= 0 ? m_captureMaster : nullptr;
    const std::uint32_t index = Count(capture.sources);
    const std::uint32_t channels = own != nullptr ? Channels(CaptureSide, own) : m_masterChannels;
    TopologyLine& source =
        capture.sources.emplace_back(SourceLine(CaptureDestination, index, name, channels));
    snd_mixer_elem_t* volume = ownVolume ? own : IfHas(shared, snd_mixer_selem_has_capture_volume);
    if (volume != nullptr) {
        addVolume(source, volume, CaptureSide, name);
    }
    addSourceMute(source, name, IfHas(own, snd_mixer_selem_has_capture_switch),
                  IfHas(shared, snd_mixer_selem_has_capture_switch), selectorIndex);
}

void MixerTopologyBuilder::addSourceMute(TopologyLine& source, const std::string& name,
                                         snd_mixer_elem_t* ownSwitch,
                                         snd_mixer_elem_t* masterSwitch, int selectorIndex) {
    if (ownSwitch == nullptr && masterSwitch == nullptr && selectorIndex < 0) {
        return;
    }
    TopologyControl& mute =
        addControl(source, ControlKind::SourceMute, mixer::MuteControl, true, name + " Mute");
    mute.ownSwitch = ownSwitch;
    mute.masterSwitch = masterSwitch;
    mute.selectorIndex = selectorIndex;
}

// The source line each selector entry stands for, entry by entry (0: an entry without a line,
// which keeps the two lists aligned).
void MixerTopologyBuilder::linkSelectorLines(const std::vector<TopologyLine>& sources) {
    for (const std::string& name : m_topology.selector.names) {
        const auto source = std::find_if(
            sources.begin(), sources.end(),
            [&](const TopologyLine& line) { return line.line.name == name.substr(0, 63); });
        m_topology.selector.lineIds.push_back(source != sources.end() ? source->line.lineId : 0);
    }
}

void MixerTopologyBuilder::addSelectorControl(TopologyLine& line) {
    if (m_topology.selector.names.empty()) {
        return;
    }
    TopologyControl& selector =
        addControl(line, ControlKind::Selector, mixer::MuxControl, true, "Capture Source");
    selector.elem = m_topology.selector.enumeration;
    selector.info.flags |= mixer::MultipleFlag;
    selector.info.items = Count(m_topology.selector.names);
}

}  // namespace veruziva::alsa
