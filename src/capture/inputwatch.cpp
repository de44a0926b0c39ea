#include "capture/inputwatch.h"

namespace veruziva {

InputWatch::InputWatch(std::function<void()> stalled, std::function<void()> resumed)
    : m_timing{[] { return Clock::now(); },
               [this](std::chrono::milliseconds interval) { m_timer.start(interval); },
               [this] { m_timer.stop(); }},
      m_stalledHook(std::move(stalled)),
      m_resumedHook(std::move(resumed)) {
    m_timer.setSingleShot(true);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { timedOut(); });
}

void InputWatch::startTimer(std::chrono::milliseconds interval) {
    m_timerActive = true;
    m_timing.start(interval);
}

void InputWatch::setRunning(bool running) {
    m_running = running;
    if (running) {
        m_lastBlock = m_timing.now();
        startTimer(m_limit);
    } else {
        m_timerActive = false;
        m_timing.stop();
    }
}

void InputWatch::blockArrived() {
    if (m_running) {
        m_lastBlock = m_timing.now();
        if (!m_timerActive) {
            startTimer(m_limit);
        }
    }
    if (m_stalled) {
        m_stalled = false;
        if (m_resumedHook) {
            m_resumedHook();
        }
    }
}

void InputWatch::timedOut() {
    m_timerActive = false;
    if (!m_running) {
        return;
    }
    const auto since =
        std::chrono::duration_cast<std::chrono::milliseconds>(m_timing.now() - m_lastBlock);
    if (since < m_limit) {
        startTimer(m_limit - since);
        return;
    }
    if (!m_stalled) {
        m_stalled = true;
        if (m_stalledHook) {
            m_stalledHook();
        }
    }
}

}  // namespace veruziva
