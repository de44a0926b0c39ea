#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/mixerchanges.h"
#include "platform/mixerservice.h"
#include "platform/pulse/pulsesources.h"

namespace veruziva::pulse {

// What writing a control asks of the server, carried out in this order: the port first, so
// that the volume written after it lands on the port that is then active.
struct SourceChange {
    std::optional<std::string> port;  // make this port the active one
    std::optional<bool> mute;
    std::optional<std::vector<std::uint32_t>> volume;  // per channel, in the server's units
};

// The server's volume for a level of 0 to 65535 (100 % at 65535), and back; linear. A desktop
// may boost a source past 100 %: that reads as a level above 65535, the controls' maximum, so
// that it differs from full, and writing it back sets the same boost.
std::uint32_t ServerVolume(std::int32_t level);
std::int32_t LevelOfServerVolume(std::uint32_t volume);

// The mixer the instrument sees on one source. Destination 0, "Playback", is empty: a source
// plays nothing. Destination 1, "Recording", carries the source's volume and mute; its source
// lines are the source's ports (a source without ports has one line named after it). A port's
// mute reads 0 exactly when the port is the active one and the source is not muted; writing 0
// makes the port active and unmutes the source, writing 1 mutes the source when that port is
// the active one. Every line's volume is the source's volume.
class SourceMixer {
public:
    explicit SourceMixer(const SourceInfo& source);

    std::uint32_t destinationCount() const { return static_cast<std::uint32_t>(m_lines.size()); }
    const MixerLine* destination(std::uint32_t destination) const;
    const MixerLine* source(std::uint32_t destination, std::uint32_t source) const;
    const std::vector<MixerControlInfo>* controls(std::uint32_t lineId) const;

    // Reads a control from the source's present state.
    int read(const SourceInfo& now, std::uint32_t controlId, std::uint32_t channels,
             std::uint32_t items, std::vector<std::int32_t>& values) const;
    // Every control's values in the source's present state, as the component reads them.
    ControlValues values(const SourceInfo& now) const;
    // What writing the values asks of the source in its present state.
    int write(const SourceInfo& now, std::uint32_t controlId, std::uint32_t channels,
              std::uint32_t items, const std::vector<std::int32_t>& values,
              SourceChange& change) const;

private:
    enum class Kind { Volume, SourceMute, PortMute };
    struct Control {
        Kind kind = Kind::Volume;
        std::optional<std::string> port;  // the port a port line stands for
    };
    struct Line {
        MixerLine line;
        std::vector<MixerControlInfo> controls;
        std::vector<Line> sources;
    };

    Line makeLine(std::uint32_t destination, std::uint32_t source, bool isDestination,
                  const std::string& name, std::uint32_t channels) const;
    void addControl(Line& line, Kind kind, std::optional<std::string> port, bool uniform,
                    const std::string& name);
    const Control* control(std::uint32_t controlId) const;

    std::vector<Line> m_lines;  // the destinations
    std::vector<Control> m_controls;
};

}  // namespace veruziva::pulse
