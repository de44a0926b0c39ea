#pragma once

#include "analysis/tonemeasurement.h"
#include "measurement/displayparameters.h"

namespace veruziva {

// How a channel's display turns raw units into volts or amperes, as the analyses take it: its
// factor and zero offset on a calibrated range, none (raw) otherwise.
ChannelScale ScaleOf(const ChannelDisplay& display);

}  // namespace veruziva
