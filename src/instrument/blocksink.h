#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "measurement/displayparameters.h"
#include "measurement/readouts.h"
#include "measurement/scopesettings.h"
#include "platform/captureformat.h"

namespace veruziva {

class Oscilloscope;

// How the next block is measured and drawn, as the controls (or the tool's options) stand.
struct BlockSettings {
    DisplayParameters display;
    PassSettings pass;
    // The scope the block is drawn on, with its settings; none: the block is only measured.
    Oscilloscope* scope = nullptr;
    ScopeSettings scopeSettings;
    // Per channel (A, B): the readings are taken at a line-in level moved from the one they
    // hold at; the trend sets them apart.
    std::array<bool, 2> levelMoved{false, false};
};

// One block as its sinks are told it, once it is measured.
struct MeasuredBlock {
    std::span<const StereoFrame> frames;
    const Readouts& readouts;
    const BlockSettings& settings;
    std::int64_t msSinceEpoch;
};

// Whatever takes every block from the handler: the recording, the input watch, the trend, a
// view's data. Sinks are told in the order they were added.
class BlockSink {
public:
    virtual ~BlockSink();
    // Every done block, an empty one too, before it is measured: the bytes as they came, for
    // whoever stores them untouched.
    virtual void blockTaken(std::span<const StereoFrame> frames);
    virtual void blockMeasured(const MeasuredBlock& block) = 0;
};

}  // namespace veruziva
