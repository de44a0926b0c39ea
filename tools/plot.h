#pragma once

#include <cstdio>

#include "meteroptions.h"

namespace veruziva::meter {

// --plot: draws a recording's readings over its time into a PNG picture.
int RunPlot(const Options& options, std::FILE* err);

}  // namespace veruziva::meter
