#include "measurement/triggercontrols.h"

namespace veruziva {

void TriggerControls::TriggerEnableClick() {
    if (m_triggerEnabled) {
        m_triggerEnabled = false;
        return;
    }
    m_triggerEnabled = true;
    m_sourceADown = true;
    m_sourceBDown = false;
}

void TriggerControls::pressSourceA() {
    if (m_triggerEnabled) {
        m_sourceADown = true;
        m_sourceBDown = false;
    }
}

void TriggerControls::pressSourceB() {
    if (m_triggerEnabled) {
        m_sourceADown = false;
        m_sourceBDown = true;
    }
}

}  // namespace veruziva
