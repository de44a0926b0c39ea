#pragma once

#include "analysis/liveanalysis.h"

namespace veruziva {

class MessageBoxes;
class SettingsStore;
struct CalibrationState;

// The program's sample clock correction: the one loaded at start-up, kept in the calibration's
// state, a new one written to the settings store before it is put in force.
class StoredSampleClock : public SampleClockStore {
public:
    StoredSampleClock(CalibrationState& state, SettingsStore& settings, MessageBoxes& boxes)
        : m_state(state), m_settings(settings), m_boxes(boxes) {}
    double ppm() const override;
    bool store(double ppm) override;

private:
    CalibrationState& m_state;
    SettingsStore& m_settings;
    MessageBoxes& m_boxes;
};

}  // namespace veruziva
