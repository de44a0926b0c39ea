// veruziva: the instrument on the desktop's sound server, or on the sound cards through ALSA.
//   veruziva [--statistics]   (--statistics: at the end, how many blocks were shown and how fast)
#include <cstdio>
#include <cstring>

#include "app/application.h"
#include "app/blockrate.h"
#include "app/qtdialogs.h"
#include "app/soundmeter.h"
#include "calibration/qsettingsstore.h"
#include "platform/audio/audiosystem.h"

int main(int argc, char* argv[]) {
    if (!veruziva::GraphicalSessionAvailable("veruziva")) {
        return 1;
    }
    bool statistics = false;
    for (int i = 1; i < argc; ++i) {
        statistics = statistics || std::strcmp(argv[i], "--statistics") == 0;
    }
    veruziva::VeruzivaApplication application(argc, argv);
    const veruziva::AudioSystem audio = veruziva::OpenAudioSystem();
    if (!audio.problem.empty()) {
        // The boxes' texts are fixed: the reason goes to the terminal.
        std::fprintf(stderr, "veruziva: %s\n", audio.problem.c_str());
    }
    veruziva::QSettingsStore settings;
    veruziva::QtDialogs dialogs;
    veruziva::BlockRate rate;
    const int status =
        veruziva::RunProgram(application, *audio.waveInput, *audio.mixers, settings, dialogs,
                             [&](veruziva::TSoundMeter& window) {
                                 if (statistics) {
                                     window.setBlockObserver([&rate](auto) { rate.blockShown(); });
                                 }
                             });
    if (statistics) {
        std::fprintf(stderr, "%s\n", rate.summary().c_str());
    }
    return status;
}
