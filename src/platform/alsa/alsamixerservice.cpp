#include "platform/alsa/alsamixerservice.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <set>

namespace veruziva::alsa {
namespace {

constexpr std::uint32_t PlaybackDestination = 0;
constexpr std::uint32_t CaptureDestination = 1;
constexpr std::int32_t FullScale = 65535;

constexpr std::uint32_t DestinationLineId(std::uint32_t destination) {
    return 0xFFFF0000U + destination;
}

constexpr std::uint32_t SourceLineId(std::uint32_t destination, std::uint32_t source) {
    return (source << 16U) | destination;
}

std::string Name(snd_mixer_elem_t* elem) {
    return snd_mixer_selem_get_name(elem);
}

bool IsGainStage(const std::string& name) {
    return name.find("Boost") != std::string::npos;
}

bool HasCapture(snd_mixer_elem_t* elem) {
    return snd_mixer_selem_has_capture_volume(elem) || snd_mixer_selem_has_capture_switch(elem);
}

bool HasPlayback(snd_mixer_elem_t* elem) {
    return snd_mixer_selem_has_playback_volume(elem) || snd_mixer_selem_has_playback_switch(elem);
}

snd_mixer_selem_channel_id_t Channel(std::uint32_t index) {
    return index == 0 ? SND_MIXER_SCHN_FRONT_LEFT : SND_MIXER_SCHN_FRONT_RIGHT;
}

std::int32_t ToFullScale(long value, long minimum, long maximum) {
    if (maximum <= minimum) {
        return 0;
    }
    return static_cast<std::int32_t>(((value - minimum) * FullScale + (maximum - minimum) / 2) /
                                     (maximum - minimum));
}

long FromFullScale(std::int32_t value, long minimum, long maximum) {
    const long clamped = std::clamp<long>(value, 0, FullScale);
    return minimum + (clamped * (maximum - minimum) + FullScale / 2) / FullScale;
}

}  // namespace

// An open mixer: the simple-mixer handle and the lines and controls built from its elements.
class AlsaMixerService::Mixer {
public:
    enum class Kind {
        PlaybackVolume,
        PlaybackMute,
        CaptureVolume,
        CaptureMute,
        SourceMute,
        Selector
    };

    struct Control {
        MixerControlInfo info;
        Kind kind = Kind::CaptureVolume;
        snd_mixer_elem_t* elem = nullptr;
        // A source's mute: its own capture switch, the master's when it shares the master's
        // volume, and its entry in the selector.
        snd_mixer_elem_t* ownSwitch = nullptr;
        snd_mixer_elem_t* masterSwitch = nullptr;
        int selectorIndex = -1;
    };
    struct Line {
        MixerLine line;
        std::vector<std::uint32_t> controls;
    };
    struct Destination {
        Line line;
        std::vector<Line> sources;
    };

    ~Mixer() { snd_mixer_close(m_mixer); }

    static std::unique_ptr<Mixer> Open(const std::string& ctlName, int& result) {
        snd_mixer_t* handle = nullptr;
        if (snd_mixer_open(&handle, 0) < 0) {
            result = mixer::Error;
            return nullptr;
        }
        if (snd_mixer_attach(handle, ctlName.c_str()) < 0 ||
            snd_mixer_selem_register(handle, nullptr, nullptr) < 0 || snd_mixer_load(handle) < 0) {
            snd_mixer_close(handle);
            result = mixer::BadDeviceId;
            return nullptr;
        }
        auto opened = std::unique_ptr<Mixer>(new Mixer(handle));
        opened->build();
        result = mixer::NoError;
        return opened;
    }

    const std::vector<Destination>& destinations() const { return m_destinations; }

    const Line* line(std::uint32_t lineId) const {
        for (const Destination& destination : m_destinations) {
            if (destination.line.line.lineId == lineId) {
                return &destination.line;
            }
            for (const Line& source : destination.sources) {
                if (source.line.lineId == lineId) {
                    return &source;
                }
            }
        }
        return nullptr;
    }

    Control* control(std::uint32_t controlId) {
        if (controlId == 0 || controlId > m_controls.size()) {
            return nullptr;
        }
        return &m_controls[controlId - 1];
    }

    int read(const Control& control, std::uint32_t channels, std::uint32_t items,
             std::vector<std::int32_t>& values) {
        snd_mixer_handle_events(m_mixer);
        const std::uint32_t count = std::max<std::uint32_t>(channels, 1);
        values.assign(count * std::max<std::uint32_t>(items, 1), 0);
        for (std::uint32_t i = 0; i < values.size(); ++i) {
            values[i] = readOne(control, i % count, i);
        }
        return mixer::NoError;
    }

