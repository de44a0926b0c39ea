#include "capture/inputlevelwatch.h"

#include "capture/inputselection.h"

namespace veruziva {

bool SameLevel(const LineLevel& a, const LineLevel& b) {
    return a.left == b.left && a.right == b.right && a.mute == b.mute;
}

std::array<bool, 2> MovedChannels(const LineLevel& kept, const LineLevel& now) {
    const auto differs = [](std::int32_t was, std::int32_t is) { return is >= 0 && is != was; };
    // Muted, or another line recorded: neither channel reads what it did.
    const bool both = differs(kept.mute, now.mute);
    return {both || differs(kept.left, now.left), both || differs(kept.right, now.right)};
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
    setMoved({false, false});
}

void InputLevelWatch::check() {
    if (!m_kept) {
        return;
    }
    const LineLevel now = current();
    if (now.left < 0 && now.mute < 0) {
        return;  // it cannot be read now (the source has gone): nothing to say of its level
    }
    setMoved(MovedChannels(*m_kept, now));
}

bool InputLevelWatch::restore() {
    const int line = m_line();
    if (!m_kept || line < 0 ||
        !m_mixer.SetLineLevel(LineInDestination, line, m_kept->left, m_kept->right, m_kept->mute)) {
        return false;
    }
    check();
    return !moved();
}

void InputLevelWatch::setMoved(std::array<bool, 2> moved) {
    if (moved != m_moved) {
        m_moved = moved;
        if (onMovedChanged) {
            onMovedChanged();
        }
    }
}

}  // namespace veruziva
