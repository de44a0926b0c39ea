#include "platform/alsa/alsamixerservice.h"

#include <alsa/asoundlib.h>
#include <poll.h>

#include <algorithm>
#include <set>

#include "platform/alsa/alsamixertopology.h"

namespace veruziva::alsa {
namespace {

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

std::int32_t ReadVolume(const SelemSide& side, snd_mixer_elem_t* elem, std::uint32_t channel) {
    long value = 0;
    long minimum = 0;
    long maximum = 0;
    side.volumeRange(elem, &minimum, &maximum);
    side.volume(elem, Channel(channel), &value);
    return ToFullScale(value, minimum, maximum);
}

std::int32_t ReadMute(const SelemSide& side, snd_mixer_elem_t* elem, std::uint32_t channel) {
    int on = 0;
    side.switchState(elem, Channel(channel), &on);
    return on != 0 ? 0 : 1;
}

// One value sets every channel; more set the channels one by one, up to the first failure.
int WriteVolume(const SelemSide& side, snd_mixer_elem_t* elem, std::uint32_t count,
                const std::vector<std::int32_t>& values) {
    long minimum = 0;
    long maximum = 0;
    side.volumeRange(elem, &minimum, &maximum);
    if (count == 1) {
        return side.setVolumeAll(elem, FromFullScale(values[0], minimum, maximum));
    }
    int error = 0;
    for (std::uint32_t i = 0; i < count && error >= 0; ++i) {
        error = side.setVolume(elem, Channel(i), FromFullScale(values[i], minimum, maximum));
    }
    return error;
}

bool SwitchOn(snd_mixer_elem_t* elem) {
    int on = 0;
    snd_mixer_selem_get_capture_switch(elem, SND_MIXER_SCHN_FRONT_LEFT, &on);
    return on != 0;
}

// Sets the item on every channel the enumeration has.
int SetAllEnumChannels(snd_mixer_elem_t* elem, unsigned item) {
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

}  // namespace

// An open mixer: the simple-mixer handle, and the lines and controls built from its elements.
class AlsaMixerService::Mixer {
public:
    ~Mixer() {
        stopWatching();
        snd_mixer_close(m_mixer);
    }

    // True when the mixer has descriptors to watch and the thread an event loop to watch them.
    bool canWatch() const {
        return MixerChangeWatch::Possible() && snd_mixer_poll_descriptors_count(m_mixer) > 0;
    }

    void watch(MixerChangeSink* sink, std::function<void()> pump) {
        m_sink = sink;
        m_watch = new MixerChangeWatch(std::move(pump));
        for (const pollfd& descriptor : descriptors()) {
            m_watch->watchDescriptor(descriptor.fd);
        }
    }

    void stopWatching() {
        if (m_watch != nullptr) {
            m_watch->close();
            m_watch = nullptr;
        }
        m_sink = nullptr;
    }

    MixerChangeSink* sink() const { return m_sink; }
    ControlValueTracker& tracker() { return m_tracker; }
    // Takes in the events waiting; false when the device has gone (an error, or a descriptor
    // that hangs up: it would stay readable with nothing to read).
    bool handleEvents() {
        const int handled = snd_mixer_handle_events(m_mixer);
        if (handled != 0) {
            return handled > 0;
        }
        std::vector<pollfd> waiting = descriptors();
        const auto count = static_cast<unsigned>(waiting.size());
        unsigned short revents = 0;
        return count == 0 || poll(waiting.data(), count, 0) <= 0 ||
               snd_mixer_poll_descriptors_revents(m_mixer, waiting.data(), count, &revents) < 0 ||
               (revents & (POLLERR | POLLHUP | POLLNVAL)) == 0;
    }

    std::vector<pollfd> descriptors() const {
        std::vector<pollfd> descriptors(
            static_cast<std::size_t>(std::max(snd_mixer_poll_descriptors_count(m_mixer), 0)));
        const int count = snd_mixer_poll_descriptors(m_mixer, descriptors.data(),
                                                     static_cast<unsigned>(descriptors.size()));
        descriptors.resize(static_cast<std::size_t>(std::max(count, 0)));
        return descriptors;
    }

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
        opened->m_topology = MixerTopologyBuilder::Build(handle);
        result = mixer::NoError;
        return opened;
    }

