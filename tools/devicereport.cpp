#include "devicereport.h"

#include <QString>

#include "blockprinter.h"
#include "calibration/qsettingsstore.h"
#include "calibration/storedsettings.h"
#include "capture/captureengine.h"
#include "capture/devicebox.h"
#include "capture/inputselection.h"
#include "metertool.h"
#include "mixer/audiomixer.h"
#include "platform/audio/audiosystem.h"
#include "platform/fatalerrors.h"
#include "streammessageboxes.h"

namespace veruziva::meter {
namespace {

class RememberingBox : public DeviceBox {
public:
    void insertItem(int, const QString&) override {}
    void setCurrentIndex(int index) override { m_current = index; }
    int currentIndex() const override { return m_current; }

private:
    int m_current = -1;
};

QString ControlKind(std::uint32_t type) {
    switch (type) {
        case mixer::VolumeControl:
            return QStringLiteral("volume");
        case mixer::MuteControl:
            return QStringLiteral("mute");
        case mixer::MuxControl:
            return QStringLiteral("selector");
        case mixer::MixerControl:
            return QStringLiteral("multiple selector");
        default:
            return QStringLiteral("control %1").arg(type, 8, 16, QLatin1Char('0'));
    }
}

QString Controls(const TMixerControls& controls) {
    QStringList kinds;
    for (int i = 0; i < controls.ControlCount(); ++i) {
        kinds << ControlKind(controls.ControlAt(i)->type);
    }
    return kinds.isEmpty() ? QStringLiteral("no controls") : kinds.join(QStringLiteral(", "));
}

QString MixerTree(const TAudioMixer& component) {
    QString text;
    const TMixerDestinations* destinations = component.Destinations();
    for (int d = 0; destinations != nullptr && d < destinations->DestinationCount(); ++d) {
        const TMixerDestination* destination = destinations->DestinationAt(d);
        text += QStringLiteral("  destination %1: %2 (%3)\n")
                    .arg(d)
                    .arg(QString::fromStdString(destination->LineInfo.name))
                    .arg(Controls(destination->Controls));
        for (int s = 0; s < destination->Connections.ConnectionCount(); ++s) {
            const TMixerConnection* source = destination->Connections.ConnectionAt(s);
            text += QStringLiteral("    source %1: %2 (%3)\n")
                        .arg(s)
                        .arg(QString::fromStdString(source->LineInfo.name))
                        .arg(Controls(source->Controls));
        }
    }
    return text;
}

}  // namespace

int RunDeviceReport(const Options& options, bool setLevel, std::FILE* out, std::FILE* err) {
    StreamMessageBoxes boxes(err);
    FatalErrors fatal(boxes, nullptr);
    CalibrationState state;
    if (options.calibrationFile) {
        QSettingsStore store(*options.calibrationFile);
        LoadCalibrationAtStartup(store, state, boxes);
    } else {
        QSettingsStore store;  // the program's own settings
        LoadCalibrationAtStartup(store, state, boxes);
    }
    const AudioSystem audio = OpenAudioSystem();
    WaveInput& waveInput = *audio.waveInput;
    TAudioMixer component(*audio.mixers);
    CaptureEngine engine(waveInput, fatal, nullptr);
    RememberingBox box;
    InputSelection selection(waveInput, component, engine, state.Device, FlagsOf(state), box, boxes,
                             fatal);

    QString text =
        QStringLiteral("audio: %1\ninput devices:\n").arg(QString::fromStdString(audio.choice));
    if (selection.CheckDevicesAvailable()) {
        for (unsigned device = 0; device < waveInput.deviceCount(); ++device) {
            WaveInCaps caps;
            if (waveInput.deviceCaps(device, caps) == wave::NoError) {
                // The name in quotes: it starts with a number of its own (the card's).
                text += QStringLiteral("  %1: \"%2\" (%3)\n")
                            .arg(device)
                            .arg(QString::fromStdString(caps.productName),
                                 QString::fromStdString(caps.systemName));
            }
        }
        text += QStringLiteral("mixers:\n");
        for (int mixer = 0; mixer < component.MixerCount(); ++mixer) {
            component.setMixerId(mixer);
            if (component.MixerId() != mixer) {
                text += QStringLiteral("  %1: (cannot be opened)\n").arg(mixer);
                continue;
            }
            text += QStringLiteral("  %1: \"%2\"\n")
                        .arg(mixer)
                        .arg(QString::fromStdString(component.ProductName()));
            text += MixerTree(component);
        }
        const bool matchedBefore = !fatal.endRequested();
        selection.ChooseAtStartUp();
        if (matchedBefore && fatal.endRequested()) {
            text += QStringLiteral("chosen: none (no input device has a mixer of its name)\n");
        } else {
            text += QStringLiteral("chosen: device %1, mixer %2 (%3)\n")
                        .arg(state.Device.SoundDevice)
                        .arg(state.Device.MixerIndex)
                        .arg(state.Calibrated ? QStringLiteral("stored with the calibration")
                                              : QStringLiteral("matched by name"));
        }
        const TMixerDestination* recording = component.Destinations() != nullptr
                                                 ? component.Destinations()->DestinationAt(1)
                                                 : nullptr;
        const TMixerConnection* line =
            recording != nullptr ? recording->Connections.ConnectionAt(state.Device.LineIn)
                                 : nullptr;
        text += line != nullptr ? QStringLiteral("line-in: source %1 \"%2\"\n")
                                      .arg(state.Device.LineIn)
                                      .arg(QString::fromStdString(line->LineInfo.name))
                                : QStringLiteral("line-in: none\n");
        // What start-up would do next, and whether the program would start.
        if (setLevel) {
            selection.SetLineInLevelAtStartUp();
            LineLevel level;
            if (!fatal.endRequested() && state.Device.LineIn >= 0 &&
                component.GetLineLevel(1, state.Device.LineIn, level)) {
                text += QStringLiteral("set: volume %1,%2, mute %3\n")
                            .arg(level.left)
                            .arg(level.right)
                            .arg(level.mute);
            }
        } else {
            selection.CheckLineInAtStartUp();
        }
        text += fatal.endRequested() ? QStringLiteral("start-up: would end (see the message)\n")
                                     : QStringLiteral("start-up: would succeed\n");
    }
    Print(out, text);
    if (std::fflush(out) != 0 || std::ferror(out)) {
        Print(err, QStringLiteral("veruziva-meter: cannot write the results\n"));
        return ExitFailure;
    }
    return fatal.endRequested() ? ExitFailure : ExitSuccess;
}

}  // namespace veruziva::meter
