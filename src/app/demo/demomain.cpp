// veruziva-demo: the instrument on a built-in signal generator, for trying it without a sound
// card. A bench window sets what the generator's inputs see.
#include <QDir>
#include <QScreen>
#include <QStandardPaths>

#include "app/application.h"
#include "app/demo/demobench.h"
#include "app/qtdialogs.h"
#include "app/soundmeter.h"
#include "calibration/qsettingsstore.h"
#include "platform/sim/simmixerservice.h"
#include "platform/sim/simwaveinput.h"

namespace {

constexpr const char* DeviceName = "Demo signal generator";

void BuildMixer(veruziva::sim::SimMixerService& mixers) {
    const unsigned device = mixers.addDevice(DeviceName);
    mixers.addDestination(device, "Volume Control");
    mixers.addSource(device, 0, "Wave");
    mixers.addVolume(device, 0, 0, 40000);
    mixers.addDestination(device, "Recording Control");
    for (const char* line : {"Microphone", "Line In"}) {
        const unsigned source = mixers.addSource(device, 1, line);
        mixers.addVolume(device, 1, static_cast<int>(source), 20000);
        mixers.addMute(device, 1, static_cast<int>(source), 1);
    }
}

}  // namespace

int main(int argc, char* argv[]) {
    veruziva::VeruzivaApplication application(argc, argv);
    veruziva::demo::DemoBench bench;
    veruziva::sim::SimWaveInput waveInput;
    waveInput.addDevice(DeviceName, [&bench](std::uint64_t index) { return bench.frame(index); });
    waveInput.setDelivery(veruziva::sim::SimWaveInput::Delivery::Paced);
    veruziva::sim::SimMixerService mixers;
    BuildMixer(mixers);
    // The demo keeps its calibration apart from the real program's.
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                           QStringLiteral("/Zoruzoz");
    veruziva::QSettingsStore settings(folder + QStringLiteral("/Veruziva-demo.conf"));
    veruziva::QtDialogs dialogs;
    return veruziva::RunProgram(
        application, waveInput, mixers, settings, dialogs, [&bench](veruziva::TSoundMeter& window) {
            auto* benchWindow = new veruziva::demo::DemoBenchWindow(bench, &window);
            benchWindow->adjustSize();
            benchWindow->move(window.frameGeometry().topRight() + QPoint(8, 0));
            benchWindow->show();
        });
}