    int write(const Control& control, std::uint32_t channels, std::uint32_t items,
              const std::vector<std::int32_t>& values) {
        const std::uint32_t count = std::max<std::uint32_t>(channels, 1);
        if (values.size() < count * std::max<std::uint32_t>(items, 1)) {
            return mixer::InvalidValue;
        }
        int error = 0;
        long minimum = 0;
        long maximum = 0;
        switch (control.kind) {
            case Kind::CaptureVolume:
                snd_mixer_selem_get_capture_volume_range(control.elem, &minimum, &maximum);
                if (count == 1) {
                    error = snd_mixer_selem_set_capture_volume_all(
                        control.elem, FromFullScale(values[0], minimum, maximum));
                }
                for (std::uint32_t i = 0; count > 1 && i < count && error >= 0; ++i) {
                    error = snd_mixer_selem_set_capture_volume(
                        control.elem, Channel(i), FromFullScale(values[i], minimum, maximum));
                }
                break;
            case Kind::PlaybackVolume:
                snd_mixer_selem_get_playback_volume_range(control.elem, &minimum, &maximum);
                if (count == 1) {
                    error = snd_mixer_selem_set_playback_volume_all(
                        control.elem, FromFullScale(values[0], minimum, maximum));
                }
                for (std::uint32_t i = 0; count > 1 && i < count && error >= 0; ++i) {
                    error = snd_mixer_selem_set_playback_volume(
                        control.elem, Channel(i), FromFullScale(values[i], minimum, maximum));
                }
                break;
            case Kind::CaptureMute:
                error = snd_mixer_selem_set_capture_switch_all(control.elem, values[0] == 0);
                break;
            case Kind::PlaybackMute:
                error = snd_mixer_selem_set_playback_switch_all(control.elem, values[0] == 0);
                break;
            case Kind::SourceMute:
                error = writeSourceMute(control, values[0] == 0);
                break;
            case Kind::Selector:
                error = writeSelector(values);
                break;
        }
        return error < 0 ? mixer::Error : mixer::NoError;
    }

    void texts(std::uint32_t channels, std::uint32_t items,
               std::vector<MixerListText>& texts) const {
        texts.assign(std::max<std::uint32_t>(channels, 1) * std::max<std::uint32_t>(items, 1),
                     MixerListText{});
        for (std::size_t k = 0; k < texts.size() && !m_selectorNames.empty(); ++k) {
            const std::size_t entry = k % m_selectorNames.size();
            texts[k] = {m_selectorLineIds[entry], m_selectorNames[entry]};
        }
    }

private:
    explicit Mixer(snd_mixer_t* handle) : m_mixer(handle) {}

    std::uint32_t addControl(Line& line, Kind kind, std::uint32_t type, snd_mixer_elem_t* elem,
                             bool uniform, const std::string& name) {
        Control control;
        control.kind = kind;
        control.elem = elem;
        control.info.controlId = static_cast<std::uint32_t>(m_controls.size() + 1);
        control.info.type = type;
        control.info.flags = uniform ? mixer::UniformFlag : 0;
        control.info.maximum = type == mixer::VolumeControl ? FullScale : 1;
        control.info.shortName = name.substr(0, 15);
        control.info.name = name.substr(0, 63);
        m_controls.push_back(control);
        line.controls.push_back(control.info.controlId);
        line.line.controls = static_cast<std::uint32_t>(line.controls.size());
        return control.info.controlId;
    }

    static Line MakeLine(std::uint32_t destination, std::uint32_t source, bool isDestination,
                         const std::string& name, std::uint32_t channels) {
        Line line;
        line.line.destination = destination;
        line.line.source = source;
        line.line.lineId =
            isDestination ? DestinationLineId(destination) : SourceLineId(destination, source);
        line.line.channels = channels;
        line.line.shortName = name.substr(0, 15);
        line.line.name = name.substr(0, 63);
        return line;
    }

    static std::uint32_t CaptureChannels(snd_mixer_elem_t* elem) {
        return snd_mixer_selem_is_capture_mono(elem) ? 1 : 2;
    }

    static std::uint32_t PlaybackChannels(snd_mixer_elem_t* elem) {
        return snd_mixer_selem_is_playback_mono(elem) ? 1 : 2;
    }

