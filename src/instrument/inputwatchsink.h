#pragma once

#include "instrument/blocksink.h"

namespace veruziva {

class InputWatch;

// The input watch as a block sink: every measured block shows the input delivers.
class InputWatchSink : public BlockSink {
public:
    explicit InputWatchSink(InputWatch& watch) : m_watch(watch) {}

    void blockMeasured(const MeasuredBlock& block) override;

private:
    InputWatch& m_watch;
};

}  // namespace veruziva
