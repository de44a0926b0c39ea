#pragma once

#include <cstdio>

#include "meteroptions.h"
#include "platform/audio/audiosystem.h"

namespace veruziva::meter {

// The sound system the live modes use; a problem in choosing it is told on `err`.
AudioSystem OpenAudioTelling(std::FILE* err);

// Lists the input devices: number, name, ALSA device name.
int RunList(std::FILE* out, std::FILE* err);

// Captures the requested blocks live through the capture engine and prints them.
int RunLive(const Options& options, std::FILE* out, std::FILE* err);

}  // namespace veruziva::meter
