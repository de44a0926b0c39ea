#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "platform/captureformat.h"
#include "scope/acquisition.h"
#include "scope/framering.h"
#include "scope/minmaxcolumns.h"
#include "scope/traceaverage.h"
#include "scope/triggerdetector.h"

namespace veruziva {

// Auto free-runs when no trigger comes within its timeout; normal waits and keeps the last
// acquisition; single makes one and holds it until armed again.
enum class TriggerMode { Auto, Normal, Single };

struct ScopeTrigger {
    TriggerCondition condition;
    TriggerMode mode = TriggerMode::Auto;
    double positionPercent = 50.0;  // the trigger's place in the span, from its left edge
};

// Auto's wait for a trigger before it free-runs: 100 ms.
inline constexpr std::int64_t AutoTimeoutFrames = SampleRate / 10;

// The measuring scope's acquisitions from the captured frames, blocks joined: triggered, free
// running or rolling as the time base and the trigger say, averaged on request, with a reference
// kept beside them. The frames kept are a span and a block; a rolling trace is built from them
// when asked for, not with every block: latest() and shown() may write, one thread only.
class ScopeAcquisition {
public:
    ScopeAcquisition();

    void setSecondsPerDivision(double seconds);
    double secondsPerDivision() const { return m_secondsPerDivision; }
    double spanFrames() const { return m_span; }
    bool rolling() const;
    void setTrigger(const ScopeTrigger& trigger);
    const ScopeTrigger& trigger() const { return m_trigger; }
    void setAutoTimeout(std::int64_t frames);
    // Hold (false) keeps the acquisition shown; Run looks for a trigger anew.
    void setRunning(bool running);
    bool running() const { return m_running; }
    // Single: one more acquisition.
    void arm();
    bool singleDone() const { return m_singleDone; }
    // Triggered acquisitions averaged over `count` (1: none).
    void setAveraging(int count);
    int averaging() const { return m_average.count(); }

    void addFrames(std::span<const StereoFrame> frames);

    const Acquisition& latest() const;
    // The average, once there is one, else the latest.
    const Acquisition& shown() const;
    std::uint64_t count() const { return m_count; }
    // MinMaxColumns of the shown trace's channel; a rolling one's from the frames kept, without
    // building the trace.
    void columns(ScopeChannel channel, int columns, std::vector<MinMax>& out) const;
    // The frames a rolling trace holds: the newest, as many as a span holds (the first and how
    // many); fewer while the span fills.
    std::pair<std::int64_t, std::int64_t> rollingFrames() const;
    // The heap the engine holds: frames, traces, average and reference.
    std::size_t memoryBytes() const;

    void storeReference();
    void clearReference();
    // Empty when none is stored.
    const Acquisition& reference() const { return m_reference; }

private:
    void restart();
    // The rolling trace up to the newest frame, when frames came since it was built.
    void settle() const;
    void addChunk(std::span<const StereoFrame> frames);
    double preTrigger() const;
    void completePending();
    void freeRunUntil(double limit);
    // The newest frames up to `end`, as many as a span holds, untriggered.
    bool takeNewest(std::int64_t end) const;
    void take(std::int64_t first, std::size_t samples, double leftEdge, double triggerOffset,
              bool triggered) const;
    // Auto's wait for a trigger: the timeout, or a span when longer, so that free runs do not
    // overlap.
    double autoWait() const;

    FrameRing m_ring;
    TriggerDetector m_detector;
    double m_secondsPerDivision = 1e-3;
    double m_span = 0.0;
    ScopeTrigger m_trigger;
    std::int64_t m_autoTimeout = AutoTimeoutFrames;
    bool m_running = true;
    bool m_singleDone = false;
    std::optional<double> m_pending;  // a trigger's instant, its later frames still to come
    double m_holdoffEnd = 0.0;        // the last acquisition's end: no trigger before it
    double m_deadline = 0.0;          // auto free-runs here
    std::uint64_t m_count = 0;
    mutable bool m_rollDue = false;  // frames came since the rolling trace was built
    mutable Acquisition m_latest;
    TraceAverage m_average;
    Acquisition m_reference;
};

}  // namespace veruziva
