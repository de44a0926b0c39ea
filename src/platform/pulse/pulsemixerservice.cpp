#include "platform/pulse/pulsemixerservice.h"

namespace veruziva::pulse {

PulseMixerService::PulseMixerService(std::shared_ptr<SourceAccess> server)
    : m_server(std::move(server)) {}

PulseMixerService::~PulseMixerService() = default;

unsigned PulseMixerService::deviceCount() {
    return static_cast<unsigned>(m_server->sources().size());
}

int PulseMixerService::caps(unsigned device, MixerCaps& caps) {
    const std::vector<ListedSource>& sources = m_server->sources();
    if (device >= sources.size()) {
        return mixer::BadDeviceId;
    }
    caps = MixerCaps{};
    caps.productName = sources[device].deviceName;
    caps.productId = static_cast<std::uint16_t>(device);
    caps.destinations = 2;
    return mixer::NoError;
}

PulseMixerService::Open* PulseMixerService::find(MixerHandle handle) {
    const auto it = m_open.find(handle);
    return it == m_open.end() ? nullptr : it->second.get();
}

PulseMixerService::Open::~Open() {
    events.reset();  // no wake-ups from the server's thread from here on
    if (watch != nullptr) {
        watch->close();
    }
}

int PulseMixerService::open(MixerHandle& handle, unsigned device, MixerChangeSink* changes) {
    const std::vector<ListedSource>& sources = m_server->sources();
    if (device >= sources.size()) {
        return mixer::BadDeviceId;
    }
    if (changes != nullptr && !MixerChangeWatch::Possible()) {
        return mixer::Error;  // no event loop to bring change messages
    }
    const std::optional<SourceInfo> source = m_server->source(sources[device].sourceName);
    if (!source) {
        return mixer::BadDeviceId;  // the source (or the server) has gone away
    }
    auto opened = std::make_unique<Open>(source->name, SourceMixer(*source));
    const MixerHandle next = m_nextHandle;
    if (changes != nullptr) {
        opened->sink = changes;
        opened->watch = new MixerChangeWatch([this, next] { pump(next); });
        opened->events = m_server->watchSources([watch = opened->watch] { watch->wake(); });
        if (!opened->events) {
            return mixer::Error;  // the server sends no events
        }
        opened->tracker.reset(opened->layout.values(*source));
    }
    handle = m_nextHandle++;
    m_open.emplace(handle, std::move(opened));
    return mixer::NoError;
}

void PulseMixerService::pump(MixerHandle handle) {
    Open* opened = find(handle);
    if (opened == nullptr || opened->sink == nullptr) {
        return;
    }
    MixerChangeSink* sink = opened->sink;
    const std::optional<SourceInfo> now = m_server->source(opened->sourceName);
    if (now.has_value() == opened->gone) {
        // The source has gone (a card unplugged, the server stopped), or is back.
        opened->gone = !now;
        for (std::uint32_t destination = 0; destination < opened->layout.destinationCount();
             ++destination) {
            const std::uint32_t lineId = opened->layout.destination(destination)->lineId;
            if (find(handle) != opened) {
                return;
            }
            sink->lineChanged(handle, lineId);
        }
    }
    if (!now) {
        return;
    }
    // The sink may close this mixer as it goes.
    for (const std::uint32_t controlId : opened->tracker.update(opened->layout.values(*now))) {
        if (find(handle) != opened) {
            return;
        }
        sink->controlChanged(handle, controlId);
    }
}

int PulseMixerService::close(MixerHandle handle) {
    return m_open.erase(handle) == 1 ? mixer::NoError : mixer::InvalidHandle;
}

int PulseMixerService::lineByDestination(MixerHandle handle, std::uint32_t destination,
                                         MixerLine& line) {
    const Open* opened = find(handle);
    if (opened == nullptr) {
        return mixer::InvalidHandle;
    }
    const MixerLine* found = opened->layout.destination(destination);
    if (found == nullptr) {
        return mixer::InvalidLine;
    }
    line = *found;
    return mixer::NoError;
}

int PulseMixerService::lineBySource(MixerHandle handle, std::uint32_t destination,
                                    std::uint32_t source, MixerLine& line) {
    const Open* opened = find(handle);
    if (opened == nullptr) {
        return mixer::InvalidHandle;
    }
    const MixerLine* found = opened->layout.source(destination, source);
    if (found == nullptr) {
        return mixer::InvalidLine;
    }
    line = *found;
    return mixer::NoError;
}

int PulseMixerService::lineControls(MixerHandle handle, std::uint32_t lineId,
                                    std::vector<MixerControlInfo>& controls) {
    const Open* opened = find(handle);
    if (opened == nullptr) {
        return mixer::InvalidHandle;
    }
    const std::vector<MixerControlInfo>* found = opened->layout.controls(lineId);
    if (found == nullptr) {
        return mixer::InvalidLine;
    }
    controls = *found;
    return mixer::NoError;
}

int PulseMixerService::controlValues(MixerHandle handle, std::uint32_t controlId,
                                     std::uint32_t channels, std::uint32_t items,
                                     std::vector<std::int32_t>& values) {
    Open* opened = find(handle);
    if (opened == nullptr) {
        return mixer::InvalidHandle;
    }
    const std::optional<SourceInfo> now = m_server->source(opened->sourceName);
    if (!now) {
        return mixer::Error;
    }
    return opened->layout.read(*now, controlId, channels, items, values);
}

int PulseMixerService::setControlValues(MixerHandle handle, std::uint32_t controlId,
                                        std::uint32_t channels, std::uint32_t items,
                                        const std::vector<std::int32_t>& values) {
    Open* opened = find(handle);
    if (opened == nullptr) {
        return mixer::InvalidHandle;
    }
    const std::optional<SourceInfo> now = m_server->source(opened->sourceName);
    if (!now) {
        return mixer::Error;
    }
    SourceChange change;
    if (const int result = opened->layout.write(*now, controlId, channels, items, values, change);
        result != mixer::NoError) {
        return result;
    }
    return m_server->apply(opened->sourceName, change) ? mixer::NoError : mixer::Error;
}

int PulseMixerService::listTexts(MixerHandle handle, std::uint32_t /*controlId*/,
                                 std::uint32_t /*channels*/, std::uint32_t /*items*/,
                                 std::vector<MixerListText>& /*texts*/) {
    // No selector: each port line carries its own mute.
    return find(handle) == nullptr ? mixer::InvalidHandle : mixer::InvalidControl;
}

}  // namespace veruziva::pulse
