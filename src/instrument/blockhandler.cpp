#include "instrument/blockhandler.h"

#include "capture/captureengine.h"
#include "capture/inputwatch.h"
#include "measurement/oscilloscope.h"
#include "platform/heldblockboxes.h"
#include "recording/recordingcontrol.h"
#include "trend/trendrecorder.h"

namespace veruziva {

BlockView::~BlockView() = default;

void BlockView::blockTaken(std::span<const StereoFrame> /*frames*/) {}

BlockHandler::BlockHandler(BlockView& view, std::string decimalSeparator, CaptureEngine* engine)
    : m_view(view), m_decimalSeparator(std::move(decimalSeparator)), m_engine(engine) {}

void BlockHandler::setTrend(TrendRecorder* trend, std::function<std::int64_t()> clock) {
    m_trend = trend;
    m_clock = std::move(clock);
}

bool BlockHandler::BufferDone() {
    // Pending events run first: clicks, repaints, and possibly further buffers, whose handling
    // takes the older done slot before this one looks for its own.
    if (m_pendingEvents) {
        m_pendingEvents();
    }
    const BlockSettings settings = m_view.blockSettings();
    if (m_engine == nullptr || !m_engine->FindDoneBuffer()) {
        return false;
    }
    // No box opens while the block is held: its event loop would handle further blocks
    // meanwhile. Boxes raised by the block wait until it is given back.
    if (m_heldBoxes != nullptr) {
        m_heldBoxes->hold();
    }
    try {
        handleHeldBlock(settings);
    } catch (...) {
        giveBack();
        throw;  // for the general error handler, now that nothing is held
    }
    giveBack();
    return true;
}

void BlockHandler::handleHeldBlock(const BlockSettings& settings) {
    const std::span<const StereoFrame> frames = m_engine->DoneBlock();
    // The recorded bytes go to a continual recording before any other use of the block.
    if (m_recording != nullptr) {
        m_recording->AppendBlock(std::as_bytes(frames));
    }
    m_view.blockTaken(frames);
    if (!frames.empty()) {
        measure(frames, settings);
    }
}

void BlockHandler::measure(std::span<const StereoFrame> frames) {
    measure(frames, m_view.blockSettings());
}

void BlockHandler::measure(std::span<const StereoFrame> frames, const BlockSettings& settings) {
    if (settings.scope != nullptr) {
        ScopePlotter plotter =
            settings.scope->begin(frames, settings.scopeSettings, settings.display);
        ShowMeasurement(m_readouts, MeasureBlock(frames, settings.pass, plotter), settings.display,
                        m_decimalSeparator);
    } else {
        ShowMeasurement(m_readouts, MeasureBlock(frames, settings.pass), settings.display,
                        m_decimalSeparator);
    }
    ++m_blocksMeasured;
    if (m_watch != nullptr) {
        m_watch->blockArrived();
    }
    if (m_recording != nullptr) {
        m_recording->BlockMeasured();
    }
    if (m_trend != nullptr) {
        TrendSample sample;
        sample.msSinceEpoch = m_clock();
        sample.unitA = settings.display.a.unitLetter;
        sample.unitB = settings.display.b.unitLetter;
        for (std::size_t k = 0; k < TrendReadingCount; ++k) {
            const std::size_t i = TrendReadings[k];
            sample.values[k] = {m_readouts.a.values[i], m_readouts.b.values[i]};
        }
        sample.levelMovedA = settings.levelMoved[0];
        sample.levelMovedB = settings.levelMoved[1];
        m_trend->add(sample);
    }
    m_view.blockMeasured(frames, m_readouts);
}

void BlockHandler::giveBack() {
    m_engine->GiveBackBuffer();
    if (m_heldBoxes != nullptr) {
        m_heldBoxes->release();
    }
}

}  // namespace veruziva
