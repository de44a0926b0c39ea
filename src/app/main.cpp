// veruziva: the instrument on the machine's sound cards (ALSA).
#include "app/application.h"
#include "app/qtdialogs.h"
#include "calibration/qsettingsstore.h"
#include "platform/alsa/alsamixerservice.h"
#include "platform/alsa/alsawaveinput.h"

int main(int argc, char* argv[]) {
    if (!veruziva::GraphicalSessionAvailable("veruziva")) {
        return 1;
    }
    veruziva::VeruzivaApplication application(argc, argv);
    veruziva::alsa::AlsaWaveInput waveInput;
    veruziva::alsa::AlsaMixerService mixers;
    veruziva::QSettingsStore settings;
    veruziva::QtDialogs dialogs;
    return veruziva::RunProgram(application, waveInput, mixers, settings, dialogs);
}
