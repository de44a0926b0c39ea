#include "plotinput.h"

#include <QFile>
#include <QLocale>
#include <QRegularExpression>
#include <cmath>

#include "blockprinter.h"
#include "instrument/blockhandler.h"
#include "wavreader.h"

namespace veruziva::meter {
namespace {

std::optional<double> Number(QString text) {
    text = text.trimmed();
    text.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    const double value = text.toDouble(&ok);
    return ok && std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
}

// Collects each measured block's readings, at the time its block starts.
class ReadingCollector : public BlockView {
public:
    ReadingCollector(BlockPrinter& settings, PlotSeries& series)
        : m_settings(settings), m_series(series) {}
    BlockSettings blockSettings() override {
        BlockSettings settings = m_settings.blockSettings();
        m_series.unitA = settings.display.a.unitLetter;
        m_series.unitB = settings.display.b.unitLetter;
        return settings;
    }
    void blockMeasured(std::span<const StereoFrame> frames, const Readouts& readouts) override {
        m_series.points.push_back({static_cast<double>(m_frames) / SampleRate, readouts.a.reading,
                                   readouts.b.reading, readouts.a.overloaded,
                                   readouts.b.overloaded});
        m_frames += frames.size();
    }

private:
    BlockPrinter& m_settings;
    PlotSeries& m_series;
    std::size_t m_frames = 0;
};

}  // namespace

bool LooksLikeWav(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(4) == "RIFF";
}

std::variant<PlotSeries, QString> ReadSampledRows(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return QStringLiteral("cannot read %1").arg(path);
    }
    static const QRegularExpression header(QStringLiteral("^time;A\\[(.)\\];B\\[(.)\\]$"));
    const QString first = QString::fromUtf8(file.readLine(256)).trimmed();
    const QRegularExpressionMatch units = header.match(first);
    if (!units.hasMatch()) {
        return QStringLiteral(
                   "%1 is not a sampled recording (its first line is not "
                   "\"time;A[u];B[u]\")")
            .arg(path);
    }
    PlotSeries series;
    series.unitA = units.captured(1).front().toLatin1();
    series.unitB = units.captured(2).front().toLatin1();
    for (int line = 2; !file.atEnd(); ++line) {
        const QString row = QString::fromUtf8(file.readLine(1024)).trimmed();
        if (row.isEmpty()) {
            continue;
        }
        const QStringList fields = row.split(QLatin1Char(';'));
        const auto time = Number(fields.value(0));
        const auto a = Number(fields.value(1));
        const auto b = Number(fields.value(2));
        if (fields.size() != 3 || !time || !a || !b) {
            return QStringLiteral("%1, line %2: not a row of readings: %3")
                .arg(path)
                .arg(line)
                .arg(row);
        }
        series.points.push_back({*time, *a, *b, false, false});
    }
    if (series.points.empty()) {
        return QStringLiteral("%1 holds no rows").arg(path);
    }
    return series;
}

std::variant<PlotSeries, QString> ReadWavReadings(const Options& options, std::FILE* err) {
    WavReader reader;
    if (!reader.open(options.file)) {
        return reader.errorText();
    }
    BlockPrinter settings(options, err);
    if (const auto message = settings.loadCalibration()) {
        return *message;
    }
    PlotSeries series;
    ReadingCollector collector(settings, series);
    BlockHandler blocks(collector, QLocale::system().decimalPoint().toStdString());
    for (auto frames = reader.nextBlock(); !frames.empty(); frames = reader.nextBlock()) {
        blocks.measure(frames);
    }
    if (!reader.errorText().isEmpty()) {
        return reader.errorText();
    }
    if (series.points.empty()) {
        return QStringLiteral("%1 holds no frames").arg(options.file);
    }
    return series;
}

}  // namespace veruziva::meter
