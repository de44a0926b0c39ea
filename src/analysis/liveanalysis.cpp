#include "analysis/liveanalysis.h"

namespace veruziva {

SampleClockStore::~SampleClockStore() = default;

void LiveAnalysis::blockTaken(std::span<const StereoFrame> frames, const ChannelScale& a,
                              const ChannelScale& b) {
    m_analyzer.addFrames(frames);
    m_scales = {a, b};
}

}  // namespace veruziva
