#pragma once

#include <cstdio>

#include "meteroptions.h"

namespace veruziva::meter {

// Prints what start-up sees: input devices, mixers with their lines, the chosen device and
// mixer and the line-in source. With `setLevel`, also sets the line-in level as start-up does.
int RunDeviceReport(const Options& options, bool setLevel, std::FILE* out, std::FILE* err);

}  // namespace veruziva::meter
