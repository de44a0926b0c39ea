#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

#include "base/filemetadata.h"
#include "trend/trendrecorder.h"

namespace veruziva {

// The trend as semicolon-separated text: a header naming the units, e.g.
// "time;elapsed_s;A [V];B [V];level_moved" ("A [V] mean of 10 s" when the rows are bucket means),
// then one row per point: local time in ISO 8601 with its offset, seconds since the first row,
// both readings, and the channels read at a moved input level ("A", "B", "AB" or nothing).
// Where a unit changes, a new header line says so. The metadata comes first, as '#' lines.
QByteArray TrendCsv(const TrendRows& rows, const FileMetadata& metadata = {});

// Writes the trend's rows in [t0, t1] to a file; on failure the text for the user.
std::optional<QString> SaveTrendCsv(const QString& path, const TrendRecorder& recorder,
                                    std::int64_t t0, std::int64_t t1,
                                    const FileMetadata& metadata = {});

// "2026-12-08T10:15:02.250+01:00" in the machine's time zone.
QString IsoLocalTime(std::int64_t msSinceEpoch);

}  // namespace veruziva
