#include "plot.h"

#include <QGuiApplication>
#include <cmath>

#include "blockprinter.h"
#include "metertool.h"
#include "platform/runtimeerror.h"
#include "plotinput.h"
#include "recording/pngfile.h"
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

// The readings on the trend's own chart, on the recording's time from its start.
QImage Chart(const PlotSeries& series) {
    TrendRecorder recorder;
    for (const PlotPoint& point : series.points) {
        recorder.add({std::llround(point.seconds * 1000), point.a, point.b, series.unitA,
                      series.unitB, point.overloadA, point.overloadB});
    }
    TrendChartView view;
    view.t0Ms = recorder.firstMs().value_or(0);
    view.t1Ms = std::max(recorder.latest()->msSinceEpoch, view.t0Ms + 1000);
    view.theme = TrendTheme::Light;
    view.elapsedTime = true;
    return RenderTrendChart(recorder, view, PictureSize);
}

}  // namespace

int RunPlot(const Options& options, std::FILE* err) {
    // The picture needs fonts, not a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(QuietNotes);
    int argc = 1;
    char name[] = "veruziva-meter";
    char* argv[] = {name, nullptr};
    QGuiApplication application(argc, argv);

    const auto read =
        LooksLikeWav(options.file) ? ReadWavReadings(options, err) : ReadSampledRows(options.file);
    if (const auto* message = std::get_if<QString>(&read)) {
        Print(err, QStringLiteral("veruziva-meter: %1\n").arg(*message));
        return ExitBadInput;
    }
    const PlotSeries& series = std::get<PlotSeries>(read);
    if (series.points.back().seconds - series.points.front().seconds >
        static_cast<double>(TrendRecorder::HistoryMs) / 1000) {
        Print(err, QStringLiteral("veruziva-meter: the recording spans more than 24 hours; the "
                                  "picture shows its last 24 hours\n"));
    }
    try {
        SavePng(Chart(series), options.plotOutput);
    } catch (const RuntimeError& error) {
        Print(err, QStringLiteral("veruziva-meter: cannot write the picture %1: %2\n")
                       .arg(options.plotOutput, QString::fromUtf8(error.what())));
        return ExitFailure;
    }
    return ExitSuccess;
}

}  // namespace veruziva::meter
