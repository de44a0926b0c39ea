#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <variant>

#include "calibration/displaymode.h"
#include "measurement/scopesettings.h"

namespace veruziva::meter {

// A picture of one block of the oscilloscope.
struct ScopeRequest {
    long long block = 0;
    QString output;
    ScopeSettings settings;
};

struct Options {
    enum class Mode { Help, File, List, Live, Devices, LineIn, Plot };
    Mode mode = Mode::File;
    bool dcA = false;
    bool dcB = false;
    bool rms = false;       // print each channel's true RMS too
    bool overload = false;  // print whether each channel clipped

    std::optional<QString> calibrationFile;
    RangeSelection ranges;
    std::optional<ScopeRequest> scope;
    QString file;        // file mode; the recording to plot
    QString plotOutput;  // plot mode: the picture
    int device = -1;     // live mode
    long long blocks = 0;
    bool grab = false;
    bool stats = false;
    // Recording live instead of printing blocks.
    QString wavFile;
    QString csvFile;
    int periodIndex = -1;  // into SamplingPeriods
    long long seconds = 0;
};

extern const char* const Usage;

// The options, or a message saying what is wrong with the arguments.
std::variant<Options, QString> ParseOptions(const QStringList& arguments);

}  // namespace veruziva::meter
