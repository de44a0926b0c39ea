#pragma once

#include "instrument/blocksink.h"

namespace veruziva {

class TrendRecorder;

// The trend as a block sink: every measured block's readings, at the block's time.
class TrendSink : public BlockSink {
public:
    explicit TrendSink(TrendRecorder& trend) : m_trend(trend) {}

    void blockMeasured(const MeasuredBlock& block) override;

private:
    TrendRecorder& m_trend;
};

}  // namespace veruziva
