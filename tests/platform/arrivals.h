#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "platform/waveinput.h"

// Notifications from a capture service's thread, with the time each arrived.
class Arrivals {
public:
    veruziva::WaveInNotify callback() {
        return [this](veruziva::WaveInHandle, veruziva::WaveInEvent event) {
            const std::lock_guard lock(m_mutex);
            if (event == veruziva::WaveInEvent::BufferDone) {
                m_times.push_back(std::chrono::steady_clock::now());
            } else {
                m_lost = true;
            }
            m_changed.notify_all();
        };
    }
    bool waitFor(std::size_t count, int milliseconds) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                  [&] { return m_times.size() >= count; });
    }
    std::chrono::steady_clock::time_point at(std::size_t index) {
        const std::lock_guard lock(m_mutex);
        return m_times.at(index);
    }
    std::size_t count() {
        const std::lock_guard lock(m_mutex);
        return m_times.size();
    }
    bool waitForLoss(int milliseconds) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                  [&] { return m_lost; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::chrono::steady_clock::time_point> m_times;
    bool m_lost = false;
};
