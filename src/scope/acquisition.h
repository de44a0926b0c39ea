#pragma once

#include <QPointF>
#include <cstdint>
#include <span>
#include <vector>

#include "scope/triggerdetector.h"

namespace veruziva {

// One acquisition: the span's samples of both channels (in raw units) and where the span and
// its trigger lie among them, in frames after the first sample, fractions included.
struct Acquisition {
    std::vector<float> a;
    std::vector<float> b;
    std::int64_t firstFrame = 0;  // the first sample's index since capture began
    double spanFrames = 0.0;
    double leftEdge = 0.0;       // negative while a rolling trace has not filled its span
    double triggerOffset = 0.0;  // where the trigger is, or would be when none was found
    bool triggered = false;
    std::uint64_t count = 0;  // the acquisitions made before it and it
    int averaged = 1;         // the acquisitions in an average

    std::span<const float> trace(ScopeChannel channel) const {
        return channel == ScopeChannel::A ? a : b;
    }
    bool empty() const { return a.empty(); }
};

// A's samples across, B's up, for the XY display.
std::vector<QPointF> XyPairs(const Acquisition& acquisition);

}  // namespace veruziva
