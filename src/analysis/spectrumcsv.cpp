#include "analysis/spectrumcsv.h"

#include <algorithm>
#include <cstdio>

namespace veruziva {

namespace {

QString UnitOf(const ChannelScale& scale) {
    return scale.calibrated() ? QStringLiteral("dB%1").arg(QChar::fromLatin1(scale.unit))
                              : QStringLiteral("dBFS");
}

}  // namespace

QByteArray SpectrumCsv(const Spectrum& a, const Spectrum& b, const ChannelScale& scaleA,
                       const ChannelScale& scaleB, const FileMetadata& metadata) {
    FileMetadata lines = metadata;
    lines.emplace_back(QStringLiteral("A levels"), UnitOf(scaleA));
    lines.emplace_back(QStringLiteral("B levels"), UnitOf(scaleB));
    QByteArray csv = MetadataCommentLines(lines);
    csv += "frequency;A;B\n";
    const Spectrum& shape = a.empty() ? b : a;
    const int bins = std::min(a.empty() ? b.bins() : a.bins(), b.empty() ? a.bins() : b.bins());
    csv.reserve(csv.size() + static_cast<qsizetype>(bins) * 32);
    for (int k = 1; k < bins; ++k) {
        char row[96];
        const auto level = [&](const Spectrum& s, const ChannelScale& scale) {
            return s.empty() ? 0.0 : PowerToDb(s.power[static_cast<std::size_t>(k)], scale);
        };
        std::snprintf(row, sizeof row, "%.4f;%.3f;%.3f\n", k * shape.binHz(), level(a, scaleA),
                      level(b, scaleB));
        csv += row;
    }
    return csv;
}

}  // namespace veruziva
