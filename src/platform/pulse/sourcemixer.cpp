#include "platform/pulse/sourcemixer.h"

#include <algorithm>

namespace veruziva::pulse {
namespace {

constexpr std::int32_t FullLevel = 65535;
constexpr std::uint64_t NormalVolume = 0x10000U;  // the server's 100 %
constexpr std::uint64_t MaxVolume = 0x7FFFFFFFU;  // the server's own limit (PA_VOLUME_MAX)

// A stereo source has a level per channel; any other is one level for all its channels.
std::uint32_t LineChannels(const SourceInfo& source) {
    return source.volume.size() == 2 ? 2 : 1;
}

}  // namespace

std::uint32_t ServerVolume(std::int32_t level) {
    const auto positive = static_cast<std::uint64_t>(std::max(level, 0));
    return static_cast<std::uint32_t>(
        std::min((positive * NormalVolume + FullLevel / 2) / FullLevel, MaxVolume));
}

std::int32_t LevelOfServerVolume(std::uint32_t volume) {
    const std::uint64_t level =
        (std::min<std::uint64_t>(volume, MaxVolume) * FullLevel + NormalVolume / 2) / NormalVolume;
    return static_cast<std::int32_t>(level);
}

SourceMixer::SourceMixer(const SourceInfo& source) {
    const std::uint32_t channels = LineChannels(source);
    const bool uniform = channels == 1;
    m_lines.push_back(makeLine(0, 0, true, "Playback", 2));
    Line recording = makeLine(1, 0, true, "Recording", channels);
    addControl(recording, Kind::Volume, std::nullopt, uniform, "Recording Volume");
    addControl(recording, Kind::SourceMute, std::nullopt, true, "Recording Mute");
    const std::vector<std::string> names = LineNames(source);
    for (std::size_t k = 0; k < names.size(); ++k) {
        const std::string& name = names[k];
        const std::optional<std::string> port =
            k < source.ports.size() ? std::optional(source.ports[k].name) : std::nullopt;
        Line line = makeLine(1, static_cast<std::uint32_t>(recording.sources.size()), false, name,
                             channels);
        // The mute first: switching the port comes before the volume is set on it.
        addControl(line, Kind::PortMute, port, true, name + " Mute");
        addControl(line, Kind::Volume, std::nullopt, uniform, name + " Volume");
        recording.sources.push_back(std::move(line));
    }
    recording.line.connections = static_cast<std::uint32_t>(recording.sources.size());
    m_lines.push_back(std::move(recording));
}

SourceMixer::Line SourceMixer::makeLine(std::uint32_t destination, std::uint32_t source,
                                        bool isDestination, const std::string& name,
                                        std::uint32_t channels) const {
    Line line;
    line.line.destination = destination;
    line.line.source = source;
    line.line.lineId = isDestination ? mixer::DestinationLineId(destination)
                                     : mixer::SourceLineId(destination, source);
    line.line.channels = channels;
    line.line.shortName = FitUtf8(name, 15);
    line.line.name = FitUtf8(name, 63);
    return line;
}

void SourceMixer::addControl(Line& line, Kind kind, std::optional<std::string> port, bool uniform,
                             const std::string& name) {
    MixerControlInfo info;
    info.controlId = static_cast<std::uint32_t>(m_controls.size() + 1);
    info.type = kind == Kind::Volume ? mixer::VolumeControl : mixer::MuteControl;
    info.flags = uniform ? mixer::UniformFlag : 0;
    info.maximum = kind == Kind::Volume ? FullLevel : 1;
    info.shortName = FitUtf8(name, 15);
    info.name = FitUtf8(name, 63);
    m_controls.push_back({kind, std::move(port)});
    line.controls.push_back(info);
    line.line.controls = static_cast<std::uint32_t>(line.controls.size());
}

const MixerLine* SourceMixer::destination(std::uint32_t destination) const {
    return destination < m_lines.size() ? &m_lines[destination].line : nullptr;
}

const MixerLine* SourceMixer::source(std::uint32_t destination, std::uint32_t source) const {
    if (destination >= m_lines.size() || source >= m_lines[destination].sources.size()) {
        return nullptr;
    }
    return &m_lines[destination].sources[source].line;
}

const std::vector<MixerControlInfo>* SourceMixer::controls(std::uint32_t lineId) const {
    for (const Line& destination : m_lines) {
        if (destination.line.lineId == lineId) {
            return &destination.controls;
        }
        for (const Line& source : destination.sources) {
            if (source.line.lineId == lineId) {
                return &source.controls;
            }
        }
    }
    return nullptr;
}

const SourceMixer::Control* SourceMixer::control(std::uint32_t controlId) const {
    return controlId == 0 || controlId > m_controls.size() ? nullptr : &m_controls[controlId - 1];
}

ControlValues SourceMixer::values(const SourceInfo& now) const {
    ControlValues values;
    const auto take = [&](const Line& line) {
        for (const MixerControlInfo& info : line.controls) {
            const std::uint32_t channels =
                (info.flags & mixer::UniformFlag) != 0 ? 1 : line.line.channels;
            read(now, info.controlId, channels, 0, values[info.controlId]);
        }
    };
    for (const Line& destination : m_lines) {
        take(destination);
        for (const Line& source : destination.sources) {
            take(source);
        }
    }
    return values;
}

int SourceMixer::read(const SourceInfo& now, std::uint32_t controlId, std::uint32_t channels,
                      std::uint32_t items, std::vector<std::int32_t>& values) const {
    const Control* found = control(controlId);
    if (found == nullptr) {
        return mixer::InvalidControl;
    }
    const std::uint32_t count = std::max<std::uint32_t>(channels, 1);
    values.assign(count * std::max<std::uint32_t>(items, 1), 0);
    for (std::size_t i = 0; i < values.size(); ++i) {
        switch (found->kind) {
            case Kind::Volume:
                if (LineChannels(now) == 2) {
                    values[i] = LevelOfServerVolume(now.volume[i % count % 2]);
                } else if (!now.volume.empty()) {
                    values[i] = LevelOfServerVolume(
                        *std::max_element(now.volume.begin(), now.volume.end()));
                }
                break;
            case Kind::SourceMute:
                values[i] = now.mute ? 1 : 0;
                break;
            case Kind::PortMute: {
                const bool active = !found->port || now.activePort == *found->port;
                values[i] = active && !now.mute ? 0 : 1;
                break;
            }
        }
    }
    return mixer::NoError;
}

int SourceMixer::write(const SourceInfo& now, std::uint32_t controlId, std::uint32_t channels,
                       std::uint32_t items, const std::vector<std::int32_t>& values,
                       SourceChange& change) const {
    const Control* found = control(controlId);
    if (found == nullptr) {
        return mixer::InvalidControl;
    }
    const std::uint32_t count = std::max<std::uint32_t>(channels, 1);
    if (values.size() < count * std::max<std::uint32_t>(items, 1)) {
        return mixer::InvalidValue;
    }
    change = SourceChange{};
    switch (found->kind) {
        case Kind::Volume: {
            std::vector<std::uint32_t> volume(std::max<std::size_t>(now.volume.size(), 1),
                                              ServerVolume(values[0]));
            if (volume.size() == 2 && count >= 2) {
                volume[1] = ServerVolume(values[1]);
            }
            change.volume = std::move(volume);
            break;
        }
        case Kind::SourceMute:
            change.mute = values[0] != 0;
            break;
        case Kind::PortMute: {
            const bool active = !found->port || now.activePort == *found->port;
            if (values[0] == 0) {
                if (!active) {
                    change.port = found->port;
                }
                change.mute = false;
            } else if (active) {
                // Muting a port that is not in use would silence the one that is.
                change.mute = true;
            }
            break;
        }
    }
    return mixer::NoError;
}

}  // namespace veruziva::pulse