    void addPlaybackControls(Line& line, snd_mixer_elem_t* elem) {
        const bool mono = PlaybackChannels(elem) == 1;
        if (snd_mixer_selem_has_playback_volume(elem)) {
            addControl(line, Kind::PlaybackVolume, mixer::VolumeControl, elem,
                       mono || snd_mixer_selem_has_playback_volume_joined(elem),
                       Name(elem) + " Volume");
        }
        if (snd_mixer_selem_has_playback_switch(elem)) {
            addControl(line, Kind::PlaybackMute, mixer::MuteControl, elem, true,
                       Name(elem) + " Mute");
        }
    }

    void build() {
        std::vector<snd_mixer_elem_t*> elems;
        for (snd_mixer_elem_t* elem = snd_mixer_first_elem(m_mixer); elem != nullptr;
             elem = snd_mixer_elem_next(elem)) {
            if (snd_mixer_selem_is_active(elem)) {
                elems.push_back(elem);
            }
        }
        auto named = [&](const std::string& name, auto&& wanted) -> snd_mixer_elem_t* {
            for (snd_mixer_elem_t* elem : elems) {
                if (Name(elem) == name && wanted(elem)) {
                    return elem;
                }
            }
            return nullptr;
        };

        // Destination 0: the playback side.
        Destination playback;
        snd_mixer_elem_t* master = named("Master", HasPlayback);
        playback.line = MakeLine(PlaybackDestination, 0, true, "Playback", 2);
        if (master != nullptr) {
            addPlaybackControls(playback.line, master);
        }
        for (snd_mixer_elem_t* elem : elems) {
            if (elem != master && HasPlayback(elem) && !IsGainStage(Name(elem))) {
                Line source = MakeLine(PlaybackDestination,
                                       static_cast<std::uint32_t>(playback.sources.size()), false,
                                       Name(elem), PlaybackChannels(elem));
                addPlaybackControls(source, elem);
                playback.sources.push_back(source);
            }
        }
        playback.line.line.connections = static_cast<std::uint32_t>(playback.sources.size());

        // Destination 1: the capture side, its master and its source selector.
        Destination capture;
        snd_mixer_elem_t* captureMaster = named("Capture", [](snd_mixer_elem_t* elem) {
            return HasCapture(elem) && !snd_mixer_selem_is_enumerated(elem);
        });
        std::vector<snd_mixer_elem_t*> exclusiveGroup;
        for (snd_mixer_elem_t* elem : elems) {
            if (snd_mixer_selem_is_enumerated(elem) && snd_mixer_selem_is_enum_capture(elem)) {
                m_selectorEnum = elem;
                const int items = snd_mixer_selem_get_enum_items(elem);
                for (int item = 0; item < items; ++item) {
                    char name[64] = {};
                    snd_mixer_selem_get_enum_item_name(elem, static_cast<unsigned>(item),
                                                       sizeof(name), name);
                    m_selectorNames.emplace_back(name);
                }
                break;
            }
        }
        if (m_selectorEnum == nullptr) {
            for (snd_mixer_elem_t* elem : elems) {
                if (snd_mixer_selem_has_capture_switch_exclusive(elem) &&
                    (exclusiveGroup.empty() ||
                     snd_mixer_selem_get_capture_group(elem) ==
                         snd_mixer_selem_get_capture_group(exclusiveGroup.front()))) {
                    exclusiveGroup.push_back(elem);
                    m_selectorNames.push_back(Name(elem));
                }
            }
            m_selectorSwitches = exclusiveGroup;
        }
        const std::uint32_t masterChannels =
            captureMaster != nullptr ? CaptureChannels(captureMaster) : 2;
        capture.line = MakeLine(CaptureDestination, 0, true, "Recording", masterChannels);

        std::vector<std::string> sourceNames = m_selectorNames;
        for (snd_mixer_elem_t* elem : elems) {
            const std::string name = Name(elem);
            if (elem != captureMaster && HasCapture(elem) && !snd_mixer_selem_is_enumerated(elem) &&
                !IsGainStage(name) &&
                std::find(sourceNames.begin(), sourceNames.end(), name) == sourceNames.end()) {
                sourceNames.push_back(name);
            }
        }
        for (const std::string& name : sourceNames) {
            snd_mixer_elem_t* own = named(name, [](snd_mixer_elem_t* elem) {
                return HasCapture(elem) && !snd_mixer_selem_is_enumerated(elem) &&
                       !IsGainStage(Name(elem));
            });
            const auto entry = std::find(m_selectorNames.begin(), m_selectorNames.end(), name);
            const int selectorIndex = entry == m_selectorNames.end()
                                          ? -1
                                          : static_cast<int>(entry - m_selectorNames.begin());
            const bool ownVolume = own != nullptr && snd_mixer_selem_has_capture_volume(own);
            const bool sharesMaster = !ownVolume && selectorIndex >= 0 && captureMaster != nullptr;
            snd_mixer_elem_t* volumeElem = ownVolume ? own : nullptr;
            if (sharesMaster && snd_mixer_selem_has_capture_volume(captureMaster)) {
                volumeElem = captureMaster;
            }
            const std::uint32_t channels = own != nullptr ? CaptureChannels(own) : masterChannels;
            Line source =
                MakeLine(CaptureDestination, static_cast<std::uint32_t>(capture.sources.size()),
                         false, name, channels);
            if (volumeElem != nullptr) {
                addControl(source, Kind::CaptureVolume, mixer::VolumeControl, volumeElem,
                           CaptureChannels(volumeElem) == 1 ||
                               snd_mixer_selem_has_capture_volume_joined(volumeElem),
                           name + " Volume");
            }
            Control mute;
            mute.ownSwitch =
                own != nullptr && snd_mixer_selem_has_capture_switch(own) ? own : nullptr;
            mute.masterSwitch = sharesMaster && snd_mixer_selem_has_capture_switch(captureMaster)
                                    ? captureMaster
                                    : nullptr;
            mute.selectorIndex = selectorIndex;
            if (mute.ownSwitch != nullptr || mute.masterSwitch != nullptr || selectorIndex >= 0) {
                const std::uint32_t id = addControl(source, Kind::SourceMute, mixer::MuteControl,
                                                    nullptr, true, name + " Mute");
                m_controls[id - 1].ownSwitch = mute.ownSwitch;
                m_controls[id - 1].masterSwitch = mute.masterSwitch;
                m_controls[id - 1].selectorIndex = mute.selectorIndex;
            }
            capture.sources.push_back(source);
        }
        for (const std::string& name : m_selectorNames) {
            for (const Line& source : capture.sources) {
                if (source.line.name == name.substr(0, 63)) {
                    m_selectorLineIds.push_back(source.line.lineId);
                    break;
                }
            }
        }
        if (captureMaster != nullptr) {
            if (snd_mixer_selem_has_capture_volume(captureMaster)) {
                addControl(
                    capture.line, Kind::CaptureVolume, mixer::VolumeControl, captureMaster,
                    masterChannels == 1 || snd_mixer_selem_has_capture_volume_joined(captureMaster),
                    "Capture Volume");
            }
            if (snd_mixer_selem_has_capture_switch(captureMaster)) {
                addControl(capture.line, Kind::CaptureMute, mixer::MuteControl, captureMaster, true,
                           "Capture Mute");
            }
        }
        if (!m_selectorNames.empty()) {
            const std::uint32_t id = addControl(capture.line, Kind::Selector, mixer::MuxControl,
                                                m_selectorEnum, true, "Capture Source");
            m_controls[id - 1].info.flags |= mixer::MultipleFlag;
            m_controls[id - 1].info.items = static_cast<std::uint32_t>(m_selectorNames.size());
        }
        capture.line.line.connections = static_cast<std::uint32_t>(capture.sources.size());
        m_destinations = {playback, capture};
    }

