#include "scope/traceaverage.h"

#include <algorithm>

namespace veruziva {

void TraceAverage::setCount(int count) {
    m_count = std::max(count, 1);
    reset();
}

void TraceAverage::reset() {
    m_result.a.clear();
    m_result.b.clear();
    m_result.averaged = 0;
}

void TraceAverage::add(const Acquisition& acquisition) {
    if (m_result.averaged == 0 || m_result.a.size() != acquisition.a.size()) {
        m_result = acquisition;
        m_result.averaged = 1;
        return;
    }
    const int averaged = std::min(m_result.averaged + 1, m_count);
    const float weight = 1.0F / float(averaged);
    auto blend = [weight](std::vector<float>& mean, const std::vector<float>& next) {
        for (std::size_t n = 0; n < mean.size(); ++n) {
            mean[n] += (next[n] - mean[n]) * weight;
        }
    };
    blend(m_result.a, acquisition.a);
    blend(m_result.b, acquisition.b);
    const double offset = m_result.triggerOffset - m_result.leftEdge;
    m_result.leftEdge += (acquisition.leftEdge - m_result.leftEdge) * weight;
    m_result.triggerOffset = m_result.leftEdge + offset;
    m_result.firstFrame = acquisition.firstFrame;
    m_result.count = acquisition.count;
    m_result.averaged = averaged;
}

}  // namespace veruziva
