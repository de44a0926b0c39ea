#include "instrument/blockhandler.h"

#include <algorithm>
#include <chrono>

#include "capture/captureengine.h"
#include "measurement/oscilloscope.h"
#include "platform/heldblockboxes.h"

namespace veruziva {

BlockView::~BlockView() = default;

void BlockView::blockTaken(std::span<const StereoFrame> /*frames*/) {}

BlockSink::~BlockSink() = default;

void BlockSink::blockTaken(std::span<const StereoFrame> /*frames*/) {}

// One block's telling of the sinks: those there at its start, less those removed meanwhile.
class BlockHandler::SinkPass {
public:
    explicit SinkPass(BlockHandler& handler) : m_handler(handler), m_count(handler.m_sinks.size()) {
        ++m_handler.m_passes;
    }
    ~SinkPass() {
        if (--m_handler.m_passes == 0) {
            std::erase(m_handler.m_sinks, nullptr);
        }
    }
    SinkPass(const SinkPass&) = delete;
    SinkPass& operator=(const SinkPass&) = delete;

    // By index: a sink added meanwhile may move the list.
    template <typename Tell>
    void tell(Tell tellOne) const {
        for (std::size_t i = 0; i < m_count; ++i) {
            if (BlockSink* sink = m_handler.m_sinks[i]) {
                tellOne(*sink);
            }
        }
    }

private:
    BlockHandler& m_handler;
    std::size_t m_count;
};

BlockHandler::BlockHandler(BlockView& view, std::string decimalSeparator, CaptureEngine* engine)
    : m_view(view), m_decimalSeparator(std::move(decimalSeparator)), m_engine(engine) {}

void BlockHandler::addSink(BlockSink& sink) {
    m_sinks.push_back(&sink);
}

void BlockHandler::removeSink(BlockSink& sink) {
    const auto found = std::find(m_sinks.begin(), m_sinks.end(), &sink);
    if (found == m_sinks.end()) {
        return;
    }
    if (m_passes > 0) {
        *found = nullptr;
    } else {
        m_sinks.erase(found);
    }
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
    const SinkPass pass(*this);
    const std::span<const StereoFrame> frames = m_engine->DoneBlock();
    // The recorded bytes go to a continual recording before any other use of the block.
    pass.tell([frames](BlockSink& sink) { sink.blockTaken(frames); });
    m_view.blockTaken(frames);
    if (!frames.empty()) {
        measure(frames, settings, pass);
    }
}

void BlockHandler::measure(std::span<const StereoFrame> frames) {
    const SinkPass pass(*this);
    measure(frames, m_view.blockSettings(), pass);
}

void BlockHandler::measure(std::span<const StereoFrame> frames, const BlockSettings& settings,
                           const SinkPass& pass) {
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
    const MeasuredBlock block{frames, m_readouts, settings,
                              std::chrono::duration_cast<std::chrono::milliseconds>(
                                  std::chrono::system_clock::now().time_since_epoch())
                                  .count()};
    pass.tell([&block](BlockSink& sink) { sink.blockMeasured(block); });
    m_view.blockMeasured(frames, m_readouts);
}

void BlockHandler::giveBack() {
    m_engine->GiveBackBuffer();
    if (m_heldBoxes != nullptr) {
        m_heldBoxes->release();
    }
}

}  // namespace veruziva
