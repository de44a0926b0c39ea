#include "plotinput.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "blockprinter.h"
#include "calibration/filedescription.h"
#include "instrument/blockhandler.h"
#include "wavreader.h"

namespace veruziva::meter {
namespace {

using Read = std::variant<PlotSeries, QString>;

std::optional<double> Number(QString text) {
    text = text.trimmed();
    text.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    const double value = text.toDouble(&ok);
    return ok && std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
}

// A line as a message quotes it: a long one cut.
QString Quoted(const QString& line) {
    constexpr qsizetype Longest = 80;
    return line.size() <= Longest ? line : line.left(Longest) + QStringLiteral("…");
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

// Whole lines: a line's number in a message is its number in the file. Rows are a few dozen
// bytes; a line of more than a mebibyte (an endless device) is no row and is not read on.
Read ReadSampledRows(QIODevice& input, const QString& path) {
    constexpr qint64 LongestLine = 1 << 20;
    static const QRegularExpression header(QStringLiteral("^time;A\\[(.)\\];B\\[(.)\\]$"));
    const QString first = QString::fromUtf8(input.readLine(LongestLine)).trimmed();
    const QRegularExpressionMatch units = header.match(first);
    if (!units.hasMatch()) {
        return QStringLiteral(
                   "%1 is not a sampled recording (its first line is not "
                   "\"time;A[u];B[u]\")")
            .arg(path);
    }
    PlotSeries series;
    // Its rows are readings already: what they were measured with is not in the file.
    series.metadata = DescribeSource(ToolVersion(), QFileInfo(path).fileName());
    series.unitA = units.captured(1).front().toLatin1();
    series.unitB = units.captured(2).front().toLatin1();
    // An empty read is the end: every line read holds at least its line end.
    for (int line = 2;; ++line) {
        const QByteArray bytes = input.readLine(LongestLine + 1);
        if (bytes.isEmpty()) {
            break;
        }
        const QString row = QString::fromUtf8(bytes).trimmed();
        // A line cut at its limit (readLine() takes one byte less than it is given).
        if (bytes.size() == LongestLine && !bytes.endsWith('\n')) {
            return QStringLiteral("%1, line %2: not a row of readings (longer than %3 bytes): %4")
                .arg(path)
                .arg(line)
                .arg(LongestLine)
                .arg(Quoted(row));
        }
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
                .arg(Quoted(row));
        }
        if (*time < 0 || *time > LongestRecordingSeconds) {
            return QStringLiteral(
                       "%1, line %2: the time %3 is not one of a recording (0 to %4 s from its "
                       "start)")
                .arg(path)
                .arg(line)
                .arg(Quoted(fields[0].trimmed()))
                .arg(LongestRecordingSeconds);
        }
        series.points.push_back({*time, *a, *b, false, false});
    }
    if (series.points.empty()) {
        return QStringLiteral("%1 holds no rows").arg(path);
    }
    return series;
}

Read ReadWavReadings(WavReader& reader, const Options& options, std::FILE* err) {
    BlockPrinter settings(options, err);
    if (const auto message = settings.loadCalibration()) {
        return *message;
    }
    settings.setSource(QFileInfo(options.file).fileName());
    PlotSeries series;
    series.metadata = settings.metadata();
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

// A file of the disk: looked at without moving its position, then read from its start.
Read ReadFile(int fd, const Options& options, std::FILE* err) {
    char magic[4] = {};
    if (::pread(fd, magic, sizeof magic, 0) == sizeof magic && std::memcmp(magic, "RIFF", 4) == 0) {
        WavReader reader;
        if (!reader.open(fd, options.file)) {
            return reader.errorText();
        }
        return ReadWavReadings(reader, options, err);
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return QStringLiteral("cannot read %1").arg(options.file);
    }
    return ReadSampledRows(file, options.file);
}

// A pipe: what it brings comes once. Rows are read as they come; a WAV recording is kept whole,
// since its reader looks back.
Read ReadStream(int fd, const Options& options, std::FILE* err) {
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return QStringLiteral("cannot read %1").arg(options.file);
    }
    if (file.peek(4) == "RIFF") {
        // No WAV file is longer than its 32-bit sizes say.
        constexpr qint64 LongestWav = (qint64{1} << 32) + 8;
        QByteArray bytes;
        for (QByteArray chunk = file.read(1 << 20); !chunk.isEmpty(); chunk = file.read(1 << 20)) {
            bytes += chunk;
            if (bytes.size() > LongestWav) {
                return QStringLiteral("%1 is longer than a WAV file can be").arg(options.file);
            }
        }
        WavReader reader;
        if (!reader.open(std::move(bytes), options.file)) {
            return reader.errorText();
        }
        return ReadWavReadings(reader, options, err);
    }
    return ReadSampledRows(file, options.file);
}

}  // namespace

Read ReadPlotInput(const Options& options, std::FILE* err) {
    const int fd = ::open(options.file.toLocal8Bit().constData(), O_RDONLY | O_CLOEXEC);
    struct stat status {};
    if (fd < 0 || ::fstat(fd, &status) < 0) {
        const int error = errno;
        if (fd >= 0) {
            ::close(fd);
        }
        return QStringLiteral("cannot read %1: %2")
            .arg(options.file, QString::fromLocal8Bit(std::strerror(error)));
    }
    return S_ISREG(status.st_mode) ? ReadFile(fd, options, err) : ReadStream(fd, options, err);
}

}  // namespace veruziva::meter
