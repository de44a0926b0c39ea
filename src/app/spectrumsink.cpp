#include "app/spectrumsink.h"

#include "analysis/liveanalysis.h"

namespace veruziva {

ChannelScale ScaleOf(const ChannelDisplay& display) {
    ChannelScale scale;
    scale.factor = display.calibrated ? display.factor : 0.0;
    scale.unit = display.unitLetter == 'A' ? 'A' : 'V';
    scale.zero = display.zero;
    return scale;
}

void SpectrumSink::blockMeasured(const MeasuredBlock& block) {
    m_analysis.blockTaken(block.frames, ScaleOf(block.settings.display.a),
                          ScaleOf(block.settings.display.b));
}

}  // namespace veruziva
