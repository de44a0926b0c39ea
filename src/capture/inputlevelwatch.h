#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <optional>

#include "mixer/audiomixer.h"

namespace veruziva {

// Keeps an eye on the line input's level, mute and selection: a calibration turns raw units into
// volts only at the level it was made at, so anything that moves it (the desktop's sound
// settings, another mixer program, a server restoring a saved volume) makes the readings wrong.
// The component's change messages say when to look.
class InputLevelWatch {
public:
    // `line` gives the line-in's index among the source lines of the recording destination
    // (-1: none).
    InputLevelWatch(TAudioMixer& mixer, std::function<int()> line);

    // The program has just set the line-in: the level it reads now is the one to keep.
    void levelSet();
    // Looks at the line-in again (on a change message).
    void check();
    // The line-in is no longer at the level kept.
    bool moved() const { return m_moved[0] || m_moved[1]; }
    // Channel A's (0) or B's (1) level is not the one kept: a volume of that channel moved, or
    // the line was muted or another line became the one recorded (both channels then).
    bool moved(std::size_t channel) const { return m_moved[channel]; }
    // The line-in as it reads now (the default, all -1, when it cannot be read).
    LineLevel current() const;
    // Sets the kept level back; true when the mixer took it.
    bool restore();

    // Called when moved() of either channel changes.
    std::function<void()> onMovedChanged;

private:
    void setMoved(std::array<bool, 2> moved);

    TAudioMixer& m_mixer;
    std::function<int()> m_line;
    std::optional<LineLevel> m_kept;
    std::array<bool, 2> m_moved{false, false};
};

// The same level: volume of both channels and mute (or selection).
bool SameLevel(const LineLevel& a, const LineLevel& b);
// Which channels of `now` differ from `kept`. What cannot be read now (-1: a control that
// failed, a line gone) is not taken as moved: nothing is known of it.
std::array<bool, 2> MovedChannels(const LineLevel& kept, const LineLevel& now);

}  // namespace veruziva
