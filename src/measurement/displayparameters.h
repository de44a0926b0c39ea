#pragma once

#include <cstdint>

namespace veruziva {

// How one channel's readout and trace are formed for one buffer.
struct ChannelDisplay {
    bool calibrated = false;         // the reading is mean x factor, else the raw mean
    double factor = 0.0;             // K: volts or amperes per raw unit
    double scopeFactor = 1.0 / 128;  // G: scope pixels per raw unit
    int precision = 5;               // P: significant digits of the reading
    int decimals = 0;                // D: decimals of the reading
    char unitLetter = ' ';           // 'V', 'A', or a blank in the raw display
    std::int32_t zero = 0;           // zero offset subtracted from every sample
};

struct DisplayParameters {
    ChannelDisplay a;
    ChannelDisplay b;
};

}  // namespace veruziva
