#include "app/storedsampleclock.h"

#include "calibration/calibrationstate.h"
#include "calibration/storedsettings.h"

namespace veruziva {

double StoredSampleClock::ppm() const {
    return m_state.SampleClockPpm;
}

bool StoredSampleClock::store(double ppm) {
    if (!SaveSampleClock(m_settings, ppm, m_boxes)) {
        return false;
    }
    m_state.SampleClockPpm = ppm;
    return true;
}

}  // namespace veruziva