    const std::vector<TopologyDestination>& destinations() const { return m_topology.destinations; }

    const TopologyLine* line(std::uint32_t lineId) const {
        for (const TopologyDestination& destination : m_topology.destinations) {
            if (destination.line.line.lineId == lineId) {
                return &destination.line;
            }
            for (const TopologyLine& source : destination.sources) {
                if (source.line.lineId == lineId) {
                    return &source;
                }
            }
        }
        return nullptr;
    }

    const TopologyControl* control(std::uint32_t controlId) const {
        if (controlId == 0 || controlId > m_topology.controls.size()) {
            return nullptr;
        }
        return &m_topology.controls[controlId - 1];
    }

    int read(const TopologyControl& control, std::uint32_t channels, std::uint32_t items,
             std::vector<std::int32_t>& values) {
        // Events taken in here would not wake the watch: it looks for changes soon after.
        if (snd_mixer_handle_events(m_mixer) > 0 && m_watch != nullptr) {
            m_watch->wake();
        }
        const std::uint32_t count = std::max<std::uint32_t>(channels, 1);
        values.assign(count * std::max<std::uint32_t>(items, 1), 0);
        for (std::uint32_t i = 0; i < values.size(); ++i) {
            values[i] = readOne(control, i % count, i);
        }
        return mixer::NoError;
    }

    int write(const TopologyControl& control, std::uint32_t channels, std::uint32_t items,
              const std::vector<std::int32_t>& values) {
        const std::uint32_t count = std::max<std::uint32_t>(channels, 1);
        if (values.size() < count * std::max<std::uint32_t>(items, 1)) {
            return mixer::InvalidValue;
        }
        return writeValues(control, count, values) < 0 ? mixer::Error : mixer::NoError;
    }

    void texts(std::uint32_t channels, std::uint32_t items,
               std::vector<MixerListText>& texts) const {
        texts.assign(std::max<std::uint32_t>(channels, 1) * std::max<std::uint32_t>(items, 1),
                     MixerListText{});
        for (std::size_t k = 0; k < texts.size() && !selector().names.empty(); ++k) {
            const std::size_t entry = k % selector().names.size();
            texts[k] = {selector().lineIds[entry], selector().names[entry]};
        }
    }

private:
    explicit Mixer(snd_mixer_t* handle) : m_mixer(handle) {}

    const CaptureSelector& selector() const { return m_topology.selector; }

    bool selected(int index) const {
        if (selector().enumeration != nullptr) {
            unsigned item = 0;
            snd_mixer_selem_get_enum_item(selector().enumeration, SND_MIXER_SCHN_FRONT_LEFT, &item);
            return static_cast<int>(item) == index;
        }
        int on = 0;
        snd_mixer_selem_get_capture_switch(selector().switches[static_cast<std::size_t>(index)],
                                           SND_MIXER_SCHN_FRONT_LEFT, &on);
        return on != 0;
    }

    bool sourceLive(const TopologyControl& control) const {
        return (control.ownSwitch == nullptr || SwitchOn(control.ownSwitch)) &&
               (control.masterSwitch == nullptr || SwitchOn(control.masterSwitch)) &&
               (control.selectorIndex < 0 || selected(control.selectorIndex));
    }

    std::int32_t readOne(const TopologyControl& control, std::uint32_t channel,
                         std::uint32_t item) const {
        switch (control.kind) {
            case ControlKind::Volume:
                return ReadVolume(*control.side, control.elem, channel);
            case ControlKind::Mute:
                return ReadMute(*control.side, control.elem, channel);
            case ControlKind::SourceMute:
                return sourceLive(control) ? 0 : 1;
            case ControlKind::Selector:
                return item < selector().names.size() && selected(static_cast<int>(item)) ? 1 : 0;
        }
        return 0;
    }

    int writeValues(const TopologyControl& control, std::uint32_t count,
                    const std::vector<std::int32_t>& values) {
        switch (control.kind) {
            case ControlKind::Volume:
                return WriteVolume(*control.side, control.elem, count, values);
            case ControlKind::Mute:
                return control.side->setSwitchAll(control.elem, values[0] == 0);
            case ControlKind::SourceMute:
                return writeSourceMute(control, values[0] == 0);
            case ControlKind::Selector:
                return writeSelector(values);
        }
        return 0;
    }

