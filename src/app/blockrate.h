#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace veruziva {

// Counts the blocks the window shows and the time between the first and the last, for the
// summary that `veruziva --statistics` prints when it ends (how a bench or a user sees whether
// every block of the input was handled: 44100 / 4096 = 10.77 a second).
class BlockRate {
public:
    using Clock = std::chrono::steady_clock;

    void blockShown(Clock::time_point at = Clock::now());
    std::uint64_t blocks() const { return m_blocks; }
    // Blocks a second between the first block and the last; 0 before the second block.
    double perSecond() const;
    // "veruziva: 1077 blocks shown in 100.0 s (10.77 a second)"
    std::string summary() const;

private:
    std::uint64_t m_blocks = 0;
    Clock::time_point m_first;
    Clock::time_point m_last;
};

}  // namespace veruziva