    bool selected(int index) const {
        if (m_selectorEnum != nullptr) {
            unsigned item = 0;
            snd_mixer_selem_get_enum_item(m_selectorEnum, SND_MIXER_SCHN_FRONT_LEFT, &item);
            return static_cast<int>(item) == index;
        }
        int on = 0;
        snd_mixer_selem_get_capture_switch(m_selectorSwitches[static_cast<std::size_t>(index)],
                                           SND_MIXER_SCHN_FRONT_LEFT, &on);
        return on != 0;
    }

    static bool SwitchOn(snd_mixer_elem_t* elem) {
        int on = 0;
        snd_mixer_selem_get_capture_switch(elem, SND_MIXER_SCHN_FRONT_LEFT, &on);
        return on != 0;
    }

    std::int32_t readOne(const Control& control, std::uint32_t channel, std::uint32_t item) const {
        long value = 0;
        long minimum = 0;
        long maximum = 0;
        int on = 0;
        switch (control.kind) {
            case Kind::CaptureVolume:
                snd_mixer_selem_get_capture_volume_range(control.elem, &minimum, &maximum);
                snd_mixer_selem_get_capture_volume(control.elem, Channel(channel), &value);
                return ToFullScale(value, minimum, maximum);
            case Kind::PlaybackVolume:
                snd_mixer_selem_get_playback_volume_range(control.elem, &minimum, &maximum);
                snd_mixer_selem_get_playback_volume(control.elem, Channel(channel), &value);
                return ToFullScale(value, minimum, maximum);
            case Kind::CaptureMute:
                snd_mixer_selem_get_capture_switch(control.elem, Channel(channel), &on);
                return on != 0 ? 0 : 1;
            case Kind::PlaybackMute:
                snd_mixer_selem_get_playback_switch(control.elem, Channel(channel), &on);
                return on != 0 ? 0 : 1;
            case Kind::SourceMute: {
                const bool live =
                    (control.ownSwitch == nullptr || SwitchOn(control.ownSwitch)) &&
                    (control.masterSwitch == nullptr || SwitchOn(control.masterSwitch)) &&
                    (control.selectorIndex < 0 || selected(control.selectorIndex));
                return live ? 0 : 1;
            }
            case Kind::Selector:
                return item < m_selectorNames.size() && selected(static_cast<int>(item)) ? 1 : 0;
        }
        return 0;
    }

