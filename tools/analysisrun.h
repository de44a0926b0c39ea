#pragma once

#include <cstdio>

#include "meteroptions.h"

namespace veruziva::meter {

// Measures a sine's frequency, level and distortion on each channel, from a recording or live
// blocks, and prints a line of key=value fields per channel.
int RunDistortion(const Options& options, std::FILE* out, std::FILE* err);

// Prints both channels' spectra, averaged over successive spans, as CSV with what they were
// measured with.
int RunSpectrum(const Options& options, std::FILE* out, std::FILE* err);

// Prints the waveform measurements named in the options of each block of a recording or of live
// blocks, a line per block.
int RunMeasure(const Options& options, std::FILE* out, std::FILE* err);

}  // namespace veruziva::meter
