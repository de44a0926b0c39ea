#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "measurement/blockmeasurement.h"
#include "measurement/displayparameters.h"
#include "measurement/readouts.h"
#include "measurement/scopesettings.h"
#include "platform/captureformat.h"

namespace veruziva {

class CaptureEngine;
class HeldBlockBoxes;
class InputWatch;
class Oscilloscope;
class RecordingControl;
class TrendRecorder;

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
// events first, then the done slot found and held, its bytes to a continual recording before
// any other use, the scope drawn and the block measured in one pass, the readout texts, the
// input watch, the recording and the trend told, the view shown, and the slot given back (boxes
// raised meanwhile wait until then).
class BlockHandler {
public:
    // Without an engine, blocks that come from elsewhere (a file, a grab) are measured alone.
    BlockHandler(BlockView& view, std::string decimalSeparator, CaptureEngine* engine = nullptr);

    void setHeldBoxes(HeldBlockBoxes* boxes) { m_heldBoxes = boxes; }
    void setRecording(RecordingControl* recording) { m_recording = recording; }
    void setInputWatch(InputWatch* watch) { m_watch = watch; }
    // Every measured block's readings go to the trend, at the clock's time (ms since the epoch).
    void setTrend(TrendRecorder* trend, std::function<std::int64_t()> clock);
    // Runs the pending events (clicks, repaints, further notifications) before a block is
    // looked for, as the window's dispatch would.
    void setPendingEvents(std::function<void()> dispatch) { m_pendingEvents = std::move(dispatch); }

    // The capture's notification of a filled slot: true when a block was handled.
    bool BufferDone();
    // Measures a block that did not come through the ring.
    void measure(std::span<const StereoFrame> frames);

    const Readouts& readouts() const { return m_readouts; }
    long long blocksMeasured() const { return m_blocksMeasured; }

private:
    void handleHeldBlock(const BlockSettings& settings);
    void measure(std::span<const StereoFrame> frames, const BlockSettings& settings);
    void giveBack();

    BlockView& m_view;
    std::string m_decimalSeparator;
    CaptureEngine* m_engine;
    HeldBlockBoxes* m_heldBoxes = nullptr;
    RecordingControl* m_recording = nullptr;
    InputWatch* m_watch = nullptr;
    TrendRecorder* m_trend = nullptr;
    std::function<std::int64_t()> m_clock;
    std::function<void()> m_pendingEvents;
    Readouts m_readouts;
    long long m_blocksMeasured = 0;
};

}  // namespace veruziva
