#include "mixer/audiomixer.h"

#include <algorithm>

namespace veruziva {
namespace {

bool Has(std::uint32_t flags, std::uint32_t flag) {
    return (flags & flag) != 0;
}

// Channels of a value query: 1 for a uniform control, the line's count otherwise.
std::uint32_t ChannelsFor(const MixerControlInfo& control, const MixerLine& line) {
    return Has(control.flags, mixer::UniformFlag) ? 1 : line.channels;
}

}  // namespace

const MixerControlInfo* TMixerControls::ControlAt(int index) const {
    if (index < 0 || index >= ControlCount()) {
        return nullptr;
    }
    return &m_items[static_cast<std::size_t>(index)];
}

const TMixerConnection* TMixerConnections::ConnectionAt(int index) const {
    if (index < 0 || index >= ConnectionCount()) {
        return nullptr;
    }
    return m_items[static_cast<std::size_t>(index)].get();
}

const TMixerDestination* TMixerDestinations::DestinationAt(int index) const {
    if (index < 0 || index >= DestinationCount()) {
        return nullptr;
    }
    return m_items[static_cast<std::size_t>(index)].get();
}

TAudioMixer::TAudioMixer(MixerService& service)
    : m_service(service), m_mixerCount(static_cast<int>(service.deviceCount())) {
    if (m_mixerCount > 0) {
        setMixerId(0);
    } else {
        m_destinations = std::make_unique<TMixerDestinations>();
    }
}

TAudioMixer::~TAudioMixer() {
    CloseMixer();
}

void TAudioMixer::NotifyWindow::lineChanged(MixerHandle handle, std::uint32_t lineId) {
    // A copy: the handler may set another one.
    if (const TMixerChange handler = m_owner.OnLineChange) {
        handler(m_owner, static_cast<std::int32_t>(handle), static_cast<std::int32_t>(lineId));
    }
}

void TAudioMixer::NotifyWindow::controlChanged(MixerHandle handle, std::uint32_t controlId) {
    // A copy: the handler may set another one.
    if (const TMixerChange handler = m_owner.OnControlChange) {
        handler(m_owner, static_cast<std::int32_t>(handle), static_cast<std::int32_t>(controlId));
    }
}

void TAudioMixer::CloseMixer() {
    if (m_mixerId >= 0) {
        m_service.close(m_mixerHandle);
        m_mixerId = -1;
        m_notifying = false;
    }
    m_destinations.reset();
}

void TAudioMixer::setMixerId(int n) {
    if (n < 0 || n >= m_mixerCount) {
        return;
    }
    CloseMixer();
    const auto device = static_cast<unsigned>(n);
    // Twice with change messages, then once without.
    m_notifying = m_service.open(m_mixerHandle, device, &m_notifyWindow) == mixer::NoError ||
                  m_service.open(m_mixerHandle, device, &m_notifyWindow) == mixer::NoError;
    if (!m_notifying && m_service.open(m_mixerHandle, device, nullptr) != mixer::NoError) {
        m_mixerId = -1;
        m_destinations = std::make_unique<TMixerDestinations>();
        return;
    }
    m_mixerId = n;
    m_service.caps(device, m_caps);
    m_manufacturer = m_caps.manufacturerId == 1
                         ? std::string("Microsoft")
                         : std::to_string(m_caps.manufacturerId) + " = Unknown";
    m_driverVersion = m_caps.driverVersion;
    m_productId = m_caps.productId;
    m_productName = m_caps.productName;
    m_numberOfLine = static_cast<std::int32_t>(m_caps.destinations);
    m_destinations = takeSnapshot();
}

void TAudioMixer::readControls(const MixerLine& line, TMixerControls& controls) {
    if (line.controls == 0) {
        return;
    }
    std::vector<MixerControlInfo> block;
    if (m_service.lineControls(m_mixerHandle, line.lineId, block) == mixer::NoError) {
        controls.m_items = std::move(block);
    }
}

std::unique_ptr<TMixerDestinations> TAudioMixer::takeSnapshot() {
    auto destinations = std::make_unique<TMixerDestinations>();
    for (std::uint32_t i = 0; i < m_caps.destinations; ++i) {
        MixerLine line;
        if (m_service.lineByDestination(m_mixerHandle, i, line) != mixer::NoError) {
            continue;  // later destinations move up
        }
        auto destination = std::make_unique<TMixerDestination>();
        destination->LineInfo = line;
        for (std::uint32_t j = 0; j < line.connections; ++j) {
            MixerLine source;
            if (m_service.lineBySource(m_mixerHandle, line.destination, j, source) !=
                mixer::NoError) {
                continue;
            }
            auto connection = std::make_unique<TMixerConnection>();
            connection->LineInfo = source;
            readControls(source, connection->Controls);
            destination->Connections.m_items.push_back(std::move(connection));
        }
        readControls(line, destination->Controls);
        destinations->m_items.push_back(std::move(destination));
    }
    return destinations;
}

bool TAudioMixer::lineOf(int destination, int line, const TMixerDestination*& dest,
                         const MixerLine*& info, const TMixerControls*& controls) const {
    if (!m_destinations) {
        return false;
    }
    dest = m_destinations->DestinationAt(destination);
    if (dest == nullptr) {
        return false;
    }
    if (line == -1) {
        info = &dest->LineInfo;
        controls = &dest->Controls;
        return true;
    }
    const TMixerConnection* connection = dest->Connections.ConnectionAt(line);
    if (connection == nullptr) {
        return false;
    }
    info = &connection->LineInfo;
    controls = &connection->Controls;
    return true;
}

bool TAudioMixer::queryValues(const MixerControlInfo& control, std::uint32_t channels,
                              std::uint32_t items, std::vector<std::int32_t>& values) const {
    if (std::max<std::uint32_t>(channels, 1) * std::max<std::uint32_t>(items, 1) >
        ValueBufferSize) {
        return false;  // beyond the component
    }
    return m_service.controlValues(m_mixerHandle, control.controlId, channels, items, values) ==
               mixer::NoError &&
           !values.empty();
}

int TAudioMixer::findListEntry(const MixerControlInfo& control, std::uint32_t channels,
                               std::uint32_t lineId) const {
    std::vector<MixerListText> texts;
    if (m_service.listTexts(m_mixerHandle, control.controlId, channels, control.items, texts) !=
        mixer::NoError) {
        return -1;
    }
    const std::uint32_t step = std::max<std::uint32_t>(channels, 1);
    for (std::uint32_t k = step - 1; k < control.items && k <= MaxListEntry && k < texts.size();
         k += step) {
        if (texts[k].lineId == lineId) {
            return static_cast<int>(k);
        }
    }
    return -1;
}

bool TAudioMixer::GetLineLevel(int destination, int line, LineLevel& level) const {
    if (!m_destinations) {
        return false;
    }
    level = LineLevel{};
    const TMixerDestination* dest = nullptr;
    const MixerLine* info = nullptr;
    const TMixerControls* controls = nullptr;
    if (!lineOf(destination, line, dest, info, controls)) {
        return false;
    }
    for (int i = 0; i < controls->ControlCount() && (level.left == -1 || level.mute == -1); ++i) {
        const MixerControlInfo& control = *controls->ControlAt(i);
        const bool volume = control.type == mixer::VolumeControl;
        const bool mute = control.type == mixer::MuteControl;
        if ((!volume && !mute) || Has(control.flags, mixer::MultipleFlag)) {
            continue;
        }
        const std::uint32_t channels = ChannelsFor(control, *info);
        std::vector<std::int32_t> values;
        if (!queryValues(control, channels, 0, values)) {
            continue;
        }
        if (volume && level.left == -1) {
            level.volumeDisabled = Has(control.flags, mixer::DisabledFlag);
            level.left = values[0];
            if (channels > 1 && values.size() > 1) {
                level.right = values[1];
                level.stereo = true;
            } else {
                level.right = values[0];
            }
        } else if (mute && level.mute == -1) {
            level.muteDisabled = Has(control.flags, mixer::DisabledFlag);
            level.mute = values[0] != 0 ? 1 : 0;
        }
    }
    if (level.mute != -1 || line == -1) {
        return true;
    }
    // A source without a mute control of its own: its entry in the destination's selector.
    for (int i = 0; i < dest->Controls.ControlCount() && level.mute == -1; ++i) {
        const MixerControlInfo& control = *dest->Controls.ControlAt(i);
        if ((control.type & mixer::ClassMask) != mixer::ListClass) {
            continue;
        }
        const std::uint32_t channels = ChannelsFor(control, dest->LineInfo);
        const std::uint32_t items = Has(control.flags, mixer::MultipleFlag) ? control.items : 0;
        std::vector<std::int32_t> values;
        if (!queryValues(control, channels, items, values)) {
            continue;
        }
        const int k = findListEntry(control, channels, info->lineId);
        if (k >= 0 && static_cast<std::size_t>(k) < values.size()) {
            level.mute = values[static_cast<std::size_t>(k)];
            level.muteDisabled = Has(control.flags, mixer::DisabledFlag);
            level.isSelection = true;
        }
    }
    return true;
}

bool TAudioMixer::SetLineLevel(int destination, int line, std::int32_t left, std::int32_t right,
                               std::int32_t mute) {
    const TMixerDestination* dest = nullptr;
    const MixerLine* info = nullptr;
    const TMixerControls* controls = nullptr;
    if (!lineOf(destination, line, dest, info, controls)) {
        return false;
    }
    bool volumeDone = left == -1;
    bool muteDone = mute == -1;
    for (int i = 0; i < controls->ControlCount() && !(volumeDone && muteDone); ++i) {
        const MixerControlInfo& control = *controls->ControlAt(i);
        if (Has(control.flags, mixer::MultipleFlag)) {
            continue;
        }
        const bool volume = control.type == mixer::VolumeControl && !volumeDone;
        const bool muting = control.type == mixer::MuteControl && !muteDone;
        if (!volume && !muting) {
            continue;
        }
        const std::uint32_t channels = ChannelsFor(control, *info);
        std::vector<std::int32_t> values(std::max<std::uint32_t>(channels, 1));
        if (volume) {
            values[0] = left;
            if (values.size() > 1) {
                values[1] = right == -1 ? left : right;
            }
            volumeDone = true;
        } else {
            std::fill(values.begin(), values.end(), mute);
            muteDone = true;
        }
        m_service.setControlValues(m_mixerHandle, control.controlId, channels, 0, values);
    }
    if (muteDone || line == -1) {
        return true;
    }
    // No mute control of its own: select or deselect the source in the destination's selector.
    for (int i = 0; i < dest->Controls.ControlCount() && !muteDone; ++i) {
        const MixerControlInfo& control = *dest->Controls.ControlAt(i);
        if (control.type != mixer::MixerControl && control.type != mixer::MuxControl) {
            continue;
        }
        muteDone = true;
        const std::uint32_t channels = ChannelsFor(control, dest->LineInfo);
        const std::uint32_t items = Has(control.flags, mixer::MultipleFlag) ? control.items : 0;
        std::vector<std::int32_t> values;
        if (!queryValues(control, channels, items, values)) {
            values.assign(std::max<std::uint32_t>(channels, 1) * std::max<std::uint32_t>(items, 1),
                          0);
        }
        if (control.type == mixer::MuxControl) {
            std::fill(values.begin(), values.end(), 0);
        }
        const int k = findListEntry(control, channels, info->lineId);
        if (k >= 0 && static_cast<std::size_t>(k) < values.size()) {
            values[static_cast<std::size_t>(k)] = mute;
            m_service.setControlValues(m_mixerHandle, control.controlId, channels, items, values);
        }
    }
    return true;
}

}  // namespace veruziva
