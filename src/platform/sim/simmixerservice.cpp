#include "platform/sim/simmixerservice.h"

#include <algorithm>

namespace veruziva::sim {
namespace {

std::uint32_t ValueCount(std::uint32_t channels, std::uint32_t items) {
    return std::max<std::uint32_t>(channels, 1) * std::max<std::uint32_t>(items, 1);
}

}  // namespace

unsigned SimMixerService::addDevice(const std::string& name, std::uint16_t manufacturerId) {
    Device device;
    device.caps.productName = name.substr(0, 31);
    device.caps.manufacturerId = manufacturerId;
    device.caps.productId = static_cast<std::uint16_t>(100 + m_devices.size());
    device.caps.driverVersion = 0x0105;
    m_devices.push_back(device);
    return static_cast<unsigned>(m_devices.size() - 1);
}

unsigned SimMixerService::addDestination(unsigned device, const std::string& name,
                                         std::uint32_t channels) {
    Device& d = m_devices.at(device);
    Destination destination;
    const auto index = static_cast<unsigned>(d.destinations.size());
    destination.line.line = {index,
                             0,
                             mixer::DestinationLineId(index),
                             channels,
                             0,
                             0,
                             name.substr(0, 15),
                             name.substr(0, 63)};
    d.destinations.push_back(destination);
    d.caps.destinations = static_cast<std::uint32_t>(d.destinations.size());
    return index;
}

unsigned SimMixerService::addSource(unsigned device, unsigned destination, const std::string& name,
                                    std::uint32_t channels) {
    Destination& dest = m_devices.at(device).destinations.at(destination);
    const auto index = static_cast<unsigned>(dest.sources.size());
    Line line;
    line.line = {destination,
                 index,
                 mixer::SourceLineId(destination, index),
                 channels,
                 0,
                 0,
                 name.substr(0, 15),
                 name.substr(0, 63)};
    dest.sources.push_back(line);
    dest.line.line.connections = static_cast<std::uint32_t>(dest.sources.size());
    return index;
}

SimMixerService::Line& SimMixerService::lineAt(unsigned device, unsigned destination, int source) {
    Destination& dest = m_devices.at(device).destinations.at(destination);
    return source < 0 ? dest.line : dest.sources.at(static_cast<std::size_t>(source));
}

std::uint32_t SimMixerService::addControl(unsigned device, unsigned destination, int source,
                                          Control control) {
    Line& line = lineAt(device, destination, source);
    control.info.controlId = m_devices.at(device).nextControlId++;
    line.controls.push_back(control);
    line.line.controls = static_cast<std::uint32_t>(line.controls.size());
    return control.info.controlId;
}

std::uint32_t SimMixerService::addVolume(unsigned device, unsigned destination, int source,
                                         std::int32_t value, bool uniform, std::uint32_t flags) {
    const Line& line = lineAt(device, destination, source);
    Control control;
    control.info.type = mixer::VolumeControl;
    control.info.flags = flags | (uniform ? mixer::UniformFlag : 0);
    control.info.maximum = 65535;
    control.info.name = line.line.name + " Volume";
    control.values.assign(uniform ? 1 : std::max<std::uint32_t>(line.line.channels, 1), value);
    return addControl(device, destination, source, control);
}

std::uint32_t SimMixerService::addMute(unsigned device, unsigned destination, int source,
                                       std::int32_t value, bool uniform, std::uint32_t flags) {
    const Line& line = lineAt(device, destination, source);
    Control control;
    control.info.type = mixer::MuteControl;
    control.info.flags = flags | (uniform ? mixer::UniformFlag : 0);
    control.info.maximum = 1;
    control.info.name = line.line.name + " Mute";
    control.values.assign(uniform ? 1 : std::max<std::uint32_t>(line.line.channels, 1), value);
    return addControl(device, destination, source, control);
}

std::uint32_t SimMixerService::addSelector(unsigned device, unsigned destination,
                                           std::uint32_t type,
                                           const std::vector<std::string>& sources,
                                           const std::string& selected, std::uint32_t flags) {
    Control control;
    control.info.type = type;
    control.info.flags = flags | mixer::UniformFlag | mixer::MultipleFlag;
    control.info.items = static_cast<std::uint32_t>(sources.size());
    control.info.maximum = 1;
    control.info.name = type == mixer::MuxControl ? "Mux" : "Mixer";
    control.sourceNames = sources;
    for (const std::string& name : sources) {
        control.values.push_back(name == selected ? 1 : 0);
    }
    return addControl(device, destination, -1, control);
}

void SimMixerService::hideLine(unsigned device, unsigned destination, int source) {
    lineAt(device, destination, source).hidden = true;
}

void SimMixerService::failCall(Call call, int result, int successesFirst, int times) {
    m_failures[call] = {result, successesFirst, times};
}

int SimMixerService::scripted(Call call) {
    ++m_calls[call];
    const auto it = m_failures.find(call);
    if (it == m_failures.end() || it->second.times == 0) {
        return mixer::NoError;
    }
    if (it->second.successesFirst > 0) {
        --it->second.successesFirst;
        return mixer::NoError;
    }
    if (it->second.times > 0) {
        --it->second.times;
    }
    return it->second.result;
}

int SimMixerService::calls(Call call) const {
    const auto it = m_calls.find(call);
    return it == m_calls.end() ? 0 : it->second;
}

int SimMixerService::openMixers() const {
    return static_cast<int>(m_open.size());
}

std::uint32_t SimMixerService::lineId(unsigned device, unsigned destination, int source) const {
    const Destination& dest = m_devices.at(device).destinations.at(destination);
    return source < 0 ? dest.line.line.lineId
                      : dest.sources.at(static_cast<std::size_t>(source)).line.lineId;
}

std::vector<std::int32_t> SimMixerService::values(unsigned device, std::uint32_t controlId) const {
    for (const Destination& dest : m_devices.at(device).destinations) {
        for (const Control& control : dest.line.controls) {
            if (control.info.controlId == controlId) {
                return control.values;
            }
        }
        for (const Line& line : dest.sources) {
            for (const Control& control : line.controls) {
                if (control.info.controlId == controlId) {
                    return control.values;
                }
            }
        }
    }
    return {};
}

const SimMixerService::Device* SimMixerService::deviceOf(MixerHandle handle) const {
    const auto it = m_open.find(handle);
    return it == m_open.end() ? nullptr : &m_devices[it->second];
}

const SimMixerService::Line* SimMixerService::findLine(const Device& device,
                                                       std::uint32_t lineId) const {
    for (const Destination& dest : device.destinations) {
        if (dest.line.line.lineId == lineId) {
            return &dest.line;
        }
        for (const Line& line : dest.sources) {
            if (line.line.lineId == lineId) {
                return &line;
            }
        }
    }
    return nullptr;
}

SimMixerService::Control* SimMixerService::findControl(MixerHandle handle,
                                                       std::uint32_t controlId) {
    const auto it = m_open.find(handle);
    return it == m_open.end() ? nullptr : controlOf(it->second, controlId);
}

SimMixerService::Control* SimMixerService::controlOf(unsigned device, std::uint32_t controlId) {
    if (device >= m_devices.size()) {
        return nullptr;
    }
    for (Destination& dest : m_devices[device].destinations) {
        for (Control& control : dest.line.controls) {
            if (control.info.controlId == controlId) {
                return &control;
            }
        }
        for (Line& line : dest.sources) {
            for (Control& control : line.controls) {
                if (control.info.controlId == controlId) {
                    return &control;
                }
            }
        }
    }
    return nullptr;
}

unsigned SimMixerService::deviceCount() {
    return static_cast<unsigned>(m_devices.size());
}

int SimMixerService::caps(unsigned device, MixerCaps& caps) {
    if (const int result = scripted(Call::Caps)) {
        return result;
    }
    if (device >= m_devices.size()) {
        return mixer::BadDeviceId;
    }
    caps = m_devices[device].caps;
    return mixer::NoError;
}

int SimMixerService::open(MixerHandle& handle, unsigned device, MixerChangeSink* changes) {
    m_openNotifications.push_back(changes != nullptr);
    if (const int result =
            scripted(changes != nullptr ? Call::OpenWithNotifications : Call::Open)) {
        return result;
    }
    if (device >= m_devices.size()) {
        return mixer::BadDeviceId;
    }
    handle = m_nextHandle++;
    m_open[handle] = device;
    if (changes != nullptr) {
        m_sinks[handle] = changes;
    }
    return mixer::NoError;
}

int SimMixerService::close(MixerHandle handle) {
    if (const int result = scripted(Call::Close)) {
        return result;
    }
    m_sinks.erase(handle);
    return m_open.erase(handle) == 1 ? mixer::NoError : mixer::InvalidHandle;
}

SimMixerService::~SimMixerService() {
    if (m_watch != nullptr) {
        m_watch->close();
    }
}

void SimMixerService::post(unsigned device, bool line, std::uint32_t id) {
    if (!line && onValuesChanged) {
        onValuesChanged(device, id);
    }
    m_messages.push_back({device, line, id});
    if (m_watch == nullptr && MixerChangeWatch::Possible()) {
        m_watch = new MixerChangeWatch([this] { deliverChanges(); });
    }
    if (m_watch != nullptr) {
        m_watch->wake();
    }
}

void SimMixerService::deliverChanges() {
    while (!m_messages.empty()) {
        const Message message = m_messages.front();
        m_messages.pop_front();
        // A sink may close mixers (its own included) as it goes: look each one up afresh.
        std::vector<MixerHandle> handles;
        for (const auto& [handle, sink] : m_sinks) {
            if (m_open.at(handle) == message.device) {
                handles.push_back(handle);
            }
        }
        for (const MixerHandle handle : handles) {
            const auto it = m_sinks.find(handle);
            if (it == m_sinks.end()) {
                continue;
            }
            if (message.line) {
                it->second->lineChanged(handle, message.id);
            } else {
                it->second->controlChanged(handle, message.id);
            }
        }
    }
}

void SimMixerService::setFromOutside(unsigned device, std::uint32_t controlId,
                                     std::vector<std::int32_t> values) {
    Control* control = controlOf(device, controlId);
    if (control != nullptr && control->values != values) {
        control->values = std::move(values);
        post(device, false, controlId);
    }
}

void SimMixerService::lineChangedOutside(unsigned device, unsigned destination, int source) {
    post(device, true, lineAt(device, destination, source).line.lineId);
}

int SimMixerService::lineByDestination(MixerHandle handle, std::uint32_t destination,
                                       MixerLine& line) {
    if (const int result = scripted(Call::LineByDestination)) {
        return result;
    }
    const Device* device = deviceOf(handle);
    if (device == nullptr) {
        return mixer::InvalidHandle;
    }
    if (destination >= device->destinations.size() ||
        device->destinations[destination].line.hidden) {
        return mixer::InvalidLine;
    }
    line = device->destinations[destination].line.line;
    return mixer::NoError;
}

int SimMixerService::lineBySource(MixerHandle handle, std::uint32_t destination,
                                  std::uint32_t source, MixerLine& line) {
    if (const int result = scripted(Call::LineBySource)) {
        return result;
    }
    const Device* device = deviceOf(handle);
    if (device == nullptr) {
        return mixer::InvalidHandle;
    }
    if (destination >= device->destinations.size() ||
        source >= device->destinations[destination].sources.size() ||
        device->destinations[destination].sources[source].hidden) {
        return mixer::InvalidLine;
    }
    line = device->destinations[destination].sources[source].line;
    return mixer::NoError;
}

int SimMixerService::lineControls(MixerHandle handle, std::uint32_t lineId,
                                  std::vector<MixerControlInfo>& controls) {
    if (const int result = scripted(Call::LineControls)) {
        return result;
    }
    const Device* device = deviceOf(handle);
    if (device == nullptr) {
        return mixer::InvalidHandle;
    }
    const Line* line = findLine(*device, lineId);
    if (line == nullptr) {
        return mixer::InvalidLine;
    }
    controls.clear();
    for (const Control& control : line->controls) {
        controls.push_back(control.info);
    }
    return mixer::NoError;
}

int SimMixerService::controlValues(MixerHandle handle, std::uint32_t controlId,
                                   std::uint32_t channels, std::uint32_t items,
                                   std::vector<std::int32_t>& values) {
    if (const int result = scripted(Call::ControlValues)) {
        return result;
    }
    const Control* control = findControl(handle, controlId);
    if (control == nullptr) {
        return mixer::InvalidControl;
    }
    values.assign(ValueCount(channels, items), 0);
    for (std::size_t i = 0; i < values.size() && !control->values.empty(); ++i) {
        values[i] = control->values[std::min(i, control->values.size() - 1)];
    }
    return mixer::NoError;
}

int SimMixerService::setControlValues(MixerHandle handle, std::uint32_t controlId,
                                      std::uint32_t channels, std::uint32_t items,
                                      const std::vector<std::int32_t>& values) {
    if (const int result = scripted(Call::SetControlValues)) {
        return result;
    }
    Control* control = findControl(handle, controlId);
    if (control == nullptr) {
        return mixer::InvalidControl;
    }
    const std::uint32_t count = ValueCount(channels, items);
    if (values.size() < count) {
        return mixer::InvalidValue;
    }
    const std::vector<std::int32_t> before = control->values;
    control->values.assign(values.begin(), values.begin() + count);
    m_writes.push_back({m_open.at(handle), controlId, control->values});
    if (control->values != before) {
        post(m_open.at(handle), false, controlId);
    }
    return mixer::NoError;
}

int SimMixerService::listTexts(MixerHandle handle, std::uint32_t controlId, std::uint32_t channels,
                               std::uint32_t items, std::vector<MixerListText>& texts) {
    if (const int result = scripted(Call::ListTexts)) {
        return result;
    }
    Control* control = findControl(handle, controlId);
    if (control == nullptr || control->sourceNames.empty()) {
        return mixer::InvalidControl;
    }
    const Device& device = m_devices[m_open.at(handle)];
    texts.assign(ValueCount(channels, items), MixerListText{});
    for (std::size_t k = 0; k < texts.size(); ++k) {
        const std::string& name = control->sourceNames[k % control->sourceNames.size()];
        texts[k].name = name;
        for (const Destination& dest : device.destinations) {
            for (const Line& line : dest.sources) {
                if (line.line.name == name) {
                    texts[k].lineId = line.line.lineId;
                }
            }
        }
    }
    return mixer::NoError;
}

}  // namespace veruziva::sim
