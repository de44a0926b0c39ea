#include "instrument/trendsink.h"

#include "trend/trendrecorder.h"

namespace veruziva {

void TrendSink::blockMeasured(const MeasuredBlock& block) {
    const Readouts& readouts = block.readouts;
    const BlockSettings& settings = block.settings;
    m_trend.add({block.msSinceEpoch, readouts.a.reading, readouts.b.reading,
                 settings.display.a.unitLetter, settings.display.b.unitLetter,
                 readouts.a.overloaded, readouts.b.overloaded, readouts.a.rms, readouts.b.rms,
                 settings.levelMoved[0], settings.levelMoved[1]});
}

}  // namespace veruziva
