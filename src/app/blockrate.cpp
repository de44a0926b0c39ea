#include "app/blockrate.h"

#include <cstdio>

namespace veruziva {

void BlockRate::blockShown(Clock::time_point at) {
    if (m_blocks == 0) {
        m_first = at;
    }
    m_last = at;
    ++m_blocks;
}

double BlockRate::perSecond() const {
    const std::chrono::duration<double> span = m_last - m_first;
    return m_blocks < 2 || span.count() <= 0 ? 0.0
                                             : static_cast<double>(m_blocks - 1) / span.count();
}

std::string BlockRate::summary() const {
    const std::chrono::duration<double> span = m_last - m_first;
    char text[128];
    std::snprintf(text, sizeof text, "veruziva: %llu blocks shown in %.1f s (%.2f a second)",
                  static_cast<unsigned long long>(m_blocks), m_blocks == 0 ? 0.0 : span.count(),
                  perSecond());
    return text;
}

}  // namespace veruziva
