#pragma once

#include <array>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "capture/inputlevelwatch.h"
#include "mixer/audiomixer.h"

namespace veruziva::meter {

// Watches the line input of the device being measured, in the mixer of the device's name, and
// says on standard error when its level moves away from where it was at the start (readings in
// volts hold only at the level they were calibrated at), and when it is back.
class LevelReport {
public:
    LevelReport(MixerService& mixers, const std::string& deviceName, std::FILE* err);
    // False when the device has no mixer of its name with a line input, or it sends no change
    // messages: then nothing is reported.
    bool watching() const { return m_watching; }
    // Per channel (A, B): the level is not the one at the start.
    std::array<bool, 2> moved() const { return {m_watch.moved(0), m_watch.moved(1)}; }
    // Called after the level moved or came back, once it is reported.
    std::function<void()> onMovedChanged;

private:
    void report();

    TAudioMixer m_mixer;
    int m_line = -1;
    InputLevelWatch m_watch;
    std::string m_lineName;
    std::FILE* m_err;
    bool m_watching = false;
};

// The level in words: "volume 46 % / 46 %, muted".
std::string DescribeLevel(const LineLevel& level);

}  // namespace veruziva::meter
