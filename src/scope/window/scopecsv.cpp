#include "scope/window/scopecsv.h"

#include <cmath>
#include <cstdio>

#include "platform/captureformat.h"
#include "scope/window/scopeunits.h"

namespace veruziva {

double TimeZero(const Acquisition& acquisition, bool rolling) {
    return rolling ? acquisition.leftEdge + acquisition.spanFrames : acquisition.triggerOffset;
}

QByteArray ScopeCsv(const Acquisition& acquisition, bool rolling,
                    const std::array<ChannelScale, 2>& scales, const FileMetadata& metadata) {
    FileMetadata lines = metadata;
    lines.emplace_back(QStringLiteral("time"), QStringLiteral("s"));
    lines.emplace_back(QStringLiteral("A"), ChannelUnit(scales[0]));
    lines.emplace_back(QStringLiteral("B"), ChannelUnit(scales[1]));
    QByteArray csv = MetadataCommentLines(lines);
    csv += "time;A;B\n";
    if (acquisition.empty()) {
        return csv;
    }
    const auto samples = static_cast<std::ptrdiff_t>(acquisition.a.size());
    const auto first = std::max<std::ptrdiff_t>(
        0, static_cast<std::ptrdiff_t>(std::ceil(acquisition.leftEdge - 1e-9)));
    const auto last = std::min<std::ptrdiff_t>(
        samples - 1, static_cast<std::ptrdiff_t>(
                         std::floor(acquisition.leftEdge + acquisition.spanFrames + 1e-9)));
    const double zero = TimeZero(acquisition, rolling);
    csv.reserve(csv.size() + (last - first + 1) * 40);
    for (std::ptrdiff_t i = first; i <= last; ++i) {
        char row[96];
        const auto n = static_cast<std::size_t>(i);
        std::snprintf(row, sizeof row, "%.9g;%.7g;%.7g\n", (double(i) - zero) / SampleRate,
                      ToUnits(acquisition.a[n], scales[0]), ToUnits(acquisition.b[n], scales[1]));
        csv += row;
    }
    return csv;
}

}  // namespace veruziva
