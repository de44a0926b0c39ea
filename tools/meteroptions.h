#pragma once

#include <QHostAddress>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>
#include <variant>
#include <vector>

#include "analysis/fftwindow.h"
#include "calibration/displaymode.h"
#include "measurement/readings.h"
#include "measurement/scopesettings.h"

namespace veruziva::meter {

// A picture of one block of the oscilloscope.
struct ScopeRequest {
    long long block = 0;
    QString output;
    ScopeSettings settings;
};

// The readings the tool prints when no option names them.
constexpr std::array<bool, ReadingCount> DefaultPrinted() {
    std::array<bool, ReadingCount> printed{};
    for (std::size_t i = 0; i < ReadingCount; ++i) {
        printed[i] = (Readings[i].shown & ShownInTool) != 0;
    }
    return printed;
}

struct Options {
    enum class Mode {
        Help,
        File,
        List,
        Live,
        Devices,
        LineIn,
        Plot,
        CalibrateAc,
        Distortion,
        Spectrum,
        Measure,
        Serve
    };
    Mode mode = Mode::File;
    bool dcA = false;
    bool dcB = false;
    // Per reading of the table: its columns are printed (--rms, --overload, --readings).
    std::array<bool, ReadingCount> printed = DefaultPrinted();

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
    // --calibrate-ac: the range, the RMS of the sine applied and the channels it calibrates.
    int acRange = FirstRange;
    double acRms = 0.0;
    bool acA = true;
    bool acB = true;
    // --distortion and --spectrum: the window, the tone looked for, the spectrum's size and
    // the spans averaged.
    WindowKind window = WindowKind::BlackmanHarris;
    std::optional<double> fundamentalHz;
    int spectrumSize = 0;
    int averages = 1;
    // --measure: the waveform measurements printed, indices into WaveformMeasurements.
    std::vector<std::size_t> measurements;
    // --serve: where the remote-control server listens.
    QHostAddress serveAddress;
    quint16 servePort = 0;
};

// The --help text, the readings' names from their table.
QString UsageText();

// The options, or a message saying what is wrong with the arguments.
std::variant<Options, QString> ParseOptions(const QStringList& arguments);

}  // namespace veruziva::meter
