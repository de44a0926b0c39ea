#include "scope/scopeacquisition.h"

#include <algorithm>
#include <cmath>

#include "scope/timebase.h"

namespace veruziva {

ScopeAcquisition::ScopeAcquisition() : m_span(SpanFrames(m_secondsPerDivision)) {
    m_ring = FrameRing(SpanSamples(m_span) + FramesPerBuffer);
    restart();
}

bool ScopeAcquisition::rolling() const {
    return Rolls(m_secondsPerDivision);
}

void ScopeAcquisition::setSecondsPerDivision(double seconds) {
    settle();
    m_secondsPerDivision = std::clamp(seconds, TimeBaseSteps.front(), LongestSecondsPerDivision);
    m_span = SpanFrames(m_secondsPerDivision);
    // Room for a span and a block, no more: the frames before a restart are not looked at again.
    const FrameRing sized(SpanSamples(m_span) + FramesPerBuffer);
    if (sized.capacity() != m_ring.capacity()) {
        m_ring = FrameRing(sized.capacity(), m_ring.end());
    }
    restart();
}

void ScopeAcquisition::setTrigger(const ScopeTrigger& trigger) {
    m_trigger = trigger;
    m_trigger.positionPercent = std::clamp(trigger.positionPercent, 0.0, 100.0);
    restart();
}

void ScopeAcquisition::setAutoTimeout(std::int64_t frames) {
    m_autoTimeout = std::max<std::int64_t>(frames, 1);
    restart();
}

void ScopeAcquisition::setRunning(bool running) {
    if (running != m_running) {
        m_running = running;
        restart();
    }
}

void ScopeAcquisition::arm() {
    restart();
}

void ScopeAcquisition::setAveraging(int count) {
    m_average.setCount(count);
}

const Acquisition& ScopeAcquisition::latest() const {
    settle();
    return m_latest;
}

const Acquisition& ScopeAcquisition::shown() const {
    return m_average.count() > 1 && !m_average.result().empty() ? m_average.result() : latest();
}

void ScopeAcquisition::columns(ScopeChannel channel, int columns, std::vector<MinMax>& out) const {
    if (m_average.count() <= 1 || m_average.result().empty()) {
        const std::pair<std::int64_t, std::int64_t> frames =
            m_rollDue ? rollingFrames()
                      : std::pair(m_latest.firstFrame, std::int64_t(m_latest.a.size()));
        const std::int64_t first = frames.first;
        const std::int64_t samples = frames.second;
        // Worth it from two chunks a column on.
        const bool longTrace = samples >= 2 * FrameRing::ChunkFrames * std::max(columns, 1);
        if (longTrace && first >= m_ring.begin() && first + samples <= m_ring.end()) {
            MinMaxColumnsOf(static_cast<std::size_t>(samples), columns, out,
                            [&](std::size_t from, std::size_t to) {
                                return m_ring.extremes(channel, first + std::int64_t(from),
                                                       std::int64_t(to - from));
                            });
            return;
        }
    }
    MinMaxColumns(shown().trace(channel), columns, out);
}

std::size_t ScopeAcquisition::memoryBytes() const {
    std::size_t bytes = m_ring.memoryBytes();
    for (const Acquisition* held : {&std::as_const(m_latest), &m_average.result(), &m_reference}) {
        bytes += (held->a.capacity() + held->b.capacity()) * sizeof(float);
    }
    return bytes;
}

// A copy as long as the trace, not as the room of the one shown.
void ScopeAcquisition::storeReference() {
    m_reference = Acquisition(shown());
}

void ScopeAcquisition::clearReference() {
    m_reference = Acquisition{};
}

// What came before the settings does not count: the trigger is looked for from here on.
void ScopeAcquisition::restart() {
    settle();
    m_detector.setCondition(m_trigger.condition);
    m_pending.reset();
    m_singleDone = false;
    m_holdoffEnd = double(m_ring.end());
    m_deadline = m_holdoffEnd + autoWait();
    m_average.reset();
}

void ScopeAcquisition::settle() const {
    if (m_rollDue) {
        m_rollDue = false;
        takeNewest(m_ring.end());
        m_latest.count = m_count;
    }
}

double ScopeAcquisition::autoWait() const {
    return std::max(double(m_autoTimeout), m_span);
}

double ScopeAcquisition::preTrigger() const {
    return m_span * m_trigger.positionPercent / 100.0;
}

void ScopeAcquisition::addFrames(std::span<const StereoFrame> frames) {
    // The ring holds a span and a block beyond it: no more at once.
    while (!frames.empty()) {
        const std::size_t part = std::min<std::size_t>(frames.size(), FramesPerBuffer);
        addChunk(frames.first(part));
        frames = frames.subspan(part);
    }
}

void ScopeAcquisition::addChunk(std::span<const StereoFrame> frames) {
    const std::int64_t first = m_ring.end();
    m_ring.append(frames);
    const std::vector<double>& crossings = m_detector.scan(frames, first);
    if (!m_running) {
        return;
    }
    if (rolling()) {
        ++m_count;
        m_rollDue = true;
        return;
    }
    completePending();
    const double pre = preTrigger();
    for (const double instant : crossings) {
        freeRunUntil(instant);
        if (m_singleDone || m_pending || instant < m_holdoffEnd ||
            std::floor(instant - pre) < double(m_ring.begin())) {
            continue;
        }
        m_pending = instant;
        completePending();
    }
    freeRunUntil(double(m_ring.end()));
}

void ScopeAcquisition::completePending() {
    if (!m_pending) {
        return;
    }
    const double start = *m_pending - preTrigger();
    const auto first = static_cast<std::int64_t>(std::floor(start));
    const int samples = SpanSamples(m_span);
    if (first + samples > m_ring.end()) {
        return;
    }
    const double instant = *m_pending;
    m_pending.reset();
    take(first, static_cast<std::size_t>(samples), start - double(first), instant - double(first),
         true);
    m_latest.count = ++m_count;
    m_holdoffEnd = start + m_span;
    m_deadline = m_holdoffEnd + autoWait();
    if (m_trigger.mode == TriggerMode::Single) {
        m_singleDone = true;
    }
    if (m_average.count() > 1) {
        m_average.add(m_latest);
    }
}

void ScopeAcquisition::freeRunUntil(double limit) {
    if (m_trigger.mode != TriggerMode::Auto || m_pending || m_deadline > limit) {
        return;
    }
    // Only the newest of the free runs due is worth making.
    const double wait = autoWait();
    m_deadline += std::floor((limit - m_deadline) / wait) * wait;
    if (takeNewest(static_cast<std::int64_t>(std::floor(m_deadline)))) {
        m_latest.count = ++m_count;
    }
    m_holdoffEnd = m_deadline;
    m_deadline += wait;
}

std::pair<std::int64_t, std::int64_t> ScopeAcquisition::rollingFrames() const {
    const std::int64_t end = m_ring.end();
    const std::int64_t samples = std::min<std::int64_t>(SpanSamples(m_span), end - m_ring.begin());
    return {end - samples, samples};
}

bool ScopeAcquisition::takeNewest(std::int64_t end) const {
    const std::int64_t samples = std::min<std::int64_t>(SpanSamples(m_span), end - m_ring.begin());
    if (samples <= 0) {
        return false;
    }
    const double leftEdge = double(samples - 1) - m_span;
    take(end - samples, static_cast<std::size_t>(samples), leftEdge, leftEdge + preTrigger(),
         false);
    return true;
}

void ScopeAcquisition::take(std::int64_t first, std::size_t samples, double leftEdge,
                            double triggerOffset, bool triggered) const {
    // Room for a span at once, as a rolling trace grows to it; a shorter span gives the rest back.
    const auto room = static_cast<std::size_t>(SpanSamples(m_span));
    if (m_latest.a.capacity() < samples || m_latest.a.capacity() > room) {
        for (std::vector<float>* trace : {&m_latest.a, &m_latest.b}) {
            std::vector<float> fresh;
            fresh.reserve(std::max(samples, room));
            trace->swap(fresh);
        }
    }
    m_latest.a.resize(samples);
    m_latest.b.resize(samples);
    m_ring.copy(first, samples, m_latest.a.data(), m_latest.b.data());
    m_latest.firstFrame = first;
    m_latest.spanFrames = m_span;
    m_latest.leftEdge = leftEdge;
    m_latest.triggerOffset = triggerOffset;
    m_latest.triggered = triggered;
    m_latest.averaged = 1;
}

}  // namespace veruziva
