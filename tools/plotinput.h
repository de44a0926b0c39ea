#pragma once

#include <QString>
#include <cstdio>
#include <variant>
#include <vector>

#include "meteroptions.h"

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
};

// A sampled recording's rows: the header "time;A[u];B[u]", then "time;A;B" rows, the decimal
// separator a point or a comma. A message when the file is not one.
std::variant<PlotSeries, QString> ReadSampledRows(const QString& path);

// A WAV recording's readings block by block, measured with the options (calibration, ranges,
// DC channels) as the window would show them; notes go to `err`.
std::variant<PlotSeries, QString> ReadWavReadings(const Options& options, std::FILE* err);

// True when the file starts as a WAV file does.
bool LooksLikeWav(const QString& path);

}  // namespace veruziva::meter
