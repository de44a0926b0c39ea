#pragma once

#include "analysis/tonemeasurement.h"
#include "instrument/blocksink.h"

namespace veruziva {

class LiveAnalysis;

// A channel's scale as its display stands: the factor while it reads volts or amperes.
ChannelScale ScaleOf(const ChannelDisplay& display);

// Every block's frames to the analyzer, with each channel's scale as the block was measured.
class SpectrumSink : public BlockSink {
public:
    explicit SpectrumSink(LiveAnalysis& analysis) : m_analysis(analysis) {}
    void blockMeasured(const MeasuredBlock& block) override;

private:
    LiveAnalysis& m_analysis;
};

}  // namespace veruziva
