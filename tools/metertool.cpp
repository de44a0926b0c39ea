#include "metertool.h"

#include <QFileInfo>
#include <QLocale>

#include "accalibrationrun.h"
#include "analysisrun.h"
#include "blockprinter.h"
#include "devicereport.h"
#include "livemeter.h"
#include "meteroptions.h"
#include "plot.h"
#include "wavreader.h"

namespace veruziva::meter {
namespace {

int Fail(std::FILE* err, const QString& message) {
    Print(err, QStringLiteral("veruziva-meter: %1\n").arg(message));
    return ExitBadInput;
}

bool Flushed(std::FILE* out) {
    return std::fflush(out) == 0 && !std::ferror(out);
}

int RunFile(const Options& options, std::FILE* out, std::FILE* err) {
    BlockPrinter printer(options, err);
    if (const auto message = printer.loadCalibration()) {
        return Fail(err, *message);
    }
    printer.setSource(QFileInfo(options.file).fileName());
    WavReader reader;
    if (!reader.open(options.file)) {
        return Fail(err, reader.errorText());
    }
    BlockHandler blocks(printer, QLocale::system().decimalPoint().toStdString());
    std::string output = printer.header();
    for (auto frames = reader.nextBlock(); !frames.empty(); frames = reader.nextBlock()) {
        blocks.measure(frames);
        output += printer.takeLines();
        if (output.size() > 65536) {
            std::fwrite(output.data(), 1, output.size(), out);
            output.clear();
        }
    }
    std::fwrite(output.data(), 1, output.size(), out);
    if (!reader.errorText().isEmpty()) {
        return Fail(err, reader.errorText());
    }
    if (const auto message = printer.missingPicture()) {
        return Fail(err, *message);
    }
    if (!printer.savePicture()) {
        return ExitFailure;
    }
    if (!Flushed(out)) {
        Print(err, QStringLiteral("veruziva-meter: cannot write the results\n"));
        return ExitFailure;
    }
    return ExitSuccess;
}

}  // namespace

int RunMeterTool(const QStringList& arguments, std::FILE* out, std::FILE* err) {
    const auto parsed = ParseOptions(arguments);
    if (const auto* message = std::get_if<QString>(&parsed)) {
        Fail(err, *message);
        Print(err, QStringLiteral("Try 'veruziva-meter --help'.\n"));
        return ExitBadInput;
    }
    const Options& options = std::get<Options>(parsed);
    switch (options.mode) {
        case Options::Mode::Help:
            Print(out, UsageText());
            return Flushed(out) ? ExitSuccess : ExitFailure;
        case Options::Mode::List:
            return RunList(out, err);
        case Options::Mode::Live:
            return RunLive(options, out, err);
        case Options::Mode::Devices:
            return RunDeviceReport(options, false, out, err);
        case Options::Mode::LineIn:
            return RunDeviceReport(options, true, out, err);
        case Options::Mode::Plot:
            return RunPlot(options, err);
        case Options::Mode::CalibrateAc:
            return RunCalibrateAc(options, out, err);
        case Options::Mode::Distortion:
            return RunDistortion(options, out, err);
        case Options::Mode::Spectrum:
            return RunSpectrum(options, out, err);
        case Options::Mode::Measure:
            return RunMeasure(options, out, err);
        case Options::Mode::Serve:
            return RunServe(options, err);
        case Options::Mode::File:
            break;
    }
    return RunFile(options, out, err);
}

}  // namespace veruziva::meter
