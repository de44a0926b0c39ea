#include "accalibrationrun.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QLocale>
#include <optional>
#include <vector>

#include "blockprinter.h"
#include "calibration/accalibration.h"
#include "calibration/qsettingsstore.h"
#include "calibration/storedsettings.h"
#include "capture/captureengine.h"
#include "livemeter.h"
#include "metertool.h"
#include "platform/audio/audiosystem.h"
#include "platform/fatalerrors.h"
#include "streammessageboxes.h"
#include "wavreader.h"

namespace veruziva::meter {
namespace {

// Where the blocks came from: what the calibration records as its device, and the device
// number the settings store ("Sound device"); none for a recording, which keeps the stored one.
struct Source {
    std::string device;
    std::optional<std::int32_t> number;
};

// The recording's first blocks, all of them whole; a message when it has too few.
std::optional<QString> ReadRecording(const QString& path, AcRmsSums& sums) {
    WavReader reader;
    if (!reader.open(path)) {
        return reader.errorText();
    }
    while (sums.blocks() < AcCalibrationBlocks) {
        const auto frames = reader.nextBlock();
        if (frames.size() < static_cast<std::size_t>(FramesPerBuffer)) {
            if (!reader.errorText().isEmpty()) {
                return reader.errorText();
            }
            return QStringLiteral(
                       "%1 is too short to calibrate with: it holds %2 whole block(s) of %3 "
                       "frames, %4 are needed")
                .arg(path)
                .arg(sums.blocks())
                .arg(FramesPerBuffer)
                .arg(AcCalibrationBlocks);
        }
        sums.addBlock(frames);
    }
    return std::nullopt;
}

// Blocks grabbed one at a time, as the calibration grabs them, after those let pass to settle;
// false when the capture failed (its box said why).
bool CaptureLive(int device, AcRmsSums& sums, Source& source, std::FILE* err) {
    int argc = 1;
    char name[] = "veruziva-meter";
    char* argv[] = {name, nullptr};
    QCoreApplication application(argc, argv);
    const AudioSystem audio = OpenAudioTelling(err);
    WaveInput& service = *audio.waveInput;
    WaveInCaps caps;
    if (service.deviceCaps(static_cast<unsigned>(device), caps) == wave::NoError) {
        // What the window stores to know the device again.
        source.device = caps.identity.empty() ? caps.productName : caps.identity;
    }
    source.number = device;
    StreamMessageBoxes boxes(err);
    FatalErrors fatal(boxes, nullptr);
    CaptureEngine engine(service, fatal, nullptr);
    engine.setSoundDevice(device);
    engine.OpenWaveInPolled();
    for (int block = 0; block < AcSettleBlocks + AcCalibrationBlocks && !fatal.endRequested();
         ++block) {
        engine.GrabBlock();
        QCoreApplication::processEvents();  // the mixer's change messages
        if (!fatal.endRequested() && block >= AcSettleBlocks) {
            sums.addBlock(engine.Samples());
        }
    }
    engine.CloseWaveIn();
    return !fatal.endRequested();
}

QString Number(double value, int digits) {
    return QString::number(value, 'g', digits)
        .replace(QLatin1Char('.'), QLocale::system().decimalPoint());
}

}  // namespace

int RunCalibrateAc(const Options& options, std::FILE* out, std::FILE* err) {
    const QString& path = *options.calibrationFile;
    const QFileInfo settings(path);
    if (settings.exists() &&
        (!settings.isFile() || !settings.isReadable() || !settings.isWritable())) {
        Print(err, QStringLiteral("veruziva-meter: cannot read and write calibration file %1\n")
                       .arg(path));
        return ExitBadInput;
    }
    AcRmsSums sums;
    Source source;
    if (options.device >= 0) {
        if (!CaptureLive(options.device, sums, source, err)) {
            return ExitFailure;
        }
    } else {
        if (const auto message = ReadRecording(options.file, sums)) {
            Print(err, QStringLiteral("veruziva-meter: %1\n").arg(*message));
            return ExitBadInput;
        }
    }

    std::vector<std::pair<Side, AcFactorResult>> results;
    QStringList refusals;
    for (const auto& [side, chosen] :
         {std::pair{Side::Left, options.acA}, std::pair{Side::Right, options.acB}}) {
        if (chosen) {
            results.emplace_back(side, sums.result(side, options.acRms));
            if (!results.back().second.refusal.isEmpty()) {
                refusals << results.back().second.refusal;
            }
        }
    }
    if (!refusals.isEmpty()) {
        // Both channels or neither, as in the window.
        Print(err, QStringLiteral("veruziva-meter: not calibrated: %1\n")
                       .arg(refusals.join(QLatin1Char(' '))));
        return ExitFailure;
    }

    QSettingsStore store(path);
    StreamMessageBoxes boxes(err);
    CalibrationState state;
    LoadCalibrationAtStartup(store, state, boxes);
    std::int32_t selected = state.Device.SoundDevice;
    if (source.number) {
        // As the window: the device calibrated on is the one the settings name from now on.
        state.Device.SoundDeviceName = StoredDeviceName(source.device);
        selected = *source.number;
    }
    const std::int64_t now = QDateTime::currentMSecsSinceEpoch();
    std::string text = "channel;rawRms;factor\n";
    for (const auto& [side, result] : results) {
        // A recording is taken as made on the input the settings name (none: any input).
        ApplyAcFactor(
            state, options.acRange, side, result.factor, now,
            source.number ? StoredDeviceName(source.device) : state.Device.SoundDeviceName);
        text += (side == Side::Left ? "A;" : "B;") + Number(result.rawRms, 10).toStdString() + ';' +
                Number(result.factor, 10).toStdString() + '\n';
    }
    if (!SaveAcCalibration(store, state, selected, boxes)) {
        Print(err,
              QStringLiteral("veruziva-meter: cannot write the calibration to %1\n").arg(path));
        return ExitFailure;
    }
    std::fwrite(text.data(), 1, text.size(), out);
    if (std::fflush(out) != 0 || std::ferror(out)) {
        Print(err, QStringLiteral("veruziva-meter: cannot write the results\n"));
        return ExitFailure;
    }
    return ExitSuccess;
}

}  // namespace veruziva::meter
