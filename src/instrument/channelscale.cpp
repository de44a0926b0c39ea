#include "instrument/channelscale.h"

namespace veruziva {

ChannelScale ScaleOf(const ChannelDisplay& display) {
    ChannelScale scale;
    scale.factor = display.calibrated ? display.factor : 0.0;
    scale.unit = display.unitLetter == 'A' ? 'A' : 'V';
    scale.zero = display.zero;
    return scale;
}

}  // namespace veruziva
