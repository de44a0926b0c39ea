#include "scope/triggerdetector.h"

#include <algorithm>

namespace veruziva {

void TriggerDetector::setCondition(const TriggerCondition& condition) {
    m_condition = condition;
    reset();
}

void TriggerDetector::reset() {
    m_armed = false;
    m_havePrevious = false;
}

const std::vector<double>& TriggerDetector::scan(std::span<const StereoFrame> frames,
                                                 std::int64_t first) {
    m_crossings.clear();
    // A falling edge is a rising one of the negated signal.
    const double sign = m_condition.slope == TriggerSlope::Rising ? 1.0 : -1.0;
    const double level = sign * m_condition.level;
    const double arming = level - std::max(m_condition.hysteresis, 0.0);
    const bool onA = m_condition.source == ScopeChannel::A;
    std::int64_t index = first;
    for (const StereoFrame& frame : frames) {
        const double sample = sign * (onA ? frame.a : frame.b);
        if (m_armed && m_havePrevious && m_previous < level && sample >= level) {
            const double fraction = (level - m_previous) / (sample - m_previous);
            m_crossings.push_back(double(index - 1) + fraction);
            m_armed = false;
        }
        if (sample < arming) {
            m_armed = true;
        }
        m_previous = sample;
        m_havePrevious = true;
        ++index;
    }
    return m_crossings;
}

}  // namespace veruziva