    int select(int index) {
        if (m_selectorEnum != nullptr) {
            return SetAllEnumChannels(m_selectorEnum, static_cast<unsigned>(index));
        }
        return snd_mixer_selem_set_capture_switch_all(
            m_selectorSwitches[static_cast<std::size_t>(index)], 1);
    }

    // Sets the item on every channel the enumeration has.
    static int SetAllEnumChannels(snd_mixer_elem_t* elem, unsigned item) {
        for (int channel = 0; channel <= SND_MIXER_SCHN_LAST; ++channel) {
            const auto id = static_cast<snd_mixer_selem_channel_id_t>(channel);
            unsigned current = 0;
            if (snd_mixer_selem_get_enum_item(elem, id, &current) < 0) {
                break;
            }
            if (current != item && snd_mixer_selem_set_enum_item(elem, id, item) < 0) {
                return -1;
            }
        }
        return 0;
    }

    int writeSourceMute(const Control& control, bool live) {
        int error = 0;
        if (live) {
            if (control.ownSwitch != nullptr) {
                error =
                    std::min(error, snd_mixer_selem_set_capture_switch_all(control.ownSwitch, 1));
            }
            if (control.masterSwitch != nullptr) {
                error = std::min(error,
                                 snd_mixer_selem_set_capture_switch_all(control.masterSwitch, 1));
            }
            if (control.selectorIndex >= 0) {
                error = std::min(error, select(control.selectorIndex));
            }
            return error;
        }
        snd_mixer_elem_t* off =
            control.ownSwitch != nullptr ? control.ownSwitch : control.masterSwitch;
        return off == nullptr ? 0 : snd_mixer_selem_set_capture_switch_all(off, 0);
    }

    int writeSelector(const std::vector<std::int32_t>& values) {
        for (std::size_t k = 0; k < values.size() && k < m_selectorNames.size(); ++k) {
            if (values[k] != 0) {
                return select(static_cast<int>(k));
            }
        }
        // Nothing selected: exclusive switches can all be off; an enumeration keeps its item.
        int error = 0;
        for (snd_mixer_elem_t* elem : m_selectorSwitches) {
            error = std::min(error, snd_mixer_selem_set_capture_switch_all(elem, 0));
        }
        return error;
    }

