#include "app/scopesink.h"

#include "instrument/channelscale.h"

namespace veruziva {

void ScopeSink::blockMeasured(const MeasuredBlock& block) {
    m_live.blockTaken(block.frames, ScaleOf(block.settings.display.a),
                      ScaleOf(block.settings.display.b));
}

}  // namespace veruziva
