#include "plot.h"

#include <sys/stat.h>

#include <QGuiApplication>
#include <algorithm>
#include <cmath>
#include <limits>

#include "base/pngfile.h"
#include "blockprinter.h"
#include "metertool.h"
#include "platform/runtimeerror.h"
#include "plotinput.h"
#include "trend/trendchart.h"
#include "trend/trendrecorder.h"

namespace veruziva::meter {
namespace {

const QSize PictureSize(1000, 500);

// Qt's notes about the session (no runtime folder, no display) are no business of a picture
// drawn from a file; its critical messages still show.
void QuietNotes(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg) {
        qt_message_output(type, context, message);
    }
}

// The same file under any name: another spelling, a symbolic or a hard link.
bool SameFile(const QString& first, const QString& second) {
    struct stat a {};
    struct stat b {};
    return ::stat(first.toLocal8Bit().constData(), &a) == 0 &&
           ::stat(second.toLocal8Bit().constData(), &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}

std::int64_t Milliseconds(double seconds) {
    return std::llround(seconds * 1000);
}

// The recording's sampling period: the shortest step between its rows.
std::int64_t PeriodMs(const PlotSeries& series) {
    std::int64_t period = std::numeric_limits<std::int64_t>::max();
    for (std::size_t i = 1; i < series.points.size(); ++i) {
        const std::int64_t step =
            Milliseconds(series.points[i].seconds) - Milliseconds(series.points[i - 1].seconds);
        if (step > 0) {
            period = std::min(period, step);
        }
    }
    return period == std::numeric_limits<std::int64_t>::max() ? 0 : period;
}

// The readings on the trend's own chart, on the recording's time from its start. The rows of
// a recording are joined at any period; only a gap of more than a period and a half, where
// rows are missing, breaks the line.
QImage Chart(const PlotSeries& series) {
    TrendRecorder recorder;
    for (const PlotPoint& point : series.points) {
        recorder.add({Milliseconds(point.seconds), point.a, point.b, series.unitA, series.unitB,
                      point.overloadA, point.overloadB});
    }
    TrendChartView view;
    view.t0Ms = recorder.firstMs().value_or(0);
    view.t1Ms = std::max(recorder.latest()->msSinceEpoch, view.t0Ms + 1000);
    view.theme = TrendTheme::Light;
    view.elapsedTime = true;
    view.originMs = 0;
    view.bridgeMs = std::max(view.bridgeMs, PeriodMs(series) * 3 / 2);
    return RenderTrendChart(recorder, view, PictureSize);
}

}  // namespace

int RunPlot(const Options& options, std::FILE* err) {
    if (SameFile(options.file, options.plotOutput)) {
        Print(err, QStringLiteral("veruziva-meter: the picture %1 is the recording %2 itself; "
                                  "name another picture file\n")
                       .arg(options.plotOutput, options.file));
        return ExitBadInput;
    }
    // The picture needs fonts, not a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(QuietNotes);
    int argc = 1;
    char name[] = "veruziva-meter";
    char* argv[] = {name, nullptr};
    QGuiApplication application(argc, argv);

    const auto read = ReadPlotInput(options, err);
    if (const auto* message = std::get_if<QString>(&read)) {
        Print(err, QStringLiteral("veruziva-meter: %1\n").arg(*message));
        return ExitBadInput;
    }
    const PlotSeries& series = std::get<PlotSeries>(read);
    // The trend takes times that go back as the latest so far, and keeps what is no more than
    // 24 hours before the latest: the first row (the earliest so taken) says if any falls out.
    const auto latest = std::max_element(
        series.points.begin(), series.points.end(),
        [](const PlotPoint& a, const PlotPoint& b) { return a.seconds < b.seconds; });
    if (Milliseconds(latest->seconds) - Milliseconds(series.points.front().seconds) >
        TrendRecorder::HistoryMs) {
        Print(err, QStringLiteral("veruziva-meter: the recording spans more than 24 hours; the "
                                  "picture shows its last 24 hours\n"));
    }
    try {
        SavePng(Chart(series), options.plotOutput, series.metadata);
    } catch (const RuntimeError& error) {
        Print(err, QStringLiteral("veruziva-meter: cannot write the picture %1: %2\n")
                       .arg(options.plotOutput, QString::fromUtf8(error.what())));
        return ExitFailure;
    }
    return ExitSuccess;
}

}  // namespace veruziva::meter
