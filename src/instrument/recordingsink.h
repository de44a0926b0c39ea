#pragma once

#include "instrument/blocksink.h"

namespace veruziva {

class RecordingControl;

// The recording as a block sink: a continual recording's bytes as they came, and a sampled
// recording's next row made fresh by each measured block.
class RecordingSink : public BlockSink {
public:
    explicit RecordingSink(RecordingControl& recording) : m_recording(recording) {}

    void blockTaken(std::span<const StereoFrame> frames) override;
    void blockMeasured(const MeasuredBlock& block) override;

private:
    RecordingControl& m_recording;
};

}  // namespace veruziva
