#pragma once

#include <cstdio>

#include "meteroptions.h"

namespace veruziva::meter {

// Calibrates one range with a sine of known RMS, from a live device or a recording, and writes
// the factor to the settings file as the program's calibration does.
int RunCalibrateAc(const Options& options, std::FILE* out, std::FILE* err);

}  // namespace veruziva::meter
