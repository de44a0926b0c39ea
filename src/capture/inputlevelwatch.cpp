#include "capture/inputlevelwatch.h"

#include "capture/inputselection.h"

namespace veruziva {

bool SameLevel(const LineLevel& a, const LineLevel& b) {
    return a.left == b.left && a.right == b.right && a.mute == b.mute;
}

InputLevelWatch::InputLevelWatch(TAudioMixer& mixer, std::function<int()> line)
    : m_mixer(mixer), m_line(std::move(line)) {}

LineLevel InputLevelWatch::current() const {
    LineLevel level;
    const int line = m_line();
    if (line < 0 || !m_mixer.GetLineLevel(LineInDestination, line, level)) {
        return LineLevel{};
    }
    return level;
}

void InputLevelWatch::levelSet() {
    const LineLevel now = current();
    // A line without a volume or mute to read has no level to keep.
    m_kept = now.left < 0 && now.mute < 0 ? std::nullopt : std::optional<LineLevel>(now);
    setMoved(false);
}

void InputLevelWatch::check() {
    if (!m_kept) {
        return;
    }
    const LineLevel now = current();
    if (now.left < 0 && now.mute < 0) {
        return;  // it cannot be read now (the source has gone): nothing to say of its level
    }
    setMoved(!SameLevel(now, *m_kept));
}

bool InputLevelWatch::restore() {
    const int line = m_line();
    if (!m_kept || line < 0 ||
        !m_mixer.SetLineLevel(LineInDestination, line, m_kept->left, m_kept->right, m_kept->mute)) {
        return false;
    }
    check();
    return !m_moved;
}

void InputLevelWatch::setMoved(bool moved) {
    if (moved != m_moved) {
        m_moved = moved;
        if (onMovedChanged) {
            onMovedChanged();
        }
    }
}

}  // namespace veruziva
