#pragma once

#include <span>

#include "platform/captureformat.h"

namespace veruziva {

// An input that can be closed and opened for polling or for notifications, and from which
// blocks are grabbed one at a time (what the calibration needs of the capture).
class PolledInput {
public:
    virtual ~PolledInput();
    virtual void CloseWaveIn() = 0;
    virtual void OpenWaveInPolled() = 0;
    virtual void OpenWaveIn() = 0;
    virtual void GrabBlock() = 0;
    // The frames of the last grab.
    virtual std::span<const StereoFrame> GrabbedFrames() const = 0;
};

}  // namespace veruziva
