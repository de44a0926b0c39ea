#pragma once

#include <array>
#include <functional>
#include <memory>
#include <span>

#include "analysis/tonemeasurement.h"
#include "platform/captureformat.h"
#include "scope/scopeacquisition.h"

namespace veruziva {

// The measuring scope's data in the running program: the acquisitions from every block once the
// window was first opened (until then a block costs nothing and nothing is held), and each
// channel's scale as the newest block was measured with.
class LiveScope {
public:
    void blockTaken(std::span<const StereoFrame> frames, const ChannelScale& a,
                    const ChannelScale& b);
    // Made at the first call.
    ScopeAcquisition& acquisition();
    bool started() const { return m_acquisition != nullptr; }
    // Channel 0 is A (left), 1 is B (right).
    const ChannelScale& scale(int channel) const {
        return m_scales.at(static_cast<std::size_t>(channel));
    }
    // Told after each block the acquisitions took.
    void setListener(std::function<void()> listener) { m_listener = std::move(listener); }

private:
    std::unique_ptr<ScopeAcquisition> m_acquisition;
    std::array<ChannelScale, 2> m_scales;
    std::function<void()> m_listener;
};

}  // namespace veruziva
