#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/captureformat.h"

namespace veruziva {

enum class ScopeChannel { A, B };
enum class TriggerSlope { Rising, Falling };

struct TriggerCondition {
    ScopeChannel source = ScopeChannel::A;
    double level = 0.0;  // raw sample units
    TriggerSlope slope = TriggerSlope::Rising;
    // The signal goes below level - hysteresis (rising; above level + hysteresis falling)
    // before it may trigger again, so that noise on a slow edge triggers once.
    double hysteresis = 0.0;
};

// Finds the trigger's crossings in the frames as they come, blocks joined: each one's instant
// interpolated between the samples either side, in frames since the first.
class TriggerDetector {
public:
    void setCondition(const TriggerCondition& condition);
    // Forgets the samples seen: the signal must go beyond the hysteresis again first.
    void reset();
    // The crossings in frames that follow those scanned before; `first` is the index of the
    // first. The list is reused by the next scan.
    const std::vector<double>& scan(std::span<const StereoFrame> frames, std::int64_t first);

private:
    TriggerCondition m_condition;
    std::vector<double> m_crossings;
    bool m_armed = false;
    bool m_havePrevious = false;
    double m_previous = 0.0;
};

}  // namespace veruziva
