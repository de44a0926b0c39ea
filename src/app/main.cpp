// veruziva: the instrument on the desktop's sound server, or on the sound cards through ALSA.
#include "app/application.h"
#include "app/qtdialogs.h"
#include "calibration/qsettingsstore.h"
#include "platform/audiosystem.h"

int main(int argc, char* argv[]) {
    if (!veruziva::GraphicalSessionAvailable("veruziva")) {
        return 1;
    }
    veruziva::VeruzivaApplication application(argc, argv);
    const veruziva::AudioSystem audio = veruziva::OpenAudioSystem();
    veruziva::QSettingsStore settings;
    veruziva::QtDialogs dialogs;
    return veruziva::RunProgram(application, *audio.waveInput, *audio.mixers, settings, dialogs);
}
