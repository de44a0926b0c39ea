#pragma once

#include <QString>
#include <cstdio>
#include <variant>
#include <vector>

#include "base/filemetadata.h"
#include "meteroptions.h"
#include "recording/capturedefinition.h"

namespace veruziva::meter {

// One reading of each channel at a time from the start of a recording.
struct PlotPoint {
    double seconds = 0.0;
    double a = 0.0;
    double b = 0.0;
    bool overloadA = false;
    bool overloadB = false;
};

// The readings of a recording to be plotted, with their unit letters ('V', 'A' or a blank).
struct PlotSeries {
    char unitA = ' ';
    char unitB = ' ';
    std::vector<PlotPoint> points;
    FileMetadata metadata;  // what the readings were measured with, as far as it is known
};

// The times a sampled recording can hold: its rows come once a period, up to its longest
// capturing time.
inline constexpr double LongestRecordingSeconds = MaxCaptureTime * 60.0;

// The recording options.file, read once (a pipe cannot be read twice): a WAV recording's
// readings block by block, measured with the options (calibration, ranges, DC channels) as the
// window would show them, notes going to `err`; else a sampled recording's rows: the header
// "time;A[u];B[u]", then "time;A;B" rows, the decimal separator a point or a comma, times from
// 0 to LongestRecordingSeconds. A message when it is neither.
std::variant<PlotSeries, QString> ReadPlotInput(const Options& options, std::FILE* err);

}  // namespace veruziva::meter
