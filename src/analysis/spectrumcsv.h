#pragma once

#include <QByteArray>

#include "analysis/tonemeasurement.h"
#include "base/filemetadata.h"

namespace veruziva {

// Both channels' spectra as the tool prints and the analyzer exports them: the metadata as '#'
// lines (each channel's levels' unit among them: "A levels: dBFS"), the header "frequency;A;B",
// then one row per bin from bin 1 (DC is a reading, not a level): the frequency in Hz and both
// levels in dB (dBFS while a channel reads raw, dBV or dBA when calibrated), '.' decimals.
QByteArray SpectrumCsv(const Spectrum& a, const Spectrum& b, const ChannelScale& scaleA,
                       const ChannelScale& scaleB, const FileMetadata& metadata);

}  // namespace veruziva
