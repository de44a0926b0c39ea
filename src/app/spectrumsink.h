#pragma once

#include "instrument/blocksink.h"

namespace veruziva {

class LiveAnalysis;

// Every block's frames to the analyzer, with each channel's scale as the block was measured.
class SpectrumSink : public BlockSink {
public:
    explicit SpectrumSink(LiveAnalysis& analysis) : m_analysis(analysis) {}
    void blockMeasured(const MeasuredBlock& block) override;

private:
    LiveAnalysis& m_analysis;
};

}  // namespace veruziva
