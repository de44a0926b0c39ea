#pragma once

#include "instrument/blocksink.h"
#include "scope/window/livescope.h"

namespace veruziva {

// Every block's frames to the measuring scope, with each channel's scale as the block was
// measured; it holds the scope's data, which costs nothing until its window first opens.
class ScopeSink : public BlockSink {
public:
    void blockMeasured(const MeasuredBlock& block) override;
    LiveScope& live() { return m_live; }

private:
    LiveScope m_live;
};

}  // namespace veruziva
