#include "app/spectrumsink.h"

#include "analysis/liveanalysis.h"
#include "instrument/channelscale.h"

namespace veruziva {

void SpectrumSink::blockMeasured(const MeasuredBlock& block) {
    m_analysis.blockTaken(block.frames, ScaleOf(block.settings.display.a),
                          ScaleOf(block.settings.display.b));
}

}  // namespace veruziva
