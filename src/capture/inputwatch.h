#pragma once

#include <QTimer>
#include <chrono>
#include <functional>

namespace veruziva {

// How long a running capture may go without a block before it counts as stalled (a suspended
// sound server, a stalled USB card); the same time a grab waits for its block.
inline constexpr std::chrono::milliseconds NoDataLimit{2000};

// Watches a running capture for blocks: when none has come for the limit, the input is
// stalled until the next one arrives. Readings shown or recorded meanwhile would be stale.
class InputWatch {
public:
    using Clock = std::chrono::steady_clock;
    // Where the watch's time comes from: its clock, and a one-shot timer that calls timedOut()
    // when it runs out. A QTimer and the steady clock unless a test gives its own.
    struct Timing {
        std::function<Clock::time_point()> now;
        std::function<void(std::chrono::milliseconds)> start;
        std::function<void()> stop;
    };

    explicit InputWatch(std::function<void()> stalled, std::function<void()> resumed = {});

    void setTiming(Timing timing) { m_timing = std::move(timing); }
    void setLimit(std::chrono::milliseconds limit) { m_limit = limit; }
    // The capture started or stopped: the clock runs from a start, and stops with the flow.
    void setRunning(bool running);
    // A block has been handled.
    void blockArrived();
    bool stalled() const { return m_stalled; }
    // The timer has run out.
    void timedOut();

private:
    void startTimer(std::chrono::milliseconds interval);

    // One timer, not restarted on every block: a block only notes its time, and the timer,
    // when it fires early, waits out the rest of the limit from the last block.
    QTimer m_timer;
    Timing m_timing;
    bool m_timerActive = false;
    std::chrono::milliseconds m_limit = NoDataLimit;
    Clock::time_point m_lastBlock;
    std::function<void()> m_stalledHook;
    std::function<void()> m_resumedHook;
    bool m_running = false;
    bool m_stalled = false;
};

}  // namespace veruziva
