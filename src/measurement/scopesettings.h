#pragma once

namespace veruziva {

// What one pass of the oscilloscope reads from the scope's controls. The window fills it from
// its check boxes, scroll bars and buttons; tools fill it from their options.
struct ScopeSettings {
    bool showA = true;  // "A" enable box
    bool showB = true;  // "B" enable box
    int offsetA = 0;    // offset bar position, -128 to 128 (top end moves the trace up)
    int offsetB = 0;
    int attenuationA = 0;  // attenuation bar position, 0 to 100 percent
    int attenuationB = 0;
    int triggerLevelPositionA = 16000;  // trigger level bar position: level = 16000 - position
    int triggerLevelPositionB = 16000;
    bool triggerSourceAEnabled = false;  // trigger source buttons: enabled and down states
    bool triggerSourceBEnabled = false;
    bool triggerSourceADown = false;
    bool triggerSourceBDown = false;
    int columnStep = 1;  // frames per pixel column: 1 ("1:1") or 8 ("1:8")
};

inline constexpr int TriggerLevelTop = 16000;

}  // namespace veruziva
