#pragma once

#include <string_view>

namespace veruziva {

// The trigger button and the two source buttons ("A", "B", one group).
class TriggerControls {
public:
    // Switches triggering on (channel A becomes the source) or off (the source buttons are
    // disabled and keep their down state).
    void TriggerEnableClick();
    // A press on a source button: it goes down and the other one up, when it is enabled.
    void pressSourceA();
    void pressSourceB();

    bool TriggerEnabled() const { return m_triggerEnabled; }
    std::string_view caption() const { return m_triggerEnabled ? "Trig.disable" : "Trigger"; }
    bool sourceAEnabled() const { return m_triggerEnabled; }
    bool sourceBEnabled() const { return m_triggerEnabled; }
    bool sourceADown() const { return m_sourceADown; }
    bool sourceBDown() const { return m_sourceBDown; }

private:
    bool m_triggerEnabled = false;
    bool m_sourceADown = false;
    bool m_sourceBDown = false;
};

}  // namespace veruziva
