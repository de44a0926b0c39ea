#include "capture/inputwatch.h"

namespace veruziva {

InputWatch::InputWatch(std::function<void()> stalled, std::function<void()> resumed)
    : m_stalledHook(std::move(stalled)), m_resumedHook(std::move(resumed)) {
    m_timer.setSingleShot(true);
    m_timer.setInterval(NoDataLimit);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { timedOut(); });
}

void InputWatch::setRunning(bool running) {
    m_running = running;
    if (running) {
        m_timer.start();
    } else {
        m_timer.stop();
    }
}

void InputWatch::blockArrived() {
    if (m_running) {
        m_timer.start();
    }
    if (m_stalled) {
        m_stalled = false;
        if (m_resumedHook) {
            m_resumedHook();
        }
    }
}

void InputWatch::timedOut() {
    if (!m_stalled) {
        m_stalled = true;
        if (m_stalledHook) {
            m_stalledHook();
        }
    }
}

}  // namespace veruziva
