#pragma once

#include <cstdio>

#include "meteroptions.h"

namespace veruziva::meter {

// Lists the input devices: number, name, ALSA device name.
int RunList(std::FILE* out, std::FILE* err);

// Captures the requested blocks live through the capture engine and prints them.
int RunLive(const Options& options, std::FILE* out, std::FILE* err);

}  // namespace veruziva::meter
