#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "instrument/blocksink.h"
#include "measurement/readouts.h"
#include "platform/captureformat.h"

namespace veruziva {

class CaptureEngine;
class HeldBlockBoxes;

// Whoever shows or stores what the blocks give: the window, the meter tool, a test.
class BlockView {
public:
    virtual ~BlockView();
    // Asked as a block is about to be handled.
    virtual BlockSettings blockSettings() = 0;
    // Every done block, an empty one too, while it is held and after the recording had it.
    virtual void blockTaken(std::span<const StereoFrame> frames);
    // A block was measured: the readouts are its.
    virtual void blockMeasured(std::span<const StereoFrame> frames, const Readouts& readouts) = 0;
};

// The handling of a captured block, in the one order the window and the tool share: pending
// events first, then the done slot found and held, its bytes to the sinks (a continual
// recording) before any other use, the scope drawn and the block measured in one pass, the
// readout texts, the sinks told in the order they were added (the input watch, the recording,
// the trend), the view shown, and the slot given back (boxes raised meanwhile wait until then).
class BlockHandler {
public:
    // Without an engine, blocks that come from elsewhere (a file, a grab) are measured alone.
    BlockHandler(BlockView& view, std::string decimalSeparator, CaptureEngine* engine = nullptr);

    void setHeldBoxes(HeldBlockBoxes* boxes) { m_heldBoxes = boxes; }
    // Runs the pending events (clicks, repaints, further notifications) before a block is
    // looked for, as the window's dispatch would.
    void setPendingEvents(std::function<void()> dispatch) { m_pendingEvents = std::move(dispatch); }
    // Sinks may come and go while a block is handled (a view opened from a box's event loop):
    // one added then is told from the next block on, one removed is told nothing more.
    void addSink(BlockSink& sink);
    void removeSink(BlockSink& sink);

    // The capture's notification of a filled slot: true when a block was handled.
    bool BufferDone();
    // Measures a block that did not come through the ring.
    void measure(std::span<const StereoFrame> frames);

    const Readouts& readouts() const { return m_readouts; }
    long long blocksMeasured() const { return m_blocksMeasured; }

private:
    class SinkPass;

    void handleHeldBlock(const BlockSettings& settings);
    void measure(std::span<const StereoFrame> frames, const BlockSettings& settings,
                 const SinkPass& pass);
    void giveBack();

    BlockView& m_view;
    std::string m_decimalSeparator;
    CaptureEngine* m_engine;
    HeldBlockBoxes* m_heldBoxes = nullptr;
    std::function<void()> m_pendingEvents;
    // Removed sinks leave a hole while a block is handled; the holes go after.
    std::vector<BlockSink*> m_sinks;
    int m_passes = 0;  // blocks under way: more than one when a block's handling nests another
    Readouts m_readouts;
    long long m_blocksMeasured = 0;
};

}  // namespace veruziva
