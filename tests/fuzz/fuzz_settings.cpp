// Any content of the settings file: loaded at start-up, the factors derived, and readings of
// extreme blocks shown with them on every range.
#include <unistd.h>

#include <QString>
#include <QtGlobal>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "calibration/calibrationstate.h"
#include "calibration/displaymode.h"
#include "calibration/qsettingsstore.h"
#include "calibration/storedsettings.h"
#include "measurement/blockmeasurement.h"
#include "measurement/readouts.h"
#include "platform/runtimeerror.h"
#include "scratchfile.h"
#include "support/scriptedmessageboxes.h"

using namespace veruziva;

namespace {

// One file per process, rewritten for each input.
const std::string& SettingsPath() {
    static const ScratchFile file("veruziva-fuzz-settings", ".conf");
    return file.path();
}

BlockMeasurement Extreme(std::int64_t mean, std::int32_t peak) {
    BlockMeasurement measurement;
    for (ChannelMeasurement* channel : {&measurement.a, &measurement.b}) {
        channel->mean = mean;
        channel->maximum = peak;
        channel->minimum = -peak;
        channel->peak = peak;
        channel->barPosition = peak / 128;
        channel->crossingCount = 3;
        channel->periodSum = 4000;
        channel->frequency = 441;
    }
    return measurement;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Qt's own complaints about a mangled file (unknown variant types) would drown the output.
    static const bool quiet = [] {
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
        return true;
    }();
    (void)quiet;
    std::FILE* file = std::fopen(SettingsPath().c_str(), "wb");
    if (file == nullptr) {
        return 0;
    }
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    QSettingsStore store(QString::fromStdString(SettingsPath()));
    sim::ScriptedMessageBoxes boxes;
    CalibrationState state;
    LoadCalibrationAtStartup(store, state, boxes);
    for (const bool raw : {true, false}) {
        state.RawDisplay = raw;
        for (int range = FirstRange; range <= LastRange; ++range) {
            const DisplayParameters display =
                DeriveDisplayParameters(state, {range, LastRange + FirstRange - range});
            for (const auto& [mean, peak] : {std::pair<std::int64_t, std::int32_t>{0, 0},
                                             {32767, 32767},
                                             {-32768, 32768},
                                             {1, 1}}) {
                Readouts readouts;
                ShowMeasurement(readouts, Extreme(mean, peak), display, ".");
            }
        }
    }
    return 0;
}