    int select(int index) {
        if (selector().enumeration != nullptr) {
            return SetAllEnumChannels(selector().enumeration, static_cast<unsigned>(index));
        }
        return snd_mixer_selem_set_capture_switch_all(
            selector().switches[static_cast<std::size_t>(index)], 1);
    }

    int writeSourceMute(const TopologyControl& control, bool live) {
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
        for (std::size_t k = 0; k < values.size() && k < selector().names.size(); ++k) {
            if (values[k] != 0) {
                return select(static_cast<int>(k));
            }
        }
        // Nothing selected: exclusive switches can all be off; an enumeration keeps its item.
        int error = 0;
        for (snd_mixer_elem_t* elem : selector().switches) {
            error = std::min(error, snd_mixer_selem_set_capture_switch_all(elem, 0));
        }
        return error;
    }

    snd_mixer_t* m_mixer;
    MixerTopology m_topology;
    MixerChangeSink* m_sink = nullptr;
    MixerChangeWatch* m_watch = nullptr;
    ControlValueTracker m_tracker;
};

AlsaMixerService::AlsaMixerService(ServerDevices server) : m_server(server) {}
AlsaMixerService::~AlsaMixerService() = default;

const std::vector<CaptureDevice>& AlsaMixerService::mixers() {
    if (!m_mixers) {
        m_mixers.emplace();
        std::set<std::string> seen;
        for (const CaptureDevice& device : EnumerateCaptureDevices(m_server)) {
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

int AlsaMixerService::open(MixerHandle& handle, unsigned device, MixerChangeSink* changes) {
    if (device >= mixers().size()) {
        return mixer::BadDeviceId;
    }
    int result = mixer::NoError;
    std::unique_ptr<Mixer> opened = Mixer::Open(mixers()[device].ctlName, result);
    if (!opened) {
        return result;
    }
    if (changes != nullptr && !opened->canWatch()) {
        return mixer::Error;  // it cannot send change messages
    }
    handle = m_nextHandle++;
    Mixer* mixer = m_open.emplace(handle, std::move(opened)).first->second.get();
    if (changes != nullptr) {
        mixer->watch(changes, [this, handle] { pump(handle); });
        mixer->tracker().reset(ReadControlValues(*this, handle));
    }
    return mixer::NoError;
}

int AlsaMixerService::close(MixerHandle handle) {
    return m_open.erase(handle) == 1 ? mixer::NoError : mixer::InvalidHandle;
}

void AlsaMixerService::pump(MixerHandle handle) {
    Mixer* opened = find(handle);
    if (opened == nullptr || opened->sink() == nullptr) {
        return;
    }
    MixerChangeSink* sink = opened->sink();
    if (!opened->handleEvents()) {
        // The card has gone: no more events will come, and its descriptors would stay readable.
        opened->stopWatching();
        std::vector<std::uint32_t> lines;
        for (const TopologyDestination& destination : opened->destinations()) {
            lines.push_back(destination.line.line.lineId);
        }
        for (const std::uint32_t lineId : lines) {
            if (find(handle) != opened) {
                return;
            }
            sink->lineChanged(handle, lineId);
        }
        return;
    }
    // The sink may close this mixer as it goes.
    for (const std::uint32_t controlId :
         opened->tracker().update(ReadControlValues(*this, handle))) {
        if (find(handle) != opened) {
            return;
        }
        sink->controlChanged(handle, controlId);
    }
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
    const TopologyLine* line = opened->line(lineId);
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
    const TopologyControl* control = opened->control(controlId);
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
    const TopologyControl* control = opened->control(controlId);
    return control == nullptr ? mixer::InvalidControl
                              : opened->write(*control, channels, items, values);
}

int AlsaMixerService::listTexts(MixerHandle handle, std::uint32_t controlId, std::uint32_t channels,
                                std::uint32_t items, std::vector<MixerListText>& texts) {
    Mixer* opened = find(handle);
    if (opened == nullptr) {
        return mixer::InvalidHandle;
    }
    const TopologyControl* control = opened->control(controlId);
    if (control == nullptr || control->kind != ControlKind::Selector) {
        return mixer::InvalidControl;
    }
    opened->texts(channels, items, texts);
    return mixer::NoError;
}

}  // namespace veruziva::alsa
