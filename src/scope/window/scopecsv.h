#pragma once

#include <QByteArray>
#include <array>

#include "analysis/tonemeasurement.h"
#include "base/filemetadata.h"
#include "scope/acquisition.h"

namespace veruziva {

// The trace on the screen as text: '#' lines of what it was measured with and each channel's
// unit, the header "time;A;B", then a row per sample within the span: seconds from the trigger
// (from the newest sample when the trace rolls) and both channels in their units.
QByteArray ScopeCsv(const Acquisition& acquisition, bool rolling,
                    const std::array<ChannelScale, 2>& scales, const FileMetadata& metadata);

// Where the time axis has its zero, in samples after the acquisition's first: the trigger,
// or the newest sample of a trace that rolls.
double TimeZero(const Acquisition& acquisition, bool rolling);

}  // namespace veruziva
