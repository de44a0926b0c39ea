#include "instrument/trendsink.h"

#include "trend/trendrecorder.h"

namespace veruziva {

void TrendSink::blockMeasured(const MeasuredBlock& block) {
    const Readouts& readouts = block.readouts;
    const BlockSettings& settings = block.settings;
    TrendSample sample;
    sample.msSinceEpoch = block.msSinceEpoch;
    sample.unitA = settings.display.a.unitLetter;
    sample.unitB = settings.display.b.unitLetter;
    for (std::size_t k = 0; k < TrendReadingCount; ++k) {
        const std::size_t i = TrendReadings[k];
        sample.values[k] = {readouts.a.values[i], readouts.b.values[i]};
    }
    sample.levelMovedA = settings.levelMoved[0];
    sample.levelMovedB = settings.levelMoved[1];
    m_trend.add(sample);
}

}  // namespace veruziva
