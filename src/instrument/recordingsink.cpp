#include "instrument/recordingsink.h"

#include "recording/recordingcontrol.h"

namespace veruziva {

void RecordingSink::blockTaken(std::span<const StereoFrame> frames) {
    m_recording.AppendBlock(std::as_bytes(frames));
}

void RecordingSink::blockMeasured(const MeasuredBlock& /*block*/) {
    m_recording.BlockMeasured();
}

}  // namespace veruziva
