#include "scope/window/livescope.h"

namespace veruziva {

void LiveScope::blockTaken(std::span<const StereoFrame> frames, const ChannelScale& a,
                           const ChannelScale& b) {
    m_scales = {a, b};
    if (!m_acquisition) {
        return;
    }
    m_acquisition->addFrames(frames);
    if (m_listener) {
        m_listener();
    }
}

ScopeAcquisition& LiveScope::acquisition() {
    if (!m_acquisition) {
        m_acquisition = std::make_unique<ScopeAcquisition>();
    }
    return *m_acquisition;
}

}  // namespace veruziva
