#include "capture/inputwatch.h"

namespace veruziva {

InputWatch::InputWatch(std::function<void()> stalled, std::function<void()> resumed)
    : m_stalledHook(std::move(stalled)), m_resumedHook(std::move(resumed)) {
    m_timer.setSingleShot(true);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { timedOut(); });
}

void InputWatch::setRunning(bool running) {
    m_running = running;
    if (running) {
        m_lastBlock = Clock::now();
        m_timer.start(m_limit);
    } else {
        m_timer.stop();
    }
}

void InputWatch::blockArrived() {
    if (m_running) {
        m_lastBlock = Clock::now();
        if (!m_timer.isActive()) {
            m_timer.start(m_limit);
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
    if (!m_running) {
        return;
    }
    const auto since =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - m_lastBlock);
    if (since < m_limit) {
        m_timer.start(m_limit - since);
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