    snd_mixer_t* m_mixer;
    std::vector<Destination> m_destinations;
    std::vector<Control> m_controls;
    snd_mixer_elem_t* m_selectorEnum = nullptr;
    std::vector<snd_mixer_elem_t*> m_selectorSwitches;
    std::vector<std::string> m_selectorNames;
    std::vector<std::uint32_t> m_selectorLineIds;
};

AlsaMixerService::AlsaMixerService() = default;
AlsaMixerService::~AlsaMixerService() = default;

const std::vector<CaptureDevice>& AlsaMixerService::mixers() {
    if (!m_mixers) {
        m_mixers.emplace();
        std::set<std::string> seen;
        for (const CaptureDevice& device : EnumerateCaptureDevices()) {
            if (seen.insert(device.ctlName).second) {
                m_mixers->push_back(device);
            }
        }
    }
    return *m_mixers;
}

unsigned AlsaMixerService::deviceCount() {
    return static_cast<unsigned>(mixers().size());
}

int AlsaMixerService::caps(unsigned device, MixerCaps& caps) {
    if (device >= mixers().size()) {
        return mixer::BadDeviceId;
    }
    caps = MixerCaps{};
    caps.productName = mixers()[device].mixerName;
    caps.productId = static_cast<std::uint16_t>(device);
    caps.driverVersion = SND_LIB_VERSION;
    caps.destinations = 2;
    return mixer::NoError;
}

AlsaMixerService::Mixer* AlsaMixerService::find(MixerHandle handle) {
    const auto it = m_open.find(handle);
    return it == m_open.end() ? nullptr : it->second.get();
}

int AlsaMixerService::open(MixerHandle& handle, unsigned device, bool /*notifications*/) {
    if (device >= mixers().size()) {
        return mixer::BadDeviceId;
    }
    int result = mixer::NoError;
    std::unique_ptr<Mixer> opened = Mixer::Open(mixers()[device].ctlName, result);
    if (!opened) {
        return result;
    }
    handle = m_nextHandle++;
    m_open.emplace(handle, std::move(opened));
    return mixer::NoError;
}

int AlsaMixerService::close(MixerHandle handle) {
    return m_open.erase(handle) == 1 ? mixer::NoError : mixer::InvalidHandle;
}

int AlsaMixerService::lineByDestination(MixerHandle handle, std::uint32_t destination,
                                        MixerLine& line) {
    Mixer* opened = find(handle);
    if (opened == nullptr) {
        return mixer::InvalidHandle;
    }
    if (destination >= opened->destinations().size()) {
        return mixer::InvalidLine;
    }
    line = opened->destinations()[destination].line.line;
    return mixer::NoError;
}

int AlsaMixerService::lineBySource(MixerHandle handle, std::uint32_t destination,
                                   std::uint32_t source, MixerLine& line) {
    Mixer* opened = find(handle);
    if (opened == nullptr) {
        return mixer::InvalidHandle;
    }
    if (destination >= opened->destinations().size() ||
        source >= opened->destinations()[destination].sources.size()) {
        return mixer::InvalidLine;
    }
    line = opened->destinations()[destination].sources[source].line;
    return mixer::NoError;
}

int AlsaMixerService::lineControls(MixerHandle handle, std::uint32_t lineId,
                                   std::vector<MixerControlInfo>& controls) {
    Mixer* opened = find(handle);
    if (opened == nullptr) {
        return mixer::InvalidHandle;
    }
    const Mixer::Line* line = opened->line(lineId);
    if (line == nullptr) {
        return mixer::InvalidLine;
    }
    controls.clear();
    for (const std::uint32_t id : line->controls) {
        controls.push_back(opened->control(id)->info);
    }
    return mixer::NoError;
}

int AlsaMixerService::controlValues(MixerHandle handle, std::uint32_t controlId,
                                    std::uint32_t channels, std::uint32_t items,
                                    std::vector<std::int32_t>& values) {
    Mixer* opened = find(handle);
    if (opened == nullptr) {
        return mixer::InvalidHandle;
    }
    const Mixer::Control* control = opened->control(controlId);
    return control == nullptr ? mixer::InvalidControl
                              : opened->read(*control, channels, items, values);
}

int AlsaMixerService::setControlValues(MixerHandle handle, std::uint32_t controlId,
                                       std::uint32_t channels, std::uint32_t items,
                                       const std::vector<std::int32_t>& values) {
    Mixer* opened = find(handle);
    if (opened == nullptr) {
        return mixer::InvalidHandle;
    }
    const Mixer::Control* control = opened->control(controlId);
    return control == nullptr ? mixer::InvalidControl
                              : opened->write(*control, channels, items, values);
}

int AlsaMixerService::listTexts(MixerHandle handle, std::uint32_t controlId, std::uint32_t channels,
                                std::uint32_t items, std::vector<MixerListText>& texts) {
    Mixer* opened = find(handle);
    if (opened == nullptr) {
        return mixer::InvalidHandle;
    }
    const Mixer::Control* control = opened->control(controlId);
    if (control == nullptr || control->kind != Mixer::Kind::Selector) {
        return mixer::InvalidControl;
    }
    opened->texts(channels, items, texts);
    return mixer::NoError;
}

}  // namespace veruziva::alsa
