#include "trend/trendcsv.h"

#include <QDateTime>

#include "trend/savedfile.h"

namespace veruziva {

namespace {

QString UnitText(char unit) {
    return unit == ' ' ? QStringLiteral("raw") : QString(QLatin1Char(unit));
}

QString Header(const TrendRow& units, std::int64_t resolutionMs) {
    const QString mean =
        resolutionMs > 0 ? QStringLiteral(" mean of %1 s").arg(resolutionMs / 1000) : QString();
    return QStringLiteral("time;elapsed_s;A [%1]%3;B [%2]%3;level_moved\n")
        .arg(UnitText(units.unitA), UnitText(units.unitB), mean);
}

QString Number(double value) {
    return QString::number(value, 'g', 12);
}

// The channels read at a moved input level: "", "A", "B" or "AB".
QString LevelMoved(const TrendRow& row) {
    return QString(row.levelMovedA ? QStringLiteral("A") : QString()) +
           (row.levelMovedB ? QStringLiteral("B") : QString());
}

}  // namespace

QString IsoLocalTime(std::int64_t msSinceEpoch) {
    const QDateTime time = QDateTime::fromMSecsSinceEpoch(msSinceEpoch);
    const int offset = time.offsetFromUtc();
    const int minutes = (offset < 0 ? -offset : offset) / 60;
    return time.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss.zzz")) +
           QStringLiteral("%1%2:%3")
               .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QByteArray TrendCsv(const TrendRows& rows, const FileMetadata& metadata) {
    QString text;
    const TrendRow first = rows.rows.empty() ? TrendRow{} : rows.rows.front();
    text += Header(first, rows.resolutionMs);
    char unitA = first.unitA;
    char unitB = first.unitB;
    for (const TrendRow& row : rows.rows) {
        if (row.unitA != unitA || row.unitB != unitB) {
            text += Header(row, rows.resolutionMs);
            unitA = row.unitA;
            unitB = row.unitB;
        }
        const double elapsed = static_cast<double>(row.msSinceEpoch - first.msSinceEpoch) / 1000;
        text += IsoLocalTime(row.msSinceEpoch) + QLatin1Char(';') +
                QString::number(elapsed, 'f', 3) + QLatin1Char(';') + Number(row.a) +
                QLatin1Char(';') + Number(row.b) + QLatin1Char(';') + LevelMoved(row) +
                QLatin1Char('\n');
    }
    return MetadataCommentLines(metadata) + text.toUtf8();
}

std::optional<QString> SaveTrendCsv(const QString& path, const TrendRecorder& recorder,
                                    std::int64_t t0, std::int64_t t1,
                                    const FileMetadata& metadata) {
    return SaveFileChecked(path, TrendCsv(recorder.rows(t0, t1), metadata));
}

}  // namespace veruziva
