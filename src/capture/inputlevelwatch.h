#pragma once

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
    bool moved() const { return m_moved; }
    // The line-in as it reads now (the default, all -1, when it cannot be read).
    LineLevel current() const;
    // Sets the kept level back; true when the mixer took it.
    bool restore();

    // Called when moved() changes.
    std::function<void()> onMovedChanged;

private:
    void setMoved(bool moved);

    TAudioMixer& m_mixer;
    std::function<int()> m_line;
    std::optional<LineLevel> m_kept;
    bool m_moved = false;
};

// The same level: volume of both channels and mute (or selection).
bool SameLevel(const LineLevel& a, const LineLevel& b);

}  // namespace veruziva
